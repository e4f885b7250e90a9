// zmrcal end to end: the program run in a temporary folder, its exit status, what it prints
// and the files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <regex>
#include <string>
#include <utility>
#include <vector>

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

// Replaces every wall time of "timing: NAME S.SSS s" lines by "T", checking its form.
std::string MaskTimes(const std::string& err) {
  static const std::regex kTime("^(timing: [a-z-]+) [0-9]+\\.[0-9]{3} s$", std::regex::multiline);
  return std::regex_replace(err, kTime, "$1 T");
}

class ZmrcalTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
};

TEST_F(ZmrcalTest, ScanLogEchoesTheOptionsFile) {
  RunResult r = Zmrcal("view source");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(FileExists("SCAN.LOG") && ReadFile("SCAN.LOG").empty() && r.err.empty());
  WriteFile("ProgramOptions.TXT", "FilterSize 7\nMaxSlope 0.25\n");
  r = Zmrcal("view target");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile("SCAN.LOG"), "FilterSize (2)= 7\nMaxSlope (5)= 0.250000\n");
}

TEST_F(ZmrcalTest, VersionAndHelp) {
  RunResult r = Zmrcal("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("ZMR Image Calibration (Version 0.3-061204)\nzmrcal ", 0), 0u) << r.out;
  r = Zmrcal("--help");
  EXPECT_EQ(r.status, 0);
  for (const char* step : {"open-ostrel", "open-ascii", "open-bitmap", "save-bitmap", "save-ascii",
                           "save-target-ascii", "save-points", "set", "target-to-source", "view",
                           "overlay", "render", "threshold", "detect"}) {
    EXPECT_NE(r.out.find(std::string("\n  ") + step + " "), std::string::npos) << step;
  }
  EXPECT_FALSE(FileExists("SCAN.LOG"));
}

// Usage errors run nothing; only a leading --timings is the option, and alone it leaves no step.
TEST_F(ZmrcalTest, UsageErrorsRunNothingAndExitTwo) {
  for (const char* line :
       {"", "no-such-step", "open-ostrel", "view sideways", "overlay vectors", "overlay mesh on",
        "overlay numbers maybe", "set FilterSize", "set NoSuchOption 1", "set FilterSize five",
        "set MaxSlope 0.2x", "open-ostrel a.txt --format 12", "open-ostrel a.txt --offset 1;2",
        "view source save-bitmap", "threshold 256", "render a.gif", "--timings",
        "view source --timings"}) {
    SCOPED_TRACE(line);
    const RunResult r = Zmrcal(line);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("zmrcal: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("\nusage: zmrcal [--timings] STEP"), std::string::npos);
    EXPECT_EQ(r.err.find("timing:"), std::string::npos);
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
      {"open-ostrel bad.txt save-bitmap out.txt", "MenuDemo: Error in image file\n"},
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

// 4999 points on one circle are too degenerate to triangulate in full: the search stops within
// its work limit and says so, and the correction table of the partial mesh is refused.
TEST_F(ZmrcalTest, AnIncompleteMeshIsNotedAndNotExported) {
  std::string points;
  for (int k = 0; k < 4999; ++k) {
    char line[80];
    const double a = 2 * M_PI * k / 4999, x = 384 + 300 * std::cos(a), y = 384 + 300 * std::sin(a);
    std::snprintf(line, sizeof line, "%.3f %.3f %.3f %.3f\n", x, y, x + 1, y);
    points += line;
  }
  WriteFile("circle.txt", points);
  const RunResult r = Zmrcal("open-points circle.txt save-zmr d.zmr");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(std::regex_match(
      r.err,
      std::regex("zmrcal: note: The triangulation stopped after [0-9]+ triangles: the points "
                 "are too degenerate to search in full \\(.*\\); the mesh is incomplete\n"
                 "MenuDemo: Error - the triangulation is incomplete; no table is exported\n")))
      << r.err;
  EXPECT_FALSE(FileExists("d.zmr"));
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

TEST_F(ZmrcalTest, FormatAndOffsetAnswerTheFormatDialog) {
  WriteFile("img.txt", "1 2 3 4 5 6 7 8 9 a b c\n");  // 12 values
  const std::string open = "set ImageWidth 4 ImageHeight 4 open-ostrel img.txt ";
  RunResult r = Zmrcal(open + "--format 6x2 --offset -1,1 save-ascii a.dat");
  EXPECT_EQ(r.status, 0) << r.err;
  // Row 0 stays empty; the file's rows start at row 1, their first value cut off at the left.
  // The maximum is taken over the values that land inside the image (11).
  EXPECT_EQ(ReadFile("a.dat"), "0 0 0 0 \n46 69 92 115 \n185 208 231 255 \n0 0 0 0 \n");
  // Found only once the file is read: the step fails (exit 1) after the earlier steps ran.
  r = Zmrcal(open + "--format 5x2 save-ascii b.dat");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "zmrcal: note: img.txt: its 12 values were placed as 3 x 4 at offset (0, 0) into the "
            "working size 4 x 4\n"
            "zmrcal: open-ostrel: --format 5x2 is not a format of this file's value count; its "
            "formats: 2x6 3x4 4x3 6x2\n");
  // The placement is noted, with what falls outside (the offsets stay those shown for the
  // proposed format, as in the dialog).
  r = Zmrcal(open + "--format 6x2 save-ascii c.dat");
  EXPECT_EQ(r.err,
            "zmrcal: note: img.txt: its 12 values were placed as 6 x 2 at offset (0, 0) into the "
            "working size 4 x 4; the part outside was cut off (set ImageWidth and ImageHeight to "
            "keep it)\n");
  EXPECT_FALSE(FileExists("b.dat"));
}

}  // namespace
}  // namespace zmr
