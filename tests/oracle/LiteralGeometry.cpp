#include "oracle/LiteralGeometry.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "geometry/RotationScale.h"
#include "geometry/Transform.h"
#include "geometry/TriangleLocation.h"
#include "state/Array.h"
#include "state/ProgramState.h"

namespace zmr::oracle {
namespace {

bool Cancelled() { return State().fTerminated.load(std::memory_order_acquire) != 0; }

// 0, step, 2 step, ... below size, then size - 1 when the last of them falls short of it.
std::vector<long> MeshCoordinates(long step, long size) {
  std::vector<long> c;
  for (long v = 0; v < size; v += step) c.push_back(v);
  if (!c.empty() && c.back() < size - 1) c.push_back(size - 1);
  return c;
}

}  // namespace

long FindTriangleLiteral(double X, double Y) {
  const ProgramState& s = State();
  const long count = std::clamp(s.NumberOfTriangles, 0L, static_cast<long>(s.Tpoints.size() / 3));
  for (long t = 0; t < count; ++t) {
    bool inside = true;
    for (int e = 0; e < 3; ++e) {
      const double* U1 = &s.PointsInput[4 * s.Tpoints[3 * t + e]];
      const double* U2 = &s.PointsInput[4 * s.Tpoints[3 * t + (e + 1) % 3]];
      const double cross = (U2[0] - U1[0]) * (Y - U1[1]) - (U2[1] - U1[1]) * (X - U1[0]);
      inside = inside && (cross > 0 || cross == 0);  // not a number: outside
    }
    if (inside) return t;
  }
  return -1;
}

int RunTransformLiteral(long ImageM, long ImageN) {
  ProgramState& s = State();
  const long M = ImageM;
  const long N = ImageN;
  if (M <= 0 || N <= 0) return 1;
  const long long ctotal = static_cast<long long>(M) * N;
  FillArrayD(s.Signal.data(), M, N, 0.0);
  FillArrayInt(s.Mtarget.data(), M, N, 0);
  for (long j = 0; j < N && !Cancelled(); ++j) {
    s.iDetectedAreas.store(static_cast<int>(j), std::memory_order_relaxed);
    for (long i = 0; i < M && !Cancelled(); ++i) {
      const long long done = static_cast<long long>(j) * M + i;
      s.iProgressStatus.store(static_cast<int>((100 * done) / ctotal), std::memory_order_relaxed);
      const long t = FindTriangleLiteral(static_cast<double>(i), static_cast<double>(j));
      if (t == -1) continue;
      TransformPixel(State(), i, j, t, M, N, s.Msource.data(), s.Signal.data(), s.Area.data(),
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
  if (s.OUT_LOG != nullptr) std::fclose(s.OUT_LOG);
  s.OUT_LOG = std::fopen(kTraceLogName, "w");

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
      const long t = FindTriangleLiteral(P0[0], P0[1]);
      if (t == -1) {
        Area[index] = 0;
      } else {
        ApproximateShiftsT(State(), P0, D, t);
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
  return EstimateRotationScaleAndCorrect(State(), Center, Rotation, Scale, M, N, Xshift, Yshift,
                                         Area, count);
}

int CalculateReducedGridShiftsLiteral(long M, long N, int Step, [[maybe_unused]] int Mode) {
  ProgramState& s = State();
  std::vector<double> rows;
  for (long long j = 0; j * Step <= s.ORBIKE; ++j) {
    const long long jc = j * Step - s.yoffset;
    if (jc < 0 || jc >= N) continue;
    for (long long i = 0; i * Step <= s.ORBIKE; ++i) {
      const long long ic = i * Step - s.xoffset;
      if (ic < 0 || ic >= M) continue;
      const double P0[2] = {static_cast<double>(ic), static_cast<double>(jc)};
      double D[2] = {0.0, 0.0};
      const long t = FindTriangleLiteral(P0[0], P0[1]);
      if (t != -1) ApproximateShiftsT(State(), P0, D, t);
      rows.insert(rows.end(), {P0[0], P0[1], P0[0] + D[0], P0[1] + D[1]});
    }
  }
  // More nodes than PointsOutput has records for: refused, nothing written.
  const std::size_t records = std::min<std::size_t>(s.MAXPoints, s.PointsOutput.size() / 4);
  if (rows.size() / 4 > records) return 0;
  std::copy(rows.begin(), rows.end(), s.PointsOutput.begin());
  return static_cast<int>(rows.size() / 4);
}

std::vector<double> BoundaryPointsLiteral(int M, int N) {
  const ProgramState& s = State();
  const long step = 4 * s.EdgeGrid;
  std::vector<double> rows;
  for (long i : MeshCoordinates(step, M)) {
    for (long j : MeshCoordinates(step, N)) {
      const double x = static_cast<double>(i), y = static_cast<double>(j);
      if (FindTriangleLiteral(x, y) != -1) continue;
      // 1, x, y, x^2, y^2, xy, x^3, y^3, x^2 y, y^2 x; x coefficients first, then y.
      const double f[10] = {1,     x,         y,         x * x,     y * y,
                            x * y, x * x * x, y * y * y, x * x * y, y * y * x};
      double d[2] = {0.0, 0.0};
      for (int a = 0; a < 2; ++a)
        for (int k = 0; k < 10; ++k) d[a] += s.WX_LS[10 * a + k] * f[k];
      rows.insert(rows.end(), {x, y, x + d[0], y + d[1]});
    }
  }
  return rows;
}

}  // namespace zmr::oracle
