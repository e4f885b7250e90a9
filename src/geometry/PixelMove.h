// Moving one source pixel of the grey-level transformation: its triangle and its displacement
// are kept in the per-pixel arrays, and its value and landing go to a splat (which adds them to
// the sum image).
//
// Threads: whichever thread runs the transformation; a pixel's own array elements are written
// only by the call for that pixel.
#pragma once

#include "geometry/ZoneSweep.h"

namespace zmr {

// Writes Area, ADX and ADY of pixel (i, j) of an M-wide image from its triangle and the
// triangle's coefficients, and returns its value *I and landing *at; false (with *at
// unchanged) when the shift is not a number and the pixel lands nowhere. Out of line, so that
// every sweep runs the same instructions for the displacement (the sign of a NaN shift, and
// with fused multiply-adds its rounding, depend on how the compiler arranges it).
bool MovePixelTo(long i, long j, int triangle, const double* cX, const double* cY, long M,
                 const int* Source, int* Area, double* ADX, double* ADY, double* I,
                 SplatPosition* at);

template <class Splat>
void MovePixel(long i, long j, int triangle, const double* cX, const double* cY, long M,
               const int* Source, int* Area, double* ADX, double* ADY, Splat& splat) {
  double I = 0.0;
  SplatPosition at;
  if (MovePixelTo(i, j, triangle, cX, cY, M, Source, Area, ADX, ADY, &I, &at)) splat(I, at);
}

// The splat of the one-band sweep: straight into the M x N sum image.
struct DirectSplat {
  double* sum;
  long M;
  long N;
  void operator()(double I, const SplatPosition& at) const { SplatBilinear(I, at, M, N, sum); }
};

}  // namespace zmr
