// The closure test of a calibration: the current source image corrected through the model (in
// counts, flat field) into a second record, its spots detected again, the best square lattice
// fitted to the detected centres, and the residuals of the centres from that lattice, in
// pixels and as a fraction of the pitch, over all spots and apart inside the measured zone and
// in the extrapolated one. A perfect calibration leaves only the detection's own scatter.
// Spots within half a pitch of the image's border or of the edge of the corrected zone, which
// may cut them, are left out.
//
// The record of the calibration being checked is only read: the correction and the detection
// run on a record of their own, whose fixed-name files go to a temporary folder.
//
// Threads: whichever thread runs the report.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "quality/LatticeFit.h"
#include "quality/ResidualStats.h"

namespace zmr {

struct ProgramState;

// Where a re-detected spot lies, judged by the triangle of the calibration mesh (at the ideal
// positions) that holds it.
enum class ClosureZone { kMeasured = 0, kExtrapolated = 1, kOutside = 2 };

struct Closure {
  bool computed = false;
  std::string reason;  // why not, when not computed
  LatticeFit fit;
  std::vector<double> x;  // the re-detected centres
  std::vector<double> y;
  std::vector<int> row;
  std::vector<int> col;
  std::vector<ClosureZone> zone;
  long borderExcluded = 0;  // spots left out within half a pitch of the border or zone edge
  ResidualStats all;
  ResidualStats measuredZone;
  ResidualStats extrapolatedZone;
};

// The closure of the current calibration of s (its first `measured` points measured). On any
// failure `computed` stays false and `reason` says why; s is not changed. *cancel (when given)
// is watched throughout: once it is set the correction or detection stops and the closure is
// reported as cancelled.
void RunClosure(const ProgramState& s, long measured, Closure& out,
                const std::atomic<int>* cancel = nullptr);

// The second half: detects the spots of the image that `corrected` holds as its source image
// (with the Auto-detection worker, so with its DetectionMode), fits the lattice and sorts the
// spots into zones by the mesh of `calibration`.
// clearCancel false keeps a cancel already set on `corrected` (the detection then stops early).
// unreached (when given, one byte per pixel) marks the pixels the correction did not reach.
void ClosureOfCorrectedImage(ProgramState& corrected, const ProgramState& calibration,
                             long measured, Closure& out, bool clearCancel = true,
                             const std::vector<unsigned char>* unreached = nullptr);

// Drops the spots of c (centres and indices) that lie within margin of the border of a
// width x height image or, when unreached is given, of a pixel it marks; returns how many.
long KeepAwayFromBorder(Closure& c, long width, long height, double margin,
                        const std::vector<unsigned char>* unreached = nullptr);

// The residual figures of a closure whose centres, indices and zones are set.
void SummariseClosure(Closure& out);

}  // namespace zmr
