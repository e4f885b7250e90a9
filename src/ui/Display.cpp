#include "ui/Display.h"

#include <vector>

#include "state/ProgramState.h"

namespace zmr {

std::uint32_t GreyArgb(int value) {
  const auto g = static_cast<std::uint32_t>(value) & 0xFFu;
  return 0xFF000000u | (g << 16) | (g << 8) | g;
}

void ClearBitmaps(ProgramState& s) {
  s.fBitmap.fill(0);
  s.cCurrentBitmap = 0;
}

namespace {
int ArrayToSlot(ProgramState& s, int slot, const ImageVector<int>& array, int newflag) {
  DisplayBitmap& bitmap = s.hBitmap[static_cast<std::size_t>(slot)];
  if (newflag == 0) {
    bitmap.width = s.cxDib;
    bitmap.height = s.cyDib;
    if (s.keepDisplayBitmaps) {
      bitmap.pixels.assign(static_cast<std::size_t>(s.cxDib) * static_cast<std::size_t>(s.cyDib),
                           GreyArgb(0));
    }
    s.fBitmap[static_cast<std::size_t>(slot)] = 1;
  }
  // Without a display the slot keeps its size and validity but no picture.
  if (!s.keepDisplayBitmaps) return 1;
  // A slot bitmap keeps the size it was created with; draw the part both cover.
  const int w = bitmap.width < s.cxDib ? bitmap.width : s.cxDib;
  const int h = bitmap.height < s.cyDib ? bitmap.height : s.cyDib;
  const bool present = array.size() == static_cast<std::size_t>(s.cxDib) * s.cyDib;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int v = present ? array[static_cast<std::size_t>(y) * s.cxDib + x] : 0;
      bitmap.pixels[static_cast<std::size_t>(y) * bitmap.width + x] = GreyArgb(v);
    }
  }
  return 1;
}
}  // namespace

int SourceArrayInt2Bitmap(ProgramState& s, int newflag) {
  return ArrayToSlot(s, 0, s.Msource, newflag);
}
int TargetArrayInt2Bitmap(ProgramState& s, int newflag) {
  return ArrayToSlot(s, 1, s.Mtarget, newflag);
}

void ChangeSelectedBitmap(ProgramState& s) {
  if (s.cCurrentBitmap != 0 && s.cCurrentBitmap != 1) s.cCurrentBitmap = 0;
}

}  // namespace zmr
