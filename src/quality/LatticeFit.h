// The best square lattice through a set of spot centres: origin, angle and pitch fitted by
// least squares to centres whose lattice indices (row, column) are known, and the residual of
// every centre. Also the indices of spots whose ideal positions form a lattice (what the grid
// tracing assigns), so that a detection's result can be fitted without its bookkeeping.
//
// Lattice node (row, col) lies at origin + col * u + row * v with u = pitch (cos a, sin a) and
// v = pitch (-sin a, cos a): with y pointing down, rows go down the image when a = 0.
//
// Threads: pure functions over their arguments, usable anywhere.
#pragma once

#include <string>
#include <vector>

namespace zmr {

struct LatticeFit {
  double originX = 0.0;
  double originY = 0.0;
  double angle = 0.0;  // radians
  double pitch = 0.0;  // pixels
  // Per centre: centre minus lattice node.
  std::vector<double> residualX;
  std::vector<double> residualY;
  std::vector<double> residual;
};

// Fits the lattice to the n centres (x, y) with indices (row, col). False, with the reason,
// when fewer than two distinct nodes are given or the values are not finite numbers.
bool FitSquareLattice(const std::vector<double>& x, const std::vector<double>& y,
                      const std::vector<int>& row, const std::vector<int>& col, LatticeFit& fit,
                      std::string& problem);

// The lattice indices of points whose ideal positions (X, Y) lie on a lattice: counted from
// the point nearest their centroid along its nearest neighbour (columns) and the nearest
// neighbour across it (rows, turned so that the lattice is not mirrored). False, with the
// reason, when fewer than three points are given or a point lies more than a quarter of a
// step off the lattice.
bool LatticeIndices(const std::vector<double>& X, const std::vector<double>& Y,
                    std::vector<int>& row, std::vector<int>& col, std::string& problem);

}  // namespace zmr
