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
// unchanged) when the shift is not a number and the pixel lands nowhere.
inline bool MovePixelInPlace(long i, long j, int triangle, const double* cX, const double* cY,
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

// MovePixelInPlace out of line: the sweeps in counts call it for each pixel.
bool MovePixelTo(long i, long j, int triangle, const double* cX, const double* cY, long M,
                 const int* Source, int* Area, double* ADX, double* ADY, double* I,
                 SplatPosition* at);

// Moves the pixels i0 .. i1 - 1 of row j of an M-wide image, all held by one triangle, giving
// each value and landing to splat(I, at) in order.
template <class Splat>
inline void MoveSpan(long i0, long i1, long j, int triangle, const double* cX, const double* cY,
                     long M, const int* Source, int* Area, double* ADX, double* ADY, Splat& splat) {
  for (long i = i0; i < i1; ++i) {
    double I = 0.0;
    SplatPosition at;
    if (MovePixelInPlace(i, j, triangle, cX, cY, M, Source, Area, ADX, ADY, &I, &at)) {
      splat(I, at);
    }
  }
}

// For the functions that run MoveSpan: without straight-line vectorising (GCC; clang does not
// join them). The compiler would add a landing's two upper parts to the sum image as one
// 16-byte load and store, which the next pixel (one column on) reads back 8 bytes off; that
// load cannot take its value from the store in flight and waits for it.
#if defined(__GNUC__) && !defined(__clang__)
#define ZMR_NO_STRAIGHT_LINE_VECTORS [[gnu::optimize("no-tree-slp-vectorize")]]
#else
#define ZMR_NO_STRAIGHT_LINE_VECTORS
#endif

// Moves the pixels i0 .. i1 - 1 of row j, all held by one triangle, and adds each to the M x N
// sum image as SplatBilinear does, in that order: the grey-level transformation a span of a row
// at a time (the same arithmetic as MovePixelInPlace and SplatBilinear one pixel at a time).
void MoveSpanIntoSum(long i0, long i1, long j, int triangle, const double* cX, const double* cY,
                     long M, long N, const int* Source, int* Area, double* ADX, double* ADY,
                     double* sum);

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
