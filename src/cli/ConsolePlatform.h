// The platform of zmrcal: message boxes go to standard error, file dialogs and the image-format
// and Options dialogs are answered from the step's arguments, and workers show a progress line
// on a terminal with Ctrl-C as Cancel. Main thread only.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/Platform.h"

namespace zmr {

struct FormatChoice {
  int width = 0;
  int height = 0;
};

struct OffsetChoice {
  int x = 0;
  int y = 0;
};

class ConsolePlatform : public Platform {
 public:
  void Message(const std::string& text, const std::string& caption) override;
  // The message line, then "zmrcal: REASON" when the reason is known.
  void MessageWithReason(const std::string& text, const std::string& caption,
                         const std::string& reason) override;
  // "zmrcal: note: TEXT" on standard error.
  void Note(const std::string& text) override;
  void ShowReport(const std::string& title, const std::string& text) override;
  bool AskFileName(FileDialog dialog, std::string& fileName, std::string& titleName) override;
  bool RunImageFormatDialog(ImageFormatDialogData& data) override;
  bool RunOptionsDialog(OptionsDialogData& data) override;
  void RunWorker(ProgressDialog dialog, const std::function<void()>& work) override;
  void OpenThresholdDialog() override;
  void Redraw() override {}

  // The answers for the next step's dialogs; cleared by BeginStep.
  void BeginStep();
  void AnswerFileName(const std::string& name) { fileAnswer_ = name; }
  void AnswerFormat(std::optional<FormatChoice> format, std::optional<OffsetChoice> offset) {
    formatAnswer_ = format;
    offsetAnswer_ = offset;
  }
  void AnswerOptionsField(int field, const std::string& value) {
    optionsEdits_.emplace_back(field, value);
  }

  void AnswerThreshold(std::optional<int> threshold) { thresholdAnswer_ = threshold; }

  int messages() const { return messages_; }
  bool interrupted() const { return interrupted_; }
  // A --format that is not in the dialog's list: the reason, or empty. Known only once the
  // file was read, so it is a failure of the step (exit status 1), not a usage error.
  const std::string& stepFailure() const { return stepFailure_; }
  // --format or --offset given but the file needed no image-format dialog.
  bool formatAnswerUnused() const;

 private:
  int messages_ = 0;
  bool interrupted_ = false;
  std::string stepFailure_;
  std::optional<std::string> fileAnswer_;
  std::optional<FormatChoice> formatAnswer_;
  std::optional<OffsetChoice> offsetAnswer_;
  bool formatDialogShown_ = false;
  std::vector<std::pair<int, std::string>> optionsEdits_;
  std::optional<int> thresholdAnswer_;
};

}  // namespace zmr
