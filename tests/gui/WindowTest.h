// The fixture of the GUI tests: a fresh program state and the main window on the Qt platform,
// with a person at the screen who answers each modal dialog once it is shown. Runs on the GUI
// thread of the tests' QApplication.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"
#include "ui/Startup.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/ProgressDialog.h"
#include "ui/qt/QtPlatform.h"

namespace zmr::test {

class WindowTest : public StateTest {
 protected:
  // The person: a file dialog gets file_ chosen in the test's folder and is noted in `seen`
  // with its title; a message box is noted with its texts and answered Yes when it asks; a
  // progress dialog is noted in `titles` and handed to onProgress; any other dialog is noted
  // in `titles` and closed. A test that sets `answer` answers every dialog itself.
  WindowTest() {
    QSettings().clear();
    StartProgram(platform_);
    platform_.SetProgressPollMilliseconds(5);
    window_ = std::make_unique<MainWindow>(platform_);
    window_->resize(900, 700);
    window_->show();
    QObject::connect(&person_, &QTimer::timeout, [this] {
      QWidget* d = QApplication::activeModalWidget();
      if (d == nullptr || d == answered_ || !d->isVisible()) return;
      answered_ = d;
      if (answer) return answer(d);
      if (auto* files = qobject_cast<QFileDialog*>(d)) {
        seen.push_back(files->windowTitle().toStdString() +
                       (files->acceptMode() == QFileDialog::AcceptSave ? " [save]" : ""));
        files->setDirectory(QDir::currentPath());  // it may open in an earlier test's folder
        files->selectFile(file_);
        // Later: the question whether to replace a file comes up inside the key click.
        return QTimer::singleShot(0, files, [files] { QTest::keyClick(files, Qt::Key_Return); });
      }
      if (auto* box = qobject_cast<QMessageBox*>(d)) {
        seen.push_back(box->text().toStdString() + " | " + box->informativeText().toStdString());
        if (QAbstractButton* yes = box->button(QMessageBox::Yes)) return yes->click();
        return box->reject();
      }
      titles.push_back(d->windowTitle().toStdString());
      if (auto* progress = qobject_cast<WorkerProgressDialog*>(d)) return onProgress(progress);
      if (auto* dialog = qobject_cast<QDialog*>(d)) dialog->reject();
    });
    person_.start(2);
  }
  ~WindowTest() override { window_.reset(); }

  // Picks the menu item of the id from the menu bar, as a person would, with the name the file
  // dialog is to get.
  void Trigger(int id, const char* file = "") {
    file_ = file;
    for (QAction* action : window_->menuBar()->findChildren<QAction*>()) {
      if (action->menu() == nullptr && action->data().toInt() == id) return action->trigger();
    }
    ADD_FAILURE() << "no menu item " << id;
  }
  QString Abs(const char* name) { return QDir::current().absoluteFilePath(name); }

  QtPlatform platform_;
  std::unique_ptr<MainWindow> window_;
  std::vector<std::string> seen, titles;
  std::function<void(WorkerProgressDialog*)> onProgress = [](WorkerProgressDialog*) {};
  std::function<void(QWidget*)> answer;

 private:
  QTimer person_;
  QPointer<QWidget> answered_;
  const char* file_ = "";
};

}  // namespace zmr::test
