// The pixel-map drivers against the per-pixel search of every triangle: the triangle map, the
// transformation, the rotation and scale adjustment, the reduced shift table and the
// extrapolation's added points must leave the same bits, files and logs on generated meshes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <span>

#include "export/GridShifts.h"
#include "geometry/LeastSquare.h"
#include "geometry/RotationScale.h"
#include "geometry/Transform.h"
#include "geometry/TriangleLocation.h"
#include "geometry/TriangleMap.h"
#include "geometry/Triangulate.h"
#include "oracle/LiteralGeometry.h"
#include "oracle/Outputs.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace {

using namespace zmr;

struct Rng : std::mt19937 {
  using std::mt19937::mt19937;
  int In(int lo, int hi) { return lo + static_cast<int>((*this)() % (hi - lo + 1u)); }
  double Unit() { return ((*this)() >> 5) * 0x1p-27; }
};

// A lattice over an image of 8 to 72 pixels a side, with vertices on pixel centres and edges
// along rows and columns, or jittered (now and then only a hair across the rows), in quarter
// pixels (pixels exactly on edges), or reaching beyond the image; meshed (kind 0) along random
// diagonals, (1) by random nearby triples: overlapping, collinear and degenerate triangles, some
// vertices unbounded or not numbers, or (2) by the program itself. The vertex order is turned
// so that any edge (a vertical one too) may come first. The ideal positions follow a small
// rotation and scale, a shift and a ripple, sometimes in quarter pixels. The same scene comes
// afresh into a fresh program state on every call.
ProgramState& Load(int kind, std::uint32_t seed) {
  Rng rng(seed * 7919 + kind);
  ResetProgramState();
  ProgramState& s = State();
  EXPECT_EQ(AllocateArrays(State()), 1);
  s.cxDib = rng.In(8, 72), s.cyDib = rng.In(8, 72);
  std::vector<double> p;  // rows of measured x, y, ideal x, y
  const int mode = rng.In(0, 2), edge = 1 + 2 * (mode == 2);
  const double pitch = rng.In(3, 16), step = mode == 2 ? 1.7 * pitch : pitch, jx = mode ? 0.4 : 0;
  const double jy = rng.In(0, 3) ? jx : jx * 1e-9, q = mode == 1 && rng.In(0, 1) ? 4 : 0x1p40;
  const double x0 = mode == 2 ? -2.5 * pitch : rng.In(-2, 4) + mode * rng.Unit(), y0 = x0 / 2;
  const int nx = s.cxDib / pitch + edge, ny = s.cyDib / pitch + edge, n = nx * ny;
  for (int k = 0; k < n; ++k) {
    const double x = x0 + (k % nx + jx * (rng.Unit() - 0.5)) * step;
    p.insert(p.end(), {std::round(x * q) / q,
                       std::round((y0 + (k / nx + jy * (rng.Unit() - 0.5)) * step) * q) / q, 0, 0});
  }
  const auto tri = [&](int a, int b, int c) {  // stored with (P2 - P1) x (P3 - P1) >= 0
    const double* v[] = {&p[4 * a], &p[4 * b], &p[4 * c]};
    if ((v[1][0] - v[0][0]) * (v[2][1] - v[0][1]) < (v[1][1] - v[0][1]) * (v[2][0] - v[0][0]))
      std::swap(b, c);
    const int t[] = {a, b, c, a, b}, turn = rng.In(0, 2);
    std::copy(t + turn, t + turn + 3, &s.Tpoints[3 * s.NumberOfTriangles++]);
  };
  for (int a = 0, d = rng.In(0, 1); kind == 0 && a < n - nx; ++a, d = rng.In(0, 1))
    if (a % nx < nx - 1) tri(a, a + 1, a + nx + d), tri(a + 1 - d, a + nx + 1, a + nx);
  for (int k = kind == 1 ? rng.In(2, 60) : 0, a = 0; k > 0; --k, a = rng.In(0, n - 1))
    tri(a, (a + rng.In(0, 2 * nx)) % n, (a + rng.In(0, 2 * nx)) % n);
  for (int k = kind == 1 ? rng.In(0, 3) : 0; k > 0; --k)  // unbounded, or not a number
    p[4 * rng.In(0, n - 1) + k % 2] = (2 - k) * HUGE_VAL;
  const double a = (rng.Unit() - 0.5) * 0.06, f = 1 + (rng.Unit() - 0.5) * 0.04;
  const double c = f * cos(a), sn = f * sin(a), r = rng.In(0, 9) < 3 ? 4 : 0x1p40, w = rng.Unit();
  for (std::size_t k = 0; k < p.size(); k += 4) {
    p[k + 2] = std::round((c * p[k] - sn * p[k + 1] + w * sin(p[k + 1] * 0.2) + 3) * r) / r;
    p[k + 3] = std::round((sn * p[k] + c * p[k + 1] + w * cos(p[k] * 0.15) - 2) * r) / r;
  }
  std::copy(p.begin(), p.end(), s.PointsInput.begin());
  s.NumberOfPoints = p.size() / 4;
  if (kind == 2) MakeTriangulation(State(), 1);
  return s;
}

// Everything the drivers leave, fast or literal, each on the freshly loaded scene: the triangles
// of every pixel, mapped and searched one by one (rows one by one come with the transformation
// and adjustment); the transformation of random pixels, areas (outside the zone these must stay)
// and shifts, some runs cancelled; the rotation and scale adjustment with its log and files; the
// reduced shift table for any step and field position; the whole rows the extrapolation adds,
// against the nodes the search puts outside every triangle moved by the fitted cubic (both sides
// take the program's fit and its refusal of a singular one).
std::vector<oracle::Output> Drivers(int kind, std::uint32_t seed, bool literal) {
  using oracle::Elements;
  Rng rng(seed);
  ProgramState* s = &Load(kind, seed);
  const long M = s->cxDib, N = s->cyDib;
  std::vector<double> xs = PixelCoordinates(M), ys = PixelCoordinates(N), shift(M * N, 7.5);
  std::vector<int> map, search;  // the map, and the program's own search at every pixel
  for (std::size_t k = 0; k < xs.size() * ys.size(); ++k)
    search.push_back(literal ? oracle::FindTriangleLiteral(xs[k % M], ys[k / M])
                             : FindTrianglePI(*s, xs[k % M], ys[k / M]));
  if (literal) map = search;
  EXPECT_TRUE(literal || MapTriangles(State(), xs, ys, map));
  std::vector<oracle::Output> out = {Elements("triangle map", map),
                                     Elements("FindTrianglePI", search)};
  EXPECT_EQ(AllocateImageArrays(State(), M, N), 1);
  s->fTerminated = seed % 10 == 0;
  for (std::size_t k = 0; k < s->Area.size(); ++k)
    s->Msource[k] = rng.In(-5, 255), s->Area[k] = rng.In(-9, 9), s->deltaX[k] = rng.Unit(),
    s->deltaY[k] = -rng.Unit();
  literal ? oracle::RunTransformLiteral(M, N) : RunTransform(*s, M, N);
  const int counters[] = {s->iProgressStatus, s->iDetectedAreas};
  out.insert(out.end(), {Elements("Mtarget", s->Mtarget), Elements("Area", s->Area),
                         Elements("Signal", s->Signal), Elements("deltaX", s->deltaX),
                         Elements("deltaY", s->deltaY),
                         Elements("transform progress, lines", std::span(counters))});
  s = &Load(kind, seed);
  std::vector<double> result(4), yshift(M * N, -7.5);  // centre, rotation, scale
  std::vector<int> area(M * N, 3);
  std::remove("Trace.log"), std::remove("CorrectedPoints.txt");
  if (literal) {
    oracle::ArrayStatisticsLiteral(&result[0], &result[2], &result[3], M, N, shift.data(),
                                   yshift.data(), area.data());
  } else {
    ArrayStatistics(*s, &result[0], &result[2], &result[3], M, N, shift.data(), yshift.data(),
                    area.data());
  }
  const std::span<const double> points(s->PointsInput.data(), 4 * s->NumberOfPoints);
  const int progress[] = {s->iProgressStatus};
  out.insert(out.end(), {Elements("centre, rotation, scale", result), Elements("Xshift", shift),
                         Elements("Yshift", yshift), Elements("zone", area),
                         Elements("adjusted PointsInput", points),
                         oracle::Text("Trace.log", test::ReadFile("Trace.log")),
                         oracle::Text("CorrectedPoints.txt", test::ReadFile("CorrectedPoints.txt")),
                         Elements("adjustment progress", std::span(progress))});
  s = &Load(kind, seed), s->xoffset = rng.In(-20, 1030 - M), s->yoffset = rng.In(-20, 1030 - N);
  const int step = rng.In(1, 12);
  const int records[] = {literal ? oracle::CalculateReducedGridShiftsLiteral(M, N, step, 0)
                                 : CalculateReducedGridShifts(*s, M, N, step, 0)};
  out.insert(out.end(), {Elements("reduced table records", std::span(records)),
                         Elements("PointsOutput", s->PointsOutput)});
  s = &Load(kind, seed), s->EdgeGrid = 1 + seed % 6;
  const long before = s->NumberOfPoints, refused = AddBoundaryCalibrationPoints(State(), M, N) != 1;
  std::vector<double> added(s->PointsInput.begin() + 4 * before,
                            s->PointsInput.begin() + 4 * s->NumberOfPoints);
  if (literal && !refused) added = oracle::BoundaryPointsLiteral(M, N);
  out.push_back(Elements(refused ? "refused extrapolation" : "extrapolated rows", added));
  return out;
}

class GeometryOracleTest : public test::StateTest, public testing::WithParamInterface<int> {};

TEST_P(GeometryOracleTest, DriversEqualThePerPixelSearch) {
  for (std::uint32_t seed = 1; seed <= 15; ++seed) {
    ASSERT_EQ(FirstDifference(Drivers(GetParam(), seed, false), Drivers(GetParam(), seed, true)),
              "")
        << "seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(Meshes, GeometryOracleTest, testing::Range(0, 3));

}  // namespace
