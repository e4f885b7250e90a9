// Mesh centring: an optional correction of the ideal grid built by grid tracing. The whole
// ideal grid is moved so that the shift (ideal minus measured position) interpolated at the
// centre point Pc over the triangulated spot list becomes zero; the result goes to
// "ResultsFit.txt".
//
// Threads: whichever thread runs it while no other touches the spot list (the detection worker,
// or the main thread between workers). Reads PointsBuffer, Tpoints and NumberOfTriangles;
// writes SX and SY.
#pragma once

namespace zmr {

struct ProgramState;

inline constexpr const char* kResultsFitName = "ResultsFit.txt";
// The TraceFlag value in which centring may run.
inline constexpr int kTraceFlagCentring = 5;

// Prints "Centering shifts\n" on standard output. When TraceFlag is not 5 (or the spot list is
// not a valid one: arrays absent, NumberOfPoints outside 0 .. MAXPoints - 1) prints
// "ERROR : Can't center data in this state !\n" and stops. Otherwise, when bit 0 of Centering
// is set, runs CenterMesh twice on the spot list (from slot 1 of PointsBuffer) with SX and SY,
// then writes "ResultsFit.txt" with PrintShifts whether or not centring ran. Returns 0.
int CenterAutoTraceResults(ProgramState& s);

// Finds the triangle holding Pc over the measured positions PX, PY (FindTriangle), interpolates
// the shift Dc there from its three vertices (ApproximateShift) and subtracts it from SX[k],
// SY[k] for k = 0 .. NumberOfPoints - 1. Logs "Approximated shift for the point
// [%6.2f %6.2f] : [%6.2f %6.2f]\n" (Pc, Dc), or, leaving SX and SY unchanged when no triangle
// holds Pc, "Point outside triangulated zone - skipping mesh centering\n". The log is OUT_LOG
// when it is open, otherwise "Trace.log" opened for appending just for the line. Returns 0.
int CenterMesh(const ProgramState& s, const double* Pc, const double* PX, const double* PY,
               double* SX, double* SY);

}  // namespace zmr
