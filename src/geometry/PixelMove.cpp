#include "geometry/PixelMove.h"

namespace zmr {

bool MovePixelTo(long i, long j, int triangle, const double* cX, const double* cY, long M,
                 const int* Source, int* Area, double* ADX, double* ADY, double* I,
                 SplatPosition* at) {
  return MovePixelInPlace(i, j, triangle, cX, cY, M, Source, Area, ADX, ADY, I, at);
}

// Without straight-line vectorising (GCC; clang does not join them): the compiler would add a
// landing's two upper parts to the sum image as one 16-byte load and store, which the next pixel
// (one column on) reads back 8 bytes off; that load cannot take its value from the store in
// flight and waits for it.
#if defined(__GNUC__) && !defined(__clang__)
#define ZMR_NO_STRAIGHT_LINE_VECTORS [[gnu::optimize("no-tree-slp-vectorize")]]
#else
#define ZMR_NO_STRAIGHT_LINE_VECTORS
#endif
ZMR_NO_STRAIGHT_LINE_VECTORS void MoveSpanIntoSum(long i0, long i1, long j, int triangle,
                                                  const double* cX, const double* cY, long M,
                                                  long N, const int* Source, int* Area, double* ADX,
                                                  double* ADY, double* sum) {
  for (long i = i0; i < i1; ++i) {
    double I = 0.0;
    SplatPosition at;
    if (MovePixelInPlace(i, j, triangle, cX, cY, M, Source, Area, ADX, ADY, &I, &at)) {
      SplatBilinear(I, at, M, N, sum);
    }
  }
}

}  // namespace zmr
