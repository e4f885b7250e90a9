#include "geometry/Transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "state/ProgramState.h"
#include "support/GridMesh.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::Ideal;
using test::SetGridMesh;
using test::StateTest;

Ideal Shifted(double dx, double dy) {
  return [dx, dy](double x, double y) { return std::make_pair(x + dx, y + dy); };
}

class TransformTest : public StateTest {
 protected:
  void SetUp() override { ASSERT_EQ(AllocateArrays(), 1); }

  void Image(int M, int N) {
    ASSERT_EQ(AllocateImageArrays(M, N), 1);
    ProgramState& s = State();
    s.cxDib = M;
    s.cyDib = N;
    std::fill(s.Msource.begin(), s.Msource.end(), 0);
  }

  static int& Pixel(std::vector<int>& a, int i, int j) { return a[j * State().cxDib + i]; }
};

// --- a single bright pixel under a uniform displacement --------------------------------------

struct SplatCase {
  const char* name;
  int si, sj;                                   // the one non-zero source pixel
  double dx, dy;                                // uniform displacement of the model
  std::map<std::pair<int, int>, int> expected;  // non-zero target pixels
};

SplatCase Splat(const char* name, int si, int sj, double dx, double dy,
                std::map<std::pair<int, int>, int> expected) {
  return {name, si, sj, dx, dy, std::move(expected)};
}

void PrintTo(const SplatCase& c, std::ostream* os) { *os << c.name; }

class TransformSplat : public TransformTest, public testing::WithParamInterface<SplatCase> {};

TEST_P(TransformSplat, SpreadsIntensityBilinearlyAndScalesMaximumTo255) {
  const SplatCase& c = GetParam();
  constexpr int M = 12;
  constexpr int N = 10;
  Image(M, N);
  ProgramState& s = State();
  SetGridMesh(0, 0, M - 1, N - 1, 2, 2, Shifted(c.dx, c.dy));
  Pixel(s.Msource, c.si, c.sj) = 200;

  EXPECT_EQ(RunTransform(M, N), 1);

  for (int j = 0; j < N; ++j) {
    for (int i = 0; i < M; ++i) {
      const auto it = c.expected.find({i, j});
      const int want = it == c.expected.end() ? 0 : it->second;
      EXPECT_EQ(Pixel(s.Mtarget, i, j), want) << "pixel " << i << "," << j;
    }
  }
  EXPECT_EQ(s.deltaX[c.sj * M + c.si], c.dx);
  EXPECT_EQ(s.deltaY[c.sj * M + c.si], c.dy);
}

INSTANTIATE_TEST_SUITE_P(
    Shifts, TransformSplat,
    testing::Values(
        Splat("ZeroLandsOnItself", 5, 5, 0, 0, {{{5, 5}, 255}}),
        Splat("IntegerTranslationMoves", 5, 5, 2, -1, {{{7, 4}, 255}}),
        Splat("HalfPixelRightSplitsEvenly", 5, 5, 0.5, 0, {{{5, 5}, 255}, {{6, 5}, 255}}),
        Splat("HalfPixelDownSplitsEvenly", 5, 5, 0, 0.5, {{{5, 5}, 255}, {{5, 6}, 255}}),
        // Weights (1-fX)(1-fY), fX(1-fY), fX fY, (1-fX)fY scaled by the largest of them.
        Splat("QuarterRightHalfDown", 5, 5, 0.25, 0.5,
              {{{5, 5}, 255}, {{6, 5}, 85}, {{6, 6}, 85}, {{5, 6}, 255}}),
        Splat("ThreeQuartersRightQuarterDown", 5, 5, 0.75, 0.25,
              {{{5, 5}, 85}, {{6, 5}, 255}, {{6, 6}, 85}, {{5, 6}, 28}}),
        Splat("NegativeQuarterFloorsToPreviousPixel", 5, 5, -0.25, -0.25,
              {{{4, 4}, 28}, {{5, 4}, 85}, {{4, 5}, 85}, {{5, 5}, 255}}),
        Splat("RightBorderDropsRatherThanWraps", 11, 3, 0.5, 0, {{{11, 3}, 255}}),
        Splat("LeftBorderDropsRatherThanWraps", 0, 3, -0.5, 0, {{{0, 3}, 255}}),
        Splat("BottomBorderDrops", 4, 9, 0, 0.5, {{{4, 9}, 255}}),
        Splat("MovedOffTheImageLeavesNothing", 5, 5, 20, 0, {})),
    [](const testing::TestParamInfo<SplatCase>& info) { return std::string(info.param.name); });

// --- the zone ---------------------------------------------------------------------------------

TEST_F(TransformTest, IdentityModelCopiesZoneAndLeavesPixelsOutsideUntouched) {
  constexpr int M = 12;
  constexpr int N = 10;
  Image(M, N);
  ProgramState& s = State();
  // Zone [2, 9] x [1, 8]: triangle 0 above the diagonal (2,1)-(9,8), triangle 1 below it.
  SetGridMesh(2, 1, 7, 7, 2, 2, Shifted(0, 0));
  for (int j = 0; j < N; ++j) {
    for (int i = 0; i < M; ++i) Pixel(s.Msource, i, j) = (i * 37 + j * 11) % 250;
  }
  Pixel(s.Msource, 5, 5) = 255;
  std::fill(s.deltaX.begin(), s.deltaX.end(), -777.0);
  std::fill(s.deltaY.begin(), s.deltaY.end(), -778.0);
  std::fill(s.Area.begin(), s.Area.end(), -5);
  std::fill(s.Mtarget.begin(), s.Mtarget.end(), 9);

  EXPECT_EQ(RunTransform(M, N), 1);

  for (int j = 0; j < N; ++j) {
    for (int i = 0; i < M; ++i) {
      const int k = j * M + i;
      const bool inside = i >= 2 && i <= 9 && j >= 1 && j <= 8;
      SCOPED_TRACE(testing::Message() << "pixel " << i << "," << j);
      if (inside) {
        EXPECT_EQ(s.Mtarget[k], s.Msource[k]);
        EXPECT_EQ(s.Area[k], (j - 1 <= i - 2) ? 0 : 1);
        EXPECT_EQ(s.deltaX[k], 0.0);
        EXPECT_EQ(s.deltaY[k], 0.0);
      } else {
        EXPECT_EQ(s.Mtarget[k], 0);
        EXPECT_EQ(s.Area[k], -5);
        EXPECT_EQ(s.deltaX[k], -777.0);
        EXPECT_EQ(s.deltaY[k], -778.0);
      }
    }
  }
  EXPECT_EQ(s.iDetectedAreas.load(), N - 1);
  EXPECT_EQ(s.iProgressStatus.load(), 99);  // (100 * 119) / 120: the last pixel visited
}

// --- nothing to show ---------------------------------------------------------------------------

TEST_F(TransformTest, ImageThatReceivesNoIntensityStaysBlack) {
  constexpr int M = 9;
  constexpr int N = 7;
  struct Case {
    const char* name;
    bool mesh;
    int sourceValue;
  };
  for (const Case& c : {Case{"NoTriangles", false, 200}, Case{"DarkSource", true, 0}}) {
    SCOPED_TRACE(c.name);
    Image(M, N);
    ProgramState& s = State();
    s.NumberOfTriangles = 0;
    if (c.mesh) SetGridMesh(0, 0, M - 1, N - 1, 2, 2, Shifted(0.5, 0.5));
    std::fill(s.Msource.begin(), s.Msource.end(), c.sourceValue);
    std::fill(s.Mtarget.begin(), s.Mtarget.end(), 9);
    std::fill(s.Signal.begin(), s.Signal.end(), 3.0);

    RunTransform(M, N);

    EXPECT_EQ(std::count(s.Mtarget.begin(), s.Mtarget.end(), 0), M * N);
    EXPECT_EQ(std::count(s.Signal.begin(), s.Signal.end(), 0.0), M * N);
  }
}

TEST_F(TransformTest, ArraysSmallerThanTheImageAreLeftAlone) {
  Image(6, 5);
  ProgramState& s = State();
  SetGridMesh(0, 0, 5, 4, 2, 2, Shifted(0, 0));
  std::fill(s.Mtarget.begin(), s.Mtarget.end(), 9);
  EXPECT_EQ(RunTransform(6, 6), 1);
  EXPECT_EQ(RunTransform(0, 5), 1);
  EXPECT_EQ(std::count(s.Mtarget.begin(), s.Mtarget.end(), 9), 30);
}

// --- cancel ------------------------------------------------------------------------------------

TEST_F(TransformTest, CancelDuringTheRunKeepsTheRowsDoneScaled) {
  constexpr int M = 64;
  constexpr int N = 8192;
  constexpr int kCancelRow = 20;
  Image(M, N);
  ProgramState& s = State();
  SetGridMesh(0, 0, M - 1, N - 1, 2, 2, Shifted(0, 0));
  std::fill(s.Msource.begin(), s.Msource.end(), 100);

  // On a loaded machine this thread may not run again before the worker ends; such a run
  // proves nothing, so it is repeated (a few times at most).
  int stopRow = N - 1;
  for (int attempt = 0; attempt < 20 && stopRow >= N - 1; ++attempt) {
    std::fill(s.Mtarget.begin(), s.Mtarget.end(), 0);
    std::fill(s.Area.begin(), s.Area.end(), -5);
    s.iDetectedAreas = 0;
    s.fTerminated = 0;
    std::thread worker([] { RunTransform(M, N); });
    while (s.iDetectedAreas.load() < kCancelRow) std::this_thread::yield();
    s.fTerminated = 1;
    worker.join();
    stopRow = s.iDetectedAreas.load();
  }

  // The worker stops within the row it was in when it saw the flag.
  ASSERT_GE(stopRow, kCancelRow);
  ASSERT_LT(stopRow, N - 1) << "every run ended before the cancel arrived";
  for (int j = 0; j < N; ++j) {
    for (int i = 0; i < M; ++i) {
      const int k = j * M + i;
      if (j < stopRow) {
        ASSERT_EQ(s.Mtarget[k], 255) << i << "," << j;
        ASSERT_NE(s.Area[k], -5) << i << "," << j;
      } else if (j > stopRow) {
        ASSERT_EQ(s.Mtarget[k], 0) << i << "," << j;
        ASSERT_EQ(s.Area[k], -5) << i << "," << j;
      }
    }
  }
}

}  // namespace
}  // namespace zmr
