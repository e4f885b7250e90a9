// The platform interface the command logic drives: message boxes, file dialogs, the modal
// dialogs, worker threads with their progress dialog, and redraw requests. The Qt window, the
// zmrcal console and the tests each implement it; the commands know nothing else of them.
// Called on the main thread only.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace zmr {

struct ProgramState;

// Caption of every command's message box.
inline constexpr const char* kMessageCaption = "MenuDemo";

// The five file dialogs, each with its own filter, default extension and remembered name.
enum class FileDialog { Ostrel, Bitmap, Ascii, PointsData, OrbikData, Image, QualityReport };

// The five progress dialogs of the long computations.
enum class ProgressDialog {
  AutoDetection,      // "Running Auto Detection of Calib. Points"
  AutoTriangulation,  // "Auto Triangulation"
  Transformation,     // "Transforming Image"
  Extrapolation,      // "Extrapolation of calibration data"
  Adjustment,         // "Adjusting rotation and scale of calibration points"
  QualityReport,      // "Calibration quality report"
};

// Title line of each progress dialog.
inline const char* ProgressDialogTitle(ProgressDialog dialog) {
  switch (dialog) {
    case ProgressDialog::AutoDetection:
      return "Running Auto Detection of Calib. Points";
    case ProgressDialog::AutoTriangulation:
      return "Auto Triangulation";
    case ProgressDialog::Transformation:
      return "Transforming Image";
    case ProgressDialog::Extrapolation:
      return "Extrapolation of calibration data";
    case ProgressDialog::Adjustment:
      return "Adjusting rotation and scale of calibration points";
    case ProgressDialog::QualityReport:
      return "Calibration quality report";
  }
  return "";
}

// What the image-format dialog shows; on OK the platform returns the list selection and the
// texts of the two offset fields as the user left them.
struct ImageFormatDialogData {
  std::vector<std::string> formats;  // "%i x %i" lines
  int selection = 0;
  std::string xOffset;
  std::string yOffset;
  std::string defaultFormat;  // "%i x %i" of the working size
  std::string defaultPixels;  // "%i pixels"
  std::string loadedPixels;   // "%i pixels" of the selected entry
};

// The eight edit fields of the Options dialog (ids 500..507), as text.
struct OptionsDialogData {
  std::array<std::string, 8> fields;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // The record the commands work on: the process-wide one, unless the platform brings its own
  // (a test running two calibrations at once).
  virtual ProgramState& Program();

  // A message box with an OK button.
  virtual void Message(const std::string& text, const std::string& caption) = 0;

  // The same box with a line below the text naming the file and the reason, where they are
  // known ("sample.txt: no such file"); the text stays as it is. By default the text alone.
  virtual void MessageWithReason(const std::string& text, const std::string& caption,
                                 const std::string& /*reason*/) {
    Message(text, caption);
  }

  // Non-fatal information, shown without stopping anything (standard error in zmrcal, the
  // status bar in the window). Nothing by default.
  virtual void Note(const std::string& /*text*/) {}

  // Asks for a file name. fileName and titleName hold the group's last choice on entry and the
  // new choice (full path; name without folder) on return. False when the user cancelled.
  virtual bool AskFileName(FileDialog dialog, std::string& fileName, std::string& titleName) = 0;

  // Modal dialogs: true when closed with OK (data then holds what the user left in it).
  virtual bool RunImageFormatDialog(ImageFormatDialogData& data) = 0;
  virtual bool RunOptionsDialog(OptionsDialogData& data) = 0;

  // Runs work on a worker thread while the progress dialog is shown, and returns only once the
  // worker has ended, also after Cancel (which sets fTerminated).
  virtual void RunWorker(ProgressDialog dialog, const std::function<void()>& work) = 0;

  // Opens the modeless thresholding dialog; the command has already selected the target
  // display. The dialog runs ThresholdDialogInit at start and ThresholdDialogScroll on every
  // scroll request, and ThresholdDialogClose when it closes.
  virtual void OpenThresholdDialog() = 0;

  // The picture changed: repaint the client area (and bring menu check marks in line).
  virtual void Redraw() = 0;

  // The About box (modal).
  virtual void RunAboutDialog() {}

  // Opens the help file (pzHelpDir) in a help window; does nothing harmful when it is missing.
  virtual void ShowHelp() {}

  // A report for the user to read (the quality summary): a dialog in the window, standard
  // output in zmrcal. Nothing by default.
  virtual void ShowReport(const std::string& /*title*/, const std::string& /*text*/) {}

  // Wait cursor around short but noticeable work.
  virtual void SetWaitCursor(bool /*on*/) {}

  // Closes the main window (File > Exit).
  virtual void CloseMainWindow() {}
};

// Hands the notes the record gathered to platform.Note, oldest first, and clears them.
void DeliverNotes(Platform& platform);

}  // namespace zmr
