#include "export/OrbikExport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::FileExists;
using test::ReadBytes;
using Bytes = std::vector<std::uint8_t>;

// Calibration points at the corners of [lo, hi]^2 displaced by (ax + bx x, ay + by y), and the
// square's two triangles in the mesh's orientation.
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

// A file whose 1089 records all hold the same four bytes.
Bytes Repeated(const Bytes& record) {
  Bytes out;
  for (int r = 0; r < 1089; ++r) out.insert(out.end(), record.begin(), record.end());
  return out;
}

Bytes Record(const Bytes& file, int x, int y) {
  const auto at = file.begin() + 4 * (y * 33 + x);
  return Bytes(at, at + 4);
}

struct CodeCase {
  double shift;
  std::uint16_t code;
};

TEST(ZmrShiftCodeTest, TruncatesTowardZeroAndKeepsTheLow16Bits) {
  const CodeCase cases[] = {
      {1.5, 0x0180},        {-0.25, 0xFFC0},
      {-1.5, 0xFE80},       {-0.003, 0x0000},  // -0.768 units: truncated, not rounded to -1
      {0.00390625, 0x0001}, {127.99609375, 0x7FFF},
      {128.0, 0x8000},  // wraps, no clamping
      {200.0, 0xC800},      {-129.0, 0x7F00},
      {300000.5, 0xE080},   {std::numeric_limits<double>::quiet_NaN(), 0x0000},
      {1e300, 0xFFFF},   // saturates at the largest 64-bit integer
      {-1e300, 0x0000},  // and at the smallest
  };
  for (const CodeCase& c : cases) EXPECT_EQ(ZmrShiftCode(c.shift), c.code) << c.shift;
}

class OrbikExportTest : public test::StateTest {
 protected:
  void SetUp() override { ASSERT_EQ(AllocateArrays(), 1); }
};

TEST_F(OrbikExportTest, WithoutTrianglesEveryByteIsZero) {
  EXPECT_EQ(ORBIKExportNew("out.zmr", 769, 769), -1);
  EXPECT_EQ(ReadBytes("out.zmr"), Bytes(4356, 0));
}

TEST_F(OrbikExportTest, ConstantShiftOverTheWholeFieldFillsEveryRecord) {
  // Image positions -128 .. 896 of the default offsets lie inside [-200, 1000]^2.
  MakeSquareCalibration(-200.0, 1000.0, 1.5, 0.0, -0.25, 0.0);
  EXPECT_EQ(ORBIKExportNew("out.zmr", 769, 769), -1);
  EXPECT_EQ(ReadBytes("out.zmr"), Repeated({0xFF, 0xC0, 0x01, 0x80}));
}

TEST_F(OrbikExportTest, NodesOutsideTheZoneAreZero) {
  // Shift (-1.5, -0.003) over image [0, 300]^2: nodes 4..13 of each axis (32 * 13 - 128 = 288).
  MakeSquareCalibration(0.0, 300.0, -1.5, 0.0, -0.003, 0.0);
  EXPECT_EQ(ORBIKExportNew("out.zmr", 769, 769), -1);
  Bytes expected;
  for (int y = 0; y < 33; ++y) {
    for (int x = 0; x < 33; ++x) {
      const bool inside = x >= 4 && x <= 13 && y >= 4 && y <= 13;
      expected.insert(expected.end(), {0x00, 0x00, inside ? std::uint8_t{0xFE} : std::uint8_t{0},
                                       inside ? std::uint8_t{0x80} : std::uint8_t{0}});
    }
  }
  EXPECT_EQ(ReadBytes("out.zmr"), expected);
}

TEST_F(OrbikExportTest, RecordsRunRowByRowWithDyBeforeDx) {
  // dx = x / 64 and dy = -y / 128 at image position (x, y); the field follows the offsets.
  MakeSquareCalibration(-256.0, 1024.0, 0.0, 1.0 / 64, 0.0, -1.0 / 128);
  State().xoffset = 128;
  State().yoffset = 96;
  EXPECT_EQ(ORBIKExportNew("out.zmr", 769, 769), -1);
  const Bytes file = ReadBytes("out.zmr");
  ASSERT_EQ(file.size(), 4356u);
  struct Node {
    int x, y;
    Bytes record;
  };
  const Node nodes[] = {
      {0, 0, {0x00, 0xC0, 0xFE, 0x00}},    // (-128, -96): dy 0.75, dx -2
      {5, 3, {0x00, 0x00, 0x00, 0x80}},    // (32, 0): dy 0, dx 0.5
      {1, 7, {0xFF, 0x00, 0xFE, 0x80}},    // (-96, 128): dy -1, dx -1.5
      {32, 32, {0xF8, 0xC0, 0x0E, 0x00}},  // (896, 928): dy -7.25, dx 14
  };
  for (const Node& n : nodes) EXPECT_EQ(Record(file, n.x, n.y), n.record) << n.x << " " << n.y;
}

TEST_F(OrbikExportTest, AFileThatCannotBeCreatedGivesMinusTwo) {
  EXPECT_EQ(ORBIKExportNew("no-such-folder/out.zmr", 769, 769), -2);
  EXPECT_FALSE(FileExists("no-such-folder/out.zmr"));
}

TEST_F(OrbikExportTest, EarlierWriterGivesTheSameFileWhenTheImageCoversTheField) {
  MakeSquareCalibration(-200.0, 1200.0, 1.5, 0.0, -0.25, 0.0);
  ProgramState& s = State();
  s.xoffset = 0;
  s.yoffset = 0;
  EXPECT_EQ(ORBIKExport("old.zmr", 1100, 1100), -1);
  EXPECT_EQ(s.ORBIKPoints, 1089);
  EXPECT_EQ(ReadBytes("old.zmr"), Repeated({0xFF, 0xC0, 0x01, 0x80}));
  EXPECT_EQ(ORBIKExportNew("new.zmr", 1100, 1100), -1);
  EXPECT_EQ(ReadBytes("new.zmr"), ReadBytes("old.zmr"));
}

TEST_F(OrbikExportTest, EarlierWriterStopsAtTheFirstMissingOrMisplacedRecord) {
  struct Case {
    int offset;
    int width;
    int record;  // the result
  };
  const Case cases[] = {
      {128, 769, 0},  // node (-128, -128) is not in the table
      {0, 1024, 32},  // row 0 ends at 992: record 32 is node (0, 32), not (1024, 0)
      {0, 1025, -1},  // the whole field fits
  };
  for (const Case& c : cases) {
    ProgramState& s = State();
    s.xoffset = c.offset;
    s.yoffset = c.offset;
    std::remove("old.zmr");
    EXPECT_EQ(ORBIKExport("old.zmr", c.width, c.width), c.record) << c.width;
    EXPECT_EQ(FileExists("old.zmr"), c.record == -1) << c.width;
  }
}

}  // namespace
}  // namespace zmr
