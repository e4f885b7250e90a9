#include "imagefiles/PngImage.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>
#include <string>

#include "state/Numeric.h"
#include "state/ProgramState.h"

namespace zmr {

namespace {

// Everything a libpng call may touch. The functions that call setjmp hold nothing with a
// destructor: an error jumps back over libpng's frames and ours straight to them, so what must
// be released lives here, in the caller's frame.
struct PngContext {
  ImageBytes bytes;
  std::size_t pos = 0;
  std::vector<std::uint8_t>* out = nullptr;
  std::string error;
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colorType = 0;
  int channels = 0;  // after the transformations
  std::size_t rowBytes = 0;
  std::vector<std::uint8_t> pixels;
  std::vector<png_bytep> rows;
};

void ErrorFn(png_structp png, png_const_charp message) {
  auto* c = static_cast<PngContext*>(png_get_error_ptr(png));
  if (c->error.empty()) c->error = message;
  png_longjmp(png, 1);
}

void WarningFn(png_structp, png_const_charp) {}

// libpng's memory comes from the program's allocator, like every other buffer a file makes: a
// refusal is libpng's "out of memory" error, and what a file makes it take can be measured.
png_voidp AllocateFn(png_structp, png_alloc_size_t size) {
  return ::operator new(size, std::nothrow);
}
void FreeFn(png_structp, png_voidp pointer) { ::operator delete(pointer); }

void ReadFn(png_structp png, png_bytep data, png_size_t length) {
  auto* c = static_cast<PngContext*>(png_get_io_ptr(png));
  if (length > c->bytes.size() - c->pos) png_error(png, "the file ends inside the image data");
  std::memcpy(data, c->bytes.data() + c->pos, length);
  c->pos += length;
}

void WriteFn(png_structp png, png_bytep data, png_size_t length) {
  auto* c = static_cast<PngContext*>(png_get_io_ptr(png));
  bool grown = true;
  try {
    c->out->insert(c->out->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    grown = false;
  }
  if (!grown) png_error(png, "out of memory");
}

void FlushFn(png_structp) {}

// The ancillary chunks libpng knows, five bytes each (the name and a zero). The reader converts
// no gamma or colour space and drops transparency, so it needs none of them.
constexpr png_byte kIgnoredChunks[] =
    "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0"
    "pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0tRNS\0zTXt";

// Reads the header up to the image data. False after a library error.
bool ReadHeader(PngContext* c) {
  if (setjmp(png_jmpbuf(c->png))) return false;
  png_set_read_fn(c->png, c, ReadFn);
  // The size is checked by the caller, with its own message.
  png_set_user_limits(c->png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  // libpng takes memory for an ancillary chunk's declared length before it reads the chunk: a
  // 66-byte file declaring a suggested palette of 1.7 GB took 1.7 GB. The pixels need none of
  // those chunks, so they are passed over as unknown ones are, read and dropped piece by piece.
  png_set_keep_unknown_chunks(c->png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(c->png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                              static_cast<int>(sizeof kIgnoredChunks / 5));
  png_set_chunk_malloc_max(c->png, std::max<png_alloc_size_t>(c->bytes.size(), 1u << 20));
  png_read_info(c->png, c->info);
  int interlace = 0;
  png_get_IHDR(c->png, c->info, &c->width, &c->height, &c->bitDepth, &c->colorType, &interlace,
               nullptr, nullptr);
  return true;
}

// Sets up the transformations; this allocates a row buffer, so only after the size was
// checked. False after a library error.
bool SetTransformations(PngContext* c) {
  if (setjmp(png_jmpbuf(c->png))) return false;
  if (c->colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(c->png);
  if (c->bitDepth < 8) png_set_packing(c->png);  // one byte per sample, value unscaled
  if ((c->colorType & PNG_COLOR_MASK_ALPHA) != 0 || c->colorType == PNG_COLOR_TYPE_PALETTE) {
    png_set_strip_alpha(c->png);
  }
  png_set_interlace_handling(c->png);
  png_read_update_info(c->png, c->info);
  c->channels = png_get_channels(c->png, c->info);
  c->rowBytes = png_get_rowbytes(c->png, c->info);
  return true;
}

bool ReadRows(PngContext* c) {
  if (setjmp(png_jmpbuf(c->png))) return false;
  png_read_image(c->png, c->rows.data());
  return true;
}

bool WriteAll(PngContext* c) {
  if (setjmp(png_jmpbuf(c->png))) return false;
  png_set_write_fn(c->png, c, WriteFn, FlushFn);
  // The fastest compression: the default level takes seconds on a detector image, for files
  // only a few per cent smaller.
  png_set_compression_level(c->png, 1);
  png_set_IHDR(c->png, c->info, c->width, c->height, c->bitDepth, PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(c->png, c->info);
  png_write_image(c->png, c->rows.data());
  png_write_end(c->png, nullptr);
  return true;
}

Result Failure(const PngContext& c, const char* what) {
  return Result::Fail(c.error.empty() ? std::string(what)
                                      : std::string(what) + " (" + c.error + ")");
}

}  // namespace

bool LooksLikePng(ImageBytes bytes) {
  return bytes.size() >= 8 && png_sig_cmp(bytes.data(), 0, 8) == 0;
}

ResultOf<CountImage> ReadPng(ImageBytes bytes, const ImageReadLimits& limits) {
  if (!LooksLikePng(bytes)) return Result::Fail("not a PNG file");
  PngContext c;
  c.bytes = bytes;
  c.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &c, ErrorFn, WarningFn, nullptr,
                                   AllocateFn, FreeFn);
  if (c.png != nullptr) c.info = png_create_info_struct(c.png);
  struct Release {
    PngContext& c;
    ~Release() { png_destroy_read_struct(&c.png, c.info != nullptr ? &c.info : nullptr, nullptr); }
  } release{c};
  if (c.info == nullptr) return Result::Fail("the PNG reader cannot be started");
  if (!ReadHeader(&c)) return Failure(c, "the PNG header cannot be read");

  CountImage image;
  if (Result size = CheckImageSize(c.width, c.height, limits); !size) return size;
  if (!SetTransformations(&c)) return Failure(c, "the PNG header cannot be read");
  if (Result ok = AllocateCountImage(image, c.width, c.height, limits); !ok) return ok;
  const int sampleBytes = c.bitDepth == 16 ? 2 : 1;
  if (c.channels != 1 && c.channels != 3) return Failure(c, "a PNG of unexpected channels");
  if (c.rowBytes != static_cast<std::size_t>(c.width) * c.channels * sampleBytes) {
    return Failure(c, "a PNG whose row size does not match its samples");
  }
  try {
    c.pixels.resize(c.rowBytes * c.height);
    c.rows.resize(c.height);
  } catch (const std::bad_alloc&) {
    return Result::Fail("not enough memory for the PNG pixels");
  }
  for (png_uint_32 y = 0; y < c.height; ++y) c.rows[y] = c.pixels.data() + y * c.rowBytes;
  if (!ReadRows(&c)) return Failure(c, "the PNG pixels cannot be decoded");

  for (std::size_t i = 0; i < image.values.size(); ++i) {
    const std::uint8_t* p = c.pixels.data() + i * c.channels * sampleBytes;
    unsigned sum = 0;
    for (int ch = 0; ch < c.channels; ++ch) {
      const std::uint8_t* s = p + ch * sampleBytes;
      sum += sampleBytes == 2 ? (static_cast<unsigned>(s[0]) << 8) | s[1] : s[0];
    }
    image.values[i] = static_cast<double>(sum / static_cast<unsigned>(c.channels));
  }
  return image;
}

ResultOf<std::vector<std::uint8_t>> EncodePng(int width, int height,
                                              const std::vector<double>& values, int bitDepth) {
  if (width < 1 || height < 1 || (bitDepth != 8 && bitDepth != 16) ||
      values.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    return Result::Fail("no image to write");
  }
  std::vector<std::uint8_t> out;
  PngContext c;
  c.out = &out;
  c.width = static_cast<png_uint_32>(width);
  c.height = static_cast<png_uint_32>(height);
  c.bitDepth = bitDepth;
  const std::size_t sampleBytes = bitDepth == 16 ? 2 : 1;
  c.rowBytes = static_cast<std::size_t>(width) * sampleBytes;
  c.pixels.resize(c.rowBytes * c.height);
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (bitDepth == 8) {
      c.pixels[i] = TruncateToward0<std::uint8_t>(values[i]);
    } else {
      const std::uint16_t v = TruncateToward0<std::uint16_t>(values[i]);
      c.pixels[2 * i] = static_cast<std::uint8_t>(v >> 8);
      c.pixels[2 * i + 1] = static_cast<std::uint8_t>(v & 0xFF);
    }
  }
  c.rows.resize(c.height);
  for (png_uint_32 y = 0; y < c.height; ++y) c.rows[y] = c.pixels.data() + y * c.rowBytes;
  c.png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, &c, ErrorFn, WarningFn, nullptr,
                                    AllocateFn, FreeFn);
  if (c.png != nullptr) c.info = png_create_info_struct(c.png);
  struct Release {
    PngContext& c;
    ~Release() { png_destroy_write_struct(&c.png, c.info != nullptr ? &c.info : nullptr); }
  } release{c};
  if (c.info == nullptr) return Result::Fail("the PNG writer cannot be started");
  if (!WriteAll(&c)) return Failure(c, "the PNG cannot be written");
  return out;
}

}  // namespace zmr
