// The figures of the quality report against computations written here from first principles:
// the leave-one-out error against a triangulation of the whole set without the point, the
// lattice fit against a lattice made to measure, the wrapped nodes and the quantisation of a
// shift field whose codes are known, and a calibration with a wrong node.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/LeastSquare.h"
#include "geometry/TriangleLocation.h"
#include "geometry/Triangulate.h"
#include "gridgen/GridGen.h"
#include "imagefiles/PngImage.h"
#include "quality/Closure.h"
#include "quality/Extrapolated.h"
#include "quality/LatticeFit.h"
#include "quality/LeaveOneOut.h"
#include "quality/MeshHealth.h"
#include "quality/QualityReport.h"
#include "quality/ReportHtml.h"
#include "quality/ReportJson.h"
#include "quality/TableFidelity.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"
#include "ui/Commands.h"
#include "ui/DisplayList.h"
#include "ui/Workers.h"

namespace zmr {
namespace {

GridSpec SmallGrid() {
  GridSpec g{.width = 420, .height = 380, .pitch = 36.0, .radius = 12.0};
  g.rotationDegrees = 2.0, g.distortion = -0.06;
  return g;
}

// The image loaded as the working image of s and its spots detected (Auto-detection's worker).
void Detect(ProgramState& s, const GridImage& image) {
  s.cxDib = image.width;
  s.cyDib = image.height;
  ASSERT_EQ(AllocateArrays(s), 1);
  ASSERT_EQ(AllocateImageArrays(s, image.width, image.height), 1);
  std::copy(image.pixels.begin(), image.pixels.end(), s.Msource.begin());
  Thread(&s);
}

// A calibration of the given (measured, ideal) rows, triangulated.
void Calibrate(ProgramState& s, const std::vector<std::array<double, 4>>& rows) {
  s.cxDib = s.cyDib = 420;
  ASSERT_EQ(AllocateArrays(s), 1);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    std::copy(rows[k].begin(), rows[k].end(), s.PointsInput.begin() + 4 * static_cast<long>(k));
  }
  s.NumberOfPoints = static_cast<long>(rows.size());
  MakeTriangulation(s, 1);
}

std::vector<std::array<double, 4>> TrueRows(const GridImage& image) {
  std::vector<std::array<double, 4>> rows;
  for (const GridSpot& spot : image.spots) {
    rows.push_back({spot.measuredX, spot.measuredY, spot.idealX, spot.idealY});
  }
  return rows;
}

// The closure from the truth: the generator's true centres carried through the model, with
// their own lattice indices, fitted to a square lattice.
Closure TruthClosure(const ProgramState& s, const GridImage& image) {
  Closure truth;
  for (const GridSpot& spot : image.spots) {
    const long t = FindTrianglePI(s, spot.measuredX, spot.measuredY);
    if (t < 0) continue;
    const double p[2] = {spot.measuredX, spot.measuredY};
    double d[2];
    ApproximateShiftsT(s, p, d, t);
    truth.x.push_back(p[0] + d[0]);
    truth.y.push_back(p[1] + d[1]);
    truth.row.push_back(spot.row);
    truth.col.push_back(spot.col);
  }
  std::string problem;
  EXPECT_TRUE(FitSquareLattice(truth.x, truth.y, truth.row, truth.col, truth.fit, problem));
  KeepAwayFromBorder(truth, image.width, image.height, truth.fit.pitch / 2);
  EXPECT_TRUE(FitSquareLattice(truth.x, truth.y, truth.row, truth.col, truth.fit, problem));
  truth.all = SummariseResiduals(truth.fit.residual);
  return truth;
}

// The closure re-detects the corrected grid with the robust detection, whose sub-pixel centres
// the agreement needs (the threshold-and-walk detection alone scatters by about 0.1 px); the
// calibration is made with it too.
TEST(Closure, AgreesWithTheTruthCarriedThroughTheModel) {
  test::TempDir dir;
  GridSpec grid = SmallGrid();
  grid.radius = 6.0;
  grid.distortion = -0.04;
  const GridImage image = GenerateGrid(grid);
  ProgramState s;
  s.MinPatchSize = 60;
  s.DetectionMode = 1;
  Detect(s, image);
  const long measured = s.NumberOfPoints;
  ASSERT_GT(measured, 50);
  ASSERT_EQ(AddBoundaryCalibrationPoints(s, s.cxDib, s.cyDib), 1);
  MakeTriangulation(s, 1);
  const std::vector<double> before(s.PointsInput.begin(), s.PointsInput.end());

  Closure closure;
  RunClosure(s, measured, closure);
  ASSERT_TRUE(closure.computed) << closure.reason;
  EXPECT_EQ(std::vector<double>(s.PointsInput.begin(), s.PointsInput.end()), before);
  const Closure truth = TruthClosure(s, image);
  EXPECT_EQ(closure.all.count, truth.all.count);
  EXPECT_NEAR(closure.fit.pitch, truth.fit.pitch, 0.02);
  EXPECT_NEAR(closure.all.rms, truth.all.rms, 0.02);
  EXPECT_NEAR(closure.all.p95, truth.all.p95, 0.02);
  EXPECT_NEAR(closure.all.max, truth.all.max, 0.02);
}

// A spurious spot taken for a node in the middle (its measured position beyond the
// neighbouring spot, its ideal position kept) stands out in every figure meant to find it: the
// closure maximum, the fold-overs and the leave-one-out error.
TEST(Closure, AWrongNodeStandsOutInTheClosureTheMeshAndTheLeaveOneOutError) {
  test::TempDir dir;
  const GridImage image = GenerateGrid(SmallGrid());
  ProgramState s;
  Detect(s, image);
  ASSERT_GT(s.NumberOfPoints, 50);
  const long cleanFolds = AssessMesh(s, s.NumberOfPoints).foldovers;
  LeaveOneOut cleanLoo;
  ASSERT_TRUE(ComputeLeaveOneOut(s, s.NumberOfPoints, cleanLoo));
  Closure clean;
  RunClosure(s, s.NumberOfPoints, clean);
  ASSERT_TRUE(clean.computed) << clean.reason;
  const std::atomic<int> cancelled{1};
  Closure none;
  RunClosure(s, s.NumberOfPoints, none, &cancelled);
  EXPECT_FALSE(none.computed);
  EXPECT_EQ(none.reason, "the report was cancelled before this was computed");

  const long wrongPoint = s.NumberOfPoints / 2;
  double* wrong = s.PointsInput.data() + 4 * wrongPoint;
  wrong[0] += 1.4 * SmallGrid().pitch;
  wrong[1] += 0.3 * SmallGrid().pitch;
  MakeTriangulation(s, 1);
  Closure broken;
  RunClosure(s, s.NumberOfPoints, broken);
  ASSERT_TRUE(broken.computed) << broken.reason;
  EXPECT_GT(broken.all.max, 3 * clean.all.max);
  EXPECT_GT(AssessMesh(s, s.NumberOfPoints).foldovers, cleanFolds);
  LeaveOneOut loo;
  ASSERT_TRUE(ComputeLeaveOneOut(s, s.NumberOfPoints, loo));
  EXPECT_GT(loo.stats.max, 10 * cleanLoo.stats.max);
  EXPECT_NEAR(loo.residual[static_cast<std::size_t>(wrongPoint)], loo.stats.max, 1e-12);
}

// Regression: the closure filled the pixels its correction did not reach with one bright level;
// on a background darkening across the image the darker interior then read as one large dark
// region and no grid was found again. They take the local background now.
TEST(Closure, UnreachedPixelsTakeTheLocalBackgroundSoADarkeningImageStillCloses) {
  test::TempDir dir;
  ProgramState s;
  s.DetectionMode = 1;
  Detect(s, GenerateGrid({.width = 640,
                          .height = 480,
                          .pitch = 40,
                          .radius = 9,
                          .spotGrey = 10,
                          .rampLeft = 60,
                          .rampRight = 240,
                          .distortion = -0.04}));
  ASSERT_GT(s.NumberOfPoints, 150);
  Closure closure;
  RunClosure(s, s.NumberOfPoints, closure);
  ASSERT_TRUE(closure.computed) << closure.reason;
  EXPECT_GT(static_cast<long>(closure.x.size()), s.NumberOfPoints / 2);
  EXPECT_LT(closure.all.rms, 0.3);
}

TEST(LeaveOneOut, AgreesWithTheWholeSetTriangulatedWithoutEachPoint) {
  test::TempDir dir;
  const std::vector<std::array<double, 4>> rows = TrueRows(GenerateGrid(SmallGrid()));
  ProgramState s;
  Calibrate(s, rows);
  LeaveOneOut loo;
  ASSERT_TRUE(ComputeLeaveOneOut(s, s.NumberOfPoints, loo));
  long predicted = 0;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    std::vector<std::array<double, 4>> others = rows;
    others.erase(others.begin() + static_cast<long>(k));
    ProgramState without;
    Calibrate(without, others);
    const long t = FindTrianglePI(without, rows[k][0], rows[k][1]);
    if (t < 0) {
      EXPECT_TRUE(std::isnan(loo.residual[k])) << "point " << k;
      continue;
    }
    double d[2];
    ApproximateShiftsT(without, rows[k].data(), d, t);
    const double ex = d[0] - (rows[k][2] - rows[k][0]);
    const double ey = d[1] - (rows[k][3] - rows[k][1]);
    EXPECT_NEAR(loo.residual[k], std::hypot(ex, ey), 0.001) << "point " << k;
    ++predicted;
  }
  EXPECT_EQ(loo.stats.count, predicted);
  EXPECT_GT(predicted, static_cast<long>(rows.size()) / 2);
}

TEST(TableFidelity, ShiftsBeyondTheCodeRangeWrapAndTheQuantisationIsTheTruncation) {
  test::TempDir dir;
  const std::vector<std::array<double, 4>> spots = TrueRows(GenerateGrid(SmallGrid()));
  struct Case {
    double dx;
    bool wraps;
    double quantisation;  // 100.3 * 256 = 25676.8, written as 25676
  };
  for (const Case c :
       {Case{100.3, false, 0.8 / 256}, Case{150.0, true, 0.0}, Case{-128.5, true, 0.0}}) {
    std::vector<std::array<double, 4>> rows;
    for (const auto& r : spots) rows.push_back({r[0], r[1], r[0] + c.dx, r[1]});
    ProgramState s;
    Calibrate(s, rows);
    TableFidelity t;
    ASSERT_TRUE(AssessTables(s, s.cxDib, s.cyDib, t));
    long inZone = 0;
    for (int k = 0; k < 33 * 33; ++k) {
      if (FindTrianglePI(s, (k % 33) * 32 - s.xoffset, (k / 33) * 32 - s.yoffset) >= 0) ++inZone;
    }
    ASSERT_GT(inZone, 0);
    EXPECT_EQ(t.wrappedNodes, c.wraps ? inZone : 0) << c.dx;
    EXPECT_NEAR(t.quantisationMax, c.quantisation, 1e-9) << c.dx;
  }
}

TEST(LatticeFit, RecoversALatticeAndItsIndicesAndReportsTheOddSpot) {
  const double angle = 0.05;
  const double pitch = 37.0;
  std::vector<double> x, y, idealX, idealY;
  std::vector<int> rows, cols;
  for (int r = -3; r <= 4; ++r) {
    for (int c = -2; c <= 5; ++c) {
      const double nx = 100.5 + pitch * (c * std::cos(angle) - r * std::sin(angle));
      const double ny = 50.25 + pitch * (c * std::sin(angle) + r * std::cos(angle));
      x.push_back(nx);
      y.push_back(ny);
      // The detection's lattice: another origin, scale and angle.
      idealX.push_back(300 + 40 * (c * std::cos(0.3) - r * std::sin(0.3)));
      idealY.push_back(200 + 40 * (c * std::sin(0.3) + r * std::cos(0.3)));
      rows.push_back(r);
      cols.push_back(c);
    }
  }
  LatticeFit fit;
  std::string problem;
  ASSERT_TRUE(FitSquareLattice(x, y, rows, cols, fit, problem)) << problem;
  EXPECT_NEAR(fit.pitch, pitch, 1e-9);
  EXPECT_NEAR(fit.angle, angle, 1e-12);
  EXPECT_NEAR(fit.originX, 100.5, 1e-9);
  EXPECT_NEAR(fit.originY, 50.25, 1e-9);
  EXPECT_LT(SummariseResiduals(fit.residual).max, 1e-9);

  // Indices found from another lattice's positions may be turned by quarter turns, never
  // mirrored: the centres still fit exactly.
  std::vector<int> foundRows, foundCols;
  ASSERT_TRUE(LatticeIndices(idealX, idealY, foundRows, foundCols, problem)) << problem;
  LatticeFit refit;
  ASSERT_TRUE(FitSquareLattice(x, y, foundRows, foundCols, refit, problem));
  EXPECT_NEAR(refit.pitch, pitch, 1e-9);
  EXPECT_LT(SummariseResiduals(refit.residual).max, 1e-9);

  x[10] += 3.0;
  ASSERT_TRUE(FitSquareLattice(x, y, rows, cols, fit, problem));
  const ResidualStats stats = SummariseResiduals(fit.residual);
  EXPECT_NEAR(stats.max, fit.residual[10], 1e-12);
  EXPECT_GT(stats.max, 2.5);

  idealX[5] += 12.0;  // a third of a step off the lattice
  EXPECT_FALSE(LatticeIndices(idealX, idealY, foundRows, foundCols, problem));
}

TEST(ExtrapolatedRegion, TheAddedPointsAreCountedAlsoAfterAPointsFileRoundTrip) {
  test::TempDir dir;
  const std::vector<std::array<double, 4>> rows = TrueRows(GenerateGrid(SmallGrid()));
  ProgramState s;
  Calibrate(s, rows);
  ASSERT_EQ(AddBoundaryCalibrationPoints(s, s.cxDib, s.cyDib), 1);
  ASSERT_GT(s.NumberOfPoints, static_cast<long>(rows.size()));
  EXPECT_EQ(MeasuredPointCount(s), static_cast<long>(rows.size()));
  // Six decimals, as a points file keeps them.
  for (long k = 0; k < 4 * s.NumberOfPoints; ++k) {
    s.PointsInput[k] = std::round(s.PointsInput[k] * 1e6) / 1e6;
  }
  EXPECT_EQ(MeasuredPointCount(s), static_cast<long>(rows.size()));
  const ExtrapolatedRegion region = DescribeExtrapolatedRegion(s, s.cxDib, s.cyDib);
  EXPECT_EQ(region.extrapolated, s.NumberOfPoints - static_cast<long>(rows.size()));
  // The corner node at image (0, 0) is at least as far from every spot as the nearest one.
  double nearest = 1e9;
  for (const auto& r : rows) nearest = std::min(nearest, std::hypot(r[0], r[1]));
  EXPECT_NEAR(region.nodeDistance[4 * 33 + 4], nearest, 1e-4);
}

TEST(ResidualsOverlay, ColoursThePointsOfTheReportAndNoneOnceThePointsChanged) {
  ProgramState s;
  ASSERT_EQ(AllocateArrays(s), 1);
  s.NumberOfPoints = 3;
  const double rows[12] = {10, 10, 11, 10, 50, 10, 50, 11, 10, 60, 10, 61};
  std::copy(rows, rows + 12, s.PointsInput.begin());
  s.residualPoints = {10, 10, 50, 10, 10, 60};
  s.pointResiduals = {0.0, 2.0, std::nan("")};
  s.cfDrawMode = kDrawResiduals;
  DisplaySnapshot snap = TakeDisplaySnapshot(s);
  DisplayList list = BuildDisplayList(snap, s.cxDib, s.cyDib);
  ASSERT_EQ(list.residualDots.size(), 3u);
  EXPECT_EQ(list.residualDots[0].colour, 0xFF00FF00u);  // no error: green
  EXPECT_EQ(list.residualDots[1].colour, 0xFFFF0000u);  // the largest: red
  EXPECT_EQ(list.residualDots[2].colour, 0xFF808080u);  // none: grey

  s.PointsInput[0] = 12;  // the points moved since the report
  snap = TakeDisplaySnapshot(s);
  EXPECT_TRUE(BuildDisplayList(snap, s.cxDib, s.cyDib).residualDots.empty());
}

TEST(ResidualStats, NearestRankPercentileAndNoNumbersLeftOut) {
  std::vector<double> values;
  for (int k = 20; k >= 1; --k) values.push_back(k);
  values.push_back(std::nan(""));
  const ResidualStats s = SummariseResiduals(values);
  EXPECT_EQ(s.count, 20);
  EXPECT_EQ(s.p95, 19.0);
  EXPECT_EQ(s.max, 20.0);
  EXPECT_NEAR(s.rms, std::sqrt(2870.0 / 20), 1e-12);  // sum of k^2, k = 1..20
  EXPECT_EQ(SummariseResiduals({std::nan("")}).count, 0);
}

TEST(TableFidelity, AUniformShiftReadsBackAsItsCodeEverywhereInsideTheTables) {
  test::TempDir dir;
  // Four points far around the image: one zone over every table node.
  std::vector<std::array<double, 4>> rows;
  for (const auto& [x, y] : {std::pair{-400.0, -400.0}, std::pair{1800.0, -400.0},
                             std::pair{-400.0, 1800.0}, std::pair{1800.0, 1800.0}}) {
    rows.push_back({x, y, x + 10.3, y - 2.5});
  }
  ProgramState s;
  Calibrate(s, rows);
  TableFidelity t;
  ASSERT_TRUE(AssessTables(s, s.cxDib, s.cyDib, t));
  // 10.3 px is written as 2636 / 256 = 10.296875 px; -2.5 px exactly.
  EXPECT_EQ(t.zmr.pixels, 420L * 420L);
  EXPECT_NEAR(t.zmr.rms, 0.003125, 1e-9);
  EXPECT_NEAR(t.zmr.max, 0.003125, 1e-9);
  EXPECT_NEAR(t.ascii.max, 0.0, 1e-9);
  EXPECT_EQ(t.wrappedNodes, 0);
}

TEST(QualityReportFiles, NullFiguresCarryTheirReasonAndThePicturesArePng) {
  test::TempDir dir;
  ProgramState s;
  Calibrate(s, TrueRows(GenerateGrid(SmallGrid())));
  s.fTerminated.store(1);  // cancelled from the start: no closure, no leave-one-out, no tables
  QualityReport report;
  ASSERT_TRUE(BuildQualityReport(s, report));
  const std::string json = QualityReportJson(report);
  EXPECT_NE(json.find("\"leave_one_out\": {\n    \"points\": 0,\n    \"unpredicted\": 0,\n"
                      "    \"rms_px\": null,"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("    \"leave_one_out\": \"the report was cancelled before this was "
                      "computed\""),
            std::string::npos);
  EXPECT_NE(json.find("    \"closure\": \"there is no source image"), std::string::npos);

  ASSERT_TRUE(WriteQualityReport(s, report, "q"));
  EXPECT_EQ(test::ReadFile("q.json"), json);
  const Result refused = WriteQualityReport(s, report, "missing-folder/q");
  EXPECT_EQ(
      refused.message().rfind("Error - cannot write the quality report missing-folder/q.json", 0),
      0u)
      << refused.message();

  EXPECT_EQ(Base64({'M', 'a', 'n'}), "TWFu");
  EXPECT_EQ(Base64({'M', 'a'}), "TWE=");
  EXPECT_EQ(Base64({'M'}), "TQ==");
  RgbPicture picture{2, 1, {255, 0, 0, 0, 0, 255}};
  const std::vector<std::uint8_t> png = EncodeRgbPng(picture);
  const ResultOf<CountImage> decoded = ReadPng(png);
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  EXPECT_EQ(decoded.value().width, 2);
  EXPECT_EQ(decoded.value().values[0], 85.0);  // (255 + 0 + 0) / 3
}

}  // namespace
}  // namespace zmr
