// The refusal of a cubic fit the calibration points do not determine.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "geometry/LeastSquare.h"
#include "geometry/Triangulate.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using Points = std::vector<std::array<double, 2>>;

class ExtrapolationTest : public test::StateTest {};

// 50 points on a horizontal line had a normal determinant of 1e84 instead of 0 and were
// extrapolated (x shifts of -5.5 to +5.1 px from a constant shift of 1 px), while the same
// points on the diagonal were refused.
TEST_F(ExtrapolationTest, RankDeficientFitsAreRefusedInEveryDirection) {
  Points horizontal, vertical, diagonal, columns, grid, corner;
  for (int k = 0; k < 50; ++k) {
    const double t = 40 + k * 14.3;
    horizontal.push_back({t, 300});
    vertical.push_back({300, t});
    diagonal.push_back({t, t});
  }
  for (int k = 0; k < 57; ++k) columns.push_back({300.0 + k % 3 * 38, 46.0 + k / 3 * 38});
  for (int k = 0; k < 361; ++k) {
    grid.push_back({46 + k % 19 * 38 + 0.3 * std::sin(k), 46 + k / 19 * 38 + 0.3 * std::cos(k)});
  }
  for (int k = 0; k < 25; ++k) corner.push_back({600.0 + k % 5 * 20, 600.0 + k / 5 * 20});
  const struct {
    const char* name;
    Points points;
    bool singular;
  } cases[] = {{"horizontal line", horizontal, true},
               {"vertical line", vertical, true},
               {"diagonal line", diagonal, true},
               {"three columns", columns, true},
               {"grid", grid, false},
               {"5 x 5 grid in a corner", corner, false}};
  for (const auto& c : cases) {
    ProgramState& s = State();
    ASSERT_EQ(AllocateArrays(s), 1);
    for (std::size_t k = 0; k < c.points.size(); ++k) {
      double* row = s.PointsInput.data() + 4 * k;
      row[0] = c.points[k][0];
      row[1] = c.points[k][1];
      row[2] = row[0] + 1;
      row[3] = row[1];
    }
    const long count = static_cast<long>(c.points.size());
    s.NumberOfPoints = count;
    MakeTriangulation(s, 1);
    EXPECT_EQ(BoundaryExtrapolationProblem(s, 769, 769), c.singular ? kErrorSingularFit : "")
        << c.name;
    EXPECT_EQ(AddBoundaryCalibrationPoints(s, 769, 769), c.singular ? 0 : 1) << c.name;
    if (c.singular) {
      EXPECT_EQ(s.NumberOfPoints, count) << c.name;
    } else {
      EXPECT_GT(s.NumberOfPoints, count) << c.name;
    }
  }
}

}  // namespace
}  // namespace zmr
