#include "geometry/Transform.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <new>
#include <vector>

#include "geometry/TriangleLocation.h"
#include "geometry/TriangleMap.h"
#include "state/Array.h"
#include "state/Numeric.h"
#include "state/ProgramState.h"

namespace zmr {
namespace {

bool Cancelled(const ProgramState& s) { return s.fTerminated.load(std::memory_order_acquire) != 0; }

bool HoldsPixels(std::size_t size, long long pixels) {
  return static_cast<unsigned long long>(size) >= static_cast<unsigned long long>(pixels);
}

// The affine coefficients of triangle t for the x (cX) and y (cY) displacements, from its
// measured vertices and their displacements, as TransformCoordinates computes them.
void TriangleCoefficients(const ProgramState& s, int triangle, double* cX, double* cY) {
  const double* P[3];
  double D[3][2];
  for (int k = 0; k < 3; ++k) {
    P[k] = TPoint(s, triangle, k, 0);
    const double* Q = TPoint(s, triangle, k, 2);
    D[k][0] = Q[0] - P[k][0];
    D[k][1] = Q[1] - P[k][1];
  }
  GetCoefficients(cX, P[0], P[1], P[2], D[0], D[1], D[2], 0);
  GetCoefficients(cY, P[0], P[1], P[2], D[0], D[1], D[2], 1);
}

// TransformPixel with the coefficients of its triangle already known. Out of line so that
// both callers run the same instructions (the sign of a NaN shift depends on operand order).
[[gnu::noinline]] void MovePixel(long i, long j, int triangle, const double* cX, const double* cY,
                                 long M, long N, const int* Source, double* Array, int* Area,
                                 double* ADX, double* ADY) {
  const long index = j * M + i;
  const double I = static_cast<double>(Source[index]);
  Area[index] = triangle;

  const double x = static_cast<double>(i);
  const double y = static_cast<double>(j);
  const double sX = cX[0] * x + cX[1] * y + cX[2];
  const double sY = cY[0] * x + cY[1] * y + cY[2];
  ADX[index] = sX;
  ADY[index] = sY;
  if (!std::isfinite(sX) || !std::isfinite(sY)) return;

  const double floorX = std::floor(sX);
  const double floorY = std::floor(sY);
  // A shift beyond the int range saturates; all four target pixels then lie off the image,
  // where SA drops them, so the clamped weights never matter.
  const long iX = TruncateToward0<int>(floorX);
  const long iY = TruncateToward0<int>(floorY);
  const double fX = sX - floorX;
  const double fY = sY - floorY;

  const long x0 = i + iX;
  const long y0 = j + iY;
  const double v00 = (1 - fX) * I * (1 - fY);
  const double v10 = I * fX * (1 - fY);
  const double v11 = I * fX * fY;
  const double v01 = (1 - fX) * I * fY;
  // The four targets are four different pixels, so the order of the additions does not
  // matter; when all lie inside the image they need no check each.
  if (x0 >= 0 && x0 + 1 < M && y0 >= 0 && y0 + 1 < N) {
    double* at = Array + y0 * M + x0;
    at[0] += v00;
    at[1] += v10;
    at[M + 1] += v11;
    at[M] += v01;
    return;
  }
  SA(Array, M, N, x0, y0, v00);
  SA(Array, M, N, x0 + 1, y0, v10);
  SA(Array, M, N, x0 + 1, y0 + 1, v11);
  SA(Array, M, N, x0, y0 + 1, v01);
}

}  // namespace

int RunTransform(ProgramState& s, long ImageM, long ImageN) {
  const long M = ImageM;
  const long N = ImageN;
  if (M <= 0 || N <= 0) return 1;
  const long long ctotal = static_cast<long long>(M) * N;
  if (!HoldsPixels(s.Msource.size(), ctotal) || !HoldsPixels(s.Mtarget.size(), ctotal) ||
      !HoldsPixels(s.Signal.size(), ctotal) || !HoldsPixels(s.Area.size(), ctotal) ||
      !HoldsPixels(s.deltaX.size(), ctotal) || !HoldsPixels(s.deltaY.size(), ctotal)) {
    return 1;
  }

  // The sums start at zero; Mtarget is written whole from them at the end, cancelled or not.
  FillArrayD(s.Signal.data(), M, N, 0.0);

  // The triangle of every pixel of a row from one pass over the triangles, and the
  // coefficients once per triangle; without memory for them each pixel searches the triangles
  // itself, with the same results.
  const std::vector<double> xs = PixelCoordinates(M);
  const std::vector<double> ys = PixelCoordinates(N);
  TriangleRowMap rowMap(s, xs, ys);
  std::vector<int> row;
  std::vector<double> coefficients;
  bool mapped = rowMap.Ready();
  if (mapped) {
    const long triangles = SearchableTriangleCount(s);
    try {
      row.resize(static_cast<std::size_t>(M));
      coefficients.resize(static_cast<std::size_t>(6 * triangles));
    } catch (const std::bad_alloc&) {
      mapped = false;
    }
    for (long t = 0; mapped && t < triangles; ++t) {
      TriangleCoefficients(s, static_cast<int>(t), &coefficients[6 * t], &coefficients[6 * t + 3]);
    }
  }

  // The progress value (100 * done) / ctotal, stored when it changes.
  long long nextProgress = 0;
  for (long j = 0; j < N && !Cancelled(s); ++j) {
    s.iDetectedAreas.store(static_cast<int>(j), std::memory_order_relaxed);
    if (mapped) rowMap.FillRow(static_cast<std::size_t>(j), row.data());
    for (long i = 0; i < M && !Cancelled(s); ++i) {
      const long long done = static_cast<long long>(j) * M + i;
      if (done >= nextProgress) {
        const long long progress = (100 * done) / ctotal;
        s.iProgressStatus.store(static_cast<int>(progress), std::memory_order_relaxed);
        nextProgress = ((progress + 1) * ctotal + 99) / 100;
      }
      if (!mapped) {
        TransformCoordinates(s, i, j, M, N, s.Msource.data(), s.Signal.data(), s.Area.data(),
                             s.deltaX.data(), s.deltaY.data());
        continue;
      }
      const int t = row[static_cast<std::size_t>(i)];
      if (t == -1) continue;
      const double* c = &coefficients[6 * static_cast<std::size_t>(t)];
      MovePixel(i, j, t, c, c + 3, M, N, s.Msource.data(), s.Signal.data(), s.Area.data(),
                s.deltaX.data(), s.deltaY.data());
    }
  }

  // A cancelled run still shows what it accumulated. ArrayNormalise leaves an all-zero sum
  // as it is, so an image that received nothing stays black.
  ArrayNormalise(s.Signal.data(), M, N, 255.0);
  ArrayDoubleToInt(s.Signal.data(), s.Mtarget.data(), M, N);
  return 1;
}

int TransformCoordinates(const ProgramState& s, long i, long j, long M, long N, const int* Source,
                         double* Array, int* Area, double* ADX, double* ADY) {
  const long t = FindTrianglePI(s, static_cast<double>(i), static_cast<double>(j));
  if (t == -1) return 0;
  return TransformPixel(s, i, j, t, M, N, Source, Array, Area, ADX, ADY);
}

int TransformPixel(const ProgramState& s, long i, long j, long t, long M, long N, const int* Source,
                   double* Array, int* Area, double* ADX, double* ADY) {
  const int triangle = static_cast<int>(t);
  double cX[3];
  double cY[3];
  TriangleCoefficients(s, triangle, cX, cY);
  MovePixel(i, j, triangle, cX, cY, M, N, Source, Array, Area, ADX, ADY);
  return 0;
}

}  // namespace zmr
