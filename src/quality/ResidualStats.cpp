#include "quality/ResidualStats.h"

#include <algorithm>
#include <cmath>

namespace zmr {

ResidualStats SummariseResiduals(const std::vector<double>& residuals) {
  std::vector<double> values;
  values.reserve(residuals.size());
  for (double r : residuals) {
    if (std::isfinite(r)) values.push_back(std::fabs(r));
  }
  ResidualStats stats;
  if (values.empty()) return stats;
  std::sort(values.begin(), values.end());
  double sum = 0.0;
  for (double v : values) sum += v * v;
  stats.count = static_cast<long>(values.size());
  stats.rms = std::sqrt(sum / static_cast<double>(values.size()));
  // Nearest rank: the smallest value with at least 95 % of the values at or below it.
  const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(values.size())));
  stats.p95 = values[std::max<std::size_t>(rank, 1) - 1];
  stats.max = values.back();
  return stats;
}

}  // namespace zmr
