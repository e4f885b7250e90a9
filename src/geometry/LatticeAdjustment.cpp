#include "geometry/LatticeAdjustment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "state/CNumericLocale.h"
#include "state/ProgramState.h"
#include "state/SafeWrite.h"
#include "state/TraceLog.h"

namespace zmr {

namespace {
constexpr const char* kCorrectedPointsName = "CorrectedPoints.txt";
}

bool FitLatticeSimilarity(const double* points, long count, double* scale, double* angle,
                          double* offsetX, double* offsetY) {
  if (count < 2 || points == nullptr) return false;
  // Centred sums: with p the ideal and q the measured positions about their means, the
  // similarity's linear map (a, -b; b, a) minimises sum |q - (a, -b; b, a) p|^2.
  double mpx = 0, mpy = 0, mqx = 0, mqy = 0;
  for (long k = 0; k < count; ++k) {
    const double* row = points + 4 * k;
    mqx += row[0];
    mqy += row[1];
    mpx += row[2];
    mpy += row[3];
  }
  mpx /= count;
  mpy /= count;
  mqx /= count;
  mqy /= count;
  double spp = 0, sa = 0, sb = 0;
  for (long k = 0; k < count; ++k) {
    const double* row = points + 4 * k;
    const double px = row[2] - mpx, py = row[3] - mpy;
    const double qx = row[0] - mqx, qy = row[1] - mqy;
    spp += px * px + py * py;
    sa += px * qx + py * qy;
    sb += px * qy - py * qx;
  }
  if (!(spp > 0.0)) return false;
  const double a = sa / spp;
  const double b = sb / spp;
  *scale = std::hypot(a, b);
  *angle = std::atan2(b, a);
  *offsetX = mqx - (a * mpx - b * mpy);
  *offsetY = mqy - (b * mpx + a * mpy);
  return true;
}

int MoveIdealLatticeWhole(ProgramState& s) {
  CNumericLocale cLocale;
  OpenTraceLog(s, "w");
  const long rows = static_cast<long>(s.PointsInput.size() / 4);
  const long count = std::clamp(s.NumberOfPoints, 0L, rows);
  double* pts = s.PointsInput.data();
  double scale = 1.0, angle = 0.0, tx = 0.0, ty = 0.0;
  TraceLog(s, "Adjustment: the ideal lattice moved as a whole\n");
  if (!FitLatticeSimilarity(pts, count, &scale, &angle, &tx, &ty)) {
    TraceLog(s,
             "No similarity: %ld points with distinct ideal positions are needed; calibration "
             "points left unchanged\n",
             2L);
    AddNote(s, "Adjustment: the ideal positions are too few or all alike; nothing was changed");
    CloseTraceLog(s);
    return 0;
  }
  TraceLog(s, "Rotation : %f deg\nScale    : %f\nOffset   : %f %f\n", angle * 180.0 / M_PI, scale,
           tx, ty);
  const double a = scale * std::cos(angle);
  const double b = scale * std::sin(angle);
  for (long k = 0; k < count; ++k) {
    double* row = pts + 4 * k;
    const double X = row[2];
    const double Y = row[3];
    row[2] = tx + a * X - b * Y;
    row[3] = ty + b * X + a * Y;
  }
  TraceLog(s, "Writing corrected calibration points coordinates into the output file %s\n",
           kCorrectedPointsName);
  std::string why;
  const bool written = WriteWholeFile(
      WorkFile(s, kCorrectedPointsName).c_str(),
      [&](std::FILE* f) {
        for (long k = 0; k < count; ++k) {
          const double* row = pts + 4 * k;
          if (std::fprintf(f, "%f %f %f %f\n", row[0], row[1], row[2], row[3]) < 0) return false;
        }
        return true;
      },
      &why);
  if (!written) {
    TraceLog(s, "Cannot open output file %s\n", kCorrectedPointsName);
    AddNote(s, std::string(kCorrectedPointsName) + " was not written: " + why);
  }
  CloseTraceLog(s);
  return 0;
}

}  // namespace zmr
