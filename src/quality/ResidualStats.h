// Summary figures of a set of residual lengths (pixels): how many, their root mean square, the
// 95th percentile and the largest. Values that are not finite numbers are left out: they stand
// for residuals that could not be computed.
//
// Threads: plain values and pure functions, usable anywhere.
#pragma once

#include <vector>

namespace zmr {

struct ResidualStats {
  long count = 0;
  double rms = 0.0;
  double p95 = 0.0;  // nearest rank: the value below which 95 % of the residuals lie
  double max = 0.0;
};

// The figures of the finite values of residuals; all zero when there is none.
ResidualStats SummariseResiduals(const std::vector<double>& residuals);

}  // namespace zmr
