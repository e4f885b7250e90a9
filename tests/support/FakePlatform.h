// A platform for tests: records message boxes and redraws, answers file dialogs from a queue
// and the modal dialogs through optional callbacks, and runs workers on a real thread.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "state/ProgramState.h"
#include "ui/Dialogs.h"
#include "ui/Platform.h"

namespace zmr::test {

class FakePlatform : public Platform {
 public:
  struct Shown {
    std::string text;
    std::string caption;
  };

  void Message(const std::string& text, const std::string& caption) override {
    messages.push_back({text, caption});
  }
  bool AskFileName(FileDialog dialog, std::string& fileName, std::string& titleName) override {
    dialogs.push_back(dialog);
    offeredNames.push_back(fileName);
    if (fileAnswers.empty()) return false;  // nothing queued: the user cancels
    fileName = fileAnswers.front();
    fileAnswers.pop_front();
    titleName = fileName.substr(fileName.find_last_of('/') + 1);
    return true;
  }
  bool RunImageFormatDialog(ImageFormatDialogData& data) override {
    formatDialogs.push_back(data);
    return onFormatDialog ? onFormatDialog(data) : true;
  }
  bool RunOptionsDialog(OptionsDialogData& data) override {
    optionsDialogs.push_back(data);
    return onOptionsDialog ? onOptionsDialog(data) : true;
  }
  void RunWorker(ProgressDialog dialog, const std::function<void()>& work) override {
    workers.push_back(dialog);
    if (cancelAtStart) State().fTerminated = 1;  // Cancel pressed before the worker got going
    std::thread worker(work);
    worker.join();
  }
  void OpenThresholdDialog() override {
    ++thresholdDialogs;
    State().hDlgModeless = this;
    ThresholdDialogInit(*this);
    for (const auto& [request, position] : thresholdScrolls) {
      ThresholdDialogScroll(*this, request, position);
    }
    ThresholdDialogClose();
  }
  void Redraw() override { ++redraws; }
  void CloseMainWindow() override { closed = true; }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> out;
    for (const Shown& m : messages) out.push_back(m.text);
    return out;
  }

  std::vector<Shown> messages;
  std::deque<std::string> fileAnswers;
  std::vector<FileDialog> dialogs;
  std::vector<std::string> offeredNames;
  std::vector<ImageFormatDialogData> formatDialogs;
  std::vector<OptionsDialogData> optionsDialogs;
  std::function<bool(ImageFormatDialogData&)> onFormatDialog;
  std::function<bool(OptionsDialogData&)> onOptionsDialog;
  std::vector<ProgressDialog> workers;
  std::vector<std::pair<ScrollRequest, int>> thresholdScrolls;  // applied, then OK
  int thresholdDialogs = 0;
  bool cancelAtStart = false;
  int redraws = 0;
  bool closed = false;
};

}  // namespace zmr::test
