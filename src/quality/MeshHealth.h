// Health of the triangle mesh of the current calibration: triangles whose orientation flips
// between the measured and the ideal positions (fold-overs, where the correction turns the
// image inside out), the local area change of each triangle's affine map (the determinant of
// the map from measured to ideal positions), and edges much longer than the grid pitch (a
// triangle bridging missing spots).
//
// Threads: whichever thread runs the report; reads the calibration points and triangles.
#pragma once

#include <utility>
#include <vector>

namespace zmr {

struct ProgramState;

// An edge between two measured points longer than this many pitches is reported as long: the
// diagonal of a grid cell is 1.41 pitches, an edge over a missing spot 2 or more.
inline constexpr double kLongEdgePitches = 1.6;

struct MeshHealth {
  long triangles = 0;
  long foldovers = 0;
  double areaChangeMin = 0.0;  // NaN when no triangle has a measured area
  double areaChangeMax = 0.0;
  // The grid pitch: the median of the shortest edge of the triangles between measured points
  // (measured positions); NaN when there is none.
  double pitch = 0.0;
  double longestEdge = 0.0;          // pixels, over edges between measured points
  long longEdges = 0;                // edges between measured points longer than kLongEdgePitches
  std::vector<double> areaChange;    // per triangle; NaN for a flat measured one
  std::vector<int> foldedTriangles;  // indices, ascending
  std::vector<std::pair<int, int>> longEdgeList;  // point index pairs, lower index first
};

// The health of the NumberOfTriangles triangles; the first `measured` points are the measured
// ones (the rest were added by the extrapolation).
MeshHealth AssessMesh(const ProgramState& s, long measured);

}  // namespace zmr
