#include "ui/qt/RecentFiles.h"

#include <QFileInfo>
#include <QSettings>
#include <algorithm>

namespace zmr {

namespace {
constexpr const char* kKey = "recentFiles";
}  // namespace

std::vector<RecentFile> RecentFiles::List() const {
  std::vector<RecentFile> files;
  // Each entry is "COMMAND<tab>PATH"; one that does not read so is skipped.
  for (const QString& entry : QSettings().value(kKey).toStringList()) {
    const qsizetype tab = entry.indexOf('\t');
    bool number = false;
    const int command = entry.left(tab).toInt(&number);
    if (tab <= 0 || !number || tab + 1 >= entry.size()) continue;
    files.push_back({command, entry.mid(tab + 1)});
    if (static_cast<int>(files.size()) == kMaxRecentFiles) break;
  }
  return files;
}

void RecentFiles::Add(int command, const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  std::vector<RecentFile> files = List();
  std::erase_if(files, [&](const RecentFile& f) { return f.path == absolute; });
  files.insert(files.begin(), {command, absolute});
  if (static_cast<int>(files.size()) > kMaxRecentFiles) files.resize(kMaxRecentFiles);
  Store(files);
}

void RecentFiles::Remove(const QString& path) {
  std::vector<RecentFile> files = List();
  std::erase_if(files, [&](const RecentFile& f) { return f.path == path; });
  Store(files);
}

void RecentFiles::Clear() { Store({}); }

void RecentFiles::Store(const std::vector<RecentFile>& files) {
  QStringList entries;
  for (const RecentFile& f : files) entries << QString::number(f.command) + '\t' + f.path;
  QSettings().setValue(kKey, entries);
}

}  // namespace zmr
