#include "export/GridShifts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::FileExists;
using test::ReadFile;

// Four calibration points at the corners of [lo, hi] x [lo, hi] (measured positions), each
// displaced by (ax + bx x, ay + by y), and the two triangles of the square in the mesh's
// orientation: (0, 1, 2) = top-left, top-right, bottom-left; (1, 3, 2).
void MakeSquareCalibration(double lo, double hi, double ax, double bx, double ay, double by) {
  ProgramState& s = State();
  const double corners[4][2] = {{lo, lo}, {hi, lo}, {lo, hi}, {hi, hi}};
  for (int k = 0; k < 4; ++k) {
    const auto [x, y] = corners[k];
    const double record[4] = {x, y, x + ax + bx * x, y + ay + by * y};
    std::copy(record, record + 4, s.PointsInput.begin() + 4 * k);
  }
  s.NumberOfPoints = 4;
  const int triangles[6] = {0, 1, 2, 1, 3, 2};
  std::copy(triangles, triangles + 6, s.Tpoints.begin());
  s.NumberOfTriangles = 2;
}

class GridShiftTableTest : public test::StateTest {
 protected:
  void SetUp() override { ASSERT_EQ(AllocateArrays(), 1); }
};

TEST_F(GridShiftTableTest, CalculateGridShiftsInterpolatesInsideAndGivesZeroOutside) {
  MakeSquareCalibration(0.0, 64.0, 1.0, 0.25, -2.0, -0.5);
  const struct {
    double x, y;
    int triangle;
    double dx, dy;
  } cases[] = {
      {16, 8, 0, 5.0, -6.0},     // upper-left half
      {48, 56, 1, 13.0, -30.0},  // lower-right half
      {32, 32, 0, 9.0, -18.0},   // on the shared diagonal: the lower index
      {64, 64, 1, 17.0, -34.0},  // the corner only triangle 1 has
      {65, 10, -1, 0.0, 0.0},    // outside
      {-0.5, 0, -1, 0.0, 0.0},
  };
  for (const auto& c : cases) {
    double dx = 7.0, dy = 7.0;
    EXPECT_EQ(CalculateGridShifts(100, 100, c.x, c.y, dx, dy), c.triangle) << c.x << " " << c.y;
    EXPECT_DOUBLE_EQ(dx, c.dx) << c.x << " " << c.y;
    EXPECT_DOUBLE_EQ(dy, c.dy) << c.x << " " << c.y;
  }
}

TEST_F(GridShiftTableTest, ReducedTableHoldsTheNodesInsideTheImageRowByRow) {
  // Constant shift (0.5, -0.25) over [0, 70]^2; a 100 x 100 image at the field's origin.
  MakeSquareCalibration(0.0, 70.0, 0.5, 0.0, -0.25, 0.0);
  State().xoffset = State().yoffset = 0;
  ASSERT_EQ(CalculateReducedGridShifts(100, 100, 32, 0), 16);
  std::vector<double> expected;
  for (double y : {0.0, 32.0, 64.0, 96.0}) {
    for (double x : {0.0, 32.0, 64.0, 96.0}) {
      const bool inside = x <= 70 && y <= 70;
      expected.insert(expected.end(), {x, y, x + (inside ? 0.5 : 0.0), y - (inside ? 0.25 : 0.0)});
    }
  }
  EXPECT_EQ(std::vector<double>(State().PointsOutput.begin(), State().PointsOutput.begin() + 64),
            expected);
}

TEST_F(GridShiftTableTest, ReducedTableCountsAndOrdersTheNodes) {
  const struct {
    const char* name;
    long width, height;
    int xoffset, yoffset, step, records;
    double first[2], last[2];
  } cases[] = {
      {"defaults", 769, 769, 128, 128, 32, 625, {0, 0}, {768, 768}},
      {"field sized", 1024, 1024, 0, 0, 32, 1024, {0, 0}, {992, 992}},
      {"offsets beyond the field", 769, 769, 2000, 2000, 32, 0, {}, {}},
      {"negative offset", 100, 100, -10, 0, 32, 12, {10, 0}, {74, 96}},
      {"step of the whole field", 1100, 1100, 0, 0, 1024, 4, {0, 0}, {1024, 1024}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    State().xoffset = c.xoffset;
    State().yoffset = c.yoffset;
    EXPECT_EQ(ReducedGridNodeCount(c.width, c.height, c.step), c.records);
    EXPECT_EQ(ReducedGridShiftsProblem(c.width, c.height, c.step), "");
    ASSERT_EQ(CalculateReducedGridShifts(c.width, c.height, c.step, 0), c.records);
    if (c.records == 0) continue;
    // No triangles: every shifted position is the node itself.
    const double* out = State().PointsOutput.data();
    const double* last = out + 4 * (c.records - 1);
    EXPECT_EQ(std::vector<double>(out, out + 4),
              (std::vector<double>{c.first[0], c.first[1], c.first[0], c.first[1]}));
    EXPECT_EQ(std::vector<double>(last, last + 4),
              (std::vector<double>{c.last[0], c.last[1], c.last[0], c.last[1]}));
    for (const double* b = out + 4; b <= last; b += 4)
      EXPECT_TRUE(b[1] > b[-3] || (b[1] == b[-3] && b[0] > b[-4])) << "record " << (b - out) / 4;
  }
}

TEST_F(GridShiftTableTest, ReducedTableRefusesWithAMessageAndLeavesTheTableAlone) {
  const struct {
    long maxPoints, width, height, step;
    std::string message;
  } cases[] = {
      {5000, 769, 769, 0, kErrorGridStep},
      {5000, 769, 769, 1L + INT_MAX, kErrorGridStep},
      // 160 x 160 at step 32: 5 x 5 nodes.
      {24, 160, 160, 32, "Error - too many grid nodes for the ORBIK table (at most 24)"},
      {5000, 769, 769, 1, "Error - too many grid nodes for the ORBIK table (at most 5000)"},
  };
  for (const auto& c : cases) {
    ProgramState& s = State();
    s.MAXPoints = c.maxPoints;
    ASSERT_EQ(AllocateArrays(), 1);
    s.xoffset = s.yoffset = 0;
    std::fill(s.PointsOutput.begin(), s.PointsOutput.end(), -5.0);
    EXPECT_EQ(ReducedGridShiftsProblem(c.width, c.height, c.step), c.message);
    if (c.step <= INT_MAX) {
      EXPECT_EQ(CalculateReducedGridShifts(c.width, c.height, static_cast<int>(c.step), 0), 0);
    }
    EXPECT_EQ(s.PointsOutput, std::vector<double>(s.PointsOutput.size(), -5.0));
  }
}

using PrintReducedGridShiftsTest = test::StateTest;

TEST_F(PrintReducedGridShiftsTest, WritesEveryStepthPixelOfTheFullField) {
  // 5 x 4 field: ADX[k] = k / 2, ADY[k] = -k; step 2 takes columns 0, 2 and rows 0, 2.
  std::vector<double> adx(20), ady(20);
  for (int k = 0; k < 20; ++k) {
    adx[k] = k / 2.0;
    ady[k] = -k;
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(PrintReducedGridShifts("table.txt", adx.data(), ady.data(), 5, 4, 2), 4);
  EXPECT_EQ(PrintReducedGridShifts("t.txt", adx.data(), ady.data(), 5, 4, 0), 0);
  EXPECT_EQ(PrintReducedGridShifts("no-such-folder/t.txt", adx.data(), ady.data(), 5, 4, 2), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Writing to file table.txt ...Cannot open output file no-such-folder/t.txt\n");
  EXPECT_EQ(ReadFile("table.txt"),
            "0 0 0.000000 0.000000\n"
            "2 0 3.000000 -2.000000\n"
            "0 2 5.000000 -8.000000\n"
            "2 2 8.000000 -10.000000\n");
  EXPECT_FALSE(FileExists("t.txt"));
}

}  // namespace
}  // namespace zmr
