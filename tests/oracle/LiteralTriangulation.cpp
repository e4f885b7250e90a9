#include "oracle/LiteralTriangulation.h"

#include <cmath>
#include <cstdio>

#include "state/ProgramState.h"

namespace zmr::oracle {
namespace {

constexpr double kEdgeEpsilon = 0.01;
constexpr double kMinLength = 0.001;
constexpr double kMinSine = 0.001;
constexpr double kParallelParameter = 1000.0;

bool Cancelled() { return State().fTerminated.load() != 0; }

double Distance(const double* P, double x, double y) {
  return std::sqrt((P[0] - x) * (P[0] - x) + (P[1] - y) * (P[1] - y));
}

}  // namespace

int TriangulateLiteral(const double* PX, const double* PY) {
  ProgramState& s = State();
  std::FILE* log = s.OUT_LOG;
  const long n = s.NumberOfPoints;
  const long long steps = (static_cast<long long>(n - 2) * (n - 1)) / 2;
  long long step = 0;
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
        if (GetVectorsLiteral(i, j, k, PX, PY, Oa, Va, Ob, Vb, O) == 0) continue;

        double P[2] = {0.0, 0.0};
        double sParam = 0.0;
        double tParam = 0.0;
        FindIntersectionLiteral(Oa, Va, Ob, Vb, P, &sParam, &tParam);
        const double r0 = Distance(P, O[0], O[1]);

        bool inside = false;
        for (long l = 0; l < n && !Cancelled(); ++l) {
          if (l == i || l == j || l == k) continue;
          if (Distance(P, PX[l], PY[l]) < r0) {
            inside = true;
            break;
          }
        }
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

        if (TestTriangleOverlapLiteral(m, PX, PY) == 0) {
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

int GetVectorsLiteral(long i, long j, long k, const double* PX, const double* PY, double* Oa,
                      double* Va, double* Ob, double* Vb, double* O) {
  Oa[0] = (PX[i] + PX[j]) / 2;
  Oa[1] = (PY[i] + PY[j]) / 2;
  Va[0] = PY[j] - PY[i];
  Va[1] = -(PX[j] - PX[i]);
  UnitVectorLiteral(Va);

  Ob[0] = (PX[i] + PX[k]) / 2;
  Ob[1] = (PY[i] + PY[k]) / 2;
  Vb[0] = PY[k] - PY[i];
  Vb[1] = -(PX[k] - PX[i]);
  UnitVectorLiteral(Vb);

  O[0] = PX[i];
  O[1] = PY[i];
  return std::fabs(Va[0] * Vb[1] - Va[1] * Vb[0]) >= kMinSine ? 1 : 0;
}

int UnitVectorLiteral(double* P) {
  const double length = std::sqrt(P[0] * P[0] + P[1] * P[1]);
  if (length > kMinLength) {
    P[0] /= length;
    P[1] /= length;
    return 1;
  }
  return 0;
}

int FindIntersectionLiteral(const double* Oa, const double* Va, const double* Ob, const double* Vb,
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

int EdgeInterceptLiteral(int i1, int i2, int i3, int i4, const double* PX, const double* PY) {
  const double Oa[2] = {PX[i1], PY[i1]};
  const double Va[2] = {PX[i2] - PX[i1], PY[i2] - PY[i1]};
  const double Ob[2] = {PX[i3], PY[i3]};
  const double Vb[2] = {PX[i4] - PX[i3], PY[i4] - PY[i3]};
  double P[2] = {0.0, 0.0};
  double s = 0.0;
  double t = 0.0;
  FindIntersectionLiteral(Oa, Va, Ob, Vb, P, &s, &t);
  return (s > kEdgeEpsilon && s < 1 - kEdgeEpsilon && t > kEdgeEpsilon && t < 1 - kEdgeEpsilon) ? 1
                                                                                                : 0;
}

int TestTriangleOverlapLiteral(long m, const double* PX, const double* PY) {
  const ProgramState& s = State();
  const int* candidate = s.Tpoints.data() + 3 * m;
  int crossings = 0;
  for (long l = 0; l < s.NumberOfTriangles && crossings == 0; ++l) {
    const int* accepted = s.Tpoints.data() + 3 * l;
    for (int e = 0; e < 3; ++e) {
      for (int f = 0; f < 3; ++f) {
        crossings += EdgeInterceptLiteral(candidate[e], candidate[(e + 1) % 3], accepted[f],
                                          accepted[(f + 1) % 3], PX, PY);
      }
    }
  }
  return crossings;
}

}  // namespace zmr::oracle
