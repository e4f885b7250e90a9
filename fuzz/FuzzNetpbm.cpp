// Fuzz target: the PGM and PPM decoder, with the checks of CountImageHarness.h.
#include <cstddef>
#include <cstdint>

#include "CountImageHarness.h"
#include "imagefiles/NetpbmImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return zmr::fuzz::CheckReader(
      [](zmr::ImageBytes bytes, const zmr::ImageReadLimits& limits) {
        return zmr::ReadNetpbm(bytes, limits);
      },
      data, size);
}
