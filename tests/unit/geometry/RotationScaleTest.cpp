#include "geometry/RotationScale.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "state/CNumericLocale.h"
#include "state/ProgramState.h"
#include "support/GridMesh.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::Ideal;
using test::ReadFile;
using test::StateTest;
using test::WriteFile;

// A square mesh from (x0, x0) with equal steps.
void SetGridMesh(double x0, double step, int nx, int ny, const Ideal& ideal) {
  test::SetGridMesh(x0, x0, step, step, nx, ny, ideal);
}

constexpr const char* kWritingLine =
    "Writing corrected calibration points coordinates into the output file "
    "CorrectedPoints.txt\n";

// The image and mesh of most cases: 5 x 5 points 40 pixels apart from (10, 10) on a 181 x 181
// image, so the zone is [10, 170]^2 with its centroid exactly at pixel (90, 90).
constexpr int kSize = 181;
constexpr double kMid = 90.0;

// Rotation by theta and scaling by scale about (kMid, kMid), then a translation.
Ideal Similarity(double theta, double scale, double tx, double ty) {
  return [=](double x, double y) {
    const double rx = x - kMid;
    const double ry = y - kMid;
    return std::make_pair(kMid + scale * (std::cos(theta) * rx - std::sin(theta) * ry) + tx,
                          kMid + scale * (std::sin(theta) * rx + std::cos(theta) * ry) + ty);
  };
}

std::string Lines(const std::vector<std::vector<double>>& rows) {
  std::string out;
  char line[200];
  const CNumericLocale cLocale;
  for (const auto& r : rows) {
    std::snprintf(line, sizeof line, "%f %f %f %f\n", r[0], r[1], r[2], r[3]);
    out += line;
  }
  return out;
}

class RotationScaleTest : public StateTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(AllocateArrays(), 1);
    ASSERT_EQ(AllocateImageArrays(kSize, kSize), 1);
    State().cxDib = kSize;
    State().cyDib = kSize;
  }

  std::vector<std::vector<double>> Points() const {
    const ProgramState& s = State();
    std::vector<std::vector<double>> rows;
    for (long k = 0; k < s.NumberOfPoints; ++k) {
      rows.emplace_back(s.PointsInput.begin() + 4 * k, s.PointsInput.begin() + 4 * k + 4);
    }
    return rows;
  }

  int Run() {
    ProgramState& s = State();
    return ArrayStatistics(center_, &rotation_, &scale_, kSize, kSize, s.deltaX.data(),
                           s.deltaY.data(), s.Area.data());
  }

  double center_[2] = {-1, -1};
  double rotation_ = -1;
  double scale_ = -1;
};

// --- known similarity transforms ------------------------------------------------------------

struct KnownCase {
  const char* name;
  double theta, scale, tx, ty;
  // Allowed differences: estimated rotation and scale from theta and scale, corrected ideal
  // position from the measured one. The estimate is atan(scale * sin theta) and
  // scale * cos theta, which differ from theta and scale in the second order.
  double tolRotation, tolScale, tolPosition;
};

void PrintTo(const KnownCase& c, std::ostream* os) { *os << c.name; }

class RotationScaleKnown : public RotationScaleTest,
                           public testing::WithParamInterface<KnownCase> {};

TEST_P(RotationScaleKnown, RecoversRotationScaleAndRemovesThem) {
  const KnownCase& c = GetParam();
  ProgramState& s = State();
  SetGridMesh(10, 40, 5, 5, Similarity(c.theta, c.scale, c.tx, c.ty));
  const auto before = Points();

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(center_[0], kMid);
  EXPECT_EQ(center_[1], kMid);
  EXPECT_NEAR(rotation_, c.theta, c.tolRotation);
  EXPECT_NEAR(scale_, c.scale, c.tolScale);

  const auto after = Points();
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t k = 0; k < after.size(); ++k) {
    SCOPED_TRACE(testing::Message() << "point " << k);
    EXPECT_EQ(after[k][0], before[k][0]);
    EXPECT_EQ(after[k][1], before[k][1]);
    EXPECT_NEAR(after[k][2], after[k][0], c.tolPosition);
    EXPECT_NEAR(after[k][3], after[k][1], c.tolPosition);
  }

  // The sampled field: 1 inside the zone, 0 outside, and the vertex displacement at a vertex.
  EXPECT_EQ(std::count(s.Area.begin(), s.Area.end(), 1), 161 * 161);
  EXPECT_EQ(std::count(s.Area.begin(), s.Area.end(), 0), kSize * kSize - 161 * 161);
  EXPECT_NEAR(s.deltaX[170 * kSize + 10], before[20][2] - before[20][0], 1e-9);
  EXPECT_NEAR(s.deltaY[170 * kSize + 10], before[20][3] - before[20][1], 1e-9);

  // The log shows the same values, the rotation in degrees.
  double cx = 0, cy = 0, degrees = 0, scale = 0;
  const CNumericLocale cLocale;
  ASSERT_EQ(std::sscanf(ReadFile("Trace.log").c_str(),
                        "Center of rotation: %lf %lf\nRotation : %lf deg\nScale    : %lf", &cx, &cy,
                        &degrees, &scale),
            4);
  EXPECT_EQ(cx, kMid);
  EXPECT_EQ(cy, kMid);
  EXPECT_NEAR(degrees, rotation_ * 180 / std::numbers::pi, 1e-6);
  EXPECT_NEAR(scale, scale_, 1e-6);
  EXPECT_EQ(ReadFile("CorrectedPoints.txt"), Lines(after));

  // A second run finds only the second-order remainder of the first correction.
  Run();
  EXPECT_NEAR(rotation_, 0.0, c.tolRotation);
  EXPECT_NEAR(scale_, 1.0, c.tolScale);
}

INSTANTIATE_TEST_SUITE_P(
    Transforms, RotationScaleKnown,
    testing::Values(KnownCase{"Identity", 0, 1, 0, 0, 0, 0, 0},
                    KnownCase{"Translation", 0, 1, 5, -3, 0, 0, 0},
                    KnownCase{"ScaleAboutCentroid", 0, 1.01, 0, 0, 1e-12, 1e-9, 1e-9},
                    KnownCase{"RotationScaleTranslation", 0.01, 1.02, 3, -2, 3e-4, 1.5e-4, 0.01},
                    KnownCase{"NegativeRotation", -0.02, 1, 0, 0, 1e-5, 3e-4, 0.02}),
    [](const testing::TestParamInfo<KnownCase>& info) { return std::string(info.param.name); });

// --- the files, byte for byte ---------------------------------------------------------------

TEST_F(RotationScaleTest, WritesLogAndCorrectedPointsExactly) {
  WriteFile("Trace.log", "an older log\n");
  SetGridMesh(10, 40, 5, 5, Similarity(0, 1, 5, -3));

  Run();

  EXPECT_EQ(ReadFile("Trace.log"), std::string("Center of rotation: 90.000000 90.000000\n"
                                               "Rotation : 0.000000 deg\n"
                                               "Scale    : 1.000000    \n") +
                                       kWritingLine);
  const std::string points = ReadFile("CorrectedPoints.txt");
  EXPECT_EQ(points.substr(0, 80),
            "10.000000 10.000000 10.000000 10.000000\n"
            "50.000000 10.000000 50.000000 10.000000\n");
  std::vector<std::vector<double>> expected;
  for (int gy = 0; gy < 5; ++gy) {
    for (int gx = 0; gx < 5; ++gx) {
      const double x = 10 + 40 * gx;
      const double y = 10 + 40 * gy;
      expected.push_back({x, y, x, y});
    }
  }
  EXPECT_EQ(points, Lines(expected));
  EXPECT_EQ(State().OUT_LOG, nullptr);
}

// --- no estimate possible ---------------------------------------------------------------------

TEST_F(RotationScaleTest, WithoutPixelsFarFromTheCentrePointsStayUnchanged) {
  struct Case {
    const char* name;
    bool mesh;
    const char* expectedLog;
  };
  const Case cases[] = {
      {"ZoneWithinCenterLimit", true,
       "Center of rotation: 30.000000 30.000000\n"
       "Rotation : 0.000000 deg\n"
       "Scale    : 0.000000    \n"
       "Rotation and scale not estimated: no pixel of the triangulated zone lies 50.000000 or "
       "more pixels from the centre (1681 zone pixels); calibration points left unchanged\n"},
      {"NoTriangles", false,
       "Center of rotation: 0.000000 0.000000\n"
       "Rotation : 0.000000 deg\n"
       "Scale    : 0.000000    \n"
       "Rotation and scale not estimated: no pixel of the triangulated zone lies 50.000000 or "
       "more pixels from the centre (0 zone pixels); calibration points left unchanged\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramState& s = State();
    // 3 x 3 points 20 apart: zone [10, 50]^2, at most 28.3 pixels from its centroid (30, 30).
    SetGridMesh(10, 20, 3, 3, Similarity(0.1, 1.1, 5, -3));
    if (!c.mesh) s.NumberOfTriangles = 0;
    const auto before = Points();

    EXPECT_EQ(Run(), 0);

    EXPECT_EQ(rotation_, 0.0);
    EXPECT_EQ(scale_, 0.0);
    EXPECT_EQ(Points(), before);
    EXPECT_EQ(ReadFile("Trace.log"), std::string(c.expectedLog) + kWritingLine);
    EXPECT_EQ(ReadFile("CorrectedPoints.txt"), Lines(before));
    EXPECT_EQ(std::count(s.Area.begin(), s.Area.end(), 1), c.mesh ? 1681 : 0);
  }
}

// --- cancel and failures ----------------------------------------------------------------------

TEST_F(RotationScaleTest, CancelBeforeTheFirstPixelWritesTheFourLinesAndChangesNothing) {
  ProgramState& s = State();
  SetGridMesh(10, 40, 5, 5, Similarity(0.01, 1.02, 3, -2));
  std::fill(s.Area.begin(), s.Area.end(), -5);
  const auto before = Points();
  s.fTerminated = 1;

  Run();

  EXPECT_EQ(Points(), before);
  EXPECT_EQ(ReadFile("Trace.log"), std::string("Center of rotation: 0.000000 0.000000\n"
                                               "Rotation : 0.000000 deg\n"
                                               "Scale    : 0.000000    \n") +
                                       kWritingLine);
  EXPECT_TRUE(test::FileExists("CorrectedPoints.txt"));
  EXPECT_EQ(ReadFile("CorrectedPoints.txt"), "");
  EXPECT_EQ(std::count(s.Area.begin(), s.Area.end(), -5), kSize * kSize);
}

TEST_F(RotationScaleTest, UnwritablePointsFileStillCorrectsThePointsAndSaysSo) {
  ASSERT_EQ(::mkdir("CorrectedPoints.txt", 0755), 0);
  SetGridMesh(10, 40, 5, 5, Similarity(0, 1, 5, -3));

  Run();

  for (const auto& row : Points()) {
    EXPECT_EQ(row[2], row[0]);
    EXPECT_EQ(row[3], row[1]);
  }
  const std::string log = ReadFile("Trace.log");
  const std::string tail =
      std::string(kWritingLine) + "Cannot open output file CorrectedPoints.txt\n";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

}  // namespace
}  // namespace zmr
