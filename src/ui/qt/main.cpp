// The desktop program: one window with its menu over the calibration commands.
#include <QApplication>
#include <QTimer>

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
  // The settings (window geometry, folders, recent files) go to ~/.config/ZMRCalibration.
  QApplication::setOrganizationName("ZMRCalibration");
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
    window.ShowAtStart(s.IMAGE_X, s.IMAGE_Y);
    // The files named on the command line, once the window is up.
    const QStringList arguments = QApplication::arguments();
    QTimer::singleShot(0, &window, [&window, arguments] { window.OpenStartupFiles(arguments); });
    result = QApplication::exec();
  }
  // The window is gone: release the point arrays.
  zmr::EndProgram(s);
  return result;
}
