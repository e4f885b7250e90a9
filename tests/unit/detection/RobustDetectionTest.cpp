// The robust detection on generated grids, whose true spot positions are known: every drawn
// spot that stands apart from the others is assigned, neighbouring nodes hold neighbouring
// spots of the grid, and the centres lie within the stated distance of the truth. Also the
// pieces that can fail quietly: the polarity vote, Otsu's split and the whole-lattice
// similarity.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "detection/robust/Background.h"
#include "detection/robust/RobustDetection.h"
#include "detection/robust/SpotCentre.h"
#include "detection/robust/SpotFinder.h"
#include "geometry/LatticeAdjustment.h"
#include "gridgen/GridGen.h"
#include "state/ProgramState.h"
#include "support/GridImageLoad.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

class RobustDetectionTest : public test::StateTest {};

// Nearest true spot of a detected centre (brute force: the grids are small).
const GridSpot* NearestTruth(const GridImage& grid, double x, double y) {
  const GridSpot* best = nullptr;
  double bestD = 1e300;
  for (const GridSpot& spot : grid.spots) {
    if (!spot.present) continue;
    const double d = std::hypot(spot.measuredX - x, spot.measuredY - y);
    if (d < bestD) {
      bestD = d;
      best = &spot;
    }
  }
  return best;
}

// Heavy noise on a ramp whose dark end leaves grey spots a contrast of 40 only, a tenth of the
// spots missing. There the noise of the rims alone allows no centre closer than about 0.03 px
// at radius 9 and 0.026 px at radius 13; the shares of the local depth keep the centre from the
// deeper side (a floor in grey levels pulled it 0.17 px that way at the dark end).
GridSpec Rough(double radius, double rotation, double distortion, bool invert = false,
               int spotGrey = 40) {
  GridSpec g = {.radius = radius, .rotationDegrees = rotation, .distortion = distortion};
  g.spotGrey = spotGrey;
  g.rampLeft = 80, g.rampRight = 230, g.invert = invert;
  g.noiseSigma = 10, g.missingFraction = 0.1;
  return g;
}

// The robust detection of the grid's image in a fresh program state.
const ProgramState& Detect(const GridImage& grid) {
  ResetProgramState();
  ProgramState& s = State();
  EXPECT_TRUE(test::PutGridImage(grid));
  EXPECT_EQ(AllocateArrays(s), 1);
  EXPECT_EQ(RunRobustDetection(s), 0);
  return s;
}

// Paints a disc of radius r about (cx, cy) into the grid's image: level where it is darker than
// what is there (darkenOnly), else level everywhere in the disc.
void PaintDisc(GridImage& grid, double cx, double cy, double r, int level, bool darkenOnly) {
  for (int y = static_cast<int>(cy - r) - 1; y <= static_cast<int>(cy + r) + 1; ++y) {
    for (int x = static_cast<int>(cx - r) - 1; x <= static_cast<int>(cx + r) + 1; ++x) {
      if (x < 0 || y < 0 || x >= grid.width || y >= grid.height) continue;
      if (std::hypot(x - cx, y - cy) > r) continue;
      int& v = grid.pixels[static_cast<std::size_t>(y) * grid.width + x];
      v = darkenOnly ? std::min(v, level) : level;
    }
  }
}

// Whether the spot lies at least margin pixels inside the image.
bool Inside(const GridImage& grid, const GridSpot& spot, double margin) {
  return spot.measuredX > margin && spot.measuredY > margin &&
         spot.measuredX < grid.width - margin && spot.measuredY < grid.height - margin;
}

// Every calibration point of the detection within 0.5 px of a drawn spot.
void ExpectEveryPointOnADrawnSpot(const GridImage& grid, const ProgramState& s) {
  const double* px = s.PointsBuffer.data() + 1;
  const double* py = s.PointsBuffer.data() + s.MAXPoints + 1;
  for (long k = 0; k < s.NumberOfPoints; ++k) {
    const GridSpot* truth = NearestTruth(grid, px[k], py[k]);
    ASSERT_NE(truth, nullptr);
    EXPECT_LT(std::hypot(truth->measuredX - px[k], truth->measuredY - py[k]), 0.5)
        << "point " << k << " at (" << px[k] << ", " << py[k] << ") is off its spot";
  }
}

TEST_F(RobustDetectionTest, GeneratedGridsAreAssignedWholeWithCentresNearTheTruth) {
  using S = SpotShape;
  const struct {
    const char* name;
    GridSpec layout;   // of 700 x 640 pixels
    double centreRms;  // largest RMS distance of the centres from the truth
  } cases[] = {
      {"small discs", {.pitch = 16, .radius = 4, .rotationDegrees = 7, .noiseSigma = 5}, 0.03},
      // A soft spot's contrast-weighted centre is noisier: its wide rim weighs with its noise.
      {"gaussian spots",
       {.pitch = 50, .shape = S::kGaussian, .radius = 10, .rotationDegrees = 7, .noiseSigma = 5},
       0.035},
      {"large squares",
       {.pitch = 80, .shape = S::kSquare, .radius = 25, .rotationDegrees = 7, .noiseSigma = 5},
       0.03},
      // Strong barrel, turned by 45 degrees. (Spots of radius 6, so that the corners' squeezed
      // spots still stand apart.)
      {"barrel on a ramp", Rough(6, 45, -0.15), 0.06},
      // Corners so squeezed that the lattice there is three times longer one way than the
      // other: each step is checked against the lattice's own step in its direction.
      {"stretched corners",
       {.pitch = 30, .radius = 3, .rotationDegrees = 30, .distortion = -0.2, .noiseSigma = 3},
       0.05},
      {"bright pincushion", Rough(9, 0, 0.10, true), 0.045},
      {"turned 23 degrees", Rough(9, 23, -0.05), 0.045},
      {"black spots on a ramp", Rough(13, 30, -0.1, false, 0), 0.03},
      // Grey spots on the ramp, whose dark end leaves them a contrast of 40 to 50: the profile
      // fit, which weighs the rims only, puts the centres 0.032 px off (the noise of the rims
      // alone allows about 0.025); the weighted centroids were 0.040 px off.
      {"grey spots on a ramp", Rough(13, 7, -0.02), 0.034},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GridSpec layout = c.layout;
    layout.width = 700;
    layout.height = 640;
    const GridImage grid = GenerateGrid(layout);
    ASSERT_GT(grid.width, 0);
    const ProgramState& s = Detect(grid);
    const double* px = s.PointsBuffer.data() + 1;
    const double* py = s.PointsBuffer.data() + s.MAXPoints + 1;

    // Every drawn spot is assigned, at least those 6 pixels or more clear of the border (a spot
    // closer may join the border through the noise, and is then left out as cut).
    const double reach = SpotReach(layout.shape, layout.radius) + 6.0;
    long drawn = 0, clear = 0, missed = 0;
    for (const GridSpot& spot : grid.spots) {
      if (!spot.present) continue;
      ++drawn;
      // A spot the distortion pressed against another is one region with it, and left out.
      bool pressed = false;
      for (const GridSpot& near : grid.spots) {
        pressed = pressed || (&near != &spot && near.present &&
                              std::hypot(near.measuredX - spot.measuredX,
                                         near.measuredY - spot.measuredY) < reach);
      }
      if (pressed || spot.measuredX < reach || spot.measuredY < reach ||
          spot.measuredX > layout.width - 1 - reach || spot.measuredY > layout.height - 1 - reach) {
        continue;
      }
      ++clear;
      bool found = false;
      for (long k = 0; k < s.NumberOfPoints && !found; ++k) {
        found = std::hypot(px[k] - spot.measuredX, py[k] - spot.measuredY) < 1.0;
      }
      missed += found ? 0 : 1;
    }
    EXPECT_LE(s.NumberOfPoints, drawn);
    EXPECT_EQ(missed, 0) << "of " << clear << " spots clear of the border";

    std::map<std::pair<int, int>, const GridSpot*> truthAt;
    double sum2 = 0.0;
    for (long k = 0; k < s.NumberOfPoints; ++k) {
      const GridSpot* truth = NearestTruth(grid, px[k], py[k]);
      ASSERT_NE(truth, nullptr);
      sum2 += std::pow(truth->measuredX - px[k], 2) + std::pow(truth->measuredY - py[k], 2);
      EXPECT_TRUE(truthAt.emplace(std::make_pair(s.Pi[k], s.Pj[k]), truth).second)
          << "two spots at node " << s.Pi[k] << " " << s.Pj[k];
    }
    EXPECT_LT(std::sqrt(sum2 / static_cast<double>(s.NumberOfPoints)), c.centreRms);
    // Neighbouring nodes hold neighbouring spots of the grid.
    long wrong = 0;
    for (const auto& [node, truth] : truthAt) {
      for (const auto& step : {std::make_pair(1, 0), std::make_pair(0, 1)}) {
        auto next = truthAt.find({node.first + step.first, node.second + step.second});
        if (next == truthAt.end()) continue;
        const int rows = std::abs(next->second->row - truth->row);
        const int cols = std::abs(next->second->col - truth->col);
        if (rows + cols != 1) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

// Decoys where spots are missing: a faint spot (0.55 of the depth) on the node itself and a
// full-depth spot half a pitch off the next missing node. Neither may take a node: the faint one
// does not stand out of the background enough, the displaced one lies beyond the distance a
// node accepts.
TEST_F(RobustDetectionTest, FaintOrDisplacedDecoysTakeNoNode) {
  GridSpec layout;  // square, upright, undistorted
  layout.width = layout.height = 640, layout.pitch = 40, layout.radius = 8;
  layout.rotationDegrees = layout.distortion = 0, layout.noiseSigma = 2,
  layout.missingFraction = 0.1;
  GridImage grid = GenerateGrid(layout);
  ASSERT_GT(grid.width, 0);
  int decoys = 0;
  for (const GridSpot& spot : grid.spots) {
    const bool inner = Inside(grid, spot, 80);
    if (spot.present || !inner) continue;
    // Background 200, spots 40: a faint decoy 88 below the background, past the threshold
    // (half the depth) but short of the peak a spot needs (0.6 of it).
    if (decoys % 2 == 0) PaintDisc(grid, spot.measuredX, spot.measuredY, layout.radius, 112, false);
    if (decoys % 2 == 1) {
      PaintDisc(grid, spot.measuredX + 0.5 * layout.pitch, spot.measuredY, layout.radius, 40,
                false);
    }
    ++decoys;
  }
  ASSERT_GE(decoys, 4);
  const ProgramState& s = Detect(grid);
  ASSERT_GT(s.NumberOfPoints, 100);
  ExpectEveryPointOnADrawnSpot(grid, s);
}

// A grey smudge under a spot, off to one side (dirt on the target), weighs on that side of the
// spot's window: such a spot is left out of the grid rather than given a centre pulled towards
// the smudge, and every other spot is assigned.
TEST_F(RobustDetectionTest, SmudgedSpotsAreLeftOutNotGivenAWrongCentre) {
  GridSpec layout;
  layout.width = layout.height = 640, layout.pitch = 40, layout.radius = 8;
  layout.rotationDegrees = 5, layout.noiseSigma = 2;
  GridImage grid = GenerateGrid(layout);
  ASSERT_GT(grid.width, 0);
  const double reach = 2.0 * layout.radius;
  std::vector<const GridSpot*> smudged;
  for (const GridSpot& spot : grid.spots) {
    const bool inner = Inside(grid, spot, 100);
    if (!inner || (spot.row + 3 * spot.col) % 7 != 0) continue;
    // Background 200, spots 40: a smudge of 140 twice the spot's size, a radius off its centre.
    PaintDisc(grid, spot.measuredX + layout.radius, spot.measuredY, reach, 140, true);
    smudged.push_back(&spot);
  }
  ASSERT_GE(smudged.size(), 10u);
  const ProgramState& s = Detect(grid);
  ExpectEveryPointOnADrawnSpot(grid, s);
  // The clean spots that stand clear of the border are all there.
  long clear = 0;
  for (const GridSpot& spot : grid.spots) clear += Inside(grid, spot, 20);
  EXPECT_GE(s.NumberOfPoints, clear - static_cast<long>(smudged.size()));
}

// A dark speck merged into a spot's rim moves the region's centre and its refined centre alike;
// the lattice through the spot's neighbours shows it, and the spot leaves its node empty.
TEST_F(RobustDetectionTest, SpecksMergedIntoSpotsLeaveTheirNodesEmpty) {
  GridSpec layout;
  layout.width = layout.height = 400, layout.pitch = 14, layout.radius = 4;
  layout.rotationDegrees = 40, layout.noiseSigma = 2, layout.distortion = -0.05;
  GridImage grid = GenerateGrid(layout);
  ASSERT_GT(grid.width, 0);
  long specked = 0;
  for (const GridSpot& spot : grid.spots) {
    const bool inner = Inside(grid, spot, 60);
    if (!inner || (spot.row + 5 * spot.col) % 11 != 0) continue;
    PaintDisc(grid, spot.measuredX + 5.0, spot.measuredY + 1.0, 2.2, 40, false);
    ++specked;
  }
  ASSERT_GE(specked, 10);
  const ProgramState& s = Detect(grid);
  ASSERT_GT(s.NumberOfPoints, 500);
  ExpectEveryPointOnADrawnSpot(grid, s);
  const double* px = s.PointsBuffer.data() + 1;
  const double* py = s.PointsBuffer.data() + s.MAXPoints + 1;
  double shiftX = 0.0, shiftY = 0.0;
  for (long k = 0; k < s.NumberOfPoints; ++k) shiftX += s.SX[k] - px[k], shiftY += s.SY[k] - py[k];
  // The start spot, nearest the centre of the barrel, is specked too: the ideal lattice goes
  // through its predicted position, so ideal and measured positions agree there on average.
  EXPECT_LT(std::hypot(shiftX, shiftY) / static_cast<double>(s.NumberOfPoints), 0.2);
}

TEST_F(RobustDetectionTest, ImageWithoutSpotsLeavesNoPointsAndSaysWhy) {
  ProgramState& s = State();
  ASSERT_EQ(AllocateImageArrays(s, 300, 200), 1);
  s.cxDib = 300;
  s.cyDib = 200;
  std::fill(s.Msource.begin(), s.Msource.end(), 128);
  ASSERT_EQ(AllocateArrays(s), 1);
  ASSERT_EQ(RunRobustDetection(s), 0);
  EXPECT_EQ(s.NumberOfPoints, 0);
  ASSERT_FALSE(s.notes.empty());
  EXPECT_NE(s.notes.back().find("no grid"), std::string::npos) << s.notes.back();
}

TEST_F(RobustDetectionTest, ValuesWithoutMeaningAreSkippedNotFollowed) {
  // An image file's counts may hold NaN and infinities: they are left out, and the grid is found.
  GridSpec layout;
  const GridImage grid = GenerateGrid(layout);
  ProgramState& s = State();
  ASSERT_TRUE(test::PutGridImage(grid));
  s.SourceCounts.assign(grid.pixels.begin(), grid.pixels.end());
  for (std::size_t k = 0; k < s.SourceCounts.size(); k += 97) s.SourceCounts[k] = NAN;
  for (std::size_t k = 13; k < s.SourceCounts.size(); k += 1009) s.SourceCounts[k] = INFINITY;
  ASSERT_EQ(AllocateArrays(s), 1);
  ASSERT_EQ(RunRobustDetection(s), 0);
  long drawn = 0;
  for (const GridSpot& spot : grid.spots) drawn += spot.present ? 1 : 0;
  EXPECT_EQ(s.NumberOfPoints, drawn);
}

TEST_F(RobustDetectionTest, WholeLatticeAdjustmentKeepsTheLatticeSquare) {
  // Points whose ideal lattice is turned and scaled against the measured one: afterwards the
  // ideal positions are a square lattice still (equal steps, right angle), now lying on the
  // measured points, and the corrected points file lists them.
  ProgramState& s = State();
  ASSERT_EQ(AllocateArrays(s), 1);
  long n = 0;
  for (int j = 0; j < 5; ++j) {
    for (int i = 0; i < 6; ++i, ++n) {
      double* row = s.PointsInput.data() + 4 * n;
      row[2] = 100 + 30 * i;
      row[3] = 80 + 30 * j;
      row[0] = 7 + 1.05 * (std::cos(0.2) * row[2] - std::sin(0.2) * row[3]);
      row[1] = -4 + 1.05 * (std::sin(0.2) * row[2] + std::cos(0.2) * row[3]);
    }
  }
  s.NumberOfPoints = n;
  MoveIdealLatticeWhole(s);
  for (long k = 0; k < n; ++k) {
    const double* row = s.PointsInput.data() + 4 * k;
    EXPECT_NEAR(row[2], row[0], 1e-9);
    EXPECT_NEAR(row[3], row[1], 1e-9);
  }
  EXPECT_NE(test::ReadFile("CorrectedPoints.txt").find('\n'), std::string::npos);
}

TEST(RobustPieces, OtsuSplitsBetweenTheTwoClasses) {
  std::vector<double> values = {1, 1, 2, 2, 3, 50, 51, 52};
  EXPECT_EQ(OtsuSplit(values), 5u);
  EXPECT_EQ(OtsuSplit({7, 7, 7}), 0u);  // one value: no split
  // Ties stay in one class.
  EXPECT_EQ(OtsuSplit({0, 0, 0, 10, 10}), 3u);
}

TEST(RobustPieces, BlocksVoteForTheMinorityAsSpots) {
  // A few bright pixels on a dark field: bright spots.
  std::vector<int> grey(64 * 64, 20);
  for (int k = 0; k < 64 * 64; k += 37) grey[k] = 220;
  PixelView view{64, 64, nullptr, grey.data()};
  EXPECT_EQ(EstimateBackground(view, 32, 1.0).polarity, -1);
  for (int& g : grey) g = 240 - g;
  EXPECT_EQ(EstimateBackground(view, 32, 1.0).polarity, 1);
  // The background level follows the majority, the depth the distance to the spots.
  const BackgroundModel model = EstimateBackground(view, 32, 1.0);
  EXPECT_DOUBLE_EQ(model.LevelAt(10, 10), 220.0);
  EXPECT_NEAR(model.DepthAt(10, 10), 200.0, 1e-9);
}

// The ring about a centre's window holds each pixel of the annulus once, and no pixel of a
// region. Where the window's chord on a row misses every pixel centre, the two stretches either
// side of it met, and two pixels were taken twice (found in review: 1.6 % of random centres).
TEST(RobustPieces, RingValuesTakeEachPixelOnceWhereTheWindowsChordIsEmpty) {
  constexpr int kSide = 60;
  std::vector<int> grey(kSide * kSide);
  for (int k = 0; k < kSide * kSide; ++k) grey[k] = k;  // each value names its pixel
  std::vector<int> labels(kSide * kSide, kNoRegion);
  for (int x = 30; x < 40; ++x) labels[30 * kSide + x] = RegionLabel(0);  // a region's row
  const PixelView view{kSide, kSide, nullptr, grey.data()};
  std::vector<float> ring;
  for (const auto& [cx, cy, window] :
       {std::tuple{20.5, 4.51, 5.5}, std::tuple{31.2, 27.9, 4.0}, std::tuple{0.3, 59.6, 3.7}}) {
    SCOPED_TRACE(cx);
    const double outer = window + 2.0;
    const std::size_t n =
        RingValues(view, labels.data(), cx, cy, window, outer, 0.0, 0.0, 0.0, ring);
    std::vector<int> got(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(n));
    std::sort(got.begin(), got.end());
    std::vector<int> expected;
    for (int k = 0; k < kSide * kSide; ++k) {
      const double d2 = std::pow(k % kSide - cx, 2) + std::pow(k / kSide - cy, 2);
      if (d2 > window * window && d2 <= outer * outer && labels[k] == kNoRegion) {
        expected.push_back(k);
      }
    }
    EXPECT_EQ(got, expected);
  }
}

// The fit of a known move is checked whole by WholeLatticeAdjustmentKeepsTheLatticeSquare.
TEST(RobustPieces, LatticeSimilarityOfAlikeIdealPositionsIsRefused) {
  double s = 7, a = 0, x = 0, y = 0;
  // All ideal positions alike: no similarity, outputs untouched.
  const double same[8] = {1, 2, 5, 5, 3, 4, 5, 5};
  EXPECT_FALSE(FitLatticeSimilarity(same, 2, &s, &a, &x, &y));
  EXPECT_EQ(s, 7);
}

// Spots that flatten and shrink from left to right, as a fisheye's do towards the rim: from
// round discs of radius 9 to ellipses three times wider than high with a third of the area.
// Each differs little from its neighbours, so all of them are spots, though the flattest are
// far from the typical spot.
TEST_F(RobustDetectionTest, SpotsThatFlattenGraduallyAreAllKept) {
  GridImage grid;
  grid.width = 720;
  grid.height = 400;
  grid.pixels.assign(static_cast<std::size_t>(grid.width) * grid.height, 200);
  long drawn = 0;
  for (double cy = 40.5; cy < grid.height - 30; cy += 36.0) {
    for (double cx = 40.5; cx < grid.width - 30; cx += 36.0) {
      const double t = (cx - 40.5) / (grid.width - 80.0);  // 0 at the left, 1 at the right
      const double a = 9.0 * (1.0 - 0.1 * t);              // half width
      const double b = a / (1.0 + 2.0 * t);                // half height
      for (int y = static_cast<int>(cy - b) - 1; y <= static_cast<int>(cy + b) + 1; ++y) {
        for (int x = static_cast<int>(cx - a) - 1; x <= static_cast<int>(cx + a) + 1; ++x) {
          if (std::pow((x - cx) / a, 2) + std::pow((y - cy) / b, 2) <= 1.0) {
            grid.pixels[static_cast<std::size_t>(y) * grid.width + x] = 40;
          }
        }
      }
      ++drawn;
    }
  }
  EXPECT_EQ(Detect(grid).NumberOfPoints, drawn);
}

}  // namespace
}  // namespace zmr
