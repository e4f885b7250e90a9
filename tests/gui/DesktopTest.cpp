// The window's desktop habits: files named on the command line and dropped on the window,
// the recent files, the save dialog, the reason under a message, the summary after a long
// command, and the Further Options dialog's checks.
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include "gridgen/GridGen.h"
#include "gui/WindowTest.h"
#include "ui/qt/FurtherOptionsDialog.h"
#include "ui/resource.h"

namespace zmr {
namespace {

// A 300 x 300 grid in the working size of the options, and three calibration points.
class DesktopTest : public test::WindowTest {
 protected:
  DesktopTest() {
    GridSpec grid;
    grid.width = grid.height = State().IMAGE_X = State().IMAGE_Y = 300;
    EXPECT_TRUE(WriteOstrelFile("grid.txt", GenerateGrid(grid), 16));
    test::WriteFile("points.txt",
                    "10.0 10.0 11.0 10.5\n50.0 10.0 50.0 10.0\n10.0 50.0 10.0 50.0\n");
  }
};

TEST_F(DesktopTest, FilesFromTheCommandLineAndFromADropOpenImagesFirst) {
  // Points named first still land on the image opened with them.
  window_->OpenStartupFiles({"zmrcalibration", "-style", "points.txt", "grid.txt"});
  EXPECT_EQ(State().fBitmap[0], 1);
  EXPECT_EQ(State().cxDib, 300);
  EXPECT_EQ(State().NumberOfPoints, 3);
  EXPECT_EQ(window_->windowTitle().toStdString(), "grid.txt, points.txt - ZMRCalibration");
  EXPECT_TRUE(seen.empty());

  // Dropped: a missing file is told with its name and reason, the others open.
  State().NumberOfPoints = 0;
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(Abs("nosuch.tif")), QUrl::fromLocalFile(Abs("points.txt"))});
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  // Straight to the window: outside a real drag Qt routes no drop event to it.
  static_cast<QObject*>(window_.get())->event(&drop);
  for (int wait = 0; wait < 200 && State().NumberOfPoints != 3; ++wait) QTest::qWait(10);
  EXPECT_EQ(State().NumberOfPoints, 3);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_NE(seen[0].find("nosuch.tif"), std::string::npos) << seen[0];
}

TEST_F(DesktopTest, RecentFilesListOpenedFilesNewestFirstAndReopenThem) {
  Trigger(IDM_OPEN_OSTREL, "grid.txt");
  Trigger(IDM_POINTS_OPEN, "points.txt");
  Trigger(IDM_POINTS_OPEN, "missing.txt");  // refused: not listed
  const std::vector<RecentFile> listed = RecentFiles().List();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].path, Abs("points.txt"));
  EXPECT_EQ(listed[0].command, IDM_POINTS_OPEN);
  EXPECT_EQ(listed[1].path, Abs("grid.txt"));
  EXPECT_EQ(seen.back(), "Error - cannot read the points file | missing.txt: no such file");

  // Picking the image from the menu opens it again without a dialog.
  ResetProgramState();
  StartProgram(platform_);
  State().IMAGE_X = State().IMAGE_Y = 300;  // the grid's size: no format dialog
  seen.clear();
  QMenu* recent = window_->findChild<QMenu*>("recentFiles");
  ASSERT_NE(recent, nullptr);
  emit recent->aboutToShow();
  recent->actions().at(1)->trigger();
  EXPECT_EQ(State().cxDib, 300);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(RecentFiles().List().front().path, Abs("grid.txt"));
}

TEST_F(DesktopTest, SaveDialogsAreTitledAndAskBeforeReplacing) {
  test::WriteFile("out.txt", "old\n");
  State().NumberOfPoints = 0;
  Trigger(IDM_POINTS_SAVE, "out");
  EXPECT_EQ(seen.at(0), "Save Calibration Points [save]");
  ASSERT_EQ(seen.size(), 2u);  // the question whether to replace out.txt, answered Yes
  EXPECT_NE(test::ReadFile("out.txt"), "old\n");
  seen.clear();
  Trigger(IDM_POINTS_OPEN, "points.txt");
  EXPECT_EQ(seen.at(0), "Open Calibration Points");
}

TEST_F(DesktopTest, LongCommandsEndWithASummaryLine) {
  Trigger(IDM_OPEN_OSTREL, "grid.txt");
  Trigger(IDM_AUTODETECT);
  const std::string detection = window_->StatusMessage().toStdString();
  const std::string expected = "Auto-detection: " + std::to_string(State().iDetectedAreas.load()) +
                               " areas, " + std::to_string(State().NumberOfPoints) + " assigned, " +
                               std::to_string(State().NumberOfTriangles) + " triangles, ";
  EXPECT_EQ(detection.substr(0, expected.size()), expected);
  EXPECT_GT(State().NumberOfTriangles, 0);
  Trigger(IDM_ADJUST);
  EXPECT_EQ(window_->StatusMessage().left(21).toStdString(), "Adjustment: rotation ");
}

TEST(FurtherOptionsTest, RefusesABadValueAndChangesNothing) {
  ResetProgramState();
  ProgramState& s = State();
  const std::vector<std::string> shown = FurtherOptionTexts(s);
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown[0], "0");
  std::vector<std::string> edited = shown;
  edited[0] = "2";
  edited[1] = "7";  // out of range
  const Result refused = ApplyFurtherOptions(s, edited);
  EXPECT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("DetectionMode"), std::string::npos);
  EXPECT_EQ(s.TransformMode, 0);
  edited[1] = "1";
  EXPECT_TRUE(ApplyFurtherOptions(s, edited).ok());
  EXPECT_EQ(s.TransformMode, 2);
  EXPECT_EQ(s.DetectionMode, 1);
}

}  // namespace
}  // namespace zmr
