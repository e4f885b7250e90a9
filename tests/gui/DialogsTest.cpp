// The dialogs of the Qt platform, each run by its command with a person's typing: what the
// fields show comes from the program state, and what they hold on OK goes back into it.
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>
#include <tuple>

#include "gui/WindowTest.h"
#include "ui/CommandTable.h"
#include "ui/qt/FileDialogs.h"
#include "ui/qt/ThresholdDialog.h"
#include "ui/resource.h"

namespace zmr {
namespace {

using Typing = std::vector<std::pair<const char*, const char*>>;  // field name, text typed over it

// Each modal dialog is handed to fill, then OK is pressed (Return); `shown` counts them.
class DialogsTest : public test::WindowTest {
 protected:
  void AnswerWith(std::function<void(QWidget*)> fill) {
    answer = [this, fill](QWidget* modal) {
      ++shown;
      fill(modal);
      QTest::keyClick(modal, Qt::Key_Return);
    };
  }
  std::size_t shown = 0;
};

TEST_F(DialogsTest, FieldsTypedIntoTheDialogsReachTheProgramState) {
  test::WriteFile("image.txt", "12 11 10 9 8 7 6 5 4 3 2 1\n");
  // Types over the fields of each dialog that the step names.
  Typing typing;
  AnswerWith([&](QWidget* modal) {
    if (auto* files = qobject_cast<QFileDialog*>(modal)) files->setDirectory(QDir::currentPath());
    for (const auto& [field, text] : typing) {
      if (auto* edit = modal->findChild<QLineEdit*>(field)) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
      }
    }
  });

  // Each step: its command, the typing, and the number of modal dialogs it shows.
  const std::tuple<int, Typing, std::size_t> steps[] = {
      {IDM_OPTIONS, {{"field500", "16"}, {"field501", "16"}}, 1},
      // Twelve values where the image holds 16 x 16: the file dialog, then the image format.
      {IDM_OPEN_ASCII, {{"fileNameEdit", "image"}, {"field510", "3"}, {"field511", "5"}}, 2},
      {IDM_THRESHOLD, {}, 0}};
  for (const auto& [id, typed, dialogs] : steps) {
    typing = typed;
    shown = 0;
    ASSERT_TRUE(RunCommand(id, platform_));
    EXPECT_EQ(shown, dialogs) << id;
  }
  const ProgramState& s = State();
  EXPECT_EQ(s.szImageTitle, "image.txt");  // with the dialog's default suffix
  ASSERT_EQ(s.Msource.size(), 16u * 16u);
  // The first value, the largest, at the offsets typed.
  EXPECT_EQ(s.Msource[5 * 16 + 3], 255);

  // The thresholding dialog binarises at its scroll bar's value: 128 at first.
  ThresholdDialog* dialog = platform_.thresholdDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(s.Mtarget[5 * 16 + 3], 255);
  // Each key moves the threshold the way it points, a line or a page, or to an end.
  auto* bar = dialog->findChild<QScrollBar*>("thresholdScroll");
  const std::pair<Qt::Key, int> keys[] = {
      {Qt::Key_End, 255},      {Qt::Key_PageUp, 239}, {Qt::Key_Left, 238}, {Qt::Key_Up, 237},
      {Qt::Key_PageDown, 253}, {Qt::Key_Right, 254},  {Qt::Key_Home, 0},   {Qt::Key_Down, 1}};
  for (const auto& [key, threshold] : keys) {
    QTest::keyClick(bar, key);
    EXPECT_EQ(s.iThreshold, threshold) << key;
  }
  QTest::keyClick(bar, Qt::Key_End);
  EXPECT_EQ(std::count(s.Mtarget.begin(), s.Mtarget.end(), 0), 16 * 16);
  delete dialog;
}

// Every file dialog offers its own files and then all files, also those without a dot.
TEST_F(DialogsTest, FileDialogsOfferTheirFilesAndAllFiles) {
  const std::pair<FileDialog, const char*> dialogs[] = {
      {FileDialog::Ostrel, "Ostrel calibration image data files (*.txt) (*.txt)"},
      {FileDialog::Bitmap, "Bitmaps (*.bmp) (*.bmp)"},
      {FileDialog::Ascii, "ASCII files (*.txt,*.dat) (*.txt *.dat)"},
      {FileDialog::PointsData, "ASCII data (*.txt) (*.txt)"},
      {FileDialog::OrbikData, "ORBIK data (*.zmr) (*.zmr)"}};
  for (const auto& [which, own] : dialogs) {
    EXPECT_EQ(FileDialogSpecOf(which).filter.toStdString(),
              std::string(own) + ";;All files (*.*) (*)");
  }
}

// Every field with a value none of the defaults has, the two offsets apart and swapped by the
// typing: each shows its variable beside its label, and what is typed goes into its variable
// and is shown the next time, except the image size, whose fields always show the size of the
// current image. The slope field takes digits only; its decimal point stays.
TEST_F(DialogsTest, OptionsDialogShowsEveryFieldAndStoresWhatIsTypedOverIt) {
  ProgramState& s = State();
  s.cxDib = 40, s.cyDib = 30, s.FilterSize = 3, s.MinPatchSize = 11, s.EdgeGrid = 24;
  s.Ethresh = 0.35, s.xoffset = 96, s.yoffset = 160;
  const struct {
    const char* label;
    const char* shown;
    int keep;  // characters left before the typing
    const char* typed;
    double stored;
    const char* shownAgain;
  } fields[] = {{"Image width:", "40", 0, "640", 640, "40"},
                {"Image height:", "30", 0, "480", 480, "30"},
                {"Filter size:", "3", 0, "9", 9, "9"},
                {"Min. patch size:", "11", 0, "250", 250, "250"},
                {"Edge :", "24", 0, "17", 17, "17"},
                {"Max. slope:", "0.35", 2, "6", 0.6, "0.6"},
                {"ORBIK xoffset:", "96", 0, "160", 160, "160"},
                {"ORBIK yoffset:", "160", 0, "96", 96, "96"}};
  std::vector<std::vector<std::string>> fieldsShown;  // of each dialog, each field's label and text
  AnswerWith([&](QWidget* dialog) {
    fieldsShown.emplace_back();
    for (int i = 0; i < 8; ++i) {
      auto* edit = dialog->findChild<QLineEdit*>(QString("field%1").arg(500 + i));
      QString label = "no field";
      for (const QLabel* l : dialog->findChildren<QLabel*>()) {
        if (edit != nullptr && l->buddy() == edit) label = l->text() + " " + edit->text();
      }
      fieldsShown.back().push_back(label.toStdString());
      if (edit == nullptr || fieldsShown.size() > 1) continue;
      edit->setSelection(fields[i].keep, static_cast<int>(edit->text().size()) - fields[i].keep);
      QTest::keyClicks(edit, fields[i].typed);
    }
  });
  ASSERT_TRUE(RunCommand(IDM_OPTIONS, platform_));
  const double stored[] = {static_cast<double>(s.IMAGE_X),    static_cast<double>(s.IMAGE_Y),
                           static_cast<double>(s.FilterSize), static_cast<double>(s.MinPatchSize),
                           static_cast<double>(s.EdgeGrid),   s.Ethresh,
                           static_cast<double>(s.xoffset),    static_cast<double>(s.yoffset)};
  ASSERT_TRUE(RunCommand(IDM_OPTIONS, platform_));
  ASSERT_EQ(fieldsShown.size(), 2u);
  for (int i = 0; i < 8; ++i) {
    const auto& f = fields[i];
    EXPECT_EQ(fieldsShown[0][i], std::string(f.label) + " " + f.shown) << "field" << 500 + i;
    EXPECT_EQ(stored[i], f.stored) << f.label << " typed " << f.typed;
    EXPECT_EQ(fieldsShown[1][i], std::string(f.label) + " " + f.shownAgain) << "field" << 500 + i;
  }
}

}  // namespace
}  // namespace zmr
