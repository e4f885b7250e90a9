// A platform for tests: records message boxes and dialogs, answers file dialogs from a queue
// and the modal dialogs with OK, and runs workers on a real thread.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "state/ProgramState.h"
#include "ui/Dialogs.h"
#include "ui/Platform.h"

namespace zmr::test {

class FakePlatform : public Platform {
 public:
  FakePlatform() = default;
  // Commands run on record instead of the process-wide one.
  explicit FakePlatform(ProgramState& record) : record_(&record) {}

  ProgramState& Program() override { return record_ != nullptr ? *record_ : State(); }
  struct Shown {
    std::string text;
    std::string caption;
  };

  void Message(const std::string& text, const std::string& caption) override {
    messages.push_back({text, caption});
  }
  void MessageWithReason(const std::string& text, const std::string& caption,
                         const std::string& reason) override {
    Message(text, caption);
    reasons.push_back(reason);
  }
  void Note(const std::string& text) override { notes.push_back(text); }
  bool AskFileName(FileDialog dialog, std::string& fileName, std::string& titleName) override {
    dialogs.push_back(dialog);
    if (fileAnswers.empty()) return false;  // nothing queued: the user cancels
    fileName = fileAnswers.front();
    fileAnswers.pop_front();
    titleName = fileName.substr(fileName.find_last_of('/') + 1);
    return true;
  }
  bool RunImageFormatDialog(ImageFormatDialogData& data) override {
    formatDialogs.push_back(data);
    return true;
  }
  bool RunOptionsDialog(OptionsDialogData& data) override {
    optionsDialogs.push_back(data);
    for (const auto& [field, text] : optionsEdits) data.fields[field] = text;
    return true;
  }
  void RunWorker(ProgressDialog dialog, const std::function<void()>& work) override {
    workers.push_back(dialog);
    std::thread worker(work);
    worker.join();
  }
  // The dialog opens and OK closes it at once.
  void OpenThresholdDialog() override {
    Program().hDlgModeless = this;
    ThresholdDialogInit(*this);
    ThresholdDialogClose(Program());
  }
  void Redraw() override {}
  void CloseMainWindow() override {}

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> out;
    for (const Shown& m : messages) out.push_back(m.text);
    return out;
  }

  std::vector<Shown> messages;
  std::vector<std::string> reasons;  // the line under each message shown with a reason
  std::vector<std::string> notes;
  std::deque<std::string> fileAnswers;
  std::vector<FileDialog> dialogs;
  std::vector<ImageFormatDialogData> formatDialogs;
  std::vector<OptionsDialogData> optionsDialogs;
  std::vector<std::pair<std::size_t, std::string>> optionsEdits;  // typed before OK
  std::vector<ProgressDialog> workers;

 private:
  ProgramState* record_ = nullptr;
};

}  // namespace zmr::test
