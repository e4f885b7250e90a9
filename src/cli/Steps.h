// zmrcal's steps: parsing the command line into steps (all of it before anything runs) and
// running them in order on the program state. Main thread only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/ConsolePlatform.h"
#include "ui/CommandTable.h"

namespace zmr {

struct Step {
  const CommandEntry* command = nullptr;  // the command to run (for overlay/view: its toggle)
  bool render = false;                    // render FILE: the window's picture, no command
  std::string name;
  std::string file;                                       // the file-dialog answer
  std::optional<FormatChoice> format;                     // --format WxH
  std::optional<OffsetChoice> offset;                     // --offset X,Y
  std::vector<std::pair<int, std::string>> optionsEdits;  // set: (dialog field, text entered)
  std::vector<std::pair<int, std::string>> furtherEdits;  // set: options after the dialog's
  int overlayBit = 0;                                     // overlay: the cfDrawMode bit
  bool on = false;                                        // overlay: wanted state
  std::optional<int> threshold;                           // threshold: the scroll bar position
};

// Parses argv[first..argc-1]. False with a one-line reason on a usage error.
bool ParseSteps(int argc, const char* const* argv, int first, std::vector<Step>& steps,
                std::string& reason);

// The usage text: the command line and the steps, one line each.
std::string UsageText();

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitMessage = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// True when a step needs the Qt drawing code (which then needs a QGuiApplication).
bool NeedsRendering(const std::vector<Step>& steps);

// Runs the steps in order; stops at the first step that showed a message (1), hit a usage
// error only visible when running (2) or was interrupted (130). With timings, every step that
// ran is followed on standard error by "timing: STEP 0.123 s" (its wall time in seconds), and
// the run by "timing: total 0.456 s".
int RunSteps(const std::vector<Step>& steps, ConsolePlatform& platform, bool timings = false);

}  // namespace zmr
