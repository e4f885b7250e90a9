// The spots of a grid image for the robust detection: the connected regions of pixels whose
// contrast to the local background, averaged over 3 x 3 pixels, exceeds half the local spot
// depth (see Background.h), with
// their area, second moments and peak contrast, and a verdict on each from the dominant
// population of regions: its typical area and elongation. No size is fixed in advance.
//
// Threads: every function works on its arguments only (the label image included); any thread
// may call them. FindSpotRegions polls *cancel and stops early when it becomes non-zero.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "detection/robust/Background.h"

namespace zmr {

// Why a region is or is not taken as a spot.
enum class SpotVerdict {
  kKept,
  kBorder,     // touches the image border: the spot is cut
  kSmall,      // far smaller than the typical spot
  kLarge,      // far larger than the typical spot
  kMerged,     // large and elongated: two or more spots that touch
  kElongated,  // much more elongated than the typical spot
  kRagged,     // fills its ellipse of inertia poorly
  kFaint,      // its contrast stays far below the local spot depth
};
inline constexpr int kSpotVerdicts = 8;
const char* SpotVerdictName(SpotVerdict verdict);

// Regions below this many pixels are specks of noise: counted, not listed.
inline constexpr long kSpeckArea = 3;
// Label image values: a region's label is negative, so that the image can be shown as the
// detection's target image once the spots are relabelled; everything else (specks too) is
// the free value of the target image.
inline constexpr int kNoRegion = 255;
inline constexpr int RegionLabel(int region) { return -(region + 1); }

struct SpotRegion {
  long area = 0;
  double x = 0.0;  // centroid of the region's pixels
  double y = 0.0;
  double elongation = 1.0;  // sqrt of the ratio of the principal second moments
  double fill = 1.0;        // area / area of the ellipse with the same second moments
  double peak = 0.0;        // largest 3 x 3 mean contrast to the local background
  double depth = 0.0;       // local spot depth at the centroid
  int minX = 0, minY = 0, maxX = 0, maxY = 0;
  SpotVerdict verdict = SpotVerdict::kKept;
};

// A horizontal run of a region's pixels in the label image.
struct RegionRun {
  int y = 0;
  int x0 = 0;  // first and last pixel
  int x1 = 0;
  int region = 0;  // index into SpotSearch::regions
};

struct SpotSearch {
  std::vector<SpotRegion> regions;  // every region of kSpeckArea pixels or more, raster order
  std::vector<RegionRun> runs;      // their pixels, when a label image was asked for
  long specks = 0;
  double typicalArea = 0.0;
  double typicalElongation = 1.0;
  long likeNeighbours = 0;  // kept as small or elongated as kept spots next to them
  bool cancelled = false;
};

// Labels the regions of the image into labels (width * height ints, overwritten whole:
// RegionLabel of the region's number in the result, kNoRegion elsewhere) and measures them.
// 4-connected. Verdicts are left at kKept.
// With progress given, *progress goes from progressFrom to progressTo as the rows are scanned.
SpotSearch FindSpotRegions(const PixelView& image, const BackgroundModel& model, int* labels,
                           const std::atomic<int>* cancel, std::atomic<int>* progress = nullptr,
                           int progressFrom = 0, int progressTo = 0);

// Sets the verdict of every region from the population: the typical area is the area-weighted
// median area of the regions off the border, the typical elongation the median over those of
// about that area. Kept: off the border, area within [0.25, 3] times the typical one,
// elongation at most max(1.6, 1.4 x typical), fill ratio at least 0.6, peak contrast at least
// 0.6 times the local depth; an area above 1.6 x typical with too much elongation is merged.
// A region refused only as small or elongated is kept after all when a kept spot within 1.5
// typical spacings is nearly as small and elongated (its area at least 0.55 of the neighbour's, its
// elongation at most 1.35 times): where a strong distortion (a fisheye) shrinks and flattens the
// spots towards the rim, they change from neighbour to neighbour gradually, which a single
// population cannot follow.
void ClassifySpotRegions(SpotSearch& search, int width, int height);

}  // namespace zmr
