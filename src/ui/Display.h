// The display bitmaps: the source and target images as pictures in memory (Qt-free), the
// selection of the one shown, and the grey mapping. Main thread only.
#pragma once

#include <cstdint>

namespace zmr {

struct ProgramState;

// Grey colour of an image value: red, green and blue all equal to its low 8 bits.
std::uint32_t GreyArgb(int value);

// Marks all display slots invalid and selects the source slot.
void ClearBitmaps(ProgramState& s);

// Draws Msource (slot 0) or Mtarget (slot 1) into its display bitmap. newflag 0 creates the
// slot's bitmap at the working size and marks the slot valid; otherwise the existing bitmap is
// redrawn (an absent array draws as 0). When the record keeps no display bitmaps
// (keepDisplayBitmaps false) the slot's size and validity are set all the same, but its
// pixels are neither allocated nor drawn. Returns 1.
int SourceArrayInt2Bitmap(ProgramState& s, int newflag);
int TargetArrayInt2Bitmap(ProgramState& s, int newflag);

// Brings cCurrentBitmap into 0..1 (any other value becomes 0). The platform then updates the
// check marks of the View menu and repaints.
void ChangeSelectedBitmap(ProgramState& s);

}  // namespace zmr
