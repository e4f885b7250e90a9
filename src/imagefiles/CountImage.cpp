#include "imagefiles/CountImage.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "state/Numeric.h"
#include "state/ProgramState.h"

namespace zmr {

namespace {

double GreyScaleMaximum(std::span<const double> counts) {
  double max = 0.0;
  for (double v : counts) max = std::max(max, v);
  return max;
}

int GreyOf(double value, double max) {
  return TruncateToward0<int>(max > 0.0 ? value / max * 255.0 : value);
}

}  // namespace

void CountsToGrey(std::span<const double> counts, std::span<int> grey) {
  const double max = GreyScaleMaximum(counts);
  for (std::size_t i = 0; i < counts.size() && i < grey.size(); ++i)
    grey[i] = GreyOf(counts[i], max);
}

bool GreyShowsCounts(std::span<const double> counts, std::span<const int> grey) {
  if (counts.size() != grey.size()) return false;
  const double max = GreyScaleMaximum(counts);
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (grey[i] != GreyOf(counts[i], max)) return false;
  }
  return true;
}

std::string SizeText(long long width, long long height) {
  return std::to_string(width) + " \xC3\x97 " + std::to_string(height);
}

Result CheckImageSize(long long width, long long height, const ImageReadLimits& limits) {
  if (width < 1 || height < 1) {
    return Result::Fail("the image size " + SizeText(width, height) + " is not positive");
  }
  const long long cap = limits.maxPixels > 0 && limits.maxPixels < kMaxImagePixels
                            ? limits.maxPixels
                            : kMaxImagePixels;
  // Compared side by side first so that the product cannot overflow.
  if (!ImageSizeAllowed(width, height) || width * height > cap) {
    return Result::Fail("the image size " + SizeText(width, height) + " is too large");
  }
  return Result::Ok();
}

Result AllocateCountImage(CountImage& image, long long width, long long height,
                          const ImageReadLimits& limits) {
  if (Result size = CheckImageSize(width, height, limits); !size) return size;
  try {
    std::vector<double> values(static_cast<std::size_t>(width * height));
    image.values.swap(values);
  } catch (const std::bad_alloc&) {
    return Result::Fail("not enough memory for " + SizeText(width, height) + " values");
  }
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  return Result::Ok();
}

void ZeroNonFinite(CountImage& image) {
  std::size_t replaced = 0;
  for (double& v : image.values) {
    if (!std::isfinite(v)) {
      v = 0.0;
      ++replaced;
    }
  }
  if (replaced > 0) {
    image.notes.push_back(std::to_string(replaced) +
                          " NaN or infinite values of the image were read as 0");
  }
}

}  // namespace zmr
