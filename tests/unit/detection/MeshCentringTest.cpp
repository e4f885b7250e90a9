#include "detection/MeshCentring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::FileExists;
using test::ReadFile;
using test::WriteFile;

// Spots 0..3 at the corners of [40, 80]^2 (slots 1..4 of PointsBuffer), triangulated into
// (0, 1, 2) and (1, 3, 2); ideal positions = spot + (ax + bx (x - 40), ay + by (y - 40)), a
// constant shift (2.5, -1.25) unless a test sets another.
class MeshCentringTest : public test::StateTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(AllocateArrays(), 1);
    ProgramState& s = State();
    const double corners[4][2] = {{40, 40}, {80, 40}, {40, 80}, {80, 80}};
    for (int k = 0; k < 4; ++k) {
      s.PointsBuffer[1 + k] = corners[k][0];
      s.PointsBuffer[s.MAXPoints + 1 + k] = corners[k][1];
    }
    const int triangles[6] = {0, 1, 2, 1, 3, 2};
    std::copy(triangles, triangles + 6, s.Tpoints.begin());
    s.NumberOfTriangles = 2;
    s.NumberOfPoints = 4;
    s.TraceFlag = kTraceFlagCentring;
    s.Centering = 1;
    s.Pc[0] = s.Pc[1] = 50.0;
    SetShifts(2.5, 0.0, -1.25, 0.0);
  }

  const double* PX() const { return State().PointsBuffer.data() + 1; }
  const double* PY() const { return State().PointsBuffer.data() + State().MAXPoints + 1; }

  void SetShifts(double ax, double bx, double ay, double by) {
    ProgramState& s = State();
    for (int k = 0; k < 4; ++k) {
      s.SX[k] = PX()[k] + ax + bx * (PX()[k] - 40.0);
      s.SY[k] = PY()[k] + ay + by * (PY()[k] - 40.0);
    }
  }

  std::vector<double> Ideal() const {
    const ProgramState& s = State();
    return {s.SX[0], s.SX[1], s.SX[2], s.SX[3], s.SY[0], s.SY[1], s.SY[2], s.SY[3]};
  }

  // Runs CenterAutoTraceResults and returns what it printed.
  std::string Centre() {
    testing::internal::CaptureStdout();
    EXPECT_EQ(CenterAutoTraceResults(), 0);
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(MeshCentringTest, ConstantShiftIsRemovedAndReported) {
  EXPECT_EQ(Centre(), "Centering shifts\nWriting to file ResultsFit.txt ...done\n");
  EXPECT_EQ(Ideal(), (std::vector<double>{40, 80, 40, 80, 40, 40, 80, 80}));
  EXPECT_EQ(ReadFile("Trace.log"),
            "Approximated shift for the point [ 50.00  50.00] : [  2.50  -1.25]\n"
            "Approximated shift for the point [ 50.00  50.00] : [  0.00   0.00]\n");
  EXPECT_EQ(ReadFile("ResultsFit.txt"),
            "40.000000 40.000000 40.000000 40.000000\n"
            "80.000000 40.000000 80.000000 40.000000\n"
            "40.000000 80.000000 40.000000 80.000000\n"
            "80.000000 80.000000 80.000000 80.000000\n");
}

// An affine shift field: the interpolated shift at Pc = (50, 50) is the field's value there,
// (2.25, -3.75), and one pass moves every ideal position by it.
TEST_F(MeshCentringTest, OnePassMovesTheWholeGridByTheShiftAtTheCentre) {
  SetShifts(1.0, 0.125, -3.0, -0.075);
  const std::vector<double> before = Ideal();
  EXPECT_EQ(CenterMesh(State().Pc, PX(), PY(), State().SX.data(), State().SY.data()), 0);
  const std::vector<double> after = Ideal();
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(before[k] - after[k], 2.25, 1e-12) << "point " << k;
    EXPECT_NEAR(before[4 + k] - after[4 + k], -3.75, 1e-12) << "point " << k;
  }
  EXPECT_EQ(ReadFile("Trace.log"),
            "Approximated shift for the point [ 50.00  50.00] : [  2.25  -3.75]\n");
}

// Outside the triangulated zone the centring is logged and skipped; without bit 0 of Centering
// it does not run. Either way the results are written unmoved.
TEST_F(MeshCentringTest, CentreOutsideTheZoneOrCentringOffLeavesTheGrid) {
  const std::string skipped = "Point outside triangulated zone - skipping mesh centering\n";
  const struct {
    long centering;
    double pcx;
    std::string log;
  } cases[] = {{1, 10.0, "earlier\n" + skipped + skipped}, {0x10, 50.0, "earlier\n"}};
  for (const auto& c : cases) {
    WriteFile("Trace.log", "earlier\n");
    State().Centering = c.centering;
    State().Pc[0] = c.pcx;
    EXPECT_EQ(Centre(), "Centering shifts\nWriting to file ResultsFit.txt ...done\n");
    EXPECT_EQ(ReadFile("Trace.log"), c.log);
    EXPECT_EQ(ReadFile("ResultsFit.txt"),
              "40.000000 40.000000 42.500000 38.750000\n"
              "80.000000 40.000000 82.500000 38.750000\n"
              "40.000000 80.000000 42.500000 78.750000\n"
              "80.000000 80.000000 82.500000 78.750000\n");
  }
}

TEST_F(MeshCentringTest, RefusesInAnyOtherStateAndWritesNothing) {
  const std::vector<double> before = Ideal();
  for (int flag : {0, 1, 2}) {
    State().TraceFlag = flag;
    EXPECT_EQ(Centre(), "Centering shifts\nERROR : Can't center data in this state !\n");
  }
  State().TraceFlag = kTraceFlagCentring;
  State().NumberOfPoints = State().MAXPoints;  // more spots than the list from slot 1 holds
  EXPECT_EQ(Centre(), "Centering shifts\nERROR : Can't center data in this state !\n");
  EXPECT_EQ(Ideal(), before);
  EXPECT_FALSE(FileExists("ResultsFit.txt"));
  EXPECT_FALSE(FileExists("Trace.log"));
}

TEST_F(MeshCentringTest, LogsIntoAnOpenTraceStream) {
  ProgramState& s = State();
  s.OUT_LOG = std::fopen("open.log", "w");
  ASSERT_NE(s.OUT_LOG, nullptr);
  CenterMesh(s.Pc, PX(), PY(), s.SX.data(), s.SY.data());
  std::fclose(s.OUT_LOG);
  s.OUT_LOG = nullptr;
  EXPECT_EQ(ReadFile("open.log"),
            "Approximated shift for the point [ 50.00  50.00] : [  2.50  -1.25]\n");
  EXPECT_FALSE(FileExists("Trace.log"));
}

}  // namespace
}  // namespace zmr
