// The program state: defaults, the allocation functions and the window-coordinate conversion.
#include <gtest/gtest.h>

#include <cmath>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using ProgramStateTest = test::StateTest;

TEST_F(ProgramStateTest, FreshStateHoldsTheDefaults) {
  const ProgramState& s = State();
  EXPECT_EQ(s.cxDib, 769);
  EXPECT_EQ(s.cyDib, 769);
  EXPECT_EQ(s.IMAGE_X, 769);
  EXPECT_EQ(s.MAXPoints, 5000);
  EXPECT_EQ(s.FilterSize, 5);
  EXPECT_EQ(s.MinPatchSize, 400);
  EXPECT_EQ(s.EdgeGrid, 32);
  EXPECT_DOUBLE_EQ(s.Ethresh, 0.2);
  EXPECT_EQ(s.xoffset, 128);
  EXPECT_EQ(s.ORBIKE, 1024);
  EXPECT_DOUBLE_EQ(s.Threshold, 128.0);
  EXPECT_EQ(s.iThreshold, 128);
  EXPECT_EQ(s.RectangleMarkWidth, 2);
  EXPECT_EQ(s.cfDrawMode, 1);
  EXPECT_TRUE(s.Msource.empty());
  EXPECT_TRUE(s.PointsInput.empty());
  EXPECT_EQ(s.NumberOfPoints, 0);
}

TEST_F(ProgramStateTest, ResetGivesAFreshInstance) {
  State().FilterSize = 9;
  State().fTerminated = 1;
  ASSERT_EQ(AllocateImageArrays(4, 3), 1);
  ResetProgramState();
  EXPECT_EQ(State().FilterSize, 5);
  EXPECT_EQ(State().fTerminated.load(), 0);
  EXPECT_TRUE(State().Msource.empty());
}

TEST_F(ProgramStateTest, PointArraysHaveTheirCapacities) {
  State().MAXPoints = 10;
  ASSERT_EQ(AllocateArrays(), 1);
  const ProgramState& s = State();
  EXPECT_EQ(s.PointsInput.size(), 40u);
  EXPECT_EQ(s.PointsOutput.size(), 40u);
  EXPECT_EQ(s.PointsBuffer.size(), 20u);
  EXPECT_EQ(s.Tpoints.size(), 60u);
  for (const auto* v : {&s.SX, &s.SY}) EXPECT_EQ(v->size(), 10u);
  for (const auto* v : {&s.Pi, &s.Pj, &s.Pflag}) EXPECT_EQ(v->size(), 10u);
  ReleaseArrays();
  EXPECT_TRUE(State().PointsInput.empty());
  EXPECT_TRUE(State().Pflag.empty());
}

TEST_F(ProgramStateTest, ImageArraysAreReplacedWholeAtANewSize) {
  ASSERT_EQ(AllocateImageArrays(4, 3), 1);
  State().Msource[5] = 7;
  ASSERT_EQ(AllocateImageArrays(2, 5), 1);
  const ProgramState& s = State();
  for (std::size_t n : {s.Msource.size(), s.Mtarget.size(), s.deltaX.size(), s.deltaY.size(),
                        s.Signal.size(), s.Area.size()}) {
    EXPECT_EQ(n, 10u);
  }
  EXPECT_EQ(s.Msource[5], 0);
}

TEST_F(ProgramStateTest, RefusedImageSizeKeepsThePreviousArrays) {
  ASSERT_EQ(AllocateImageArrays(4, 3), 1);
  State().Msource[0] = 42;
  for (auto [cx, cy] : {std::pair{0, 5}, std::pair{5, -1}, std::pair{kMaxImageSide + 1, 1},
                        std::pair{16384, 16384}}) {
    EXPECT_EQ(AllocateImageArrays(cx, cy), 0) << cx << "x" << cy;
    EXPECT_EQ(State().Msource.size(), 12u);
    EXPECT_EQ(State().Msource[0], 42);
  }
  EXPECT_TRUE(ImageSizeAllowed(8192, 8192));
}

TEST_F(ProgramStateTest, WindowPointsScaleWithTheClientAreaAndTruncate) {
  ProgramState& s = State();
  const double p[2] = {10.7, 20.2};
  WindowPoint w;
  s.cxClient = s.cxDib;
  s.cyClient = s.cyDib;
  Coor_double2long(w, p);
  EXPECT_EQ(w.x, 10);
  EXPECT_EQ(w.y, 20);
  s.cxClient = 2 * s.cxDib;
  s.cyClient = 2 * s.cyDib;
  Coor_double2long(w, p);
  EXPECT_EQ(w.x, 21);
  EXPECT_EQ(w.y, 40);
  const double negative[2] = {-0.5, -1.7};
  Coor_double2long(w, negative);
  EXPECT_EQ(w.x, -1);  // -1.0 exactly
  EXPECT_EQ(w.y, -3);  // -3.4 truncated toward zero
  const double wild[2] = {1e300, std::nan("")};
  Coor_double2long(w, wild);  // saturates and maps NaN to 0 instead of undefined behaviour
  EXPECT_EQ(w.y, 0);
}

}  // namespace
}  // namespace zmr
