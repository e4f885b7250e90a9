// The recent files of File > Recent Files, kept in the program's settings between runs: each
// with the Open command that read it, newest first, at most kMaxRecentFiles, no path twice.
// Main (GUI) thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace zmr {

struct RecentFile {
  int command = 0;  // the Open command's id
  QString path;     // absolute
};

class RecentFiles {
 public:
  static constexpr int kMaxRecentFiles = 8;

  std::vector<RecentFile> List() const;
  // Puts the file first (moving it there when it is already listed).
  void Add(int command, const QString& path);
  void Remove(const QString& path);
  void Clear();

 private:
  void Store(const std::vector<RecentFile>& files);
};

}  // namespace zmr
