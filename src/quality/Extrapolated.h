// Which calibration points the boundary extrapolation added, and how far the nodes of the
// ".zmr" table lie from the nearest measured point.
//
// The extrapolation appends its points after the measured ones, each placed exactly on a node
// of its mesh (whole pixel coordinates, multiples of 4 x EdgeGrid or the last pixel of the
// image). The measured points are therefore the points before the trailing run of points that
// sit on that mesh; a points file written and read again keeps those coordinates to the
// printed digits, which the test allows for. A set in which every point sits on the mesh (a
// hand-written grid) is taken as measured whole.
//
// Threads: whichever thread runs the report; reads the calibration points only.
#pragma once

#include <vector>

namespace zmr {

struct ProgramState;

// The number of measured points: NumberOfPoints minus the trailing run of mesh points.
long MeasuredPointCount(const ProgramState& s);

struct ExtrapolatedRegion {
  long measured = 0;
  long extrapolated = 0;
  // Per node of the ".zmr" table (row by row): the distance in pixels from its image position
  // to the nearest measured point; NaN for nodes outside the image or without measured points.
  std::vector<double> nodeDistance;
  double nodeDistanceMax = 0.0;  // over the nodes inside the image; NaN when there is none
};

// The region of the current calibration for an M x N image.
ExtrapolatedRegion DescribeExtrapolatedRegion(const ProgramState& s, long M, long N);

}  // namespace zmr
