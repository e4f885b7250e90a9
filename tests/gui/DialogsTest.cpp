// The dialogs of the desktop program under the offscreen platform: their texts and initial
// values, digits-only typing, what OK and Cancel hand back, the progress dialog's polling and
// Cancel, the thresholding scroll bar, the file dialogs' filters, and the help window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "state/ProgramState.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/FileDialogs.h"
#include "ui/qt/HelpWindow.h"
#include "ui/qt/ImageFormatDialog.h"
#include "ui/qt/OptionsDialog.h"
#include "ui/qt/ProgressDialog.h"
#include "ui/qt/ThresholdDialog.h"

namespace zmr {
namespace {

// Runs action on the modal dialog once it is shown, while the code under test waits in its
// exec(). Should none appear, every open dialog is rejected so that the test fails, not hangs.
void OnModalDialog(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr && ++*tries < 2000) return;
    timer->stop();
    timer->deleteLater();
    if (modal != nullptr) {
      action(modal);
      return;
    }
    ADD_FAILURE() << "no modal dialog appeared";
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* d = qobject_cast<QDialog*>(w); d != nullptr && d->isVisible()) d->reject();
    }
  });
  timer->start(5);
}

QPushButton* Button(QWidget* dialog, const QString& text) {
  for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
    if (b->text() == text) return b;
  }
  ADD_FAILURE() << "no button " << text.toStdString();
  return nullptr;
}

void Click(QWidget* dialog, const QString& text) {
  if (QPushButton* b = Button(dialog, text)) QTest::mouseClick(b, Qt::LeftButton);
}

// Closes a dialog the way the user would: "Escape" presses that key, anything else clicks the
// button of that text.
void CloseWith(QWidget* dialog, const char* how) {
  if (std::string(how) == "Escape") {
    QTest::keyClick(dialog, Qt::Key_Escape);
  } else {
    Click(dialog, how);
  }
}

// The non-empty label texts of a dialog, top to bottom and left to right.
std::vector<std::string> VisualTexts(QWidget* dialog) {
  QList<QLabel*> labels = dialog->findChildren<QLabel*>();
  std::stable_sort(labels.begin(), labels.end(), [dialog](QLabel* a, QLabel* b) {
    const QPoint pa = a->mapTo(dialog, QPoint(0, 0));
    const QPoint pb = b->mapTo(dialog, QPoint(0, 0));
    return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
  });
  std::vector<std::string> texts;
  for (QLabel* l : labels) {
    if (!l->text().isEmpty()) texts.push_back(l->text().toStdString());
  }
  return texts;
}

std::string TextOf(QWidget* dialog, const char* name) {
  if (auto* label = dialog->findChild<QLabel*>(name)) return label->text().toStdString();
  if (auto* edit = dialog->findChild<QLineEdit*>(name)) return edit->text().toStdString();
  ADD_FAILURE() << "no control " << name;
  return {};
}

// Lays the dialog out as it would be shown, so that positions mean something.
void LayOut(QWidget* dialog) {
  dialog->show();
  QApplication::processEvents();
}

// --- About -----------------------------------------------------------------------------------

TEST(AboutDialogTest, ShowsAboutAboveTheProductLineAndOkOrEscapeCloseIt) {
  {
    AboutDialog dialog(nullptr);
    LayOut(&dialog);
    EXPECT_EQ(VisualTexts(&dialog),
              (std::vector<std::string>{"About", "ZMR Image Calibration (Version 0.3-061204)"}));
    ASSERT_EQ(dialog.findChildren<QPushButton*>().size(), 1);
    EXPECT_EQ(dialog.findChild<QPushButton*>()->text(), "OK");
  }
  for (const char* how : {"OK", "Escape"}) {
    OnModalDialog([how](QWidget* d) { CloseWith(d, how); });
    RunAboutDialogQt(nullptr);  // returns only once the box is closed
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << how;
  }
}

// --- digits-only fields ------------------------------------------------------------------------

struct TypingCase {
  const char* programText;
  const char* typed;
  const char* expected;
};

class DigitsOnlyTypingTest : public ::testing::TestWithParam<TypingCase> {};

TEST_P(DigitsOnlyTypingTest, KeepsProgramTextAndTypedDigitsOnly) {
  const TypingCase& c = GetParam();
  std::unique_ptr<QLineEdit> edit(NewDigitsOnlyEdit(c.programText, nullptr));
  EXPECT_EQ(edit->text().toStdString(), c.programText);
  QTest::keyClicks(edit.get(), c.typed);
  EXPECT_EQ(edit->text().toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Fields, DigitsOnlyTypingTest,
                         ::testing::Values(TypingCase{"128", "a9", "1289"},
                                           TypingCase{"-5", "3", "-53"},
                                           TypingCase{"-5", "-x", "-5"},
                                           TypingCase{"0.2", "5.e", "0.25"},
                                           TypingCase{"", "-12", "12"}, TypingCase{"", " 7+", "7"},
                                           TypingCase{"-115", "\b\b\b\b", ""}));

TEST(DigitsOnlyFieldTest, ADeletedSignCannotBeTypedBack) {
  std::unique_ptr<QLineEdit> edit(NewDigitsOnlyEdit("-5", nullptr));
  QTest::keyClick(edit.get(), Qt::Key_Home);
  QTest::keyClick(edit.get(), Qt::Key_Delete);
  EXPECT_EQ(edit->text(), "5");
  QTest::keyClicks(edit.get(), "-");
  EXPECT_EQ(edit->text(), "5");
  edit->setText("-0.5");  // the program's text again
  QTest::keyClicks(edit.get(), "1");
  EXPECT_EQ(edit->text(), "-0.51");
}

// --- Options -----------------------------------------------------------------------------------

OptionsDialogData SampleOptions() {
  return OptionsDialogData{{"640", "480", "5", "400", "32", "0.2", "-5", "128"}};
}

TEST(OptionsDialogTest, ShowsItsDataUnderTheEightLabelsInOrder) {
  OptionsDialog dialog(SampleOptions(), nullptr);
  LayOut(&dialog);
  const std::vector<std::string> texts = VisualTexts(&dialog);
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "Setting Values of Program Parameters",
                       "Image width:", "Image height:", "Filter size:", "Min. patch size:",
                       "Edge :", "Max. slope:", "ORBIK xoffset:", "ORBIK yoffset:"}));
  ASSERT_EQ(texts.size(), 9u);
  for (int i = 0; i < 8; ++i) {
    auto* field = dialog.findChild<QLineEdit*>(QString("field%1").arg(500 + i));
    ASSERT_NE(field, nullptr) << i;
    EXPECT_EQ(field->text().toStdString(), SampleOptions().fields[i]) << i;
    // The field is the buddy of its own label and stands on its row.
    QLabel* label = nullptr;
    for (QLabel* l : dialog.findChildren<QLabel*>()) {
      if (l->buddy() == field) label = l;
    }
    ASSERT_NE(label, nullptr) << i;
    EXPECT_EQ(label->text().toStdString(), texts[i + 1]);
    EXPECT_LT(std::abs(label->geometry().center().y() - field->geometry().center().y()),
              field->height() / 2)
        << i;
  }
}

TEST(OptionsDialogTest, OkReturnsTheEditedTextsCancelAndEscapeLeaveTheData) {
  for (const char* how : {"OK", "Cancel", "Escape"}) {
    OptionsDialogData data = SampleOptions();
    OnModalDialog([how](QWidget* d) {
      auto* filter = d->findChild<QLineEdit*>("field502");
      QTest::keyClick(filter, Qt::Key_Backspace);
      QTest::keyClicks(filter, "7");
      QTest::keyClicks(d->findChild<QLineEdit*>("field505"), "5");
      QTest::keyClicks(d->findChild<QLineEdit*>("field506"), "x0");
      CloseWith(d, how);
    });
    const bool ok = std::string(how) == "OK";
    EXPECT_EQ(RunOptionsDialogQt(nullptr, data), ok) << how;
    EXPECT_EQ(data.fields, ok ? (std::array<std::string, 8>{"640", "480", "7", "400", "32", "0.25",
                                                            "-50", "128"})
                              : SampleOptions().fields)
        << how;
  }
}

// --- image format ------------------------------------------------------------------------------

ImageFormatDialogData SampleFormats() {
  ImageFormatDialogData data;
  data.formats = {"2 x 500000", "1000 x 1000", "500000 x 2"};
  data.selection = 1;
  data.xOffset = "-115";
  data.yOffset = "-115";
  data.defaultFormat = "769 x 769";
  data.defaultPixels = "591361 pixels";
  data.loadedPixels = "1000000 pixels";
  return data;
}

TEST(ImageFormatDialogTest, ShowsTheWarningTheListAndTheFormats) {
  ImageFormatDialog dialog(SampleFormats(), nullptr);
  LayOut(&dialog);
  const std::vector<std::string> texts = VisualTexts(&dialog);
  const std::vector<std::string> column = {
      "Default Image Format:", "769 x 769",      "591361 pixels",
      "Loaded image:",         "1000000 pixels", "Please select image ",
      "format and offset. ",   "x offset:",      "y offset:"};
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Warning!");
  EXPECT_EQ(texts[1], "Loaded image format differs from default!");
  EXPECT_EQ(std::vector<std::string>(texts.begin() + 2, texts.end()), column);
  EXPECT_EQ(TextOf(&dialog, "field510"), "-115");
  EXPECT_EQ(TextOf(&dialog, "field511"), "-115");

  auto* list = dialog.findChild<QListWidget*>("list1001");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(0)->text(), "2 x 500000");
  EXPECT_EQ(list->item(2)->text(), "500000 x 2");
  EXPECT_EQ(list->currentRow(), 1);
  EXPECT_TRUE(list->item(1)->isSelected());

  list->setCurrentRow(2);  // recomputes nothing
  EXPECT_EQ(TextOf(&dialog, "text533"), "1000000 pixels");
  EXPECT_EQ(TextOf(&dialog, "field510"), "-115");
  EXPECT_EQ(dialog.Data().selection, 2);
}

TEST(ImageFormatDialogTest, OkReturnsTheSelectionAndOffsetsCancelLeavesThem) {
  for (const char* how : {"OK", "Cancel"}) {
    ImageFormatDialogData data = SampleFormats();
    OnModalDialog([how](QWidget* d) {
      d->findChild<QListWidget*>("list1001")->setCurrentRow(0);
      QTest::keyClicks(d->findChild<QLineEdit*>("field510"), "a7");
      QTest::keyClicks(d->findChild<QLineEdit*>("field511"), "9");
      Click(d, how);
    });
    const bool ok = std::string(how) == "OK";
    EXPECT_EQ(RunImageFormatDialogQt(nullptr, data), ok) << how;
    EXPECT_EQ(data.selection, ok ? 0 : 1) << how;
    EXPECT_EQ(data.xOffset, ok ? "-1157" : "-115") << how;
    EXPECT_EQ(data.yOffset, ok ? "-1159" : "-115") << how;
    EXPECT_EQ(data.formats, SampleFormats().formats) << how;
  }
}

// --- progress ------------------------------------------------------------------------------------

struct ProgressCase {
  ProgressDialog kind;
  std::vector<std::string> texts;  // title, then each counter line's label and value
};

class ProgressDialogTextTest : public test::StateTest,
                               public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(ProgressDialogTextTest, ShowsTitleAndCounterLinesFromZero) {
  const ProgressCase& c = GetParam();
  State().iAssignedPoints = 99;  // shown only from the first tick on
  WorkerProgressDialog dialog(c.kind, nullptr, 3600000);
  LayOut(&dialog);
  EXPECT_EQ(VisualTexts(&dialog), c.texts);
  // Templates with three counter lines have counter15; those with two only 16 and 17.
  EXPECT_EQ(dialog.findChild<QLabel*>("counter15") != nullptr, c.texts.size() == 7);
  ASSERT_NE(dialog.findChild<QLabel*>("counter16"), nullptr);
  ASSERT_NE(dialog.findChild<QLabel*>("counter17"), nullptr);
  auto* bar = dialog.findChild<QProgressBar*>("bar1000");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
  ASSERT_NE(Button(&dialog, "Cancel"), nullptr);
  dialog.hide();
}

INSTANTIATE_TEST_SUITE_P(
    Templates, ProgressDialogTextTest,
    ::testing::Values(ProgressCase{ProgressDialog::AutoDetection,
                                   {"Running Auto Detection of Calib. Points", "Detected Areas:",
                                    "0", "Assigned Points:", "0", "Triangles:", "0"}},
                      ProgressCase{ProgressDialog::AutoTriangulation,
                                   {"Auto Triangulation", "Points:", "0", "Triangles:", "0"}},
                      ProgressCase{ProgressDialog::Transformation,
                                   {"Transforming Image", "Lines Completed:", "0", "Points:", "0",
                                    "Triangles:", "0"}},
                      ProgressCase{
                          ProgressDialog::Extrapolation,
                          {"Extrapolation of calibration data", "Points:", "0", "Triangles:", "0"}},
                      ProgressCase{ProgressDialog::Adjustment,
                                   {"Adjusting rotation and scale of calibration points",
                                    "Points:", "0", "Triangles:", "0"}}));

class ProgressDialogTest : public test::StateTest {};

TEST_F(ProgressDialogTest, TicksShowTheCountersAndCloseOnceTerminated) {
  ProgramState& s = State();
  s.iProgressStatus = 30;
  WorkerProgressDialog dialog(ProgressDialog::AutoDetection, nullptr, 10);
  auto* bar = dialog.findChild<QProgressBar*>("bar1000");
  EXPECT_EQ(bar->value(), 30);  // set at start, before any tick

  s.iProgressStatus = 45;
  s.iDetectedAreas = 1234;
  s.iAssignedPoints = -1;  // shown unsigned
  s.iTriangles = 7;
  bool stillOpen = false;
  OnModalDialog([&](QWidget* d) {
    // Ticks with the worker still running; a loaded machine may need a while for the first.
    for (int waited = 0; waited < 5000 && TextOf(d, "counter17") != "7"; waited += 10) {
      QTest::qWait(10);
    }
    stillOpen = d->isVisible();
    EXPECT_EQ(TextOf(d, "counter15"), "1234");
    EXPECT_EQ(TextOf(d, "counter16"), "4294967295");
    EXPECT_EQ(TextOf(d, "counter17"), "7");
    EXPECT_EQ(d->findChild<QProgressBar*>("bar1000")->value(), 45);
    State().iTriangles = 8;
    State().fTerminated = 1;  // the worker ends
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(TextOf(&dialog, "counter17"), "8");  // the closing tick updated the lines too
  EXPECT_EQ(s.fTerminated.load(), 1);
}

TEST_F(ProgressDialogTest, CancelAndEscapeSetTerminatedAndCloseAtOnce) {
  for (const char* how : {"Cancel", "Escape"}) {
    State().fTerminated = 0;
    // A poll period of an hour: the dialog can only close without a tick.
    WorkerProgressDialog dialog(ProgressDialog::Transformation, nullptr, 3600000);
    OnModalDialog([how](QWidget* d) { CloseWith(d, how); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected) << how;
    EXPECT_EQ(State().fTerminated.load(), 1) << how;
  }
}

// --- thresholding ------------------------------------------------------------------------------

class ThresholdDialogTest : public test::StateTest {
 protected:
  ThresholdDialogTest() {
    ProgramState& s = State();
    s.cxDib = 4;
    s.cyDib = 1;
    AllocateImageArrays(4, 1);
    s.Msource = {0, 100, 200, 255};
  }

  // A dialog on the heap, as the program opens it (it deletes itself when closed).
  QPointer<ThresholdDialog> Open() {
    auto* dialog = new ThresholdDialog(platform_, nullptr);
    State().hDlgModeless = dialog;
    dialog->show();
    return dialog;
  }

  static QScrollBar* Bar(QWidget* d) { return d->findChild<QScrollBar*>("thresholdScroll"); }

  void ExpectShown(QWidget* d, int threshold) {
    EXPECT_EQ(State().iThreshold, threshold);
    EXPECT_EQ(Bar(d)->value(), threshold);
    EXPECT_EQ(TextOf(d, "thresholdValue"), std::to_string(threshold));
  }

  test::FakePlatform platform_;
};

TEST_F(ThresholdDialogTest, OpensAtTheThresholdAndBinarisesTheSource) {
  QPointer<ThresholdDialog> d = Open();
  EXPECT_EQ(d->windowTitle(), "Image Thresholding");
  EXPECT_EQ(VisualTexts(d)[0], "Threshold");
  EXPECT_EQ(Bar(d)->orientation(), Qt::Horizontal);
  EXPECT_EQ(Bar(d)->minimum(), 0);
  EXPECT_EQ(Bar(d)->maximum(), 255);
  ExpectShown(d, 128);
  EXPECT_EQ(State().Mtarget, (std::vector<int>{0, 0, 255, 255}));
  EXPECT_EQ(State().fBitmap[1], 1);
  EXPECT_EQ(platform_.redraws, 1);
  d->close();
}

struct ScrollCase {
  int start;
  QAbstractSlider::SliderAction action;
  int expected;
  std::vector<int> target;
};

class ThresholdScrollTest : public ThresholdDialogTest,
                            public ::testing::WithParamInterface<ScrollCase> {};

TEST_P(ThresholdScrollTest, ActionsMoveTheThresholdAndRedrawTheTarget) {
  const ScrollCase& c = GetParam();
  State().iThreshold = c.start;
  QPointer<ThresholdDialog> d = Open();
  const int redrawsAtStart = platform_.redraws;
  Bar(d)->triggerAction(c.action);
  ExpectShown(d, c.expected);
  EXPECT_EQ(State().Mtarget, c.target);
  EXPECT_EQ(platform_.redraws, redrawsAtStart + 1);
  d->close();
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ThresholdScrollTest,
    // One case per action; the clamping at both ends is the thresholding command's own.
    ::testing::Values(ScrollCase{100, QAbstractSlider::SliderPageStepAdd, 116, {0, 0, 255, 255}},
                      ScrollCase{100, QAbstractSlider::SliderPageStepSub, 84, {0, 255, 255, 255}},
                      ScrollCase{100, QAbstractSlider::SliderSingleStepSub, 99, {0, 255, 255, 255}},
                      ScrollCase{99, QAbstractSlider::SliderSingleStepAdd, 100, {0, 0, 255, 255}},
                      ScrollCase{77, QAbstractSlider::SliderToMinimum, 0, {0, 255, 255, 255}},
                      ScrollCase{77, QAbstractSlider::SliderToMaximum, 255, {0, 0, 0, 0}}));

TEST_F(ThresholdDialogTest, DraggingTheThumbTracksAndReleaseSettles) {
  QPointer<ThresholdDialog> d = Open();
  QScrollBar* bar = Bar(d);
  bar->setSliderDown(true);
  bar->setSliderPosition(200);  // thumb track
  ExpectShown(d, 200);
  EXPECT_EQ(State().Mtarget, (std::vector<int>{0, 0, 0, 255}));
  bar->setTracking(false);
  bar->setSliderPosition(150);  // not tracked: nothing yet
  EXPECT_EQ(State().iThreshold, 200);
  bar->setSliderDown(false);  // thumb position
  ExpectShown(d, 150);
  EXPECT_EQ(State().Mtarget, (std::vector<int>{0, 0, 255, 255}));
  d->close();
}

TEST_F(ThresholdDialogTest, KeysOfTheScrollBarGoThroughTheSameRequests) {
  QPointer<ThresholdDialog> d = Open();
  QScrollBar* bar = Bar(d);
  const std::pair<Qt::Key, int> steps[] = {{Qt::Key_Right, 129}, {Qt::Key_PageDown, 145},
                                           {Qt::Key_Left, 144},  {Qt::Key_PageUp, 128},
                                           {Qt::Key_Home, 0},    {Qt::Key_End, 255}};
  for (const auto& [key, threshold] : steps) {
    QTest::keyClick(bar, key);
    ExpectShown(d, threshold);
  }
  d->close();
}

TEST_F(ThresholdDialogTest, OkEscapeAndClosingEndTheDialog) {
  for (const char* how : {"OK", "Escape", "close"}) {
    QPointer<ThresholdDialog> d = Open();
    ASSERT_EQ(State().hDlgModeless, d.data());
    if (std::string(how) == "close") {
      d->close();  // the window's close button
    } else {
      CloseWith(d, how);
    }
    EXPECT_EQ(State().hDlgModeless, nullptr) << how;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(d.isNull()) << how;
  }
  EXPECT_EQ(State().iThreshold, 128);  // kept for the next opening
}

// --- file dialogs ------------------------------------------------------------------------------

struct FileCase {
  FileDialog which;
  const char* description;  // as the list of filters shows it
  const char* suffix;
  std::vector<std::string> matched;  // of the sample files, by the first filter
};

// Qt takes a filter's patterns from its last parenthesis, blank-separated.
QStringList PatternsOf(const QString& filter) {
  static const QRegularExpression last(R"(\(([^()]*)\)\s*$)");
  return last.match(filter).captured(1).split(' ', Qt::SkipEmptyParts);
}

std::vector<std::string> Matching(const QDir& dir, const QStringList& patterns) {
  std::vector<std::string> names;
  for (const QString& n : dir.entryList(patterns, QDir::Files, QDir::Name)) {
    names.push_back(n.toStdString());
  }
  return names;
}

class FileDialogTest : public test::StateTest, public ::testing::WithParamInterface<FileCase> {
 protected:
  FileDialogTest() {
    for (const char* name : {"a.txt", "b.dat", "c.bmp", "d.zmr", "e", "f.dset"}) {
      test::WriteFile(name, "x");
    }
  }
};

TEST_P(FileDialogTest, FiltersHaveTheirDescriptionPatternsAndSuffix) {
  const FileCase& c = GetParam();
  const FileDialogSpec dialogSpec = FileDialogSpecOf(c.which);
  EXPECT_EQ(dialogSpec.defaultSuffix.toStdString(), c.suffix);
  const QStringList filters = dialogSpec.filter.split(";;");
  ASSERT_EQ(filters.size(), 2);
  EXPECT_TRUE(filters[0].startsWith(QString(c.description) + " ("));
  EXPECT_TRUE(filters[1].startsWith("All files (*.*) ("));
  const QDir dir(QDir::currentPath());
  EXPECT_EQ(Matching(dir, PatternsOf(filters[0])), c.matched);
  EXPECT_EQ(Matching(dir, PatternsOf(filters[1])),
            (std::vector<std::string>{"a.txt", "b.dat", "c.bmp", "d.zmr", "e", "f.dset"}));
}

TEST_P(FileDialogTest, OpensAtTheLastNameAndTakesANewFileWithTheDefaultSuffix) {
  const FileCase& c = GetParam();
  const std::string folder = QDir::currentPath().toStdString();
  std::string fileName = folder + "/a.txt";
  std::string titleName = "a.txt";
  OnModalDialog([&c, folder](QWidget* w) {
    auto* d = qobject_cast<QFileDialog*>(w);
    auto* name = w->findChild<QLineEdit*>("fileNameEdit");
    auto* types = w->findChild<QComboBox*>("fileTypeCombo");
    if (d == nullptr || name == nullptr || types == nullptr) {
      ADD_FAILURE() << "not the file dialog";
      qobject_cast<QDialog*>(w)->reject();
      return;
    }
    EXPECT_EQ(d->directory().absolutePath().toStdString(), folder);
    EXPECT_EQ(name->text(), "a.txt");
    EXPECT_EQ(types->count(), 2);
    EXPECT_EQ(types->itemText(0).toStdString(), c.description);
    EXPECT_EQ(types->itemText(1), "All files (*.*)");
    // The user types into the name field of the active dialog.
    d->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(d));
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, "new");
    QTest::keyClick(name, Qt::Key_Return);
    if (d->isVisible()) d->reject();  // not accepted: fail below rather than hang
  });
  ASSERT_TRUE(AskFileNameQt(nullptr, c.which, fileName, titleName));
  EXPECT_EQ(fileName, folder + "/new." + c.suffix);
  EXPECT_EQ(titleName, std::string("new.") + c.suffix);
}

TEST_P(FileDialogTest, CancelLeavesTheNamesUnchanged) {
  std::string fileName = "/nowhere/last.bmp";
  std::string titleName = "last.bmp";
  OnModalDialog([](QWidget* d) { QTest::keyClick(d, Qt::Key_Escape); });
  EXPECT_FALSE(AskFileNameQt(nullptr, GetParam().which, fileName, titleName));
  EXPECT_EQ(fileName, "/nowhere/last.bmp");
  EXPECT_EQ(titleName, "last.bmp");
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, FileDialogTest,
    ::testing::Values(
        FileCase{
            FileDialog::Ostrel, "Ostrel calibration image data files (*.txt)", "dset", {"a.txt"}},
        FileCase{FileDialog::Bitmap, "Bitmaps (*.bmp)", "bmp", {"c.bmp"}},
        FileCase{FileDialog::Ascii, "ASCII files (*.txt,*.dat)", "txt", {"a.txt", "b.dat"}},
        FileCase{FileDialog::PointsData, "ASCII data (*.txt)", "txt", {"a.txt"}},
        FileCase{FileDialog::OrbikData, "ORBIK data (*.zmr)", "zmr", {"d.zmr"}}));

// --- help --------------------------------------------------------------------------------------

QTextBrowser* HelpWindow() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* b = qobject_cast<QTextBrowser*>(w); b != nullptr && b->isVisible()) return b;
  }
  return nullptr;
}

class HelpTest : public test::StateTest {
 protected:
  ~HelpTest() override {
    while (QTextBrowser* b = HelpWindow()) b->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
};

TEST_F(HelpTest, HelpFilePathPrefersTheCurrentFolder) {
  const std::string before = HelpFilePath();
  EXPECT_TRUE(before.empty() || std::filesystem::is_regular_file(before)) << before;
  test::WriteFile("ZMRCalibration.html", "<html><body>local</body></html>");
  const std::string local = HelpFilePath();
  ASSERT_FALSE(local.empty());
  EXPECT_TRUE(std::filesystem::equivalent(local, "ZMRCalibration.html")) << local;
  EXPECT_TRUE(std::filesystem::path(local).is_absolute()) << local;
}

TEST_F(HelpTest, ShowsTheFileInOneReusedWindow) {
  test::WriteFile("ZMRCalibration.html", "<html><body><h1>Grid marker</h1></body></html>");
  ShowHelpWindow(nullptr, HelpFilePath());
  QTextBrowser* browser = HelpWindow();
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(browser->windowTitle(), "ZMRCalibration Help");
  EXPECT_TRUE(browser->toPlainText().contains("Grid marker"));
  ShowHelpWindow(nullptr, HelpFilePath());
  int windows = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    windows += qobject_cast<QTextBrowser*>(w) != nullptr && w->isVisible();
  }
  EXPECT_EQ(windows, 1);
}

TEST_F(HelpTest, AMissingFileShowsANoteAndNothingElse) {
  for (const std::string& path : {std::string(), std::string("absent/ZMRCalibration.html"),
                                  QDir::currentPath().toStdString()}) {
    ShowHelpWindow(nullptr, path);
    QTextBrowser* browser = HelpWindow();
    ASSERT_NE(browser, nullptr) << path;
    EXPECT_TRUE(browser->toPlainText().contains("not found")) << path;
    browser->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

#ifdef ZMR_HELP_SOURCE_DIR
TEST_F(HelpTest, TheShippedGuideLoads) {
  ShowHelpWindow(nullptr, std::string(ZMR_HELP_SOURCE_DIR) + "/ZMRCalibration.html");
  QTextBrowser* browser = HelpWindow();
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(browser->documentTitle(), "ZMRCalibration Help");
  EXPECT_TRUE(browser->toPlainText().contains("zmrcal"));
}
#endif

}  // namespace
}  // namespace zmr
