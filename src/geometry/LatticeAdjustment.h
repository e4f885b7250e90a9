// The adjustment chosen by AdjustMode 1: the ideal lattice moved as a whole. The similarity
// (offset, rotation, scale) that maps the ideal positions best onto the measured ones, in the
// least-squares sense, is applied to every ideal position, so the lattice stays a square
// lattice and only its placement changes. Under strong distortion this keeps the lattice
// straight, where the per-point removal of AdjustMode 0 would bend it. Results go to
// "Trace.log" (truncated) and the corrected points to "CorrectedPoints.txt", as with the
// default adjustment.
//
// Threads: the adjustment worker; it rewrites the ideal columns of PointsInput and polls
// nothing (the work is one pass over the points).
#pragma once

namespace zmr {

struct ProgramState;

// The similarity X' = t + s R(a) X fitted to the rows 0 .. NumberOfPoints - 1 of PointsInput
// (measured x, y; ideal X, Y): scale s, angle a (radians, from +x towards +y), offset t.
// False, leaving the outputs unchanged, with fewer than two points or all ideal positions
// alike.
bool FitLatticeSimilarity(const double* points, long count, double* scale, double* angle,
                          double* offsetX, double* offsetY);

// Fits the similarity and applies it to the ideal positions of PointsInput; logs it and writes
// "CorrectedPoints.txt". With no fit (see above) nothing changes and the log says why.
// Returns 0.
int MoveIdealLatticeWhole(ProgramState& s);

}  // namespace zmr
