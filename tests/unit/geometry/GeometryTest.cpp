// The per-triangle arithmetic that the geometry oracles share with the fast drivers, checked by
// properties of its own: the interpolation reproduces an affine displacement field (its vertex
// values, and linearly along the edges), the splat of a moved pixel keeps its intensity and its
// centre, the rotation and scale fit recovers a similarity about the zone's centre, and the
// extrapolation's fit recovers a cubic displacement field in x and in y.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/LeastSquare.h"
#include "geometry/RotationScale.h"
#include "geometry/Transform.h"
#include "geometry/TriangleLocation.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using GeometryTest = test::StateTest;

TEST_F(GeometryTest, InterpolationAndSplatReproduceAnAffineField) {
  // Measured vertices (multiples of 4, so that the quarter points of the edges are pixels), and
  // the field D(p) = A p + b that moves them to their ideal positions.
  const struct {
    double v[3][2], A[2][2], b[2];
  } cases[] = {{{{4, 4}, {20, 8}, {8, 24}}, {{0.03, -0.02}, {0.015, 0.04}}, {1.25, -0.75}},
               {{{4, 4}, {4, 24}, {24, 12}}, {{-0.05, 0.01}, {0.02, -0.03}}, {-0.4, 0.6}},
               {{{24, 24}, {8, 4}, {4, 16}}, {{0.01, 0.06}, {-0.04, 0.02}}, {0.3, 1.7}}};
  const long M = 32, N = 32;
  const int intensity = 200;
  ProgramState& s = State();
  for (const auto& c : cases) {
    const auto field = [&c](const double* p, int a) {
      return c.A[a][0] * p[0] + c.A[a][1] * p[1] + c.b[a];
    };
    double D[3][2];
    s.PointsInput.clear();
    for (int k = 0; k < 3; ++k) {
      D[k][0] = field(c.v[k], 0), D[k][1] = field(c.v[k], 1);
      s.PointsInput.insert(s.PointsInput.end(),
                           {c.v[k][0], c.v[k][1], c.v[k][0] + D[k][0], c.v[k][1] + D[k][1]});
    }
    s.Tpoints = {0, 1, 2}, s.NumberOfTriangles = 1;
    // The vertices and the points a quarter, half and three quarters along each edge.
    for (int e = 0; e < 3; ++e) {
      for (double t : {0.0, 0.25, 0.5, 0.75}) {
        const double* P = c.v[e];
        const double* Q = c.v[(e + 1) % 3];
        const double p[2] = {P[0] + t * (Q[0] - P[0]), P[1] + t * (Q[1] - P[1])};
        const long i = std::lround(p[0]), j = std::lround(p[1]);
        double elimination[2], cramer[2];
        ApproximateShift(p, elimination, c.v[0], c.v[1], c.v[2], D[0], D[1], D[2]);
        ApproximateShiftsT(State(), p, cramer, 0);
        std::vector<double> image(M * N), dx(M * N), dy(M * N);
        std::vector<int> area(M * N, -1);
        const std::vector<int> source(M * N, intensity);
        TransformPixel(State(), i, j, 0, M, N, source.data(), image.data(), area.data(), dx.data(),
                       dy.data());
        double mass = 0, mx = 0, my = 0;  // of the splat, whose centre is the moved pixel
        for (long k = 0; k < M * N; ++k)
          mass += image[k], mx += image[k] * (k % M), my += image[k] * (k / M);
        const double x = field(p, 0), y = field(p, 1);
        const struct {
          const char* what;
          double got, want;
        } checks[] = {{"ApproximateShift x", elimination[0], x},
                      {"ApproximateShift y", elimination[1], y},
                      {"ApproximateShiftsT x", cramer[0], x},
                      {"ApproximateShiftsT y", cramer[1], y},
                      {"transform deltaX", dx[j * M + i], x},
                      {"transform deltaY", dy[j * M + i], y},
                      {"splat centre x - i", mx / mass - i, x},
                      {"splat centre y - j", my / mass - j, y},
                      {"splat sum", mass, intensity},
                      {"Area", static_cast<double>(area[j * M + i]), 0}};
        for (const auto& k : checks)
          EXPECT_NEAR(k.got, k.want, 1e-9)
              << k.what << " at (" << i << ", " << j << ") of triangle " << &c - cases;
      }
    }
  }
}

TEST_F(GeometryTest, RotationAndScaleFitRecoverASimilarityAboutTheCentre) {
  // Four triangles around pixel (20, 20) cover the 41 x 41 image, so that pixel is the zone's
  // centroid. Ideal = c + f Rot(a) (p - c): every displacement has the radial part f cos a - 1
  // and the tangential part f sin a per unit of radius, so the fit is scale f cos a and rotation
  // atan(f sin a): a pure scaling f, a pure rotation its angle to first order.
  const double cases[][2] = {{1.03, 0}, {0.96, 0}, {1, 0.02}, {1.02, -0.05}};  // f, a
  const double v[5][2] = {{20, 20}, {0, 0}, {40, 0}, {40, 40}, {0, 40}};
  for (const auto [f, a] : cases) {
    ProgramState& s = State();
    s.PointsInput.clear();
    for (const auto& p : v) {
      const double r[2] = {p[0] - 20, p[1] - 20};
      s.PointsInput.insert(s.PointsInput.end(),
                           {p[0], p[1], 20 + f * (std::cos(a) * r[0] - std::sin(a) * r[1]),
                            20 + f * (std::sin(a) * r[0] + std::cos(a) * r[1])});
    }
    s.NumberOfPoints = 5, s.Tpoints = {0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 1}, s.NumberOfTriangles = 4;
    s.CenterLimit = 6;
    std::vector<double> xs(41 * 41), ys(41 * 41), fit(4);  // centre, rotation, scale
    std::vector<int> zone(41 * 41);
    ArrayStatistics(State(), &fit[0], &fit[2], &fit[3], 41, 41, xs.data(), ys.data(), zone.data());
    const double want[] = {20, 20, std::atan(f * std::sin(a)), f * std::cos(a)};
    const char* what[] = {"centre x", "centre y", "rotation", "scale"};
    for (int q = 0; q < 4; ++q)
      EXPECT_NEAR(fit[q], want[q], 1e-10) << what[q] << " of " << f << ", " << a;
    // Without rotation, removing the scale leaves every ideal position on its measured one.
    for (int k = 0; k < 5 * (a == 0); ++k)
      for (int q = 0; q < 2; ++q)
        EXPECT_NEAR(s.PointsInput[4 * k + 2 + q], s.PointsInput[4 * k + q], 1e-9)
            << "point " << k << (q ? " y" : " x") << " after scale " << f;
  }
}

TEST_F(GeometryTest, ExtrapolationFitRecoversACubicFieldInBothComponents) {
  // Coefficients of 1, x, y, x^2, y^2, xy, x^3, y^3, x^2 y, y^2 x for dx, then for dy.
  const double cubic[20] = {1.5,  0.02,  -0.01, 1e-4,  -2e-4, 3e-4, 1e-6,  -2e-6, 3e-6,  -1e-6,
                            -0.7, -0.03, 0.015, -3e-4, 1e-4,  2e-4, -2e-6, 1e-6,  -1e-6, 4e-6};
  const auto shift = [&cubic](double x, double y, int a) {
    const double f[10] = {1, x, y, x * x, y * y, x * y, x * x * x, y * y * y, x * x * y, y * y * x};
    double d = 0;
    for (int k = 0; k < 10; ++k) d += cubic[10 * a + k] * f[k];
    return d;
  };
  ProgramState& s = State();
  ASSERT_EQ(AllocateArrays(State()), 1);
  for (int k = 0; k < 30; ++k) {  // a jittered 6 x 5 lattice over the 40 x 36 image
    const double x = 3 + 7 * (k % 6) + 0.3 * (k % 4), y = 2 + 8 * (k / 6) + 0.2 * (k % 3);
    const double row[] = {x, y, x + shift(x, y, 0), y + shift(x, y, 1)};
    std::copy(row, row + 4, &s.PointsInput[4 * k]);
  }
  s.NumberOfPoints = 30, s.EdgeGrid = 4;  // mesh step 16; without triangles every node is added
  ASSERT_EQ(AddBoundaryCalibrationPoints(State(), 40, 36), 1);
  // Cramer's rule over the normal equations in these coordinates: each term within 1e-4 pixels
  // over the image (40 to the power of its degree).
  const int degree[10] = {0, 1, 1, 2, 2, 2, 3, 3, 3, 3};
  for (int k = 0; k < 20; ++k)
    EXPECT_NEAR(s.WX_LS[k], cubic[k], 1e-4 / std::pow(40, degree[k % 10]))
        << "coefficient " << k % 10 << (k < 10 ? " of dx" : " of dy");
  const double xs[] = {0, 16, 32, 39}, ys[] = {0, 16, 32, 35};  // x outer, y inner
  ASSERT_EQ(s.NumberOfPoints, 30 + 16);
  for (int n = 0; n < 16; ++n) {
    const double x = xs[n / 4], y = ys[n % 4];
    const double want[] = {x, y, x + shift(x, y, 0), y + shift(x, y, 1)};
    for (int q = 0; q < 4; ++q)
      EXPECT_NEAR(s.PointsInput[4 * (30 + n) + q], want[q], 1e-4)
          << "added point " << n << " column " << q;
  }
}

}  // namespace
}  // namespace zmr
