// The corrected image: every source pixel inside the triangulated zone is moved by the
// piecewise-affine displacement at its position and its intensity is spread bilinearly over
// the four target pixels around the moved position (forward mapping with splatting). The sum
// is scaled so that its largest value becomes 255 and truncated into the int target image.
// The displacement and the triangle index of each zone pixel are kept in per-pixel arrays.
//
// The arithmetic follows the written formulas in their order, so that the pixel-map driver can
// be checked bit for bit against a run of TransformCoordinates over every pixel.
//
// Threads: the transformation worker (one at a time). It reads PointsInput, Tpoints and
// NumberOfTriangles, writes Signal, Mtarget, deltaX, deltaY and Area, updates iDetectedAreas
// ("lines completed") and iProgressStatus, and polls fTerminated. The main thread only reads
// the counters and may set fTerminated; it uses the arrays after the worker has ended.
#pragma once

namespace zmr {

struct ProgramState;

// Transforms the M x N source image the record's Msource into its Mtarget:
// - clears Signal to 0.0 and Mtarget to 0;
// - for every row j (iDetectedAreas = j) and every column i, while fTerminated is 0: sets
//   iProgressStatus to (100 * (j * M + i)) / (M * N) and does what TransformCoordinates does
//   for (i, j) with Msource, Signal, Area, deltaX and deltaY;
// - scales Signal so that its largest value becomes 255.0 (ArrayNormalise) and truncates it
//   into Mtarget (ArrayDoubleToInt). This also runs after a cancel, on the partial sum. When no
//   intensity reached the image Signal stays all zero and so does Mtarget.
// The triangles of each row of pixels come from one pass over the triangles (TriangleRowMap,
// one int per pixel of a row) and the coefficients are computed once per triangle, which gives
// the results of the per-pixel search bit for bit in time that grows with pixels, not
// pixels x triangles. Without memory for that every pixel searches the triangles itself.
// deltaX, deltaY and Area are written only for pixels inside the zone.
// Always returns 1. With M or N not positive, or any of the six image arrays holding fewer
// than M * N elements, nothing is done and nothing changes.
int RunTransform(ProgramState& s, long ImageM, long ImageN);

// Moves source pixel (i, j) of an M x N image: looks up the first triangle t that holds (i, j)
// in measured coordinates and hands it to TransformPixel. A pixel outside every triangle
// contributes nothing and leaves Area, ADX and ADY untouched. Always returns 0.
int TransformCoordinates(const ProgramState& s, long i, long j, long M, long N, const int* Source,
                         double* Array, int* Area, double* ADX, double* ADY);

// The work of TransformCoordinates once triangle t (a valid index of the current mesh) is
// known to hold (i, j): with the affine coefficients of t (GetCoefficients over the measured
// vertices and their displacements), the displacement (sX, sY) at (i, j) goes to ADX and ADY,
// t to Area, and the intensity Source[j * M + i] is added to Array through SA, split over the
// pixels (i + iX, j + iY), (i + iX + 1, j + iY), (i + iX + 1, j + iY + 1), (i + iX, j + iY + 1)
// with bilinear weights, where iX = floor(sX), iY = floor(sY). A displacement that is not a
// finite number (possible only for a degenerate triangle or points that are not numbers)
// adds nothing to Array. Always returns 0.
int TransformPixel(const ProgramState& s, long i, long j, long t, long M, long N, const int* Source,
                   double* Array, int* Area, double* ADX, double* ADY);

}  // namespace zmr
