// The pixel-map drivers against the per-pixel search of every triangle: the triangle map, the
// transformation, the rotation and scale adjustment, the reduced shift table and the
// extrapolation nodes must leave the same bits, files and logs on generated meshes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace {

using namespace zmr;

struct Rng : std::mt19937 {
  using std::mt19937::mt19937;
  int In(int lo, int hi) { return lo + static_cast<int>((*this)() % (hi - lo + 1u)); }
  double Unit() { return ((*this)() >> 5) * 0x1p-27; }
};

std::string Bytes(const auto& v) {
  return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof v[0]);
}

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
// of every pixel (rows one by one come with the transformation and adjustment); the transformation
// of random pixels, areas (outside the zone these must stay) and shifts, some runs cancelled; the
// rotation and scale adjustment with its log and files; the reduced shift table for any step and
// field position; the extrapolation nodes against those the search puts outside every triangle
// (both sides take the refusal of a singular fit, which comes before any node is looked at).
std::vector<std::string> Drivers(int kind, std::uint32_t seed, bool literal) {
  Rng rng(seed);
  ProgramState* s = &Load(kind, seed);
  const long M = s->cxDib, N = s->cyDib;
  std::vector<double> xs = PixelCoordinates(M), ys = PixelCoordinates(N), shift(M * N, 7.5), nodes;
  std::vector<int> map;
  EXPECT_TRUE(literal || MapTriangles(State(), xs, ys, map));
  for (std::size_t k = 0; literal && k < xs.size() * ys.size(); ++k)
    map.push_back(FindTrianglePI(State(), xs[k % M], ys[k / M]));
  std::vector<std::string> out = {Bytes(map)};
  EXPECT_EQ(AllocateImageArrays(State(), M, N), 1);
  s->fTerminated = seed % 10 == 0;
  for (std::size_t k = 0; k < s->Area.size(); ++k)
    s->Msource[k] = rng.In(-5, 255), s->Area[k] = rng.In(-9, 9), s->deltaX[k] = rng.Unit(),
    s->deltaY[k] = -rng.Unit();
  literal ? oracle::RunTransformLiteral(M, N) : RunTransform(*s, M, N);
  const int counters[] = {s->iProgressStatus, s->iDetectedAreas};
  out.insert(out.end(), {Bytes(s->Mtarget), Bytes(s->Area), Bytes(s->Signal), Bytes(s->deltaX),
                         Bytes(s->deltaY), Bytes(std::span(counters))});
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
  out.insert(out.end(), {Bytes(result), Bytes(shift), Bytes(yshift), Bytes(area), Bytes(points),
                         test::ReadFile("Trace.log"), test::ReadFile("CorrectedPoints.txt"),
                         std::to_string(s->iProgressStatus)});
  s = &Load(kind, seed), s->xoffset = rng.In(-20, 1030 - M), s->yoffset = rng.In(-20, 1030 - N);
  const int step = rng.In(1, 12);
  const int reduced = literal ? oracle::CalculateReducedGridShiftsLiteral(M, N, step, 0)
                              : CalculateReducedGridShifts(*s, M, N, step, 0);
  out.insert(out.end(), {std::to_string(reduced), Bytes(s->PointsOutput)});
  s = &Load(kind, seed), s->EdgeGrid = 1 + seed % 6;
  for (const auto& node :
       literal ? oracle::OutsideMeshNodesLiteral(M, N) : std::vector<std::array<long, 2>>{})
    nodes.insert(nodes.end(), {static_cast<double>(node[0]), static_cast<double>(node[1])});
  const long before = s->NumberOfPoints, refused = AddBoundaryCalibrationPoints(State(), M, N) != 1;
  for (long k = before; !literal && k < s->NumberOfPoints; ++k)
    nodes.insert(nodes.end(), {s->PointsInput[4 * k], s->PointsInput[4 * k + 1]});
  out.push_back(refused ? "refused" : Bytes(nodes));
  return out;
}

class GeometryOracleTest : public test::StateTest, public testing::WithParamInterface<int> {};

TEST_P(GeometryOracleTest, DriversEqualThePerPixelSearch) {
  for (std::uint32_t seed = 1; seed <= 15; ++seed) {
    ASSERT_EQ(Drivers(GetParam(), seed, false), Drivers(GetParam(), seed, true)) << "seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(Meshes, GeometryOracleTest, testing::Range(0, 3));

}  // namespace
