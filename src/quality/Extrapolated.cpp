#include "quality/Extrapolated.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "export/OrbikExport.h"
#include "geometry/LeastSquare.h"
#include "state/ProgramState.h"

namespace zmr {
namespace {

// Points files print six decimals.
constexpr double kCoordinateTolerance = 1e-5;

bool OnMeshAxis(double c, long step, long size) {
  const double whole = std::round(c);
  if (std::fabs(c - whole) > kCoordinateTolerance || whole < 0 || whole > size - 1) return false;
  const auto k = static_cast<long>(whole);
  return k == size - 1 || (step > 0 && k % step == 0);
}

long UsablePoints(const ProgramState& s) {
  return std::clamp<long>(s.NumberOfPoints, 0, static_cast<long>(s.PointsInput.size() / 4));
}

}  // namespace

long MeasuredPointCount(const ProgramState& s) {
  const long n = UsablePoints(s);
  const long width = s.ImageM > 0 ? s.ImageM : s.cxDib;
  const long height = s.ImageN > 0 ? s.ImageN : s.cyDib;
  const long step = s.EdgeGrid > 0 ? s.EdgeGrid * kExtrapolationStepFactor : 0;
  long first = n;
  while (first > 0) {
    const double* r = s.PointsInput.data() + 4 * (first - 1);
    if (!OnMeshAxis(r[0], step, width) || !OnMeshAxis(r[1], step, height)) break;
    --first;
  }
  return first == 0 ? n : first;
}

ExtrapolatedRegion DescribeExtrapolatedRegion(const ProgramState& s, long M, long N) {
  ExtrapolatedRegion region;
  const long n = UsablePoints(s);
  region.measured = MeasuredPointCount(s);
  region.extrapolated = n - region.measured;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  region.nodeDistance.assign(kZmrNodeCount, nan);
  region.nodeDistanceMax = nan;
  for (int r = 0; r < kZmrNodeCount; ++r) {
    const double x = static_cast<double>((r % kZmrNodesPerAxis) * kZmrNodeStep - s.xoffset);
    const double y = static_cast<double>((r / kZmrNodesPerAxis) * kZmrNodeStep - s.yoffset);
    if (x < 0 || y < 0 || x >= M || y >= N) continue;
    double best = std::numeric_limits<double>::infinity();
    for (long k = 0; k < region.measured; ++k) {
      const double* p = s.PointsInput.data() + 4 * k;
      best = std::min(best, std::hypot(p[0] - x, p[1] - y));
    }
    if (!std::isfinite(best)) continue;
    region.nodeDistance[r] = best;
    if (!(region.nodeDistanceMax >= best)) region.nodeDistanceMax = best;
  }
  return region;
}

}  // namespace zmr
