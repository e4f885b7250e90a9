#include "oracle/LiteralGeometry.h"

#include <locale.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>

#include "export/GridShifts.h"
#include "geometry/LeastSquare.h"
#include "geometry/RotationScale.h"
#include "geometry/Transform.h"
#include "geometry/TriangleLocation.h"
#include "state/Array.h"
#include "state/CNumericLocale.h"
#include "state/Numeric.h"
#include "state/ProgramState.h"
#include "state/SafeWrite.h"

namespace zmr::oracle {
namespace {

constexpr const char* kCorrectedPointsName = "CorrectedPoints.txt";

bool Cancelled() { return State().fTerminated.load(std::memory_order_acquire) != 0; }

bool HoldsPixels(std::size_t size, long long pixels) {
  return static_cast<unsigned long long>(size) >= static_cast<unsigned long long>(pixels);
}

}  // namespace

int RunTransformLiteral(long ImageM, long ImageN) {
  ProgramState& s = State();
  const long M = ImageM;
  const long N = ImageN;
  if (M <= 0 || N <= 0) return 1;
  const long long ctotal = static_cast<long long>(M) * N;
  if (!HoldsPixels(s.Msource.size(), ctotal) || !HoldsPixels(s.Mtarget.size(), ctotal) ||
      !HoldsPixels(s.Signal.size(), ctotal) || !HoldsPixels(s.Area.size(), ctotal) ||
      !HoldsPixels(s.deltaX.size(), ctotal) || !HoldsPixels(s.deltaY.size(), ctotal)) {
    return 1;
  }
  FillArrayD(s.Signal.data(), M, N, 0.0);
  FillArrayInt(s.Mtarget.data(), M, N, 0);
  for (long j = 0; j < N && !Cancelled(); ++j) {
    s.iDetectedAreas.store(static_cast<int>(j), std::memory_order_relaxed);
    for (long i = 0; i < M && !Cancelled(); ++i) {
      const long long done = static_cast<long long>(j) * M + i;
      s.iProgressStatus.store(static_cast<int>((100 * done) / ctotal), std::memory_order_relaxed);
      TransformCoordinates(i, j, M, N, s.Msource.data(), s.Signal.data(), s.Area.data(),
                           s.deltaX.data(), s.deltaY.data());
    }
  }
  ArrayNormalise(s.Signal.data(), M, N, 255.0);
  ArrayDoubleToInt(s.Signal.data(), s.Mtarget.data(), M, N);
  return 1;
}

int ArrayStatisticsLiteral(double* Center, double* Rotation, double* Scale, long M, long N,
                           double* Xshift, double* Yshift, int* Area) {
  ProgramState& s = State();
  CNumericLocale cLocale;

  // Another stage may have left the shared log open; its lines are flushed before we truncate.
  if (s.OUT_LOG != nullptr) std::fclose(s.OUT_LOG);
  s.OUT_LOG = std::fopen(kTraceLogName, "w");
  std::FILE* log = s.OUT_LOG;

  // Pass 1: sample the field, find the centroid of the zone.
  const long long total = (M > 0 && N > 0) ? static_cast<long long>(M) * N : 0;
  long count = 0;
  Center[0] = 0.0;
  Center[1] = 0.0;
  for (long j = 0; j < N && total > 0 && !Cancelled(); ++j) {
    for (long i = 0; i < M && !Cancelled(); ++i) {
      const long index = j * M + i;
      s.iProgressStatus.store(static_cast<int>((100 * static_cast<long long>(index)) / total),
                              std::memory_order_relaxed);
      const double P0[2] = {static_cast<double>(i), static_cast<double>(j)};
      double D[2] = {0.0, 0.0};
      const long t = FindTrianglePI(P0[0], P0[1]);
      if (t == -1) {
        Area[index] = 0;
      } else {
        ApproximateShiftsT(P0, D, t);
        Center[0] += P0[0];
        Center[1] += P0[1];
        ++count;
        Area[index] = 1;
      }
      Xshift[index] = D[0];
      Yshift[index] = D[1];
    }
  }
  if (count > 0) {
    Center[0] /= count;
    Center[1] /= count;
  }
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
  for (long j = 0; j < N && total > 0 && !Cancelled(); ++j) {
    for (long i = 0; i < M && !Cancelled(); ++i) {
      const long index = j * M + i;
      if (Area[index] == 0) continue;
      const double R[2] = {i - Center[0], j - Center[1]};
      const double r = std::sqrt(R[0] * R[0] + R[1] * R[1]);
      // The unit vector is formed only where it is used: at r = 0 it has no direction.
      if (r >= s.CenterLimit) {
        const double e[2] = {R[0] / r, R[1] / r};
        const double C[2] = {Xshift[index] - DOffset[0], Yshift[index] - DOffset[1]};
        *Rotation += std::atan((e[0] * C[1] - e[1] * C[0]) / r);
        *Scale += (e[0] * C[0] + e[1] * C[1]) / r + 1.0;
        ++countr;
      }
    }
  }
  if (countr > 0) {
    *Rotation /= countr;
    *Scale /= countr;
  }

  // Pass 3: report and correct.
  const bool cancelledBefore = Cancelled();
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
  for (long k = 0; k < points && !Cancelled(); ++k) {
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

  const bool written = WriteWholeFile(kCorrectedPointsName, [&](std::FILE* f) {
    for (long k = 0; k < processed; ++k) {
      const double* row = pts + 4 * k;
      if (std::fprintf(f, "%f %f %f %f\n", row[0], row[1], row[2], row[3]) < 0) return false;
    }
    return true;
  });
  if (!written && log != nullptr) {
    std::fprintf(log, "Cannot open output file %s\n", kCorrectedPointsName);
  }

  if (s.OUT_LOG != nullptr) std::fclose(s.OUT_LOG);
  s.OUT_LOG = nullptr;
  return 0;
}

int CalculateReducedGridShiftsLiteral(long M, long N, int Step, [[maybe_unused]] int Mode) {
  if (!ReducedGridShiftsProblem(M, N, Step).empty()) return 0;
  ProgramState& s = State();
  const long long field = s.ORBIKE;
  double* out = s.PointsOutput.data();
  int count = 0;
  for (long long j = 0; j * Step <= field; ++j) {
    const long long jc = j * Step - s.yoffset;
    if (jc < 0 || jc >= N) continue;
    for (long long i = 0; i * Step <= field; ++i) {
      const long long ic = i * Step - s.xoffset;
      if (ic < 0 || ic >= M) continue;
      const double x = static_cast<double>(ic);
      const double y = static_cast<double>(jc);
      double dx = 0.0;
      double dy = 0.0;
      CalculateGridShifts(M, N, x, y, dx, dy);
      double* r = out + 4L * count;
      r[0] = x;
      r[1] = y;
      r[2] = x + dx;
      r[3] = y + dy;
      ++count;
    }
  }
  return count;
}

std::vector<std::array<long, 2>> OutsideMeshNodesLiteral(int M, int N) {
  const long step = State().EdgeGrid * kExtrapolationStepFactor;
  std::vector<long> xs(static_cast<std::size_t>(MeshCoordinateCount(step, M)));
  std::vector<long> ys(static_cast<std::size_t>(MeshCoordinateCount(step, N)));
  GenerateMeshCoordinates(xs.data(), step, M);
  GenerateMeshCoordinates(ys.data(), step, N);
  std::vector<std::array<long, 2>> nodes;
  for (long i : xs) {
    for (long j : ys) {
      if (FindTrianglePI(static_cast<double>(i), static_cast<double>(j)) == -1) {
        nodes.push_back({i, j});
      }
    }
  }
  return nodes;
}

}  // namespace zmr::oracle
