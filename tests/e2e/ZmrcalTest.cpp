// zmrcal end to end: the program run in a temporary folder, its exit status, what it prints
// and the files it leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "state/CNumericLocale.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::FileExists;
using test::ReadBytes;
using test::ReadFile;
using test::RunProgram;
using test::RunResult;
using test::WriteFile;

RunResult Zmrcal(const std::string& line) { return RunProgram(ZMRCAL_PATH, line); }

// Runs zmrcal with standard output on a pseudo-terminal and standard error discarded: the exit
// status and what it printed, without the carriage returns the terminal adds.
RunResult ZmrcalOnTerminal(const std::string& line) {
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child < 0) return {};
  if (child == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO), ::dup2(null, STDERR_FILENO);
    ::execl("/bin/sh", "sh", "-c", ("exec '" ZMRCAL_PATH "' " + line).c_str(), nullptr);
    ::_exit(127);
  }
  RunResult r;
  char buffer[4096];
  for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) != 0;) {
    if (n > 0) r.out.append(buffer, static_cast<std::size_t>(n));
    if (n < 0 && errno != EINTR) break;  // EIO: the terminal's last writer has gone
  }
  ::close(terminal);
  int raw = 0;
  ::waitpid(child, &raw, 0);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::erase(r.out, '\r');
  return r;
}

// Replaces every wall time of "timing: NAME S.SSS s" lines by "T", checking its form.
std::string MaskTimes(const std::string& err) {
  static const std::regex kTime("^(timing: [a-z-]+) [0-9]+\\.[0-9]{3} s$", std::regex::multiline);
  return std::regex_replace(err, kTime, "$1 T");
}

class ZmrcalTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
};

TEST_F(ZmrcalTest, VersionAndHelp) {
  RunResult r = Zmrcal("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("ZMR Image Calibration (Version 0.3-061204), zmrcal ", 0), 0u) << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  const RunResult help = Zmrcal("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* step : {"open-ostrel", "open-ascii", "open-bitmap", "save-bitmap", "save-ascii",
                           "save-target-ascii", "save-points", "set", "target-to-source", "view",
                           "overlay", "render", "threshold", "detect"}) {
    EXPECT_NE(help.out.find(std::string("\n  ") + step + " "), std::string::npos) << step;
  }
  // -h is --help; either, among the options in front, wins over whatever follows.
  for (const char* line : {"-h", "--quiet -h no-such-step", "--timings --help view sideways"}) {
    r = Zmrcal(line);
    EXPECT_EQ(r.status, 0) << line;
    EXPECT_EQ(r.out, help.out) << line;
  }
  EXPECT_FALSE(FileExists("SCAN.LOG"));
}

// Usage errors run nothing: the one line that is wrong and the hint, not the whole help. The
// options stand in front of the steps; alone they leave no step.
TEST_F(ZmrcalTest, UsageErrorsRunNothingAndExitTwo) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "no step given"},
      {"no-such-step", "unknown step 'no-such-step'"},
      {"open-ostrel", "missing FILE after 'open-ostrel'"},
      {"view sideways", "view takes source or target, not 'sideways'"},
      {"overlay vectors", "missing on|off after 'vectors'"},
      {"overlay numbers maybe", "overlay numbers takes on or off, not 'maybe'"},
      {"set FilterSize", "missing VALUE after 'FilterSize'"},
      {"set FilterSize five", "set FilterSize: 'five' does not convert"},
      {"open-ostrel a.txt --offset 1;2", "--offset takes X,Y (integers), not '1;2'"},
      {"view source save-bitmap", "missing FILE after 'save-bitmap'"},
      {"render a.gif", "render writes a .png or a .bmp file, not 'a.gif'"},
      {"--timings --quiet", "no step given"},
      {"view source --timings", "unknown step '--timings'"},
      {"--verbose view source", "unknown option '--verbose'"},
  };
  for (const auto& [line, reason] : cases) {
    SCOPED_TRACE(line);
    const RunResult r = Zmrcal(line);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string("zmrcal: ") + reason + "\ntry 'zmrcal --help'\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(FileExists("SCAN.LOG"));
  }
}

// A message box stops the run with status 1: later steps are skipped, a timed run still
// reports the step and the total. (Each command's own messages are the commands' tests'.)
TEST_F(ZmrcalTest, MessageBoxStopsWithStatusOne) {
  WriteFile("bad.txt", "1 2 zz 4\n");
  const std::string noData = "MenuDemo: Error - there are no source image data\n";
  const std::pair<const char*, std::string> cases[] = {
      {"save-ascii out.txt set FilterSize 9", noData},
      {"open-ostrel bad.txt save-bitmap out.txt",
       "MenuDemo: Error in image file\n"
       "zmrcal: bad.txt: holds something that is not a number after 2 values\n"},
      {"--timings save-ascii out.txt view source",
       noData + "timing: save-ascii T\ntiming: total T\n"},
      {"render no-such-folder/a.png", "MenuDemo: Error in creating image file\n"},
  };
  for (const auto& [line, message] : cases) {
    const RunResult r = Zmrcal(line);
    EXPECT_EQ(r.status, 1) << line;
    EXPECT_EQ(MaskTimes(r.err), message);
    EXPECT_FALSE(FileExists("out.txt"));
  }
}

// Six values in a 3 x 2 image set by one set step: loaded, saved, rendered and binarised;
// timed, each step and the run report their time and change nothing.
TEST_F(ZmrcalTest, SmallImageThroughTheStepsWithAndWithoutTimings) {
  WriteFile("img.txt", "10 20 30 40 50 60\n");
  const std::string steps =
      "set ImageWidth 3 ImageHeight 2 open-ostrel img.txt save-ascii img.dat render a.png "
      "render a.BMP threshold 127 save-target-ascii t.dat threshold save-target-ascii u.dat";
  const RunResult plain = Zmrcal(steps);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");
  EXPECT_EQ(plain.out.rfind("Writing to file img.dat ...done\n", 0), 0u) << plain.out;
  EXPECT_EQ(ReadFile("img.dat"), "42 85 127 \n170 212 255 \n");
  EXPECT_EQ(ReadFile("t.dat"), "0 0 0 \n255 255 255 \n");
  EXPECT_EQ(ReadFile("u.dat"), ReadFile("t.dat"));           // the threshold stays 127
  const std::vector<std::uint8_t> bmp = ReadBytes("a.BMP");  // the ending in any case
  ASSERT_EQ(bmp.size(), 54u + 12u * 2u);  // 3 x 2 pixels, 24 bits, rows padded to 12 bytes
  EXPECT_EQ(bmp[54], 170);                // the bottom row first: grey 170 at its left
  EXPECT_EQ(ReadFile("a.png").substr(0, 4), "\x89PNG");

  const std::string files = ReadFile("img.dat") + ReadFile("t.dat") + ReadFile("a.png");
  const RunResult r = Zmrcal("--timings " + steps);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(MaskTimes(r.err),
            "timing: set T\ntiming: open-ostrel T\ntiming: save-ascii T\ntiming: render T\n"
            "timing: render T\ntiming: threshold T\ntiming: save-target-ascii T\n"
            "timing: threshold T\ntiming: save-target-ascii T\ntiming: total T\n");
  EXPECT_EQ(r.out, plain.out);
  EXPECT_EQ(ReadFile("img.dat") + ReadFile("t.dat") + ReadFile("a.png"), files);
}

TEST_F(ZmrcalTest, SeparateSetStepsStoreTheOtherFieldsAsTheDialogShowsThem) {
  // The second dialog shows the working size (769) as the width and stores it again, as a
  // user pressing OK on it would; the value count 6 then has no dialog-free format.
  WriteFile("img.txt", "10 20 30 40 50 60\n");
  const RunResult r =
      Zmrcal("set ImageWidth 3 set ImageHeight 2 open-ostrel img.txt save-ascii img.dat");
  EXPECT_EQ(r.status, 0) << r.err;
  // 769 x 2: the proposed 2 x 3 format is centred at column 383; its third row falls outside.
  std::string z;  // "0 " for each column left of the format; one more on its right
  for (int c = 0; c < 383; ++c) z += "0 ";
  EXPECT_EQ(ReadFile("img.dat"), z + "63 127 " + z + "0 \n" + z + "191 255 " + z + "0 \n");
}

// A --format that is no format of the file is found only once the file is read: the step fails
// (exit 1) after the earlier steps ran. (Formats and offsets that fit are the goldens' part.)
TEST_F(ZmrcalTest, AFormatTheFileDoesNotHaveFailsItsStep) {
  WriteFile("img.txt", "1 2 3 4 5 6 7 8 9 a b c\n");  // 12 values
  const RunResult r =
      Zmrcal("set ImageWidth 4 ImageHeight 4 open-ostrel img.txt --format 5x2 save-ascii b.dat");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "zmrcal: note: img.txt: its 12 values were placed as 3 x 4 at offset (0, 0) into the "
            "working size 4 x 4\n"
            "zmrcal: open-ostrel: --format 5x2 is not a format of this file's value count; its "
            "formats: 2x6 3x4 4x3 6x2\n");
  EXPECT_FALSE(FileExists("b.dat"));
}

// The summary follows a successful run only when standard output is a terminal and --quiet is
// not given; it adds to the output and changes nothing before it. It lists every file the run
// created or changed (in the order of their times, so compared as a set).
TEST_F(ZmrcalTest, SummaryOnATerminalOnly) {
  // The test's own printf of numbers in the C locale, whatever the environment's.
  const CNumericLocale cLocale;
  // A 5 x 5 grid measured turned by 0.5 degrees and enlarged by 1 % about (400, 400).
  std::string points;
  const double turn = 0.5 * std::acos(-1.0) / 180.0;
  for (int row = 0; row < 5; ++row) {
    for (int col = 0; col < 5; ++col) {
      const double u = 100.0 * col - 200.0;
      const double v = 100.0 * row - 200.0;
      char line[128];
      std::snprintf(line, sizeof line, "%.3f %.3f %.1f %.1f\n",
                    400.0 + 1.01 * (std::cos(turn) * u - std::sin(turn) * v),
                    400.0 + 1.01 * (std::sin(turn) * u + std::cos(turn) * v), 400.0 + u, 400.0 + v);
      points += line;
    }
  }
  WriteFile("grid.txt", points);
  WriteFile("untouched.txt", "kept\n");
  std::filesystem::create_directory("out");
  const std::string steps = "open-points grid.txt adjust save-points out/saved.txt";

  const RunResult piped = Zmrcal(steps);
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(ZmrcalOnTerminal("--quiet " + steps).out, piped.out);
  const RunResult shown = ZmrcalOnTerminal(steps);
  ASSERT_EQ(shown.status, 0);
  ASSERT_EQ(shown.out.rfind(piped.out, 0), 0u) << shown.out;
  const std::string summary = shown.out.substr(piped.out.size());

  // The similarity the adjustment fitted (as it logs it: -0.495022 deg, 0.990061), in degrees.
  const std::string head =
      "Calibration points: 25, triangles: 32\nAdjustment: rotation -0.495\u00b0, scale 0.9901 "
      "about (400, 400)\nFiles written: ";
  ASSERT_EQ(summary.rfind(head, 0), 0u) << summary;
  std::set<std::string> written;
  for (std::istringstream list(summary.substr(head.size())); list.good();) {
    std::string name;
    std::getline(list >> std::ws, name, ',');
    written.insert(name.substr(0, name.find('\n')));
  }
  EXPECT_EQ(written, (std::set<std::string>{"SCAN.LOG", "Trace.log", "CorrectedPoints.txt",
                                            "out/saved.txt"}))
      << summary;

  // A failed run ends with its message and no summary.
  const RunResult failed = ZmrcalOnTerminal("open-points missing.txt adjust");
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, "");
}

}  // namespace
}  // namespace zmr
