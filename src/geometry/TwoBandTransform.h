// The grey-level transformation's sweep on two cores: the upper half of the rows on the calling
// thread, the lower half on a second one, with sums equal bit for bit to those of one sweep.
//
// A target pixel's sum depends on the order of its additions, which one sweep makes in raster
// order of the source pixels. The upper band adds only to target rows above a boundary some
// rows below the middle (the largest displacement of the points decides how far); the lower
// band adds straight to the rows from the boundary down, which the upper band never reaches,
// and sets its additions to the rows above aside, in order, to add them after the upper band
// has finished. Should a pixel of the upper band land below the boundary after all (a wild
// triangle), the result says so and the caller sweeps again in one band.
//
// Threads: the transformation worker (one at a time); it starts and joins the second thread
// itself. Both threads read the mesh, which must not change, and poll fTerminated; only the
// calling thread updates iDetectedAreas and iProgressStatus.
#pragma once

namespace zmr {

struct ProgramState;

enum class BandSweep {
  kDone,      // Signal, Area, deltaX and deltaY hold what one sweep leaves (or a cancel stopped it)
  kNotTried,  // nothing was changed: one core, an image too small, displacements above N / 16
  kRedo,      // Signal holds partial sums: clear it and sweep in one band
};

// Rows between the largest vertical displacement below the middle and the boundary: for the
// bilinear row below a landing and for rounding.
inline constexpr long kBandMargin = 3;

// The sweep of RunTransform over the M x N image into the record's Signal (set to zero first,
// each band clearing the rows it adds to), Area, deltaX and deltaY; at the end iDetectedAreas and
// iProgressStatus hold what one sweep leaves. margin is kBandMargin but in tests, which move the
// boundary up to see the upper band cross it.
BandSweep SweepTransformInTwoBands(ProgramState& s, long M, long N, long margin = kBandMargin);

}  // namespace zmr
