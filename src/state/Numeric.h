// Conversions from double that the file formats and drawing need: truncation toward zero as
// the C cast does, but defined for every input (NaN gives 0, out-of-range values saturate).
#pragma once

#include <cmath>
#include <limits>

namespace zmr {

template <typename Int>
Int TruncateToward0(double v) {
  if (std::isnan(v)) return 0;
  constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
  constexpr double hi = static_cast<double>(std::numeric_limits<Int>::max());
  if (v <= lo) return std::numeric_limits<Int>::min();
  if (v >= hi) return std::numeric_limits<Int>::max();
  return static_cast<Int>(v);
}

}  // namespace zmr
