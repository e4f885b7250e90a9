// The fast triangulation against the exhaustive search: every slot of Tpoints (the scratch slot
// included), the counts, the progress and the log bytes must be identical on generated point
// sets, also when a second search appends to the first, the triangle list is short or the
// search is cancelled after any triangle.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <span>

#include "geometry/Triangulate.h"
#include "oracle/LiteralTriangulation.h"
#include "oracle/Outputs.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace {

using namespace zmr;

using Cloud = std::vector<std::array<double, 2>>;

// Kind 0: a lattice, square or hexagonal, with nodes left out; 1 scattered points, clustered,
// or snapped to a lattice; 2 points on one circle, regular or not, with its centre (beyond 200
// co-circular points the search visits every triple); 3 up to ten points on a tiny lattice:
// collinear, co-circular and coincident; 4 a lattice with coordinates the exact predicates do not
// take or that are not numbers. Turned, radially distorted or jittered, with pitches from 1e-42 to
// 1000, far from the origin; some with points repeated exactly or nearly, some shuffled.
// Kind 5: a few positions, or a small grid, each point repeated (in turn, in blocks or
// shuffled); 6 a jittered lattice with one or two coordinates at +-1e38 or 3e38; 7 a lattice at
// the origin with float coordinates below the predicates' range (down to 1.4e-45), or all of
// them that small; 8 points along a line in a band from 0 to 3e-4 wide, some clustered, some
// with one point further off.
Cloud MakeDegenerateCloud(int kind, std::mt19937& rng) {
  std::uniform_real_distribution<double> unit;
  std::normal_distribution<double> normal;
  const auto pick = [&](std::initializer_list<double> v) { return v.begin()[rng() % v.size()]; };
  Cloud c;
  if (kind == 5) {
    const int side = 2 + rng() % 3, copies = 2 + rng() % 3, order = rng() % 3;
    const double jitter = pick({0, 0.2});
    Cloud base;
    for (int k = 0; k < side * side; ++k)
      if (side == 2 || rng() % 4)
        base.push_back({k % side * 50 + jitter * normal(rng), k / side * 50.0});
    for (int r = 0; r < copies; ++r)
      for (std::size_t k = 0; k < base.size(); ++k)
        c.push_back(base[order ? k : (k + r) % base.size()]);
    if (order == 2) std::shuffle(c.begin(), c.end(), rng);
  } else if (kind == 6) {
    const int cols = 3 + rng() % 6, rows = 3 + rng() % 6;
    for (int k = 0; k < cols * rows; ++k)
      c.push_back({40 + k % cols * 36 + 0.3 * normal(rng), 40 + k / cols * 36 + 0.3 * normal(rng)});
    for (int k = 1 + rng() % 2; k > 0; --k)
      c[rng() % c.size()][rng() % 2] = pick({1e38, -1e38, 3e38});
  } else if (kind == 7) {
    // Computed in float: GCC 12 at -O2 drops a double -> float -> double round trip in a loop.
    const float pitch = static_cast<float>(pick({1, 10, 1e-44})),
                tiny[] = {1e-42f, -7e-44f, 1.4e-45f, 3e-41f};
    for (int k = 0; k < 25; ++k) c.push_back({k % 5 * pitch, k / 5 * pitch});
    for (int k = 1 + rng() % 4; k > 0; --k) c[rng() % c.size()][rng() % 2] = tiny[rng() % 4];
  } else {
    const double angle = unit(rng) * M_PI, step = pick({0.01, 0.15, 1}),
                 width = pick({0, 1e-9, 1e-6, 3e-4});
    const int n = 20 + rng() % 60;
    for (int k = 0; k < n; ++k) {
      const double t = rng() % 3 ? k * step : (k % 7) * step * 0.02, e = width * unit(rng);
      c.push_back({100 + t * cos(angle) - e * sin(angle), 50 + t * sin(angle) + e * cos(angle)});
    }
    if (rng() % 3 == 0) c[rng() % c.size()][1] += pick({1e-4, 0.01});
  }
  return c;
}

Cloud MakeCloud(int kind, std::mt19937& rng) {
  if (kind >= 5) return MakeDegenerateCloud(kind, rng);
  std::uniform_real_distribution<double> unit;
  std::normal_distribution<double> normal;
  const auto pick = [&](std::initializer_list<double> v) { return v.begin()[rng() % v.size()]; };
  const bool plain = kind == 2 || kind == 3 || rng() % 3 == 0;
  const double pitch = pick({10, 10.3, 7.77, 64, 0.1, 0.001, 1000, kind == 4 ? 1e-42 : 1});
  const double angle = plain ? 0 : pick({0.1, 0.785, 1.3, 2.9}), x0 = pick({0, 13.1, -4e3, 1e6});
  const double radial = plain ? 0 : pick({0, 1e-12, 1e-3}), jitter = plain ? 0 : pick({0, 0.1});
  const double extent = kind == 3 ? 2 + rng() % 4 : 40, snap = kind == 3 ? 1 : pick({0, 0, 1, 1.5});
  const double spread = snap ? 0 : pick({0, 0, 0.001, 0.3, 3});
  const int cols = 1 + rng() % 12, rows = rng() % 6 ? 1 + rng() % 12 : 1, hex = rng() % 6 == 0;
  const int sizes[] = {cols * rows * (rows == 1 ? 4 : 1), static_cast<int>(rng() % 90),
                       rng() % 50 ? 12 + static_cast<int>(rng() % 40) : 201,
                       static_cast<int>(rng() % 11), 16};
  Cloud c;
  const auto add = [&](double u, double v) {  // in pitches
    u += jitter * normal(rng), v += jitter * normal(rng);
    const double f = pitch * (1 + radial * (u * u + v * v)), C = cos(angle), S = sin(angle);
    c.push_back({x0 + f * (C * u - S * v), x0 / 3 + f * (S * u + C * v)});
  };
  double cu = 0, cv = 0;
  for (int k = 0, n = sizes[kind]; k < n; ++k) {
    const double a = 2 * M_PI * (hex ? unit(rng) : k / double(n));
    if (spread == 0 || rng() % 20 == 0) cu = unit(rng) * extent, cv = unit(rng) * extent;
    if (kind == 0 || kind == 4) {
      if (rng() % 8) add(k % cols + 0.5 * hex * (k / cols % 2), k / cols * (hex ? 0.866 : 1));
    } else if (kind == 2) {
      add(k < 2 ? 14 * k : 7 * cos(a), k < 2 ? 0 : 7 * sin(a));  // the centre, one outside
    } else {
      snap ? add(std::round(cu / snap) * snap, std::round(cv / snap) * snap)
           : add(cu + spread * normal(rng), cv + spread * normal(rng));
    }
  }
  for (int k = kind == 4 ? 1 + rng() % 3 : 0; k > 0 && !c.empty(); --k)
    c[rng() % c.size()][rng() % 2] = pick({1e45, -3e44, 1e30, INFINITY, -INFINITY, NAN});
  for (std::size_t k = 0, n = rng() % 5 || c.size() > 100 ? 0 : c.size(); k < n; ++k) {
    if (rng() % 10 < 4) c.push_back(c[k]);
    if (rng() % 10 < 3) c.push_back({c[k][0] + 1e-4 * normal(rng), c[k][1] + 1e-4 * normal(rng)});
  }
  if (rng() % 4 == 0) std::shuffle(c.begin(), c.end(), rng);
  return c;
}

// The log goes to a stream that sets fTerminated once cancelAfter triangles were logged.
int cancelAfter, logged;
std::string logText;

ssize_t WriteLog(void*, const char* buf, std::size_t size) {
  logText.append(buf, size);
  for (std::size_t k = 0; k + 1 < size; ++k) logged += buf[k] == ']' && buf[k + 1] == '\n';
  if (cancelAfter >= 0 && logged >= cancelAfter) State().fTerminated = 1;
  return size;
}

// Everything a search of c leaves: Tpoints with room for slots triangles (-1: all), the counts
// and the log, after passes searches each appending to the earlier triangles.
std::vector<oracle::Output> Outcome(decltype(Triangulate)* search, const Cloud& c, long slots,
                                    int passes) {
  logged = 0, logText.clear();
  ProgramState& s = State();
  std::vector<double> x, y;
  for (const auto& p : c) x.push_back(p[0]), y.push_back(p[1]);
  s.NumberOfPoints = c.size(), s.NumberOfTriangles = s.fTerminated = 0;
  s.iTriangles = s.iProgressStatus = -1;
  s.Tpoints.assign(3 * (slots < 0 ? 2 * s.MAXPoints : slots), -7);
  for (int pass = 0; pass < passes; ++pass) {
    s.OUT_LOG = fopencookie(nullptr, "w", {nullptr, WriteLog, nullptr, nullptr});
    std::setvbuf(s.OUT_LOG, nullptr, _IONBF, 0);
    search(s, x.data(), y.data());
    std::fclose(s.OUT_LOG);
  }
  s.OUT_LOG = nullptr;
  const long counts[] = {s.NumberOfTriangles, s.iTriangles, s.iProgressStatus};
  return {oracle::Elements("Tpoints", s.Tpoints),
          oracle::Elements("NumberOfTriangles, iTriangles, iProgressStatus", std::span(counts)),
          oracle::Text("log", logText)};
}

// Everything a search leaves, in a short triangle list for some seeds, cancelled after any
// triangle for others, or as several passes appending to the earlier triangles.
std::vector<oracle::Output> Search(decltype(Triangulate)* search, int kind, std::uint32_t seed) {
  std::mt19937 rng(seed * 101 + kind);
  const Cloud c = MakeCloud(kind, rng);
  const long slots = seed % 5 ? -1 : std::array{0, 1, 2, 17, 60, 127, 128, 129}[rng() % 8];
  const int passes = seed % 7 == 3 ? 2 + rng() % 2 : 1;
  cancelAfter = seed % 6 == 1 ? rng() % 120 : -1;
  return Outcome(search, c, slots, passes);
}

long long workLimit;
int TriangulateLimited(ProgramState& s, const double* PX, const double* PY) {
  return TriangulateWithin(s, PX, PY, workLimit);
}

class TriangulationOracleTest : public test::StateTest, public testing::WithParamInterface<int> {};

TEST_P(TriangulationOracleTest, FastSearchEqualsExhaustiveSearch) {
  for (std::uint32_t seed = 1; seed <= (GetParam() == 3 ? 300 : 30); ++seed)
    ASSERT_EQ(FirstDifference(Search(Triangulate, GetParam(), seed),
                              Search(oracle::TriangulateLiteral, GetParam(), seed)),
              "")
        << "seed " << seed;
}

INSTANTIATE_TEST_SUITE_P(Kinds, TriangulationOracleTest, testing::Range(0, 9));

class DegenerateTriangulationTest : public test::StateTest {};

// Sets that made the fast search visit every triple, or spend minutes on copies, give the
// exhaustive search's result within a small fraction of the work limit.
TEST_F(DegenerateTriangulationTest, ExhaustiveResultWithinLittleWork) {
  Cloud grid, tiny, band;
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 64; ++k)
      grid.push_back({40 + k % 8 * 36 + 0.3 * sin(k), 40 + k / 8 * 36.0});
  for (int k = 0; k < 144; ++k) {
    const float x = k % 12 * 23.0f, y = k / 12 * 23.0f;
    tiny.push_back({k == 13 ? 1e-42f : x, k == 40 ? 7e-44f : y});
  }
  for (int k = 0; k < 200; ++k) band.push_back({10 + k * 0.5, 100 + 0.3 * k * 0.5 + 1e-6 * sin(k)});
  const struct {
    const char* name;
    Cloud points;
    long long work;
  } cases[] = {{"an 8 x 8 grid three times", grid, 4000000},
               {"float coordinates below 1e-40", tiny, 2000000},
               {"200 points in a band 1e-6 wide", band, 0}};
  cancelAfter = -1;
  for (const auto& c : cases) {
    workLimit = c.work;
    const auto fast = Outcome(TriangulateLimited, c.points, -1, 1);
    for (const std::string& note : State().notes) {
      EXPECT_EQ(note.find("stopped after"), std::string::npos) << c.name << ": " << note;
    }
    EXPECT_EQ(FirstDifference(fast, Outcome(oracle::TriangulateLiteral, c.points, -1, 1)), "")
        << c.name;
    State().notes.clear();
  }
}

}  // namespace
