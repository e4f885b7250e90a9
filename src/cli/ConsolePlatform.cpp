#include "cli/ConsolePlatform.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "state/ProgramState.h"
#include "ui/Dialogs.h"

namespace zmr {

namespace {
volatile std::sig_atomic_t gInterruptRequested = 0;
void OnInterrupt(int /*signal*/) { gInterruptRequested = 1; }

struct CounterLabels {
  const char* first;  // control 15, or nullptr when the dialog lacks it
  const char* second;
  const char* third;
};

CounterLabels LabelsOf(ProgressDialog dialog) {
  switch (dialog) {
    case ProgressDialog::AutoDetection:
      return {"Detected Areas:", "Assigned Points:", "Triangles:"};
    case ProgressDialog::Transformation:
      return {"Lines Completed:", "Points:", "Triangles:"};
    case ProgressDialog::AutoTriangulation:
    case ProgressDialog::Extrapolation:
    case ProgressDialog::Adjustment:
    case ProgressDialog::QualityReport:
      break;
  }
  return {nullptr, "Points:", "Triangles:"};
}

void PrintProgressLine(const ProgramState& s, ProgressDialog dialog, bool cancelling) {
  const int percent = std::clamp(s.iProgressStatus.load(std::memory_order_relaxed), 0, 100);
  constexpr int kBarWidth = 20;
  char bar[kBarWidth + 1];
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < percent * kBarWidth / 100 ? '#' : '.';
  bar[kBarWidth] = '\0';
  const CounterLabels labels = LabelsOf(dialog);
  std::fprintf(stderr, "\r%s [%s] %3d%%", ProgressDialogTitle(dialog), bar, percent);
  if (labels.first != nullptr) {
    std::fprintf(stderr, "  %s %u", labels.first,
                 static_cast<unsigned>(s.iDetectedAreas.load(std::memory_order_relaxed)));
  }
  std::fprintf(stderr, "  %s %u  %s %u%s", labels.second,
               static_cast<unsigned>(s.iAssignedPoints.load(std::memory_order_relaxed)),
               labels.third, static_cast<unsigned>(s.iTriangles.load(std::memory_order_relaxed)),
               cancelling ? "  cancelling..." : "");
  std::fflush(stderr);
}
}  // namespace

void ConsolePlatform::Message(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  ++messages_;
}

void ConsolePlatform::MessageWithReason(const std::string& text, const std::string& caption,
                                        const std::string& reason) {
  Message(text, caption);
  if (!reason.empty()) std::fprintf(stderr, "zmrcal: %s\n", reason.c_str());
}

bool ConsolePlatform::AskFileName(FileDialog /*dialog*/, std::string& fileName,
                                  std::string& titleName) {
  if (!fileAnswer_) return false;
  fileName = *fileAnswer_;
  titleName = std::filesystem::path(fileName).filename().string();
  return true;
}

bool ConsolePlatform::RunImageFormatDialog(ImageFormatDialogData& data) {
  formatDialogShown_ = true;
  if (formatAnswer_) {
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%i x %i", formatAnswer_->width, formatAnswer_->height);
    int found = -1;
    for (std::size_t i = 0; i < data.formats.size(); ++i) {
      if (data.formats[i] == wanted) found = static_cast<int>(i);
    }
    if (found < 0) {
      stepFailure_ = "--format " + std::to_string(formatAnswer_->width) + "x" +
                     std::to_string(formatAnswer_->height) +
                     " is not a format of this file's value count; its formats:";
      for (const std::string& format : data.formats) {
        // Appended piece by piece: GCC 12 at -O3 warns wrongly (-Wrestrict) about
        // " " + std::string.
        stepFailure_ += ' ';
        stepFailure_ += format.substr(0, format.find(' '));
        stepFailure_ += 'x';
        stepFailure_ += format.substr(format.rfind(' ') + 1);
      }
      return false;
    }
    data.selection = found;
  }
  if (offsetAnswer_) {
    data.xOffset = std::to_string(offsetAnswer_->x);
    data.yOffset = std::to_string(offsetAnswer_->y);
  }
  return true;
}

bool ConsolePlatform::RunOptionsDialog(OptionsDialogData& data) {
  for (const auto& [field, value] : optionsEdits_) {
    if (field >= 0 && field < static_cast<int>(data.fields.size())) {
      data.fields[static_cast<std::size_t>(field)] = value;
    }
  }
  return true;
}

namespace {

// SIGINT blocked on the calling thread for the object's life, the earlier mask restored after.
class InterruptBlocked {
 public:
  InterruptBlocked() {
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt, &previous_);
  }
  ~InterruptBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  InterruptBlocked(const InterruptBlocked&) = delete;
  InterruptBlocked& operator=(const InterruptBlocked&) = delete;

 private:
  sigset_t previous_{};
};

}  // namespace

void ConsolePlatform::RunWorker(ProgressDialog dialog, const std::function<void()>& work) {
  ProgramState& s = Program();
  // The worker's end wakes this thread at once; the timeout only paces the checks for Ctrl-C
  // (a signal handler cannot notify) and the progress line.
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  gInterruptRequested = 0;
  struct sigaction onInterrupt {};
  struct sigaction previous {};
  onInterrupt.sa_handler = OnInterrupt;
  sigemptyset(&onInterrupt.sa_mask);
  sigaction(SIGINT, &onInterrupt, &previous);

  // The worker (and every thread it starts) blocks Ctrl-C, so the signal is taken by a thread
  // that waits, never by one busy computing: a sanitizer's runtime runs handlers only at calls
  // it watches, which a tight loop may never make.
  std::thread worker;
  {
    const InterruptBlocked blocked;  // the new thread inherits the mask
    worker = std::thread([&] {
      work();
      const std::lock_guard<std::mutex> lock(mutex);
      done = true;
      ended.notify_one();
    });
  }
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  bool cancelling = false;
  auto lastLine = std::chrono::steady_clock::now() - std::chrono::seconds(1);
  std::unique_lock<std::mutex> lock(mutex);
  while (!done) {
    if (gInterruptRequested != 0 && !cancelling) {
      // Ctrl-C is the dialog's Cancel: the worker stops at its next check.
      s.fTerminated.store(1, std::memory_order_relaxed);
      cancelling = true;
      interrupted_ = true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (terminal && now - lastLine >= std::chrono::milliseconds(200)) {
      PrintProgressLine(s, dialog, cancelling);
      lastLine = now;
    }
    ended.wait_for(lock, std::chrono::milliseconds(20), [&] { return done; });
  }
  lock.unlock();
  worker.join();
  sigaction(SIGINT, &previous, nullptr);
  if (terminal) {
    PrintProgressLine(s, dialog, cancelling);
    std::fputc('\n', stderr);
  }
}

void ConsolePlatform::Note(const std::string& text) {
  std::fprintf(stderr, "zmrcal: note: %s\n", text.c_str());
}

void ConsolePlatform::ShowReport(const std::string& title, const std::string& text) {
  std::printf("%s\n%s", title.c_str(), text.c_str());
  std::fflush(stdout);
}

void ConsolePlatform::OpenThresholdDialog() {
  // The dialog opens, its scroll bar is moved to the answer (if any), and OK closes it.
  Program().hDlgModeless = this;
  ThresholdDialogInit(*this);
  if (thresholdAnswer_)
    ThresholdDialogScroll(*this, ScrollRequest::ThumbPosition, *thresholdAnswer_);
  ThresholdDialogClose(Program());
}

void ConsolePlatform::BeginStep() {
  thresholdAnswer_.reset();
  fileAnswer_.reset();
  formatAnswer_.reset();
  offsetAnswer_.reset();
  formatDialogShown_ = false;
  optionsEdits_.clear();
}

bool ConsolePlatform::formatAnswerUnused() const {
  return (formatAnswer_ || offsetAnswer_) && !formatDialogShown_;
}

}  // namespace zmr
