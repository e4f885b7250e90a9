// Shift tables of the ORBIK field: the displacement of the current calibration (ideal minus
// measured position, interpolated over the triangle that holds a position; zero outside the
// triangulated zone) sampled at single positions, on the grid nodes of the field that fall
// inside the image (the reduced table in PointsOutput, written as a calibration points file),
// and the text table of a full-resolution shift field.
//
// Threads: the main thread, inside a command handler, while no worker runs. They read the
// calibration points and triangles; CalculateReducedGridShifts writes PointsOutput.
#pragma once

#include <string>

namespace zmr {

struct ProgramState;

inline constexpr const char* kErrorGridStep = "Error - the grid step (Edge) must be at least 1";

// Looks up the triangle holding (PX, PY) with FindTrianglePI and sets DX, DY to the shift
// interpolated there (ApproximateShiftsT), or to 0 when no triangle holds it. M and N are not
// used. Returns the triangle index, or -1.
int CalculateGridShifts(const ProgramState& s, long M, long N, double PX, double PY, double& DX,
                        double& DY);

// Number of nodes of the field grid of step Step (field positions 0, Step, ... <= ORBIKE on
// both axes) whose image position (field position minus xoffset, yoffset) lies inside the
// M x N image. 0 when Step < 1.
long ReducedGridNodeCount(const ProgramState& s, long M, long N, long Step);

// Why CalculateReducedGridShifts(M, N, Step, ...) would refuse, as a message for the user:
// a Step below 1 or above the int range, or more nodes than PointsOutput holds. "" otherwise.
std::string ReducedGridShiftsProblem(const ProgramState& s, long M, long N, long Step);

// Fills PointsOutput from record 0 with (x, y, x + dx, y + dy) for the grid nodes inside the
// image, by rows (y ascending) and within a row by x ascending, and returns the number of
// records. (dx, dy) is what CalculateGridShifts gives at the node; the triangles of all the
// nodes come from one pass over the triangles (MapTriangles). Mode is not used. Returns 0 and
// leaves PointsOutput unchanged when ReducedGridShiftsProblem(M, N, Step) reports a problem.
// ORBIKPoints is left to the caller.
int CalculateReducedGridShifts(ProgramState& s, long M, long N, int Step, int Mode);

// Writes FileName with the line "%d %d %f %f\n" (x, y, x + ADX[y * M + x], y + ADY[y * M + x])
// for every y = j Step, j = 0 .. N / Step - 1 (outer) and x = i Step, i = 0 .. M / Step - 1,
// announcing it with "Writing to file <name> ..." on standard output. Returns the number of
// lines; 1, after "Cannot open output file <name>\n" on standard output, when the file cannot
// be created (a write failure afterwards also returns 1, leaving any previous file intact);
// 0 without writing anything when Step < 1.
long PrintReducedGridShifts(const char* FileName, const double* ADX, const double* ADY, long M,
                            long N, int Step);

}  // namespace zmr
