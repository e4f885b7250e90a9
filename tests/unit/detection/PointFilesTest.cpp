#include "detection/PointFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::FileExists;
using test::ReadFile;
using test::WriteFile;

constexpr const char* kUnwritable = "no-such-folder/points.txt";

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
}

TEST_F(PointFilesTest, WritePointsReportsFileThatCannotBeCreated) {
  const double records[] = {1, 2, 3, 4};
  EXPECT_EQ(WritePoints(kUnwritable, records, 1), 0);
  EXPECT_FALSE(FileExists(kUnwritable));
}

struct ReadCase {
  const char* name;
  std::string bytes;
  std::vector<double> records;  // the stored values, four per record
};

class ReadPointsTest : public PointFilesTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadPointsTest, StoresCompleteRecordsUpToTheFirstBadOne) {
  const ReadCase& c = GetParam();
  std::vector<double>& array = State().PointsInput;
  std::fill(array.begin(), array.end(), -99.0);
  const long n = ReadPointsInBuffer(c.bytes, array.data());
  ASSERT_EQ(n, static_cast<long>(c.records.size() / 4));
  for (std::size_t k = 0; k < c.records.size(); ++k) {
    EXPECT_EQ(array[k], c.records[k]) << "value " << k;
  }
  // The record that ended the reading is not stored, not even in part.
  EXPECT_EQ(array[c.records.size()], -99.0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadPointsTest,
    ::testing::Values(ReadCase{"Empty", "", {}},
                      ReadCase{
                          "EightNumbersOnOneLine", "1 2 3 4 5 6 7 8", {1, 2, 3, 4, 5, 6, 7, 8}},
                      ReadCase{"AnyWhiteSpace", "1\t2\r\n3\n\n 4\r\n", {1, 2, 3, 4}},
                      ReadCase{"SinglePrecision", "0.1 -7.5 1e3 2", {0.1f, -7.5, 1000, 2}},
                      ReadCase{"IncompleteLastRecord", "1 2 3 4\n5 6 7\n", {1, 2, 3, 4}},
                      ReadCase{"NonNumericRecord", "1 2 3 4\n5 x 7 8\n9 10 11 12\n", {1, 2, 3, 4}},
                      ReadCase{"NulByte", std::string("1 2 3 4\n5 6\0 7 8\n", 17), {1, 2, 3, 4}},
                      ReadCase{"ByteOrderMark",
                               "\xEF\xBB\xBF"
                               "1 2 3 4\n",
                               {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PointFilesTest, ReadPointsAcceptsNotANumber) {
  std::vector<double>& array = State().PointsInput;
  ASSERT_EQ(ReadPointsInBuffer("nan 1 2 3", array.data()), 1);
  EXPECT_TRUE(std::isnan(array[0]));
  EXPECT_EQ(array[3], 3.0);
}

TEST_F(PointFilesTest, ReadPointsStopsAtCapacity) {
  std::string text;
  for (int k = 0; k < 5001; ++k) text += std::to_string(k) + " 1.5 2.5 3.5\r\n";
  WriteFile("many.txt", text);
  std::vector<double>& array = State().PointsInput;
  EXPECT_EQ(ReadPoints("many.txt", array.data()), 5000);
  EXPECT_EQ(array[4 * 4999], 4999.0);

  State().MAXPoints = 2;
  EXPECT_EQ(ReadPoints("many.txt", array.data()), 2);
}

TEST_F(PointFilesTest, ReadPointsOfMissingFileIsZero) {
  std::vector<double>& array = State().PointsInput;
  array[0] = -99.0;
  EXPECT_EQ(ReadPoints("missing.txt", array.data()), 0);
  EXPECT_EQ(array[0], -99.0);
}

TEST_F(PointFilesTest, SavedPointsReopenWithinRounding) {
  const double records[] = {10.04, 20.96, 11.5, -21.25, 700.33, 0.0, 699.5, 1.0};
  ASSERT_EQ(WritePoints("round.txt", records, 2), 2);
  std::vector<double>& array = State().PointsInput;
  ASSERT_EQ(ReadPoints("round.txt", array.data()), 2);
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(array[k], records[k], 0.0501) << k;
}

TEST_F(PointFilesTest, PrintPointsWritesSpotListAndAnnouncesIt) {
  const double px[] = {1.5, 2, -3.25};
  const double py[] = {0, 100.125, 7};
  State().NumberOfPoints = 3;
  testing::internal::CaptureStdout();
  EXPECT_EQ(PrintPoints(px, py, "PointsFit.txt"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Writing to file PointsFit.txt ...done\n");
  EXPECT_EQ(ReadFile("PointsFit.txt"),
            "1.500000 0.000000\n"
            "2.000000 100.125000\n"
            "-3.250000 7.000000\n");

  testing::internal::CaptureStdout();
  EXPECT_EQ(PrintPoints(px, py, kUnwritable), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(PointFilesTest, PrintShiftsWritesResultsAndAnnouncesIt) {
  const double px[] = {1, 2};
  const double py[] = {3, 4};
  const double sx[] = {5.5, 6};
  const double sy[] = {7, -8.25};
  State().NumberOfPoints = 2;
  testing::internal::CaptureStdout();
  EXPECT_EQ(PrintShifts("ResultsFit.txt", px, py, sx, sy), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Writing to file ResultsFit.txt ...done\n");
  EXPECT_EQ(ReadFile("ResultsFit.txt"),
            "1.000000 3.000000 5.500000 7.000000\n"
            "2.000000 4.000000 6.000000 -8.250000\n");

  testing::internal::CaptureStdout();
  EXPECT_EQ(PrintShifts(kUnwritable, px, py, sx, sy), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            std::string("Cannot open output file ") + kUnwritable + "\n");
}

struct LoadCase {
  const char* name;
  std::string bytes;
  std::vector<double> xs, ys;
};

class LoadPointsTest : public PointFilesTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadPointsTest, ReadsCompletePairs) {
  const LoadCase& c = GetParam();
  std::vector<double> px(8, -99.0), py(8, -99.0);
  ASSERT_EQ(LoadPointsInBuffer(c.bytes, px.data(), py.data()), static_cast<int>(c.xs.size()));
  EXPECT_EQ(std::vector<double>(px.begin(), px.begin() + c.xs.size()), c.xs);
  EXPECT_EQ(std::vector<double>(py.begin(), py.begin() + c.ys.size()), c.ys);
  EXPECT_EQ(px[c.xs.size()], -99.0);
}

INSTANTIATE_TEST_SUITE_P(Files, LoadPointsTest,
                         ::testing::Values(LoadCase{"Empty", "", {}, {}},
                                           LoadCase{
                                               "Lines", "1.5 2\r\n3 4.25\r\n", {1.5, 3}, {2, 4.25}},
                                           LoadCase{"SinglePrecision", "0.1 0.2\n", {0.1f}, {0.2f}},
                                           LoadCase{"IncompletePair", "1 2\n3\n", {1}, {2}},
                                           LoadCase{"NonNumeric", "1 2\n3 y\n5 6\n", {1}, {2}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PointFilesTest, LoadPointsOfMissingFileFails) {
  std::vector<double> px(2, -99.0), py(2, -99.0);
  EXPECT_EQ(LoadPoints(px.data(), py.data(), "missing.txt"), -1);
  EXPECT_EQ(px[0], -99.0);
}

TEST_F(PointFilesTest, LoadPointsStopsAtCapacity) {
  WriteFile("pairs.txt", "1 2 3 4 5 6 7 8");
  State().MAXPoints = 3;
  std::vector<double> px(4, -99.0), py(4, -99.0);
  EXPECT_EQ(LoadPoints(px.data(), py.data(), "pairs.txt"), 3);
  EXPECT_EQ(px, (std::vector<double>{1, 3, 5, -99.0}));
}

TEST_F(PointFilesTest, LoadTraceResultsReloadsTheSpotList) {
  ProgramState& s = State();
  const double px[] = {50.5, 10, 91};
  const double py[] = {60.25, 20, 100.5};
  s.NumberOfPoints = 3;
  testing::internal::CaptureStdout();
  ASSERT_EQ(PrintPoints(px, py, "PointsFit.txt"), 0);
  testing::internal::GetCapturedStdout();

  s.NumberOfPoints = 0;
  s.TraceFlag = 1;
  EXPECT_EQ(LoadTraceResults(), 0);
  EXPECT_EQ(s.NumberOfPoints, 3);
  EXPECT_EQ(s.TraceFlag, 2);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(s.PointsBuffer[k], px[k]);
    EXPECT_EQ(s.PointsBuffer[s.MAXPoints + k], py[k]);
  }
}

TEST_F(PointFilesTest, LoadTraceResultsWithoutFileOrArraysKeepsState) {
  ProgramState& s = State();
  s.NumberOfPoints = 17;
  s.TraceFlag = 1;
  EXPECT_EQ(LoadTraceResults(), -1);
  EXPECT_EQ(s.NumberOfPoints, 17);
  EXPECT_EQ(s.TraceFlag, 1);

  WriteFile("PointsFit.txt", "1 2\n");
  ReleaseArrays();
  EXPECT_EQ(LoadTraceResults(), -1);
  EXPECT_EQ(s.NumberOfPoints, 17);
  EXPECT_EQ(s.TraceFlag, 1);
}

}  // namespace
}  // namespace zmr
