// The robust detection: the Auto-detection run when DetectionMode is 1. It needs no tuning:
// the background, the threshold, which side the spots lie on, the spot size and the grid pitch
// all come from the image. It fills the same state as the threshold-and-walk detection, so the
// steps after it work on its result unchanged:
// - the spot list (PointsBuffer slot 0 the mean of the assigned spots, slots 1.. the assigned
//   spots in the order their regions start in the image), SX, SY (ideal positions), Pi, Pj
//   (lattice nodes), Pflag, NumberOfPoints, ImageM, ImageN, Edge (pitch), Origin, TraceFlag;
// - Mtarget: 255 on the background, a label 1..254 on each assigned spot, 0 on the regions
//   left out;
// - "PointsFit.txt" (the assigned spots) and "Trace.log" (a section of its own: background,
//   threshold, regions kept and rejected with the reason, start spot, pitch, angle, assigned,
//   bridged), and one note that sums it up.
// The point arrays grow (MAXPoints) when the lattice holds more spots than they do, with room
// for the boundary extrapolation; the threshold-and-walk detection never grows them.
//
// It works on SourceCounts where the image has them, else on Msource.
//
// Threads: the detection worker, with the same ownership as AutoTrace (see SpotDetection.h),
// plus the point arrays and MAXPoints. Polls fTerminated: a cancelled run leaves no spot
// (NumberOfPoints 0) and says so in a note.
#pragma once

namespace zmr {

struct ProgramState;

// Returns 0; -1, changing nothing, when the image arrays do not hold cxDib x cyDib pixels.
int RunRobustDetection(ProgramState& s);

}  // namespace zmr
