// The main window driven through its real menu items: the menu, every command's preconditions
// and messages, a generated grid opened and detected through the real worker and progress
// dialog, the View toggles and the picture, Cancel, closing, the thresholding dialog, and files
// written under a locale with a decimal comma.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gridgen/GridGen.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Commands.h"
#include "ui/DisplayList.h"
#include "ui/Startup.h"
#include "ui/qt/DisplayPainter.h"
#include "ui/qt/DisplayWidget.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/ProgressDialog.h"
#include "ui/qt/QtPlatform.h"
#include "ui/qt/ThresholdDialog.h"
#include "ui/resource.h"

namespace zmr {
namespace {

using test::FileExists;
using test::ReadBytes;
using test::ReadFile;
using test::WriteFile;

// The Qt platform with a person's answers: file names from a queue (none queued: Cancel), OK
// in the image-format dialog, the Options dialog through a callback (none: Cancel).
class ScriptedPlatform : public QtPlatform {
 public:
  void Message(const std::string& text, const std::string& caption) override {
    messages.push_back(text);
    captions.push_back(caption);
  }
  bool AskFileName(FileDialog dialog, std::string& fileName, std::string& titleName) override {
    fileDialogs.push_back(dialog);
    if (fileAnswers.empty()) return false;
    fileName = fileAnswers.front();
    fileAnswers.pop_front();
    titleName = std::filesystem::path(fileName).filename().string();
    return true;
  }
  bool RunImageFormatDialog(ImageFormatDialogData& /*data*/) override {
    ++formatDialogs;
    return true;
  }
  bool RunOptionsDialog(OptionsDialogData& data) override {
    optionsShown.push_back(data);
    return onOptions ? onOptions(data) : false;
  }
  void RunAboutDialog() override { ++aboutBoxes; }

  std::vector<std::string> messages;
  std::vector<std::string> captions;
  std::deque<std::string> fileAnswers;
  std::vector<FileDialog> fileDialogs;
  int formatDialogs = 0;
  std::vector<OptionsDialogData> optionsShown;
  std::function<bool(OptionsDialogData&)> onOptions;
  int aboutBoxes = 0;
};

// Watches for progress dialogs while a command runs: records each one's title and hands it to
// an optional action once it is shown.
class ProgressWatch {
 public:
  explicit ProgressWatch(std::function<void(WorkerProgressDialog*)> onShown = {})
      : onShown_(std::move(onShown)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(2);
  }
  std::vector<QString> titles;

 private:
  void Poll() {
    auto* dialog = qobject_cast<WorkerProgressDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || dialog == seen_ || !dialog->isVisible()) return;
    seen_ = dialog;
    titles.push_back(dialog->windowTitle());
    if (onShown_) onShown_(dialog);
  }

  std::function<void(WorkerProgressDialog*)> onShown_;
  QTimer timer_;
  QPointer<WorkerProgressDialog> seen_;
};

// Counts the paints of a widget.
class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

bool IsGreen(QRgb c) { return qRed(c) == 0 && qGreen(c) == 255 && qBlue(c) == 0; }
bool IsBlue(QRgb c) { return qRed(c) == 0 && qGreen(c) == 0 && qBlue(c) == 255; }

int CountPixels(const QImage& image, bool (*test)(QRgb)) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) n += test(image.pixel(x, y)) ? 1 : 0;
  }
  return n;
}

// A small clean grid: 400 x 400 pixels, 9 x 9 spots.
GridSpec SmallGrid() {
  GridSpec gridSpec;
  gridSpec.width = gridSpec.height = 400;
  return gridSpec;
}

int DrawnSpots(const GridImage& image) {
  int n = 0;
  for (const GridSpot& spot : image.spots) n += spot.present ? 1 : 0;
  return n;
}

class MainWindowTest : public test::StateTest {
 protected:
  MainWindowTest() {
    StartProgram(platform_);
    platform_.SetProgressPollMilliseconds(10);
    window_ = std::make_unique<MainWindow>(platform_);
    window_->resize(420, 460);
    window_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  ~MainWindowTest() override {
    window_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EndProgram();
  }

  // The menu item whose data is the id, as a person would pick it from the menu.
  QAction* Item(int id) {
    for (QAction* action : window_->menuBar()->findChildren<QAction*>()) {
      if (action->menu() == nullptr && action->data().toInt() == id) return action;
    }
    return nullptr;
  }

  void Trigger(int id) {
    QAction* action = Item(id);
    ASSERT_NE(action, nullptr) << id;
    action->trigger();
    QApplication::processEvents();
  }

  bool Checked(int id) { return Item(id) != nullptr && Item(id)->isChecked(); }

  // What the client area shows now.
  QImage Picture() {
    QApplication::processEvents();
    return window_->display()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }

  // Writes the grid as an Ostrel file, makes its size the default format and opens it.
  GridImage OpenGrid(const GridSpec& gridSpec) {
    GridImage image = GenerateGrid(gridSpec);
    EXPECT_TRUE(WriteOstrelFile(dir_.File("grid.txt"), image, 16));
    State().IMAGE_X = gridSpec.width;
    State().IMAGE_Y = gridSpec.height;
    platform_.fileAnswers.push_back(dir_.File("grid.txt"));
    Trigger(IDM_OPEN_OSTREL);
    return image;
  }

  // Opens the small grid and runs Auto-detection; returns the number of spots drawn.
  int DetectSmallGrid() {
    const GridImage image = OpenGrid(SmallGrid());
    Trigger(IDM_AUTODETECT);
    return DrawnSpots(image);
  }

  // The window point of an image point in the current client area.
  QPoint WindowOf(double x, double y) {
    const WindowPoint p = ImageToWindow(x, y, window_->display()->width(),
                                        window_->display()->height(), State().cxDib, State().cyDib);
    return {static_cast<int>(p.x), static_cast<int>(p.y)};
  }

  ScriptedPlatform platform_;
  std::unique_ptr<MainWindow> window_;
};

// The menu as text: popups and submenus indented, items with their id and check mark.
void DumpMenu(const QMenu* menu, int depth, std::string& out) {
  for (const QAction* action : menu->actions()) {
    out += std::string(2 * static_cast<std::size_t>(depth), ' ');
    if (action->isSeparator()) {
      out += "----\n";
      continue;
    }
    out += action->text().toStdString();
    if (action->menu() != nullptr) {
      out += "\n";
      DumpMenu(action->menu(), depth + 1, out);
      continue;
    }
    out += " " + std::to_string(action->data().toInt());
    if (action->isCheckable()) out += action->isChecked() ? " [x]" : " [ ]";
    out += "\n";
  }
}

TEST_F(MainWindowTest, MenuFollowsTheCommandTableWithItsCheckMarks) {
  std::string menu;
  for (const QAction* popup : window_->menuBar()->actions()) {
    menu += popup->text().toStdString() + "\n";
    DumpMenu(popup->menu(), 1, menu);
  }
  EXPECT_EQ(menu,
            "&File\n"
            "  Image Data\n"
            "    &Open Ostrel File 40001\n"
            "    &Open Bitmap 40002\n"
            "    &Open ASCII File 40028\n"
            "    &Save as Bitmap 40022\n"
            "    &Save as ASCII 40003\n"
            "  Calibration Points\n"
            "    &Open 40005\n"
            "    &Save 40006\n"
            "  ORBIK Data\n"
            "    &Save as ASCII 40024\n"
            "    &Save as .zmr 40025\n"
            "  &Exit 40004\n"
            "&Edit\n"
            "  &Target->Source 40021\n"
            "  &Options 40027\n"
            "&View\n"
            "  &Displacement Vectors 40007 [x]\n"
            "  &Point Numbers 40008 [ ]\n"
            "  &Mesh 40009\n"
            "  &Triangles 40010 [ ]\n"
            "  ----\n"
            "  &Source Image 40011 [x]\n"
            "  &Transformed Image 40012 [ ]\n"
            "&Run\n"
            "  &Image Preprocessing\n"
            "    Box filter (noise removal) 40017\n"
            "    Thresholding 40019\n"
            "  &Calibration Points\n"
            "    Auto-detection 40015\n"
            "    Adjustment of rotation &scaling 40016\n"
            "    Boundary Extrapolation 40026\n"
            "  Transformation 40014\n"
            "&Help\n"
            "  Help Topics 40029\n"
            "  About 40020\n");
  EXPECT_EQ(window_->windowTitle(), "ZMRCalibration");
  EXPECT_FALSE(window_->windowIcon().isNull());
  EXPECT_EQ(window_->centralWidget(), window_->display());
}

TEST_F(MainWindowTest, ClientSizeFollowsTheDisplayWidget) {
  window_->resize(500, 380);
  QApplication::processEvents();
  EXPECT_EQ(State().cxClient, window_->display()->width());
  EXPECT_EQ(State().cyClient, window_->display()->height());
  EXPECT_EQ(State().cxClient, 500);
}

struct RefusalCase {
  const char* name;
  int id;
  long points;  // NumberOfPoints before the command
  const char* message;
  std::vector<FileDialog> dialogs = {};
};

class RefusalTest : public MainWindowTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, ShowsItsMessageAndWritesNothing) {
  const RefusalCase& c = GetParam();
  State().NumberOfPoints = c.points;
  // A name is at hand: a command that asked before refusing would take it.
  platform_.fileAnswers.push_back(dir_.File("answer.out"));
  Trigger(c.id);
  EXPECT_EQ(platform_.messages, std::vector<std::string>{c.message});
  EXPECT_EQ(platform_.captions, std::vector<std::string>{"MenuDemo"});
  EXPECT_EQ(platform_.fileDialogs, c.dialogs);
  EXPECT_FALSE(FileExists(dir_.File("answer.out")));
  EXPECT_EQ(State().NumberOfPoints, c.points);
}

const char kNoSource[] = "Error - there is no source image";
const char kTooFew[] = "Error - there are too few calibration points !";

INSTANTIATE_TEST_SUITE_P(
    Commands, RefusalTest,
    ::testing::Values(
        RefusalCase{"BoxFilter", IDM_BOX_FILTER, 0, kNoSource},
        RefusalCase{"AutoDetection", IDM_AUTODETECT, 0, kNoSource},
        RefusalCase{"SaveAscii", IDM_SAVE_ASCII, 0, "Error - there are no source image data"},
        RefusalCase{"SaveBitmapOfNothing",
                    IDM_SAVE_BITMAP,
                    0,
                    "Error in creating image file",
                    {FileDialog::Ostrel}},
        RefusalCase{"Extrapolation9", IDM_EXTRAPOLATE, 9,
                    "Error - minimum 10 calibration points required"},
        RefusalCase{"Adjustment2", IDM_ADJUST, 2, "Error - minimum 3 calibration points required"},
        RefusalCase{"Transformation", IDM_TRANSFORM, 0, "Error - there are no calibration points"},
        RefusalCase{"OrbikAscii2", IDM_ORBIK_SAVE_ASCII, 2, kTooFew},
        RefusalCase{"Zmr2", IDM_ORBIK_SAVE_ZMR, 2, kTooFew}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST_F(MainWindowTest, AutoDetectionRunsUnderItsProgressDialogAndShowsTheResult) {
  const GridImage image = OpenGrid(SmallGrid());
  const QImage source = Picture();
  ProgressWatch watch;
  Trigger(IDM_AUTODETECT);

  EXPECT_EQ(watch.titles, std::vector<QString>{"Running Auto Detection of Calib. Points"});
  EXPECT_TRUE(platform_.messages.empty());
  EXPECT_FALSE(platform_.WorkerRunning());
  EXPECT_FALSE(window_->display()->frozen());
  // Every spot is found; tracing may leave a spot at the rim unassigned.
  EXPECT_EQ(State().iDetectedAreas.load(), DrawnSpots(image));
  EXPECT_GE(State().NumberOfPoints, DrawnSpots(image) - 2);
  EXPECT_LE(State().NumberOfPoints, DrawnSpots(image));
  EXPECT_GT(State().NumberOfTriangles, 0);
  EXPECT_TRUE(Checked(IDM_VIEW_TARGET));
  EXPECT_FALSE(Checked(IDM_VIEW_SOURCE));

  // The labelled target with a green mark and vector at every point.
  const QImage shown = Picture();
  EXPECT_NE(shown, source);
  EXPECT_GE(CountPixels(shown, IsGreen), 8 * State().NumberOfPoints);
  const double* p = State().PointsInput.data();
  const QPoint mark = WindowOf(p[0], p[1]);
  EXPECT_TRUE(IsGreen(shown.pixel(mark + QPoint(-2, 0)))) << mark.x() << "," << mark.y();
}

TEST_F(MainWindowTest, LongCommandsRunUnderTheirProgressDialogs) {
  DetectSmallGrid();
  const long detected = State().NumberOfPoints;
  ASSERT_GE(detected, 10);
  ProgressWatch watch;

  Trigger(IDM_TRANSFORM);
  EXPECT_TRUE(Checked(IDM_VIEW_TARGET));
  Trigger(IDM_ADJUST);
  EXPECT_TRUE(FileExists("CorrectedPoints.txt"));
  Trigger(IDM_EXTRAPOLATE);
  const long extended = State().NumberOfPoints;
  EXPECT_GT(extended, detected);

  platform_.fileAnswers = {dir_.File("points.txt"), dir_.File("points.txt")};
  Trigger(IDM_POINTS_SAVE);
  State().NumberOfPoints = 0;
  State().NumberOfTriangles = 0;
  Trigger(IDM_POINTS_OPEN);
  EXPECT_EQ(State().NumberOfPoints, extended);
  EXPECT_GT(State().NumberOfTriangles, 0);

  platform_.fileAnswers = {dir_.File("table.txt"), dir_.File("grid.zmr")};
  Trigger(IDM_ORBIK_SAVE_ASCII);
  Trigger(IDM_ORBIK_SAVE_ZMR);
  EXPECT_FALSE(ReadFile(dir_.File("table.txt")).empty());
  EXPECT_EQ(ReadBytes(dir_.File("grid.zmr")).size(), 4356u);

  EXPECT_TRUE(platform_.messages.empty());
  EXPECT_EQ(watch.titles,
            (std::vector<QString>{"Transforming Image",
                                  "Adjusting rotation and scale of calibration points",
                                  "Extrapolation of calibration data", "Auto Triangulation"}));
}

struct ToggleCase {
  const char* name;
  int id;
  int bit;
  bool (*colour)(QRgb);  // a colour that the overlay adds or removes, or nullptr
};

class ViewToggleTest : public MainWindowTest, public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(ViewToggleTest, TogglingTwiceRestoresThePicture) {
  const ToggleCase& c = GetParam();
  DetectSmallGrid();
  const int mode = State().cfDrawMode;
  const bool wasChecked = Checked(c.id);
  const QImage before = Picture();

  Trigger(c.id);
  EXPECT_EQ(State().cfDrawMode, mode ^ c.bit);
  EXPECT_EQ(Checked(c.id), !wasChecked);
  const QImage toggled = Picture();
  EXPECT_NE(toggled, before);
  if (c.colour != nullptr) {
    EXPECT_NE(CountPixels(toggled, c.colour) > 0, CountPixels(before, c.colour) > 0);
  }

  Trigger(c.id);
  EXPECT_EQ(State().cfDrawMode, mode);
  EXPECT_EQ(Checked(c.id), wasChecked);
  EXPECT_EQ(Picture(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Overlays, ViewToggleTest,
    ::testing::Values(ToggleCase{"Vectors", IDM_VIEW_VECTORS, kDrawVectors, IsGreen},
                      ToggleCase{"Numbers", IDM_VIEW_NUMBERS, kDrawNumbers, nullptr},
                      ToggleCase{"Triangles", IDM_VIEW_TRIANGLES, kDrawTriangles, IsBlue}),
    [](const ::testing::TestParamInfo<ToggleCase>& info) { return info.param.name; });

TEST_F(MainWindowTest, MeshChangesNothingAndDoesNotRepaint) {
  DetectSmallGrid();
  const int mode = State().cfDrawMode;
  ASSERT_NE(Item(IDM_VIEW_MESH), nullptr);
  EXPECT_FALSE(Item(IDM_VIEW_MESH)->isCheckable());

  PaintCounter counter;
  window_->display()->installEventFilter(&counter);
  Trigger(IDM_VIEW_MESH);
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, 0);
  EXPECT_EQ(State().cfDrawMode, mode);
  EXPECT_FALSE(Item(IDM_VIEW_MESH)->isChecked());

  // The same watch sees the repaint of a real toggle.
  Trigger(IDM_VIEW_NUMBERS);
  QApplication::processEvents();
  EXPECT_GT(counter.paints, 0);
  window_->display()->removeEventFilter(&counter);
}

TEST_F(MainWindowTest, OpenedGridShowsAsTheSourceAndTheMissingTargetAsTheNoImageText) {
  const QImage empty = Picture();
  // The picture of an empty display, as the painter draws it.
  DisplaySnapshot none;
  none.cxDib = State().cxDib;
  none.cyDib = State().cyDib;
  EXPECT_EQ(empty, RenderDisplay(none, window_->display()->width(), window_->display()->height())
                       .convertToFormat(QImage::Format_RGB32));

  const GridImage image = OpenGrid(SmallGrid());
  EXPECT_TRUE(platform_.messages.empty());
  EXPECT_EQ(platform_.formatDialogs, 0);
  ASSERT_EQ(State().cxDib, 400);
  ASSERT_EQ(State().Msource.size(), 400u * 400u);
  EXPECT_TRUE(Checked(IDM_VIEW_SOURCE));
  EXPECT_FALSE(Checked(IDM_VIEW_TARGET));
  // The image is stretched over the client area: a spot centre is dark, the corner bright.
  const QImage source = Picture();
  EXPECT_NE(source, empty);
  const GridSpot& spot = image.spots.front();
  EXPECT_LT(qGray(source.pixel(WindowOf(spot.measuredX, spot.measuredY))), 80);
  EXPECT_GT(qGray(source.pixel(WindowOf(2, 2))), 160);

  Trigger(IDM_VIEW_TARGET);
  EXPECT_TRUE(Checked(IDM_VIEW_TARGET));
  EXPECT_FALSE(Checked(IDM_VIEW_SOURCE));
  EXPECT_EQ(Picture(), empty);

  // Target->Source without a target only switches back to the source.
  const std::vector<int> pixels = State().Msource;
  Trigger(IDM_TARGET_TO_SOURCE);
  EXPECT_TRUE(Checked(IDM_VIEW_SOURCE));
  EXPECT_EQ(State().Msource, pixels);
  EXPECT_EQ(Picture(), source);

  // A transformation refused for want of points still switches to the target.
  Trigger(IDM_TRANSFORM);
  EXPECT_EQ(platform_.messages, std::vector<std::string>{kErrorNoCalibrationPoints});
  EXPECT_TRUE(Checked(IDM_VIEW_TARGET));
  EXPECT_FALSE(Checked(IDM_VIEW_SOURCE));
}

TEST_F(MainWindowTest, CancelledDetectionEndsTheCommandAndLeavesTheWindowUsable) {
  // Large enough that the detection is far from done when Cancel is pressed.
  GridSpec gridSpec;
  gridSpec.width = gridSpec.height = 1400;
  const GridImage image = OpenGrid(gridSpec);
  ASSERT_EQ(State().cxDib, 1400);
  const QImage source = Picture();

  bool closedAtOnce = false;
  bool paintedFromBefore = false;
  ProgressWatch watch([&](WorkerProgressDialog* dialog) {
    // While the worker runs the display paints what it showed before the command.
    paintedFromBefore =
        window_->display()->grab().toImage().convertToFormat(QImage::Format_RGB32) == source;
    QTest::keyClick(dialog, Qt::Key_Escape);  // Cancel, as the dialog tests show
    closedAtOnce = !dialog->isVisible();
  });
  Trigger(IDM_AUTODETECT);

  EXPECT_EQ(watch.titles.size(), 1u);
  EXPECT_TRUE(closedAtOnce);
  EXPECT_TRUE(paintedFromBefore);
  EXPECT_EQ(State().fTerminated.load(), 1);
  EXPECT_FALSE(platform_.WorkerRunning());
  EXPECT_LT(State().NumberOfPoints, DrawnSpots(image));
  EXPECT_TRUE(Checked(IDM_VIEW_TARGET));

  // The window goes on working.
  Trigger(IDM_VIEW_NUMBERS);
  EXPECT_TRUE(Checked(IDM_VIEW_NUMBERS));
  Trigger(IDM_BOX_FILTER);
  EXPECT_TRUE(platform_.messages.empty());
  EXPECT_EQ(State().fBitmap[1], 1);
}

TEST_F(MainWindowTest, ClosingWhileAWorkerRunsClosesAfterTheCommand) {
  OpenGrid(SmallGrid());
  bool stillOpen = false;
  ProgressWatch watch([&](WorkerProgressDialog* /*dialog*/) {
    window_->close();
    stillOpen = window_->isVisible();
  });
  Trigger(IDM_AUTODETECT);
  EXPECT_TRUE(stillOpen);
  EXPECT_GT(State().NumberOfPoints, 0);
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(MainWindowTest, ExitAndTheCloseButtonCloseTheWindowAndTheThresholdDialog) {
  OpenGrid(SmallGrid());
  Trigger(IDM_THRESHOLD);
  ASSERT_NE(State().hDlgModeless, nullptr);
  Trigger(IDM_EXIT);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(State().hDlgModeless, nullptr);

  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  window_->close();
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(MainWindowTest, ThresholdingDialogFromTheMenuFollowsItsScrollBar) {
  OpenGrid(SmallGrid());
  Trigger(IDM_THRESHOLD);
  ThresholdDialog* dialog = platform_.thresholdDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(State().hDlgModeless, static_cast<void*>(dialog));
  EXPECT_TRUE(Checked(IDM_VIEW_TARGET));
  auto* bar = dialog->findChild<QScrollBar*>("thresholdScroll");
  auto* value = dialog->findChild<QLabel*>("thresholdValue");
  ASSERT_NE(bar, nullptr);
  ASSERT_NE(value, nullptr);

  auto binarised = [](int threshold) {
    std::vector<int> expected;
    for (int v : State().Msource) expected.push_back(v > threshold ? 255 : 0);
    return expected;
  };
  EXPECT_EQ(value->text(), "128");
  EXPECT_EQ(State().Mtarget, binarised(128));
  const QImage at128 = Picture();

  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(State().iThreshold, 255);
  EXPECT_EQ(State().Mtarget, binarised(255));
  const QImage black = Picture();
  EXPECT_NE(black, at128);
  EXPECT_EQ(qGray(black.pixel(black.width() / 3, black.height() / 3)), 0);

  // A second opening replaces the first and starts at the kept threshold.
  Trigger(IDM_THRESHOLD);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ThresholdDialog* second = platform_.thresholdDialog();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->findChild<QLabel*>("thresholdValue")->text(), "255");
  EXPECT_EQ(State().hDlgModeless, static_cast<void*>(second));
  second->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(State().hDlgModeless, nullptr);
  EXPECT_EQ(platform_.thresholdDialog(), nullptr);
}

TEST_F(MainWindowTest, AboutAndHelpTopicsOpenTheirWindows) {
  Trigger(IDM_ABOUT);
  EXPECT_EQ(platform_.aboutBoxes, 1);

  WriteFile(dir_.File("help.html"), "<html><body><p>Grid calibration help</p></body></html>");
  State().pzHelpDir = dir_.File("help.html");
  Trigger(IDM_HELP_TOPICS);
  QTextBrowser* browser = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible()) continue;
    if (auto* b = qobject_cast<QTextBrowser*>(w)) browser = b;
    if (auto* b = w->findChild<QTextBrowser*>()) browser = b;
  }
  ASSERT_NE(browser, nullptr);
  EXPECT_TRUE(browser->toPlainText().contains("Grid calibration help"));
  browser->window()->close();
}

// Restores the locale (and LOCPATH) of the test program when it goes.
class LocaleGuard {
 public:
  LocaleGuard() : saved_(std::setlocale(LC_ALL, nullptr)) {
    if (const char* path = std::getenv("LOCPATH")) savedPath_ = path;
  }
  ~LocaleGuard() {
    if (savedPath_) {
      setenv("LOCPATH", savedPath_->c_str(), 1);
    } else {
      unsetenv("LOCPATH");
    }
    std::setlocale(LC_ALL, saved_.c_str());
    UseCNumericLocale();
  }

  // Switches the whole locale to one with a decimal comma: an installed one, or else one that
  // localedef builds into folder. False when there is none to be had.
  bool UseCommaLocale(const std::filesystem::path& folder) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
      if (std::setlocale(LC_ALL, name) != nullptr) return true;
    }
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + (folder / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == -1) return false;
    setenv("LOCPATH", folder.c_str(), 1);
    return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  }

 private:
  std::string saved_;
  std::optional<std::string> savedPath_;
};

TEST_F(MainWindowTest, FilesKeepAFullStopUnderALocaleWithADecimalComma) {
  LocaleGuard guard;
  std::filesystem::create_directory(dir_.File("locale"));
  if (!guard.UseCommaLocale(dir_.File("locale"))) {
    GTEST_SKIP() << "no locale with a decimal comma is available";
  }
  char text[16];
  std::snprintf(text, sizeof text, "%g", 0.5);
  ASSERT_STREQ(text, "0,5");

  // What the program does after QApplication has taken the user's locale.
  UseCNumericLocale();

  // Options: "Max. slope:" is shown and read with a full stop.
  platform_.onOptions = [](OptionsDialogData& data) {
    data.fields[5] = "0.35";
    return true;
  };
  Trigger(IDM_OPTIONS);
  ASSERT_EQ(platform_.optionsShown.size(), 1u);
  EXPECT_EQ(platform_.optionsShown[0].fields[5], "0.2");
  EXPECT_DOUBLE_EQ(State().Ethresh, 0.35);

  // A points file is read and written with full stops.
  WriteFile(dir_.File("in.txt"), "12.3 45.6 100.5 200.25\n30.5 40.5 31.5 41.5\n60.5 10.5 61 11\n");
  platform_.fileAnswers = {dir_.File("in.txt"), dir_.File("out.txt")};
  Trigger(IDM_POINTS_OPEN);
  ASSERT_EQ(State().NumberOfPoints, 3);
  EXPECT_DOUBLE_EQ(State().PointsInput[0], static_cast<double>(12.3f));
  Trigger(IDM_POINTS_SAVE);
  EXPECT_EQ(ReadFile(dir_.File("out.txt")),
            " 12.3  45.6 100.5 200.2\n"
            " 30.5  40.5  31.5  41.5\n"
            " 60.5  10.5  61.0  11.0\n");
  EXPECT_TRUE(platform_.messages.empty());
}

}  // namespace
}  // namespace zmr
