#include "ui/CommandTable.h"

#include <cstring>

#include "state/ProgramState.h"
#include "state/VectorState.h"
#include "ui/Commands.h"
#include "ui/ImageFileCommands.h"
#include "ui/QualityCommands.h"
#include "ui/resource.h"

namespace zmr {

namespace {
using enum StepArgument;

// In menu order; entries without a menu path have no menu item.
constexpr CommandEntry kCommands[] = {
    {IDM_OPEN_OSTREL, "&File/Image Data", "&Open Ostrel File", "open-ostrel", FileName,
     "FILE [--format WxH] [--offset X,Y]  open an Ostrel text image (hex values)", CmdOpenOstrel},
    {IDM_OPEN_BITMAP, "&File/Image Data", "&Open Bitmap", "open-bitmap", FileName,
     "FILE  open a bitmap image", CmdOpenBitmap},
    {IDM_OPEN_ASCII, "&File/Image Data", "&Open ASCII File", "open-ascii", FileName,
     "FILE [--format WxH] [--offset X,Y]  open an ASCII image (decimal values)", CmdOpenAscii},
    {IDM_SAVE_BITMAP, "&File/Image Data", "&Save as Bitmap", "save-bitmap", FileName,
     "FILE  save the source image as a 24-bit bitmap", CmdSaveBitmap},
    {IDM_SAVE_ASCII, "&File/Image Data", "&Save as ASCII", "save-ascii", FileName,
     "FILE  save the source image as an ASCII matrix", CmdSaveAscii},
    {IDM_SAVE_TARGET_ASCII, nullptr, nullptr, "save-target-ascii", FileName,
     "FILE  save the target image as an ASCII matrix", CmdSaveTargetAscii},
    {IDM_POINTS_OPEN, "&File/Calibration Points", "&Open", "open-points", FileName,
     "FILE  open calibration points and triangulate them", CmdPointsOpen},
    {IDM_POINTS_SAVE, "&File/Calibration Points", "&Save", "save-points", FileName,
     "FILE  save the calibration points", CmdPointsSave},
    {IDM_ORBIK_SAVE_ASCII, "&File/ORBIK Data", "&Save as ASCII", "save-orbik-ascii", FileName,
     "FILE  save the reduced grid shift table (the calibration points format)", CmdOrbikSaveAscii},
    {IDM_ORBIK_SAVE_ZMR, "&File/ORBIK Data", "&Save as .zmr", "save-zmr", FileName,
     "FILE  save the ORBIK correction table (4356 bytes)", CmdOrbikSaveZmr},
    {IDM_EXIT, "&File", "&Exit", nullptr, None, nullptr, CmdExit},
    {IDM_TARGET_TO_SOURCE, "&Edit", "&Target->Source", "target-to-source", None,
     "copy the target image into the source image", CmdTargetToSource},
    {IDM_OPTIONS, "&Edit", "&Options", "set", Special,
     "KEYWORD VALUE [KEYWORD VALUE]...  edit Options dialog fields and press OK (KEYWORD as "
     "in the options file; fields not named are stored as the dialog shows them)",
     CmdOptions},
    {IDM_VIEW_VECTORS, "&View", "&Displacement Vectors", "overlay", Special,
     "vectors|numbers|triangles|residuals on|off  switch an overlay", CmdViewVectors},
    {IDM_VIEW_NUMBERS, "&View", "&Point Numbers", nullptr, Special, nullptr, CmdViewNumbers},
    {IDM_VIEW_MESH, "&View", "&Mesh", nullptr, None, nullptr, CmdViewMesh},
    {IDM_VIEW_TRIANGLES, "&View", "&Triangles", nullptr, Special, nullptr, CmdViewTriangles},
    {IDM_VIEW_SOURCE, "&View", "&Source Image", "view", Special,
     "source|target  show the source or the transformed image", CmdViewSource},
    {IDM_VIEW_TARGET, "&View", "&Transformed Image", nullptr, Special, nullptr, CmdViewTarget},
    {IDM_VIEW_SLOT2, nullptr, nullptr, nullptr, None, nullptr, CmdViewSlot2},
    {IDM_BOX_FILTER, "&Run/&Image Preprocessing", "Box filter (noise removal)", "box-filter", None,
     "box-filter the source image into the target image", CmdBoxFilter},
    {IDM_THRESHOLD, "&Run/&Image Preprocessing", "Thresholding", "threshold", Special,
     "[N]  binarise the source image at threshold N (0..255) into the target image", CmdThreshold},
    {IDM_AUTODETECT, "&Run/&Calibration Points", "Auto-detection", "detect", None,
     "find the spots, assign them to the grid and triangulate them", CmdAutoDetection},
    {IDM_ADJUST, "&Run/&Calibration Points", "Adjustment of rotation &scaling", "adjust", None,
     "remove the global rotation, scale and offset from the calibration points", CmdAdjustment},
    {IDM_EXTRAPOLATE, "&Run/&Calibration Points", "Boundary Extrapolation", "extrapolate", None,
     "add calibration points beyond the measured area (cubic fit)", CmdExtrapolation},
    {IDM_TRANSFORM, "&Run", "Transformation", "transform", None,
     "correct the source image through the distortion model into the target image",
     CmdTransformation},
    {kCenterMeshCommand, nullptr, nullptr, "center-mesh", None,
     "centre the ideal grid of the last detection (writes ResultsFit.txt)", CmdCenterMesh},
    {IDM_HELP_TOPICS, "&Help", "Help Topics", nullptr, None, nullptr, CmdHelpTopics},
    {IDM_ABOUT, "&Help", "About", nullptr, None, nullptr, CmdAbout},
    {IDM_OPEN_IMAGE, "&File/Image Data", "Open &Image...", "open-image", FileName,
     "FILE  open a TIFF, PNG, JPEG, PGM/PPM or EDF image (its counts are kept)", CmdOpenImage},
    {IDM_SAVE_IMAGE, "&File/Image Data", "Save Ima&ge...", "save-image", FileName,
     "FILE  save the source image as .tif, .png or .pgm (counts where it holds counts)",
     CmdSaveImage},
    {IDM_SAVE_TARGET_IMAGE, "&File/Image Data", "Save &Transformed Image...", "save-target-image",
     FileName, "FILE  save the target image as .tif, .png or .pgm", CmdSaveTargetImage},
    {IDM_QUALITY_REPORT, "&Run", "Calibration Quality...", "report", FileName,
     "PREFIX  the quality report of the calibration: PREFIX.json and PREFIX.html",
     CmdQualityReport},
    {IDM_VIEW_RESIDUALS, "&View", "&Residuals", nullptr, Special, nullptr, CmdViewResiduals},
};
}  // namespace

std::span<const CommandEntry> CommandTable() { return kCommands; }

const CommandEntry* FindCommand(int id) {
  for (const CommandEntry& e : kCommands) {
    if (e.id == id) return &e;
  }
  return nullptr;
}

const CommandEntry* FindStep(const char* step) {
  for (const CommandEntry& e : kCommands) {
    if (e.step != nullptr && std::strcmp(e.step, step) == 0) return &e;
  }
  return nullptr;
}

int MenuCheckState(const ProgramState& s, int id) {
  switch (id) {
    case IDM_VIEW_VECTORS:
      return (s.cfDrawMode & kDrawVectors) != 0 ? 1 : 0;
    case IDM_VIEW_NUMBERS:
      return (s.cfDrawMode & kDrawNumbers) != 0 ? 1 : 0;
    case IDM_VIEW_TRIANGLES:
      return (s.cfDrawMode & kDrawTriangles) != 0 ? 1 : 0;
    case IDM_VIEW_RESIDUALS:
      return (s.cfDrawMode & kDrawResiduals) != 0 ? 1 : 0;
    case IDM_VIEW_SOURCE:
      return s.cCurrentBitmap == 0 ? 1 : 0;
    case IDM_VIEW_TARGET:
      return s.cCurrentBitmap == 1 ? 1 : 0;
    default:
      return -1;
  }
}

bool RunCommand(int id, Platform& platform) {
  const CommandEntry* e = FindCommand(id);
  if (e == nullptr) return false;
  ClearUpperVectorState();  // the window's drawing may have left them dirty
  e->handler(platform);
  DeliverNotes(platform);
  return true;
}

}  // namespace zmr
