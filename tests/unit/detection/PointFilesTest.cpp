#include "detection/PointFiles.h"

#include <cmath>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using PointFilesTest = test::StateTest;

// What the trace files hold is the goldens' part (PointsFit.txt, ResultsFit.txt); here the
// centring's shift file that cannot be written.
TEST_F(PointFilesTest, ShiftFileThatCannotBeWrittenIsReported) {
  ASSERT_EQ(AllocateArrays(State()), 1);
  State().NumberOfPoints = 2;
  const double v[] = {1.5, -2};
  testing::internal::CaptureStdout();
  EXPECT_EQ(PrintShifts(State(), "missing/shifts.txt", v, v, v, v), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot open output file missing/shifts.txt\n");
}

TEST_F(PointFilesTest, ReaderStoresCompleteRecordsUpToTheFirstBadOne) {
  const struct {
    std::string bytes;
    std::vector<double> records;
  } cases[] = {
      {"0.1 -7.5 1e3 nan", {0.1f, -7.5, 1000, NAN}},
      {"1\t2\r\n3\n\n 4\r\n5 6 7\n", {1, 2, 3, 4}},
      {std::string("1 2 3 4\n5 6\0 7 8\n", 17), {1, 2, 3, 4}},
      {"\xEF\xBB\xBF 1 2 3 4\n", {}},  // a byte order mark is not a number
  };
  const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
  for (const auto& c : cases) {
    std::vector<double> records(12, -99.0);
    ASSERT_EQ(ReadPointsInBuffer(State(), c.bytes, records.data()), std::ssize(c.records) / 4)
        << c.bytes;
    for (std::size_t k = 0; k < 12; ++k)  // nothing of the bad record is stored
      EXPECT_TRUE(same(records[k], k < c.records.size() ? c.records[k] : -99.0)) << c.bytes;
  }
}

}  // namespace
}  // namespace zmr
