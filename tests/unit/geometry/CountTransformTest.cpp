// The transformations in counts on the mesh of a generated grid (its spots' measured and ideal
// positions): the flat field keeps a uniform image at its level wherever enough weight arrives,
// the conserving mode keeps the total of the zone's counts, and both take the grey levels of an
// image without counts. A cancelled run is checked with the other workers (CancellationTest).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "geometry/CountTransform.h"
#include "geometry/TriangleLocation.h"
#include "geometry/Triangulate.h"
#include "gridgen/GridGen.h"
#include "state/ProgramState.h"
#include "support/GridImageLoad.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

class CountTransformTest : public test::StateTest {
 protected:
  // A barrel grid of 201 x 181 pixels and the mesh of its spots whose measured and ideal
  // positions both lie 3 pixels inside the image, so that no splat of the zone falls off it.
  void SetUp() override {
    const GridImage grid =
        GenerateGrid({.width = 201, .height = 181, .pitch = 19, .radius = 5, .distortion = -0.05});
    ASSERT_TRUE(test::PutGridImage(grid));
    ProgramState& s = State();
    ASSERT_EQ(AllocateArrays(s), 1);
    const auto inside = [](double x, double y) { return x >= 3 && x <= 197 && y >= 3 && y <= 177; };
    long n = 0;
    for (const GridSpot& spot : grid.spots) {
      if (!inside(spot.measuredX, spot.measuredY) || !inside(spot.idealX, spot.idealY)) continue;
      double* row = &s.PointsInput[4 * n++];
      row[0] = spot.measuredX, row[1] = spot.measuredY, row[2] = spot.idealX, row[3] = spot.idealY;
    }
    s.NumberOfPoints = n;
    MakeTriangulation(s, 1);
    ASSERT_GT(s.NumberOfTriangles, 50);
    for (long j = 0; j < s.cyDib; ++j)
      for (long i = 0; i < s.cxDib; ++i) zone_.push_back(FindTrianglePI(s, i, j) != -1);
  }

  // Runs mode on counts (empty: the source has none), returns the target's counts.
  std::vector<double> Run(int mode, std::vector<double> counts) {
    ProgramState& s = State();
    s.SourceCounts = std::move(counts);
    s.notes.clear();
    const Result done = RunCountTransform(s, mode);
    EXPECT_TRUE(done.ok()) << done.message();
    EXPECT_TRUE(TargetHoldsCounts(s));  // Mtarget shows the counts
    return s.TargetCounts;
  }

  std::vector<bool> zone_;  // source pixels inside the triangulated zone
};

TEST_F(CountTransformTest, FlatFieldKeepsAUniformImageAtItsLevel) {
  const std::size_t pixels = zone_.size();
  // The conserving mode of an image of ones gives the weight that reached each target pixel.
  const std::vector<double> weight = Run(kTransformConserving, std::vector<double>(pixels, 1.0));
  const struct {
    const char* what;
    std::vector<double> counts;
    double level;
  } cases[] = {{"counts", std::vector<double>(pixels, 51400.0), 51400.0},
               {"fractional counts", std::vector<double>(pixels, 0.375), 0.375},
               // No counts: a bitmap's grey levels stand for them.
               {"grey levels", {}, 97.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.counts.empty()) State().Msource.assign(pixels, 97);
    const std::vector<double> flat = Run(kTransformFlatField, c.counts);
    long reached = 0, weak = 0;
    for (std::size_t k = 0; k < pixels; ++k) {
      // Exact but for rounding, well within the 0.5 % the flat field promises.
      const double want = weight[k] >= kFlatFieldMinimumWeight ? c.level : 0.0;
      ASSERT_NEAR(flat[k], want, 1e-9 * c.level) << "pixel " << k << ", weight " << weight[k];
      reached += want > 0, weak += weight[k] > 0 && want == 0;
    }
    EXPECT_GT(reached, std::count(zone_.begin(), zone_.end(), true) * 9 / 10);
    ASSERT_GT(weak, 0);
    EXPECT_EQ(State().notes,
              std::vector<std::string>{"flat field transformation: " + std::to_string(weak) +
                                       " target pixels reached by a total weight "
                                       "below 0.25 are set to 0"});
  }
}

TEST_F(CountTransformTest, ConservingModeKeepsTheTotalOfTheZone) {
  const std::size_t pixels = zone_.size();
  std::vector<double> ramp(pixels), uniform(pixels, 1000.0);
  for (std::size_t k = 0; k < pixels; ++k) ramp[k] = 10.0 + 0.5 * static_cast<double>(k % 201);
  const std::vector<int> grid(State().Msource.begin(), State().Msource.end());
  const struct {
    const char* what;
    std::vector<double> counts;
  } cases[] = {{"uniform", uniform}, {"ramp", ramp}, {"grid grey levels", {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    double zoneTotal = 0.0, targetTotal = 0.0;
    for (std::size_t k = 0; k < pixels; ++k)
      zoneTotal += zone_[k] ? (c.counts.empty() ? grid[k] : c.counts[k]) : 0.0;
    for (double v : Run(kTransformConserving, c.counts)) targetTotal += v;
    // Exact but for rounding, well within the 0.1 % the conserving mode promises.
    EXPECT_NEAR(targetTotal, zoneTotal, 1e-9 * zoneTotal);
    EXPECT_TRUE(State().notes.empty());
  }
}

}  // namespace
}  // namespace zmr
