// Fuzz target: the bitmap decoder. A decoded image must match its header's size and the
// program's image cap, and its grey levels must survive the 24-bit writer and a second decode.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "imagefiles/Bitmap.h"
#include "state/ProgramState.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> file(data, data + size);
  zmr::DecodedBitmap decoded;
  std::string why;
  if (!zmr::DecodeBitmap(file, decoded, &why)) {
    // A refusal always says why and leaves the result untouched.
    if (why.empty() || decoded.width != 0 || !decoded.pixels.empty()) std::abort();
    return 0;
  }
  int width = 0;
  int height = 0;
  if (!zmr::BitmapHeaderSize(file, width, height)) std::abort();
  if (decoded.width != width || decoded.height != height) std::abort();
  if (!zmr::ImageSizeAllowed(width, height)) std::abort();
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (decoded.pixels.size() != pixels) std::abort();

  std::vector<int> grey(pixels);
  for (std::size_t i = 0; i < pixels; ++i) grey[i] = zmr::GreyOf(decoded.pixels[i]);
  const std::vector<std::uint8_t> written = zmr::EncodeBitmap24(width, height, grey.data());
  zmr::DecodedBitmap again;
  if (written.empty() || !zmr::DecodeBitmap(written, again)) std::abort();
  if (again.width != width || again.height != height) std::abort();
  for (std::size_t i = 0; i < pixels; ++i) {
    if (zmr::GreyOf(again.pixels[i]) != grey[i]) std::abort();
  }
  return 0;
}
