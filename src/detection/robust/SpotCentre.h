// Sub-pixel spot centres for the robust detection. Each pixel within a window round the spot
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

#include "detection/robust/Background.h"

namespace zmr {

struct SpotCentre {
  double x = 0.0;
  double y = 0.0;
  bool valid = false;  // false: no weight in the window (the centre is the start)
};

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
                            double spotDepth = 0.0);

}  // namespace zmr
