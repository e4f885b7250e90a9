// The main window driven through its menu items on the Qt platform: a short calibration of a
// generated grid, with its file dialogs and each long step on the worker thread under its
// progress dialog, and a worker cancelled from its progress dialog.
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <tuple>

#include "gridgen/GridGen.h"
#include "gui/WindowTest.h"
#include "ui/resource.h"

namespace zmr {
namespace {

class MainWindowTest : public test::WindowTest {
 protected:
  // Opens a generated size x size grid, written as an Ostrel file of the default format, and
  // returns the number of its spots.
  long OpenGrid(int size) {
    GridSpec grid;
    grid.width = grid.height = State().IMAGE_X = State().IMAGE_Y = size;
    const GridImage image = GenerateGrid(grid);
    EXPECT_TRUE(WriteOstrelFile("grid.txt", image, 16));
    Trigger(IDM_OPEN_OSTREL, "grid.txt");
    return std::count_if(image.spots.begin(), image.spots.end(), [](auto& s) { return s.present; });
  }
};

TEST_F(MainWindowTest, CalibrationStepsRunUnderTheirProgressDialogsAndWriteTheirFiles) {
  const long spots = OpenGrid(400);
  EXPECT_EQ(seen, std::vector<std::string>{"Open Ostrel File"});
  // Each step: its menu item, the name chosen in its file dialog, the dialog's title ("": none)
  // and the title of the progress dialog it runs under ("": none). No message box is shown.
  const std::tuple<int, const char*, const char*, const char*> steps[] = {
      {IDM_AUTODETECT, "", "", "Running Auto Detection of Calib. Points"},
      {IDM_TRANSFORM, "", "", "Transforming Image"},
      {IDM_ADJUST, "", "", "Adjusting rotation and scale of calibration points"},
      {IDM_EXTRAPOLATE, "", "", "Extrapolation of calibration data"},
      {IDM_POINTS_SAVE, "points", "Save Calibration Points [save]", ""},
      {IDM_POINTS_OPEN, "points.txt", "Open Calibration Points", "Auto Triangulation"},
      {IDM_ORBIK_SAVE_ZMR, "grid", "Save ORBIK Data as .zmr [save]", ""}};
  for (const auto& [id, file, dialog, progress] : steps) {
    seen.clear(), titles.clear();
    Trigger(id, file);
    EXPECT_EQ(seen, std::vector<std::string>(*dialog != '\0', dialog)) << id;
    EXPECT_EQ(titles, std::vector<std::string>(*progress != '\0', progress)) << id;
  }
  // Extrapolation added boundary points to those detected, which came back from the points
  // file saved under the name with the dialog's default suffix.
  EXPECT_GT(State().NumberOfPoints, spots);
  EXPECT_GT(State().NumberOfTriangles, 0);
  EXPECT_EQ(test::ReadBytes("grid.zmr").size(), 4356u);
}

TEST_F(MainWindowTest, CancellingAWorkerFromItsProgressDialogLeavesTheWindowUsable) {
  // Large enough that the detection is far from done when Cancel is pressed.
  const long spots = OpenGrid(1400);
  onProgress = [](WorkerProgressDialog* d) {
    QTest::mouseClick(d->findChild<QPushButton*>(), Qt::LeftButton);
    EXPECT_FALSE(d->isVisible());  // at once, without waiting for the worker
  };
  Trigger(IDM_AUTODETECT);
  EXPECT_EQ(titles.size(), 1u);
  EXPECT_FALSE(platform_.WorkerRunning());
  EXPECT_LT(State().NumberOfPoints, spots);
  // The window goes on working: the next command runs and shows its result.
  Trigger(IDM_BOX_FILTER);
  EXPECT_EQ(State().fBitmap[1], 1);
}

// The View items carry check marks that follow the display state, and only they do.
TEST_F(MainWindowTest, ViewCheckMarksFollowTheOverlaysAndTheShownImage) {
  const int viewItems[] = {IDM_VIEW_VECTORS, IDM_VIEW_NUMBERS, IDM_VIEW_TRIANGLES, IDM_VIEW_SOURCE,
                           IDM_VIEW_TARGET};
  const auto marks = [&] {
    std::string out;
    for (int id : viewItems) out += window_->ActionOf(id)->isChecked() ? '1' : '0';
    return out;
  };
  for (int id : viewItems) EXPECT_TRUE(window_->ActionOf(id)->isCheckable()) << id;
  EXPECT_FALSE(window_->ActionOf(IDM_AUTODETECT)->isCheckable());
  EXPECT_EQ(marks(), "10010");  // vectors on (the default), the source shown
  const std::pair<int, const char*> steps[] = {
      {IDM_VIEW_NUMBERS, "11010"}, {IDM_VIEW_VECTORS, "01010"}, {IDM_VIEW_TRIANGLES, "01110"},
      {IDM_VIEW_TARGET, "01101"},  {IDM_VIEW_NUMBERS, "00101"}, {IDM_VIEW_SOURCE, "00110"}};
  for (const auto& [id, expected] : steps) {
    Trigger(id);
    EXPECT_EQ(marks(), expected) << "after " << id;
  }
}

// The counters and the bar of each kind of progress dialog show the worker's values, each under
// its own label, and their last values as the dialog closes.
TEST_F(MainWindowTest, ProgressDialogShowsEachCounterUnderItsLabel) {
  ProgramState& s = State();
  s.iDetectedAreas = 11, s.iAssignedPoints = 22, s.iTriangles = 33, s.iProgressStatus = 44;
  s.fTerminated = 1;  // the worker has ended: the first tick shows the values and closes
  const std::pair<ProgressDialog, const char*> kinds[] = {
      {ProgressDialog::AutoDetection, "Detected Areas: 11 Assigned Points: 22 Triangles: 33 "},
      {ProgressDialog::Transformation, "Lines Completed: 11 Points: 22 Triangles: 33 "},
      {ProgressDialog::Adjustment, "Points: 22 Triangles: 33 "}};
  for (const auto& [kind, expected] : kinds) {
    WorkerProgressDialog dialog(kind, window_.get(), 1);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    std::string shown;
    for (int id : {15, 16, 17}) {
      const auto* counter = dialog.findChild<QLabel*>(QString("counter%1").arg(id));
      if (counter == nullptr) continue;
      const auto* layout =
          qobject_cast<QGridLayout*>(counter->parentWidget()->layout()->itemAt(2)->layout());
      ASSERT_NE(layout, nullptr);
      int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
      layout->getItemPosition(layout->indexOf(counter), &row, &column, &rowSpan, &columnSpan);
      const auto* label = qobject_cast<QLabel*>(layout->itemAtPosition(row, column - 1)->widget());
      shown += label->text().toStdString() + " " + counter->text().toStdString() + " ";
    }
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(dialog.findChild<QProgressBar*>("bar1000")->value(), 44);
  }
}

}  // namespace
}  // namespace zmr
