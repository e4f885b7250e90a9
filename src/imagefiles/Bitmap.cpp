#include "imagefiles/Bitmap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <new>
#include <utility>

#include "state/ProgramState.h"
#include "state/SafeWrite.h"

namespace zmr {

namespace {

constexpr std::uint32_t kCompressionNone = 0;       // BI_RGB
constexpr std::uint32_t kCompressionBitFields = 3;  // BI_BITFIELDS
constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFFu;

std::uint16_t GetU16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t GetU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint32_t GetU32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return GetU32(b.data() + at);
}

std::int32_t GetS32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::int32_t>(GetU32(b, at));  // two's complement (C++20)
}

void PutU16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

bool Fail(std::string* why, const char* reason) {
  if (why != nullptr) *why = reason;
  return false;
}

bool HasSignature(const std::vector<std::uint8_t>& b) {
  return b.size() >= 2 && b[0] == 'B' && b[1] == 'M';
}

// One colour channel of a bit-field pixel: the masked bits shifted down, scaled to 0..255.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t max = 1;
};

// Accepts only non-empty contiguous masks, which is what a scale to 0..255 makes sense for.
bool MakeChannel(std::uint32_t mask, Channel& c) {
  if (mask == 0) return false;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  const std::uint32_t max = mask >> shift;
  if ((max & (max + 1)) != 0) return false;  // not a run of ones
  c.mask = mask;
  c.shift = shift;
  c.max = max;
  return true;
}

std::uint32_t Scale(std::uint32_t pixel, const Channel& c) {
  const std::uint64_t v = (pixel & c.mask) >> c.shift;
  return static_cast<std::uint32_t>((v * 255 + c.max / 2) / c.max);
}

std::uint32_t Argb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

bool IsKnownHeaderSize(std::uint32_t size) {
  return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// Reads up to n bytes from the start of the file; returns how many it got (fewer at an early
// end of the file or on a read error).
std::size_t ReadUpTo(int fd, std::uint8_t* dst, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd, dst + got, n - got, static_cast<off_t>(got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  return got;
}

// The most bytes a bitmap with this header can use: its pixel offset and its rows, or for
// run-length data a bound of two bytes per pixel and four per row (what the encodings spend at
// most, end codes included). 0 when the first bytes do not tell.
std::uint64_t MostBytesUsed(const std::vector<std::uint8_t>& head, int width, int height) {
  const std::size_t info = kBitmapFileHeaderSize;
  if (head.size() < info + kBitmapOffsetCompression + 4) return 0;
  const bool core = GetU32(head, info) == kBitmapCoreHeaderSize;
  const std::uint64_t bits =
      GetU16(head, info + (core ? kBitmapOffsetCoreBitCount : kBitmapOffsetInfoBitCount));
  const std::uint32_t compression = core ? 0 : GetU32(head, info + kBitmapOffsetCompression);
  const std::uint64_t w = static_cast<std::uint64_t>(width);
  const std::uint64_t h = static_cast<std::uint64_t>(height);
  const std::uint64_t rows = compression == 1 || compression == 2
                                 ? 2 * w * h + 4 * h + 2
                                 : (w * std::max<std::uint64_t>(bits, 1) + 31) / 32 * 4 * h;
  return GetU32(head, kBitmapOffsetPixelData) + rows;
}

}  // namespace

std::vector<std::uint8_t> DibLoadImage(const char* pstrFileName, BitmapLoadFailure* failure) {
  BitmapLoadFailure unused = BitmapLoadFailure::kNone;
  BitmapLoadFailure& why = failure != nullptr ? *failure : unused;
  why = BitmapLoadFailure::kUnreadable;
  if (pstrFileName == nullptr) return {};
  // Non-blocking: a FIFO is no bitmap, and must not hold the program until someone writes.
  const int fd = ::open(pstrFileName, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  struct stat st {};
  // Only the first bytes are read before the block is allocated: the signature, the stored
  // size and the sides, so that neither a huge image nor a large file that is not a bitmap is
  // held in memory or read to its end.
  std::vector<std::uint8_t> head(kBitmapFileHeaderSize + kBitmapOffsetCompression + 4);
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    head.resize(ReadUpTo(fd, head.data(), head.size()));
  } else {
    head.clear();
  }
  int width = 0;
  int height = 0;
  if (HasSignature(head) && BitmapHeaderSize(head, width, height) &&
      !ImageSizeAllowed(width, height)) {
    why = BitmapLoadFailure::kTooLarge;
    ::close(fd);
    return {};
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  if (!HasSignature(head) || head.size() < kBitmapOffsetFileSize + 4 || st.st_size < 0 ||
      static_cast<std::uint64_t>(st.st_size) > kMaxFileSize ||
      GetU32(head, kBitmapOffsetFileSize) != size) {
    ::close(fd);
    return {};
  }
  // A file far larger than its pixels can use (a small image padded to gigabytes) is not read
  // into memory.
  if (const std::uint64_t most = MostBytesUsed(head, width, height);
      most > 0 && size > most + (1u << 16)) {
    ::close(fd);
    return {};
  }
  std::vector<std::uint8_t> block;
  try {
    block.resize(size);
  } catch (const std::bad_alloc&) {
    ::close(fd);
    why = BitmapLoadFailure::kOutOfMemory;
    return {};
  }
  const bool complete = ReadUpTo(fd, block.data(), size) == size;
  ::close(fd);
  // The file may have changed since its first bytes were read.
  if (!complete || !HasSignature(block) || GetU32(block, kBitmapOffsetFileSize) != size) {
    return {};
  }
  why = BitmapLoadFailure::kNone;
  return block;
}

bool BitmapHeaderSize(const std::vector<std::uint8_t>& file, int& width, int& height) {
  const std::size_t info = kBitmapFileHeaderSize;
  if (file.size() < info + 4) return false;
  if (GetU32(file, info) == kBitmapCoreHeaderSize) {
    if (file.size() < info + kBitmapOffsetCoreHeight + 2) return false;
    const int w = GetU16(file, info + kBitmapOffsetHeaderWidth);
    const int h = GetU16(file, info + kBitmapOffsetCoreHeight);
    if (w == 0 || h == 0) return false;
    width = w;
    height = h;
    return true;
  }
  if (file.size() < info + kBitmapOffsetInfoHeight + 4) return false;
  const std::int32_t w = GetS32(file, info + kBitmapOffsetHeaderWidth);
  const std::int32_t h = GetS32(file, info + kBitmapOffsetInfoHeight);
  if (w <= 0 || h == 0 || h == INT32_MIN) return false;
  width = w;
  height = h < 0 ? -h : h;
  return true;
}

bool DecodeBitmap(const std::vector<std::uint8_t>& file, DecodedBitmap& out, std::string* why) {
  const std::size_t info = kBitmapFileHeaderSize;
  const std::size_t fileSize = file.size();
  if (fileSize < info + 4) return Fail(why, "file too short for the headers");
  if (!HasSignature(file)) return Fail(why, "no BM signature");

  const std::uint32_t headerSize = GetU32(file, info);
  if (!IsKnownHeaderSize(headerSize)) return Fail(why, "unknown information header size");
  if (info + headerSize > fileSize) return Fail(why, "information header runs past the file");
  const bool core = headerSize == kBitmapCoreHeaderSize;

  std::int64_t width = 0;
  std::int64_t height = 0;
  unsigned bitCount = 0;
  std::uint32_t compression = kCompressionNone;
  std::uint32_t colorsUsed = 0;
  if (core) {
    width = GetU16(file, info + kBitmapOffsetHeaderWidth);
    height = GetU16(file, info + kBitmapOffsetCoreHeight);
    bitCount = GetU16(file, info + kBitmapOffsetCoreBitCount);
  } else {
    width = GetS32(file, info + kBitmapOffsetHeaderWidth);
    height = GetS32(file, info + kBitmapOffsetInfoHeight);
    bitCount = GetU16(file, info + kBitmapOffsetInfoBitCount);
    compression = GetU32(file, info + kBitmapOffsetCompression);
    colorsUsed = GetU32(file, info + kBitmapOffsetColorsUsed);
  }
  if (width <= 0) return Fail(why, "width is not positive");
  if (height == 0) return Fail(why, "height is zero");
  if (height == INT32_MIN) return Fail(why, "height out of range");
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (!ImageSizeAllowed(width, height)) return Fail(why, "image larger than allowed");

  const bool knownDepth = bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24 ||
                          (!core && (bitCount == 16 || bitCount == 32));
  if (!knownDepth) return Fail(why, "unsupported bit count");
  if (compression != kCompressionNone &&
      !(compression == kCompressionBitFields && (bitCount == 16 || bitCount == 32))) {
    return Fail(why, "unsupported compression");
  }

  // Bit-field masks: after a 40-byte header, inside the larger ones; defaults without them.
  std::size_t headersEnd = info + headerSize;
  Channel red, green, blue;
  if (bitCount == 16 || bitCount == 32) {
    std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (bitCount == 32) {
      masks[0] = 0xFF0000;
      masks[1] = 0x00FF00;
      masks[2] = 0x0000FF;
    }
    if (compression == kCompressionBitFields) {
      std::size_t at = info + kBitmapOffsetMasks;
      if (headerSize == kBitmapInfoHeaderSize) {
        if (headersEnd + 12 > fileSize) return Fail(why, "bit-field masks run past the file");
        at = headersEnd;
        headersEnd += 12;
      }
      for (int k = 0; k < 3; ++k) masks[k] = GetU32(file, at + 4 * k);
    }
    const std::uint32_t pixelMask = bitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    if (!MakeChannel(masks[0], red) || !MakeChannel(masks[1], green) ||
        !MakeChannel(masks[2], blue)) {
      return Fail(why, "bit-field mask empty or not contiguous");
    }
    if ((masks[0] & masks[1]) != 0 || (masks[0] & masks[2]) != 0 || (masks[1] & masks[2]) != 0)
      return Fail(why, "bit-field masks overlap");
    if (((masks[0] | masks[1] | masks[2]) & ~pixelMask) != 0)
      return Fail(why, "bit-field mask outside the pixel");
  }

  // Colour table, checked against the file before it is read.
  std::size_t colorCount = 0;
  const std::size_t entrySize = core ? 3 : 4;
  if (bitCount <= 8) {
    const std::size_t maxColors = std::size_t{1} << bitCount;
    colorCount = (core || colorsUsed == 0) ? maxColors : colorsUsed;
    if (colorCount > maxColors) return Fail(why, "more colours than the bit count allows");
    // A count the header states must fit; an implied full table may be stored shorter (below).
    const bool stated = !core && colorsUsed != 0;
    if (stated && headersEnd + colorCount * entrySize > fileSize)
      return Fail(why, "colour table runs past the file");
  }

  const std::uint32_t offBits = GetU32(file, kBitmapOffsetPixelData);
  if (offBits > fileSize) return Fail(why, "pixel data offset beyond the file");
  if (offBits < headersEnd) return Fail(why, "pixel data offset inside the headers");
  // Some writers store a shorter table than the header implies and start the pixels right
  // after it; only the entries before the pixel data are colours.
  if (bitCount <= 8 && offBits < headersEnd + colorCount * entrySize)
    colorCount = (offBits - headersEnd) / entrySize;

  const auto w = static_cast<std::uint64_t>(width);
  const auto h = static_cast<std::uint64_t>(height);
  const std::uint64_t stride = (w * bitCount + 31) / 32 * 4;
  const std::uint64_t rowBytes = (w * bitCount + 7) / 8;
  // The padding of the last row is never read, so a file may end without it.
  if (stride * (h - 1) + rowBytes > fileSize - offBits) return Fail(why, "pixel data truncated");

  // Indices past the table stay black.
  std::vector<std::uint32_t> palette;
  if (bitCount <= 8) {
    palette.assign(std::size_t{1} << bitCount, Argb(0, 0, 0));
    for (std::size_t k = 0; k < colorCount; ++k) {
      const std::uint8_t* e = file.data() + headersEnd + k * entrySize;
      palette[k] = Argb(e[2], e[1], e[0]);
    }
  }

  DecodedBitmap result;
  result.width = static_cast<int>(width);
  result.height = static_cast<int>(height);
  try {
    result.pixels.resize(static_cast<std::size_t>(w * h));
  } catch (const std::bad_alloc&) {
    return Fail(why, kBitmapOutOfMemory);
  }
  for (std::uint64_t y = 0; y < h; ++y) {
    const std::uint64_t fileRow = topDown ? y : h - 1 - y;
    const std::uint8_t* row = file.data() + offBits + fileRow * stride;
    std::uint32_t* dst = result.pixels.data() + y * w;
    for (std::uint64_t x = 0; x < w; ++x) {
      switch (bitCount) {
        case 1:
          dst[x] = palette[(row[x / 8] >> (7 - x % 8)) & 1];
          break;
        case 4:
          dst[x] = palette[(row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF];
          break;
        case 8:
          dst[x] = palette[row[x]];
          break;
        case 24:
          dst[x] = Argb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
          break;
        default: {
          const std::uint32_t p =
              bitCount == 16 ? static_cast<std::uint32_t>(row[2 * x] | (row[2 * x + 1] << 8))
                             : GetU32(row + 4 * x);
          dst[x] = Argb(Scale(p, red), Scale(p, green), Scale(p, blue));
          break;
        }
      }
    }
  }
  out = std::move(result);
  return true;
}

int GreyOf(std::uint32_t argb) {
  const int r = static_cast<int>((argb >> 16) & 0xFF);
  const int g = static_cast<int>((argb >> 8) & 0xFF);
  const int b = static_cast<int>(argb & 0xFF);
  return (r + g + b) / 3;
}

std::vector<std::uint8_t> EncodeBitmap24(long M, long N, const int* pData) {
  if (pData == nullptr || M <= 0 || N <= 0 || M > INT32_MAX || N > INT32_MAX) return {};
  const auto width = static_cast<std::uint64_t>(M);
  const auto height = static_cast<std::uint64_t>(N);
  const std::uint64_t rowSize = ((width * 24 + 31) & ~std::uint64_t{31}) / 8;
  const std::uint64_t fileSize = kBitmapWrittenHeaderSize + rowSize * height;
  if (fileSize > kMaxFileSize) return {};

  std::vector<std::uint8_t> out;
  try {
    out.assign(static_cast<std::size_t>(fileSize), 0);
  } catch (const std::bad_alloc&) {
    return {};
  }
  out[0] = 'B';
  out[1] = 'M';
  PutU32(out, kBitmapOffsetFileSize, static_cast<std::uint32_t>(fileSize));
  PutU32(out, kBitmapOffsetPixelData, kBitmapWrittenHeaderSize);
  const std::size_t info = kBitmapFileHeaderSize;
  PutU32(out, info, kBitmapInfoHeaderSize);
  PutU32(out, info + kBitmapOffsetHeaderWidth, static_cast<std::uint32_t>(M));
  PutU32(out, info + kBitmapOffsetInfoHeight, static_cast<std::uint32_t>(N));
  PutU16(out, info + kBitmapOffsetInfoPlanes, 1);
  PutU16(out, info + kBitmapOffsetInfoBitCount, 24);
  // Compression, image size, resolutions and colour counts stay 0.

  for (std::uint64_t k = 0; k < height; ++k) {
    const int* src = pData + (height - 1 - k) * width;  // image rows bottom-up
    std::uint8_t* dst = out.data() + kBitmapWrittenHeaderSize + k * rowSize;
    for (std::uint64_t j = 0; j < width; ++j) {
      const auto v = static_cast<std::uint8_t>(static_cast<unsigned>(src[j]) & 0xFFu);
      dst[3 * j] = v;
      dst[3 * j + 1] = v;
      dst[3 * j + 2] = v;
    }
  }
  return out;
}

int WriteImage(const char* pstrFileName, long M, long N, const int* pData) {
  if (pData == nullptr || pstrFileName == nullptr) return 0;
  const std::vector<std::uint8_t> bytes = EncodeBitmap24(M, N, pData);
  if (bytes.empty()) return 0;

  return WriteWholeFileBytes(pstrFileName, bytes) ? 1 : 0;
}

}  // namespace zmr
