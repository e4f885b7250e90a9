// The image of values that the TIFF, PNG, JPEG, PGM/PPM and EDF readers produce: the file's own
// values (its counts) as doubles, row 0 on top, colour already reduced to grey, and the checks
// every reader makes on a size from a header before it allocates.
//
// Threads: plain values and pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "state/Result.h"

namespace zmr {

struct CountImage {
  int width = 0;
  int height = 0;
  std::vector<double> values;      // width x height, row-major
  std::vector<std::string> notes;  // non-fatal information (a later page ignored, NaN read as 0)
};

// The bytes of an image file, as every reader takes them.
using ImageBytes = std::span<const std::uint8_t>;

// Limits a reader works within: the largest number of pixels it accepts (at most
// kMaxImagePixels; the fuzz harnesses pass less to stay fast).
struct ImageReadLimits {
  long long maxPixels = 0;  // 0: kMaxImagePixels
};

// Ok when width x height is an image the program holds (ImageSizeAllowed and the limit's pixel
// count); otherwise a failure naming the size.
Result CheckImageSize(long long width, long long height, const ImageReadLimits& limits);

// Allocates image.values for width x height (zero-filled) after CheckImageSize; a failure when
// the size is refused or memory runs out. image is unchanged on failure.
Result AllocateCountImage(CountImage& image, long long width, long long height,
                          const ImageReadLimits& limits);

// Replaces NaN and infinite values by 0, with one note saying how many there were.
void ZeroNonFinite(CountImage& image);

// The grey levels that show counts, as a text image's values are scaled: value / maximum x 255
// truncated toward zero, where the maximum is the largest count; unscaled (truncated) when no
// count is positive. grey must hold as many elements as counts.
void CountsToGrey(std::span<const double> counts, std::span<int> grey);

// True when grey is exactly what CountsToGrey makes of counts (and both have the same size).
bool GreyShowsCounts(std::span<const double> counts, std::span<const int> grey);

// "W × H" for messages.
std::string SizeText(long long width, long long height);

}  // namespace zmr
