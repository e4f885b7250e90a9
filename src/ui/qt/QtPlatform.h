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
  // The text as Message shows it, the reason on a line of its own below (informative text).
  void MessageWithReason(const std::string& text, const std::string& caption,
                         const std::string& reason) override;
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

  // The next file dialog is not shown: it answers with this file (a file dropped on the
  // window, named on the command line or picked from the recent files).
  void PresetFileName(const std::string& fileName) { presetFile_ = fileName; }
  // How the next file dialogs present themselves: saving (a save button, asking before a file
  // is overwritten) or opening, under the title given (empty: the dialog's own).
  void SetFileDialogPurpose(bool save, const std::string& title) {
    dialogSaves_ = save;
    dialogTitle_ = title;
  }
  // The file the last file dialog answered with (empty after a cancel), and how many message
  // boxes were shown so far: the window tells from them whether an Open command read its file.
  const std::string& lastChosenFile() const { return lastChosen_; }
  void ForgetChosenFile() { lastChosen_.clear(); }
  int messagesShown() const { return messagesShown_; }

  // How often the progress dialog polls the counters (250 ms unless set).
  void SetProgressPollMilliseconds(int milliseconds) { pollMilliseconds_ = milliseconds; }
  // True from the start of a worker until it has been joined.
  bool WorkerRunning() const { return workerRunning_; }
  // The open thresholding dialog, or nullptr.
  ThresholdDialog* thresholdDialog() const;

 private:
  QPointer<MainWindow> window_;
  QPointer<ThresholdDialog> threshold_;
  int pollMilliseconds_ = 250;
  bool workerRunning_ = false;
  int waitCursors_ = 0;
  std::vector<std::string> pendingNotes_;
  std::string presetFile_;
  bool dialogSaves_ = false;
  std::string dialogTitle_;
  std::string lastChosen_;
  int messagesShown_ = 0;
};

}  // namespace zmr
