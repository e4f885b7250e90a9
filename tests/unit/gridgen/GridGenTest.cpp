#include "gridgen/GridGen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <numeric>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::FileExists;
using test::ReadBytes;
using test::ReadFile;
using test::TempDir;

int CountPresent(const GridImage& image) {
  return static_cast<int>(std::count_if(image.spots.begin(), image.spots.end(),
                                        [](const GridSpot& s) { return s.present; }));
}

int Pixel(const GridImage& image, int x, int y) {
  return image.pixels[static_cast<std::size_t>(y) * image.width + x];
}

GridImage Ramp(int width, int height) {  // pixels 0, 13, 26, ...
  GridImage image{width, height, {}, {}};
  for (int k = 0; k < width * height; ++k) image.pixels.push_back(k * 13);
  return image;
}

TEST(GridGenTest, DefaultsGiveNineteenByNineteenTurnedBarrelGrid) {
  const GridImage image = GenerateGrid(GridSpec{});
  ASSERT_EQ(image.pixels.size(), 769u * 769u);
  ASSERT_EQ(image.spots.size(), 19u * 19u);
  EXPECT_EQ(CountPresent(image), 19 * 19);
  const GridSpot& centre = image.spots[180];
  const GridSpot& right = image.spots[189];  // row 0, column 9
  ASSERT_EQ(right.row, 0);
  ASSERT_EQ(right.col, 9);
  EXPECT_EQ(centre.measuredX, 384.0);
  EXPECT_EQ(centre.measuredY, 384.0);
  EXPECT_EQ(Pixel(image, 384, 384), 40);
  // Clockwise on screen: the spot to the right of the centre moves down.
  EXPECT_NEAR(right.idealY - 384.0, 342.0 * std::sin(0.5 * std::numbers::pi / 180.0), 1e-9);
  EXPECT_NEAR(std::hypot(right.idealX - 384.0, right.idealY - 384.0), 342.0, 1e-9);
  // Barrel: pulled towards the centre by 342 * 0.02 * (342 / R)^2, R the half diagonal.
  const double pull = 342.0 * 0.02 * std::pow(342.0 / std::hypot(384.0, 384.0), 2);
  EXPECT_NEAR(std::hypot(right.measuredX - 384.0, right.measuredY - 384.0), 342.0 - pull, 1e-9);
}

TEST(GridGenTest, SameSeedGivesIdenticalImageAndDifferentSeedsDifferWithNoise) {
  GridSpec gridSpec{.width = 200, .height = 160, .noiseSigma = 4.0, .missingFraction = 0.3};
  auto withSeed = [&](std::uint32_t seed) {
    gridSpec.seed = seed;
    return GenerateGrid(gridSpec).pixels;
  };
  EXPECT_EQ(withSeed(11), withSeed(11));
  EXPECT_NE(withSeed(11), withSeed(12));
  // Without noise and missing spots the seed plays no part.
  gridSpec.noiseSigma = gridSpec.missingFraction = 0.0;
  EXPECT_EQ(withSeed(11), withSeed(99));
}

// Pins the random stream: a change here means that the images of every seed have changed
// (for example a std distribution slipped in, whose output differs between libraries).
TEST(GridGenTest, NoisyImageOfASeedIsPinned) {
  GridSpec gridSpec{.width = 48, .height = 40, .pitch = 12.0, .radius = 4.0, .noiseSigma = 6.0};
  gridSpec.missingFraction = 0.5;
  gridSpec.seed = 2024;
  const GridImage image = GenerateGrid(gridSpec);
  std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a over the pixels and the missing flags
  for (int v : image.pixels) hash = (hash ^ static_cast<std::uint64_t>(v)) * 1099511628211ULL;
  for (const GridSpot& s : image.spots) hash = (hash ^ (s.present ? 1u : 2u)) * 1099511628211ULL;
  EXPECT_EQ(hash, 1243547817717135341ULL);
}

TEST(GridGenTest, NoiseHasTheRequestedSpread) {
  const GridImage image = GenerateGrid(
      GridSpec{.width = 256, .height = 256, .noiseSigma = 5.0, .missingFraction = 1.0});
  ASSERT_EQ(CountPresent(image), 0);  // background only
  const std::vector<int>& p = image.pixels;
  const double sum = std::accumulate(p.begin(), p.end(), 0.0);
  const double sumSq = std::inner_product(p.begin(), p.end(), p.begin(), 0.0);
  const double n = static_cast<double>(image.pixels.size());
  const double mean = sum / n;
  // Rounding to integers adds 1/12 to the variance.
  EXPECT_NEAR(mean, 200.0, 0.1);
  EXPECT_NEAR(std::sqrt(sumSq / n - mean * mean - 1.0 / 12.0), 5.0, 0.1);
}

// The darkness-weighted centre of the pixels within reach of each spot.
TEST(GridGenTest, DarknessCentroidOfEverySpotIsItsMeasuredPosition) {
  const std::pair<SpotShape, std::array<double, 3>> cases[] = {
      {SpotShape::kDisc, {38.0, 13.0, 0.5}},
      {SpotShape::kDisc, {30.0, 5.3, -7.0}},
      {SpotShape::kSquare, {38.0, 11.0, 0.5}},
      {SpotShape::kSquare, {40.0, 9.0, 20.0}},
      {SpotShape::kGaussian, {64.0, 13.0, 3.0}}};  // pitch, radius, rotation
  for (const auto& [shape, p] : cases) {
    GridSpec gridSpec{.pitch = p[0], .shape = shape, .radius = p[1], .rotationDegrees = p[2]};
    gridSpec.distortion = -0.05;
    const GridImage image = GenerateGrid(gridSpec);
    ASSERT_GT(image.spots.size(), 50u);
    const double half = SpotReach(shape, p[1]) + 1.0;
    double worst = 0.0;
    for (const GridSpot& s : image.spots) {
      double w = 0.0, wx = 0.0, wy = 0.0;
      for (int y = static_cast<int>(s.measuredY - half); y <= s.measuredY + half; ++y) {
        for (int x = static_cast<int>(s.measuredX - half); x <= s.measuredX + half; ++x) {
          const double dark = gridSpec.backgroundGrey - Pixel(image, x, y);
          w += dark;
          wx += dark * x;
          wy += dark * y;
        }
      }
      ASSERT_GT(w, 0.0);
      worst = std::max(worst, std::hypot(wx / w - s.measuredX, wy / w - s.measuredY));
    }
    // Tight enough to catch samples shifted by an eighth of a pixel.
    EXPECT_LT(worst, 0.1) << SpotShapeName(shape) << " radius " << p[1];
  }
}

TEST(GridGenTest, MissingSpotsAreNotDrawn) {
  const GridImage image = GenerateGrid(GridSpec{.missingFraction = 0.25, .seed = 5});
  ASSERT_EQ(image.spots.size(), 361u);
  EXPECT_EQ(CountPresent(image), 361 - 90);  // round(0.25 * 361) left out
  for (const GridSpot& s : image.spots) {
    const int x = static_cast<int>(std::lround(s.measuredX));
    const int y = static_cast<int>(std::lround(s.measuredY));
    if (s.present) {
      EXPECT_EQ(Pixel(image, x, y), 40);
      continue;
    }
    for (int dy = -14; dy <= 14; ++dy) {
      for (int dx = -14; dx <= 14; ++dx) {
        ASSERT_EQ(Pixel(image, x + dx, y + dy), 200) << s.row << "," << s.col;
      }
    }
  }
}

// A 100 x 100 image with pitch 40 has nodes at 9.5, 49.5 and 89.5 on each axis. A spot is kept
// when it lies at least its reach + 2 from every border: either all nine or only the centre.
TEST(GridGenTest, SpotsTooNearTheBorderAreDroppedAndNotDrawn) {
  const std::tuple<SpotShape, double, std::size_t> cases[] = {
      {SpotShape::kDisc, 7.5, 9},   {SpotShape::kDisc, 7.6, 1},     {SpotShape::kSquare, 5.3, 9},
      {SpotShape::kSquare, 5.4, 1}, {SpotShape::kGaussian, 3.7, 9}, {SpotShape::kGaussian, 3.8, 1}};
  for (const auto& [shape, radius, spots] : cases) {
    GridSpec gridSpec{.width = 100, .height = 100, .pitch = 40.0, .shape = shape, .radius = radius};
    gridSpec.rotationDegrees = gridSpec.distortion = 0.0;
    const GridImage image = GenerateGrid(gridSpec);
    ASSERT_EQ(image.spots.size(), spots) << SpotShapeName(shape) << " radius " << radius;
    const double half = SpotReach(shape, radius) + 1.0;
    for (int k = 0; k < 100 * 100; ++k) {
      const int x = k % 100, y = k / 100;
      const bool nearSpot = std::any_of(image.spots.begin(), image.spots.end(), [&](auto& s) {
        return std::fabs(x - s.measuredX) <= half && std::fabs(y - s.measuredY) <= half;
      });
      if (!nearSpot) {
        ASSERT_EQ(Pixel(image, x, y), 200) << x << "," << y;
      }
    }
  }
}

TEST(GridGenFilesTest, OstrelFileHoldsGreyTimesScaleInHexSixteenPerLine) {
  TempDir dir;
  ASSERT_TRUE(WriteOstrelFile("ramp.txt", Ramp(5, 4), 16));
  EXPECT_EQ(ReadFile("ramp.txt"),
            "0 d0 1a0 270 340 410 4e0 5b0 680 750 820 8f0 9c0 a90 b60 c30\n"
            "d00 dd0 ea0 f70\n");
  // Strong noise reaches both ends of 0..255.
  const GridImage image = GenerateGrid(
      GridSpec{.width = 61, .height = 47, .pitch = 15.0, .radius = 5.0, .noiseSigma = 30.0});
  ASSERT_TRUE(WriteOstrelFile("grid.txt", image, 7));
  std::FILE* file = std::fopen("grid.txt", "r");
  ASSERT_NE(file, nullptr);
  std::vector<int> values, expected;
  for (unsigned v = 0; std::fscanf(file, "%x", &v) == 1;) values.push_back(static_cast<int>(v));
  std::fclose(file);
  for (int v : image.pixels) expected.push_back(7 * v);
  EXPECT_EQ(values, expected);
}

TEST(GridGenFilesTest, WritersRefuseWhatTheyCannotWriteFaithfully) {
  TempDir dir;
  GridImage outOfRange = Ramp(2, 2);
  outOfRange.pixels[3] = 256;
  GridImage malformed = Ramp(2, 2);
  malformed.pixels.pop_back();
  EXPECT_FALSE(WriteOstrelFile("a.txt", Ramp(2, 2), 0));
  EXPECT_FALSE(WriteOstrelFile("a.txt", Ramp(2, 2), 8421505));  // 255 times it overflows
  EXPECT_FALSE(WriteOstrelFile("a.txt", outOfRange, 16));
  EXPECT_FALSE(WriteOstrelFile("a.txt", malformed, 16));
  EXPECT_FALSE(WriteAsciiFile("a.dat", malformed));
  EXPECT_FALSE(WriteBitmapFile("a.bmp", malformed));
  EXPECT_FALSE(FileExists("a.txt") || FileExists("a.dat") || FileExists("a.bmp"));
  EXPECT_FALSE(WriteOstrelFile("no-such-folder/a.txt", Ramp(2, 2), 16));
  EXPECT_FALSE(WriteTruthFile("no-such-folder/a.txt", Ramp(2, 2)));
  EXPECT_TRUE(WriteOstrelFile("a.txt", Ramp(2, 2), 8421504));
}

TEST(GridGenFilesTest, TruthFileListsDrawnSpotsOnly) {
  TempDir dir;
  GridImage image = Ramp(2, 2);
  image.spots = {{-1, 2, 10.0, 20.5, 9.87654321, 20.0, true},
                 {0, 0, 1.0, 1.0, 1.0, 1.0, false},
                 {3, -4, 384.00004, 0.5, 383.99996, 1234.56789, true}};
  ASSERT_TRUE(WriteTruthFile("truth.txt", image));
  EXPECT_EQ(ReadFile("truth.txt"),
            "-1 2 10.0000 20.5000 9.8765 20.0000\n"
            "3 -4 384.0000 0.5000 384.0000 1234.5679\n");
}

TEST(GridGenFilesTest, AsciiAndBitmapWritersTakeWidthAsColumns) {
  TempDir dir;
  ASSERT_TRUE(WriteAsciiFile("ramp.dat", Ramp(3, 2)));
  EXPECT_EQ(ReadFile("ramp.dat"), "0 13 26 \n39 52 65 \n");
  ASSERT_TRUE(WriteBitmapFile("ramp.bmp", Ramp(3, 2)));
  const std::vector<std::uint8_t> bmp = ReadBytes("ramp.bmp");
  ASSERT_EQ(bmp.size(), 54u + 12u * 2u);
  EXPECT_EQ(bmp[18], 3);  // width
  EXPECT_EQ(bmp[22], 2);  // height
  // The top image row is the last row of the file.
  EXPECT_EQ(std::vector<std::uint8_t>(bmp.begin() + 66, bmp.end()),
            (std::vector<std::uint8_t>{0, 0, 0, 13, 13, 13, 26, 26, 26, 0, 0, 0}));
}

TEST(GridGenArgumentsTest, OptionsFillTheSpec) {
  GridGenOptions options;
  std::string error;
  ASSERT_TRUE(ParseGridGenArguments(
      {"--size",        "640x480", "--pitch",      "32",      "--shape",      "gaussian",
       "--radius",      "9.5",     "--background", "230",     "--spot",       "10",
       "--rotation",    "-2.5",    "--scale",      "1.25",    "--distortion", "0.03",
       "--noise",       "2",       "--missing",    "0.1",     "--seed",       "4294967295",
       "--count-scale", "4",       "--out",        "dir/grid"},
      &options, &error))
      << error;
  const GridSpec& s = options.gridSpec;
  EXPECT_EQ(
      std::vector<double>({1.0 * s.width, 1.0 * s.height, s.pitch, s.radius, 1.0 * s.backgroundGrey,
                           1.0 * s.spotGrey, s.rotationDegrees, s.scale, s.distortion, s.noiseSigma,
                           s.missingFraction, 1.0 * s.seed, 1.0 * s.countScale}),
      std::vector<double>({640, 480, 32, 9.5, 230, 10, -2.5, 1.25, 0.03, 2, 0.1, 4294967295.0, 4}));
  EXPECT_EQ(s.shape, SpotShape::kGaussian);
  EXPECT_EQ(options.prefix, "dir/grid");
  EXPECT_FALSE(options.help);
}

TEST(GridGenArgumentsTest, BadArgumentsGiveOneLineReasons) {
  const struct {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{"--pitch"}, "option --pitch needs a value"},
      {{"--colour", "red"}, "unknown option '--colour'"},
      {{"grid.txt"}, "unexpected argument 'grid.txt'"},
      {{"--size", "769"}, "option --size expects WIDTHxHEIGHT, got '769'"},
      {{"--size", "0x10"},
       "image size 0x10 is not allowed (1 to 32768 per side, at most 67108864 pixels)"},
      {{"--shape", "circle"}, "option --shape expects disc, gaussian or square, got 'circle'"},
      {{"--pitch", "3.5e"}, "option --pitch expects a number, got '3.5e'"},
      {{"--noise", "nan"}, "option --noise expects a number, got 'nan'"},
      {{"--spot", "12.5"}, "option --spot expects an integer, got '12.5'"},
      {{"--seed", "-1"}, "option --seed expects an integer in 0..4294967295, got '-1'"},
      {{"--out", ""}, "option --out expects a file name prefix, got ''"},
      {{"--pitch", "3"}, "pitch times scale must be at least 4 pixels"},
      {{"--radius", "40"}, "radius must be above 0 and at most pitch times scale"},
      {{"--background", "256"}, "grey levels must be in 0..255"},
      {{"--missing", "1.5"}, "missing fraction must be in 0..1"},
      {{"--count-scale", "0"}, "count scale must be in 1..8421504"},
  };
  for (const auto& c : cases) {
    GridGenOptions options;
    std::string error;
    EXPECT_FALSE(ParseGridGenArguments(c.args, &options, &error)) << c.error;
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(options.gridSpec.pitch, 38.0);  // left unchanged on failure
  }
}

TEST(GridGenArgumentsTest, HelpWinsAndUsageShowsTheDefaults) {
  GridGenOptions options;
  std::string error;
  ASSERT_TRUE(ParseGridGenArguments({"--pitch", "30", "--help", "--bogus"}, &options, &error));
  EXPECT_TRUE(options.help);
  const std::string usage = GridGenUsage();
  EXPECT_EQ(usage.rfind("usage: zmr_gridgen [options]\n", 0), 0u);
  EXPECT_NE(usage.find("--size WxH          image size in pixels (769x769)\n"), std::string::npos);
  EXPECT_NE(usage.find("--distortion K      radial distortion, negative for barrel (-0.02)\n"),
            std::string::npos);
}

}  // namespace
}  // namespace zmr
