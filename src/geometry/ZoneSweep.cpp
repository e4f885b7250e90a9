#include "geometry/ZoneSweep.h"

#include <new>

namespace zmr {

void TriangleCoefficients(const ProgramState& s, int t, double* cX, double* cY) {
  const double* P[3];
  double D[3][2];
  for (int k = 0; k < 3; ++k) {
    P[k] = TPoint(s, t, k, 0);
    const double* Q = TPoint(s, t, k, 2);
    D[k][0] = Q[0] - P[k][0];
    D[k][1] = Q[1] - P[k][1];
  }
  GetCoefficients(cX, P[0], P[1], P[2], D[0], D[1], D[2], 0);
  GetCoefficients(cY, P[0], P[1], P[2], D[0], D[1], D[2], 1);
}

ZoneTriangles::ZoneTriangles(const ProgramState& s, long M, long N)
    : s_(s), xs_(PixelCoordinates(M)), ys_(PixelCoordinates(N)), rowMap_(s, xs_, ys_) {
  mapped_ = rowMap_.Ready();
  if (mapped_) {
    const long triangles = SearchableTriangleCount(s);
    try {
      row_.resize(static_cast<std::size_t>(M));
      coefficients_.resize(static_cast<std::size_t>(6 * triangles));
    } catch (const std::bad_alloc&) {
      mapped_ = false;
    }
    for (long t = 0; mapped_ && t < triangles; ++t) {
      TriangleCoefficients(s, static_cast<int>(t), &coefficients_[6 * t],
                           &coefficients_[6 * t + 3]);
    }
  }
  if (!mapped_) coefficients_.assign(6, 0.0);
}

void ZoneTriangles::StartRow(long j) {
  j_ = j;
  if (mapped_) rowMap_.FillRow(static_cast<std::size_t>(j), row_.data());
}

int ZoneTriangles::Search(long i, const double** cX, const double** cY) {
  double* c = coefficients_.data();
  const int t =
      static_cast<int>(FindTrianglePI(s_, static_cast<double>(i), static_cast<double>(j_)));
  if (t != -1) TriangleCoefficients(s_, t, c, c + 3);
  *cX = c;
  *cY = c + 3;
  return t;
}

}  // namespace zmr
