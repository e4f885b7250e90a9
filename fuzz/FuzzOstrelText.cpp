// Fuzz target: Ostrel text images (hexadecimal values).
#include "TextImageHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return zmr::fuzz::FuzzTextImage(data, size, "%x");
}
