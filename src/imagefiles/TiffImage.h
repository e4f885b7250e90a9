// TIFF images through libtiff over memory: reading the first page of a grey or RGB file (8, 16
// and 32-bit integers, signed or not, 32 and 64-bit floats; strips or tiles; every compression
// the library decodes) into counts, and encoding 8-bit, 16-bit or 32-bit float grey images.
// The library's errors and warnings never reach the terminal: an error becomes the failure's
// message, warnings are dropped.
//
// Threads: any thread; no state is shared between calls.
#pragma once

#include <cstdint>
#include <vector>

#include "imagefiles/CountImage.h"
#include "state/Result.h"

namespace zmr {

// True when the bytes start as a TIFF (classic or BigTIFF, either byte order).
bool LooksLikeTiff(ImageBytes bytes);

// Decodes the first page of a TIFF file; colour becomes (red + green + blue) / 3 in the
// file's own depth, extra samples (alpha) are ignored. A file of several pages adds a note.
// The size is checked before the pixels are allocated. On failure the message says why.
ResultOf<CountImage> ReadTiff(ImageBytes bytes, const ImageReadLimits& limits = {});

// Sample types the encoder writes.
enum class TiffSamples { kUnsigned8, kUnsigned16, kFloat32 };

// The bytes of a one-page, uncompressed, single-strip grey TIFF of width x height values
// (row-major, row 0 on top), each stored as the sample type (integers are clamped to their
// range and truncated toward zero). A failure when the size is not positive or the values do
// not match it.
ResultOf<std::vector<std::uint8_t>> EncodeTiff(int width, int height,
                                               const std::vector<double>& values,
                                               TiffSamples samples);

}  // namespace zmr
