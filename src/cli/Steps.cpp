#include "cli/Steps.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "state/OptionTable.h"
#include "state/ProgramState.h"
#include "state/VectorState.h"
#include "ui/Commands.h"
#include "ui/Dialogs.h"
#include "ui/qt/DisplayPainter.h"
#include "ui/resource.h"

namespace zmr {

namespace {
bool ParseFormat(const std::string& text, FormatChoice& out) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) return false;
  int w = 0;
  int h = 0;
  if (!ConvertSignedField(text.substr(0, x), w) || !ConvertSignedField(text.substr(x + 1), h))
    return false;
  if (w <= 0 || h <= 0) return false;
  out = {w, h};
  return true;
}

bool ParseOffset(const std::string& text, OffsetChoice& out) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  int x = 0;
  int y = 0;
  if (!ConvertSignedField(text.substr(0, comma), x) ||
      !ConvertSignedField(text.substr(comma + 1), y))
    return false;
  out = {x, y};
  return true;
}

const CommandEntry* Command(int id) { return FindCommand(id); }
}  // namespace

bool NeedsRendering(const std::vector<Step>& steps) {
  return std::any_of(steps.begin(), steps.end(), [](const Step& s) { return s.render; });
}

std::string UsageText() {
  std::string text =
      "usage: zmrcal [--timings] [--quiet] STEP [ARG...] [STEP [ARG...]]...\n"
      "       zmrcal -h | --help | --version\n"
      "Runs the menu commands of ZMRCalibration in order, in the current folder.\n"
      "--timings prints each step's wall time and the total to standard error.\n"
      "--quiet leaves out the summary (points, triangles, rotation and scale, files written)\n"
      "        printed at the end of a successful run when standard output is a terminal.\n"
      "Steps:\n";
  for (const CommandEntry& e : CommandTable()) {
    if (e.step == nullptr || e.help == nullptr) continue;
    char line[256];
    std::snprintf(line, sizeof line, "  %-17s %s\n", e.step, e.help);
    text += line;
  }
  text +=
      "  render FILE       write what the main window shows (image and overlays) as .png or "
      ".bmp\n";
  text += "Keywords of set: " + OptionKeywordList() + "\n";
  return text;
}

bool ParseSteps(int argc, const char* const* argv, int first, std::vector<Step>& steps,
                std::string& reason) {
  int i = first;
  auto next = [&](const char* what, std::string& out) {
    if (i >= argc) {
      reason = std::string("missing ") + what + " after '" + argv[i - 1] + "'";
      return false;
    }
    out = argv[i++];
    return true;
  };
  while (i < argc) {
    Step step;
    step.name = argv[i++];
    if (step.name == "render") {
      if (!next("FILE", step.file)) return false;
      if (!IsRenderFileName(step.file)) {
        reason = "render writes a .png or a .bmp file, not '" + step.file + "'";
        return false;
      }
      step.render = true;
      steps.push_back(step);
      continue;
    }
    const CommandEntry* entry = FindStep(step.name.c_str());
    if (entry == nullptr) {
      reason = "unknown step '" + step.name + "'";
      return false;
    }
    step.command = entry;
    if (entry->argument == StepArgument::FileName) {
      if (!next("FILE", step.file)) return false;
      const bool takesFormat = entry->id == IDM_OPEN_OSTREL || entry->id == IDM_OPEN_ASCII;
      while (takesFormat && i < argc &&
             (std::strcmp(argv[i], "--format") == 0 || std::strcmp(argv[i], "--offset") == 0)) {
        const std::string flag = argv[i++];
        std::string value;
        if (!next(flag == "--format" ? "WxH" : "X,Y", value)) return false;
        if (flag == "--format") {
          FormatChoice f;
          if (!ParseFormat(value, f)) {
            reason = "--format takes WIDTHxHEIGHT, not '" + value + "'";
            return false;
          }
          step.format = f;
        } else {
          OffsetChoice o;
          if (!ParseOffset(value, o)) {
            reason = "--offset takes X,Y (integers), not '" + value + "'";
            return false;
          }
          step.offset = o;
        }
      }
    } else if (step.name == "set") {
      // One opening of the Options dialog; further KEYWORD VALUE pairs edit more fields of it.
      do {
        std::string keyword;
        std::string value;
        if (!next("KEYWORD", keyword) || !next("VALUE", value)) return false;
        const int field = FindOption(keyword);
        if (field < 0) {
          reason = "set: unknown option '" + keyword + "' (" + OptionKeywordList() + ")";
          return false;
        }
        const Result converts = CheckOptionText(Options()[static_cast<std::size_t>(field)], value);
        if (!converts) {
          reason = converts.message();
          return false;
        }
        // The options after the dialog's eight have no field: they are set directly.
        if (field < kDialogOptionCount) {
          step.optionsEdits.emplace_back(field, value);
        } else {
          step.furtherEdits.emplace_back(field, value);
        }
      } while (i < argc && FindOption(argv[i]) >= 0);
    } else if (step.name == "threshold") {
      // The optional N: a whole number 0..255; anything else is the next step.
      int n = 0;
      if (i < argc && ConvertSignedField(argv[i], n)) {
        if (n < 0 || n > 255) {
          reason = std::string("threshold takes N from 0 to 255, not '") + argv[i] + "'";
          return false;
        }
        step.threshold = n;
        ++i;
      }
    } else if (step.name == "view") {
      std::string which;
      if (!next("source|target", which)) return false;
      if (which == "source") {
        step.command = Command(IDM_VIEW_SOURCE);
      } else if (which == "target") {
        step.command = Command(IDM_VIEW_TARGET);
      } else {
        reason = "view takes source or target, not '" + which + "'";
        return false;
      }
    } else if (step.name == "overlay") {
      std::string which;
      std::string state;
      if (!next("vectors|numbers|triangles|residuals", which) || !next("on|off", state))
        return false;
      if (which == "vectors") {
        step.command = Command(IDM_VIEW_VECTORS);
        step.overlayBit = kDrawVectors;
      } else if (which == "numbers") {
        step.command = Command(IDM_VIEW_NUMBERS);
        step.overlayBit = kDrawNumbers;
      } else if (which == "triangles") {
        step.command = Command(IDM_VIEW_TRIANGLES);
        step.overlayBit = kDrawTriangles;
      } else if (which == "residuals") {
        step.command = Command(IDM_VIEW_RESIDUALS);
        step.overlayBit = kDrawResiduals;
      } else {
        reason = "overlay takes vectors, numbers, triangles or residuals, not '" + which + "'";
        return false;
      }
      if (state != "on" && state != "off") {
        reason = "overlay " + which + " takes on or off, not '" + state + "'";
        return false;
      }
      step.on = state == "on";
    }
    steps.push_back(step);
  }
  return true;
}

int RunSteps(const std::vector<Step>& steps, ConsolePlatform& platform, bool timings) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const auto seconds = [](Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
  };
  const auto finish = [&](int status) {
    if (timings) std::fprintf(stderr, "timing: total %.3f s\n", seconds(start));
    return status;
  };
  for (const Step& step : steps) {
    const Clock::time_point stepStart = Clock::now();
    platform.BeginStep();
    if (!step.file.empty()) platform.AnswerFileName(step.file);
    platform.AnswerFormat(step.format, step.offset);
    for (const auto& [field, value] : step.optionsEdits) platform.AnswerOptionsField(field, value);
    platform.AnswerThreshold(step.threshold);

    ClearUpperVectorState();  // a render before may have left them dirty
    if (step.render) {
      // What the main window shows at a client area of the image's size.
      if (!SaveRender(platform.Program(), step.file))
        platform.Message(kErrorCreatingImage, kMessageCaption);
    } else if (step.overlayBit != 0) {
      // Set rather than toggled: run the toggle only when the state differs.
      const bool isOn = (platform.Program().cfDrawMode & step.overlayBit) != 0;
      if (isOn != step.on) step.command->handler(platform);
    } else if (step.name == "set" && step.optionsEdits.empty()) {
      // Only options the dialog does not show: no dialog is opened.
    } else {
      step.command->handler(platform);
    }
    for (const auto& [option, value] : step.furtherEdits) {
      SetOptionText(platform.Program(), Options()[static_cast<std::size_t>(option)], value);
    }
    DeliverNotes(platform);
    if (timings) std::fprintf(stderr, "timing: %s %.3f s\n", step.name.c_str(), seconds(stepStart));

    if (!platform.stepFailure().empty()) {
      std::fprintf(stderr, "zmrcal: %s: %s\n", step.name.c_str(), platform.stepFailure().c_str());
      return finish(kExitMessage);
    }
    if (platform.formatAnswerUnused()) {
      std::fprintf(stderr,
                   "zmrcal: %s: --format/--offset not used: the file's value count is the "
                   "default image format\n",
                   step.name.c_str());
    }
    if (platform.messages() > 0) return finish(kExitMessage);
    if (platform.interrupted()) return finish(kExitInterrupted);
  }
  return finish(kExitOk);
}

}  // namespace zmr
