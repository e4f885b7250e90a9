// The dialogs of the Qt platform, each run by its command with a person's typing: what the
// fields show comes from the program state, and what they hold on OK goes back into it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <tuple>

#include "state/ProgramState.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Startup.h"
#include "ui/qt/QtPlatform.h"
#include "ui/qt/ThresholdDialog.h"
#include "ui/resource.h"

namespace zmr {
namespace {

using Typing = std::vector<std::pair<const char*, const char*>>;  // field name, text typed over it

using DialogsTest = test::StateTest;

TEST_F(DialogsTest, FieldsTypedIntoTheDialogsReachTheProgramState) {
  QtPlatform platform;
  StartProgram(platform);
  State().Ethresh = 0.35;  // shown in its field, read back unchanged
  test::WriteFile("image.txt", "12 11 10 9 8 7 6 5 4 3 2 1\n");
  // On each modal dialog once shown: types over the fields of it that the step names, then
  // presses Return.
  Typing typing;
  std::size_t shown = 0;
  QPointer<QWidget> handled;
  QTimer person;
  QObject::connect(&person, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == handled || !modal->isVisible()) return;
    handled = modal;
    ++shown;
    if (auto* files = qobject_cast<QFileDialog*>(modal)) files->setDirectory(QDir::currentPath());
    for (const auto& [field, text] : typing) {
      if (auto* edit = modal->findChild<QLineEdit*>(field)) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
      }
    }
    QTest::keyClick(modal, Qt::Key_Return);
  });
  person.start(5);

  // Each step: its command, the typing, and the number of modal dialogs it shows.
  const std::tuple<int, Typing, std::size_t> steps[] = {
      {IDM_OPTIONS, {{"field500", "16"}, {"field501", "16"}, {"field502", "7"}}, 1},
      // Twelve values where the image holds 16 x 16: the file dialog, then the image format.
      {IDM_OPEN_ASCII, {{"fileNameEdit", "image"}, {"field510", "3"}, {"field511", "5"}}, 2},
      {IDM_THRESHOLD, {}, 0}};
  for (const auto& [id, typed, dialogs] : steps) {
    typing = typed;
    shown = 0;
    ASSERT_TRUE(RunCommand(id, platform));
    EXPECT_EQ(shown, dialogs) << id;
  }
  const ProgramState& s = State();
  EXPECT_EQ(s.FilterSize, 7);
  EXPECT_DOUBLE_EQ(s.Ethresh, 0.35);
  EXPECT_EQ(s.szImageTitle, "image.txt");  // with the dialog's default suffix
  ASSERT_EQ(s.Msource.size(), 16u * 16u);
  // The first value, the largest, at the offsets typed.
  EXPECT_EQ(s.Msource[5 * 16 + 3], 255);

  // The thresholding dialog binarises at its scroll bar's value: 128 at first.
  ThresholdDialog* dialog = platform.thresholdDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(s.Mtarget[5 * 16 + 3], 255);
  QTest::keyClick(dialog->findChild<QScrollBar*>("thresholdScroll"), Qt::Key_End);
  EXPECT_EQ(std::count(s.Mtarget.begin(), s.Mtarget.end(), 0), 16 * 16);
  delete dialog;
}

}  // namespace
}  // namespace zmr
