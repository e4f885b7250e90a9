// zmrcal: runs the menu commands of ZMRCalibration from the command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/ConsolePlatform.h"
#include "cli/Steps.h"
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
  std::vector<Step> steps;
  std::string reason;
  const bool parsed =
      argc >= 2 ? ParseSteps(argc, argv, 1, steps, reason) : (reason = "no step given", false);
  if (!parsed) {
    std::fprintf(stderr, "zmrcal: %s\n%s", reason.c_str(), UsageText().c_str());
    return kExitUsage;
  }

  ConsolePlatform platform;
  StartProgram(platform);
  const int status = platform.messages() > 0 ? kExitMessage : RunSteps(steps, platform);
  EndProgram();
  std::fflush(stdout);
  return status;
}
