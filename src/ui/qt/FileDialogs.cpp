#include "ui/qt/FileDialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

namespace zmr {

namespace {
// "All files (*.*)" means every file, also one whose name has no dot.
constexpr const char* kAllFiles = "All files (*.*) (*)";
QString FolderKey(FileDialog which) {
  return QString("folders/dialog%1").arg(static_cast<int>(which));
}
}  // namespace

FileDialogSpec FileDialogSpecOf(FileDialog which) {
  auto dialogSpec = [](const char* first, const char* suffix) {
    return FileDialogSpec{QString(first) + ";;" + kAllFiles, suffix};
  };
  switch (which) {
    case FileDialog::Ostrel:
      return dialogSpec("Ostrel calibration image data files (*.txt) (*.txt)", "dset");
    case FileDialog::Bitmap:
      return dialogSpec("Bitmaps (*.bmp) (*.bmp)", "bmp");
    case FileDialog::Ascii:
      return dialogSpec("ASCII files (*.txt,*.dat) (*.txt *.dat)", "txt");
    case FileDialog::PointsData:
      return dialogSpec("ASCII data (*.txt) (*.txt)", "txt");
    case FileDialog::OrbikData:
      return dialogSpec("ORBIK data (*.zmr) (*.zmr)", "zmr");
    case FileDialog::Image:
      return dialogSpec(
          "Images (*.tif *.tiff *.png *.jpg *.jpeg *.pgm *.ppm *.pnm *.edf) (*.tif *.tiff *.png "
          "*.jpg *.jpeg *.pgm *.ppm *.pnm *.edf)",
          "tif");
    case FileDialog::QualityReport:
      return dialogSpec("Quality report (*.json *.html) (*.json *.html)", "json");
  }
  return dialogSpec("", "");
}

bool AskFileNameQt(QWidget* parent, FileDialog which, std::string& fileName, std::string& titleName,
                   bool save, const QString& title) {
  const FileDialogSpec dialogSpec = FileDialogSpecOf(which);
  QFileDialog dialog(parent);
  dialog.setObjectName("fileDialog");
  if (!title.isEmpty()) dialog.setWindowTitle(title);
  // An open dialog must take names of files that do not exist yet too (the command says what
  // is wrong with them); a save dialog asks before it replaces a file.
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The built-in dialog shows each filter's description without its pattern part, and behaves
  // the same on every desktop.
  dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
  dialog.setNameFilters(dialogSpec.filter.split(";;"));
  dialog.setDefaultSuffix(dialogSpec.defaultSuffix);
  if (!fileName.empty()) {
    const QFileInfo last(QFile::decodeName(QByteArray::fromStdString(fileName)));
    dialog.setDirectory(last.absolutePath());
    dialog.selectFile(last.fileName());
  } else if (const QString folder = QSettings().value(FolderKey(which)).toString();
             !folder.isEmpty() && QFileInfo(folder).isDir()) {
    dialog.setDirectory(folder);
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  const QFileInfo info(chosen.first());
  QSettings().setValue(FolderKey(which), info.absolutePath());
  fileName = QFile::encodeName(info.absoluteFilePath()).toStdString();
  titleName = QFile::encodeName(info.fileName()).toStdString();
  return true;
}

}  // namespace zmr
