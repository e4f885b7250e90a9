// The ".zmr" correction file of the ORBIK unit: the shift of the current calibration sampled on
// a fixed 33 x 33 grid (step 32) over the 1024 x 1024 field, node (x, y) at image position
// (32x - xoffset, 32y - yoffset). One 4-byte record per node, row by row (record y * 33 + x):
// dy then dx, each the shift times 256 truncated toward zero, its low 16 bits written most
// significant byte first. No header, no size, no checksum.
//
// Threads: the main thread, inside a command handler, while no worker runs. They read the
// calibration points and triangles; ORBIKExport also rebuilds PointsOutput and ORBIKPoints.
#pragma once

#include <cstdint>
#include <vector>

namespace zmr {

struct ProgramState;

// --- the file layout
inline constexpr int kZmrNodesPerAxis = 33;
inline constexpr int kZmrNodeStep = 32;  // field pixels between nodes
inline constexpr int kZmrNodeCount = kZmrNodesPerAxis * kZmrNodesPerAxis;
inline constexpr int kZmrRecordSize = 4;
inline constexpr int kZmrDyOffset = 0;  // within a record
inline constexpr int kZmrDxOffset = 2;
inline constexpr int kZmrFileSize = kZmrNodeCount * kZmrRecordSize;  // 4356
inline constexpr double kZmrUnitsPerPixel = 256.0;

// --- results of the writers
inline constexpr int kZmrWritten = -1;
inline constexpr int kZmrNotCreated = -2;

// The 16-bit code of a shift in pixels: shift * 256 truncated toward zero, reduced to its low
// 16 bits without clamping (two's complement). The truncation goes through a 64-bit integer:
// NaN gives 0 and a product beyond the 64-bit range saturates before the bits are taken.
std::uint16_t ZmrShiftCode(double shift);

// The whole file for the current calibration: kZmrFileSize bytes, the node shifts looked up
// with CalculateGridShifts(xmax, ymax, ...).
std::vector<std::uint8_t> ZmrFileBytes(const ProgramState& s, int xmax, int ymax);

// Writes ZmrFileBytes(xmax, ymax) to Fname (through a temporary that replaces the file only
// once complete). Returns kZmrWritten (-1) when written, kZmrNotCreated (-2) when the file
// could not be created or written; a previous file is then left as it was.
int ORBIKExportNew(const ProgramState& s, const char* Fname, int xmax, int ymax);

// How many node shifts (x and y counted apart) of the table ZmrFileBytes(s, xmax, ymax) makes
// lie beyond what a 16-bit code of 1/256 px holds (-128 .. +127.996 px): their codes wrap.
int WrappedZmrShifts(const ProgramState& s, int xmax, int ymax);

// The earlier writer, which no command uses: the same file, with the node shifts taken from
// the reduced grid table of step 32 (CalculateReducedGridShifts(xmax, ymax, 32, 0), which it
// rebuilds into PointsOutput and ORBIKPoints) instead of the triangulation. Record r must sit
// at node r's image position; since the table holds only nodes inside the image, this needs
// an image that covers the whole field. Returns the index r of the first record that is
// missing or misplaced, before any file is opened; otherwise -1 or -2 as ORBIKExportNew.
int ORBIKExport(ProgramState& s, const char* Fname, int xmax, int ymax);

}  // namespace zmr
