// The transformation's sweep in two bands against the one-band sweep of the same scene, pixel
// by pixel (TransformCoordinates in raster order): every sum, triangle and shift equal bit for
// bit, on a barrel grid large enough for the normalisation's two halves: the two bands finish
// (clearing the sums themselves), or, with the boundary moved up so that the upper band's
// pixels cross it, give up for one sweep. The normalised sums and the target image are those
// of ArrayNormalise and ArrayDoubleToInt. Under ThreadSanitizer the tightest boundary also shows
// a band adding to a row the other band adds to (a two-term sum is the same in either order).
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "geometry/Transform.h"
#include "geometry/Triangulate.h"
#include "geometry/TwoBandTransform.h"
#include "gridgen/GridGen.h"
#include "state/Array.h"
#include "state/ProgramState.h"
#include "support/GridImageLoad.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

// An image array as a plain vector, to compare with one.
template <class V>
std::vector<typename V::value_type> Plain(const V& v) {
  return {v.begin(), v.end()};
}

class TwoBandTransformTest : public test::StateTest {
 protected:
  void SetUp() override {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one core: no second band";
    const GridImage grid =
        GenerateGrid({.width = 640, .height = 420, .pitch = 60, .radius = 6, .distortion = -0.08});
    ASSERT_TRUE(test::PutGridImage(grid));
    ProgramState& s = State();
    ASSERT_EQ(AllocateArrays(s), 1);
    long n = 0;
    for (const GridSpot& spot : grid.spots) {
      double* row = &s.PointsInput[4 * n++];
      // Moved up by 2.5 rows besides: the lower band's first rows land among the upper band's.
      row[0] = spot.measuredX, row[1] = spot.measuredY, row[2] = spot.idealX,
      row[3] = spot.idealY - 2.5;
    }
    s.NumberOfPoints = n;
    MakeTriangulation(s, 1);
    ASSERT_GT(s.NumberOfTriangles, 50);
  }

  // What one sweep leaves: every pixel moved in raster order into fresh arrays.
  void OneBand(std::vector<double>& sum, std::vector<int>& area, std::vector<double>& dx,
               std::vector<double>& dy) {
    const ProgramState& s = State();
    const long M = s.cxDib, N = s.cyDib;
    sum.assign(M * N, 0.0), area.assign(M * N, -7), dx.assign(M * N, 0.5), dy.assign(M * N, 0.5);
    for (long j = 0; j < N; ++j)
      for (long i = 0; i < M; ++i)
        TransformCoordinates(s, i, j, M, N, s.Msource.data(), sum.data(), area.data(), dx.data(),
                             dy.data());
  }

  void ExpectTwoBands(BandSweep expected, long margin = kBandMargin) {
    ProgramState& s = State();
    const long M = s.cxDib, N = s.cyDib;
    std::vector<double> sum, dx, dy;
    std::vector<int> area;
    OneBand(sum, area, dx, dy);
    std::fill(s.Area.begin(), s.Area.end(), -7);
    std::fill(s.deltaX.begin(), s.deltaX.end(), 0.5);
    std::fill(s.deltaY.begin(), s.deltaY.end(), 0.5);
    FillArrayD(s.Signal.data(), M, N, 7.0);  // the bands clear what they add to
    EXPECT_EQ(SweepTransformInTwoBands(s, M, N, margin), expected);
    if (expected == BandSweep::kDone) {
      EXPECT_EQ(Plain(s.Signal), sum);
      EXPECT_EQ(s.iDetectedAreas, N - 1);
      EXPECT_EQ(s.iProgressStatus, 99);
    }
    RunTransform(s, M, N);  // the whole transformation, by whichever way it takes
    ArrayNormalise(sum.data(), M, N, 255.0);
    std::vector<int> target(M * N);
    ArrayDoubleToInt(sum.data(), target.data(), M, N);
    EXPECT_EQ(Plain(s.Signal), sum);
    EXPECT_EQ(Plain(s.Mtarget), target);
    EXPECT_EQ(Plain(s.Area), area);
    EXPECT_EQ(Plain(s.deltaX), dx);
    EXPECT_EQ(Plain(s.deltaY), dy);
  }
};

// The boundary as high as the upper band allows: its lowest landings reach the row above it,
// where the lower band's additions are set aside. (The whole transformation at the end of the
// check runs at the default boundary.)
TEST_F(TwoBandTransformTest, SumsEqualOneSweepAtTheTightestBoundary) {
  ProgramState& s = State();
  long margin = kBandMargin;
  while (margin > -s.cyDib &&
         SweepTransformInTwoBands(s, s.cxDib, s.cyDib, margin - 1) == BandSweep::kDone) {
    --margin;
  }
  ASSERT_LT(margin, kBandMargin);  // the default keeps some rows to spare
  ExpectTwoBands(BandSweep::kDone, margin);
}

TEST_F(TwoBandTransformTest, AnUpperPixelLandingBelowTheBoundaryMakesOneSweepAfterAll) {
  // The boundary a quarter of the image above where it belongs, above the middle.
  ExpectTwoBands(BandSweep::kRedo, -State().cyDib / 4);
}

}  // namespace
}  // namespace zmr
