// zmrcal's whole command line: the options in front (-h/--help, --version, --timings, --quiet)
// and the steps after them, all read before anything runs. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "cli/Steps.h"

namespace zmr {

struct CommandLine {
  enum class Action { Run, Help, Version };
  Action action = Action::Run;
  bool timings = false;  // --timings: each step's wall time and the total on standard error
  bool quiet = false;    // --quiet: no summary at the end of a run on a terminal
  std::vector<Step> steps;
};

// Parses argv[1..argc-1]. Options come before the first step; -h, --help or --version among
// them asks for that text and nothing else is read. False with a one-line reason on a usage
// error (an unknown option, no step, or a step that does not parse); line is then not to be used.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& reason);

}  // namespace zmr
