// Spot detection: labels every 4-connected region of source pixels darker than the threshold
// in the label image, and stores the weighted centre of each region larger than the minimum
// size in the spot list (the two halves of PointsBuffer; slot 0 receives the area-weighted mean
// of the spots). Logs to "Trace.log", writes the list to "PointsFit.txt".
//
// Label image: 255 marks a free pixel; 0..254 are region labels. A pixel carrying any other
// value than 255 is never taken again. The label counter starts at 0, advances after each
// stored region and wraps from 254 to 0; a region too small to be stored keeps the current
// label, which the next region reuses.
//
// Threads: AutoTrace runs on the detection worker. It writes Mtarget, PointsBuffer,
// NumberOfPoints, ImageM, ImageN, TraceFlag, OUT_LOG and the counters iProgressStatus and
// iDetectedAreas, and polls fTerminated; nothing else may touch those until it returns. The
// other functions work on their arguments, MAXPoints, DebugSwitch, OUT_LOG and the counters.
#pragma once

namespace zmr {

struct ProgramState;

// The free value of the label image.
inline constexpr int kFreeLabel = 255;

// The spot list file written by AutoTrace into the working directory.
inline constexpr const char* kPointsFitName = "PointsFit.txt";

// Runs the detection on the cx x cy source image: sets ImageM, ImageN; creates "Trace.log"
// (closing a log still open) and writes its header, then the "Centering at" line when
// Centering > 0; fills Mtarget with 255; NumberOfPoints = FindCenters over Msource with the
// threshold Threshold truncated toward zero and MinPatchSize; writes slots
// 0 .. NumberOfPoints - 1 to "PointsFit.txt"; sets TraceFlag = 1 and closes the log. When
// "Trace.log" cannot be created the detection runs without a log. Numbers are written in the C
// numeric locale. Returns 0. Returns -1, changing nothing and writing no file, when cx or cy is
// not positive, Msource or Mtarget does not hold cx * cy pixels, or the point arrays are not
// allocated (PointsBuffer smaller than 2 * MAXPoints, or MAXPoints below 1).
int AutoTrace(ProgramState& s, int cx, int cy);

// Scans the M x N image in raster order (rows outer), offering every pixel to Dijkstra with the
// current label. A region whose area exceeds MinArea is stored while fewer than MAXPoints are
// stored: at slot count (from 0, so the first spot goes to slot 0, which the mean replaces at
// the end, and the second and later spots fill slots 1, 2, ...); then the label advances,
// count += 1, iDetectedAreas = count and one line goes to OUT_LOG (when open), with count and
// label already advanced: "%i[%i] = %li %f %f\n" (count, label, area, x, y) when DebugSwitch is
// set, else "%3i [%6li] (%5.2f %5.2f) \n" (count, area, x, y). Beyond MAXPoints the regions
// are neither stored nor counted nor logged, and the label stays. Every qualifying region, stored
// or not, enters the area-weighted mean when the label (after its advance) exceeds 1. At the end
// slot 0 is overwritten with that mean, or with the image centre (M / 2.0, N / 2.0) when no region
// entered it. A MinArea below 0 makes every pixel that starts no region "qualify" with area 0
// at its own position.
// Prints "Searching for black areas \n" on standard output; sets iProgressStatus to the
// percentage of pixels offered before each pixel. Stops before the next row or pixel once
// fTerminated is non-zero; slot 0 is still written. Table must hold only 255 and labels of
// regions grown to the end (the state AutoTrace starts from, filled with 255). PointsX and
// PointsY hold MAXPoints elements each. Returns count, the number of stored slots.
int FindCenters(ProgramState& s, long M, long N, int* Table, const int* Signal, int Threshold,
                long MinArea, double* PointsX, double* PointsY);

// Grows the region of the start pixel (*CenterX, *CenterY truncated toward zero): the
// 4-connected set of free pixels (Table 255) with Signal < Threshold that holds it; labels
// every pixel of it with Mark. On return *CenterX, *CenterY hold the centre weighted by
// Signal + 1: (w0 * start + sum of w * position over the other pixels) / (sum of w), the sums
// of whole numbers taken exactly. Returns the area (pixel count). Returns 0 and leaves
// everything unchanged when the start pixel is outside the image, not finite, or not a free
// dark pixel, or when Mark is the free value 255. When the weights sum to 0 (negative source
// values) the centre is left at the start values. Pixels labelled Mark elsewhere do not join the
// region. The region is grown to its end even when fTerminated is set meanwhile.
long Dijkstra(long M, long N, int* Table, const int* Signal, double* CenterX, double* CenterY,
              int Threshold, int Mark);

// 1 when (i, j) lies inside the M x N image, Table there is 255 and Signal there is below
// Threshold; else 0.
int Valid(long M, long N, const int* Table, const int* Signal, long i, long j, int Threshold);

// 1 when one of the four edge neighbours of (i, j) inside the image (right, left, below,
// above) carries the label Mark; else 0. Diagonal neighbours do not count.
int TestNeighbours(long M, long N, const int* Table, long i, long j, int Mark);

}  // namespace zmr
