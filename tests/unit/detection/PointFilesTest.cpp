#include "detection/PointFiles.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::FileExists;
using test::ReadFile;
using test::WriteFile;

constexpr const char* kUnwritable = "no-such-folder/points.txt";

// Runs f with standard output captured and returns what it printed.
std::string Stdout(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

class PointFilesTest : public test::StateTest {
 protected:
  void SetUp() override { ASSERT_EQ(AllocateArrays(), 1); }
};

TEST_F(PointFilesTest, WritePointsWritesOneFixedPointLinePerRecord) {
  const double records[] = {3, 4.26, 1234.56, -7.5, 12345.67, 0, -0.04, 0.05};
  EXPECT_EQ(WritePoints("points.txt", records, 2), 2);
  EXPECT_EQ(ReadFile("points.txt"),
            "  3.0   4.3 1234.6  -7.5\n"
            "12345.7   0.0  -0.0   0.1\n");
  EXPECT_EQ(WritePoints("empty.txt", records, 0), 0);
  EXPECT_EQ(ReadFile("empty.txt"), "");
  EXPECT_EQ(WritePoints(kUnwritable, records, 1), 0);
  EXPECT_FALSE(FileExists(kUnwritable));
}

TEST_F(PointFilesTest, FailedWriteKeepsThePreviousFile) {
  std::vector<double> records(4000, 1.25);
  WriteFile("points.txt", "1.0 2.0 3.0 4.0\n");
  long written = 0;
  bool checked = true;
  {
    const test::FileSizeLimit cap(1000);
    written = WritePoints("points.txt", records.data(), 1000);
    checked = WritePointsChecked("points.txt", records.data(), 1000);
  }
  EXPECT_EQ(written, 0);
  EXPECT_FALSE(checked);
  EXPECT_EQ(ReadFile("points.txt"), "1.0 2.0 3.0 4.0\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(PointFilesTest, ReadPointsStoresCompleteRecordsUpToTheFirstBadOne) {
  const std::pair<std::string, std::vector<double>> cases[] = {
      {"", {}},
      {"1 2 3 4 5 6 7 8", {1, 2, 3, 4, 5, 6, 7, 8}},
      {"1\t2\r\n3\n\n 4\r\n", {1, 2, 3, 4}},
      {"0.1 -7.5 1e3 2", {0.1f, -7.5, 1000, 2}},  // single precision, widened
      {"nan 1 2 3", {NAN, 1, 2, 3}},
      {"1 2 3 4\n5 6 7\n", {1, 2, 3, 4}},
      {"1 2 3 4\n5 x 7 8\n9 10 11 12\n", {1, 2, 3, 4}},
      {std::string("1 2 3 4\n5 6\0 7 8\n", 17), {1, 2, 3, 4}},
      {"\xEF\xBB\xBF"
       "1 2 3 4\n",
       {}},  // a byte order mark is not a number
  };
  for (const auto& [bytes, records] : cases) {
    SCOPED_TRACE(bytes);
    std::vector<double>& array = State().PointsInput;
    std::fill(array.begin(), array.end(), -99.0);
    ASSERT_EQ(ReadPointsInBuffer(bytes, array.data()), static_cast<long>(records.size() / 4));
    for (std::size_t k = 0; k < records.size(); ++k)
      EXPECT_TRUE(array[k] == records[k] || (std::isnan(array[k]) && std::isnan(records[k]))) << k;
    // The record that ended the reading is not stored, not even in part.
    EXPECT_EQ(array[records.size()], -99.0);
  }
}

TEST_F(PointFilesTest, ReadPointsStopsAtCapacityAndReadsNoMissingFile) {
  std::string text;
  for (int k = 0; k < 5001; ++k) text += std::to_string(k) + " 1.5 2.5 3.5\r\n";
  WriteFile("many.txt", text);
  std::vector<double>& array = State().PointsInput;
  EXPECT_EQ(ReadPoints("many.txt", array.data()), 5000);
  EXPECT_EQ(array[4 * 4999], 4999.0);
  State().MAXPoints = 2;
  EXPECT_EQ(ReadPoints("many.txt", array.data()), 2);
  array[0] = -99.0;
  EXPECT_EQ(ReadPoints("missing.txt", array.data()), 0);
  EXPECT_EQ(array[0], -99.0);
  EXPECT_EQ(ReadPoints("many.txt", nullptr), 0);
  EXPECT_EQ(ReadPointsInBuffer("1 2 3 4\n", nullptr), 0);
}

TEST_F(PointFilesTest, PrintPointsAndPrintShiftsWriteFixedPointLinesAndAnnounceThem) {
  const double px[] = {1.5, 2, -3.25};
  const double py[] = {0, 100.125, 7};
  const double sx[] = {5.5, 6, 0};
  const double sy[] = {7, -8.25, 0};
  State().NumberOfPoints = 3;
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(PrintPoints(px, py, "PointsFit.txt"), 0); }),
            "Writing to file PointsFit.txt ...done\n");
  EXPECT_EQ(ReadFile("PointsFit.txt"),
            "1.500000 0.000000\n2.000000 100.125000\n-3.250000 7.000000\n");
  State().NumberOfPoints = 2;
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(PrintShifts("ResultsFit.txt", px, py, sx, sy), 0); }),
            "Writing to file ResultsFit.txt ...done\n");
  EXPECT_EQ(ReadFile("ResultsFit.txt"),
            "1.500000 0.000000 5.500000 7.000000\n"
            "2.000000 100.125000 6.000000 -8.250000\n");
  // Only PrintShifts reports a file it cannot create.
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(PrintPoints(px, py, kUnwritable), 1); }), "");
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(PrintShifts(kUnwritable, px, py, sx, sy), 1); }),
            std::string("Cannot open output file ") + kUnwritable + "\n");
}

TEST_F(PointFilesTest, LoadPointsReadsCompletePairs) {
  const struct {
    std::string bytes;
    std::vector<double> xs, ys;
  } cases[] = {
      {"", {}, {}},
      {"1.5 2\r\n3 4.25\r\n", {1.5, 3}, {2, 4.25}},
      {"0.1 0.2\n", {0.1f}, {0.2f}},
      {"1 2\n3\n", {1}, {2}},
      {"1 2\n3 y\n5 6\n", {1}, {2}},
  };
  for (const auto& c : cases) {
    std::vector<double> px(8, -99.0), py(8, -99.0);
    ASSERT_EQ(LoadPointsInBuffer(c.bytes, px.data(), py.data()), static_cast<int>(c.xs.size()));
    const std::size_t n = c.xs.size();
    EXPECT_EQ(std::vector<double>(px.begin(), px.begin() + n), c.xs) << c.bytes;
    EXPECT_EQ(std::vector<double>(py.begin(), py.begin() + n), c.ys) << c.bytes;
    EXPECT_EQ(px[n], -99.0);
  }
}

TEST_F(PointFilesTest, LoadPointsStopsAtCapacityAndFailsOnAMissingFile) {
  WriteFile("pairs.txt", "1 2 3 4 5 6 7 8");
  State().MAXPoints = 3;
  std::vector<double> px(4, -99.0), py(4, -99.0);
  EXPECT_EQ(LoadPoints(px.data(), py.data(), "pairs.txt"), 3);
  EXPECT_EQ(px, (std::vector<double>{1, 3, 5, -99.0}));
  EXPECT_EQ(LoadPoints(px.data(), py.data(), "missing.txt"), -1);
  EXPECT_EQ(px, (std::vector<double>{1, 3, 5, -99.0}));
}

TEST_F(PointFilesTest, LoadTraceResultsReloadsTheSpotListOrKeepsTheState) {
  ProgramState& s = State();
  s.NumberOfPoints = 17;
  s.TraceFlag = 1;
  EXPECT_EQ(LoadTraceResults(), -1);  // no file
  EXPECT_EQ(s.NumberOfPoints, 17);
  EXPECT_EQ(s.TraceFlag, 1);

  WriteFile("PointsFit.txt", "50.5 60.25\n10 20\n91 100.5\n");
  EXPECT_EQ(LoadTraceResults(), 0);
  EXPECT_EQ(s.NumberOfPoints, 3);
  EXPECT_EQ(s.TraceFlag, 2);
  EXPECT_EQ(std::vector<double>(s.PointsBuffer.begin(), s.PointsBuffer.begin() + 3),
            (std::vector<double>{50.5, 10, 91}));
  EXPECT_EQ(std::vector<double>(s.PointsBuffer.begin() + s.MAXPoints,
                                s.PointsBuffer.begin() + s.MAXPoints + 3),
            (std::vector<double>{60.25, 20, 100.5}));

  s.TraceFlag = 1;
  ReleaseArrays();
  EXPECT_EQ(LoadTraceResults(), -1);  // no arrays
  EXPECT_EQ(s.NumberOfPoints, 3);
  EXPECT_EQ(s.TraceFlag, 1);

  // A buffer shorter than the two coordinate halves is not written into.
  s.PointsBuffer.assign(static_cast<std::size_t>(s.MAXPoints), -1.0);
  EXPECT_EQ(LoadTraceResults(), -1);
  EXPECT_EQ(s.PointsBuffer, std::vector<double>(static_cast<std::size_t>(s.MAXPoints), -1.0));
  EXPECT_EQ(s.NumberOfPoints, 3);
  s.MAXPoints = 0;
  EXPECT_EQ(LoadTraceResults(), -1);
  EXPECT_EQ(s.NumberOfPoints, 3);
}

}  // namespace
}  // namespace zmr
