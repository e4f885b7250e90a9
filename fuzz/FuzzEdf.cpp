// Fuzz target: the EDF decoder, with the checks of CountImageHarness.h.
#include <cstddef>
#include <cstdint>

#include "CountImageHarness.h"
#include "imagefiles/EdfImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return zmr::fuzz::CheckReader(
      [](zmr::ImageBytes bytes, const zmr::ImageReadLimits& limits) {
        return zmr::ReadEdf(bytes, limits);
      },
      data, size);
}
