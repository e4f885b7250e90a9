#include "geometry/PixelMove.h"

namespace zmr {

bool MovePixelTo(long i, long j, int triangle, const double* cX, const double* cY, long M,
                 const int* Source, int* Area, double* ADX, double* ADY, double* I,
                 SplatPosition* at) {
  return MovePixelInPlace(i, j, triangle, cX, cY, M, Source, Area, ADX, ADY, I, at);
}

ZMR_NO_STRAIGHT_LINE_VECTORS void MoveSpanIntoSum(long i0, long i1, long j, int triangle,
                                                  const double* cX, const double* cY, long M,
                                                  long N, const int* Source, int* Area, double* ADX,
                                                  double* ADY, double* sum) {
  DirectSplat splat{sum, M, N};
  MoveSpan(i0, i1, j, triangle, cX, cY, M, Source, Area, ADX, ADY, splat);
}

}  // namespace zmr
