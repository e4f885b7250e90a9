#include "geometry/TriangleLocation.h"

#include <algorithm>

#include "state/ProgramState.h"

namespace zmr {

long SearchableTriangleCount(const ProgramState& s) {
  return std::max(0L, std::min(s.NumberOfTriangles, static_cast<long>(s.Tpoints.size() / 3)));
}

const double* TPoint(const ProgramState& s, int Ntriangle, int Npoint, int Ptype) {
  const long row = s.Tpoints[3 * static_cast<long>(Ntriangle) + Npoint];
  return s.PointsInput.data() + 4 * row + Ptype;
}

long FindTrianglePI(const ProgramState& s, double X, double Y) {
  const double C[2] = {X, Y};
  const long count = SearchableTriangleCount(s);
  for (long t = 0; t < count; ++t) {
    const int n = static_cast<int>(t);
    if (CheckTriangle(TPoint(s, n, 0, 0), TPoint(s, n, 1, 0), TPoint(s, n, 2, 0), C) == 1) return t;
  }
  return -1;
}

long FindTriangle(const ProgramState& s, double X, double Y, const double* PX, const double* PY) {
  const double C[2] = {X, Y};
  const long count = SearchableTriangleCount(s);
  for (long t = 0; t < count; ++t) {
    const int* v = s.Tpoints.data() + 3 * t;
    const double P1[2] = {PX[v[0]], PY[v[0]]};
    const double P2[2] = {PX[v[1]], PY[v[1]]};
    const double P3[2] = {PX[v[2]], PY[v[2]]};
    if (CheckTriangle(P1, P2, P3, C) == 1) return t;
  }
  return -1;
}

int CheckTriangle(const double* P1, const double* P2, const double* P3, const double* C) {
  const int side12 = Is_to_the_right(P1, P2, C);
  const int side23 = Is_to_the_right(P2, P3, C);
  const int side31 = Is_to_the_right(P3, P1, C);
  return (side12 != 0 && side23 != 0 && side31 != 0) ? 1 : 0;
}

int Is_to_the_right(const double* U1, const double* U2, const double* Point) {
  const double cross = SideCross(U1, U2, Point);
  if (cross > 0) return 2;
  if (cross == 0) return 1;
  return 0;
}

int GetCoefficients(double* CArray, const double* P1, const double* P2, const double* P3,
                    const double* D1, const double* D2, const double* D3, int a) {
  const double d1 = D1[a];
  const double d2 = D2[a];
  const double d3 = D3[a];
  double c0 = 0.0;
  double c1 = 0.0;
  int vertical = 0;
  if (P2[0] == P1[0]) {
    c1 = (d2 - d1) / (P2[1] - P1[1]);
    c0 = (d1 - d3 - (P1[1] - P3[1]) * c1) / (P1[0] - P3[0]);
    vertical = 1;
  } else {
    c1 = ((d3 - d1) * (P2[0] - P1[0]) - (d2 - d1) * (P3[0] - P1[0])) /
         ((P3[1] - P1[1]) * (P2[0] - P1[0]) - (P2[1] - P1[1]) * (P3[0] - P1[0]));
    c0 = ((d2 - d1) - (P2[1] - P1[1]) * c1) / (P2[0] - P1[0]);
  }
  const double c2 = d1 - c0 * P1[0] - c1 * P1[1];
  CArray[0] = c0;
  CArray[1] = c1;
  CArray[2] = c2;
  return vertical;
}

int ApproximateShift(const double* P0, double* D0, const double* P1, const double* P2,
                     const double* P3, const double* D1, const double* D2, const double* D3) {
  double cx[3];
  double cy[3];
  GetCoefficients(cx, P1, P2, P3, D1, D2, D3, 0);
  GetCoefficients(cy, P1, P2, P3, D1, D2, D3, 1);
  D0[0] = cx[0] * P0[0] + cx[1] * P0[1] + cx[2];
  D0[1] = cy[0] * P0[0] + cy[1] * P0[1] + cy[2];
  return 0;
}

int ApproximateShiftsT(const ProgramState& s, const double* P0, double* D0, long Tnumber) {
  double cx[3];
  double cy[3];
  ShiftCoefficientsT(s, Tnumber, cx, cy);
  EvaluateShiftT(cx, cy, P0, D0);
  return 1;
}

[[gnu::noinline]] void EvaluateShiftT(const double* cx, const double* cy, const double* P0,
                                      double* D0) {
  D0[0] = cx[0] * P0[0] + cx[1] * P0[1] + cx[2];
  D0[1] = cy[0] * P0[0] + cy[1] * P0[1] + cy[2];
}

void ShiftCoefficientsT(const ProgramState& s, long Tnumber, double* cx, double* cy) {
  const int t = static_cast<int>(Tnumber);
  const double* v1 = TPoint(s, t, 0, 0);
  const double* v2 = TPoint(s, t, 1, 0);
  const double* v3 = TPoint(s, t, 2, 0);
  const double x1 = v1[0], y1 = v1[1];
  const double x2 = v2[0], y2 = v2[1];
  const double x3 = v3[0], y3 = v3[1];
  const double det = x1 * y2 - x1 * y3 - x2 * y1 + x2 * y3 + x3 * y1 - x3 * y2;

  // Component a of each vertex row: displacement = ideal (columns 2, 3) - measured (0, 1).
  for (int a = 0; a < 2; ++a) {
    const double d1 = v1[2 + a] - v1[a];
    const double d2 = v2[2 + a] - v2[a];
    const double d3 = v3[2 + a] - v3[a];
    double* c = a == 0 ? cx : cy;
    c[0] = (d1 * y2 - d1 * y3 - d2 * y1 + d2 * y3 + d3 * y1 - d3 * y2) / det;
    c[1] = (-d1 * x2 + d1 * x3 + d2 * x1 - d2 * x3 - d3 * x1 + d3 * x2) / det;
    c[2] =
        (d1 * x2 * y3 - d1 * x3 * y2 - d2 * x1 * y3 + d2 * x3 * y1 + d3 * x1 * y2 - d3 * x2 * y1) /
        det;
  }
}

int SA(double* Array, long M, long N, long i, long j, double Intensity) {
  if (i >= 0 && i < M && j >= 0 && j < N) Array[j * M + i] += Intensity;
  return 0;
}

}  // namespace zmr
