#include "ui/qt/QtPlatform.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTextDocument>
#include <atomic>
#include <clocale>
#include <system_error>
#include <thread>

#include "state/ProgramState.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/DisplayWidget.h"
#include "ui/qt/FileDialogs.h"
#include "ui/qt/HelpWindow.h"
#include "ui/qt/ImageFormatDialog.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/OptionsDialog.h"
#include "ui/qt/ProgressDialog.h"
#include "ui/qt/ReportDialog.h"
#include "ui/qt/ThresholdDialog.h"

namespace zmr {

void UseCNumericLocale() { std::setlocale(LC_NUMERIC, "C"); }

QtPlatform::~QtPlatform() {
  while (waitCursors_ > 0) SetWaitCursor(false);
}

void QtPlatform::SetMainWindow(MainWindow* window) {
  window_ = window;
  std::vector<std::string> pending;
  pending.swap(pendingNotes_);
  for (const std::string& note : pending) Note(note);
}
MainWindow* QtPlatform::mainWindow() const { return window_; }
ThresholdDialog* QtPlatform::thresholdDialog() const { return threshold_; }

void QtPlatform::Message(const std::string& text, const std::string& caption) {
  MessageWithReason(text, caption, {});
}

void QtPlatform::MessageWithReason(const std::string& text, const std::string& caption,
                                   const std::string& reason) {
  ++messagesShown_;
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok, window_);
  box.setTextFormat(Qt::PlainText);
  if (!reason.empty()) {
    // The line is shown as plain text whatever characters the file's name holds.
    const QString line = QString::fromStdString(reason);
    box.setInformativeText(Qt::mightBeRichText(line) ? line.toHtmlEscaped() : line);
  }
  box.exec();
}

void QtPlatform::ShowReport(const std::string& title, const std::string& text) {
  RunReportDialogQt(window_, title, text);
}

void QtPlatform::Note(const std::string& text) {
  // Notes of the start-up come before the window: it shows them once it exists.
  if (window_ == nullptr) {
    pendingNotes_.push_back(text);
    return;
  }
  window_->ShowNote(QString::fromStdString(text));
}

bool QtPlatform::AskFileName(FileDialog dialog, std::string& fileName, std::string& titleName) {
  lastChosen_.clear();
  if (!presetFile_.empty()) {
    fileName.swap(presetFile_);
    presetFile_.clear();
    const std::size_t slash = fileName.find_last_of('/');
    titleName = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  } else if (!AskFileNameQt(window_, dialog, fileName, titleName, dialogSaves_,
                            QString::fromStdString(dialogTitle_))) {
    return false;
  }
  lastChosen_ = fileName;
  return true;
}

bool QtPlatform::RunImageFormatDialog(ImageFormatDialogData& data) {
  return RunImageFormatDialogQt(window_, data);
}

bool QtPlatform::RunOptionsDialog(OptionsDialogData& data) {
  return RunOptionsDialogQt(window_, data);
}

void QtPlatform::RunAboutDialog() { RunAboutDialogQt(window_); }

void QtPlatform::RunWorker(ProgressDialog dialog, const std::function<void()>& work) {
  ProgramState& s = State();
  DisplayWidget* display = window_ != nullptr ? window_->display() : nullptr;
  if (display != nullptr) display->Freeze();
  workerRunning_ = true;

  // Quit by the worker when it ends; it is created first so that the worker's message always
  // has its receiver.
  QEventLoop waitLoop;
  std::atomic<bool> done{false};
  auto body = [&] {
    try {
      work();
    } catch (...) {
      // Nothing may leave the thread; the command goes on with what the work left.
    }
    // The progress dialog closes at the tick that sees this, even if the work did not set it.
    s.fTerminated.store(1, std::memory_order_release);
    done.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(
        &waitLoop, [&waitLoop] { waitLoop.quit(); }, Qt::QueuedConnection);
  };

  std::thread worker;
  try {
    worker = std::thread(body);
  } catch (const std::system_error&) {
    // No thread to be had: do the work here, without a progress dialog.
    SetWaitCursor(true);
    body();
    SetWaitCursor(false);
  }

  if (worker.joinable()) {
    {
      WorkerProgressDialog progress(dialog, window_, pollMilliseconds_);
      progress.exec();
    }
    if (!done.load(std::memory_order_acquire)) {
      // However the dialog went, the worker is asked to stop at its next check. The window
      // repaints meanwhile (from the frozen picture) but takes no input, so no command, scroll
      // or close can touch the arrays the worker still writes.
      s.fTerminated.store(1, std::memory_order_release);
      SetWaitCursor(true);
      waitLoop.exec(QEventLoop::ExcludeUserInputEvents);
      SetWaitCursor(false);
    }
    worker.join();
  }

  workerRunning_ = false;
  if (display != nullptr) display->Thaw();
}

void QtPlatform::OpenThresholdDialog() {
  // One thresholding dialog at a time: a second opening replaces the first.
  if (threshold_ != nullptr) threshold_->close();
  auto* dialog = new ThresholdDialog(*this, window_);
  dialog->show();
  threshold_ = dialog;
  State().hDlgModeless = dialog;
}

void QtPlatform::Redraw() {
  if (window_ == nullptr) return;
  window_->RefreshCheckMarks();
  window_->display()->Refresh();
}

void QtPlatform::ShowHelp() { ShowHelpWindow(window_, State().pzHelpDir); }

void QtPlatform::SetWaitCursor(bool on) {
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++waitCursors_;
  } else if (waitCursors_ > 0) {
    QApplication::restoreOverrideCursor();
    --waitCursors_;
  }
}

void QtPlatform::CloseMainWindow() {
  if (window_ != nullptr) window_->close();
}

}  // namespace zmr
