#include "detection/robust/NodeOutliers.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace zmr {

namespace {

constexpr int kLeastLines = 2;  // lines with all four neighbours assigned
constexpr int kLines[4][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}};

std::int64_t Key(int i, int j) {
  return (static_cast<std::int64_t>(i) << 32) ^ static_cast<std::uint32_t>(j);
}

}  // namespace

NodeOutliers FindNodeOutliers(const std::vector<double>& x, const std::vector<double>& y,
                              const LatticeAssignment& lattice) {
  const std::size_t n = x.size();
  NodeOutliers result;
  result.outlier.assign(n, 0);
  if (lattice.assigned.size() != n || lattice.nodeI.size() != n || lattice.nodeJ.size() != n) {
    return result;
  }
  std::unordered_map<std::int64_t, std::size_t> at;
  at.reserve(static_cast<std::size_t>(lattice.assignedCount) + 1);
  for (std::size_t k = 0; k < n; ++k) {
    if (lattice.assigned[k] != 0) at.emplace(Key(lattice.nodeI[k], lattice.nodeJ[k]), k);
  }
  const auto spot = [&](int i, int j, std::size_t* k) {
    const auto found = at.find(Key(i, j));
    if (found == at.end()) return false;
    *k = found->second;
    return true;
  };
  // Each spot's distance from its prediction and the limit it may not pass; -1: no prediction.
  std::vector<double> offset(n, -1.0);
  std::vector<double> limit(n, 0.0);
  for (std::size_t k = 0; k < n; ++k) {
    if (lattice.assigned[k] == 0) continue;
    const int i = lattice.nodeI[k];
    const int j = lattice.nodeJ[k];
    double px = 0.0, py = 0.0, step = 0.0;
    int lines = 0;
    for (const auto& d : kLines) {
      std::size_t a1 = 0, b1 = 0, a2 = 0, b2 = 0;
      if (!spot(i + d[0], j + d[1], &a1) || !spot(i - d[0], j - d[1], &b1) ||
          !spot(i + 2 * d[0], j + 2 * d[1], &a2) || !spot(i - 2 * d[0], j - 2 * d[1], &b2)) {
        continue;
      }
      const double m1x = 0.5 * (x[a1] + x[b1]), m1y = 0.5 * (y[a1] + y[b1]);
      const double m2x = 0.5 * (x[a2] + x[b2]), m2y = 0.5 * (y[a2] + y[b2]);
      px += (4.0 * m1x - m2x) / 3.0;
      py += (4.0 * m1y - m2y) / 3.0;
      // Half the span of the nearer pair, per lattice step (a diagonal is sqrt(2) steps).
      const double steps = (d[0] != 0 && d[1] != 0) ? std::sqrt(2.0) : 1.0;
      step += 0.5 * std::hypot(x[a1] - x[b1], y[a1] - y[b1]) / steps;
      ++lines;
    }
    if (lines < kLeastLines) continue;
    if (static_cast<int>(k) == lattice.start) {
      result.startPredicted = true;
      result.startX = px / lines;
      result.startY = py / lines;
    }
    offset[k] = std::hypot(x[k] - px / lines, y[k] - py / lines);
    limit[k] = std::max(kNodeOutlierLeast, kNodeOutlierPitchShare * step / lines);
  }
  for (std::size_t k = 0; k < n; ++k) {
    if (offset[k] <= limit[k]) continue;
    bool largest = true;
    for (int di = -1; di <= 1 && largest; ++di) {
      for (int dj = -1; dj <= 1 && largest; ++dj) {
        std::size_t m = 0;
        if ((di != 0 || dj != 0) && spot(lattice.nodeI[k] + di, lattice.nodeJ[k] + dj, &m)) {
          largest = offset[m] < offset[k];
        }
      }
    }
    result.outlier[k] = largest ? 1 : 0;
  }
  return result;
}

}  // namespace zmr
