// zmrcal end to end: the program run in a temporary folder, its exit status, what it prints
// and the files it leaves.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::FileExists;
using test::ReadFile;
using test::WriteFile;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a program with arguments in the current folder, capturing both output streams.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  std::string command = Quote(program);
  for (const std::string& a : args) command += " " + Quote(a);
  command += " >zmrcal.out 2>zmrcal.err </dev/null";
  const int raw = std::system(command.c_str());
  RunResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile("zmrcal.out");
  r.err = ReadFile("zmrcal.err");
  std::remove("zmrcal.out");
  std::remove("zmrcal.err");
  return r;
}

RunResult Zmrcal(const std::vector<std::string>& args) { return RunProgram(ZMRCAL_PATH, args); }

class ZmrcalTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
};

TEST_F(ZmrcalTest, EmptyFolderGivesEmptyScanLog) {
  const RunResult r = Zmrcal({"view", "source"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(FileExists("SCAN.LOG"));
  EXPECT_EQ(ReadFile("SCAN.LOG"), "");
  EXPECT_EQ(r.err, "");
}

TEST_F(ZmrcalTest, OptionsFileIsEchoedToScanLog) {
  WriteFile("ProgramOptions.TXT", "FilterSize 7\nMaxSlope 0.25\n");
  const RunResult r = Zmrcal({"view", "target"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile("SCAN.LOG"), "FilterSize (2)= 7\nMaxSlope (5)= 0.250000\n");
}

TEST_F(ZmrcalTest, VersionAndHelp) {
  RunResult r = Zmrcal({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("ZMR Image Calibration (Version 0.3-061204)\nzmrcal ", 0), 0u) << r.out;
  r = Zmrcal({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* step :
       {"open-ostrel", "open-ascii", "open-bitmap", "save-bitmap", "save-ascii",
        "save-target-ascii", "save-points", "set", "target-to-source", "view", "overlay"}) {
    EXPECT_NE(r.out.find(std::string("\n  ") + step + " "), std::string::npos) << step;
  }
  EXPECT_FALSE(FileExists("SCAN.LOG"));
}

TEST_F(ZmrcalTest, UsageErrorsRunNothingAndExitTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"no-such-step"},
      {"open-ostrel"},
      {"view", "sideways"},
      {"overlay", "vectors"},
      {"overlay", "mesh", "on"},
      {"overlay", "numbers", "maybe"},
      {"set", "FilterSize"},
      {"set", "NoSuchOption", "1"},
      {"set", "FilterSize", "five"},
      {"set", "MaxSlope", "0.2x"},
      {"open-ostrel", "a.txt", "--format", "12"},
      {"open-ostrel", "a.txt", "--offset", "1;2"},
      {"view", "source", "save-bitmap"},
  };
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    SCOPED_TRACE(joined);
    const RunResult r = Zmrcal(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("zmrcal: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("usage: zmrcal"), std::string::npos);
    EXPECT_FALSE(FileExists("SCAN.LOG"));
  }
}

// Replaces every wall time of "timing: NAME S.SSS s" lines by "T", checking its form.
std::string MaskTimes(const std::string& err) {
  static const std::regex kTime("^(timing: [a-z-]+) [0-9]+\\.[0-9]{3} s$", std::regex::multiline);
  return std::regex_replace(err, kTime, "$1 T");
}

TEST_F(ZmrcalTest, TimingsFollowEachStepAndTheRunWithoutChangingItsResults) {
  WriteFile("img.txt", "10 20 30 40 50 60\n");
  const std::vector<std::string> steps = {"set",         "ImageWidth", "3",
                                          "ImageHeight", "2",          "open-ostrel",
                                          "img.txt",     "save-ascii", "img.dat"};
  const RunResult plain = Zmrcal(steps);
  ASSERT_EQ(plain.status, 0) << plain.err;
  const std::string expected = ReadFile("img.dat");
  std::remove("img.dat");

  std::vector<std::string> timed = {"--timings"};
  timed.insert(timed.end(), steps.begin(), steps.end());
  const RunResult r = Zmrcal(timed);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(MaskTimes(r.err),
            "timing: set T\ntiming: open-ostrel T\ntiming: save-ascii T\ntiming: total T\n");
  EXPECT_EQ(r.out, plain.out);
  EXPECT_EQ(ReadFile("img.dat"), expected);

  // A step that stops the run is timed after its message, and so is the run.
  const RunResult failed = Zmrcal({"--timings", "save-ascii", "out.txt", "view", "source"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(MaskTimes(failed.err),
            "MenuDemo: Error - there are no source image data\ntiming: save-ascii T\n"
            "timing: total T\n");

  // Only a leading --timings is the option; alone it leaves no step.
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"--timings"}, {"view", "source", "--timings"}}) {
    const RunResult bad = Zmrcal(args);
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err.find("timing:"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("usage: zmrcal [--timings] STEP"), std::string::npos) << bad.err;
  }
}

TEST_F(ZmrcalTest, MessageBoxStopsWithStatusOneAndSkipsLaterSteps) {
  const RunResult r = Zmrcal({"save-ascii", "out.txt", "set", "FilterSize", "9"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "MenuDemo: Error - there are no source image data\n");
  EXPECT_FALSE(FileExists("out.txt"));

  WriteFile("bad.txt", "1 2 zz 4\n");
  const RunResult bad = Zmrcal({"open-ostrel", "bad.txt", "save-bitmap", "x.bmp"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "MenuDemo: Error in image file\n");
  EXPECT_FALSE(FileExists("x.bmp"));
}

TEST_F(ZmrcalTest, SeparateSetStepsStoreTheOtherFieldsAsTheDialogShowsThem) {
  // The second dialog shows the working size (769) as the width and stores it again, as a
  // user pressing OK on it would; the value count 6 then has no dialog-free format.
  WriteFile("img.txt", "10 20 30 40 50 60\n");
  const RunResult r = Zmrcal({"set", "ImageWidth", "3", "set", "ImageHeight", "2", "open-ostrel",
                              "img.txt", "save-ascii", "img.dat"});
  EXPECT_EQ(r.status, 0) << r.err;
  // 769 x 2: the proposed 2 x 3 format is centred at column 383; its third row falls outside.
  std::string expected;
  for (int row = 0; row < 2; ++row) {
    for (int c = 0; c < 769; ++c) {
      const char* v = "0";
      if (c == 383) v = row == 0 ? "63" : "191";
      if (c == 384) v = row == 0 ? "127" : "255";
      expected += std::string(v) + " ";
    }
    expected += "\n";
  }
  EXPECT_EQ(ReadFile("img.dat"), expected);
}

TEST_F(ZmrcalTest, SetChangesTheDefaultFormatOfTheNextLoad) {
  // 6 values: with the default 769 x 769 the format dialog would propose 2 x 3.
  WriteFile("img.txt", "10 20 30 40 50 60\n");
  const RunResult r = Zmrcal({"set", "ImageWidth", "3", "ImageHeight", "2", "open-ostrel",
                              "img.txt", "save-ascii", "img.dat"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile("img.dat"), "42 85 127 \n170 212 255 \n");
  EXPECT_EQ(r.out, "Writing to file img.dat ...done\n");
}

TEST_F(ZmrcalTest, FormatAndOffsetAnswerTheFormatDialog) {
  WriteFile("img.txt", "1 2 3 4 5 6 7 8 9 a b c\n");  // 12 values
  RunResult r = Zmrcal({"set", "ImageWidth", "4", "ImageHeight", "4", "open-ostrel", "img.txt",
                        "--format", "6x2", "--offset", "-1,1", "save-ascii", "a.dat"});
  EXPECT_EQ(r.status, 0) << r.err;
  // Row 0 stays empty; the file's rows start at row 1, their first value cut off at the left.
  // The maximum is taken over the values that land inside the image (11).
  EXPECT_EQ(ReadFile("a.dat"), "0 0 0 0 \n46 69 92 115 \n185 208 231 255 \n0 0 0 0 \n");

  r = Zmrcal({"set", "ImageWidth", "4", "ImageHeight", "4", "open-ostrel", "img.txt", "--format",
              "5x2", "save-ascii", "b.dat"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--format 5x2"), std::string::npos) << r.err;
  EXPECT_FALSE(FileExists("b.dat"));
}

TEST_F(ZmrcalTest, GeneratedSampleRoundTripsThroughBitmapAndAscii) {
  const RunResult gen = RunProgram(
      ZMR_GRIDGEN_PATH, {"--size", "101x81", "--pitch", "20", "--radius", "5", "--out", "grid"});
  ASSERT_EQ(gen.status, 0) << gen.err;
  RunResult r = Zmrcal({"set", "ImageWidth", "101", "ImageHeight", "81", "open-ostrel", "grid.txt",
                        "save-bitmap", "a.bmp", "save-ascii", "a.dat"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadBytes("a.bmp").size(), 54u + 304u * 81u);
  // The bitmap and the ASCII matrix hold the same image: reopen each and save again.
  r = Zmrcal({"open-bitmap", "a.bmp", "save-ascii", "b.dat"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile("b.dat"), ReadFile("a.dat"));
  r = Zmrcal({"set", "ImageWidth", "101", "ImageHeight", "81", "open-ascii", "a.dat", "save-bitmap",
              "c.bmp"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadBytes("c.bmp"), test::ReadBytes("a.bmp"));
}

TEST_F(ZmrcalTest, DetectionStepsNeedASourceImage) {
  for (const char* step : {"detect", "box-filter"}) {
    const RunResult r = Zmrcal({step});
    EXPECT_EQ(r.status, 1) << step;
    EXPECT_EQ(r.err, "MenuDemo: Error - there is no source image\n") << step;
  }
}

TEST_F(ZmrcalTest, ThresholdStepBinarisesAtItsArgument) {
  WriteFile("img.txt", "10 20 30 40 50 60\n");  // scaled: 42 85 127 170 212 255
  RunResult r =
      Zmrcal({"set", "ImageWidth", "3", "ImageHeight", "2", "open-ostrel", "img.txt", "threshold",
              "127", "save-target-ascii", "t.dat", "threshold", "save-target-ascii", "u.dat"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile("t.dat"), "0 0 0 \n255 255 255 \n");
  EXPECT_EQ(ReadFile("u.dat"), ReadFile("t.dat"));  // the threshold stays 127
  r = Zmrcal({"threshold", "256"});
  EXPECT_EQ(r.status, 2);
}

TEST_F(ZmrcalTest, DetectOnAGeneratedGridFindsAndAssignsEverySpot) {
  const RunResult gen = RunProgram(ZMR_GRIDGEN_PATH, {"--size", "305x267", "--out", "grid"});
  ASSERT_EQ(gen.status, 0) << gen.err;
  const std::string truth = ReadFile("grid_truth.txt");
  const long spots = static_cast<long>(std::count(truth.begin(), truth.end(), '\n'));
  const RunResult r = Zmrcal({"set", "ImageWidth", "305", "ImageHeight", "267", "open-ostrel",
                              "grid.txt", "detect", "save-points", "points.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // no progress line when standard error is not a terminal
  // The first spot in raster order gives its slot to the weighted mean of the others.
  const std::string points = ReadFile("points.txt");
  EXPECT_EQ(static_cast<long>(std::count(points.begin(), points.end(), '\n')), spots - 1);
  const std::string fit = ReadFile("PointsFit.txt");
  EXPECT_EQ(static_cast<long>(std::count(fit.begin(), fit.end(), '\n')), spots);
  const std::string log = ReadFile("Trace.log");
  EXPECT_NE(log.find("Tracing black holes with parameters:"), std::string::npos);
  EXPECT_NE(log.find(std::to_string(spots - 1) + " points left"), std::string::npos);
  EXPECT_NE(log.find("Automatic triangulation"), std::string::npos);

  // The saved points open again and triangulate to the same mesh.
  const RunResult again = Zmrcal({"open-points", "points.txt", "save-points", "again.txt"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(ReadFile("again.txt"), points);
}

TEST_F(ZmrcalTest, ModelStepsRefuseWithTooFewPoints) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"save-zmr", "a.zmr"}, "MenuDemo: Error - there are too few calibration points !\n"},
      {{"save-orbik-ascii", "a.txt"}, "MenuDemo: Error - there are too few calibration points !\n"},
      {{"adjust"}, "MenuDemo: Error - minimum 3 calibration points required\n"},
      {{"extrapolate"}, "MenuDemo: Error - minimum 10 calibration points required\n"},
      {{"transform"}, "MenuDemo: Error - there are no calibration points\n"},
  };
  for (const auto& [args, message] : cases) {
    const RunResult r = Zmrcal(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.err, message);
  }
  EXPECT_FALSE(FileExists("a.zmr"));
  EXPECT_FALSE(FileExists("a.txt"));
}

TEST_F(ZmrcalTest, WholeCalibrationLeavesCorrectedImageAndTables) {
  const RunResult gen = RunProgram(ZMR_GRIDGEN_PATH, {"--size", "401x401", "--out", "grid"});
  ASSERT_EQ(gen.status, 0) << gen.err;
  const RunResult r =
      Zmrcal({"set", "ImageWidth", "401", "ImageHeight", "401", "open-ostrel", "grid.txt", "detect",
              "extrapolate", "adjust", "transform", "save-zmr", "detector.zmr", "save-orbik-ascii",
              "table.txt", "target-to-source", "save-bitmap", "out.bmp"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadBytes("detector.zmr").size(), 4356u);
  EXPECT_EQ(test::ReadBytes("out.bmp").size(), 54u + 1204u * 401u);
  EXPECT_TRUE(FileExists("CorrectedPoints.txt"));
  const std::string table = ReadFile("table.txt");
  EXPECT_GT(std::count(table.begin(), table.end(), '\n'), 100);
  // The adjustment starts a new log.
  EXPECT_EQ(ReadFile("Trace.log").rfind("Center of rotation", 0), 0u) << ReadFile("Trace.log");
}

TEST_F(ZmrcalTest, RenderWritesTheWindowPictureAtTheImageSize) {
  WriteFile("img.txt", "10 20 30 40 50 60\n");
  RunResult r = Zmrcal({"set", "ImageWidth", "3", "ImageHeight", "2", "open-ostrel", "img.txt",
                        "render", "a.png", "render", "a.bmp"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::uint8_t> bmp = test::ReadBytes("a.bmp");
  ASSERT_EQ(bmp.size(), 54u + 12u * 2u);  // 3 x 2 pixels, 24 bits, rows padded to 12 bytes
  // The bottom row of the picture comes first: grey 170 at its left.
  EXPECT_EQ(bmp[54], 170);
  EXPECT_EQ(test::ReadBytes("a.png").size() > 8, true);
  r = Zmrcal({"render", "a.gif"});
  EXPECT_EQ(r.status, 2);
  r = Zmrcal({"render", "no-such-folder/a.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "MenuDemo: Error in creating image file\n");
}

}  // namespace
}  // namespace zmr
