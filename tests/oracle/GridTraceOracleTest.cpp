// The indexed nearest-spot search against the linear scan, alone on generated spot sets and
// queries, and inside whole grid-tracing runs: logs, console text, node matrix, spot arrays,
// counts and ideal grid must be identical.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "detection/GridTrace.h"
#include "oracle/LiteralGridTrace.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

struct Rng {
  explicit Rng(std::uint32_t seed) : engine(seed) {}
  int Below(int n) { return static_cast<int>(engine() % static_cast<std::uint32_t>(n)); }
  double Unit() { return (engine() >> 5) * (1.0 / 134217728.0); }
  bool Chance(int percent) { return Below(100) < percent; }
  std::mt19937 engine;
};

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct SpotSet {
  std::vector<double> x, y;
};

// Spot sets of every shape the index must survive: lattices (with ties everywhere), clusters,
// lines, coincident spots, a single spot, far outliers and coordinates that are not finite.
SpotSet MakeSpots(int shape, Rng& rng) {
  SpotSet s;
  const int n = 1 + rng.Below(300);
  for (int k = 0; k < n; ++k) {
    double x = 0, y = 0;
    switch (shape) {
      case 0:  // integer lattice, pitch 4
        x = 4.0 * rng.Below(20);
        y = 4.0 * rng.Below(20);
        break;
      case 1:  // uniform
        x = 500 * rng.Unit();
        y = 300 * rng.Unit();
        break;
      case 2:  // a few tight clusters
        x = 100.0 * rng.Below(3) + rng.Unit();
        y = 100.0 * rng.Below(3) + rng.Unit();
        break;
      case 3:  // a horizontal line
        x = 1000 * rng.Unit();
        y = 7;
        break;
      case 4:  // all on one spot
        x = 3;
        y = -2;
        break;
      default:  // uniform with outliers and values that are not finite
        x = 200 * rng.Unit();
        y = 200 * rng.Unit();
        if (rng.Chance(5)) x = rng.Chance(50) ? 1e12 : -1e9;
        if (rng.Chance(3)) y = rng.Chance(50) ? kNaN : kInf;
        if (rng.Chance(2)) x = -kInf;
        break;
    }
    s.x.push_back(x);
    s.y.push_back(y);
  }
  return s;
}

double Radius(Rng& rng, const SpotSet& s, double qx, double qy) {
  switch (rng.Below(8)) {
    case 0:
      return 0.0;
    case 1:
      return -1.0;
    case 2:
      return kNaN;
    case 3:
      return kInf;
    case 4: {  // exactly the distance of some spot: strictness decides
      const std::size_t k = static_cast<std::size_t>(rng.Below(static_cast<int>(s.x.size())));
      const double dx = s.x[k] - qx, dy = s.y[k] - qy;
      return std::sqrt(dx * dx + dy * dy);
    }
    default:
      return 0.5 + 60 * rng.Unit();
  }
}

TEST(SpotSearchOracleTest, SpotIndexFindsWhatTheLinearScanFinds) {
  Rng rng(5150);
  long found = 0;
  for (int round = 0; round < 600; ++round) {
    const SpotSet s = MakeSpots(round % 6, rng);
    const int n = static_cast<int>(s.x.size());
    std::vector<int> pd(s.x.size());
    for (int& d : pd) d = rng.Chance(30) ? 1 : 0;
    const SpotIndex index(s.x.data(), s.y.data(), n);
    for (int q = 0; q < 60; ++q) {
      double qx = 0, qy = 0;
      const int where = rng.Below(6);
      if (where < 2) {  // on or next to a spot
        const std::size_t k = static_cast<std::size_t>(rng.Below(n));
        qx = s.x[k] + (where == 0 ? 0.0 : rng.Unit() - 0.5);
        qy = s.y[k] + (where == 0 ? 0.0 : rng.Unit() - 0.5);
      } else if (where == 2) {  // half way between two spots: equal distances
        const std::size_t a = static_cast<std::size_t>(rng.Below(n));
        const std::size_t b = static_cast<std::size_t>(rng.Below(n));
        qx = (s.x[a] + s.x[b]) / 2;
        qy = (s.y[a] + s.y[b]) / 2;
      } else if (where == 3) {  // far outside
        qx = (rng.Unit() - 0.5) * 1e5;
        qy = (rng.Unit() - 0.5) * 1e5;
      } else if (where == 4) {
        qx = rng.Chance(50) ? kNaN : kInf;
        qy = 1;
      } else {
        qx = 600 * rng.Unit() - 50;
        qy = 400 * rng.Unit() - 50;
      }
      const double radius = Radius(rng, s, qx, qy);
      double want = radius;
      double got = radius;
      const int w =
          oracle::FindClosestPointLiteral(qx, qy, s.x.data(), s.y.data(), pd.data(), n, &want);
      const int g = index.FindClosest(qx, qy, pd.data(), &got);
      ASSERT_EQ(g, w) << "round " << round << " query " << qx << " " << qy << " radius " << radius;
      ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << "round " << round;
      double linear = radius;
      ASSERT_EQ(FindClosestPoint(qx, qy, s.x.data(), s.y.data(), pd.data(), n, &linear), w);
      if (w >= 0) ++found;
    }
  }
  EXPECT_GT(found, 10000);
}

// ---------------------------------------------------------------------------------------------
// Whole tracing runs.

struct Scene {
  std::vector<double> x, y;
  long width = 0, height = 0;
  double ethresh = 0.2;
  int debug = 0;
};

Scene MakeScene(int kind, std::uint32_t seed) {
  Rng rng(seed * 31 + static_cast<std::uint32_t>(kind));
  Scene scene;
  const double pitch = 6 + 30 * rng.Unit();
  const int cols = 2 + rng.Below(kind == 5 ? 70 : 30);
  const int rows = kind == 5 ? 1 + rng.Below(2) : 2 + rng.Below(30);
  const double angle = kind == 0 ? 0.0 : rng.Unit() - 0.5;
  const double barrel = kind == 2 ? 0.15 * (rng.Unit() - 0.5) : 0.0;
  const double jitter = kind >= 2 ? 0.25 * pitch : 0.0;
  const double drop = kind == 3 ? 0.05 + 0.2 * rng.Unit() : 0.0;
  const double reach = std::hypot(cols, rows) * pitch / 2;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      if (rng.Unit() < drop) continue;
      const double gx = (c - (cols - 1) / 2.0) * pitch;
      const double gy = (r - (rows - 1) / 2.0) * pitch;
      const double scale = 1 + barrel * (gx * gx + gy * gy) / (reach * reach);
      scene.x.push_back(scale * (gx * std::cos(angle) - gy * std::sin(angle)) +
                        jitter * (rng.Unit() - 0.5));
      scene.y.push_back(scale * (gx * std::sin(angle) + gy * std::cos(angle)) +
                        jitter * (rng.Unit() - 0.5));
    }
  }
  if (kind == 4) {  // spurious spots between the nodes
    const int extra = 1 + cols * rows / 6;
    for (int k = 0; k < extra; ++k) {
      scene.x.push_back((rng.Unit() - 0.5) * cols * pitch);
      scene.y.push_back((rng.Unit() - 0.5) * rows * pitch);
    }
  }
  // Into an image with a margin of a pitch, in a shuffled order.
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  for (std::size_t k = 0; k < scene.x.size(); ++k) {
    minX = std::min(minX, scene.x[k]), maxX = std::max(maxX, scene.x[k]);
    minY = std::min(minY, scene.y[k]), maxY = std::max(maxY, scene.y[k]);
  }
  for (std::size_t k = 0; k < scene.x.size(); ++k) {
    scene.x[k] += pitch - minX;
    scene.y[k] += pitch - minY;
    const std::size_t other = static_cast<std::size_t>(rng.Below(static_cast<int>(k + 1)));
    std::swap(scene.x[k], scene.x[other]);
    std::swap(scene.y[k], scene.y[other]);
  }
  scene.width = static_cast<long>(std::ceil(maxX - minX + 2 * pitch));
  scene.height = static_cast<long>(std::ceil(maxY - minY + 2 * pitch));
  const double ethreshes[] = {0.2, 0.3, 0.45, 0.6};
  scene.ethresh = ethreshes[seed % 4];
  scene.debug = static_cast<int>(seed % 5 == 0);
  return scene;
}

struct TraceRun {
  std::string log, console;
  std::vector<int> nodes, pd, pi, pj;
  std::vector<double> buffer, sx, sy, origin;
  long left = 0;
  int occupied = 0, assigned = 0;
};

TraceRun RunScene(const Scene& scene, bool literal) {
  ResetProgramState();
  EXPECT_EQ(AllocateArrays(), 1);
  ProgramState& s = State();
  s.Ethresh = scene.ethresh;
  s.DebugSwitch = scene.debug;
  s.ImageM = scene.width;
  s.ImageN = scene.height;
  // Slot 0 holds the mean of the spots in a real run; the walk never reads it.
  for (std::size_t k = 0; k < scene.x.size(); ++k) {
    s.PointsBuffer[1 + k] = scene.x[k];
    s.PointsBuffer[static_cast<std::size_t>(s.MAXPoints) + 1 + k] = scene.y[k];
  }
  s.NumberOfPoints = static_cast<long>(scene.x.size()) + 1;
  std::remove("Trace.log");
  testing::internal::CaptureStdout();
  if (literal) {
    oracle::GetGridShiftsLiteral();
  } else {
    GetGridShifts();
  }
  TraceRun r;
  r.console = testing::internal::GetCapturedStdout();
  r.log = test::ReadFile("Trace.log");
  r.nodes = s.PMatrix;
  r.pd = s.Pflag;
  r.pi = s.Pi;
  r.pj = s.Pj;
  r.buffer = s.PointsBuffer;
  r.sx = s.SX;
  r.sy = s.SY;
  r.origin = {s.Origin[0], s.Origin[1], s.ug[0], s.ug[1], s.vg[0], s.vg[1], s.Edge};
  r.left = s.NumberOfPoints;
  r.occupied = s.OccupiedPoints;
  r.assigned = s.iAssignedPoints.load();
  return r;
}

template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

TEST(SpotSearchOracleTest, WholeTracingRunsMatchTheLinearSearch) {
  test::TempDir dir;
  int partial = 0;
  for (int kind = 0; kind < 6; ++kind) {
    for (std::uint32_t seed = 1; seed <= 25; ++seed) {
      SCOPED_TRACE("kind " + std::to_string(kind) + " seed " + std::to_string(seed));
      const Scene scene = MakeScene(kind, seed);
      const TraceRun want = RunScene(scene, true);
      const TraceRun got = RunScene(scene, false);
      ASSERT_EQ(got.log, want.log);
      ASSERT_EQ(got.console, want.console);
      ASSERT_EQ(got.nodes, want.nodes);
      ASSERT_EQ(got.pd, want.pd);
      ASSERT_EQ(got.pi, want.pi);
      ASSERT_EQ(got.pj, want.pj);
      ASSERT_TRUE(SameBits(got.buffer, want.buffer));
      ASSERT_TRUE(SameBits(got.sx, want.sx));
      ASSERT_TRUE(SameBits(got.sy, want.sy));
      ASSERT_TRUE(SameBits(got.origin, want.origin));
      ASSERT_EQ(got.left, want.left);
      ASSERT_EQ(got.occupied, want.occupied);
      ASSERT_EQ(got.assigned, want.assigned);
      if (want.left > 2 && want.left < static_cast<long>(scene.x.size())) ++partial;
    }
  }
  EXPECT_GT(partial, 25);  // walks that leave spots out, not only complete or empty ones
  ResetProgramState();
}

}  // namespace
}  // namespace zmr
