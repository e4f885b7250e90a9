// zmrcal: runs the menu commands of ZMRCalibration from the command line.
#include <QGuiApplication>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/ConsolePlatform.h"
#include "cli/Steps.h"
#include "state/ProgramState.h"
#include "ui/Commands.h"
#include "ui/Startup.h"

#ifndef ZMR_BUILD_VERSION
#define ZMR_BUILD_VERSION "unknown"
#endif

int main(int argc, char** argv) {
  using namespace zmr;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(UsageText().c_str(), stdout);
    return kExitOk;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s\nzmrcal %s\n", kProductLine, ZMR_BUILD_VERSION);
    return kExitOk;
  }
  // --timings: each step's wall time, and the total, on standard error.
  const bool timings = argc >= 2 && std::strcmp(argv[1], "--timings") == 0;
  const int first = timings ? 2 : 1;
  std::vector<Step> steps;
  std::string reason;
  const bool parsed = argc > first ? ParseSteps(argc, argv, first, steps, reason)
                                   : (reason = "no step given", false);
  if (!parsed) {
    std::fprintf(stderr, "zmrcal: %s\n%s", reason.c_str(), UsageText().c_str());
    return kExitUsage;
  }

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
  const int status = platform.messages() > 0 ? kExitMessage : RunSteps(steps, platform, timings);
  EndProgram(platform.Program());
  std::fflush(stdout);
  return status;
}
