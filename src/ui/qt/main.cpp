// The desktop program: one window with its menu over the calibration commands.
#include <QApplication>

#include "state/ProgramState.h"
#include "ui/Startup.h"
#include "ui/qt/HelpWindow.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/QtPlatform.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // QApplication has set the locale from the environment; numbers in files must not follow it.
  zmr::UseCNumericLocale();
  QApplication::setApplicationName("ZMRCalibration");
  // Lets desktops match the window to the installed zmrcalibration.desktop and its icon.
  QApplication::setDesktopFileName("zmrcalibration");

  zmr::ProgramState& s = zmr::State();
  s.pzHelpDir = zmr::HelpFilePath();
  zmr::QtPlatform platform;
  // Options, working size, display state and point arrays, as the window is created.
  zmr::StartProgram(platform);

  int result = 0;
  {
    zmr::MainWindow window(platform);
    window.ShowWithOuterSize(s.IMAGE_X, s.IMAGE_Y);
    result = QApplication::exec();
  }
  // The window is gone: release the point arrays.
  zmr::EndProgram(s);
  return result;
}
