// The geometry drivers written out literally, as oracles for the pixel-map versions: every
// pixel (or node) searches all triangles with FindTrianglePI and evaluates its own
// coefficients. Slow (pixels x triangles): keep images small and meshes to a few hundred
// triangles.
//
// Threads: the caller's thread; they read and write the program state as the fast versions do.
#pragma once

#include <array>
#include <vector>

namespace zmr::oracle {

// RunTransform with TransformCoordinates at every pixel (the per-pixel search).
int RunTransformLiteral(long ImageM, long ImageN);

// ArrayStatistics with FindTrianglePI and ApproximateShiftsT at every pixel in pass 1; the
// passes after it are the program's own.
int ArrayStatisticsLiteral(double* Center, double* Rotation, double* Scale, long M, long N,
                           double* Xshift, double* Yshift, int* Area);

// CalculateReducedGridShifts with CalculateGridShifts at every node.
int CalculateReducedGridShiftsLiteral(long M, long N, int Step, int Mode);

// The extrapolation mesh nodes (step 4 x EdgeGrid, x outer, y inner) that FindTrianglePI puts
// outside every triangle, in the order AddBoundaryCalibrationPoints appends them.
std::vector<std::array<long, 2>> OutsideMeshNodesLiteral(int M, int N);

}  // namespace zmr::oracle
