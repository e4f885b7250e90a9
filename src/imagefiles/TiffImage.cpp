#include "imagefiles/TiffImage.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "state/Numeric.h"
#include "state/ProgramState.h"

namespace zmr {

namespace {

// The bytes libtiff reads from or writes to: a fixed span for reading, a growing vector for
// writing.
struct MemoryFile {
  const std::uint8_t* data = nullptr;
  std::vector<std::uint8_t>* out = nullptr;
  std::uint64_t size = 0;
  std::uint64_t pos = 0;
  std::string error;  // the first error libtiff reported
};

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemoryFile*>(h);
  if (n <= 0 || f->pos >= f->size) return 0;
  const std::uint64_t take =
      std::min<std::uint64_t>(static_cast<std::uint64_t>(n), f->size - f->pos);
  const std::uint8_t* from = f->out != nullptr ? f->out->data() : f->data;
  std::memcpy(buf, from + f->pos, static_cast<std::size_t>(take));
  f->pos += take;
  return static_cast<tmsize_t>(take);
}

tmsize_t WriteProc(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemoryFile*>(h);
  if (f->out == nullptr || n < 0) return -1;
  const std::uint64_t end = f->pos + static_cast<std::uint64_t>(n);
  try {
    if (end > f->out->size()) f->out->resize(static_cast<std::size_t>(end));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  std::memcpy(f->out->data() + f->pos, buf, static_cast<std::size_t>(n));
  f->pos = end;
  f->size = std::max<std::uint64_t>(f->size, end);
  return n;
}

toff_t SeekProc(thandle_t h, toff_t offset, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  std::uint64_t base = 0;
  if (whence == SEEK_CUR) base = f->pos;
  if (whence == SEEK_END) base = f->size;
  const std::uint64_t target = base + offset;
  // Writing may seek past the end (the gap is filled when written); reading may not.
  if (f->out == nullptr && target > f->size) return static_cast<toff_t>(-1);
  f->pos = target;
  return target;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

int ErrorHandler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* f = static_cast<MemoryFile*>(user);
  if (f != nullptr && f->error.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    f->error = module != nullptr && module[0] != '\0' ? std::string(module) + ": " + text : text;
  }
  return 1;  // handled: the process-wide handler is not called
}

int WarningHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// libtiff's process-wide handlers print to standard error; messages that reach them (those
// without a handle) are dropped instead.
void SilenceGlobalHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
}

// Owns an open TIFF handle.
class TiffHandle {
 public:
  TiffHandle(MemoryFile& file, const char* mode) {
    SilenceGlobalHandlers();
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return;
    TIFFOpenOptionsSetErrorHandlerExtR(options, ErrorHandler, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(options, WarningHandler, &file);
    tif_ = TIFFClientOpenExt("memory", mode, &file, ReadProc, WriteProc, SeekProc, CloseProc,
                             SizeProc, MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
  }
  ~TiffHandle() { Close(); }
  TiffHandle(const TiffHandle&) = delete;
  TiffHandle& operator=(const TiffHandle&) = delete;
  TIFF* get() const { return tif_; }
  void Close() {
    if (tif_ != nullptr) TIFFClose(tif_);
    tif_ = nullptr;
  }

 private:
  TIFF* tif_ = nullptr;
};

Result LibraryFailure(const MemoryFile& file, const char* what) {
  return Result::Fail(file.error.empty() ? std::string(what)
                                         : std::string(what) + " (" + file.error + ")");
}

// How the samples of the page are stored.
struct SampleLayout {
  int bytes = 1;  // per sample
  std::uint16_t format = SAMPLEFORMAT_UINT;
  int samplesPerPixel = 1;  // in the file
  int channels = 1;         // used: 1 grey, 3 RGB
  bool separate = false;    // planar configuration: one plane per sample
};

double SampleAt(const std::uint8_t* p, const SampleLayout& l) {
  switch (l.format) {
    case SAMPLEFORMAT_INT:
      if (l.bytes == 1) return static_cast<std::int8_t>(p[0]);
      if (l.bytes == 2) {
        std::int16_t v;
        std::memcpy(&v, p, 2);
        return v;
      }
      {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        return v;
      }
    case SAMPLEFORMAT_IEEEFP:
      if (l.bytes == 4) {
        float v;
        std::memcpy(&v, p, 4);
        return v;
      }
      {
        double v;
        std::memcpy(&v, p, 8);
        return v;
      }
    default:
      if (l.bytes == 1) return p[0];
      if (l.bytes == 2) {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
      }
      {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
      }
  }
}

constexpr std::uint16_t kMaxTiffSamplesPerPixel = 8;

Result CheckLayout(TIFF* tif, SampleLayout& l) {
  std::uint16_t bits = 1, spp = 1, format = SAMPLEFORMAT_UINT, photometric = PHOTOMETRIC_MINISBLACK,
                planar = PLANARCONFIG_CONTIG, compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) == 0) {
    photometric = spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  }
  if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG) {
    // The JPEG codec converts to RGB itself.
    TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    photometric = PHOTOMETRIC_RGB;
  }
  if (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) {
    l.channels = 1;
  } else if (photometric == PHOTOMETRIC_RGB) {
    l.channels = 3;
  } else {
    return Result::Fail("a TIFF of photometric interpretation " + std::to_string(photometric) +
                        " (only grey and RGB are read)");
  }
  // Grey or colour with a few extra samples (alpha, masks); a count beyond that is no image of
  // this kind, and each row would take that many times its pixels before any data is read.
  if (spp < l.channels || spp > kMaxTiffSamplesPerPixel) {
    return Result::Fail("a TIFF with " + std::to_string(spp) +
                        " samples per pixel (grey or colour with at most 8 are read)");
  }
  const bool integer = format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_INT;
  const bool okBits = integer ? (bits == 8 || bits == 16 || bits == 32)
                              : format == SAMPLEFORMAT_IEEEFP && (bits == 32 || bits == 64);
  if (!okBits) {
    return Result::Fail("a TIFF of " + std::to_string(bits) + "-bit samples of format " +
                        std::to_string(format) +
                        " (8, 16, 32-bit integers and 32, 64-bit floats are read)");
  }
  l.bytes = bits / 8;
  l.format = format;
  l.samplesPerPixel = spp;
  l.separate = planar == PLANARCONFIG_SEPARATE && spp > 1;
  return Result::Ok();
}

// Adds the samples of one decoded block (a strip or a tile) to the sums of the pixels it
// covers. The block holds blockWidth-wide rows; plane is the sample of a separate plane.
void AddBlock(const std::vector<std::uint8_t>& block, const SampleLayout& l, int plane,
              int blockWidth, int x0, int y0, int cols, int rows, CountImage& image) {
  const int stride = l.separate ? 1 : l.samplesPerPixel;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const std::size_t sampleIndex =
          (static_cast<std::size_t>(r) * blockWidth + c) * static_cast<std::size_t>(stride);
      double& sum = image.values[static_cast<std::size_t>(y0 + r) * image.width + (x0 + c)];
      if (l.separate) {
        if (plane < l.channels) sum += SampleAt(block.data() + sampleIndex * l.bytes, l);
      } else {
        for (int ch = 0; ch < l.channels; ++ch) {
          sum += SampleAt(block.data() + (sampleIndex + ch) * l.bytes, l);
        }
      }
    }
  }
}

Result ReadBlocks(TIFF* tif, MemoryFile& file, const SampleLayout& l, long long maxBlockPixels,
                  CountImage& image) {
  const int planes = l.separate ? std::min(l.samplesPerPixel, l.channels) : 1;
  const std::size_t pixelBytes =
      static_cast<std::size_t>(l.bytes) * (l.separate ? 1 : l.samplesPerPixel);
  std::vector<std::uint8_t> block;
  if (TIFFIsTiled(tif) != 0) {
    std::uint32_t tw = 0, th = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
    if (tw == 0 || th == 0 || static_cast<long long>(tw) * th > maxBlockPixels) {
      return Result::Fail("a TIFF tile of " + SizeText(tw, th) + " pixels");
    }
    const std::size_t need = static_cast<std::size_t>(tw) * th * pixelBytes;
    const tmsize_t tileSize = TIFFTileSize(tif);
    if (tileSize <= 0 || static_cast<std::size_t>(tileSize) < need) {
      return LibraryFailure(file, "a TIFF whose tile size does not match its samples");
    }
    block.resize(static_cast<std::size_t>(tileSize));
    for (int plane = 0; plane < planes; ++plane) {
      for (std::uint32_t y = 0; y < static_cast<std::uint32_t>(image.height); y += th) {
        for (std::uint32_t x = 0; x < static_cast<std::uint32_t>(image.width); x += tw) {
          if (TIFFReadTile(tif, block.data(), x, y, 0, static_cast<std::uint16_t>(plane)) < 0) {
            return LibraryFailure(file, "a TIFF tile cannot be decoded");
          }
          const int cols = static_cast<int>(std::min<std::uint32_t>(tw, image.width - x));
          const int rows = static_cast<int>(std::min<std::uint32_t>(th, image.height - y));
          AddBlock(block, l, plane, static_cast<int>(tw), static_cast<int>(x), static_cast<int>(y),
                   cols, rows, image);
        }
      }
    }
    return Result::Ok();
  }
  std::uint32_t rowsPerStrip = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  rowsPerStrip =
      std::clamp<std::uint32_t>(rowsPerStrip, 1, static_cast<std::uint32_t>(image.height));
  const std::uint32_t stripsPerPlane =
      (static_cast<std::uint32_t>(image.height) + rowsPerStrip - 1) / rowsPerStrip;
  if (TIFFNumberOfStrips(tif) < stripsPerPlane * static_cast<std::uint32_t>(planes)) {
    return Result::Fail("a TIFF with fewer strips than its rows need");
  }
  const std::size_t rowBytes = static_cast<std::size_t>(image.width) * pixelBytes;
  block.resize(rowBytes * rowsPerStrip);
  for (int plane = 0; plane < planes; ++plane) {
    for (std::uint32_t s = 0; s < stripsPerPlane; ++s) {
      const std::uint32_t y = s * rowsPerStrip;
      const int rows = static_cast<int>(std::min<std::uint32_t>(rowsPerStrip, image.height - y));
      const tmsize_t need = static_cast<tmsize_t>(rowBytes * rows);
      const tmsize_t got = TIFFReadEncodedStrip(
          tif, static_cast<std::uint32_t>(plane) * stripsPerPlane + s, block.data(), need);
      if (got < need) {
        return LibraryFailure(
            file,
            ("strip " + std::to_string(s) + " of the TIFF is short or cannot be decoded").c_str());
      }
      AddBlock(block, l, plane, image.width, 0, static_cast<int>(y), image.width, rows, image);
    }
  }
  return Result::Ok();
}

}  // namespace

bool LooksLikeTiff(ImageBytes bytes) {
  if (bytes.size() < 4) return false;
  const bool little =
      bytes[0] == 'I' && bytes[1] == 'I' && (bytes[2] == 42 || bytes[2] == 43) && bytes[3] == 0;
  const bool big =
      bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && (bytes[3] == 42 || bytes[3] == 43);
  return little || big;
}

ResultOf<CountImage> ReadTiff(ImageBytes bytes, const ImageReadLimits& limits) {
  if (!LooksLikeTiff(bytes)) return Result::Fail("not a TIFF file");
  MemoryFile file;
  file.data = bytes.data();
  file.size = bytes.size();
  TiffHandle handle(file, "rm");
  TIFF* tif = handle.get();
  if (tif == nullptr) return LibraryFailure(file, "the TIFF header cannot be read");

  std::uint32_t width = 0, height = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  CountImage image;
  if (Result size = CheckImageSize(width, height, limits); !size) return size;
  SampleLayout layout;
  if (Result ok = CheckLayout(tif, layout); !ok) return ok;
  if (Result ok = AllocateCountImage(image, width, height, limits); !ok) return ok;
  const long long maxBlockPixels =
      limits.maxPixels > 0 ? std::max<long long>(limits.maxPixels, 1 << 16) : kMaxImagePixels;
  if (Result ok = ReadBlocks(tif, file, layout, maxBlockPixels, image); !ok) return ok;

  if (layout.channels == 3) {
    const bool integer = layout.format != SAMPLEFORMAT_IEEEFP;
    for (double& v : image.values) v = integer ? std::trunc(v / 3.0) : v / 3.0;
  }
  if (layout.format == SAMPLEFORMAT_IEEEFP) ZeroNonFinite(image);
  // Counting the pages walks the directory chain, which the library guards against loops.
  const int pages = TIFFNumberOfDirectories(tif);
  if (pages > 1) {
    image.notes.push_back("the TIFF holds " + std::to_string(pages) + " pages; the first was read");
  }
  return image;
}

ResultOf<std::vector<std::uint8_t>> EncodeTiff(int width, int height,
                                               const std::vector<double>& values,
                                               TiffSamples samples) {
  if (width < 1 || height < 1 ||
      values.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    return Result::Fail("no image to write");
  }
  const int bytes = samples == TiffSamples::kUnsigned8    ? 1
                    : samples == TiffSamples::kUnsigned16 ? 2
                                                          : 4;
  std::vector<std::uint8_t> pixels(values.size() * static_cast<std::size_t>(bytes));
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::uint8_t* p = pixels.data() + i * bytes;
    if (samples == TiffSamples::kUnsigned8) {
      p[0] = TruncateToward0<std::uint8_t>(values[i]);
    } else if (samples == TiffSamples::kUnsigned16) {
      const std::uint16_t v = TruncateToward0<std::uint16_t>(values[i]);
      std::memcpy(p, &v, 2);
    } else {
      const float v = static_cast<float>(values[i]);
      std::memcpy(p, &v, 4);
    }
  }

  std::vector<std::uint8_t> out;
  MemoryFile file;
  file.out = &out;
  TiffHandle handle(file, "w");
  TIFF* tif = handle.get();
  if (tif == nullptr) return LibraryFailure(file, "the TIFF cannot be started");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(bytes * 8));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(1));
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT,
               samples == TiffSamples::kFloat32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(height));
  if (TIFFWriteEncodedStrip(tif, 0, pixels.data(), static_cast<tmsize_t>(pixels.size())) < 0) {
    return LibraryFailure(file, "the TIFF pixels cannot be written");
  }
  if (TIFFFlush(tif) == 0) return LibraryFailure(file, "the TIFF cannot be completed");
  handle.Close();
  if (!file.error.empty()) return LibraryFailure(file, "the TIFF cannot be written");
  return out;
}

}  // namespace zmr
