// The texts of the window's status bar: what lies under the cursor (position, grey level,
// counts, the nearest calibration point) and the one-line summary after a long command.
// Qt-free; main thread only, while no worker runs.
#pragma once

#include <string>

namespace zmr {

struct ProgramState;

// "x 120, y 87  grey 143  counts 1520" for the source or target pixel (px, py) of the shown
// image (cCurrentBitmap), counts only where the source image has them; empty when the pixel
// lies outside the image or the image is absent.
std::string PixelStatusText(const ProgramState& s, int px, int py);

// "point 17 (120.31, 86.95) -> ideal (121.00, 87.00) D +0.69, +0.05" (an arrow and a delta in
// UTF-8)
// for the calibration point nearest to the image position (x, y): its measured and ideal
// positions and the shift between them; empty when there is none.
std::string NearestPointText(const ProgramState& s, double x, double y);

// What a command did, in one line ("Auto-detection: 361 areas, 360 assigned, 684 triangles,
// 0.2 s"); empty for commands that have nothing to sum up. seconds is how long it ran.
std::string CommandSummaryText(const ProgramState& s, int commandId, double seconds);

}  // namespace zmr
