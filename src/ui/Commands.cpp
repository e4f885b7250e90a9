#include "ui/Commands.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "detection/MeshCentring.h"
#include "detection/PointChecks.h"
#include "detection/PointFiles.h"
#include "detection/Preprocess.h"
#include "export/GridShifts.h"
#include "export/OrbikExport.h"
#include "geometry/CountTransform.h"
#include "geometry/LeastSquare.h"
#include "geometry/Triangulate.h"
#include "imagefiles/Bitmap.h"
#include "state/Array.h"
#include "state/CNumericLocale.h"
#include "state/FileOpen.h"
#include "state/ProgramState.h"
#include "state/VectorState.h"
#include "ui/Dialogs.h"
#include "ui/Display.h"
#include "ui/FileProblems.h"
#include "ui/ImageLoad.h"
#include "ui/Workers.h"

namespace zmr {

void CmdOpenOstrel(Platform& platform) {
  ProgramState& s = platform.Program();
  if (!platform.AskFileName(FileDialog::Ostrel, s.szImageFile, s.szImageTitle)) return;
  LoadTextImage(platform, s.szImageFile, "%x");
}

void CmdOpenAscii(Platform& platform) {
  ProgramState& s = platform.Program();
  if (!platform.AskFileName(FileDialog::Ascii, s.szImageFile, s.szImageTitle)) return;
  LoadTextImage(platform, s.szImageFile, "%i");
}

void CmdOpenBitmap(Platform& platform) {
  ProgramState& s = platform.Program();
  if (!platform.AskFileName(FileDialog::Bitmap, s.szImageFile, s.szImageTitle)) return;
  LoadBitmapImage(platform, s.szImageFile);
}

void CmdSaveBitmap(Platform& platform) {
  ProgramState& s = platform.Program();
  // The save dialog of bitmaps is the Ostrel-file dialog.
  if (!platform.AskFileName(FileDialog::Ostrel, s.szImageFile, s.szImageTitle)) return;
  const int* data = s.Msource.empty() ? nullptr : s.Msource.data();
  if (WriteImage(s.szImageFile.c_str(), s.cxDib, s.cyDib, data) == 0) {
    platform.MessageWithReason(kErrorCreatingImage, kMessageCaption, WriteProblem(s.szImageFile));
  }
}

namespace {
void SaveImageAscii(Platform& platform, const ImageVector<int>& image, const char* absentText) {
  ProgramState& s = platform.Program();
  if (image.empty()) {
    platform.Message(absentText, kMessageCaption);
    return;
  }
  if (!platform.AskFileName(FileDialog::PointsData, s.szImageFile, s.szImageTitle)) return;
  if (PrintArray(image.data(), s.cxDib, s.cyDib, s.szImageFile.c_str()) != 0) {
    platform.MessageWithReason(kErrorCreatingImage, kMessageCaption, WriteProblem(s.szImageFile));
  }
}

void ToggleOverlay(Platform& platform, int bit) {
  platform.Program().cfDrawMode ^= bit;
  platform.Redraw();
}

void SelectBitmap(Platform& platform, int slot) {
  ProgramState& s = platform.Program();
  s.cCurrentBitmap = slot;
  ChangeSelectedBitmap(s);
  platform.Redraw();
}

// After a command that produced a target image: show it.
void ShowTarget(Platform& platform) {
  ProgramState& s = platform.Program();
  s.cCurrentBitmap = 1;
  ChangeSelectedBitmap(s);
  TargetArrayInt2Bitmap(s, s.fBitmap[1]);
  platform.Redraw();
}

// A detection that found nothing to calibrate says so, with the values that decided it.
void NoteDetectionShortfall(ProgramState& s) {
  char values[160];
  {
    CNumericLocale cLocale;
    std::snprintf(values, sizeof values, "threshold %g, minimum patch size %ld", s.Threshold,
                  s.MinPatchSize);
  }
  if (s.iDetectedAreas.load() == 0) {
    AddNote(s, std::string("Auto-detection found no spot (") + values + ")");
  } else if (s.NumberOfPoints < 3) {
    AddNote(s, "Auto-detection assigned " + std::to_string(s.NumberOfPoints) + " of " +
                   std::to_string(s.iDetectedAreas.load()) +
                   " spots to the grid; a calibration needs at least 3 (" + values + ")");
  }
}

// Starts a worker under its progress dialog and returns once it has ended.
void RunLongComputation(Platform& platform, ProgressDialog dialog, void (*worker)(void*)) {
  ProgramState& s = platform.Program();
  s.fTerminated.store(0, std::memory_order_relaxed);
  s.iProgressStatus.store(0, std::memory_order_relaxed);
  platform.RunWorker(dialog, [worker, &s] {
    ClearUpperVectorState();
    worker(&s);
  });
}
}  // namespace

std::string TooManyPointsMessage(const ProgramState& s) {
  return "Error - too many calibration points (at most " + std::to_string(s.MAXPoints - 1) + ")";
}

void CmdPointsOpen(Platform& platform) {
  ProgramState& s = platform.Program();
  if (!platform.AskFileName(FileDialog::PointsData, s.szPointsFile, s.szPointsTitle)) return;
  // Read into a scratch table so that a refused file leaves the current points as they are.
  std::vector<double> records(static_cast<std::size_t>(4 * s.MAXPoints));
  std::FILE* file = OpenFile(s.szPointsFile.c_str(), "r");
  if (file == nullptr) {
    platform.MessageWithReason(kErrorReadingPoints, kMessageCaption, ReadProblem(s.szPointsFile));
    return;
  }
  long count = ReadPointRecords(s, file, records.data());
  // A read error (a folder given as the file) is not an empty points file.
  const bool readFailed = std::ferror(file) != 0;
  std::fclose(file);
  if (readFailed) {
    platform.MessageWithReason(kErrorReadingPoints, kMessageCaption, ReadProblem(s.szPointsFile));
    return;
  }
  const Result checked = CheckPointRecords(records, count, s.szPointsFile, s.notes);
  if (!checked) {
    platform.Message(checked.message(), kMessageCaption);
    return;
  }
  if (!TriangulationCapacityOk(s, count)) {
    platform.Message(TooManyPointsMessage(s), kMessageCaption);
    return;
  }
  std::copy(records.begin(), records.begin() + 4 * count, s.PointsInput.begin());
  s.NumberOfPoints = count;
  RunLongComputation(platform, ProgressDialog::AutoTriangulation, ThreadT);
  platform.Redraw();
}

void CmdOrbikSaveAscii(Platform& platform) {
  ProgramState& s = platform.Program();
  if (s.NumberOfPoints <= 2) {
    platform.Message(kErrorTooFewPoints, kMessageCaption);
    return;
  }
  // A partial mesh leaves holes whose nodes would be exported with no shift at all.
  if (s.meshIncomplete) {
    platform.Message(kErrorMeshIncomplete, kMessageCaption);
    return;
  }
  if (!platform.AskFileName(FileDialog::PointsData, s.szPointsFile, s.szPointsTitle)) return;
  const std::string problem = ReducedGridShiftsProblem(s, s.cxDib, s.cyDib, s.EdgeGrid);
  if (!problem.empty()) {
    platform.Message(problem, kMessageCaption);
    return;
  }
  s.ORBIKPoints = CalculateReducedGridShifts(s, s.cxDib, s.cyDib, static_cast<int>(s.EdgeGrid), 0);
  if (!WritePointsChecked(s.szPointsFile.c_str(), s.PointsOutput.data(), s.ORBIKPoints)) {
    platform.MessageWithReason(kErrorCreatingTable, kMessageCaption, WriteProblem(s.szPointsFile));
  }
}

void CmdOrbikSaveZmr(Platform& platform) {
  ProgramState& s = platform.Program();
  if (s.NumberOfPoints <= 2) {
    platform.Message(kErrorTooFewPoints, kMessageCaption);
    return;
  }
  // A partial mesh leaves holes whose nodes would be exported with no shift at all.
  if (s.meshIncomplete) {
    platform.Message(kErrorMeshIncomplete, kMessageCaption);
    return;
  }
  if (!platform.AskFileName(FileDialog::OrbikData, s.szOrbikFile, s.szPointsTitle)) return;
  const int cErrorN = ORBIKExportNew(s, s.szOrbikFile.c_str(), s.cxDib, s.cyDib);
  if (cErrorN != kZmrWritten) {
    platform.MessageWithReason(kErrorZmrExport, kMessageCaption, WriteProblem(s.szOrbikFile));
  } else if (const int wrapped = WrappedZmrShifts(s, s.cxDib, s.cyDib); wrapped > 0) {
    AddNote(s, s.szPointsTitle + ": " + std::to_string(wrapped) +
                   " node shifts lie beyond +-128 px, which the table cannot hold: they wrap");
  }
}

void CmdTransformation(Platform& platform) {
  ProgramState& s = platform.Program();
  if (s.NumberOfPoints <= 2 || s.NumberOfTriangles <= 0) {
    platform.Message(kErrorNoCalibrationPoints, kMessageCaption);
  } else if (s.Msource.empty()) {
    // Points opened from a file before any image: there is nothing to transform.
    platform.Message(kErrorNoSourceImage, kMessageCaption);
  } else {
    RunLongComputation(platform, ProgressDialog::Transformation, ThreadWarp);
  }
  ShowTarget(platform);
}

void CmdAdjustment(Platform& platform) {
  if (platform.Program().NumberOfPoints <= 2) {
    platform.Message(kErrorMinimum3, kMessageCaption);
    return;
  }
  RunLongComputation(platform, ProgressDialog::Adjustment, ThreadCenter);
  platform.Redraw();
}

void CmdExtrapolation(Platform& platform) {
  ProgramState& s = platform.Program();
  if (s.NumberOfPoints < 10) {
    platform.Message(kErrorMinimum10, kMessageCaption);
    return;
  }
  const std::string problem = BoundaryExtrapolationProblem(s, s.cxDib, s.cyDib);
  if (!problem.empty()) {
    platform.Message(problem, kMessageCaption);
    return;
  }
  RunLongComputation(platform, ProgressDialog::Extrapolation, ThreadExtrapol);
  platform.Redraw();
}

void CmdHelpTopics(Platform& platform) { platform.ShowHelp(); }
void CmdAbout(Platform& platform) { platform.RunAboutDialog(); }
void CmdViewSlot2(Platform& platform) { SelectBitmap(platform, 2); }

void CmdCenterMesh(Platform& platform) {
  ProgramState& s = platform.Program();
  // Centring works on the spot list and the mesh that a detection left.
  if (s.TraceFlag != 1 && s.TraceFlag != kTraceFlagCentring) {
    platform.Message(kErrorNoDetection, kMessageCaption);
    return;
  }
  s.TraceFlag = kTraceFlagCentring;
  CenterAutoTraceResults(s);
  platform.Redraw();
}

void CmdBoxFilter(Platform& platform) {
  ProgramState& s = platform.Program();
  if (s.Msource.empty()) {
    platform.Message(kErrorNoSourceImage, kMessageCaption);
    return;
  }
  if (s.FilterSize < 0) {
    platform.Message(kErrorNegativeFilter, kMessageCaption);
    return;
  }
  s.TargetCounts = {};  // the target receives the filtered grey levels
  ArrayFilterInt(s.cxDib, s.cyDib, s.Msource.data(), s.Mtarget.data(), s.FilterSize);
  ShowTarget(platform);
}

void CmdThreshold(Platform& platform) {
  ProgramState& s = platform.Program();
  s.cCurrentBitmap = 1;
  ChangeSelectedBitmap(s);
  platform.OpenThresholdDialog();
}

void CmdAutoDetection(Platform& platform) {
  ProgramState& s = platform.Program();
  if (s.Msource.empty()) {
    platform.Message(kErrorNoSourceImage, kMessageCaption);
    return;
  }
  s.TargetCounts = {};  // the target receives the spot labels
  RunLongComputation(platform, ProgressDialog::AutoDetection, Thread);
  // The robust detection sums up its own result in a note.
  if (s.DetectionMode == 0) NoteDetectionShortfall(s);
  s.cCurrentBitmap = 1;
  ChangeSelectedBitmap(s);
  FilterAutodetectTargetArray(s, 1);
  TargetArrayInt2Bitmap(s, s.fBitmap[1]);
  platform.Redraw();
}

void CmdSaveAscii(Platform& platform) {
  SaveImageAscii(platform, platform.Program().Msource, kErrorNoSourceData);
}

void CmdSaveTargetAscii(Platform& platform) {
  SaveImageAscii(platform, platform.Program().Mtarget, kErrorNoTargetData);
}

void CmdPointsSave(Platform& platform) {
  ProgramState& s = platform.Program();
  if (!platform.AskFileName(FileDialog::PointsData, s.szPointsFile, s.szPointsTitle)) return;
  const long count = std::clamp<long>(s.NumberOfPoints, 0, s.MAXPoints);
  if (!WritePointsChecked(s.szPointsFile.c_str(), s.PointsInput.data(), count)) {
    platform.MessageWithReason(kErrorCreatingPoints, kMessageCaption, WriteProblem(s.szPointsFile));
  }
}

void CmdExit(Platform& platform) { platform.CloseMainWindow(); }

void CmdTargetToSource(Platform& platform) {
  ProgramState& s = platform.Program();
  s.cCurrentBitmap = 0;
  ChangeSelectedBitmap(s);
  if (s.fBitmap[1] == 1 && !s.Mtarget.empty() && s.Msource.size() == s.Mtarget.size()) {
    std::copy(s.Mtarget.begin(), s.Mtarget.end(), s.Msource.begin());
    // The source takes the target's counts with its grey levels, if it has any.
    if (TargetHoldsCounts(s)) {
      s.SourceCounts = s.TargetCounts;
    } else {
      s.SourceCounts = {};
    }
  }
  SourceArrayInt2Bitmap(s, s.fBitmap[0]);
  platform.Redraw();
}

void CmdOptions(Platform& platform) {
  ProgramState& s = platform.Program();
  OptionsDialogData dialog = OptionsDialogInit(s);
  if (!platform.RunOptionsDialog(dialog)) return;
  if (const Result sensible = OptionsDialogCheck(dialog); !sensible) {
    platform.Message(sensible.message(), kMessageCaption);
    return;
  }
  OptionsDialogApply(s, dialog);
}

void CmdViewVectors(Platform& platform) { ToggleOverlay(platform, kDrawVectors); }
void CmdViewNumbers(Platform& platform) { ToggleOverlay(platform, kDrawNumbers); }
void CmdViewTriangles(Platform& platform) { ToggleOverlay(platform, kDrawTriangles); }
void CmdViewMesh(Platform& /*platform*/) {}
void CmdViewSource(Platform& platform) { SelectBitmap(platform, 0); }
void CmdViewTarget(Platform& platform) { SelectBitmap(platform, 1); }

}  // namespace zmr
