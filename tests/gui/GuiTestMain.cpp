// The GUI tests run inside one QApplication, on the platform the environment names (the
// offscreen one when it names none), with numbers in files in the C locale as in the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "ui/qt/QtPlatform.h"

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // Settings (recent files, folders, geometry) go to a folder of this run's own: not the
  // user's, and not shared with the test processes running beside it.
  QStandardPaths::setTestModeEnabled(true);
  QApplication::setOrganizationName("ZMRCalibrationTests");
  const QTemporaryDir settings;
  for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
    QSettings::setPath(format, QSettings::UserScope, settings.path());
  }
  zmr::UseCNumericLocale();
  // Tests close windows; that must not end the application.
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
