#include "oracle/LiteralTriangulation.h"

#include <cmath>
#include <cstdio>

#include "state/ProgramState.h"

namespace zmr::oracle {
namespace {

bool Cancelled() { return State().fTerminated.load() != 0; }

double Distance(const double* P, double x, double y) {
  return std::sqrt((P[0] - x) * (P[0] - x) + (P[1] - y) * (P[1] - y));
}

// V scaled to length 1 unless it is 0.001 long or shorter.
void Normalise(double* V) {
  const double length = std::sqrt(V[0] * V[0] + V[1] * V[1]);
  if (length > 0.001) V[0] /= length, V[1] /= length;
}

// The crossing of the lines Oa + s Va and Ob + t Vb, by Cramer's rule; false for parallel
// lines (determinant 0).
bool Cross(const double* Oa, const double* Va, const double* Ob, const double* Vb, double* P,
           double* s, double* t) {
  const double det = Vb[0] * Va[1] - Vb[1] * Va[0];
  if (det == 0) return false;
  *s = ((Oa[0] - Ob[0]) * Vb[1] - (Oa[1] - Ob[1]) * Vb[0]) / det;
  *t = ((Oa[0] - Ob[0]) * Va[1] - (Oa[1] - Ob[1]) * Va[0]) / det;
  P[0] = Oa[0] + *s * Va[0];
  P[1] = Oa[1] + *s * Va[1];
  return true;
}

// The circumcentre of i, j, k as the crossing of the perpendicular bisectors of i->j and i->k
// (directions turned a quarter, unit length); false when the two edges from i are nearly
// parallel (|sin| < 0.001), which also rejects (nearly) coincident points.
bool Circumcentre(long i, long j, long k, const double* PX, const double* PY, double* P) {
  double Oa[2] = {(PX[i] + PX[j]) / 2, (PY[i] + PY[j]) / 2},
         Va[2] = {PY[j] - PY[i], -(PX[j] - PX[i])};
  double Ob[2] = {(PX[i] + PX[k]) / 2, (PY[i] + PY[k]) / 2},
         Vb[2] = {PY[k] - PY[i], -(PX[k] - PX[i])};
  Normalise(Va), Normalise(Vb);
  if (!(std::fabs(Va[0] * Vb[1] - Va[1] * Vb[0]) >= 0.001)) return false;
  double s = 0.0, t = 0.0;
  Cross(Oa, Va, Ob, Vb, P, &s, &t);
  return true;
}

// Crossings of the triangle in slot m with the first accepted triangle it crosses: pairs of
// edges whose crossing parameters both lie strictly between 0.01 and 0.99.
int Overlaps(long m, const double* PX, const double* PY) {
  const ProgramState& s = State();
  const int* c = &s.Tpoints[3 * m];
  int crossings = 0;
  for (long l = 0; l < s.NumberOfTriangles && crossings == 0; ++l) {
    const int* a = &s.Tpoints[3 * l];
    for (int e = 0; e < 9; ++e) {
      const int p = c[e / 3], q = c[(e / 3 + 1) % 3], u = a[e % 3], v = a[(e % 3 + 1) % 3];
      const double O1[2] = {PX[p], PY[p]}, V1[2] = {PX[q] - PX[p], PY[q] - PY[p]};
      const double O2[2] = {PX[u], PY[u]}, V2[2] = {PX[v] - PX[u], PY[v] - PY[u]};
      double P[2], s1 = 0, s2 = 0;
      const bool crossed = Cross(O1, V1, O2, V2, P, &s1, &s2);
      crossings += crossed && s1 > 0.01 && s1 < 0.99 && s2 > 0.01 && s2 < 0.99;
    }
  }
  return crossings;
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
        double P[2] = {0.0, 0.0};
        if (!Circumcentre(i, j, k, PX, PY, P)) continue;
        const double r0 = Distance(P, PX[i], PY[i]);

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

        if (Overlaps(m, PX, PY) == 0) {
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
