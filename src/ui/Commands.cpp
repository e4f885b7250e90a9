#include "ui/Commands.h"

#include <algorithm>

#include "detection/PointFiles.h"
#include "imagefiles/Bitmap.h"
#include "state/Array.h"
#include "state/ProgramState.h"
#include "ui/Dialogs.h"
#include "ui/Display.h"
#include "ui/ImageLoad.h"

namespace zmr {

void CmdOpenOstrel(Platform& platform) {
  ProgramState& s = State();
  if (!platform.AskFileName(FileDialog::Ostrel, s.szImageFile, s.szImageTitle)) return;
  LoadTextImage(platform, s.szImageFile, "%x");
}

void CmdOpenAscii(Platform& platform) {
  ProgramState& s = State();
  if (!platform.AskFileName(FileDialog::Ascii, s.szImageFile, s.szImageTitle)) return;
  LoadTextImage(platform, s.szImageFile, "%i");
}

void CmdOpenBitmap(Platform& platform) {
  ProgramState& s = State();
  if (!platform.AskFileName(FileDialog::Bitmap, s.szImageFile, s.szImageTitle)) return;
  LoadBitmapImage(platform, s.szImageFile);
}

void CmdSaveBitmap(Platform& platform) {
  ProgramState& s = State();
  // The save dialog of bitmaps is the Ostrel-file dialog.
  if (!platform.AskFileName(FileDialog::Ostrel, s.szImageFile, s.szImageTitle)) return;
  const int* data = s.Msource.empty() ? nullptr : s.Msource.data();
  if (WriteImage(s.szImageFile.c_str(), s.cxDib, s.cyDib, data) == 0) {
    platform.Message(kErrorCreatingImage, kMessageCaption);
  }
}

namespace {
void SaveImageAscii(Platform& platform, const std::vector<int>& image, const char* absentText) {
  ProgramState& s = State();
  if (image.empty()) {
    platform.Message(absentText, kMessageCaption);
    return;
  }
  if (!platform.AskFileName(FileDialog::PointsData, s.szImageFile, s.szImageTitle)) return;
  if (PrintArray(image.data(), s.cxDib, s.cyDib, s.szImageFile.c_str()) != 0) {
    platform.Message(kErrorCreatingImage, kMessageCaption);
  }
}

void ToggleOverlay(Platform& platform, int bit) {
  State().cfDrawMode ^= bit;
  platform.Redraw();
}

void SelectBitmap(Platform& platform, int slot) {
  State().cCurrentBitmap = slot;
  ChangeSelectedBitmap();
  platform.Redraw();
}
}  // namespace

void CmdSaveAscii(Platform& platform) {
  SaveImageAscii(platform, State().Msource, kErrorNoSourceData);
}

void CmdSaveTargetAscii(Platform& platform) {
  SaveImageAscii(platform, State().Mtarget, kErrorNoTargetData);
}

void CmdPointsSave(Platform& platform) {
  ProgramState& s = State();
  if (!platform.AskFileName(FileDialog::PointsData, s.szPointsFile, s.szPointsTitle)) return;
  const long count = std::clamp<long>(s.NumberOfPoints, 0, s.MAXPoints);
  if (!WritePointsChecked(s.szPointsFile.c_str(), s.PointsInput.data(), count)) {
    platform.Message(kErrorCreatingPoints, kMessageCaption);
  }
}

void CmdExit(Platform& platform) { platform.CloseMainWindow(); }

void CmdTargetToSource(Platform& platform) {
  ProgramState& s = State();
  s.cCurrentBitmap = 0;
  ChangeSelectedBitmap();
  if (s.fBitmap[1] == 1 && !s.Mtarget.empty() && s.Msource.size() == s.Mtarget.size()) {
    std::copy(s.Mtarget.begin(), s.Mtarget.end(), s.Msource.begin());
  }
  SourceArrayInt2Bitmap(s.fBitmap[0]);
  platform.Redraw();
}

void CmdOptions(Platform& platform) {
  OptionsDialogData dialog = OptionsDialogInit();
  if (platform.RunOptionsDialog(dialog)) OptionsDialogApply(dialog);
}

void CmdViewVectors(Platform& platform) { ToggleOverlay(platform, kDrawVectors); }
void CmdViewNumbers(Platform& platform) { ToggleOverlay(platform, kDrawNumbers); }
void CmdViewTriangles(Platform& platform) { ToggleOverlay(platform, kDrawTriangles); }
void CmdViewMesh(Platform& /*platform*/) {}
void CmdViewSource(Platform& platform) { SelectBitmap(platform, 0); }
void CmdViewTarget(Platform& platform) { SelectBitmap(platform, 1); }

}  // namespace zmr
