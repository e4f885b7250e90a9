// Regression test: the triangulation's work limit was one figure for every set, a tenth of which
// a grid of 4780 points needs; a grid grows its search as N^1.5, so the robust detection's
// large grids (an 8192 x 8192 image of 68 000 spots) stopped part way, the mesh incomplete.
#include <gtest/gtest.h>

#include <random>

#include "geometry/Triangulate.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

TEST(LargeGridTriangulation, AGridOfFortyThousandPointsTriangulatesWhole) {
  test::TempDir dir;  // the search writes its log to the working folder
  constexpr int kSide = 200;
  ProgramState s;
  s.MAXPoints = kSide * kSide + 2;
  ASSERT_EQ(AllocateArrays(s), 1);
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> jitter(-0.2, 0.2);
  long n = 0;
  for (int j = 0; j < kSide; ++j) {
    for (int i = 0; i < kSide; ++i, ++n) {
      double* row = &s.PointsInput[4 * n];
      row[0] = 20.0 * (i + jitter(rng)), row[1] = 20.0 * (j + jitter(rng));
      row[2] = 20.0 * i, row[3] = 20.0 * j;
    }
  }
  s.NumberOfPoints = n;
  // The limit of the smaller sets would stop this one part way.
  EXPECT_GT(TriangulationWorkLimit(n), kTriangulationWorkLimit);
  EXPECT_EQ(TriangulationWorkLimit(4999), kTriangulationWorkLimit);
  MakeTriangulation(s, 1);
  EXPECT_FALSE(s.meshIncomplete);
  // A whole triangulation of a lattice's square has about two triangles a point.
  EXPECT_GT(s.NumberOfTriangles, 2L * (kSide - 1) * (kSide - 1) * 99 / 100);
}

}  // namespace
}  // namespace zmr
