// The fast spot detection (region growth and raster scan) against the literal sweeps on
// generated images: labels, counts, spot lists (to the bit), log lines, counters and console
// text must be identical.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>

#include "detection/SpotDetection.h"
#include "oracle/LiteralSpotDetection.h"
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

std::string Bytes(const auto& v) {
  return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof v[0]);
}

// Everything a scan leaves: console, log, labels, the whole spot buffers, count and counters.
std::vector<std::string> Scan(decltype(FindCenters)* find, const Image& img, int dark, long area) {
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
  std::vector<std::string> out = {testing::internal::GetCapturedStdout(), std::string(log, size)};
  out.insert(out.end(), {Bytes(table), Bytes(px), Bytes(py), Bytes(std::span(counts))});
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
        ASSERT_EQ(Scan(FindCenters, img, threshold, minArea),
                  Scan(oracle::FindCentersLiteral, img, threshold, minArea))
            << seed << " " << threshold << " " << minArea;
      }
    }
  }
}

}  // namespace
