#include "oracle/LiteralGeometry.h"

#include <atomic>
#include <cstdio>

#include "export/GridShifts.h"
#include "geometry/LeastSquare.h"
#include "geometry/RotationScale.h"
#include "geometry/Transform.h"
#include "geometry/TriangleLocation.h"
#include "state/Array.h"
#include "state/ProgramState.h"

namespace zmr::oracle {
namespace {

bool Cancelled() { return State().fTerminated.load(std::memory_order_acquire) != 0; }

}  // namespace

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
      TransformCoordinates(State(), i, j, M, N, s.Msource.data(), s.Signal.data(), s.Area.data(),
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
      const long t = FindTrianglePI(State(), P0[0], P0[1]);
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
  if (!ReducedGridShiftsProblem(State(), M, N, Step).empty()) return 0;
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
      CalculateGridShifts(State(), M, N, x, y, dx, dy);
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
      if (FindTrianglePI(State(), static_cast<double>(i), static_cast<double>(j)) == -1) {
        nodes.push_back({i, j});
      }
    }
  }
  return nodes;
}

}  // namespace zmr::oracle
