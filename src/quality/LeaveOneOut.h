// Leave-one-out error of the piecewise-affine model: for each measured calibration point, the
// displacement (ideal minus measured position) that the model predicts at its measured
// position once the point is taken out, against its own displacement. The model passes through
// every point, so this is its honest interpolation error at the points.
//
// Taking a point out changes the mesh only inside the triangles around it, so the point's
// neighbourhood (the points of its triangles and of their triangles) is triangulated again
// without it on a small record of its own, with the same triangulation as the whole mesh
// (Triangulate), and the point is located in that mesh. A point that no triangle of the
// remaining points holds (on the outer boundary of the mesh) has no prediction.
//
// Threads: whichever thread runs the report; reads the calibration points and triangles of
// the record it is given and never writes them.
#pragma once

#include <atomic>
#include <vector>

#include "quality/ResidualStats.h"

namespace zmr {

struct ProgramState;

struct LeaveOneOut {
  // Per measured point: the predicted minus the own displacement (x, y) and its length; NaN
  // when the point has no prediction.
  std::vector<double> errorX;
  std::vector<double> errorY;
  std::vector<double> residual;
  long unpredicted = 0;
  ResidualStats stats;  // over the predicted points
};

// The leave-one-out errors of points 0 .. measured - 1 of the current calibration (all points
// are in the meshes). Polls *cancel (when given) between points and adds the share of
// points done, times `progressSpan`, to *progress (when given). False, with the results so far,
// when cancelled.
bool ComputeLeaveOneOut(const ProgramState& s, long measured, LeaveOneOut& out,
                        const std::atomic<int>* cancel = nullptr,
                        std::atomic<int>* progress = nullptr, int progressSpan = 0);

}  // namespace zmr
