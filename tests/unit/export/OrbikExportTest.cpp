#include "export/OrbikExport.h"

#include <cmath>
#include <filesystem>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ZmrShiftCodeTest, TruncatesTowardZeroAndKeepsTheLow16Bits) {
  const std::pair<double, std::uint16_t> cases[] = {
      {1.5, 0x0180},          {-0.25, 0xFFC0}, {-0.003, 0x0000},  // -0.768 units: truncated
      {127.99609375, 0x7FFF}, {128.0, 0x8000}, {-129.0, 0x7F00},  // wraps, no clamping
      {300000.5, 0xE080},     {NAN, 0x0000},   {1e300, 0xFFFF},  {-1e300, 0x0000},
  };
  for (const auto& [shift, code] : cases) EXPECT_EQ(ZmrShiftCode(shift), code) << shift;
}

using OrbikExportTest = test::StateTest;

// Calibration points at the corners of [lo, hi]^2 shifted by (dx, dy), and the square's two
// triangles in the mesh's orientation.
void Square(double lo, double hi, double dx, double dy) {
  ASSERT_EQ(AllocateArrays(State()), 1);
  ProgramState& s = State();
  const double records[16] = {lo, lo, lo + dx, lo + dy, hi, lo, hi + dx, lo + dy,
                              lo, hi, lo + dx, hi + dy, hi, hi, hi + dx, hi + dy};
  std::copy(records, records + 16, s.PointsInput.begin());
  const int triangles[6] = {0, 1, 2, 1, 3, 2};
  std::copy(triangles, triangles + 6, s.Tpoints.begin());
  s.NumberOfPoints = 4;
  s.NumberOfTriangles = 2;
}

TEST_F(OrbikExportTest, EarlierWriterMatchesTheNewOneWhenTheTableHoldsEveryNode) {
  Square(-200.0, 1300.0, 1.5, -0.5);
  ProgramState& s = State();
  s.PointsInput[15] += 7.25;  // a bent corner: the two triangles shift differently
  s.xoffset = s.yoffset = 0;
  EXPECT_EQ(ORBIKExportNew(State(), "new.zmr", 1025, 1025), kZmrWritten);
  EXPECT_EQ(ORBIKExport(State(), "old.zmr", 1025, 1025), kZmrWritten);
  EXPECT_EQ(test::ReadBytes("old.zmr"), test::ReadBytes("new.zmr"));
  EXPECT_EQ(ORBIKExport(State(), "missing/out.zmr", 1025, 1025), kZmrNotCreated);
  EXPECT_EQ(ORBIKExportNew(State(), "missing/out.zmr", 1025, 1025), kZmrNotCreated);

  // Otherwise it stops at the first record that is not the node it expects, writing nothing.
  const struct {
    int xoffset, width, height, record;
  } stops[] = {
      {0, 769, 1025, 25},     // row 0 ends at x = 768: record 25 starts row 1
      {128, 1025, 1025, 0},   // node 0 lies left of the image
      {0, 1025, 1000, 1056},  // the last row (y = 1024) is below the image: the table runs out
  };
  for (const auto& c : stops) {
    s.xoffset = c.xoffset;
    EXPECT_EQ(ORBIKExport(State(), "stop.zmr", c.width, c.height), c.record) << c.record;
  }
  s.xoffset = 0;
  s.MAXPoints = 1000;  // fewer table rows than nodes: no table at all
  EXPECT_EQ(ORBIKExport(State(), "stop.zmr", 1025, 1025), 0);
  EXPECT_FALSE(std::filesystem::exists("stop.zmr"));
}

}  // namespace
}  // namespace zmr
