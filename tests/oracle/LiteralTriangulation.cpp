#include "oracle/LiteralTriangulation.h"

#include <cmath>
#include <cstdio>

#include "geometry/Triangulate.h"
#include "state/ProgramState.h"

namespace zmr::oracle {
namespace {

bool Cancelled() { return State().fTerminated.load() != 0; }

double Distance(const double* P, double x, double y) {
  return std::sqrt((P[0] - x) * (P[0] - x) + (P[1] - y) * (P[1] - y));
}

}  // namespace

int TriangulateLiteral(ProgramState& /*s*/, const double* PX, const double* PY) {
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

        if (TestTriangleOverlap(State(), m, PX, PY) == 0) {
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

}  // namespace zmr::oracle
