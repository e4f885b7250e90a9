#include "geometry/CountTransform.h"

#include <atomic>
#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "geometry/TriangleLocation.h"
#include "geometry/ZoneSweep.h"
#include "imagefiles/CountImage.h"
#include "state/ProgramState.h"

namespace zmr {

Result RunCountTransform(ProgramState& s, int mode) {
  if (mode != kTransformFlatField && mode != kTransformConserving) {
    return Result::Fail("the transform mode in counts must be 1 or 2, not " + std::to_string(mode));
  }
  const long M = s.cxDib;
  const long N = s.cyDib;
  const std::size_t pixels = M > 0 && N > 0 ? static_cast<std::size_t>(M) * N : 0;
  if (pixels == 0 || s.Msource.size() != pixels || s.Mtarget.size() != pixels) {
    return Result::Fail("there is no image of the working size " + SizeText(M, N) +
                        " to transform");
  }
  if (SearchableTriangleCount(s) == 0) return Result::Fail("there are no triangles to transform");

  std::vector<double> counts;
  std::vector<double> weights;
  try {
    counts.assign(pixels, 0.0);
    if (mode == kTransformFlatField) weights.assign(pixels, 0.0);
  } catch (const std::bad_alloc&) {
    return Result::Fail("not enough memory to transform the " + SizeText(M, N) +
                        " image in counts; the target image is unchanged");
  }

  // A text image or a bitmap has no counts of its own: its grey levels are the only values it
  // has, so they serve as its counts, and the flat field and the conserving mode work on every
  // image (in grey-level units there).
  const bool ownCounts = s.SourceCounts.size() == pixels;
  const double* sourceCounts = s.SourceCounts.data();
  const int* grey = s.Msource.data();
  double* sum = counts.data();
  double* weight = weights.empty() ? nullptr : weights.data();
  SweepZone(s, M, N, [=](long i, long j, int, const double* cX, const double* cY) {
    double sX = 0.0;
    double sY = 0.0;
    PixelShift(i, j, cX, cY, &sX, &sY);
    SplatPosition at;
    if (!LandingOf(i, j, sX, sY, &at)) return;
    const std::size_t index = static_cast<std::size_t>(j) * M + i;
    SplatBilinear(ownCounts ? sourceCounts[index] : grey[index], at, M, N, sum);
    if (weight != nullptr) SplatBilinear(1.0, at, M, N, weight);
  });
  if (s.fTerminated.load(std::memory_order_acquire) != 0) {
    return Result::Fail("the transformation was cancelled; the target image is unchanged");
  }

  long long weak = 0;
  if (weight != nullptr) {
    for (std::size_t k = 0; k < pixels; ++k) {
      if (weight[k] >= kFlatFieldMinimumWeight) {
        sum[k] /= weight[k];
      } else {
        weak += weight[k] > 0.0 ? 1 : 0;
        sum[k] = 0.0;
      }
    }
  }
  CountsToGrey(counts, s.Mtarget);
  s.TargetCounts.swap(counts);
  if (weak > 0) {
    AddNote(s, "flat field transformation: " + std::to_string(weak) +
                   " target pixels reached by a total weight below 0.25 are set to 0");
  }
  return Result::Ok();
}

bool TargetHoldsCounts(const ProgramState& s) {
  return !s.TargetCounts.empty() && GreyShowsCounts(s.TargetCounts, s.Mtarget);
}

}  // namespace zmr
