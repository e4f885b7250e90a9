#include "ui/qt/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <exception>
#include <new>
#include <string>

#include "ui/CommandTable.h"
#include "ui/Commands.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/DisplayWidget.h"
#include "ui/qt/QtPlatform.h"
#include "ui/qt/ThresholdDialog.h"
#include "ui/resource.h"

namespace zmr {

namespace {
constexpr const char* kWindowCaption = "ZMRCalibration";
// Smallest outer size the window starts with, whatever the options say.
constexpr int kMinimumWidth = 200;
constexpr int kMinimumHeight = 150;
}  // namespace

MainWindow::MainWindow(QtPlatform& platform, QWidget* parent)
    : QMainWindow(parent), platform_(platform) {
  setWindowTitle(kWindowCaption);
  setWindowIcon(ProgramIcon());
  display_ = new DisplayWidget(this);
  setCentralWidget(display_);
  BuildMenu();
  statusBar()->setSizeGripEnabled(false);  // notes appear here
  platform_.SetMainWindow(this);
  RefreshCheckMarks();
}

MainWindow::~MainWindow() {
  if (platform_.mainWindow() == this) platform_.SetMainWindow(nullptr);
}

void MainWindow::BuildMenu() {
  // Popups and submenus appear in the order of their first item in the table.
  std::map<std::string, QMenu*> menus;
  for (const CommandEntry& entry : CommandTable()) {
    if (entry.menuPath == nullptr || entry.menuText == nullptr) continue;
    const std::string path = entry.menuPath;
    QMenu* menu = nullptr;
    std::size_t begin = 0;
    while (begin <= path.size()) {
      const std::size_t end = std::min(path.find('/', begin), path.size());
      const std::string key = path.substr(0, end);
      const QString title = QString::fromStdString(path.substr(begin, end - begin));
      auto found = menus.find(key);
      if (found == menus.end()) {
        QMenu* created = menu == nullptr ? menuBar()->addMenu(title) : menu->addMenu(title);
        found = menus.emplace(key, created).first;
      }
      menu = found->second;
      begin = end + 1;
    }

    QAction* action = menu->addAction(QString::fromUtf8(entry.menuText));
    action->setData(entry.id);
    action->setCheckable(MenuCheckState(State(), entry.id) >= 0);
    const int id = entry.id;
    connect(action, &QAction::triggered, this, [this, id] { RunMenuCommand(id); });
    actions_[id] = action;
    if (id == IDM_VIEW_TRIANGLES) menu->addSeparator();
  }
}

QAction* MainWindow::ActionOf(int id) const {
  const auto found = actions_.find(id);
  return found == actions_.end() ? nullptr : found->second;
}

void MainWindow::RunMenuCommand(int id) {
  // The menu takes no input while a worker finishes, but a queued trigger could still come;
  // it is dropped, and a check mark Qt toggled for it is put back.
  if (platform_.WorkerRunning()) {
    RefreshCheckMarks();
    return;
  }
  try {
    RunCommand(id, platform_);
  } catch (const std::bad_alloc&) {
    platform_.Message("Error - not enough memory", kMessageCaption);
  } catch (const std::exception& e) {
    platform_.Message(std::string("Error - ") + e.what(), kMessageCaption);
  } catch (...) {
    platform_.Message("Error - the command failed", kMessageCaption);
  }
  RefreshCheckMarks();
  if (closePending_) {
    closePending_ = false;
    close();
  }
}

void MainWindow::ShowNote(const QString& text) { statusBar()->showMessage(text); }

void MainWindow::RefreshCheckMarks() {
  for (const auto& [id, action] : actions_) {
    const int state = MenuCheckState(State(), id);
    if (state >= 0) action->setChecked(state == 1);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (platform_.WorkerRunning()) {
    // The command that runs the worker still has to finish; close after it.
    closePending_ = true;
    event->ignore();
    return;
  }
  if (ThresholdDialog* dialog = platform_.thresholdDialog()) dialog->close();
  event->accept();
}

void MainWindow::ShowWithOuterSize(int width, int height) {
  FitOuterSize(width, height);
  show();
  // The frame is known only once the window system has framed the window.
  QTimer::singleShot(0, this, [this, width, height] { FitOuterSize(width, height); });
}

void MainWindow::FitOuterSize(int width, int height) {
  int w = std::max(width, kMinimumWidth);
  int h = std::max(height, kMinimumHeight);
  if (const QScreen* s = screen()) {
    w = std::min(w, s->availableGeometry().width());
    h = std::min(h, s->availableGeometry().height());
  }
  const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
  resize(std::max(w - frame.left() - frame.right(), kMinimumWidth / 2),
         std::max(h - frame.top() - frame.bottom(), kMinimumHeight / 2));
}

}  // namespace zmr
