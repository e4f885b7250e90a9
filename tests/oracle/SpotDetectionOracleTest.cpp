// The fast spot detection against the literal sweeps: labels, counts, spot lists (to the bit),
// log lines, counters and console text must be identical on every generated image.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "detection/SpotDetection.h"
#include "gridgen/GridGen.h"
#include "oracle/LiteralSpotDetection.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

struct TestImage {
  long M = 0;
  long N = 0;
  std::vector<int> signal;
  int& At(long i, long j) { return signal[static_cast<std::size_t>(j * M + i)]; }
  bool Inside(long i, long j) const { return i >= 0 && i < M && j >= 0 && j < N; }
};

TestImage Blank(long M, long N, int grey) {
  TestImage img;
  img.M = M;
  img.N = N;
  img.signal.assign(static_cast<std::size_t>(M * N), grey);
  return img;
}

// Our own conversions of the generator output, so the images do not depend on the library.
struct Rng {
  explicit Rng(std::uint32_t seed) : engine(seed) {}
  long Below(long n) { return static_cast<long>(engine() % static_cast<std::uint32_t>(n)); }
  long Between(long lo, long hi) { return lo + Below(hi - lo + 1); }
  std::mt19937 engine;
};

// Bright background with noise down to the threshold itself (128, never dark at 128), worms
// that wander and cross, rectangles, U-shapes open to any side, stray pixels touching only at
// corners, and dark pixels along the border; a few negative and large values besides.
TestImage Blobs(std::uint32_t seed) {
  Rng rng(seed);
  TestImage img = Blank(rng.Between(1, 90), rng.Between(1, 90), 0);
  for (int& v : img.signal) v = static_cast<int>(rng.Between(128, 255));
  const long shapes = rng.Between(1, 25);
  for (long s = 0; s < shapes; ++s) {
    long i = rng.Below(img.M);
    long j = rng.Below(img.N);
    switch (rng.Below(5)) {
      case 0: {  // worm
        const long steps = rng.Between(1, 200);
        for (long k = 0; k < steps; ++k) {
          if (img.Inside(i, j)) img.At(i, j) = static_cast<int>(rng.Between(-2, 127));
          const long dir = rng.Below(4);
          i += dir == 0 ? 1 : dir == 1 ? -1 : 0;
          j += dir == 2 ? 1 : dir == 3 ? -1 : 0;
        }
        break;
      }
      case 1: {  // filled rectangle
        const long w = rng.Between(1, 15);
        const long h = rng.Between(1, 15);
        for (long y = j; y < j + h; ++y) {
          for (long x = i; x < i + w; ++x) {
            if (img.Inside(x, y)) img.At(x, y) = static_cast<int>(rng.Between(0, 127));
          }
        }
        break;
      }
      case 2: {  // U-shape: a rectangle outline with one side left open
        const long w = rng.Between(3, 30);
        const long h = rng.Between(3, 30);
        const long open = rng.Below(4);
        for (long y = j; y < j + h; ++y) {
          for (long x = i; x < i + w; ++x) {
            const bool edge = (x == i && open != 0) || (x == i + w - 1 && open != 1) ||
                              (y == j && open != 2) || (y == j + h - 1 && open != 3);
            if (edge && img.Inside(x, y)) img.At(x, y) = 10;
          }
        }
        break;
      }
      case 3: {  // a diagonal chain of single pixels
        const long len = rng.Between(2, 20);
        const long di = rng.Below(2) == 0 ? 1 : -1;
        for (long k = 0; k < len; ++k) {
          if (img.Inside(i + k * di, j + k)) img.At(i + k * di, j + k) = 0;
        }
        break;
      }
      default: {  // a border run
        const long len = rng.Between(1, 40);
        for (long k = 0; k < len; ++k) {
          if (rng.Below(2) == 0) {
            const long y = rng.Below(2) == 0 ? 0 : img.N - 1;
            if (img.Inside(k, y)) img.At(k, y) = 127;
          } else {
            const long x = rng.Below(2) == 0 ? 0 : img.M - 1;
            if (img.Inside(x, k)) img.At(x, k) = 127;
          }
        }
        break;
      }
    }
  }
  return img;
}

// A rectangular spiral of one-pixel width winding inwards: each turn upwards or to the left
// costs the sweeps one more pass.
TestImage Spiral(long M, long N) {
  TestImage img = Blank(M, N, 220);
  long left = 0, top = 0, right = M - 1, bottom = N - 1;
  while (left <= right && top <= bottom) {
    for (long i = left; i <= right; ++i) img.At(i, top) = 30;
    for (long j = top; j <= bottom; ++j) img.At(right, j) = 30;
    for (long i = right; i >= left; --i) img.At(i, bottom) = 30;
    for (long j = bottom; j >= top + 2; --j) img.At(left, j) = 30;
    if (left + 1 <= right) img.At(left + 1, top + 2) = 30;
    left += 2;
    top += 2;
    right -= 2;
    bottom -= 2;
  }
  return img;
}

// Teeth hanging from a bar at the bottom (the first dark pixel is the top of a tooth), and
// teeth standing on a bar at the top, side by side.
TestImage Combs(long M, long N) {
  TestImage img = Blank(M, N, 200);
  for (long i = 0; i < M / 2; ++i) img.At(i, N - 1) = 0;
  for (long i = 0; i < M / 2; i += 2) {
    for (long j = (i * 7) % (N / 2); j < N; ++j) img.At(i, j) = 0;
  }
  for (long i = M / 2 + 1; i < M; ++i) img.At(i, 0) = 5;
  for (long i = M / 2 + 1; i < M; i += 3) {
    for (long j = 0; j < N - 1 - (i % 5); ++j) img.At(i, j) = 5;
  }
  return img;
}

// Dark pixels on the black squares of a chess board: every one its own region.
TestImage Checker(long M, long N) {
  TestImage img = Blank(M, N, 255);
  for (long j = 0; j < N; ++j) {
    for (long i = (j % 2); i < M; i += 2) img.At(i, j) = static_cast<int>((i * 13 + j) % 128);
  }
  return img;
}

// side x side squares at a step: more than 255 regions, so the labels cycle.
TestImage Squares(long M, long N, long side, long step) {
  TestImage img = Blank(M, N, 180);
  for (long j0 = 1; j0 + side <= N; j0 += step) {
    for (long i0 = 1; i0 + side <= M; i0 += step) {
      for (long j = j0; j < j0 + side; ++j) {
        for (long i = i0; i < i0 + side; ++i) img.At(i, j) = static_cast<int>((i + 3 * j) % 100);
      }
    }
  }
  return img;
}

// Each pixel dark with probability 65 %: one huge winding region (thousands of pixels, so the
// growth front is long) among many small ones.
TestImage Percolation(long M, long N, std::uint32_t seed) {
  Rng rng(seed);
  TestImage img = Blank(M, N, 0);
  for (int& v : img.signal) v = rng.Below(100) < 65 ? static_cast<int>(rng.Below(128)) : 250;
  return img;
}

TestImage FromGrid(const GridSpec& gridSpec) {
  const GridImage grid = GenerateGrid(gridSpec);
  TestImage img;
  img.M = grid.width;
  img.N = grid.height;
  img.signal = grid.pixels;
  return img;
}

GridSpec SmallGrid(SpotShape shape, double noise, std::uint32_t seed) {
  GridSpec gridSpec;
  gridSpec.width = 150;
  gridSpec.height = 130;
  gridSpec.pitch = 21.0;
  gridSpec.radius = 6.0;
  gridSpec.shape = shape;
  gridSpec.noiseSigma = noise;
  gridSpec.rotationDegrees = 3.0;
  gridSpec.seed = seed;
  return gridSpec;
}

struct ScanResult {
  int count = 0;
  std::vector<int> table;
  std::vector<std::uint64_t> pointsX;  // bit patterns of the whole buffers
  std::vector<std::uint64_t> pointsY;
  std::string log;
  std::string console;
  int detectedAreas = 0;
  int progress = 0;
};

std::vector<std::uint64_t> Bits(const std::vector<double>& v) {
  std::vector<std::uint64_t> bits;
  for (double d : v) bits.push_back(std::bit_cast<std::uint64_t>(d));
  return bits;
}

std::string ReadAll(std::FILE* f) {
  std::rewind(f);
  std::string text;
  for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) text.push_back(static_cast<char>(c));
  return text;
}

using FindCentersFunction = int (*)(long, long, int*, const int*, int, long, double*, double*);

ScanResult Scan(FindCentersFunction find, const TestImage& img, int threshold, long minArea) {
  ProgramState& s = State();
  ScanResult r;
  r.table.assign(img.signal.size(), kFreeLabel);
  std::vector<double> px(static_cast<std::size_t>(s.MAXPoints) + 1, -7.25);
  std::vector<double> py(px.size(), -7.25);
  s.iDetectedAreas = -1;
  s.iProgressStatus = -1;
  std::FILE* log = std::tmpfile();
  s.OUT_LOG = log;
  testing::internal::CaptureStdout();
  r.count = find(img.M, img.N, r.table.data(), img.signal.data(), threshold, minArea, px.data(),
                 py.data());
  r.console = testing::internal::GetCapturedStdout();
  s.OUT_LOG = nullptr;
  if (log != nullptr) {
    r.log = ReadAll(log);
    std::fclose(log);
  }
  r.pointsX = Bits(px);
  r.pointsY = Bits(py);
  r.detectedAreas = s.iDetectedAreas;
  r.progress = s.iProgressStatus;
  return r;
}

struct OracleCase {
  std::string name;
  std::function<TestImage()> make;
  std::vector<int> thresholds;
  std::vector<long> minAreas;
  long maxPoints = 5000;
  int minStoredSomewhere = 0;  // the case must store at least this many spots in one run
};

void PrintTo(const OracleCase& c, std::ostream* os) { *os << c.name; }

class SpotDetectionOracleTest : public test::StateTest,
                                public testing::WithParamInterface<OracleCase> {};

TEST_P(SpotDetectionOracleTest, FastScanEqualsLiteralSweeps) {
  const OracleCase& c = GetParam();
  const TestImage img = c.make();
  ASSERT_GT(img.M * img.N, 0);
  State().MAXPoints = c.maxPoints;
  int mostStored = 0;
  int debug = 0;
  for (int threshold : c.thresholds) {
    for (long minArea : c.minAreas) {
      SCOPED_TRACE("threshold " + std::to_string(threshold) + ", min area " +
                   std::to_string(minArea));
      State().DebugSwitch = debug;
      debug = 1 - debug;
      const ScanResult fast = Scan(FindCenters, img, threshold, minArea);
      const ScanResult literal = Scan(oracle::FindCentersLiteral, img, threshold, minArea);
      EXPECT_EQ(fast.count, literal.count);
      EXPECT_EQ(fast.table, literal.table);
      EXPECT_EQ(fast.pointsX, literal.pointsX);
      EXPECT_EQ(fast.pointsY, literal.pointsY);
      EXPECT_EQ(fast.log, literal.log);
      EXPECT_EQ(fast.console, "Searching for black areas \n");
      EXPECT_EQ(fast.detectedAreas, literal.detectedAreas);
      EXPECT_EQ(fast.progress, literal.progress);
      mostStored = std::max(mostStored, literal.count);
    }
  }
  EXPECT_GE(mostStored, c.minStoredSomewhere);
}

std::vector<OracleCase> OracleCases() {
  std::vector<OracleCase> cases;
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    cases.push_back({"Blobs" + std::to_string(seed),
                     [seed] { return Blobs(seed); },
                     {128, 11, 129},
                     {0, 3, 40, -1},
                     seed % 4 == 0 ? 6 : 5000,
                     0});
  }
  cases.push_back({"SpiralSquare", [] { return Spiral(41, 41); }, {128, 31}, {0, 400}, 5000, 1});
  cases.push_back({"SpiralWide", [] { return Spiral(77, 23); }, {128}, {0}, 5000, 1});
  cases.push_back({"Combs", [] { return Combs(60, 50); }, {128, 3, 6}, {0, 30}, 5000, 2});
  cases.push_back({"Checker", [] { return Checker(37, 29); }, {128, 64}, {0, 1}, 5000, 255});
  cases.push_back(
      {"ManySquares", [] { return Squares(100, 100, 3, 5); }, {128}, {8, 0, 9}, 5000, 361});
  cases.push_back(
      {"SquaresBeyondCapacity", [] { return Squares(60, 60, 2, 4); }, {128}, {3}, 20, 20});
  cases.push_back({"AllDark", [] { return Blank(120, 90, 0); }, {1, 0, -5}, {0, 10800}, 5000, 1});
  cases.push_back(
      {"Percolation", [] { return Percolation(150, 140, 9); }, {128, 64}, {0, 100}, 5000, 300});
  cases.push_back({"SinglePixel", [] { return Blank(1, 1, 7); }, {8, 7}, {0, -1}, 5000, 1});
  cases.push_back({"SingleRow", [] { return Checker(50, 1); }, {128}, {0, -1}, 5000, 25});
  cases.push_back({"SingleColumn", [] { return Checker(1, 50); }, {128}, {-1}, 40, 40});
  cases.push_back({"GridDiscs",
                   [] { return FromGrid(SmallGrid(SpotShape::kDisc, 0.0, 3)); },
                   {128, 200},
                   {40},
                   5000,
                   20});
  cases.push_back({"GridGaussianNoisy",
                   [] { return FromGrid(SmallGrid(SpotShape::kGaussian, 6.0, 4)); },
                   {128},
                   {0, 40},
                   5000,
                   20});
  cases.push_back({"GridSquares",
                   [] { return FromGrid(SmallGrid(SpotShape::kSquare, 2.0, 5)); },
                   {100},
                   {60},
                   5000,
                   20});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Generated, SpotDetectionOracleTest, testing::ValuesIn(OracleCases()),
                         [](const testing::TestParamInfo<OracleCase>& info) {
                           return info.param.name;
                         });

class DijkstraOracleTest : public test::StateTest {};

// Dijkstra alone from many start pixels (fractional ones too) with changing labels on one
// label image, as a caller other than the scan may use it.
TEST_F(DijkstraOracleTest, EqualsLiteralFromAnyStart) {
  for (std::uint32_t seed = 100; seed < 130; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const TestImage img = Blobs(seed);
    Rng rng(seed);
    const int threshold = static_cast<int>(rng.Between(1, 140));
    std::vector<int> fastTable(img.signal.size(), kFreeLabel);
    std::vector<int> literalTable = fastTable;
    for (int k = 0; k < 80; ++k) {
      const double x = static_cast<double>(rng.Below(img.M)) + 0.25 * static_cast<double>(k % 4);
      const double y = static_cast<double>(rng.Below(img.N)) + 0.5 * static_cast<double>(k % 2);
      int mark = static_cast<int>(rng.Between(-3, 300));
      if (mark == kFreeLabel) mark = 0;
      double fastX = x, fastY = y, literalX = x, literalY = y;
      const long fastArea = Dijkstra(img.M, img.N, fastTable.data(), img.signal.data(), &fastX,
                                     &fastY, threshold, mark);
      const long literalArea =
          oracle::DijkstraLiteral(img.M, img.N, literalTable.data(), img.signal.data(), &literalX,
                                  &literalY, threshold, mark);
      ASSERT_EQ(fastArea, literalArea) << "start " << x << ", " << y;
      ASSERT_EQ(std::bit_cast<std::uint64_t>(fastX), std::bit_cast<std::uint64_t>(literalX));
      ASSERT_EQ(std::bit_cast<std::uint64_t>(fastY), std::bit_cast<std::uint64_t>(literalY));
      ASSERT_EQ(fastTable, literalTable);
    }
  }
}

}  // namespace
}  // namespace zmr
