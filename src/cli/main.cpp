// zmrcal: runs the menu commands of ZMRCalibration from the command line.
#include <unistd.h>

#include <QGuiApplication>
#include <clocale>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/ConsolePlatform.h"
#include "cli/RunSummary.h"
#include "cli/Steps.h"
#include "cli/WrittenFiles.h"
#include "state/ProgramState.h"
#include "ui/Commands.h"
#include "ui/Startup.h"

#ifndef ZMR_BUILD_VERSION
#define ZMR_BUILD_VERSION "unknown"
#endif

int main(int argc, char** argv) {
  using namespace zmr;
  CommandLine line;
  std::string reason;
  if (!ParseCommandLine(argc, argv, line, reason)) {
    std::fprintf(stderr, "zmrcal: %s\ntry 'zmrcal --help'\n", reason.c_str());
    return kExitUsage;
  }
  if (line.action == CommandLine::Action::Help) {
    std::fputs(UsageText().c_str(), stdout);
    return kExitOk;
  }
  if (line.action == CommandLine::Action::Version) {
    std::printf("%s, zmrcal %s\n", kProductLine, ZMR_BUILD_VERSION);
    return kExitOk;
  }
  const std::vector<Step>& steps = line.steps;
  // The summary is for a person watching: scripts reading standard output never see it.
  const bool summary = !line.quiet && ::isatty(STDOUT_FILENO) == 1;
  std::optional<WrittenFiles> written;
  if (summary) written.emplace(FoldersOfSteps(steps));

  // The drawing code needs a QGuiApplication for its fonts; zmrcal never opens a window.
  std::unique_ptr<QGuiApplication> gui;
  if (NeedsRendering(steps)) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int guiArgc = 1;
    static char guiName[] = "zmrcal";
    static char* guiArgv[] = {guiName, nullptr};
    // Qt's own notes (such as a missing runtime folder) are not zmrcal's output.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
      if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "zmrcal: %s\n", text.toLocal8Bit().constData());
      }
    });
    gui = std::make_unique<QGuiApplication>(guiArgc, guiArgv);
    // Qt took the locale from the environment; the files must not depend on it.
    std::setlocale(LC_ALL, "C");
  }

  ConsolePlatform platform;
  // Only a render step shows the display bitmaps; without one they are not kept.
  platform.Program().keepDisplayBitmaps = NeedsRendering(steps);
  StartProgram(platform);
  const int status =
      platform.messages() > 0 ? kExitMessage : RunSteps(steps, platform, line.timings);
  if (summary && status == kExitOk) {
    std::fflush(stdout);
    std::fputs(RunSummary(platform.Program(), written->Since()).c_str(), stdout);
  }
  EndProgram(platform.Program());
  std::fflush(stdout);
  return status;
}
