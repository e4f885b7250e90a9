// Triangle location and affine interpolation: which triangle a position falls in (lowest index
// on shared edges and vertices, -1 outside), the three interpolation routes against a known
// affine field, the side test and the clipped accumulation.
#include "geometry/TriangleLocation.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using Vec = std::array<double, 2>;
using Tri = std::array<int, 3>;

// The displacement field the tests interpolate: affine, so every route must reproduce it.
Vec Field(double x, double y) { return {0.5 * x - 0.25 * y + 3.0, -0.125 * x + 0.75 * y - 2.0}; }

// Points carry measured (x, y) and ideal = measured + Field.
void SetMesh(const std::vector<Vec>& pts, const std::vector<Tri>& tris) {
  ProgramState& s = State();
  if (s.PointsInput.empty()) {
    ASSERT_EQ(AllocateArrays(), 1);
  }
  s.NumberOfPoints = static_cast<long>(pts.size());
  for (std::size_t k = 0; k < pts.size(); ++k) {
    const Vec d = Field(pts[k][0], pts[k][1]);
    s.PointsInput[4 * k] = pts[k][0];
    s.PointsInput[4 * k + 1] = pts[k][1];
    s.PointsInput[4 * k + 2] = pts[k][0] + d[0];
    s.PointsInput[4 * k + 3] = pts[k][1] + d[1];
  }
  s.NumberOfTriangles = static_cast<long>(tris.size());
  for (std::size_t t = 0; t < tris.size(); ++t)
    for (int v = 0; v < 3; ++v) s.Tpoints[3 * t + v] = tris[t][v];
}

// A unit square split into triangles 3 (A B C) and 7 (D C B) along the diagonal B-C, and six
// copies of a far triangle E F G in the other slots.
const std::vector<Vec> kPoints = {{0, 0},     {10, 0},    {0, 10},   {10, 10},
                                  {100, 100}, {110, 100}, {100, 110}};
const std::vector<Tri> kTriangles = {{4, 5, 6}, {4, 5, 6}, {4, 5, 6}, {0, 1, 2},
                                     {4, 5, 6}, {4, 5, 6}, {4, 5, 6}, {3, 2, 1}};

using TriangleLocationTest = test::StateTest;

TEST_F(TriangleLocationTest, FindsTheLowestIndexThatHoldsThePosition) {
  SetMesh(kPoints, kTriangles);
  // FindTriangle must read the vectors it is given: shift them away from PointsInput.
  std::vector<double> px, py;
  for (const Vec& p : kPoints) {
    px.push_back(p[0] + 1000);
    py.push_back(p[1] + 1000);
  }
  struct Case {
    double x, y;
    long expected;
  } cases[] = {
      {5, 5, 3},                                     // on the shared edge
      {2, 2, 3},       {7, 7, 7},       {10, 0, 3},  // vertex B, shared
      {10, 10, 7},     {0, 0, 3},       {102, 102, 0},   {50, 50, -1},
      {-0.001, 5, -1}, {10.001, 5, -1}, {5, 10.001, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindTrianglePI(c.x, c.y), c.expected) << c.x << " " << c.y;
    EXPECT_EQ(FindTriangle(c.x + 1000, c.y + 1000, px.data(), py.data()), c.expected);
  }
}

TEST_F(TriangleLocationTest, NoTrianglesMeansOutside) {
  SetMesh(kPoints, {});
  const double px[] = {0, 10, 0}, py[] = {0, 0, 10};
  EXPECT_EQ(FindTrianglePI(1, 1), -1);
  EXPECT_EQ(FindTriangle(1, 1, px, py), -1);
}

struct AffineCase {
  const char* name;
  Vec p1, p2, p3;
  int verticalBranch;
};

void PrintTo(const AffineCase& c, std::ostream* os) { *os << c.name; }

class AffineTest : public TriangleLocationTest, public ::testing::WithParamInterface<AffineCase> {};

TEST_P(AffineTest, AllRoutesReproduceAnAffineField) {
  const AffineCase& c = GetParam();
  SetMesh({c.p1, c.p2, c.p3}, {{0, 1, 2}});
  const Vec d1 = Field(c.p1[0], c.p1[1]), d2 = Field(c.p2[0], c.p2[1]),
            d3 = Field(c.p3[0], c.p3[1]);
  double cx[3], cy[3];
  EXPECT_EQ(GetCoefficients(cx, c.p1.data(), c.p2.data(), c.p3.data(), d1.data(), d2.data(),
                            d3.data(), 0),
            c.verticalBranch);
  GetCoefficients(cy, c.p1.data(), c.p2.data(), c.p3.data(), d1.data(), d2.data(), d3.data(), 1);
  const double expectedX[3] = {0.5, -0.25, 3.0}, expectedY[3] = {-0.125, 0.75, -2.0};
  for (int q = 0; q < 3; ++q) {
    EXPECT_NEAR(cx[q], expectedX[q], 1e-12);
    EXPECT_NEAR(cy[q], expectedY[q], 1e-12);
  }
  // Inside, on an edge, and at each vertex.
  for (const Vec& w : {Vec{1.0 / 3, 1.0 / 3}, Vec{0.7, 0.1}, Vec{0.05, 0.9}, Vec{0.5, 0.5},
                       Vec{1, 0}, Vec{0, 1}, Vec{0, 0}}) {
    const double p0[2] = {w[0] * c.p1[0] + w[1] * c.p2[0] + (1 - w[0] - w[1]) * c.p3[0],
                          w[0] * c.p1[1] + w[1] * c.p2[1] + (1 - w[0] - w[1]) * c.p3[1]};
    ASSERT_EQ(FindTrianglePI(p0[0], p0[1]), 0);
    double viaRows[2], viaVertices[2];
    ApproximateShiftsT(p0, viaRows, 0);
    ApproximateShift(p0, viaVertices, c.p1.data(), c.p2.data(), c.p3.data(), d1.data(), d2.data(),
                     d3.data());
    const Vec expected = Field(p0[0], p0[1]);
    for (int a = 0; a < 2; ++a) {
      EXPECT_NEAR(viaRows[a], expected[a], 1e-10);
      EXPECT_NEAR(viaVertices[a], viaRows[a], 1e-10);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Triangles, AffineTest,
    ::testing::Values(AffineCase{"VerticalFirstEdge", {20, 10}, {20, 30}, {5, 17.5}, 1},
                      AffineCase{"General", {1.5, 2.25}, {11.75, 3.5}, {4.25, 12.5}, 0},
                      AffineCase{"VerticalLastEdge", {300.5, 40}, {310, 52}, {300.5, 60}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IsToTheRightTest, TellsTheSideOnTheScreen) {
  const double u1[2] = {0, 0}, u2[2] = {10, 0};
  struct Case {
    double x, y;
    int expected;
  } cases[] = {{5, 5, 2}, {5, -5, 0}, {5, 0, 1}, {20, 0, 1}, {-5, 0, 1}, {-5, 1e-9, 2}};
  for (const Case& c : cases) {
    const double p[2] = {c.x, c.y};
    EXPECT_EQ(Is_to_the_right(u1, u2, p), c.expected) << c.x << " " << c.y;
  }
  // The stored orientation has an inside; the reversed order has none.
  const double a[2] = {0, 0}, b[2] = {10, 0}, c[2] = {0, 10}, in[2] = {2, 2};
  EXPECT_EQ(CheckTriangle(a, b, c, in), 1);
  EXPECT_EQ(CheckTriangle(c, b, a, in), 0);
}

TEST(SATest, AddsOnlyInsideTheImage) {
  const long m = 4, n = 3;
  struct Case {
    long i, j;
    long index;  // -1: nothing changes
  } cases[] = {{3, 2, 11}, {0, 0, 0},   {1, 2, 9},   {4, 0, -1},
               {0, 3, -1}, {-1, 0, -1}, {0, -1, -1}, {-1, 1, -1}};
  for (const Case& c : cases) {
    std::vector<double> image(m * n, 1.0);
    EXPECT_EQ(SA(image.data(), m, n, c.i, c.j, 2.5), 0);
    std::vector<double> expected(m * n, 1.0);
    if (c.index >= 0) expected[c.index] = 3.5;
    EXPECT_EQ(image, expected) << c.i << " " << c.j;
  }
}

}  // namespace
}  // namespace zmr
