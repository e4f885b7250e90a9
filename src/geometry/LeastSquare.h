// Boundary extrapolation: one cubic polynomial in the measured coordinates, fitted by linear
// least squares to the displacements (ideal minus measured position) of all calibration points,
// and new calibration points at the nodes of a coarse mesh over the image that no triangle
// holds, each moved by the fitted displacement. Also the small dense solver the fit uses:
// Cramer's rule over determinants by cofactor expansion along the first row.
//
// Threads: the extrapolation worker (one at a time) runs AddBoundaryCalibrationPoints; the
// main thread runs BoundaryExtrapolationProblem before it starts the worker. The numeric helpers
// (Factor ... Determinant) touch no state, except LinearSolve, which advances iProgressStatus.
#pragma once

#include <string>

namespace zmr {

struct ProgramState;

// Number of basis terms of the cubic model, per displacement component.
inline constexpr int kLeastSquaresTerms = 10;
// The mesh step of the extrapolation is this many times EdgeGrid.
inline constexpr long kExtrapolationStepFactor = 4;
// Fewest calibration points the ten-term fit is attempted with.
inline constexpr long kMinExtrapolationPoints = 10;
// Largest order Determinant and LinearSolve accept; larger orders report missing storage.
inline constexpr int kMaxDeterminantOrder = 16;

inline constexpr const char* kErrorTooFewForExtrapolation =
    "Error - minimum 10 calibration points required";
inline constexpr const char* kErrorExtrapolationStep =
    "Error - the Edge option must be at least 1 for the extrapolation mesh";
inline constexpr const char* kErrorSingularFit =
    "Error - the calibration points do not determine the cubic fit (singular system)";
inline constexpr const char* kErrorFitStorage = "Error - not enough memory for the cubic fit";

// Basis function i of the cubic model at (Xc, Yc): 1, x, y, x^2, y^2, xy, x^3, y^3, x^2y, y^2x
// for i = 0..9; 0 for any other i.
double Factor(int i, double Xc, double Yc);

// *SX = sum of P[i] * Factor(i, x, y) and *SY = sum of P[10 + i] * Factor(i, x, y) over
// i = 0..9 (P holds 20 coefficients). Returns 1.
int DistortionLS(const double* P, double x, double y, double* SX, double* SY);

// Writes 0, MeshStep, 2 MeshStep, ... while below ImageSize, then ImageSize - 1 when the last
// value written is below it, into Coordinates (room for MeshCoordinateCount values). Returns the
// count. A MeshStep below 1 or an ImageSize below 1 writes nothing and returns 0.
long GenerateMeshCoordinates(long* Coordinates, long MeshStep, long ImageSize);

// The count GenerateMeshCoordinates would return, without writing anything.
long MeshCoordinateCount(long MeshStep, long ImageSize);

// Determinant of the Rank x Rank row-major matrix M by cofactor expansion along the first row.
// The determinant of each minor is computed once and reused, which gives the bits of the plain
// recursive expansion (same products, same order) in time 2^Rank * Rank. Rank <= 1: M[0].
// Sets *ErrorFlag to 1 and returns 0 when work storage is unavailable or Rank exceeds
// kMaxDeterminantOrder; with *ErrorFlag already nonzero and Rank > 1 it returns 0.
double Determinant(const double* M, int Rank, int* ErrorFlag);

// Solves Matrix * x = RHS (order Rank, row-major) by Cramer's rule and stores x in RHS; Matrix
// is only read. Adds 50 / Rank to iProgressStatus before each column. Returns 0 when solved;
// 1 when work storage is unavailable (also for Rank < 1 or Rank > kMaxDeterminantOrder);
// 2 when the determinant of Matrix is exactly 0.0. On 1 or 2, RHS is unchanged except for the
// columns already solved.
int LinearSolve(ProgramState& s, const double* Matrix, double* RHS, int Rank);

// Fits the cubic model to the displacements of PointsInput rows 0 .. NumberOfPoints - 1 (normal
// equations, all points weighing the same) and copies the two solutions into WX_LS (x terms
// 0..9, y terms 10..19), whatever the solves report. Returns 0.
int EstimateLeastSquares(ProgramState& s);

// Why AddBoundaryCalibrationPoints(M, N) would refuse, as a message for the user: fewer than
// kMinExtrapolationPoints points, EdgeGrid below 1, a normal system that is singular (its
// determinant is 0.0, or the points leave the fit rank-deficient, as on a line in any
// direction: judged on a centred, normalised copy, see LeastSquare.cpp) or unsolvable,
// or more points afterwards than PointsInput and the triangulation hold (MAXPoints - 1).
// "" when it can run. Reads the state only; costs one triangle search per mesh node.
std::string BoundaryExtrapolationProblem(const ProgramState& s, int M, int N);

// Sets ImageM = M and ImageN = N, fits the cubic model into WX_LS and, for the mesh nodes of
// step 4 x EdgeGrid over the M x N image taken column by column (x outer, y inner, both
// ascending) that FindTrianglePI places outside every triangle, appends the row
// (x, y, x + dx, y + dy) to PointsInput, advancing NumberOfPoints and iAssignedPoints.
// The triangulation is not redone here. Returns 1; returns 0 and changes no point, no count,
// WX_LS, ImageM or ImageN when BoundaryExtrapolationProblem(M, N) would report a problem.
int AddBoundaryCalibrationPoints(ProgramState& s, int M, int N);

}  // namespace zmr
