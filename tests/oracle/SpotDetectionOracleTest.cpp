// The fast spot detection (region growth and raster scan) against the literal sweeps on
// generated images: labels, counts, spot lists (to the bit), log lines, counters and console
// text must be identical. And the box filter before it against the mean over each window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>

#include "detection/Preprocess.h"
#include "detection/SpotDetection.h"
#include "oracle/LiteralSpotDetection.h"
#include "oracle/Outputs.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace {

using namespace zmr;

struct Image {
  long M, N;
  std::vector<int> v;
};

// Bright noise down to the threshold itself (128 is never dark at 128), or dark at 65 % (one
// huge winding region), crossed by walks that lay lines turning now and then (diagonal steps
// touch only at corners) or stamp blocks, values down to -2; or a chess board of single dark
// pixels: hundreds of regions, so the labels cycle.
Image Make(std::uint32_t seed) {
  std::mt19937 rng(seed);
  const auto in = [&](long lo, long hi) { return lo + static_cast<long>(rng() % (hi - lo + 1)); };
  const long M = in(1, 90), N = in(1, 90), dark = seed % 8 ? 0 : 65, board = seed % 9 == 0;
  Image img{M, N, std::vector<int>(M * N)};
  for (long k = 0; k < M * N; ++k)
    img.v[k] = (board && (k % M + k / M) % 2) || in(0, 99) < dark ? in(0, 127) : in(128, 255);
  for (long s = board ? 0 : in(1, 25), di = 1, dj = 0; s > 0; --s) {
    const long brush = in(0, 3) ? 1 : in(2, 12), turns = in(0, 100);
    for (long k = in (1, brush > 1 ? 3 : 200), i = in (0, M - 1), j = in(0, N - 1); k > 0;
         --k, i += di, j += dj) {
      for (long y = std::max(j, 0L); y < std::min(j + brush, N); ++y)
        for (long x = std::max(i, 0L); x < std::min(i + brush, M); ++x)
          img.v[y * M + x] = in(-2, 127);
      if (in(0, 99) < turns) di = in(-1, 1), dj = in(-1, 1);
    }
  }
  return img;
}

// Everything a scan leaves: console, log, labels, the whole spot buffers, count and counters.
std::vector<oracle::Output> Scan(decltype(FindCenters)* find, const Image& img, int dark,
                                 long area) {
  using oracle::Elements;
  ProgramState& s = State();
  std::vector<int> table(img.v.size(), kFreeLabel);
  std::vector<double> px(s.MAXPoints + 1, -7.25), py = px;
  char* log = nullptr;
  std::size_t size = 0;
  s.OUT_LOG = open_memstream(&log, &size);
  s.iDetectedAreas = s.iProgressStatus = -1;
  testing::internal::CaptureStdout();
  const int counts[] = {
      find(s, img.M, img.N, table.data(), img.v.data(), dark, area, px.data(), py.data()),
      s.iDetectedAreas, s.iProgressStatus};
  std::fclose(s.OUT_LOG), s.OUT_LOG = nullptr;
  std::vector<oracle::Output> out = {
      oracle::Text("console", testing::internal::GetCapturedStdout()),
      oracle::Text("log", std::string(log, size))};
  out.insert(out.end(),
             {Elements("labels", table), Elements("PointsX", px), Elements("PointsY", py),
              Elements("count, iDetectedAreas, iProgressStatus", std::span(counts))});
  std::free(log);
  return out;
}

using SpotDetectionOracleTest = test::StateTest;

TEST_F(SpotDetectionOracleTest, FastDetectionEqualsLiteralSweeps) {
  for (std::uint32_t seed = 1; seed <= 16; ++seed) {
    const Image img = Make(seed);
    State().MAXPoints = seed % 4 ? 5000 : seed / 4;  // some with more spots than room
    for (int threshold : {128, 11, 129}) {
      for (long minArea : {0L, -1L, 40L, img.M * img.N - 1}) {
        State().DebugSwitch = 1 - State().DebugSwitch;
        ASSERT_EQ(FirstDifference(Scan(FindCenters, img, threshold, minArea),
                                  Scan(oracle::FindCentersLiteral, img, threshold, minArea)),
                  "")
            << seed << " " << threshold << " " << minArea;
      }
    }
  }
}

// Images of 1 to 13 pixels a side, so that most windows are cut by the first or last rows and
// columns, with windows from 0 (a copy) to larger than the image, filtered into another array
// and in place; pixel values of every size, so that the sums pass 32 bits.
TEST(BoxFilterOracleTest, EveryPixelIsTheTruncatedMeanOfItsClippedWindow) {
  std::mt19937 rng(5);
  for (int round = 0; round < 400; ++round) {
    const long M = 1 + rng() % 13, N = 1 + rng() % 13, f = rng() % 9;
    std::vector<int> source(M * N), want(M * N), got(M * N, -1);
    for (int& v : source)
      v = round % 4 ? static_cast<int>(rng() % 300) - 20 : static_cast<int>(rng());
    for (long j = 0; j < N; ++j) {
      for (long i = 0; i < M; ++i) {
        long long sum = 0, count = 0;
        for (long y = std::max(0L, j - f); y <= std::min(N - 1, j + f); ++y)
          for (long x = std::max(0L, i - f); x <= std::min(M - 1, i + f); ++x)
            sum += source[y * M + x], ++count;
        want[j * M + i] = static_cast<int>(sum / count);
      }
    }
    ASSERT_EQ(ArrayFilterInt(M, N, source.data(), got.data(), f), 0);
    std::vector<int> inPlace = source;
    ASSERT_EQ(ArrayFilterInt(M, N, inPlace.data(), inPlace.data(), f), 0);
    for (long k = 0; k < M * N; ++k) {
      ASSERT_TRUE(got[k] == want[k] && inPlace[k] == want[k])
          << "pixel (" << k % M << ", " << k / M << ") of " << M << " x " << N << ", window " << f
          << ": " << got[k] << " (in place " << inPlace[k] << "), mean " << want[k];
    }
  }
}

}  // namespace
