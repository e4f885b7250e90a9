// Sub-pixel spot centres for the robust detection, by one of two fits (CentreFit below).
//
// The weighted centroid: each pixel within a window round the spot
// weighs by its contrast to the local background less a floor of two noise deviations,
// clipped at 0 (the floor keeps the noise of the background pixels in the window from
// weighing; it changes every spot pixel's weight alike); the background is the median of a
// ring of pixels just outside the window, sloped as the background model is there, so a ramp
// under the spot does not pull the centre. (A slope fitted to the ring alone would carry the
// ring's noise into every centre.) The window follows the centre until it settles. Pixels of other
// regions of the label image (see SpotFinder.h) stay out of the window and the ring.
//
// Threads: works on its arguments only; any thread may call it.
#pragma once

#include <cstddef>
#include <vector>

#include "detection/robust/Background.h"

namespace zmr {

struct SpotCentre {
  double x = 0.0;
  double y = 0.0;
  bool valid = false;  // false: no weight in the window (the centre is the start)
  // With the profile fit: its residual on the spot's rim over what the noise alone leaves.
  // Near 1 where the noise hides the rest (round spots on a noisy image); larger where the
  // spot's shape or the pixels' cover of its rim shows through the noise: clean spots and
  // squares. 0 when the profile fit was not made or failed.
  double roundness = 0.0;
};

// How a centre is taken:
// - kWeighted: the weighted centroid below. Exact for any shape drawn with its pixels' covered
//   share, but every pixel of the window adds its noise.
// - kProfile: one weighted pass, then the spot's own radial profile fitted to its pixels,
//   which weighs the rim only: on noisy round spots about a third closer to the true centre.
//   It needs a spot depth; a spot that is not round (a square) gets a biased centre, which
//   the roundness shows.
enum class CentreFit { kWeighted, kProfile };

// The centre of region `label` (of equivalent radius `radius`) starting from (x, y), with a
// window that reaches 1.5 pixels beyond the spot (where its contrast fades into the noise),
// at most maxWindow pixels, and a ring of 2 pixels beyond it. polarity as in BackgroundModel, noise
// its pixel noise; fallbackLevel is the background used when the ring holds fewer than 8 pixels;
// slopeX and slopeY the background's gradient there. spotDepth is the contrast of the spot's
// core to fallbackLevel: each weight is taken as a fraction of the depth at its pixel (0: the
// plain contrast).
SpotCentre RefineSpotCentre(const PixelView& image, const int* labels, int label, int polarity,
                            double noise, double x, double y, double radius, double maxWindow,
                            double fallbackLevel, double slopeX, double slopeY,
                            double spotDepth = 0.0, CentreFit fit = CentreFit::kWeighted);

// The values of the ring window < d <= outer about (cx, cy), each pixel once, less reference and
// the background's slope from the centre, into ring (grown as needed); the pixels of any region
// of labels and values without meaning are left out. Returns their count. The weighted
// centroid's background level is their median.
std::size_t RingValues(const PixelView& image, const int* labels, double cx, double cy,
                       double window, double outer, double reference, double slopeX, double slopeY,
                       std::vector<float>& ring);

// Asks the processor to bring the values and labels of the box x0..x1 by y0..y1 (clipped to
// the image) towards its caches, without waiting: called for the next spot while one is
// refined, it hides most of the wait for memory, the larger part of a centre's time.
void PrefetchSpotArea(const PixelView& image, const int* labels, int x0, int y0, int x1, int y1);

}  // namespace zmr
