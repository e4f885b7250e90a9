// JPEG images through libjpeg over memory: reading grey and colour (YCbCr or RGB) baseline and
// progressive files into counts (8-bit values; colour as (red + green + blue) / 3, rounded
// down). The library's errors become the failure's message; a file that ends inside its image
// data is a failure; other warnings are dropped and nothing is printed.
//
// Threads: any thread; no state is shared between calls.
#pragma once

#include "imagefiles/CountImage.h"
#include "state/Result.h"

namespace zmr {

// True when the bytes start with a JPEG start-of-image marker.
bool LooksLikeJpeg(ImageBytes bytes);

// Decodes a JPEG file. The size is checked before the pixels are allocated.
ResultOf<CountImage> ReadJpeg(ImageBytes bytes, const ImageReadLimits& limits = {});

}  // namespace zmr
