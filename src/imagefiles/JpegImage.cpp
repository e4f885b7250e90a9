#include "imagefiles/JpegImage.h"

// jpeglib.h needs the declarations of stdio.h first.
#include <jerror.h>
#include <jpeglib.h>
#include <cstdio>

#include <csetjmp>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace zmr {

namespace {

// Everything a libjpeg call may touch. The functions that call setjmp hold nothing with a
// destructor: an error jumps over libjpeg's frames straight to them.
struct JpegContext {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  std::jmp_buf jump{};
  std::string error;
  std::vector<std::uint8_t> row;
  CountImage* image = nullptr;
};

JpegContext* ContextOf(j_common_ptr info) { return static_cast<JpegContext*>(info->client_data); }

void RecordError(j_common_ptr info) {
  JpegContext* c = ContextOf(info);
  if (c->error.empty()) {
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    c->error = text;
  }
}

[[noreturn]] void ErrorExit(j_common_ptr info) {
  RecordError(info);
  std::longjmp(ContextOf(info)->jump, 1);
}

// Warnings are dropped, except the end of the data inside the image: the library would fill
// the rest with grey.
void EmitMessage(j_common_ptr info, int level) {
  if (level == -1 && info->err->msg_code == JWRN_JPEG_EOF) ErrorExit(info);
}

void OutputMessage(j_common_ptr) {}

bool ReadHeader(JpegContext* c, const std::uint8_t* data, unsigned long size) {
  if (setjmp(c->jump)) return false;
  jpeg_create_decompress(&c->info);
  jpeg_mem_src(&c->info, data, size);
  jpeg_read_header(&c->info, TRUE);
  return true;
}

// Starts the decompression with grey or RGB output. False after a library error.
bool Start(JpegContext* c) {
  if (setjmp(c->jump)) return false;
  c->info.out_color_space = c->info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_start_decompress(&c->info);
  return true;
}

bool ReadRows(JpegContext* c) {
  if (setjmp(c->jump)) return false;
  const int channels = c->info.output_components;
  JSAMPROW rows[1] = {c->row.data()};
  while (c->info.output_scanline < c->info.output_height) {
    const JDIMENSION y = c->info.output_scanline;
    if (jpeg_read_scanlines(&c->info, rows, 1) != 1) return false;
    double* out = c->image->values.data() + static_cast<std::size_t>(y) * c->image->width;
    for (int x = 0; x < c->image->width; ++x) {
      const std::uint8_t* p = c->row.data() + static_cast<std::size_t>(x) * channels;
      out[x] = channels == 1 ? p[0] : (p[0] + p[1] + p[2]) / 3;
    }
  }
  jpeg_finish_decompress(&c->info);
  return true;
}

Result Failure(const JpegContext& c, const char* what) {
  return Result::Fail(c.error.empty() ? std::string(what)
                                      : std::string(what) + " (" + c.error + ")");
}

}  // namespace

bool LooksLikeJpeg(ImageBytes bytes) {
  return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

ResultOf<CountImage> ReadJpeg(ImageBytes bytes, const ImageReadLimits& limits) {
  if (!LooksLikeJpeg(bytes)) return Result::Fail("not a JPEG file");
  auto c = std::make_unique<JpegContext>();
  c->info.err = jpeg_std_error(&c->errors);
  c->info.client_data = c.get();
  c->errors.error_exit = ErrorExit;
  c->errors.emit_message = EmitMessage;
  c->errors.output_message = OutputMessage;
  struct Release {
    JpegContext& c;
    ~Release() { jpeg_destroy_decompress(&c.info); }
  } release{*c};
  if (!ReadHeader(c.get(), bytes.data(), static_cast<unsigned long>(bytes.size()))) {
    return Failure(*c, "the JPEG header cannot be read");
  }
  const int components = c->info.num_components;
  if (components != 1 && components != 3) {
    return Result::Fail("a JPEG of " + std::to_string(components) +
                        " components (grey and colour are read)");
  }
  CountImage image;
  if (Result ok = CheckImageSize(c->info.image_width, c->info.image_height, limits); !ok) {
    return ok;
  }
  if (!Start(c.get())) return Failure(*c, "the JPEG cannot be decoded");
  if (Result ok = AllocateCountImage(image, c->info.output_width, c->info.output_height, limits);
      !ok) {
    return ok;
  }
  try {
    c->row.resize(static_cast<std::size_t>(c->info.output_width) * c->info.output_components);
  } catch (const std::bad_alloc&) {
    return Result::Fail("not enough memory for a JPEG row");
  }
  c->image = &image;
  if (!ReadRows(c.get())) return Failure(*c, "the JPEG pixels cannot be decoded");
  return image;
}

}  // namespace zmr
