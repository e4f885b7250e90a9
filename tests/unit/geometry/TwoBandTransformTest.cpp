// The transformation's sweep in two bands against the one-band sweep of the same scene, pixel
// by pixel (TransformCoordinates in raster order): every sum, triangle and shift equal bit for
// bit, on a barrel grid: the two bands finish, or, with the boundary moved up so that the upper
// band's pixels cross it, give up for one sweep.
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
        GenerateGrid({.width = 160, .height = 130, .pitch = 17, .radius = 4, .distortion = -0.08});
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
    FillArrayD(s.Signal.data(), M, N, 0.0);
    EXPECT_EQ(SweepTransformInTwoBands(s, M, N, margin), expected);
    if (expected == BandSweep::kDone) {
      EXPECT_EQ(Plain(s.Signal), sum);
      EXPECT_EQ(s.iDetectedAreas, N - 1);
      EXPECT_EQ(s.iProgressStatus, 99);
    }
    RunTransform(s, M, N);  // the whole transformation, by whichever way it takes
    ArrayNormalise(sum.data(), M, N, 255.0);
    EXPECT_EQ(Plain(s.Signal), sum);
    EXPECT_EQ(Plain(s.Area), area);
    EXPECT_EQ(Plain(s.deltaX), dx);
    EXPECT_EQ(Plain(s.deltaY), dy);
  }
};

TEST_F(TwoBandTransformTest, SumsEqualOneSweepBitForBit) { ExpectTwoBands(BandSweep::kDone); }

TEST_F(TwoBandTransformTest, AnUpperPixelLandingBelowTheBoundaryMakesOneSweepAfterAll) {
  ExpectTwoBands(BandSweep::kRedo, -12);  // the boundary twelve rows above where it belongs
}

}  // namespace
}  // namespace zmr
