#include "geometry/PixelMove.h"

namespace zmr {

[[gnu::noinline]] bool MovePixelTo(long i, long j, int triangle, const double* cX, const double* cY,
                                   long M, const int* Source, int* Area, double* ADX, double* ADY,
                                   double* I, SplatPosition* at) {
  const long index = j * M + i;
  *I = static_cast<double>(Source[index]);
  Area[index] = triangle;

  double sX = 0.0;
  double sY = 0.0;
  PixelShift(i, j, cX, cY, &sX, &sY);
  ADX[index] = sX;
  ADY[index] = sY;
  return LandingOf(i, j, sX, sY, at);
}

}  // namespace zmr
