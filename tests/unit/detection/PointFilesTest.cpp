#include "detection/PointFiles.h"

#include <cmath>
#include <filesystem>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using PointFilesTest = test::StateTest;

TEST_F(PointFilesTest, WrittenRecordsReadBackAtTheirPrintedPrecision) {
  const double records[] = {3, 4.26, 1234.56, -7.5, 12345.67, 0, -0.04, 0.05};
  EXPECT_EQ(WritePoints("points.txt", records, 2), 2);
  EXPECT_EQ(test::ReadFile("points.txt"), "  3.0   4.3 1234.6  -7.5\n12345.7   0.0  -0.0   0.1\n");
  std::vector<double> back(8);
  ASSERT_EQ(ReadPoints(State(), "points.txt", back.data()), 2);
  EXPECT_EQ(back, (std::vector<double>{3, 4.3f, 1234.6f, -7.5, 12345.7f, 0, -0.0, 0.1f}));
  State().MAXPoints = 1;  // the capacity ends the reading
  EXPECT_EQ(ReadPoints(State(), "points.txt", back.data()), 1);
  EXPECT_EQ(ReadPoints(State(), "missing.txt", back.data()), 0);
}

TEST_F(PointFilesTest, TraceFilesHoldPairsAndShiftsAndReadBackAsTheSpotList) {
  ASSERT_EQ(AllocateArrays(State()), 1);
  ProgramState& s = State();
  s.NumberOfPoints = 2;
  const double x[] = {1.5, -2}, y[] = {3, 4.25}, dx[] = {0, 1}, dy[] = {-1, 0.5};
  testing::internal::CaptureStdout();
  EXPECT_EQ(PrintPoints(State(), x, y, "PointsFit.txt"), 0);
  EXPECT_EQ(PrintShifts(State(), "shifts.txt", x, y, dx, dy), 0);
  EXPECT_EQ(PrintShifts(State(), "missing/shifts.txt", x, y, dx, dy), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Writing to file PointsFit.txt ...done\nWriting to file shifts.txt ...done\n"
            "Cannot open output file missing/shifts.txt\n");
  EXPECT_EQ(test::ReadFile("shifts.txt"),
            "1.500000 3.000000 0.000000 -1.000000\n-2.000000 4.250000 1.000000 0.500000\n");
  s.NumberOfPoints = 0;
  ASSERT_EQ(LoadTraceResults(State()), 0);
  EXPECT_EQ(s.NumberOfPoints, 2);
  EXPECT_EQ(s.TraceFlag, 2);
  EXPECT_EQ(s.PointsBuffer[1], -2.0);
  EXPECT_EQ(s.PointsBuffer[s.MAXPoints + 1], 4.25);
  std::filesystem::remove("PointsFit.txt");
  EXPECT_EQ(LoadTraceResults(State()), -1);
  ReleaseArrays(State());  // no spot list to read into
  EXPECT_EQ(LoadTraceResults(State()), -1);
}

TEST_F(PointFilesTest, ReadersStoreCompleteRecordsUpToTheFirstBadOne) {
  const struct {
    std::string bytes;
    std::vector<double> records, pairs;
  } cases[] = {
      {"0.1 -7.5 1e3 nan", {0.1f, -7.5, 1000, NAN}, {0.1f, -7.5, 1000, NAN}},
      {"1\t2\r\n3\n\n 4\r\n5 6 7\n", {1, 2, 3, 4}, {1, 2, 3, 4, 5, 6}},
      {std::string("1 2 3 4\n5 6\0 7 8\n", 17), {1, 2, 3, 4}, {1, 2, 3, 4, 5, 6}},
      {"\xEF\xBB\xBF 1 2 3 4\n", {}, {}},  // a byte order mark is not a number
  };
  const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
  for (const auto& c : cases) {
    std::vector<double> records(12, -99.0), px(6, -99.0), py(6, -99.0);
    ASSERT_EQ(ReadPointsInBuffer(State(), c.bytes, records.data()), std::ssize(c.records) / 4)
        << c.bytes;
    ASSERT_EQ(LoadPointsInBuffer(State(), c.bytes, px.data(), py.data()), std::ssize(c.pairs) / 2);
    for (std::size_t k = 0; k < 12; ++k)  // nothing of the bad record is stored
      EXPECT_TRUE(same(records[k], k < c.records.size() ? c.records[k] : -99.0)) << c.bytes;
    for (std::size_t k = 0; k < 12; ++k)
      EXPECT_TRUE(same((k % 2 ? py : px)[k / 2], k < c.pairs.size() ? c.pairs[k] : -99.0));
  }
}

}  // namespace
}  // namespace zmr
