// PGM and PPM images (P2, P3 text and P5, P6 binary; maxval 1..65535, two bytes per binary
// sample, most significant first, above 255): reading into counts, colour as
// (red + green + blue) / 3 rounded down; and encoding 8 or 16-bit binary PGM.
//
// Threads: any thread; pure functions.
#pragma once

#include <cstdint>
#include <vector>

#include "imagefiles/CountImage.h"
#include "state/Result.h"

namespace zmr {

// True when the bytes start with "P2", "P3", "P5" or "P6" followed by white space.
bool LooksLikeNetpbm(ImageBytes bytes);

// Decodes a PGM or PPM file. Header numbers are checked (size, maxval) and the data's length
// against the size before anything is allocated; a sample above maxval is an error.
ResultOf<CountImage> ReadNetpbm(ImageBytes bytes, const ImageReadLimits& limits = {});

// The bytes of a binary PGM of width x height values (row-major, row 0 on top) with maxval
// 255 (bitDepth 8) or 65535 (bitDepth 16), each value clamped and truncated toward zero.
ResultOf<std::vector<std::uint8_t>> EncodePgm(int width, int height,
                                              const std::vector<double>& values, int bitDepth);

}  // namespace zmr
