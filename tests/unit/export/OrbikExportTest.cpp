#include "export/OrbikExport.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>
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
    const auto [x, y] = corners[k];
    const double record[4] = {x, y, x + ax + bx * x, y + ay + by * y};
    std::copy(record, record + 4, s.PointsInput.begin() + 4 * k);
  }
  s.NumberOfPoints = 4;
  const int triangles[6] = {0, 1, 2, 1, 3, 2};
  std::copy(triangles, triangles + 6, s.Tpoints.begin());
  s.NumberOfTriangles = 2;
}

// A file whose 1089 records all hold the same four bytes.
Bytes Repeated(const Bytes& record) {
  Bytes out;
  for (int r = 0; r < 1089; ++r) out.insert(out.end(), record.begin(), record.end());
  return out;
}

TEST(ZmrShiftCodeTest, TruncatesTowardZeroAndKeepsTheLow16Bits) {
  const std::pair<double, std::uint16_t> cases[] = {
      {1.5, 0x0180},        {-0.25, 0xFFC0},
      {-1.5, 0xFE80},       {-0.003, 0x0000},  // -0.768 units: truncated, not rounded to -1
      {0.00390625, 0x0001}, {127.99609375, 0x7FFF},
      {128.0, 0x8000},  // wraps, no clamping
      {200.0, 0xC800},      {-129.0, 0x7F00},
      {300000.5, 0xE080},   {std::numeric_limits<double>::quiet_NaN(), 0x0000},
      {1e300, 0xFFFF},   // saturates at the largest 64-bit integer
      {-1e300, 0x0000},  // and at the smallest
  };
  for (const auto& [shift, code] : cases) EXPECT_EQ(ZmrShiftCode(shift), code) << shift;
}

class OrbikExportTest : public test::StateTest {
 protected:
  void SetUp() override { ASSERT_EQ(AllocateArrays(), 1); }
};

TEST_F(OrbikExportTest, WithoutTrianglesEveryByteIsZero) {
  EXPECT_EQ(ORBIKExportNew("out.zmr", 769, 769), -1);
  EXPECT_EQ(ReadBytes("out.zmr"), Bytes(4356, 0));
  EXPECT_EQ(ORBIKExportNew("no-such-folder/out.zmr", 769, 769), -2);
  EXPECT_FALSE(FileExists("no-such-folder/out.zmr"));
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
  const struct {
    int x, y;
    Bytes record;
  } nodes[] = {
      {0, 0, {0x00, 0xC0, 0xFE, 0x00}},    // (-128, -96): dy 0.75, dx -2
      {5, 3, {0x00, 0x00, 0x00, 0x80}},    // (32, 0): dy 0, dx 0.5
      {1, 7, {0xFF, 0x00, 0xFE, 0x80}},    // (-96, 128): dy -1, dx -1.5
      {32, 32, {0xF8, 0xC0, 0x0E, 0x00}},  // (896, 928): dy -7.25, dx 14
  };
  for (const auto& n : nodes) {
    const auto at = file.begin() + 4 * (33 * n.y + n.x);
    EXPECT_EQ(Bytes(at, at + 4), n.record) << n.x << " " << n.y;
  }
}

TEST_F(OrbikExportTest, EarlierWriterGivesTheSameFileWhenTheImageCoversTheField) {
  MakeSquareCalibration(-200.0, 1200.0, 1.5, 0.0, -0.25, 0.0);
  State().xoffset = State().yoffset = 0;
  EXPECT_EQ(ORBIKExport("old.zmr", 1100, 1100), -1);
  EXPECT_EQ(State().ORBIKPoints, 1089);
  EXPECT_EQ(ReadBytes("old.zmr"), Repeated({0xFF, 0xC0, 0x01, 0x80}));
  EXPECT_EQ(ORBIKExportNew("new.zmr", 1100, 1100), -1);
  EXPECT_EQ(ReadBytes("new.zmr"), ReadBytes("old.zmr"));
}

TEST_F(OrbikExportTest, EarlierWriterStopsAtTheFirstMissingOrMisplacedRecord) {
  const std::array<int, 5> cases[] = {
      {128, 128, 769, 769, 0},    // node (-128, -128) is not in the table
      {0, 0, 1024, 1024, 32},     // row 0 ends at 992: record 32 is node (0, 32), not (1024, 0)
      {0, 128, 1025, 1025, 0},    // record 0 is node (0, 0), not (0, -128)
      {0, 0, 1025, 100, 4 * 33},  // four whole rows, then the table ends
      {0, 0, 1025, 1025, -1},     // the whole field fits
  };                              // offsets, image width and height, result
  for (const auto& [xoffset, yoffset, width, height, result] : cases) {
    State().xoffset = xoffset;
    State().yoffset = yoffset;
    std::remove("old.zmr");
    EXPECT_EQ(ORBIKExport("old.zmr", width, height), result) << width << " x " << height;
    EXPECT_EQ(FileExists("old.zmr"), result == -1) << width << " x " << height;
  }
}

TEST_F(OrbikExportTest, FailedSaveKeepsThePreviousFile) {
  MakeSquareCalibration(-200.0, 1200.0, 1.5, 0.0, -0.25, 0.0);
  State().xoffset = State().yoffset = 0;
  const Bytes previous = {'o', 'l', 'd', 0};
  test::WriteBytes("table.zmr", previous);
  EXPECT_EQ(ORBIKExportNew("missing/table.zmr", 1100, 1100), kZmrNotCreated);
  EXPECT_EQ(ORBIKExport("missing/table.zmr", 1100, 1100), kZmrNotCreated);
  EXPECT_FALSE(FileExists("missing"));
  // The 4356 bytes cannot be written past a 1000-byte file-size limit.
  int newResult = 0;
  int oldResult = 0;
  {
    const test::FileSizeLimit cap(1000);
    newResult = ORBIKExportNew("table.zmr", 1100, 1100);
    oldResult = ORBIKExport("table.zmr", 1100, 1100);
  }
  EXPECT_EQ(newResult, kZmrNotCreated);
  EXPECT_EQ(oldResult, kZmrNotCreated);
  EXPECT_EQ(ReadBytes("table.zmr"), previous);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace zmr
