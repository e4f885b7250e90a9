#include "geometry/LeastSquare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

// The plain recursive cofactor expansion along the first row, one minor built per column.
double LiteralDeterminant(const double* m, int n, int* flag) {
  if (n <= 1) return m[0];
  std::vector<double> minor(static_cast<std::size_t>((n - 1) * (n - 1)));
  double sum = 0.0;
  for (int c = 0; c < n && *flag == 0; ++c) {
    int k = 0;
    for (int r = 1; r < n; ++r) {
      for (int cc = 0; cc < n; ++cc) {
        if (cc != c) minor[k++] = m[r * n + cc];
      }
    }
    double term = m[c] * LiteralDeterminant(minor.data(), n - 1, flag);
    if (c % 2 == 1) term = -term;
    sum += term;
  }
  return sum;
}

std::uint64_t Bits(double v) { return std::bit_cast<std::uint64_t>(v); }

TEST(DeterminantTest, GivesKnownValuesAndRefusesOrdersBeyondTheLimit) {
  const struct {
    int n;
    std::vector<double> m;
    double det;
  } cases[] = {
      {1, {5.5}, 5.5},
      {2, {1, 2, 3, 4}, -2.0},
      {3, {6, 1, 1, 4, -2, 5, 2, 8, 7}, -306.0},
      {3, {0, 1, 0, 1, 0, 0, 0, 0, 1}, -1.0},
      {3, {2, 0, 1, 1, 3, 2, 1, 1, 1}, 0.0},
  };
  for (const auto& c : cases) {
    int flag = 0;
    EXPECT_EQ(Determinant(c.m.data(), c.n, &flag), c.det) << "order " << c.n;
    EXPECT_EQ(flag, 0);
  }
  const std::vector<double> big((kMaxDeterminantOrder + 1) * (kMaxDeterminantOrder + 1), 1.0);
  int flag = 0;
  EXPECT_EQ(Determinant(big.data(), kMaxDeterminantOrder + 1, &flag), 0.0);
  EXPECT_EQ(flag, 1);
}

// Matrices of three kinds: plain uniform values, small integers with many zeros (exact sums
// and signed zeros), and values spread over many binary orders of magnitude (heavy rounding).
std::vector<double> RandomMatrix(std::mt19937_64& rng, int n, int kind) {
  std::uniform_real_distribution<double> uniform(-10.0, 10.0);
  std::uniform_int_distribution<int> small(-3, 3);
  std::uniform_int_distribution<int> exponent(-30, 30);
  std::vector<double> m(static_cast<std::size_t>(n * n));
  for (double& v : m) {
    if (kind == 0) v = uniform(rng);
    if (kind == 1) v = small(rng) * (small(rng) > 0 ? 1.0 : 0.0);
    if (kind == 2) v = std::ldexp(uniform(rng), exponent(rng));
  }
  return m;
}

TEST(DeterminantTest, MemoisedExpansionMatchesLiteralExpansionBitForBit) {
  std::mt19937_64 rng(20240611);
  for (int n = 1; n <= 10; ++n) {
    const int samples = n <= 7 ? 30 : (n == 8 ? 9 : (n == 9 ? 3 : 2));
    for (int s = 0; s < samples; ++s) {
      const std::vector<double> m = RandomMatrix(rng, n, s % 3);
      int literalFlag = 0, flag = 0;
      const double expected = LiteralDeterminant(m.data(), n, &literalFlag);
      const double got = Determinant(m.data(), n, &flag);
      ASSERT_EQ(Bits(got), Bits(expected))
          << "order " << n << " sample " << s << ": " << got << " vs " << expected;
      EXPECT_EQ(flag, 0);
    }
  }
}

using LinearSolveTest = test::StateTest;

TEST_F(LinearSolveTest, SolvesKnownSystemsOrRefusesWithItsCode) {
  const struct {
    int n;
    std::vector<double> matrix, rhs;
    int code;
    std::vector<double> result;  // RHS afterwards
    int progress;                // iProgressStatus afterwards, from 0
  } cases[] = {
      {1, {4}, {10}, 0, {2.5}, 50},
      {2, {2, 1, 1, 3}, {3, 5}, 0, {0.8, 1.4}, 50},
      {3, {2, 1, -1, -3, -1, 2, -2, 1, 2}, {8, -11, -3}, 0, {2, 3, -1}, 48},
      {2, {1, 2, 2, 4}, {7, 7}, 2, {7, 7}, 0},
      {3, {1, 2, 3, 0, 0, 0, 4, 5, 6}, {7, 7, 7}, 2, {7, 7, 7}, 0},
      {0, {1}, {7}, 1, {7}, 0},
  };
  for (const auto& c : cases) {
    State().iProgressStatus = 0;
    std::vector<double> rhs = c.rhs;
    EXPECT_EQ(LinearSolve(c.matrix.data(), rhs.data(), c.n), c.code) << "order " << c.n;
    for (std::size_t k = 0; k < rhs.size(); ++k) EXPECT_DOUBLE_EQ(rhs[k], c.result[k]);
    EXPECT_EQ(State().iProgressStatus.load(), c.progress) << "order " << c.n;
  }
}

TEST(LeastSquareBasisTest, FactorAndDistortionLSFollowTheTermTable) {
  const double terms[] = {1, 2, 3, 4, 9, 6, 8, 27, 12, 18};  // at (2, 3)
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Factor(i, 2.0, 3.0), terms[i]) << "term " << i;
  EXPECT_EQ(Factor(-1, 2.0, 3.0), 0.0);
  EXPECT_EQ(Factor(10, 2.0, 3.0), 0.0);

  // x: 1 + 2 x^2 y (terms 0 and 8); y: -y + 0.5 y^2 x (terms 2 and 9).
  const double p[20] = {1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0.5};
  double sx = 0.0, sy = 0.0;
  EXPECT_EQ(DistortionLS(p, 2.0, 3.0, &sx, &sy), 1);
  EXPECT_EQ(sx, 25.0);
  EXPECT_EQ(sy, 6.0);
}

TEST(LeastSquareMeshTest, CoordinatesRunByTheStepAndEndOnTheLastIndex) {
  const struct {
    long step, size;
    std::vector<long> coordinates;
  } cases[] = {
      {128, 769, {0, 128, 256, 384, 512, 640, 768}},
      {128, 800, {0, 128, 256, 384, 512, 640, 768, 799}},
      {10, 12, {0, 10, 11}},
      {128, 1, {0}},
      {5000, 769, {0, 768}},
      {128, 0, {}},
      {0, 769, {}},
  };
  for (const auto& c : cases) {
    const long n = static_cast<long>(c.coordinates.size());
    std::vector<long> out(n + 4, -99), expected = c.coordinates;
    expected.resize(out.size(), -99);  // nothing written beyond the count
    EXPECT_EQ(GenerateMeshCoordinates(out.data(), c.step, c.size), n);
    EXPECT_EQ(MeshCoordinateCount(c.step, c.size), n);
    EXPECT_EQ(out, expected) << c.step << " " << c.size;
  }
}

// --- boundary extrapolation ---------------------------------------------------------------

// The cubic displacement field of the synthetic calibration, as model coefficients. The
// calibration is centred on the origin and spans a few pixels: Cramer's rule over cofactor
// expansions loses most of its digits on the normal equations of larger coordinates.
constexpr double kFieldX[10] = {0.5, 0.25, -0.125, 0.01, -0.02, 0.03, 0.001, -0.002, 0.0015, 0.001};
constexpr double kFieldY[10] = {-0.75, -0.1,   0.2,    -0.01, 0.015,
                                -0.02, -0.001, 0.0025, 0.002, -0.001};

// The displacement (u, v) of the cubic field at (x, y).
std::pair<double, double> Field(double x, double y) {
  double u = 0.0, v = 0.0;
  for (int i = 0; i < 10; ++i) {
    u += kFieldX[i] * Factor(i, x, y);
    v += kFieldY[i] * Factor(i, x, y);
  }
  return {u, v};
}

// Points on a square lattice (the measured positions), displaced by the cubic field, with
// two triangles per cell in the mesh's orientation.
void MakeCubicCalibration(double first, double pitch, int perSide) {
  ProgramState& s = State();
  for (int k = 0; k < perSide * perSide; ++k) {
    const double x = first + (k % perSide) * pitch, y = first + (k / perSide) * pitch;
    const auto [u, v] = Field(x, y);
    const double record[4] = {x, y, x + u, y + v};
    std::copy(record, record + 4, s.PointsInput.begin() + 4 * k);
  }
  s.NumberOfPoints = perSide * perSide;
  s.NumberOfTriangles = 0;
  for (int b = 0; b + 1 < perSide; ++b) {
    for (int a = 0; a + 1 < perSide; ++a) {
      const int p = b * perSide + a;
      const int tri[6] = {p, p + 1, p + perSide, p + 1, p + perSide + 1, p + perSide};
      std::copy(tri, tri + 6, s.Tpoints.begin() + 3 * s.NumberOfTriangles);
      s.NumberOfTriangles += 2;
    }
  }
}

// 25 points over [-2, 2] x [-2, 2]; a 9 x 6 image with a mesh step of 4 (Edge 1) has the mesh
// 0, 4, 8 by 0, 4, 5, of which only (0, 0) lies in the zone: 8 new points.
constexpr int kImageWidth = 9, kImageHeight = 6;
constexpr long kLatticePoints = 25, kNewPoints = 8;

void MakeSmallCalibration() {
  State().EdgeGrid = 1;
  MakeCubicCalibration(-2.0, 1.0, 5);
}

class BoundaryExtrapolationTest : public test::StateTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(AllocateArrays(), 1);
    MakeSmallCalibration();
  }
};

TEST_F(BoundaryExtrapolationTest, AppendsFittedPointsAtTheMeshNodesOutsideTheZone) {
  ProgramState& s = State();
  const std::vector<double> before(s.PointsInput.begin(),
                                   s.PointsInput.begin() + 4 * kLatticePoints);
  EXPECT_EQ(BoundaryExtrapolationProblem(kImageWidth, kImageHeight), "");
  EXPECT_EQ(AddBoundaryCalibrationPoints(kImageWidth, kImageHeight), 1);

  // The fit reproduces the cubic field it was given.
  for (int i = 0; i < 10; ++i) {
    EXPECT_NEAR(s.WX_LS[i], kFieldX[i], 1e-9 * std::fabs(kFieldX[i])) << "x term " << i;
    EXPECT_NEAR(s.WX_LS[10 + i], kFieldY[i], 1e-9 * std::fabs(kFieldY[i])) << "y term " << i;
  }

  // The new points follow column by column, each column from the top; the zone's edges and
  // corners count as inside.
  const std::vector<std::pair<double, double>> expected = {{0, 4}, {0, 5}, {4, 0}, {4, 4},
                                                           {4, 5}, {8, 0}, {8, 4}, {8, 5}};
  ASSERT_EQ(s.NumberOfPoints, kLatticePoints + kNewPoints);
  EXPECT_EQ(s.iAssignedPoints.load(), kLatticePoints + kNewPoints);
  EXPECT_EQ(s.iProgressStatus.load(), 100);
  EXPECT_EQ(s.ImageM, kImageWidth);
  EXPECT_EQ(s.ImageN, kImageHeight);
  std::vector<double> all(s.PointsInput.begin(), s.PointsInput.begin() + 4 * s.NumberOfPoints);
  EXPECT_EQ(std::vector<double>(all.begin(), all.begin() + 4 * kLatticePoints), before);
  for (std::size_t k = 0; k < expected.size(); ++k) {
    const auto [x, y] = expected[k];
    const auto [u, v] = Field(x, y);
    const double* r = all.data() + 4 * (kLatticePoints + k);
    EXPECT_EQ(r[0], x) << "point " << k;
    EXPECT_EQ(r[1], y) << "point " << k;
    EXPECT_NEAR(r[2], x + u, 1e-9) << "point " << k;
    EXPECT_NEAR(r[3], y + v, 1e-9) << "point " << k;
  }
}

TEST_F(BoundaryExtrapolationTest, NothingIsAddedWhenTheZoneCoversEveryNode) {
  MakeCubicCalibration(0.0, 3.0, 4);  // [0, 9] x [0, 9]
  EXPECT_EQ(AddBoundaryCalibrationPoints(10, 10), 1);
  EXPECT_EQ(State().NumberOfPoints, 16);
  EXPECT_EQ(State().iProgressStatus.load(), 100);
}

TEST_F(BoundaryExtrapolationTest, FillsThePointArraysExactlyToCapacity) {
  State().MAXPoints = kLatticePoints + kNewPoints + 1;  // one slot stays unused
  ASSERT_EQ(AllocateArrays(), 1);
  MakeSmallCalibration();
  EXPECT_EQ(BoundaryExtrapolationProblem(kImageWidth, kImageHeight), "");
  EXPECT_EQ(AddBoundaryCalibrationPoints(kImageWidth, kImageHeight), 1);
  EXPECT_EQ(State().NumberOfPoints, kLatticePoints + kNewPoints);
}

TEST_F(BoundaryExtrapolationTest, RefusesWithAMessageAndChangesNothing) {
  // Every point on the row y = 0: the terms in y vanish and the normal matrix has zero rows.
  auto onOneRow = [] {
    for (long k = 0; k < State().NumberOfPoints; ++k) {
      State().PointsInput[4 * k + 1] = 0.0;
      State().PointsInput[4 * k + 3] = 1.0;
    }
  };
  const struct {
    long maxPoints;  // capacity of the point arrays
    std::function<void()> spoil;
    std::string message;
  } cases[] = {
      {5000, [] { State().NumberOfPoints = 9; }, kErrorTooFewForExtrapolation},
      {5000, [] { State().EdgeGrid = 0; }, kErrorExtrapolationStep},
      {5000, onOneRow, kErrorSingularFit},
      // 25 + 8 = 33 points need MAXPoints - 1 >= 33.
      {33, [] {}, "Error - the extrapolation would need more than 32 calibration points"},
      {25, [] {}, "Error - the extrapolation would need more than 24 calibration points"},
  };
  for (const auto& c : cases) {
    ResetProgramState();
    ProgramState& s = State();
    s.MAXPoints = c.maxPoints;
    ASSERT_EQ(AllocateArrays(), 1);
    MakeSmallCalibration();
    c.spoil();
    s.WX_LS[3] = 42.0;
    const std::vector<double> points = s.PointsInput;
    const long count = s.NumberOfPoints;
    EXPECT_EQ(BoundaryExtrapolationProblem(kImageWidth, kImageHeight), c.message);
    EXPECT_EQ(AddBoundaryCalibrationPoints(kImageWidth, kImageHeight), 0);
    EXPECT_EQ(s.PointsInput, points);
    EXPECT_EQ(s.NumberOfPoints, count);
    EXPECT_EQ(s.WX_LS[3], 42.0);
    EXPECT_EQ(s.ImageM, 0);
    EXPECT_EQ(s.iAssignedPoints.load(), 0);
  }
}

}  // namespace
}  // namespace zmr
