// The commands that use the distortion model: their preconditions and messages. A whole
// calibration through them runs in the end-to-end and window tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "state/ProgramState.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Commands.h"
#include "ui/Startup.h"
#include "ui/resource.h"

namespace zmr {
namespace {

using test::FakePlatform;

class ModelCommandsTest : public test::StateTest {
 protected:
  ModelCommandsTest() { StartProgram(platform_); }
  ~ModelCommandsTest() override { EndProgram(); }

  void Run(int id) { ASSERT_TRUE(RunCommand(id, platform_)) << id; }

  // n calibration points on a row-major lattice of pitch 20, ideal = measured + (1, 2).
  void SetPoints(long n) {
    ProgramState& s = State();
    for (long k = 0; k < n; ++k) {
      const double x = 100.0 + 20.0 * static_cast<double>(k % 5);
      const double y = 100.0 + 20.0 * static_cast<double>(k / 5);
      const double row[4] = {x, y, x + 1.0, y + 2.0};
      std::copy(row, row + 4, s.PointsInput.begin() + 4 * k);
    }
    s.NumberOfPoints = n;
  }

  FakePlatform platform_;
};

TEST_F(ModelCommandsTest, PointCountPreconditionsComeBeforeAnyDialogOrWorker) {
  struct Case {
    int id;
    long points;
    const char* message;  // nullptr: the command runs
  };
  const Case cases[] = {
      {IDM_ADJUST, 2, kErrorMinimum3},
      {IDM_ADJUST, 3, nullptr},
      {IDM_EXTRAPOLATE, 9, kErrorMinimum10},
      {IDM_EXTRAPOLATE, 10, nullptr},
      {IDM_ORBIK_SAVE_ZMR, 2, kErrorTooFewPoints},
      {IDM_ORBIK_SAVE_ASCII, 2, kErrorTooFewPoints},
      {IDM_TRANSFORM, 2, kErrorNoCalibrationPoints},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.id) + " with " + std::to_string(c.points));
    platform_.messages.clear();
    platform_.dialogs.clear();
    platform_.workers.clear();
    SetPoints(c.points);
    State().NumberOfTriangles = 0;
    Run(c.id);
    if (c.message != nullptr) {
      EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{c.message});
      EXPECT_TRUE(platform_.dialogs.empty());
      EXPECT_TRUE(platform_.workers.empty());
    } else {
      EXPECT_TRUE(platform_.messages.empty());
      EXPECT_EQ(platform_.workers.size(), 1u);
    }
  }
}

TEST_F(ModelCommandsTest, TransformationWithoutTrianglesStillShowsTheTarget) {
  SetPoints(6);
  State().NumberOfTriangles = 0;
  Run(IDM_TRANSFORM);
  EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{kErrorNoCalibrationPoints});
  EXPECT_EQ(State().cCurrentBitmap, 1);
  EXPECT_EQ(State().fBitmap[1], 1);
}

TEST_F(ModelCommandsTest, TransformationOfPointsWithoutAnImageIsRefused) {
  SetPoints(6);
  State().NumberOfTriangles = 2;
  Run(IDM_TRANSFORM);
  EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{kErrorNoSourceImage});
  EXPECT_TRUE(platform_.workers.empty());
}

TEST_F(ModelCommandsTest, ExtrapolationAndTableRefuseABadEdgeStep) {
  SetPoints(10);
  State().EdgeGrid = 0;
  Run(IDM_EXTRAPOLATE);
  platform_.fileAnswers = {"table.txt"};
  Run(IDM_ORBIK_SAVE_ASCII);
  ASSERT_EQ(platform_.messages.size(), 2u);
  EXPECT_TRUE(platform_.workers.empty());
  EXPECT_FALSE(test::FileExists("table.txt"));
}

TEST_F(ModelCommandsTest, CenterMeshNeedsADetection) {
  ASSERT_NE(FindStep("center-mesh"), nullptr);
  RunCommand(FindStep("center-mesh")->id, platform_);
  EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{kErrorNoDetection});
  EXPECT_FALSE(test::FileExists("ResultsFit.txt"));
}

TEST_F(ModelCommandsTest, ZmrExportFailureShowsItsMessage) {
  SetPoints(6);
  platform_.fileAnswers = {"no-such-folder/x.zmr"};
  Run(IDM_ORBIK_SAVE_ZMR);
  EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{kErrorZmrExport});
}

}  // namespace
}  // namespace zmr
