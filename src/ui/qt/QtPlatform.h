// The platform of the desktop program: Qt message boxes and dialogs, the modeless thresholding
// dialog, workers on a std::thread under the modal progress dialog, and redraws of the main
// window. Main (GUI) thread only.
#pragma once

#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "ui/Platform.h"

namespace zmr {

class MainWindow;
class ThresholdDialog;

// Files are written with printf conversions and read with scanf ones, which follow
// LC_NUMERIC; QApplication sets the process locale from the environment, so the program calls
// this right after creating it to keep a full stop as the decimal point whatever the user's
// locale. The other categories (texts, character classes) stay the user's.
void UseCNumericLocale();

class QtPlatform : public Platform {
 public:
  QtPlatform() = default;
  ~QtPlatform() override;
  QtPlatform(const QtPlatform&) = delete;
  QtPlatform& operator=(const QtPlatform&) = delete;

  // The window that owns the dialogs and shows the picture; set by MainWindow itself. Before
  // that (at start-up) messages have no owner.
  void SetMainWindow(MainWindow* window);
  MainWindow* mainWindow() const;

  // What a person answers; tests override these.
  void Message(const std::string& text, const std::string& caption) override;
  // Shown in the main window's status bar.
  void Note(const std::string& text) override;
  bool AskFileName(FileDialog dialog, std::string& fileName, std::string& titleName) override;
  bool RunImageFormatDialog(ImageFormatDialogData& data) override;
  bool RunOptionsDialog(OptionsDialogData& data) override;
  void RunAboutDialog() override;
  // The quality summary in a dialog of its own.
  void ShowReport(const std::string& title, const std::string& text) override;

  // Freezes the picture, runs work on a std::thread and the progress dialog modally; once the
  // dialog has closed (the worker set fTerminated, or Cancel did) waits for the worker to end
  // while the window keeps repainting but takes no input, joins it and thaws the picture.
  void RunWorker(ProgressDialog dialog, const std::function<void()>& work) override;

  // Opens the modeless thresholding dialog (closing one that is open) and records it in
  // hDlgModeless.
  void OpenThresholdDialog() override;
  // Brings the View check marks in line and repaints the client area.
  void Redraw() override;
  void ShowHelp() override;
  // Nests: every "on" needs its "off".
  void SetWaitCursor(bool on) override;
  void CloseMainWindow() override;

  // How often the progress dialog polls the counters (1000 ms unless set).
  void SetProgressPollMilliseconds(int milliseconds) { pollMilliseconds_ = milliseconds; }
  // True from the start of a worker until it has been joined.
  bool WorkerRunning() const { return workerRunning_; }
  // The open thresholding dialog, or nullptr.
  ThresholdDialog* thresholdDialog() const;

 private:
  QPointer<MainWindow> window_;
  QPointer<ThresholdDialog> threshold_;
  int pollMilliseconds_ = 1000;
  bool workerRunning_ = false;
  int waitCursors_ = 0;
  std::vector<std::string> pendingNotes_;
};

}  // namespace zmr
