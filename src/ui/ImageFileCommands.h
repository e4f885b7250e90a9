// The menu commands of the image files beyond the text and bitmap images (File > Image Data):
// "Open Image..." and the saves of the source and transformed images as TIFF, PNG or PGM.
// Each works on the platform's program state and shows its failures as messages.
//
// Threads: main thread only, as every command.
#pragma once

#include "ui/Platform.h"

namespace zmr {

// Asks for an image file and loads it (LoadCountImage).
void CmdOpenImage(Platform& platform);  // IDM_OPEN_IMAGE

// Ask for a file name and save the source (with its counts, when it holds counts) or the
// target image (with the counts of a transformation in counts, while it shows them) by the name's
// extension (EncodeImageForName), replacing a file only once it is completely written. No image, an
// unknown extension, counts a 16-bit file cannot hold, or a failed write show "Error - cannot save
// image NAME: REASON" (no image: the save commands' message of a missing image) and leave any
// previous file untouched.
void CmdSaveImage(Platform& platform);        // IDM_SAVE_IMAGE
void CmdSaveTargetImage(Platform& platform);  // IDM_SAVE_TARGET_IMAGE

}  // namespace zmr
