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
Cloud MakeCloud(int kind, std::mt19937& rng) {
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

// Everything a search leaves, in a short triangle list for some seeds, cancelled after any
// triangle for others, or as several passes appending to the earlier triangles.
std::vector<oracle::Output> Search(decltype(Triangulate)* search, int kind, std::uint32_t seed) {
  std::mt19937 rng(seed * 101 + kind);
  const Cloud c = MakeCloud(kind, rng);
  const long slots = seed % 5 ? -1 : std::array{0, 1, 2, 17, 60, 127, 128, 129}[rng() % 8];
  const int passes = seed % 7 == 3 ? 2 + rng() % 2 : 1;
  cancelAfter = seed % 6 == 1 ? rng() % 120 : -1, logged = 0, logText.clear();
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

class TriangulationOracleTest : public test::StateTest, public testing::WithParamInterface<int> {};

TEST_P(TriangulationOracleTest, FastSearchEqualsExhaustiveSearch) {
  for (std::uint32_t seed = 1; seed <= (GetParam() == 3 ? 300 : 30); ++seed)
    ASSERT_EQ(FirstDifference(Search(Triangulate, GetParam(), seed),
                              Search(oracle::TriangulateLiteral, GetParam(), seed)),
              "")
        << "seed " << seed;
}

INSTANTIATE_TEST_SUITE_P(Kinds, TriangulationOracleTest, testing::Range(0, 5));

}  // namespace
