// The piecewise-affine distortion model over the triangle mesh: locating the triangle that
// holds a position, and interpolating the displacement (ideal minus measured position) of its
// three vertices affinely inside it. Also SA, the clipped accumulation into a double image that
// the image transformation uses to spread intensity.
//
// The arithmetic of each formula is kept in its written order: faster callers are checked
// against these results bit for bit.
//
// Threads: whichever thread runs the calling operation (a worker, one at a time). They read
// PointsInput, Tpoints and NumberOfTriangles, which must not change during a call, and write
// only their outputs (SA also the image it is given).
#pragma once

namespace zmr {

struct ProgramState;

// Pointer to column Ptype (0..3) of the PointsInput row of vertex Npoint (0..2) of triangle
// Ntriangle: Ptype 0 points at the measured (x, y) pair, 2 at the ideal (x, y) pair.
// Requires a valid triangle of the current mesh.
const double* TPoint(const ProgramState& s, int Ntriangle, int Npoint, int Ptype);

// Number of triangles the searches visit: NumberOfTriangles, never more than Tpoints holds.
long SearchableTriangleCount(const ProgramState& s);

// Index of the first triangle (lowest index) that holds (X, Y), its vertices taken at their
// measured positions (columns 0 and 1 of PointsInput); boundary and vertices count as inside.
// -1 when no triangle holds it, including when there are no triangles.
long FindTrianglePI(const ProgramState& s, double X, double Y);

// The same search with vertex v of every triangle at (PX[v], PY[v]).
long FindTriangle(const ProgramState& s, double X, double Y, const double* PX, const double* PY);

// 1 when C lies inside the triangle P1 P2 P3 or on its boundary, else 0. The vertices must be
// in the mesh's stored order ((P2 - P1) x (P3 - P1) >= 0); the other order has no inside.
int CheckTriangle(const double* P1, const double* P2, const double* P3, const double* C);

// The cross product (U2 - U1) x (Point - U1) in the order Is_to_the_right evaluates it.
inline double SideCross(const double* U1, const double* U2, const double* Point) {
  return (U2[0] - U1[0]) * (Point[1] - U1[1]) - (U2[1] - U1[1]) * (Point[0] - U1[0]);
}

// CheckTriangle as a bool, inline for the loops that test many positions: a side counts as
// held unless its cross product is negative or not a number.
inline bool TriangleHolds(const double* P1, const double* P2, const double* P3, const double* C) {
  const auto held = [](double cross) { return cross > 0 || cross == 0; };
  return held(SideCross(P1, P2, C)) && held(SideCross(P2, P3, C)) && held(SideCross(P3, P1, C));
}

// Side of Point relative to the directed line U1 -> U2, from the cross product
// (U2 - U1) x (Point - U1): 2 when positive (to the right as seen on the screen, where y grows
// downwards), 1 when zero (on the line, also beyond the segment's ends), 0 when negative.
int Is_to_the_right(const double* U1, const double* U2, const double* Point);

// Solves c0*x + c1*y + c2 = Dk[a] at the three vertices Pk (a = 0: x displacements, 1: y) by
// elimination and stores (c0, c1, c2) in CArray. Returns 1 when P1 and P2 share their x
// (the vertical-edge branch), else 0. Degenerate triangles are not checked.
int GetCoefficients(double* CArray, const double* P1, const double* P2, const double* P3,
                    const double* D1, const double* D2, const double* D3, int a);

// D0 = the displacement at P0 interpolated affinely from the vertices Pk and their
// displacements Dk (through GetCoefficients). Returns 0.
int ApproximateShift(const double* P0, double* D0, const double* P1, const double* P2,
                     const double* P3, const double* D1, const double* D2, const double* D3);

// D0 = the displacement at P0 interpolated affinely in triangle Tnumber (a valid index of the
// current mesh), from its vertices' PointsInput rows by Cramer's rule: D0[a] = c[a][0] * P0.x +
// c[a][1] * P0.y + c[a][2] with the coefficients of ShiftCoefficientsT. Returns 1.
int ApproximateShiftsT(const ProgramState& s, const double* P0, double* D0, long Tnumber);

// The coefficient triples ApproximateShiftsT evaluates for triangle Tnumber: cx for the x
// displacement, cy for the y displacement. Computing them once per triangle and evaluating
// them as ApproximateShiftsT does gives its results bit for bit.
void ShiftCoefficientsT(const ProgramState& s, long Tnumber, double* cx, double* cy);

// The evaluation step of ApproximateShiftsT: D0 = (cx . (P0, 1), cy . (P0, 1)). Kept out of
// line so that every caller runs the same instructions: which of two NaN operands a sum keeps,
// and so the sign of a NaN result, depends on the operand order the compiler picks.
void EvaluateShiftT(const double* cx, const double* cy, const double* P0, double* D0);

// Adds Intensity to pixel (i, j) of the M x N image Array (element j * M + i) when
// 0 <= i < M and 0 <= j < N; does nothing otherwise. Returns 0.
int SA(double* Array, long M, long N, long i, long j, double Intensity);

}  // namespace zmr
