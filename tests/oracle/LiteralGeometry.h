// The geometry drivers written out literally, as oracles for the pixel-map versions: every
// pixel (or node) searches all triangles with its own side tests and evaluates the
// interpolation of the triangle it finds. Slow (pixels x triangles): keep images small and
// meshes to a few hundred triangles. The per-triangle interpolation and splat (TransformPixel,
// ApproximateShiftsT) and the rotation and scale fit after sampling are the program's own; unit
// tests check them by properties of their own.
//
// Threads: the caller's thread; they read and write the program state as the fast versions do.
#pragma once

#include <vector>

namespace zmr::oracle {

// The first triangle (lowest index) whose three sides, vertices at their measured positions,
// each have (X, Y) on their inner side or on their line; -1 when none does.
long FindTriangleLiteral(double X, double Y);

// RunTransform with the search above at every pixel and TransformPixel where it finds one.
int RunTransformLiteral(long ImageM, long ImageN);

// ArrayStatistics with the search above and ApproximateShiftsT at every pixel in pass 1; the
// passes after it are the program's own.
int ArrayStatisticsLiteral(double* Center, double* Rotation, double* Scale, long M, long N,
                           double* Xshift, double* Yshift, int* Area);

// CalculateReducedGridShifts (Step >= 1) with the search above and ApproximateShiftsT at every
// node.
int CalculateReducedGridShiftsLiteral(long M, long N, int Step, int Mode);

// The rows (x, y, x + dx, y + dy) AddBoundaryCalibrationPoints appends: the extrapolation mesh
// nodes (step 4 x EdgeGrid, x outer, y inner) outside every triangle, moved by the cubic of the
// coefficients in WX_LS (call it after the fit).
std::vector<double> BoundaryPointsLiteral(int M, int N);

}  // namespace zmr::oracle
