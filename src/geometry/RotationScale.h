// Removal of the global rotation, scale and offset from the calibration points. The displacement
// field of the piecewise-affine model is sampled at every pixel; its centre is the centroid of
// the triangulated zone, and the mean rotation and scale about that centre are estimated from
// the zone pixels at least CenterLimit pixels away. The ideal positions of all points are then
// rewritten so that this rotation, scale and the centre's displacement drop out of their
// displacements. The results go to "Trace.log" (truncated) and the corrected points to
// "CorrectedPoints.txt".
//
// Threads: the adjustment worker (one at a time). It reads Tpoints and NumberOfTriangles,
// rewrites the ideal columns of PointsInput, writes the three per-pixel arrays it is given and
// iProgressStatus, and polls fTerminated. The main thread only reads the counters and may set
// fTerminated; it uses the results after the worker has ended.
#pragma once

namespace zmr {

struct ProgramState;

// Text of the log line written in place of an estimate when no pixel of the zone lies at
// least CenterLimit from the centre (countr = 0): "%f" CenterLimit, "%li" zone pixel count.
inline constexpr const char* kNoEstimateLine =
    "Rotation and scale not estimated: no pixel of the triangulated zone lies %f or more "
    "pixels from the centre (%li zone pixels); calibration points left unchanged\n";

// Estimates and removes the global rotation and scale for an M x N pixel field.
//
// Pass 1 (iProgressStatus = (100 * index) / (M * N) per pixel): for every pixel (i, j) the
// displacement of the triangle that holds it (FindTrianglePI, ApproximateShiftsT) goes to
// Xshift and Yshift and 1 to Area; pixels outside the zone get (0, 0) and Area 0. Center = the
// centroid of the zone pixels ((0, 0) for an empty zone); DOffset = the sampled displacement at
// the pixel (Center.x, Center.y) truncated toward zero. The triangles of each row of pixels
// come from one pass over the triangles (TriangleRowMap) and the coefficients are computed once
// per triangle: the same values bit for bit, in time that grows with the pixels only.
// Pass 2: over zone pixels with r = |(i, j) - Center| >= CenterLimit, Rotation = the mean of
// atan(tangential part of (displacement - DOffset) / r) in radians (positive from +x towards
// +y), Scale = the mean of (radial part / r + 1).
// Pass 3: writes to "Trace.log" (truncated; kept in OUT_LOG while open, closed at the end)
//   "Center of rotation: %f %f\n", "Rotation : %f deg\n", "Scale    : %f    \n",
//   [kNoEstimateLine when no pixel entered pass 2 and the run was not cancelled,]
//   "Writing corrected calibration points coordinates into the output file
//   CorrectedPoints.txt\n";
// then, for each point k with measured (x, y), ideal (X, Y), R = (x, y) - Center, sets
//   X' = X - DOffset.x + cos(Rotation) R.x + sin(Rotation) R.y - Scale R.x
//   Y' = Y - DOffset.y - sin(Rotation) R.x + cos(Rotation) R.y - Scale R.y
// as its new ideal position, and writes "%f %f %f %f\n" (x, y, X', Y') to
// "CorrectedPoints.txt" (replaced whole, through a temporary file).
//
// When no pixel entered pass 2 (no triangle, or a zone within CenterLimit of its centroid),
// Rotation and Scale stay 0 and no point changes: the correction with those values would
// move every ideal position by R. The file then lists the points as they stand.
// Cancel (fTerminated set): each pass stops at its next pixel or point. During pass 1, Center
// and DOffset come from the pixels seen so far and Rotation and Scale stay 0. A cancel before
// pass 3 changes no point; the four log lines are still written. During pass 3 the points
// processed so far keep their correction. A cancelled run leaves "CorrectedPoints.txt" as the
// last complete run wrote it, with a note.
// A log that cannot be opened is skipped. When "CorrectedPoints.txt" cannot be written the
// points are still corrected, the previous file is left as it was, the log gets
// "Cannot open output file CorrectedPoints.txt\n" and a note says why.
// Center (two doubles), Rotation and Scale receive the results. The point loop covers rows
// 0 .. NumberOfPoints - 1 that PointsInput holds. With M or N not positive no pixel is
// sampled (DOffset (0, 0)). Always returns 0.
// Writes the first count rows of pts (measured x, y; ideal X, Y) to "CorrectedPoints.txt" in
// the record's working folder, replacing it whole. False when it could not be written: the
// previous file stays and a note says why.
bool WriteCorrectedPoints(ProgramState& s, const double* pts, long count);

int ArrayStatistics(ProgramState& s, double* Center, double* Rotation, double* Scale, long M,
                    long N, double* Xshift, double* Yshift, int* Area);

// Everything of ArrayStatistics after pass 1: given the sampled field (Xshift, Yshift, Area),
// the centroid Center of its `count` zone pixels and "Trace.log" open as OUT_LOG (or null),
// takes DOffset, runs passes 2 and 3 and closes the log. Always returns 0.
int EstimateRotationScaleAndCorrect(ProgramState& s, double* Center, double* Rotation,
                                    double* Scale, long M, long N, const double* Xshift,
                                    const double* Yshift, const int* Area, long count);

}  // namespace zmr
