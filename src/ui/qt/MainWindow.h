// The main window: the menu bar built from the command table with the window's own View
// items (fit, actual pixels, zoom, stretch, vector scale, legend), Further Options and the
// recent files; the picture as its central widget; the status bar with what lies under the
// cursor and what the last command did; files dropped on it or named at start opened; its
// geometry kept between runs. Main (GUI) thread only.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <map>
#include <string>

#include "ui/qt/RecentFiles.h"

class QAction;
class QActionGroup;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QMenu;

namespace zmr {

class DisplayWidget;
class QtPlatform;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // Registers itself with the platform as the owner of the dialogs. StartProgram has run.
  explicit MainWindow(QtPlatform& platform, QWidget* parent = nullptr);
  ~MainWindow() override;

  DisplayWidget* display() const { return display_; }

  // The menu item of a command id (its data is the id), or nullptr when it has none.
  QAction* ActionOf(int id) const;

  // Runs a command as its menu item does: nothing while a worker runs; no exception leaves it.
  // Afterwards the status bar sums up what a long command did, with the notes it left.
  void RunMenuCommand(int id);

  // Opens each file with the Open command its kind calls for (images before points files);
  // a file that cannot be read is told in a message box naming it.
  void OpenFiles(const QStringList& paths);
  // The files among the program's arguments (those not starting with '-', after the
  // program's name), opened as OpenFiles does.
  void OpenStartupFiles(const QStringList& arguments);

  // Shows a note in the status bar (kept until the next one); notes that come while a command
  // runs are shown after its summary.
  void ShowNote(const QString& text);
  // The status bar's line of the last command or note, and its cursor part.
  QString StatusMessage() const;
  QString CursorStatus() const;

  // Sets the check marks of the View items from the program state.
  void RefreshCheckMarks();

  // Shows the window with the given outer size (frame included, as far as the window system
  // tells the frame), kept within the screen.
  void ShowWithOuterSize(int width, int height);
  // Shows the window where and as large as it was when last closed, or else as
  // ShowWithOuterSize does.
  void ShowAtStart(int width, int height);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenu();
  void AddWindowItems();
  void AddShortcuts();
  QAction* AddItem(QMenu* menu, int id, const QString& text, bool checkable = false);
  // Runs the window's own commands; false for an id that is none of them.
  bool RunWindowCommand(int id);
  void AfterCommand(int id, double seconds, bool failed);
  void RebuildRecentMenu();
  void UpdateTitle();
  void UpdateZoomLabel();
  void SetStatusMessage(const QString& text);
  void FitOuterSize(int width, int height);

  QtPlatform& platform_;
  DisplayWidget* display_ = nullptr;
  std::map<std::string, QMenu*> menus_;
  std::map<int, QAction*> actions_;
  QMenu* recentMenu_ = nullptr;
  QActionGroup* placementGroup_ = nullptr;
  QActionGroup* vectorScaleGroup_ = nullptr;
  QLabel* messageLabel_ = nullptr;
  QLabel* cursorLabel_ = nullptr;
  QLabel* zoomLabel_ = nullptr;
  RecentFiles recent_;
  QString imageName_;   // the image file shown, for the title
  QString pointsName_;  // the points file last opened
  bool inCommand_ = false;
  QStringList commandNotes_;
  bool closePending_ = false;  // a close request that came while a worker was finishing
};

}  // namespace zmr
