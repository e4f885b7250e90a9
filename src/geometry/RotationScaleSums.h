// The sums of the adjustment's rotation and scale estimate over the zone's pixels: each pixel's
// terms (an arctangent and a ratio) computed on two cores, block of rows by block of rows, and
// added on the calling thread in raster order, so that the sums are those of one loop over the
// pixels bit for bit.
//
// Threads: the adjustment worker (one at a time); it starts and joins a second thread itself
// when the machine has two cores and the image is large enough. Polls fTerminated: a cancel
// stops the sums where they are.
#pragma once

namespace zmr {

struct ProgramState;

struct RotationScaleSums {
  double rotation = 0.0;  // sum of the pixels' rotation terms
  double scale = 0.0;     // sum of their scale terms
  long count = 0;         // pixels that gave terms
};

// Over the pixels (i, j) of the M x N image with Area != 0 and distance r >= s.CenterLimit from
// center: with e the unit vector from center and C the pixel's shift less offset, the rotation
// term atan((e x C) / r) and the scale term (e . C) / r + 1.
RotationScaleSums SumRotationScale(const ProgramState& s, const double* center,
                                   const double* offset, long M, long N, const double* Xshift,
                                   const double* Yshift, const int* Area);

}  // namespace zmr
