#include "cli/CommandLine.h"

#include <cstring>

namespace zmr {

bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& reason) {
  int first = 1;
  std::string unknown;
  for (; first < argc && argv[first][0] == '-' && argv[first][1] != '\0'; ++first) {
    const char* option = argv[first];
    if (std::strcmp(option, "-h") == 0 || std::strcmp(option, "--help") == 0) {
      line.action = CommandLine::Action::Help;
      return true;
    }
    if (std::strcmp(option, "--version") == 0) {
      line.action = CommandLine::Action::Version;
      return true;
    }
    if (std::strcmp(option, "--timings") == 0) {
      line.timings = true;
    } else if (std::strcmp(option, "--quiet") == 0) {
      line.quiet = true;
    } else if (unknown.empty()) {
      unknown = option;  // reported only when no -h or --version follows
    }
  }
  if (!unknown.empty()) {
    reason = "unknown option '" + unknown + "'";
    return false;
  }
  if (first >= argc) {
    reason = "no step given";
    return false;
  }
  return ParseSteps(argc, argv, first, line.steps, reason);
}

}  // namespace zmr
