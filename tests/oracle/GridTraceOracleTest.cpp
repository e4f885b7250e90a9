// Grid tracing with the indexed nearest-spot search against the literal walk over the linear
// scan, on generated grids of spots: logs, console text, node matrix, spot arrays with their
// ideal positions, counts and ideal grid must be identical.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <span>

#include "detection/GridTrace.h"
#include "oracle/LiteralGridTrace.h"
#include "oracle/Outputs.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace {

using namespace zmr;

// A grid of spots, straight or turned, barrel-distorted, jittered, with spots left out (some
// seeds) and spurious ones between the nodes, or one or two long rows, in a shuffled order inside
// an image with a margin of a pitch, traced from the image centre or from a given start point:
// everything the walk leaves.
std::vector<oracle::Output> Trace(std::uint32_t seed, bool literal) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit;
  const double pitch = 6 + 30 * unit(rng), angle = seed % 4 ? unit(rng) - 0.5 : 0;
  const double barrel = seed % 3 ? 0 : 0.15 * unit(rng) - 0.075, jitter = seed % 5 > 1 ? 0.25 : 0;
  const int rows = seed % 7 ? 2 + rng() % 30 : 1 + rng() % 2,
            cols = 2 + rng() % (rows < 3 ? 70 : 30);
  const int nodes = cols * rows, spurious = seed % 6 ? 0 : 1 + nodes / 6;
  std::vector<std::array<double, 2>> spots;
  for (int k = 0; k < nodes + spurious; ++k) {
    const double u = (k < nodes ? k % cols : unit(rng) * cols) - cols / 2.0 + jitter * unit(rng);
    const double v = (k < nodes ? k / cols : unit(rng) * rows) - rows / 2.0 + jitter * unit(rng);
    const double f = pitch * (1 + barrel * (u * u + v * v) / (cols * cols + rows * rows));
    const double c = f * std::cos(angle), s = f * std::sin(angle);
    if (rng() % 10 >= seed % 5 / 3u) spots.push_back({c * u - s * v, s * u + c * v});
  }
  std::shuffle(spots.begin(), spots.end(), rng);
  std::array<double, 2> lo = spots[0], hi = spots[0];
  for (const auto& p : spots)
    for (int c = 0; c < 2; ++c) lo[c] = std::min(lo[c], p[c]), hi[c] = std::max(hi[c], p[c]);
  ResetProgramState();
  EXPECT_EQ(AllocateArrays(State()), 1);
  ProgramState& s = State();
  for (std::size_t k = 0; k < spots.size(); ++k) {  // slot 0 holds the mean; the walk skips it
    s.PointsBuffer[1 + k] = spots[k][0] + pitch - lo[0];
    s.PointsBuffer[s.MAXPoints + 1 + k] = spots[k][1] + pitch - lo[1];
  }
  s.NumberOfPoints = spots.size() + 1;
  s.ImageM = std::ceil(hi[0] - lo[0] + 2 * pitch);
  s.ImageN = std::ceil(hi[1] - lo[1] + 2 * pitch);
  s.Ethresh = 0.2 + 0.15 * (seed % 4), s.DebugSwitch = seed % 5 == 0;
  s.Centering = seed % 3 ? 0 : 0x21, s.InpCoor[0] = pitch * 2.5, s.InpCoor[1] = s.ImageN / 3.0;
  std::remove("Trace.log");
  testing::internal::CaptureStdout();
  literal ? oracle::GetGridShiftsLiteral() : GetGridShifts(s);
  using oracle::Elements;
  std::vector<oracle::Output> out = {
      oracle::Text("console", testing::internal::GetCapturedStdout()),
      oracle::Text("Trace.log", test::ReadFile("Trace.log"))};
  const double grid[] = {s.Origin[0], s.Origin[1], s.ug[0], s.ug[1], s.vg[0],
                         s.vg[1],     s.Edge,      s.Pc[0], s.Pc[1]};
  const long counts[] = {s.NumberOfPoints, s.OccupiedPoints, s.iAssignedPoints};
  out.insert(out.end(),
             {Elements("Origin, ug, vg, Edge, Pc", std::span(grid)),
              Elements("NumberOfPoints, OccupiedPoints, iAssignedPoints", std::span(counts)),
              Elements("PMatrix", s.PMatrix), Elements("Pflag", s.Pflag), Elements("Pi", s.Pi),
              Elements("Pj", s.Pj), Elements("SX", s.SX), Elements("SY", s.SY),
              Elements("PointsBuffer", s.PointsBuffer)});
  return out;
}

TEST(GridTraceOracleTest, WholeTracingRunsMatchTheLinearSearch) {
  test::TempDir dir;
  for (std::uint32_t seed = 1; seed <= 80; ++seed) {
    ASSERT_EQ(FirstDifference(Trace(seed, false), Trace(seed, true)), "") << "seed " << seed;
  }
  ResetProgramState();
}

}  // namespace
