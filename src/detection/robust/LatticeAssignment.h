// Assignment of spot centres to the nodes of a square lattice for the robust detection, and
// the ideal lattice the calibration maps them to.
//
// Start: the spot nearest the image centre whose four neighbours lie where its nearest
// neighbour's step, turned by 0, 90, 180 and 270 degrees, predicts them, at consistent
// distances (within 15 % of their mean) and at right angles (within 10 degrees). Growth: node
// by node, those with the most assigned neighbours first; each node is predicted from the
// affine map fitted (weighted by closeness) to the assigned nodes within two steps of it, and
// takes the nearest free spot within 0.33 of the local pitch, provided it lies between 0.6 and
// 1.4 local pitches from each assigned edge neighbour. A node that finds no spot though two
// or more of its neighbours are assigned is a missing spot: its predicted position stands in
// for it, so growth goes on across it. Nothing bounds the lattice but the spots.
// Ideal positions: the square lattice through the start spot whose step (pitch and angle) is
// the least-squares fit to the assigned nodes within three steps of the start.
//
// Threads: works on its arguments only; any thread may call it. Polls *cancel (when given).
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace zmr {

struct LatticeAssignment {
  std::vector<char> assigned;  // per spot
  std::vector<int> nodeI;      // lattice node of each assigned spot, the start at (0, 0)
  std::vector<int> nodeJ;
  std::vector<double> idealX;  // ideal position of each assigned spot
  std::vector<double> idealY;
  long assignedCount = 0;
  long bridged = 0;              // missing spots inside the lattice, predicted across
  int start = -1;                // spot of node (0, 0); -1 when no spot has four fitting neighbours
  double startPitch = 0.0;       // the start spot's nearest-neighbour distance
  double pitch = 0.0;            // the ideal lattice's step length
  double angle = 0.0;            // and its direction, radians from +x towards +y
  double stepX[2] = {0.0, 0.0};  // the ideal steps of i and j
  double stepY[2] = {0.0, 0.0};
  bool cancelled = false;
  std::string failure;  // why no lattice was found, when start is -1
};

// The distance from each point to its nearest other point (0 for a lone point).
std::vector<double> NearestNeighbourDistances(const std::vector<double>& x,
                                              const std::vector<double>& y);

// Assigns the spots (x, y) of a width x height image.
LatticeAssignment AssignLattice(const std::vector<double>& x, const std::vector<double>& y,
                                int width, int height, const std::atomic<int>* cancel);

}  // namespace zmr
