// The first pass of the Adjustment of rotation scaling: the shift of every pixel of an M x N
// image from its triangle (Xshift, Yshift; Area 1 inside the zone, 0 outside with a zero shift)
// and the sums of the zone's pixel coordinates for its centroid. On two cores for a large image:
// a second thread samples the lower half of the rows. The coordinate sums are sums of whole
// numbers far below 2^53, exact in any order, so the result is the same bit for bit on one core
// or two.
//
// Threads: the adjustment worker; it starts and joins the second thread itself. Both read the
// mesh, which must not change, and poll fTerminated; only the calling thread stores
// iProgressStatus: (100 * index) / total while it samples, and at the end of an uncancelled run
// the value a single sweep ends on. A cancel leaves the arrays partly written.
#pragma once

namespace zmr {

struct ProgramState;

struct ZoneSums {
  double x = 0.0;  // sum of the zone's pixel columns
  double y = 0.0;  // sum of its rows
  long count = 0;  // its pixels
};

ZoneSums SampleShiftField(ProgramState& s, long M, long N, double* Xshift, double* Yshift,
                          int* Area);

}  // namespace zmr
