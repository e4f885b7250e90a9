#include "ui/StatusText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "state/CNumericLocale.h"
#include "state/ProgramState.h"
#include "ui/resource.h"

namespace zmr {

namespace {
template <typename... Args>
std::string Format(const char* format, Args... args) {
  CNumericLocale cLocale;
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string Seconds(double seconds) {
  return seconds < 10.0 ? Format("%.1f s", seconds) : Format("%.0f s", seconds);
}
}  // namespace

std::string PixelStatusText(const ProgramState& s, int px, int py) {
  if (px < 0 || py < 0 || px >= s.cxDib || py >= s.cyDib) return {};
  const auto i = static_cast<std::size_t>(py) * static_cast<std::size_t>(s.cxDib) +
                 static_cast<std::size_t>(px);
  const ImageVector<int>& shown = s.cCurrentBitmap == 1 ? s.Mtarget : s.Msource;
  std::string text = Format("x %d, y %d", px, py);
  if (i < shown.size()) text += Format("  grey %d", shown[i]);
  if (s.cCurrentBitmap != 1 && i < s.SourceCounts.size()) {
    text += Format("  counts %g", s.SourceCounts[i]);
  }
  return text;
}

std::string NearestPointText(const ProgramState& s, double x, double y) {
  const long n = std::min<long>(s.NumberOfPoints, static_cast<long>(s.PointsInput.size() / 4));
  long best = -1;
  double bestDistance = std::numeric_limits<double>::infinity();
  for (long k = 0; k < n; ++k) {
    const double dx = s.PointsInput[4 * k] - x;
    const double dy = s.PointsInput[4 * k + 1] - y;
    const double d = dx * dx + dy * dy;
    if (d < bestDistance) {
      bestDistance = d;
      best = k;
    }
  }
  if (best < 0) return {};
  const auto k = static_cast<std::size_t>(best);
  const double* p = &s.PointsInput[4 * k];
  std::string text = Format("point %ld (%.2f, %.2f) \u2192 ideal (%.2f, %.2f) \u0394 %+.2f, %+.2f",
                            best, p[0], p[1], p[2], p[3], p[2] - p[0], p[3] - p[1]);
  // The last report's leave-one-out error, while it was computed for this point where it is.
  if (s.pointResiduals.size() == static_cast<std::size_t>(n) &&
      s.residualPoints.size() == 2 * static_cast<std::size_t>(n) &&
      s.residualPoints[2 * k] == p[0] && s.residualPoints[2 * k + 1] == p[1] &&
      !std::isnan(s.pointResiduals[k])) {
    text += Format("  residual %.3f px", s.pointResiduals[k]);
  }
  return text;
}

std::string CommandSummaryText(const ProgramState& s, int commandId, double seconds) {
  const long points = s.NumberOfPoints;
  const long triangles = s.NumberOfTriangles;
  switch (commandId) {
    case IDM_AUTODETECT:
      return Format("Auto-detection: %d areas, %ld assigned, %ld triangles, ",
                    s.iDetectedAreas.load(), points, triangles) +
             Seconds(seconds);
    case IDM_POINTS_OPEN:
      return Format("Calibration points: %ld points, %ld triangles, ", points, triangles) +
             Seconds(seconds);
    case IDM_ADJUST:
      if (!s.adjusted) return {};
      if (s.adjustedScale == 0.0) {
        return "Adjustment: no rotation or scale estimate (no pixel far enough from the centre), " +
               Seconds(seconds);
      }
      return Format("Adjustment: rotation %.3f\u00b0, scale %.4f about (%.0f, %.0f), ",
                    s.adjustedRotation * 180.0 / std::acos(-1.0), s.adjustedScale,
                    s.adjustedCenter[0], s.adjustedCenter[1]) +
             Seconds(seconds);
    case IDM_EXTRAPOLATE:
      return Format("Boundary extrapolation: %ld points, %ld triangles, ", points, triangles) +
             Seconds(seconds);
    case IDM_TRANSFORM:
      return Format("Transformation: %d x %d image through %ld triangles, ", s.cxDib, s.cyDib,
                    triangles) +
             Seconds(seconds);
    default:
      return {};
  }
}

}  // namespace zmr
