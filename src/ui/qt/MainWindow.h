// The main window: the menu bar built from the command table, the picture as its central
// widget, and the dispatch of every menu item to its command. Main (GUI) thread only.
#pragma once

#include <QMainWindow>
#include <map>

class QAction;
class QCloseEvent;

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
  void RunMenuCommand(int id);

  // Shows a note in the status bar (kept until the next one).
  void ShowNote(const QString& text);

  // Sets the check marks of the View items from the program state.
  void RefreshCheckMarks();

  // Shows the window with the given outer size (frame included, as far as the window system
  // tells the frame), kept within the screen.
  void ShowWithOuterSize(int width, int height);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();
  void FitOuterSize(int width, int height);

  QtPlatform& platform_;
  DisplayWidget* display_ = nullptr;
  std::map<int, QAction*> actions_;
  bool closePending_ = false;  // a close request that came while a worker was finishing
};

}  // namespace zmr
