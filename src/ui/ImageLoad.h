// The image load procedures of the Open commands: text images (Ostrel files, "%x", and
// ASCII matrices, "%i"), bitmap files, and the image files of ImageFormats.h. Each sets the working
// size, replace the image arrays, fill Msource and the source display bitmap. Main thread only.
#pragma once

#include <string>

#include "ui/Platform.h"

namespace zmr {

// Message of every image that cannot be loaded.
inline constexpr const char* kErrorInImageFile = "Error in image file";
// Message of an image whose size is beyond what the program holds.
inline constexpr const char* kErrorImageTooLarge = "Error - the image is too large";
inline constexpr const char* kErrorImageSizeNotPositive =
    "Error - the image width and height must be at least 1";
// Message of an image whose arrays could not be allocated.
inline constexpr const char* kErrorNoMemory = "Error - not enough memory for the image";

// Loads a text image. A file that cannot be opened, holds a token that is not a number, or
// gives no image (no value, or a count with no width x height) shows "Error in image file";
// one with more than kMaxImagePixels values, or an IMAGE_X x IMAGE_Y beyond ImageSizeAllowed,
// shows "Error - the image is too large" (counting stops at the cap). Both leave the previous
// image, its arrays, the working size and the format list untouched and show no dialog. When
// the count differs from IMAGE_X x IMAGE_Y the image-format dialog may be shown. True when
// loaded.
bool LoadTextImage(Platform& platform, const std::string& fileName, const char* mode);

// Loads a bitmap file; the working size and IMAGE_X x IMAGE_Y become the bitmap's size, and
// the source display bitmap shows the file in its own colours. A file whose header states an
// image beyond ImageSizeAllowed shows "Error - the image is too large" before the file is read;
// a file that is not a valid bitmap shows "Error in image file". Both leave the previous image
// untouched. True when loaded.
bool LoadBitmapImage(Platform& platform, const std::string& fileName);

// Loads a TIFF, PNG, JPEG, PGM/PPM or EDF image (recognised by its content). The working size
// and IMAGE_X x IMAGE_Y become the image's size; SourceCounts receives the file's values and
// Msource the same scaled to 0..255 as a text image's are (value / maximum x 255, truncated
// toward zero; unscaled when no value is positive). The reader's notes (a later TIFF page
// ignored, NaN read as 0) become notes naming the file. A file that cannot be read shows
// "Error - cannot open image NAME: REASON" and leaves the previous image, its counts and the
// working size untouched. True when loaded.
bool LoadCountImage(Platform& platform, const std::string& fileName);

}  // namespace zmr
