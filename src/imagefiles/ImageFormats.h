// The image files beyond the text and bitmap images: recognising TIFF, PNG, JPEG, PGM/PPM and
// EDF by their content and reading them into counts, and choosing the encoding of a save by
// the file name's extension (TIFF, PNG, PGM) for grey levels or counts.
//
// Threads: any thread; nothing is shared.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imagefiles/CountImage.h"
#include "state/Result.h"

namespace zmr {

// The reason given for bytes that are none of the formats.
inline constexpr const char* kNotAnImageFile = "not a TIFF, PNG, JPEG, PGM/PPM or EDF file";

// Reads an image from bytes, choosing the reader by the first bytes. On failure the message
// is the reader's reason (kNotAnImageFile when no reader recognises the bytes).
ResultOf<CountImage> ReadImage(ImageBytes bytes, const ImageReadLimits& limits = {});

// Reads the whole file at path and then ReadImage. Fails with the system's reason when the
// file cannot be opened or read, or is larger than any image the readers accept.
ResultOf<CountImage> ReadImageFile(const std::string& path);

// The bytes of a save of an image under fileName, by its extension (.tif, .tiff, .png, .pgm,
// any case): with counts (non-empty, width x height values) a 32-bit float TIFF, or a 16-bit
// PNG or PGM when every count is a whole number in 0..65535; without counts the grey levels as
// 8 bits (clamped to 0..255). A failure with the reason for another extension, counts that a
// 16-bit file cannot hold, or an image of no pixels.
ResultOf<std::vector<std::uint8_t>> EncodeImageForName(const std::string& fileName, int width,
                                                       int height, std::span<const int> grey,
                                                       const std::vector<double>& counts);

}  // namespace zmr
