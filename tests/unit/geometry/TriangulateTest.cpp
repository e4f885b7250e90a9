// The triangulation: exact log bytes, the triangles it keeps and rejects, progress, cancel, the
// capacity guards and the helpers. Generated point sets are compared with the exhaustive search
// in the oracle tests.
#include "geometry/Triangulate.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "geometry/Delaunay.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

struct Pt {
  double x;
  double y;
};
using Tri = std::array<int, 3>;

using TriangulateTest = test::StateTest;

const char kHeader[] = "Automatic triangulation \n";

// Stores the points as calibration records (ideal = measured) for MakeTriangulation(1).
void SetPoints(const std::vector<Pt>& pts) {
  ProgramState& s = State();
  if (s.PointsInput.empty()) {
    ASSERT_EQ(AllocateArrays(), 1);
  }
  s.NumberOfPoints = static_cast<long>(pts.size());
  for (std::size_t k = 0; k < pts.size(); ++k) {
    s.PointsInput[4 * k] = s.PointsInput[4 * k + 2] = pts[k].x;
    s.PointsInput[4 * k + 1] = s.PointsInput[4 * k + 3] = pts[k].y;
  }
}

std::vector<Tri> Triangles() {
  const ProgramState& s = State();
  std::vector<Tri> out;
  for (long t = 0; t < s.NumberOfTriangles; ++t)
    out.push_back({s.Tpoints[3 * t], s.Tpoints[3 * t + 1], s.Tpoints[3 * t + 2]});
  return out;
}

std::vector<Pt> Grid(int cols, int rows, double step) {
  std::vector<Pt> pts;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) pts.push_back({c * step, r * step});
  return pts;
}

// Triangulates pts as a loaded points file does.
void RunFlag1(const std::vector<Pt>& pts) {
  SetPoints(pts);
  EXPECT_EQ(MakeTriangulation(1), 0);
  EXPECT_EQ(State().OUT_LOG, nullptr);
  EXPECT_EQ(State().iTriangles.load(), State().NumberOfTriangles);
}

struct ThreePointCase {
  const char* name;
  std::vector<Pt> pts;
  Tri stored;
  const char* logLine;
};

void PrintTo(const ThreePointCase& c, std::ostream* os) { *os << c.name; }

class ThreePointTest : public TriangulateTest,
                       public ::testing::WithParamInterface<ThreePointCase> {};

TEST_P(ThreePointTest, StoresTheOrientedTriangleAndLogsIt) {
  test::WriteFile(kTraceLogName, "left over from an earlier run\n");
  State().fTerminated = 1;  // flag 1 starts afresh
  RunFlag1(GetParam().pts);
  EXPECT_EQ(Triangles(), std::vector<Tri>{GetParam().stored});
  EXPECT_EQ(test::ReadFile(kTraceLogName), std::string(kHeader) + GetParam().logLine);
  EXPECT_EQ(State().iProgressStatus.load(), 100);  // one (i, j) pair: T = 1
}

INSTANTIATE_TEST_SUITE_P(
    BothOrientations, ThreePointTest,
    ::testing::Values(
        ThreePointCase{"Positive", {{0, 0}, {10, 0}, {0, 10}}, {0, 1, 2}, "0 [0 1 2] -> [0 1 2]\n"},
        ThreePointCase{
            "Negative", {{0, 0}, {0, 10}, {10, 0}}, {2, 1, 0}, "0 [0 1 2] -> [2 1 0]\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TriangulateTest, SquareKeepsOneDiagonalAndLogsEveryCandidate) {
  RunFlag1({{0, 0}, {10, 0}, {0, 10}, {10, 10}});
  EXPECT_EQ(Triangles(), (std::vector<Tri>{{0, 1, 2}, {3, 2, 1}}));
  EXPECT_EQ(test::ReadFile(kTraceLogName), std::string(kHeader) +
                                               "0 [0 1 2] -> [0 1 2]\n"
                                               "1 [0 1 3] ->Rejected\n"
                                               "1 [0 2 3] ->Rejected\n"
                                               "1 [1 2 3] -> [3 2 1]\n");
}

struct DegenerateCase {
  const char* name;
  std::vector<Pt> pts;
  long triangles;
};

void PrintTo(const DegenerateCase& c, std::ostream* os) { *os << c.name; }

class DegenerateTest : public TriangulateTest,
                       public ::testing::WithParamInterface<DegenerateCase> {};

TEST_P(DegenerateTest, SkipsCollinearTriplesSilently) {
  RunFlag1(GetParam().pts);
  EXPECT_EQ(State().NumberOfTriangles, GetParam().triangles);
  // Collinear triples leave no candidate line; with two points the search does not start.
  if (GetParam().triangles == 0) {
    EXPECT_EQ(test::ReadFile(kTraceLogName), GetParam().pts.size() > 2 ? kHeader : "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DegenerateTest,
    ::testing::Values(DegenerateCase{"ThreeCollinear", {{0, 0}, {5, 5}, {10, 10}}, 0},
                      DegenerateCase{"FourCollinear", {{0, 3}, {1, 3}, {7, 3}, {2, 3}}, 0},
                      // |sin| of the angle at the first point is 0.0008, below 0.001: dropped.
                      DegenerateCase{"ThinSliver", {{0, 0}, {1000, 0}, {500, 0.4}}, 0},
                      DegenerateCase{"SliverAboveLimit", {{0, 0}, {1000, 0}, {500, 0.6}}, 1},
                      DegenerateCase{"TwoPoints", {{0, 0}, {1, 1}}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TriangulateTest, Flag0AfterCancelMakesNoTriangleAndAppendsTheHeader) {
  const std::vector<Pt> pts = Grid(3, 3, 10.0);
  RunFlag1(pts);
  ASSERT_EQ(State().NumberOfTriangles, 8);
  test::WriteFile(kTraceLogName, "detection lines\n");
  State().fTerminated = 1;
  EXPECT_EQ(MakeTriangulation(0), 0);
  EXPECT_EQ(State().NumberOfTriangles, 0);
  EXPECT_EQ(State().iTriangles.load(), 0);
  EXPECT_EQ(State().fTerminated.load(), 1);
  EXPECT_EQ(test::ReadFile(kTraceLogName), std::string("detection lines\n") + kHeader);
}

TEST_F(TriangulateTest, Flag0TriangulatesThePointBufferAndAppends) {
  ASSERT_EQ(AllocateArrays(), 1);
  ProgramState& s = State();
  const std::vector<Pt> pts{{0, 0}, {0, 10}, {10, 0}};
  s.NumberOfPoints = 3;
  for (int k = 0; k < 3; ++k) {
    s.PointsBuffer[1 + k] = pts[k].x;
    s.PointsBuffer[s.MAXPoints + 1 + k] = pts[k].y;
  }
  test::WriteFile(kTraceLogName, "x\n");
  EXPECT_EQ(MakeTriangulation(0), 0);
  EXPECT_EQ(Triangles(), (std::vector<Tri>{{2, 1, 0}}));
  EXPECT_EQ(test::ReadFile(kTraceLogName), std::string("x\n") + kHeader + "0 [0 1 2] -> [2 1 0]\n");
}

TEST_F(TriangulateTest, TriangulatesWithoutALogWhenItCannotBeOpened) {
  ASSERT_EQ(::mkdir(kTraceLogName, 0700), 0);
  RunFlag1(Grid(3, 3, 10.0));
  EXPECT_EQ(State().NumberOfTriangles, 8);
}

TEST_F(TriangulateTest, CapacityIsMAXPointsMinusOne) {
  ProgramState& s = State();
  s.MAXPoints = 20;
  ASSERT_EQ(AllocateArrays(), 1);
  EXPECT_TRUE(TriangulationCapacityOk(19));
  EXPECT_FALSE(TriangulationCapacityOk(20));
  EXPECT_FALSE(TriangulationCapacityOk(-1));

  std::vector<Pt> pts = Grid(5, 4, 10.0);
  pts.pop_back();
  RunFlag1(pts);                       // 19 points fill the x and y vectors to their last element
  EXPECT_EQ(s.NumberOfTriangles, 23);  // 4 x 3 cells, one corner triangle lost

  s.NumberOfPoints = 20;
  const std::vector<double> buffer = s.PointsBuffer;
  EXPECT_EQ(MakeTriangulation(1), 0);
  EXPECT_EQ(s.NumberOfTriangles, 0);
  EXPECT_EQ(s.iTriangles.load(), 0);
  EXPECT_EQ(s.PointsBuffer, buffer);
}

TEST_F(TriangulateTest, OverlapCountsTheCrossingsOfTheFirstTriangleCrossed) {
  ASSERT_EQ(AllocateArrays(), 1);
  ProgramState& s = State();
  // Candidate (0 1 3) crosses (0 1 2) once, along the diagonals, and the triangle (4 5 6) that
  // pokes into it through edge 1-3 twice.
  const double px[] = {0, 10, 0, 10, 8, 15, 15};
  const double py[] = {0, 0, 10, 10, 2, 1, 3};
  const std::vector<Tri> orders[] = {{{4, 5, 6}, {0, 1, 2}}, {{0, 1, 2}, {4, 5, 6}}};
  const int expected[] = {2, 1};
  for (int o = 0; o < 2; ++o) {
    const Tri slots[] = {orders[o][0], orders[o][1], {0, 1, 3}};
    for (int t = 0; t < 3; ++t)
      std::copy(slots[t].begin(), slots[t].end(), s.Tpoints.begin() + 3 * t);
    s.NumberOfTriangles = 2;
    EXPECT_EQ(TestTriangleOverlap(2, px, py), expected[o]);
    s.NumberOfTriangles = 0;
    EXPECT_EQ(TestTriangleOverlap(2, px, py), 0);
  }
}

TEST(EdgeInterceptTest, CountsOnlyProperCrossings) {
  // Segment 0-1 along the x axis; segment 2-3 vertical at the x of point 2.
  struct Case {
    double x, y0, y1;
    int expected;
  } cases[] = {
      {5.0, -5.0, 5.0, 1},   // crosses in the middle
      {0.5, -5.0, 5.0, 1},   // 5 % from the end
      {0.05, -5.0, 5.0, 0},  // within 1 % of the end
      {5.0, 0.0, 5.0, 0},    // touches at its own end
      {5.0, 1.0, 5.0, 0},    // misses
      {12.0, -5.0, 5.0, 0},  // beyond the segment
  };
  for (const Case& c : cases) {
    const double px[] = {0.0, 10.0, c.x, c.x};
    const double py[] = {0.0, 0.0, c.y0, c.y1};
    EXPECT_EQ(EdgeIntercept(0, 1, 2, 3, px, py), c.expected) << c.x << " " << c.y0;
  }
  const double px[] = {0.0, 10.0, 0.0, 10.0};
  const double py[] = {0.0, 0.0, 1.0, 1.0};
  EXPECT_EQ(EdgeIntercept(0, 1, 2, 3, px, py), 0);  // parallel
}

TEST(FindIntersectionTest, ParallelLinesReportParameter1000AndLeaveThePoint) {
  const double o[2] = {0, 0}, v[2] = {1, 2}, o2[2] = {3, 0};
  double p[2] = {-7, -7}, s = 0, t = 0;
  EXPECT_EQ(FindIntersection(o, v, o2, v, p, &s, &t), 1);
  EXPECT_EQ(s, 1000.0);
  EXPECT_EQ(t, 1000.0);
  EXPECT_EQ(p[0], -7.0);
  const double w[2] = {-1, 2};
  EXPECT_EQ(FindIntersection(o, v, o2, w, p, &s, &t), 0);
  EXPECT_DOUBLE_EQ(p[0], 1.5);
  EXPECT_DOUBLE_EQ(p[1], 3.0);
}

TEST(AngleTest, MeasuresFromTheFirstVector) {
  const double o[2] = {1, 1};
  struct Case {
    double bx, by, cx, cy, degrees;
  } cases[] = {
      {2, 1, 1, 0, 90}, {2, 1, 1, 2, 270}, {2, 1, 0, 1, 180}, {2, 1, 3, 1, 360}, {2, 2, 2, 0, 90}};
  for (const Case& c : cases) {
    const double b[2] = {c.bx, c.by}, cc[2] = {c.cx, c.cy};
    EXPECT_NEAR(Angle(o, b, cc), c.degrees, 1e-9) << c.cx << " " << c.cy;
  }
}

// The exact predicates against integer arithmetic on small coordinates, scaled by powers of two
// and moved by exactly representable offsets, where floating-point evaluation alone often
// cannot decide (zero signs especially).
TEST(DelaunayPredicateTest, SignsAreExact) {
  std::mt19937 gen(7);
  for (int k = 0; k < 20000; ++k) {
    long v[8];
    for (long& c : v) c = static_cast<long>(gen() % 7) - 3;
    const long orient = (v[2] - v[0]) * (v[5] - v[1]) - (v[3] - v[1]) * (v[4] - v[0]);
    const auto lift = [&](int i) {
      const long dx = v[i] - v[6], dy = v[i + 1] - v[7];
      return std::array<long, 3>{dx, dy, dx * dx + dy * dy};
    };
    const auto a = lift(0), b = lift(2), c = lift(4);
    const long circle = a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                        a[2] * (b[0] * c[1] - b[1] * c[0]);
    const auto sign = [](long value) { return value > 0 ? 1 : value < 0 ? -1 : 0; };
    for (const auto& [scale, shift] :
         {std::pair{1.0, 0.0}, std::pair{0x1p-30, 1.0}, std::pair{0x1p20, 0x1p40}}) {
      double d[8];
      for (int i = 0; i < 8; ++i) d[i] = static_cast<double>(v[i]) * scale + shift;
      ASSERT_EQ(OrientationSign(d[0], d[1], d[2], d[3], d[4], d[5]), sign(orient));
      ASSERT_EQ(InCircleSign(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]), sign(circle));
      // For a counter-clockwise triple: is the power of the fourth point below a limit?
      if (orient > 0) {
        for (double limit : {0.0, 1.0, 2.5}) {
          ASSERT_EQ(
              PowerBelowSign(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], limit * scale * scale),
              sign(2 * circle + static_cast<long>(2 * limit) * orient));
        }
      }
    }
  }
}

// Points far apart in magnitude, where the coordinate differences themselves are rounded.
TEST(DelaunayPredicateTest, SignsAreExactForRoundedDifferences) {
  const double big = 0x1p60, tiny = 0x1p-60;
  // On the line y = x, and a hair above it.
  EXPECT_EQ(OrientationSign(-big, -big, tiny, tiny, 1, 1), 0);
  EXPECT_EQ(OrientationSign(-big, -big, tiny, tiny, 1, 1 + 0x1p-52), 1);
  EXPECT_EQ(OrientationSign(-big, -big, tiny, tiny, 1, 1 - 0x1p-53), -1);
  // The unit circle through (1, 0), (0, 1), (-1, 0): (0, -1) on it, points a hair inside and
  // outside of it, and the tiny offset of the centre inside.
  EXPECT_EQ(InCircleSign(1, 0, 0, 1, -1, 0, 0, -1), 0);
  EXPECT_EQ(InCircleSign(1, 0, 0, 1, -1, 0, tiny, -1 + 0x1p-53), 1);
  EXPECT_EQ(InCircleSign(1, 0, 0, 1, -1, 0, tiny, -1), -1);
  EXPECT_EQ(InCircleSign(1, 0, 0, 1, -1, 0, tiny, tiny), 1);
  EXPECT_EQ(PowerBelowSign(1, 0, 0, 1, -1, 0, tiny, -1, 0), -1);
  EXPECT_EQ(PowerBelowSign(1, 0, 0, 1, -1, 0, tiny, -1, 0x1p-100), 1);
}

struct DelaunayCase {
  const char* name;
  std::vector<Pt> pts;
};

void PrintTo(const DelaunayCase& c, std::ostream* os) { *os << c.name; }

// The coordinate vectors and the id list of all the points, as BuildDelaunay takes them.
struct Coords {
  explicit Coords(const std::vector<Pt>& pts) {
    for (const Pt& p : pts) {
      ids.push_back(static_cast<int>(x.size()));
      x.push_back(p.x);
      y.push_back(p.y);
    }
  }
  std::vector<double> x, y;
  std::vector<int> ids;
};

class DelaunayTest : public ::testing::TestWithParam<DelaunayCase> {};

// Every triangle counter-clockwise with an empty circumcircle (exactly), neighbours that agree
// on their shared edge, every point used, and 2N - 2 - (hull edges) triangles.
TEST_P(DelaunayTest, MeshIsATriangulationWithEmptyCircles) {
  const std::vector<Pt>& pts = GetParam().pts;
  const Coords c(pts);
  const std::vector<double>&x = c.x, &y = c.y;
  const std::atomic<int> cancel{0};
  DelaunayMesh mesh;
  ASSERT_TRUE(BuildDelaunay(x.data(), y.data(), c.ids, cancel, &mesh));
  const auto& v = mesh.vertices;
  const auto& nb = mesh.neighbours;
  long hullEdges = 0;
  std::set<int> used;
  for (long t = 0; t < mesh.Size(); ++t) {
    const int a = v[3 * t], b = v[3 * t + 1], c = v[3 * t + 2];
    EXPECT_EQ(OrientationSign(x[a], y[a], x[b], y[b], x[c], y[c]), 1) << "triangle " << t;
    for (int l = 0; l < static_cast<int>(pts.size()); ++l) {
      EXPECT_LE(InCircleSign(x[a], y[a], x[b], y[b], x[c], y[c], x[l], y[l]), 0)
          << "point " << l << " in triangle " << t;
    }
    for (int e = 0; e < 3; ++e) {
      used.insert(v[3 * t + e]);
      const int p = v[3 * t + (e + 1) % 3], q = v[3 * t + (e + 2) % 3];
      const int u = nb[3 * t + e];
      if (u < 0) {
        ++hullEdges;
        continue;
      }
      bool back = false;
      for (int f = 0; f < 3; ++f) {
        back = back ||
               (nb[3 * u + f] == t && v[3 * u + (f + 1) % 3] == q && v[3 * u + (f + 2) % 3] == p);
      }
      EXPECT_TRUE(back) << "triangles " << t << " and " << u;
    }
  }
  EXPECT_EQ(mesh.Size(), 2 * static_cast<long>(pts.size()) - 2 - hullEdges);
  EXPECT_EQ(used.size(), pts.size());
}

std::vector<Pt> Scattered(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> coord(-50.0, 50.0);
  std::vector<Pt> pts(static_cast<std::size_t>(n));
  for (Pt& p : pts) p = {coord(gen), coord(gen)};
  return pts;
}

std::vector<Pt> OnCircleAndLine() {
  std::vector<Pt> pts;
  for (int k = 0; k < 24; ++k) {
    pts.push_back({5 * std::cos(k * 0.2617993877991494), 5 * std::sin(k * 0.2617993877991494)});
  }
  for (int k = -6; k <= 6; ++k) pts.push_back({k * 1.5, 9.0});
  return pts;
}

INSTANTIATE_TEST_SUITE_P(Sets, DelaunayTest,
                         ::testing::Values(DelaunayCase{"Triangle", {{0, 0}, {1, 0}, {0, 1}}},
                                           DelaunayCase{"Scattered", Scattered(300, 1)},
                                           DelaunayCase{"CoCircularGrid", Grid(15, 12, 10.0)},
                                           DelaunayCase{"CircleAndLine", OnCircleAndLine()},
                                           DelaunayCase{"CollinearThenOff",
                                                        {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {1, 2}}},
                                           DelaunayCase{"HullWithCollinearSides", Grid(6, 2, 1.0)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DelaunayBuildTest, CollinearFewOrCancelledPointsGiveNoTriangle) {
  const std::vector<double> x{0, 1, 2, 3, 4.5}, y{1, 2, 3, 4, 5.5};
  const std::atomic<int> go{0}, stop{1};
  DelaunayMesh mesh;
  EXPECT_TRUE(BuildDelaunay(x.data(), y.data(), {0, 1, 2, 3, 4}, go, &mesh));
  EXPECT_EQ(mesh.Size(), 0);
  EXPECT_TRUE(BuildDelaunay(x.data(), y.data(), {0, 3}, go, &mesh));
  EXPECT_EQ(mesh.Size(), 0);
  const Coords c(Scattered(600, 2));
  EXPECT_FALSE(BuildDelaunay(c.x.data(), c.y.data(), c.ids, stop, &mesh));
  EXPECT_EQ(mesh.Size(), 0);
}

}  // namespace
}  // namespace zmr
