// The display list of the window's zoomable view: the bitmap placed by a ViewTransform (only
// the pixels in sight), the overlays at that placement, the displacement vectors lengthened by
// an exaggeration factor with a scale bar, point numbers that never overlap one another, and
// a legend of the overlay colours. Qt-free; main thread only.
#pragma once

#include <string>

#include "ui/DisplayList.h"
#include "ui/ViewTransform.h"

namespace zmr {

struct ViewOverlayStyle {
  int vectorScale = 1;     // displacement vectors drawn this many times their length
  int labelCharWidth = 7;  // window pixels of one digit of a point number
  int labelHeight = 14;    // window pixels of a point number's line
  bool legend = true;      // a legend of the overlays shown
};

// The list for the view. With ViewMode::kStretch and a vector scale of 1 and no legend, the
// list is the stretched picture's list (BuildDisplayList) itself.
DisplayList BuildViewDisplayList(const DisplaySnapshot& snapshot, const ViewTransform& view,
                                 const ViewOverlayStyle& style);

// A length for a scale bar: the round value (1, 2 or 5 times a power of ten) of image pixels
// whose drawn length (pixelsPerUnit each) comes closest to target window pixels from below,
// or the smallest of those above when none fits.
double RoundBarLength(double pixelsPerUnit, double target);

}  // namespace zmr
