#include "ui/qt/HelpWindow.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>
#include <filesystem>
#include <system_error>
#include <vector>

namespace zmr {

namespace {

constexpr const char* kHelpFileName = "ZMRCalibration.html";
constexpr const char* kHelpWindowName = "helpWindow";

bool IsFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

QTextBrowser* OpenHelpWindow(QWidget* parent) {
  const QWidgetList candidates =
      parent != nullptr
          ? parent->findChildren<QWidget*>(kHelpWindowName, Qt::FindDirectChildrenOnly)
          : QApplication::topLevelWidgets();
  for (QWidget* widget : candidates) {
    auto* browser = qobject_cast<QTextBrowser*>(widget);
    if (browser != nullptr && browser->objectName() == kHelpWindowName) return browser;
  }
  auto* browser = new QTextBrowser(parent);
  browser->setObjectName(kHelpWindowName);
  browser->setWindowFlag(Qt::Window);
  browser->setAttribute(Qt::WA_DeleteOnClose);
  browser->setWindowTitle("ZMRCalibration Help");
  browser->setOpenExternalLinks(true);
  browser->resize(760, 640);
  return browser;
}

}  // namespace

std::string HelpFilePath() {
  std::vector<std::filesystem::path> places = {std::filesystem::path(".")};
#ifdef ZMR_HELP_INSTALL_DIR
  places.emplace_back(ZMR_HELP_INSTALL_DIR);
#endif
#ifdef ZMR_HELP_SOURCE_DIR
  places.emplace_back(ZMR_HELP_SOURCE_DIR);
#endif
  for (const auto& folder : places) {
    const std::filesystem::path file = folder / kHelpFileName;
    if (!IsFile(file)) continue;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(file, error);
    return (error ? file : absolute.lexically_normal()).string();
  }
  return {};
}

void ShowHelpWindow(QWidget* parent, const std::string& path) {
  QTextBrowser* browser = OpenHelpWindow(parent);
  const QString file = QFile::decodeName(QByteArray::fromStdString(path));
  QFile probe(file);
  if (!path.empty() && QFileInfo(file).isFile() && probe.open(QIODevice::ReadOnly)) {
    probe.close();
    browser->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
  } else {
    browser->setHtml(
        QString("<h2>ZMRCalibration Help</h2><p>The help file %1 was not found. It is looked "
                "for in the current folder and in the program's documentation folder.</p>")
            .arg(path.empty() ? QString(kHelpFileName) : file.toHtmlEscaped()));
  }
  browser->show();
  browser->raise();
  browser->activateWindow();
}

}  // namespace zmr
