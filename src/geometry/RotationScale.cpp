#include "geometry/RotationScale.h"

#include <locale.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <new>
#include <vector>

#include "geometry/RotationScaleSums.h"
#include "geometry/ShiftFieldSampling.h"
#include "geometry/TriangleLocation.h"
#include "state/CNumericLocale.h"
#include "state/Numeric.h"
#include "state/ProgramState.h"
#include "state/SafeWrite.h"
#include "state/TraceLog.h"

namespace zmr {
namespace {

constexpr const char* kCorrectedPointsName = "CorrectedPoints.txt";

bool Cancelled(const ProgramState& s) { return s.fTerminated.load(std::memory_order_acquire) != 0; }

}  // namespace

bool WriteCorrectedPoints(ProgramState& s, const double* pts, long count) {
  CNumericLocale cLocale;
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
  if (!written) AddNote(s, std::string(kCorrectedPointsName) + " was not written: " + why);
  return written;
}

int ArrayStatistics(ProgramState& s, double* Center, double* Rotation, double* Scale, long M,
                    long N, double* Xshift, double* Yshift, int* Area) {
  // Another stage may have left the shared log open; its lines are flushed before we truncate.
  OpenTraceLog(s, "w");

  // Pass 1: sample the field, find the centroid of the zone.
  const long long total = (M > 0 && N > 0) ? static_cast<long long>(M) * N : 0;
  const ZoneSums zone = total > 0 ? SampleShiftField(s, M, N, Xshift, Yshift, Area) : ZoneSums{};
  const long count = zone.count;
  Center[0] = zone.x;
  Center[1] = zone.y;
  if (count > 0) {
    Center[0] /= count;
    Center[1] /= count;
  }
  return EstimateRotationScaleAndCorrect(s, Center, Rotation, Scale, M, N, Xshift, Yshift, Area,
                                         count);
}

int EstimateRotationScaleAndCorrect(ProgramState& s, double* Center, double* Rotation,
                                    double* Scale, long M, long N, const double* Xshift,
                                    const double* Yshift, const int* Area, long count) {
  CNumericLocale cLocale;
  std::FILE* log = s.OUT_LOG;
  const long long total = (M > 0 && N > 0) ? static_cast<long long>(M) * N : 0;
  double DOffset[2] = {0.0, 0.0};
  if (total > 0) {
    // The centroid lies inside the image (or is (0, 0)), so this pixel exists.
    const long k = TruncateToward0<long>(Center[1]) * M + TruncateToward0<long>(Center[0]);
    DOffset[0] = Xshift[k];
    DOffset[1] = Yshift[k];
  }

  // Pass 2: mean rotation and scale about the centre.
  *Rotation = 0.0;
  *Scale = 0.0;
  long countr = 0;
  if (total > 0 && !Cancelled(s)) {
    const RotationScaleSums sums = SumRotationScale(s, Center, DOffset, M, N, Xshift, Yshift, Area);
    *Rotation = sums.rotation;
    *Scale = sums.scale;
    countr = sums.count;
  }
  if (countr > 0) {
    *Rotation /= countr;
    *Scale /= countr;
  }

  // Pass 3: report and correct.
  const bool cancelledBefore = Cancelled(s);
  if (log != nullptr) {
    std::fprintf(log, "Center of rotation: %f %f\n", Center[0], Center[1]);
    std::fprintf(log, "Rotation : %f deg\n", *Rotation * 90 / std::asin(1.0));
    std::fprintf(log, "Scale    : %f    \n", *Scale);
    if (countr == 0 && !cancelledBefore) std::fprintf(log, kNoEstimateLine, s.CenterLimit, count);
    std::fprintf(log,
                 "Writing corrected calibration points coordinates into the output file "
                 "CorrectedPoints.txt\n");
  }

  // Without an estimate the formulas would shift every ideal position by its R.
  const bool correct = countr > 0;
  const double cosR = std::cos(*Rotation);
  const double sinR = std::sin(*Rotation);
  const long rows = static_cast<long>(s.PointsInput.size() / 4);
  const long points = std::clamp(s.NumberOfPoints, 0L, rows);
  double* pts = s.PointsInput.data();
  long processed = 0;
  for (long k = 0; k < points && !Cancelled(s); ++k) {
    double* row = pts + 4 * k;
    if (correct) {
      const double R[2] = {row[0] - Center[0], row[1] - Center[1]};
      const double X = row[2] - DOffset[0] + cosR * R[0] + sinR * R[1] - *Scale * R[0];
      const double Y = row[3] - DOffset[1] - sinR * R[0] + cosR * R[1] - *Scale * R[1];
      row[2] = X;
      row[3] = Y;
    }
    processed = k + 1;
  }

  // A cancelled run leaves the file of the last complete one as it was.
  if (Cancelled(s)) {
    AddNote(
        s, std::string(kCorrectedPointsName) + " was left as it was: the adjustment was cancelled");
    CloseTraceLog(s);
    return 0;
  }
  if (!WriteCorrectedPoints(s, pts, processed) && log != nullptr) {
    std::fprintf(log, "Cannot open output file %s\n", kCorrectedPointsName);
  }

  CloseTraceLog(s);
  return 0;
}

}  // namespace zmr
