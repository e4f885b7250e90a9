// The program state: defaults, the allocation functions and the window-coordinate conversion.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using ProgramStateTest = test::StateTest;

TEST_F(ProgramStateTest, ResetGivesAFreshStateWithTheDefaults) {
  State().FilterSize = 9;
  State().fTerminated = 1;
  State().NumberOfPoints = 3;
  ASSERT_EQ(AllocateImageArrays(4, 3), 1);
  ResetProgramState();
  EXPECT_EQ(State().FilterSize, 5);
  EXPECT_EQ(State().fTerminated.load(), 0);
  EXPECT_EQ(State().NumberOfPoints, 0);
  EXPECT_TRUE(State().Msource.empty());
  // Defaults no other test relies on (the options' defaults are checked with their reader).
  EXPECT_EQ(State().iThreshold, 128);
  EXPECT_EQ(State().RectangleMarkWidth, 2);
  EXPECT_EQ(State().cfDrawMode, 1);
}

TEST_F(ProgramStateTest, PointArraysHaveTheirCapacities) {
  State().MAXPoints = 10;
  ASSERT_EQ(AllocateArrays(), 1);
  const ProgramState& s = State();
  EXPECT_EQ(std::vector<std::size_t>({s.PointsInput.size(), s.PointsOutput.size(),
                                      s.PointsBuffer.size(), s.Tpoints.size(), s.SX.size(),
                                      s.SY.size(), s.Pi.size(), s.Pj.size(), s.Pflag.size()}),
            std::vector<std::size_t>({40, 40, 20, 60, 10, 10, 10, 10, 10}));
  ReleaseArrays();
  EXPECT_TRUE(State().PointsInput.empty());
  EXPECT_TRUE(State().Pflag.empty());
}

TEST_F(ProgramStateTest, ImageArraysAreReplacedWholeOrNotAtAll) {
  ASSERT_EQ(AllocateImageArrays(4, 3), 1);
  State().Msource[5] = 7;
  ASSERT_EQ(AllocateImageArrays(2, 5), 1);
  const ProgramState& s = State();
  for (std::size_t n : {s.Msource.size(), s.Mtarget.size(), s.deltaX.size(), s.deltaY.size(),
                        s.Signal.size(), s.Area.size()})
    EXPECT_EQ(n, 10u);
  EXPECT_EQ(s.Msource[5], 0);
  State().Msource[0] = 42;
  for (auto [cx, cy] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{5, -1},
                        std::pair{kMaxImageSide + 1, 1}, std::pair{16384, 16384}}) {
    ASSERT_EQ(AllocateImageArrays(cx, cy), 0) << cx << "x" << cy;
    EXPECT_EQ(s.Msource.size(), 10u);
    EXPECT_EQ(s.Msource[0], 42);
  }
  EXPECT_TRUE(ImageSizeAllowed(8192, 8192));
}

TEST_F(ProgramStateTest, WindowPointsScaleWithTheClientAreaAndTruncate) {
  ProgramState& s = State();
  const struct {
    int zoom;
    double x, y;
    long wx, wy;
  } cases[] = {
      {1, 10.7, 20.2, 10, 20},
      {2, 10.7, 20.2, 21, 40},
      {2, -0.5, -1.7, -1, -3},                 // -1.0 exactly; -3.4 truncated toward zero
      {2, -1e300, std::nan(""), LONG_MIN, 0},  // saturates; NaN gives 0, not undefined behaviour
  };
  for (const auto& c : cases) {
    s.cxClient = c.zoom * s.cxDib;
    s.cyClient = c.zoom * s.cyDib;
    const double p[2] = {c.x, c.y};
    WindowPoint w;
    Coor_double2long(w, p);
    EXPECT_EQ(w.x, c.wx) << c.x;
    EXPECT_EQ(w.y, c.wy) << c.y;
  }
}

}  // namespace
}  // namespace zmr
