// Assigned spots whose centres break the smoothness of the lattice around them: a speck or a
// smudge merged into a spot moves its centre by a fraction of the pitch, though its node is
// right. Each node's position is predicted from its neighbours on the lattice, two on each side
// along a line (the fourth-order central difference, (4 m1 - m2) / 3 with m1 and m2 the
// midpoints of the neighbours one and two steps away, so that the distortion's curvature does
// not count), averaged over the lines through the node (the two axes and the two diagonals)
// where all four neighbours are assigned. A spot is an outlier when it lies further than
// max(kNodeOutlierLeast, kNodeOutlierPitchShare x the local pitch) from its prediction and further
// than any of its eight neighbours from theirs (a neighbour's prediction leans towards the outlier
// too). Nodes with fewer than two such lines are never outliers. The start node may be one:
// the ideal lattice, drawn through the start spot, then belongs through its prediction.
//
// Threads: works on its arguments only; any thread may call it.
#pragma once

#include <vector>

#include "detection/robust/LatticeAssignment.h"

namespace zmr {

inline constexpr double kNodeOutlierLeast = 0.5;        // pixels
inline constexpr double kNodeOutlierPitchShare = 0.05;  // of the local pitch

struct NodeOutliers {
  std::vector<char> outlier;    // per spot: 1 for an assigned spot that is an outlier, else 0
  bool startPredicted = false;  // the start node has a prediction: (startX, startY)
  double startX = 0.0;
  double startY = 0.0;
};

NodeOutliers FindNodeOutliers(const std::vector<double>& x, const std::vector<double>& y,
                              const LatticeAssignment& lattice);

}  // namespace zmr
