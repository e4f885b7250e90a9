// The transformations in counts (TransformMode 1 and 2). The source image's counts are moved
// and split bilinearly over the target pixels exactly as the grey-level transformation moves
// and splits grey levels (ZoneSweep.h), and are kept as doubles in TargetCounts instead of
// being scaled to a maximum of 255:
// - flat field (1): each target pixel is divided by the sum of the bilinear weights that
//   reached it, so that a uniform image stays uniform; a pixel reached by a total weight below
//   kFlatFieldMinimumWeight is 0 (its value would rest on a sliver of one source pixel);
// - conserving (2): the sums as they are, so that the total of the counts of the zone's pixels
//   is kept, but for the parts moved off the image.
// Mtarget shows the result scaled to 0..255 as an opened image's counts are (CountsToGrey).
//
// Threads: the transformation worker, or whichever thread owns the record (the quality report
// corrects an image on a record of its own). RunCountTransform reads PointsInput, Tpoints,
// NumberOfTriangles, Msource and SourceCounts, writes TargetCounts, Mtarget, notes and the
// progress counters, and polls fTerminated; another thread may only read the counters and set
// fTerminated meanwhile.
#pragma once

#include "state/Result.h"

namespace zmr {

struct ProgramState;

inline constexpr int kTransformGreyLevels = 0;
inline constexpr int kTransformFlatField = 1;
inline constexpr int kTransformConserving = 2;

// Target pixels of the flat field reached by less weight than this are set to 0.
inline constexpr double kFlatFieldMinimumWeight = 0.25;

// Transforms the cxDib x cyDib source image with the current mesh in mode kTransformFlatField
// or kTransformConserving into TargetCounts and Mtarget. The counts are SourceCounts; an image
// that has none (a text image or a bitmap) has its grey levels (Msource) as its counts. Every
// source pixel inside the triangulated zone contributes; iDetectedAreas and iProgressStatus
// follow the rows as in RunTransform.
// On success TargetCounts and Mtarget are replaced whole, and in the flat field a note counts
// the target pixels reached by a weight above 0 but below kFlatFieldMinimumWeight.
// Fails with a message, leaving TargetCounts and Mtarget as they were, for another mode, a
// Msource or Mtarget that is not of the working size, no triangles, too little memory, or a
// cancel (fTerminated set before the end). deltaX, deltaY, Area and Signal are not used.
Result RunCountTransform(ProgramState& s, int mode);

// True when TargetCounts are the counts of the target image: there are some, and Mtarget is
// still exactly their picture (CountsToGrey). The commands that write Mtarget otherwise empty
// TargetCounts; this guards against any that would not.
bool TargetHoldsCounts(const ProgramState& s);

}  // namespace zmr
