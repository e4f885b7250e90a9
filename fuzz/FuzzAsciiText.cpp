// Fuzz target: ASCII matrix images (decimal, octal or hexadecimal values as "%i" reads them).
#include "TextImageHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return zmr::fuzz::FuzzTextImage(data, size, "%i");
}
