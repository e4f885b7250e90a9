// What every image transformation shares: the walk over the source pixels inside the
// triangulated zone (with the transformation's progress counters and its polling of
// fTerminated), the affine coefficients of each pixel's triangle, the moved position of a pixel
// and the bilinear split of a value over the four target pixels around it. The grey-level
// transformation (Transform.h) and the transformations in counts (CountTransform.h) both go
// through these, so they move and split every pixel with the same arithmetic.
//
// Threads: the transformation worker (one at a time), or whichever thread owns the record. The
// walk reads PointsInput, Tpoints and NumberOfTriangles, which must not change during it,
// writes iDetectedAreas and iProgressStatus and reads fTerminated.
#pragma once

#include <atomic>
#include <cmath>
#include <cstddef>
#include <vector>

#include "geometry/TriangleLocation.h"
#include "geometry/TriangleMap.h"
#include "state/Numeric.h"
#include "state/ProgramState.h"

namespace zmr {

// The affine coefficients of triangle t (a valid index of the current mesh) for the x (cX) and
// y (cY) displacements, from its measured vertices and their displacements (GetCoefficients).
void TriangleCoefficients(const ProgramState& s, int t, double* cX, double* cY);

// Where a moved pixel lands: the target pixel (x0, y0) at the floor of its moved position and
// the fractions (fX, fY) of the position beyond it.
struct SplatPosition {
  long x0 = 0;
  long y0 = 0;
  double fX = 0.0;
  double fY = 0.0;
};

// The displacement (sX, sY) of pixel (i, j) from its triangle's coefficients.
inline void PixelShift(long i, long j, const double* cX, const double* cY, double* sX, double* sY) {
  const double x = static_cast<double>(i);
  const double y = static_cast<double>(j);
  *sX = cX[0] * x + cX[1] * y + cX[2];
  *sY = cY[0] * x + cY[1] * y + cY[2];
}

// The landing of pixel (i, j) moved by (sX, sY). False, with *at unchanged, when the shift is
// not a finite number (possible only for a degenerate triangle or points that are not numbers):
// such a pixel adds nothing anywhere.
// std::floor of a finite x, without the library call the baseline instruction set needs for
// it: below 2^52 in magnitude the conversion to an integer truncates exactly, one less where
// that went up; beyond, x is whole already. A whole x (-0 among them) is returned as it is.
inline double FloorOfFinite(double x) {
  if (!(std::fabs(x) < 4503599627370496.0)) return x;
  const double t = static_cast<double>(static_cast<long long>(x));
  if (t == x) return x;
  return t > x ? t - 1.0 : t;
}

// The floor of a finite x and TruncateToward0<int> of it. Within the int range one conversion
// gives both; beyond, the floor saturates.
inline void FloorAndInt(double x, double* floor, int* whole) {
  if (std::fabs(x) < 2147483647.0) {
    long long t = static_cast<long long>(x);
    double d = static_cast<double>(t);
    if (d == x) {
      d = x;  // a whole x (-0 among them) is its own floor
    } else if (d > x) {
      --t;
      d -= 1.0;
    }
    *floor = d;
    *whole = static_cast<int>(t);
    return;
  }
  *floor = FloorOfFinite(x);
  *whole = TruncateToward0<int>(*floor);
}

inline bool LandingOf(long i, long j, double sX, double sY, SplatPosition* at) {
  if (!std::isfinite(sX) || !std::isfinite(sY)) return false;
  double floorX = 0.0, floorY = 0.0;
  int wholeX = 0, wholeY = 0;
  FloorAndInt(sX, &floorX, &wholeX);
  FloorAndInt(sY, &floorY, &wholeY);
  // A shift beyond the int range saturates; all four target pixels then lie off the image,
  // where SA drops them, so the clamped weights never matter.
  at->x0 = i + wholeX;
  at->y0 = j + wholeY;
  at->fX = sX - floorX;
  at->fY = sY - floorY;
  return true;
}

// The four parts of I that SplatBilinear adds, at (x0, y0), (x0 + 1, y0), (x0 + 1, y0 + 1) and
// (x0, y0 + 1).
struct SplatParts {
  double v00, v10, v11, v01;
};
inline SplatParts BilinearParts(double I, const SplatPosition& at) {
  const double fX = at.fX;
  const double fY = at.fY;
  return {(1 - fX) * I * (1 - fY), I * fX * (1 - fY), I * fX * fY, (1 - fX) * I * fY};
}

// Adds I to the M x N image Array split over (x0, y0), (x0 + 1, y0), (x0 + 1, y0 + 1) and
// (x0, y0 + 1) with the bilinear weights of (fX, fY) (BilinearParts); parts that fall outside
// the image are dropped (SA).
inline void SplatBilinear(double I, const SplatPosition& at, long M, long N, double* Array) {
  const long x0 = at.x0;
  const long y0 = at.y0;
  const auto [v00, v10, v11, v01] = BilinearParts(I, at);
  // The four targets are four different pixels, so the order of the additions does not
  // matter; when all lie inside the image they need no check each.
  if (x0 >= 0 && x0 + 1 < M && y0 >= 0 && y0 + 1 < N) {
    double* target = Array + y0 * M + x0;
    target[0] += v00;
    target[1] += v10;
    target[M + 1] += v11;
    target[M] += v01;
    return;
  }
  SA(Array, M, N, x0, y0, v00);
  SA(Array, M, N, x0 + 1, y0, v10);
  SA(Array, M, N, x0 + 1, y0 + 1, v11);
  SA(Array, M, N, x0, y0 + 1, v01);
}

// The triangle that holds each pixel of an M x N image and its coefficients, one row at a time:
// from one pass over the triangles (TriangleRowMap) with the coefficients computed once per
// triangle, or, without memory for that, by a search and the coefficients per pixel; both give
// the triangles of FindTrianglePI and the same coefficients.
class ZoneTriangles {
 public:
  ZoneTriangles(const ProgramState& s, long M, long N);

  // Prepares row j; rows must be visited in increasing order.
  void StartRow(long j);
  // The triangle that holds pixel (i, j) of the current row, or -1; its coefficients in *cX and
  // *cY (valid until the next call).
  // With the map: the triangles of the current row (one per pixel, -1 outside the zone);
  // without it, null.
  const int* RowTriangles() const { return mapped_ ? row_.data() : nullptr; }
  int At(long i, const double** cX, const double** cY) {
    if (!mapped_) return Search(i, cX, cY);
    const int t = row_[static_cast<std::size_t>(i)];
    const double* c = coefficients_.data() + (t != -1 ? 6 * static_cast<std::size_t>(t) : 0);
    *cX = c;
    *cY = c + 3;
    return t;
  }

 private:
  // At without the map: the triangle by a search, its coefficients computed for the pixel.
  int Search(long i, const double** cX, const double** cY);

  const ProgramState& s_;
  std::vector<double> xs_;
  std::vector<double> ys_;
  TriangleRowMap rowMap_;
  bool mapped_ = false;
  long j_ = 0;
  std::vector<int> row_;
  std::vector<double> coefficients_;  // 6 per triangle when mapped; 6 for one pixel otherwise
};

// Calls visit(i0, i1, j, t, cX, cY) for each run of pixels i0 .. i1 - 1 of row j held by the
// same triangle t, for the rows jBegin .. jEnd - 1 of an M x N image, row by row and in order,
// until fTerminated is set (polled between runs). With report: iDetectedAreas is the row,
// iProgressStatus (100 * done) / total at a run's first and last pixel i, stored when it
// changes, where done counts the pixels before (i, j) from row jBegin and total those of the
// rows swept. Rows must lie in 0 .. N - 1; M and N must be positive.
template <class VisitSpan>
void SweepZoneSpanRows(ProgramState& s, long M, long N, long jBegin, long jEnd, bool report,
                       VisitSpan&& visit) {
  const auto cancelled = [&s] { return s.fTerminated.load(std::memory_order_acquire) != 0; };
  ZoneTriangles zone(s, M, N);
  const long long ctotal = static_cast<long long>(M) * (jEnd - jBegin);
  long long nextProgress = 0;
  const auto progressAt = [&](long long done) {
    if (!report || done < nextProgress) return;
    const long long progress = (100 * done) / ctotal;
    s.iProgressStatus.store(static_cast<int>(progress), std::memory_order_relaxed);
    nextProgress = ((progress + 1) * ctotal + 99) / 100;
  };
  for (long j = jBegin; j < jEnd && !cancelled(); ++j) {
    if (report) s.iDetectedAreas.store(static_cast<int>(j), std::memory_order_relaxed);
    zone.StartRow(j);
    const int* row = zone.RowTriangles();
    const long long rowStart = static_cast<long long>(j - jBegin) * M;
    for (long i = 0; i < M && !cancelled();) {
      progressAt(rowStart + i);
      const double* cX = nullptr;
      const double* cY = nullptr;
      const int t = zone.At(i, &cX, &cY);
      long end = i + 1;
      if (row != nullptr) {
        while (end < M && row[end] == t) ++end;
      }
      if (t != -1) visit(i, end, j, t, cX, cY);
      progressAt(rowStart + end - 1);
      i = end;
    }
  }
}

// SweepZoneSpanRows over the whole image, reporting: iDetectedAreas is the row, iProgressStatus
// (100 * (j * M + i)) / (M * N) (its last value is 99 after a whole sweep).
template <class VisitSpan>
void SweepZoneSpans(ProgramState& s, long M, long N, VisitSpan&& visit) {
  SweepZoneSpanRows(s, M, N, 0, N, true, visit);
}

// Calls visit(i, j, t, cX, cY) for every pixel (i, j) of an M x N image held by triangle t, in
// raster order, as SweepZoneSpans sweeps.
template <class Visit>
void SweepZone(ProgramState& s, long M, long N, Visit&& visit) {
  SweepZoneSpans(s, M, N,
                 [&visit](long i0, long i1, long j, int t, const double* cX, const double* cY) {
                   for (long i = i0; i < i1; ++i) visit(i, j, t, cX, cY);
                 });
}

}  // namespace zmr
