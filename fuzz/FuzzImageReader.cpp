// Fuzz target of one image reader (TIFF, PNG, JPEG, PGM/PPM or EDF, each over memory), chosen
// when the target is built (ZMR_FUZZ_READER), with the checks of CountImageHarness.h.
#include <cstddef>
#include <cstdint>

#include "CountImageHarness.h"
#include "imagefiles/EdfImage.h"
#include "imagefiles/JpegImage.h"
#include "imagefiles/NetpbmImage.h"
#include "imagefiles/PngImage.h"
#include "imagefiles/TiffImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return zmr::fuzz::CheckReader(
      [](zmr::ImageBytes bytes, const zmr::ImageReadLimits& limits) {
        return zmr::ZMR_FUZZ_READER(bytes, limits);
      },
      data, size);
}
