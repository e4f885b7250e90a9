// Plain-text point files: the calibration points file (records of measured x, measured y,
// ideal x, ideal y, one "%5.1f %5.1f %5.1f %5.1f" line each), the spot list "PointsFit.txt"
// ("%f %f" lines) and the mesh-centring results "ResultsFit.txt" ("%f %f %f %f" lines).
// Readers parse numbers with fscanf at single precision and widen them to double; writers use
// the fixed-point printf conversions, so the decimal point is a full stop.
//
// Threads: the main thread, or the worker thread running detection (PrintPoints, PrintShifts).
// Only LoadTraceResults writes the program state; the others read MAXPoints and
// NumberOfPoints.
#pragma once

#include <cstdio>
#include <string>

namespace zmr {

struct ProgramState;

// Reads calibration point records (four numbers each, any white space between them, "%g" into
// float) from f into Array, four doubles per record, at most s.MAXPoints records.
// Reading stops at the end of the file, at the first record that is incomplete or holds
// something that is not a number (that record is not stored), or when the capacity is full.
// Returns the number of records stored; 0 when Array is null. f stays open.
long ReadPointRecords(const ProgramState& s, std::FILE* f, double* Array);

// The same over the bytes of a whole file in memory.
long ReadPointsInBuffer(const ProgramState& s, const std::string& bytes, double* Array);

// The same over the file Fname; 0 when it cannot be opened (Array unchanged).
long ReadPoints(const ProgramState& s, const char* Fname, double* Array);

// Creates or replaces Fname with records 0 .. cipoints - 1 of Array, one
// "%5.1f %5.1f %5.1f %5.1f\n" line each, nothing else. Returns cipoints (0 when cipoints is
// negative), or 0 when the file cannot be written (a previous file is then left as it was).
long WritePoints(const char* Fname, const double* Array, long cipoints);
// The same, telling success apart from an empty record list: false when not written.
bool WritePointsChecked(const char* Fname, const double* Array, long cipoints);

// Creates or truncates FileName and writes "%f %f\n" lines (Px[k], Py[k]) for
// k = 0 .. s.NumberOfPoints - 1, announcing it on standard output with
// "Writing to file <name> ..." and "done\n". Returns 0; 1, with no message, when the file
// cannot be created.
int PrintPoints(ProgramState& s, const double* Px, const double* Py, const char* FileName);

// Reads "%f %f" pairs (float, widened to double) from f into Px[k], Py[k] from k = 0, at most
// s.MAXPoints pairs, stopping at the end of the file or at the first incomplete or
// unreadable pair. Returns the number of pairs stored. f stays open.
int LoadPointPairs(const ProgramState& s, std::FILE* f, double* Px, double* Py);

// The same over the bytes of a whole file in memory.
int LoadPointsInBuffer(const ProgramState& s, const std::string& bytes, double* Px, double* Py);

// The same over the file FileName; -1 when it cannot be opened (Px, Py unchanged).
int LoadPoints(const ProgramState& s, double* Px, double* Py, const char* FileName);

// Reloads the spot list from "PointsFit.txt" (in the work folder) into the two halves of
// PointsBuffer
// (x at [k], y at [MAXPoints + k]), sets NumberOfPoints to the number of pairs and
// TraceFlag to 2. Returns 0; -1 when the file cannot be opened or the point arrays are not
// allocated, leaving the state unchanged.
int LoadTraceResults(ProgramState& s);

// Creates or truncates FileName and writes "%f %f %f %f\n" lines (PX[k], PY[k], SX[k], SY[k])
// for k = 0 .. s.NumberOfPoints - 1, between "Writing to file <name> ..." and "done\n"
// on standard output. Returns 0; 1 after printing "Cannot open output file <name>\n" when the
// file cannot be created.
int PrintShifts(ProgramState& s, const char* FileName, const double* PX, const double* PY,
                const double* SX, const double* SY);

}  // namespace zmr
