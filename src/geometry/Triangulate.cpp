#include "geometry/Triangulate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "state/Array.h"
#include "state/ProgramState.h"

namespace zmr {
namespace {

// Parameter margin of EdgeIntercept: crossings this close to a segment's end do not count.
constexpr double kEdgeEpsilon = 0.01;
// Shortest vector UnitVector normalises, and the smallest |sin| GetVectors accepts.
constexpr double kMinLength = 0.001;
constexpr double kMinSine = 0.001;
// The crossing parameters FindIntersection reports for parallel lines.
constexpr double kParallelParameter = 1000.0;

bool Cancelled() { return State().fTerminated.load() != 0; }

// |P - (x, y)|: the circumradius and the distances of the empty-circle scan are compared as
// lengths, square root included, so that any faster search can reproduce them exactly.
double Distance(const double* P, double x, double y) {
  return std::sqrt((P[0] - x) * (P[0] - x) + (P[1] - y) * (P[1] - y));
}

}  // namespace

bool TriangulationCapacityOk(long n) {
  const ProgramState& s = State();
  if (n < 0 || s.MAXPoints < 1 || n > s.MAXPoints - 1) return false;
  return static_cast<long long>(s.PointsBuffer.size()) >= 2LL * s.MAXPoints &&
         static_cast<long long>(s.PointsInput.size()) >= 4LL * s.MAXPoints;
}

int MakeTriangulation(int flag) {
  ProgramState& s = State();
  s.NumberOfTriangles = 0;
  s.iTriangles = 0;
  const long n = s.NumberOfPoints;
  if (!TriangulationCapacityOk(n)) return 0;

  double* px = s.PointsBuffer.data() + 1;
  double* py = s.PointsBuffer.data() + s.MAXPoints + 1;
  if (flag == 1) {
    s.fTerminated = 0;
    GetArrayColumn(px, s.PointsInput.data(), 4, n, 0);
    GetArrayColumn(py, s.PointsInput.data(), 4, n, 1);
  }

  // An earlier stage may have left the shared log open; closing it first keeps its lines ahead
  // of ours in the file.
  if (s.OUT_LOG != nullptr) std::fclose(s.OUT_LOG);
  s.OUT_LOG = std::fopen(kTraceLogName, flag == 1 ? "w" : "a");

  if (n > 2) Triangulate(px, py);

  if (s.OUT_LOG != nullptr) std::fclose(s.OUT_LOG);
  s.OUT_LOG = nullptr;
  return 0;
}

int Triangulate(const double* PX, const double* PY) {
  ProgramState& s = State();
  std::FILE* log = s.OUT_LOG;
  const long n = s.NumberOfPoints;
  const long long steps = (static_cast<long long>(n - 2) * (n - 1)) / 2;
  long long step = 0;
  // Slots of Tpoints, the candidate's scratch slot included.
  const long capacity = static_cast<long>(s.Tpoints.size() / 3);
  int* tpoints = s.Tpoints.data();

  if (log != nullptr) std::fprintf(log, "Automatic triangulation \n");
  s.iTriangles = static_cast<int>(s.NumberOfTriangles);

  bool full = false;
  for (long i = 0; i < n - 2 && !Cancelled() && !full; ++i) {
    for (long j = i + 1; j < n - 1 && !Cancelled() && !full; ++j) {
      ++step;
      s.iProgressStatus = static_cast<int>((100 * step) / steps);
      for (long k = j + 1; k < n && !Cancelled(); ++k) {
        double Oa[2], Va[2], Ob[2], Vb[2], O[2];
        if (GetVectors(i, j, k, PX, PY, Oa, Va, Ob, Vb, O) == 0) continue;

        double P[2] = {0.0, 0.0};
        double sParam = 0.0;
        double tParam = 0.0;
        FindIntersection(Oa, Va, Ob, Vb, P, &sParam, &tParam);
        const double r0 = Distance(P, O[0], O[1]);

        bool inside = false;
        for (long l = 0; l < n && !Cancelled(); ++l) {
          if (l == i || l == j || l == k) continue;
          if (Distance(P, PX[l], PY[l]) < r0) {
            inside = true;
            break;
          }
        }
        // A scan cut short by a cancel has not verified the candidate.
        if (inside || Cancelled()) continue;

        const long m = s.NumberOfTriangles;
        if (m >= capacity) {
          full = true;
          break;
        }
        if (log != nullptr) {
          std::fprintf(log, "%i [%i %i %i] ->", static_cast<int>(m), static_cast<int>(i),
                       static_cast<int>(j), static_cast<int>(k));
        }

        int* slot = tpoints + 3 * m;
        const double cross = (PX[j] - PX[i]) * (PY[k] - PY[i]) - (PY[j] - PY[i]) * (PX[k] - PX[i]);
        if (cross >= 0) {
          slot[0] = static_cast<int>(i);
          slot[1] = static_cast<int>(j);
          slot[2] = static_cast<int>(k);
        } else {
          slot[0] = static_cast<int>(k);
          slot[1] = static_cast<int>(j);
          slot[2] = static_cast<int>(i);
        }

        if (TestTriangleOverlap(m, PX, PY) == 0) {
          if (log != nullptr) std::fprintf(log, " [%i %i %i]\n", slot[0], slot[1], slot[2]);
          ++s.NumberOfTriangles;
          s.iTriangles = static_cast<int>(s.NumberOfTriangles);
        } else if (log != nullptr) {
          std::fprintf(log, "Rejected\n");
        }
      }
    }
  }
  return 0;
}

int GetVectors(long i, long j, long k, const double* PX, const double* PY, double* Oa, double* Va,
               double* Ob, double* Vb, double* O) {
  Oa[0] = (PX[i] + PX[j]) / 2;
  Oa[1] = (PY[i] + PY[j]) / 2;
  Va[0] = PY[j] - PY[i];
  Va[1] = -(PX[j] - PX[i]);
  UnitVector(Va);

  Ob[0] = (PX[i] + PX[k]) / 2;
  Ob[1] = (PY[i] + PY[k]) / 2;
  Vb[0] = PY[k] - PY[i];
  Vb[1] = -(PX[k] - PX[i]);
  UnitVector(Vb);

  O[0] = PX[i];
  O[1] = PY[i];
  return std::fabs(Va[0] * Vb[1] - Va[1] * Vb[0]) >= kMinSine ? 1 : 0;
}

int UnitVector(double* P) {
  const double length = std::sqrt(P[0] * P[0] + P[1] * P[1]);
  if (length > kMinLength) {
    P[0] /= length;
    P[1] /= length;
    return 1;
  }
  return 0;
}

int FindIntersection(const double* Oa, const double* Va, const double* Ob, const double* Vb,
                     double* P, double* s, double* t) {
  const double det = Vb[0] * Va[1] - Vb[1] * Va[0];
  if (det == 0) {
    *s = kParallelParameter;
    *t = kParallelParameter;
    return 1;
  }
  const double dx = Oa[0] - Ob[0];
  const double dy = Oa[1] - Ob[1];
  *s = (dx * Vb[1] - dy * Vb[0]) / det;
  *t = (dx * Va[1] - dy * Va[0]) / det;
  P[0] = Oa[0] + *s * Va[0];
  P[1] = Oa[1] + *s * Va[1];
  return 0;
}

int EdgeIntercept(int i1, int i2, int i3, int i4, const double* PX, const double* PY) {
  const double Oa[2] = {PX[i1], PY[i1]};
  const double Va[2] = {PX[i2] - PX[i1], PY[i2] - PY[i1]};
  const double Ob[2] = {PX[i3], PY[i3]};
  const double Vb[2] = {PX[i4] - PX[i3], PY[i4] - PY[i3]};
  double P[2] = {0.0, 0.0};
  double s = 0.0;
  double t = 0.0;
  FindIntersection(Oa, Va, Ob, Vb, P, &s, &t);
  return (s > kEdgeEpsilon && s < 1 - kEdgeEpsilon && t > kEdgeEpsilon && t < 1 - kEdgeEpsilon) ? 1
                                                                                                : 0;
}

int TestTriangleOverlap(long m, const double* PX, const double* PY) {
  const ProgramState& s = State();
  const int* candidate = s.Tpoints.data() + 3 * m;
  int crossings = 0;
  for (long l = 0; l < s.NumberOfTriangles && crossings == 0; ++l) {
    const int* accepted = s.Tpoints.data() + 3 * l;
    for (int e = 0; e < 3; ++e) {
      for (int f = 0; f < 3; ++f) {
        crossings += EdgeIntercept(candidate[e], candidate[(e + 1) % 3], accepted[f],
                                   accepted[(f + 1) % 3], PX, PY);
      }
    }
  }
  return crossings;
}

double Angle(const double* O, const double* B, const double* C) {
  const double ua[2] = {B[0] - O[0], B[1] - O[1]};
  const double ub[2] = {C[0] - O[0], C[1] - O[1]};
  const double lengths =
      std::sqrt(ua[0] * ua[0] + ua[1] * ua[1]) * std::sqrt(ub[0] * ub[0] + ub[1] * ub[1]);
  // Rounding can push the cosine of equal or opposite directions just past +-1, where acos has
  // no value; the clamp keeps those at 0 and 180 degrees.
  const double cosine = std::clamp((ua[0] * ub[0] + ua[1] * ub[1]) / lengths, -1.0, 1.0);
  double a = std::acos(cosine);
  if (ua[0] * ub[1] - ua[1] * ub[0] >= 0) a = 2 * std::numbers::pi - a;
  return a * 180.0 / std::numbers::pi;
}

}  // namespace zmr
