// The triangulation written out literally, as the oracle for the fast one: every triple of
// points in index order, the perpendicular-bisector circumcentre, the empty-circle scan over
// all points with square-rooted distances, and the edge-crossing test against every triangle
// accepted before, with the same log lines, progress, cancel and capacity behaviour. Its cost
// grows with the fourth power of the point count (about 10 s at 576 points on a grid).
//
// Threads: the caller's thread; reads NumberOfPoints, OUT_LOG and fTerminated, writes Tpoints,
// NumberOfTriangles, iTriangles and iProgressStatus.
#pragma once

#include "state/ProgramState.h"

namespace zmr::oracle {

// The exhaustive search over the N = NumberOfPoints points PX[k], PY[k]: appends the accepted
// triangles to Tpoints after the NumberOfTriangles already there and logs to OUT_LOG (when
// open) exactly as the production search. Always returns 0.
int TriangulateLiteral(ProgramState& /*s*/, const double* PX, const double* PY);

}  // namespace zmr::oracle
