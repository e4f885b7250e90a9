// Which files a run wrote: the regular files of some folders recorded before it and compared
// with the same folders after it, so that every writer counts (the commands' own files, the
// fixed-name logs, image libraries) without each having to report. Main thread only.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "cli/Steps.h"

namespace zmr {

class WrittenFiles {
 public:
  // Records the files of the folders as they are now; "" is the current folder. A folder that
  // does not exist or cannot be read, or that is another spelling of one already given, is
  // left out.
  explicit WrittenFiles(const std::vector<std::string>& folders);

  // The files created, replaced or changed since the record, oldest change first, each as
  // folder/name ("name" in the current folder). The files standard output and standard error
  // go to are left out. A file rewritten with the same size within the file system's time
  // resolution of the record is not seen.
  std::vector<std::string> Since() const;

 private:
  struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
  };
  struct Folder {
    std::string spelling;
    std::map<std::string, Stamp> files;
  };
  static std::map<std::string, Stamp> Scan(const std::string& folder);
  std::vector<Folder> folders_;
};

// The folders a run of these steps may write into: the current one and those of the steps'
// file arguments.
std::vector<std::string> FoldersOfSteps(const std::vector<Step>& steps);

}  // namespace zmr
