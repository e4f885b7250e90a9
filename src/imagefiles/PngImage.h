// PNG images through libpng over memory: reading grey, RGB and palette images of 1 to 16 bits
// into counts (the file's own sample values; palette entries by their colours; alpha and
// transparency ignored), and encoding 8 or 16-bit grey images. The library's errors become the
// failure's message; nothing is printed.
//
// Threads: any thread; no state is shared between calls.
#pragma once

#include <cstdint>
#include <vector>

#include "imagefiles/CountImage.h"
#include "state/Result.h"

namespace zmr {

// True when the bytes start with the PNG signature.
bool LooksLikePng(ImageBytes bytes);

// Decodes a PNG file; colour becomes (red + green + blue) / 3, rounded down, in the file's
// depth. The size is checked before the pixels are allocated. On failure the message says why.
ResultOf<CountImage> ReadPng(ImageBytes bytes, const ImageReadLimits& limits = {});

// The bytes of a grey PNG of width x height values (row-major, row 0 on top) at 8 or 16 bits,
// each value clamped to the depth's range and truncated toward zero.
ResultOf<std::vector<std::uint8_t>> EncodePng(int width, int height,
                                              const std::vector<double>& values, int bitDepth);

}  // namespace zmr
