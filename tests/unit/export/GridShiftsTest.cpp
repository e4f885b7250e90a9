#include "export/GridShifts.h"

#include <gtest/gtest.h>

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
    const double x = corners[k][0];
    const double y = corners[k][1];
    double* r = s.PointsInput.data() + 4 * k;
    r[0] = x;
    r[1] = y;
    r[2] = x + ax + bx * x;
    r[3] = y + ay + by * y;
  }
  s.NumberOfPoints = 4;
  const int triangles[6] = {0, 1, 2, 1, 3, 2};
  for (int k = 0; k < 6; ++k) s.Tpoints[k] = triangles[k];
  s.NumberOfTriangles = 2;
}

class GridShiftTableTest : public test::StateTest {
 protected:
  void SetUp() override { ASSERT_EQ(AllocateArrays(), 1); }
};

TEST_F(GridShiftTableTest, CalculateGridShiftsInterpolatesInsideAndGivesZeroOutside) {
  MakeSquareCalibration(0.0, 64.0, 1.0, 0.25, -2.0, -0.5);
  struct Case {
    double x, y;
    int triangle;
    double dx, dy;
  };
  const Case cases[] = {
      {16, 8, 0, 5.0, -6.0},     // upper-left half
      {48, 56, 1, 13.0, -30.0},  // lower-right half
      {32, 32, 0, 9.0, -18.0},   // on the shared diagonal: the lower index
      {64, 64, 1, 17.0, -34.0},  // the corner only triangle 1 has
      {65, 10, -1, 0.0, 0.0},    // outside
      {-0.5, 0, -1, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    double dx = 7.0;
    double dy = 7.0;
    EXPECT_EQ(CalculateGridShifts(100, 100, c.x, c.y, dx, dy), c.triangle) << c.x << " " << c.y;
    EXPECT_DOUBLE_EQ(dx, c.dx) << c.x << " " << c.y;
    EXPECT_DOUBLE_EQ(dy, c.dy) << c.x << " " << c.y;
  }
}

TEST_F(GridShiftTableTest, ReducedTableHoldsTheNodesInsideTheImageRowByRow) {
  // Constant shift (0.5, -0.25) over [0, 70]^2; a 100 x 100 image at the field's origin.
  MakeSquareCalibration(0.0, 70.0, 0.5, 0.0, -0.25, 0.0);
  ProgramState& s = State();
  s.xoffset = 0;
  s.yoffset = 0;
  ASSERT_EQ(CalculateReducedGridShifts(100, 100, 32, 0), 16);
  std::vector<double> expected;
  for (double y : {0.0, 32.0, 64.0, 96.0}) {
    for (double x : {0.0, 32.0, 64.0, 96.0}) {
      const bool inside = x <= 70 && y <= 70;
      expected.insert(expected.end(), {x, y, x + (inside ? 0.5 : 0.0), y - (inside ? 0.25 : 0.0)});
    }
  }
  EXPECT_EQ(std::vector<double>(s.PointsOutput.begin(), s.PointsOutput.begin() + 64), expected);
}

struct TableShape {
  const char* name;
  long width, height;
  int xoffset, yoffset, step;
  int records;
  double first[2], last[2];
};

class ReducedTableShapeTest : public GridShiftTableTest,
                              public ::testing::WithParamInterface<TableShape> {};

TEST_P(ReducedTableShapeTest, CountsAndOrdersTheNodes) {
  const TableShape& c = GetParam();
  ProgramState& s = State();
  s.xoffset = c.xoffset;
  s.yoffset = c.yoffset;
  EXPECT_EQ(ReducedGridNodeCount(c.width, c.height, c.step), c.records);
  EXPECT_EQ(ReducedGridShiftsProblem(c.width, c.height, c.step), "");
  ASSERT_EQ(CalculateReducedGridShifts(c.width, c.height, c.step, 0), c.records);
  if (c.records == 0) return;
  const double* out = s.PointsOutput.data();
  const double* last = out + 4 * (c.records - 1);
  // No triangles: every shifted position is the node itself.
  EXPECT_EQ(std::vector<double>(out, out + 4),
            (std::vector<double>{c.first[0], c.first[1], c.first[0], c.first[1]}));
  EXPECT_EQ(std::vector<double>(last, last + 4),
            (std::vector<double>{c.last[0], c.last[1], c.last[0], c.last[1]}));
  for (int r = 1; r < c.records; ++r) {
    const double* a = out + 4 * (r - 1);
    const double* b = out + 4 * r;
    EXPECT_TRUE(b[1] > a[1] || (b[1] == a[1] && b[0] > a[0])) << "record " << r;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ReducedTableShapeTest,
    ::testing::Values(TableShape{"Defaults", 769, 769, 128, 128, 32, 625, {0, 0}, {768, 768}},
                      TableShape{"FieldSized", 1024, 1024, 0, 0, 32, 1024, {0, 0}, {992, 992}},
                      TableShape{"OffsetsBeyondField", 769, 769, 2000, 2000, 32, 0, {}, {}},
                      TableShape{"NegativeOffset", 100, 100, -10, 0, 32, 12, {10, 0}, {74, 96}},
                      TableShape{
                          "StepOfTheWholeField", 1100, 1100, 0, 0, 1024, 4, {0, 0}, {1024, 1024}}),
    [](const auto& info) { return std::string(info.param.name); });

struct TableRefusal {
  const char* name;
  long maxPoints;
  long width, height, step;
  std::string message;
};

class ReducedTableRefusalTest : public test::StateTest,
                                public ::testing::WithParamInterface<TableRefusal> {};

TEST_P(ReducedTableRefusalTest, RefusesWithAMessageAndLeavesTheTableAlone) {
  const TableRefusal& c = GetParam();
  ProgramState& s = State();
  s.MAXPoints = c.maxPoints;
  ASSERT_EQ(AllocateArrays(), 1);
  s.xoffset = 0;
  s.yoffset = 0;
  std::fill(s.PointsOutput.begin(), s.PointsOutput.end(), -5.0);
  const std::vector<double> before = s.PointsOutput;
  EXPECT_EQ(ReducedGridShiftsProblem(c.width, c.height, c.step), c.message);
  if (c.step >= INT_MIN && c.step <= INT_MAX) {
    EXPECT_EQ(CalculateReducedGridShifts(c.width, c.height, static_cast<int>(c.step), 0), 0);
  }
  EXPECT_EQ(s.PointsOutput, before);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, ReducedTableRefusalTest,
    ::testing::Values(TableRefusal{"ZeroStep", 5000, 769, 769, 0, kErrorGridStep},
                      TableRefusal{"StepBeyondInt", 5000, 769, 769, 1L + INT_MAX, kErrorGridStep},
                      // 160 x 160 at step 32: 5 x 5 nodes.
                      TableRefusal{"OneNodeTooMany", 24, 160, 160, 32,
                                   "Error - too many grid nodes for the ORBIK table (at most 24)"},
                      TableRefusal{
                          "StepOneOverTheField", 5000, 769, 769, 1,
                          "Error - too many grid nodes for the ORBIK table (at most 5000)"}),
    [](const auto& info) { return std::string(info.param.name); });

class PrintReducedGridShiftsTest : public test::StateTest {};

TEST_F(PrintReducedGridShiftsTest, WritesEveryStepthPixelOfTheFullField) {
  // 5 x 4 field: ADX[k] = k / 2, ADY[k] = -k; step 2 takes columns 0, 2 and rows 0, 2.
  std::vector<double> adx(20);
  std::vector<double> ady(20);
  for (int k = 0; k < 20; ++k) {
    adx[k] = k / 2.0;
    ady[k] = -k;
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(PrintReducedGridShifts("table.txt", adx.data(), ady.data(), 5, 4, 2), 4);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Writing to file table.txt ...");
  EXPECT_EQ(ReadFile("table.txt"),
            "0 0 0.000000 0.000000\n"
            "2 0 3.000000 -2.000000\n"
            "0 2 5.000000 -8.000000\n"
            "2 2 8.000000 -10.000000\n");
}

TEST_F(PrintReducedGridShiftsTest, ReportsAFileThatCannotBeCreated) {
  const std::vector<double> zero(20, 0.0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(PrintReducedGridShifts("no-such-folder/t.txt", zero.data(), zero.data(), 5, 4, 2), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Cannot open output file no-such-folder/t.txt\n");
  EXPECT_FALSE(FileExists("no-such-folder/t.txt"));

  EXPECT_EQ(PrintReducedGridShifts("t.txt", zero.data(), zero.data(), 5, 4, 0), 0);
  EXPECT_FALSE(FileExists("t.txt"));
}

}  // namespace
}  // namespace zmr
