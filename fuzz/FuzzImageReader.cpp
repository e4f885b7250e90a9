// Fuzz target of one image reader (TIFF, PNG, JPEG, PGM/PPM or EDF, each over memory), chosen
// when the target is built (ZMR_FUZZ_READER). The reader runs on the input with a pixel cap; an
// image it accepts must match its size, stay within the cap, hold only finite values and
// survive the float TIFF encoder and a second read unchanged (as floats). A refusal must say
// why.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imagefiles/CountImage.h"
#include "imagefiles/EdfImage.h"
#include "imagefiles/JpegImage.h"
#include "imagefiles/NetpbmImage.h"
#include "imagefiles/PngImage.h"
#include "imagefiles/TiffImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zmr;
  // Small enough that every accepted input decodes in a few milliseconds.
  constexpr ImageReadLimits kFuzzLimits{1 << 18};
  const ResultOf<CountImage> got = ZMR_FUZZ_READER(ImageBytes(data, size), kFuzzLimits);
  if (!got.ok()) {
    if (got.message().empty()) std::abort();
    return 0;
  }
  const CountImage& image = got.value();
  if (image.width < 1 || image.height < 1) std::abort();
  const long long pixels = static_cast<long long>(image.width) * image.height;
  if (pixels > kFuzzLimits.maxPixels) std::abort();
  if (image.values.size() != static_cast<std::size_t>(pixels)) std::abort();
  for (double v : image.values) {
    if (!std::isfinite(v)) std::abort();
  }
  const auto encoded = EncodeTiff(image.width, image.height, image.values, TiffSamples::kFloat32);
  if (!encoded.ok()) std::abort();
  const auto again = ReadTiff(encoded.value());
  if (!again.ok() || again.value().width != image.width || again.value().height != image.height) {
    std::abort();
  }
  for (std::size_t i = 0; i < image.values.size(); ++i) {
    const float expected = static_cast<float>(image.values[i]);
    // A value beyond the float range becomes infinite in the file and reads back as 0.
    if (std::isfinite(expected) && again.value().values[i] != expected) std::abort();
  }
  return 0;
}
