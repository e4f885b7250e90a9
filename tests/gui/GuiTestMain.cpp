// The GUI tests run inside one QApplication, on the platform the environment names (the
// offscreen one when it names none), with numbers in files in the C locale as in the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include "ui/qt/QtPlatform.h"

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // Settings (recent files, folders, geometry) go to a test location, not the user's.
  QStandardPaths::setTestModeEnabled(true);
  QApplication::setOrganizationName("ZMRCalibrationTests");
  zmr::UseCNumericLocale();
  // Tests close windows; that must not end the application.
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
