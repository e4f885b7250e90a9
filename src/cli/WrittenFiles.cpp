#include "cli/WrittenFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <tuple>
#include <utility>

namespace zmr {

namespace {
namespace fs = std::filesystem;

const char* OpenName(const std::string& folder) { return folder.empty() ? "." : folder.c_str(); }

bool SameFile(const struct stat& a, dev_t device, ino_t inode) {
  return a.st_dev == device && a.st_ino == inode;
}
}  // namespace

WrittenFiles::WrittenFiles(const std::vector<std::string>& folders) {
  std::vector<std::pair<dev_t, ino_t>> seen;
  for (const std::string& folder : folders) {
    struct stat info {};
    if (::stat(OpenName(folder), &info) != 0 || !S_ISDIR(info.st_mode)) continue;
    const std::pair<dev_t, ino_t> id{info.st_dev, info.st_ino};
    if (std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
    seen.push_back(id);
    folders_.push_back({folder, Scan(folder)});
  }
}

std::map<std::string, WrittenFiles::Stamp> WrittenFiles::Scan(const std::string& folder) {
  std::map<std::string, Stamp> files;
  std::error_code error;
  for (fs::directory_iterator it(OpenName(folder), error), end; !error && it != end;
       it.increment(error)) {
    struct stat info {};
    if (::stat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    files[it->path().filename().string()] = {info.st_dev, info.st_ino, info.st_size, info.st_mtim};
  }
  return files;
}

std::vector<std::string> WrittenFiles::Since() const {
  struct stat out {};
  struct stat err {};
  const bool haveOut = ::fstat(STDOUT_FILENO, &out) == 0;
  const bool haveErr = ::fstat(STDERR_FILENO, &err) == 0;
  std::vector<std::pair<timespec, std::string>> written;
  for (const Folder& folder : folders_) {
    for (const auto& [name, now] : Scan(folder.spelling)) {
      if ((haveOut && SameFile(out, now.device, now.inode)) ||
          (haveErr && SameFile(err, now.device, now.inode)))
        continue;
      const auto before = folder.files.find(name);
      if (before != folder.files.end()) {
        const Stamp& was = before->second;
        if (was.device == now.device && was.inode == now.inode && was.size == now.size &&
            was.modified.tv_sec == now.modified.tv_sec &&
            was.modified.tv_nsec == now.modified.tv_nsec)
          continue;
      }
      written.emplace_back(now.modified, folder.spelling.empty()
                                             ? name
                                             : (fs::path(folder.spelling) / name).string());
    }
  }
  std::sort(written.begin(), written.end(), [](const auto& a, const auto& b) {
    return std::tie(a.first.tv_sec, a.first.tv_nsec, a.second) <
           std::tie(b.first.tv_sec, b.first.tv_nsec, b.second);
  });
  std::vector<std::string> names;
  for (auto& entry : written) names.push_back(std::move(entry.second));
  return names;
}

std::vector<std::string> FoldersOfSteps(const std::vector<Step>& steps) {
  std::vector<std::string> folders = {""};
  for (const Step& step : steps) {
    if (!step.file.empty()) folders.push_back(fs::path(step.file).parent_path().string());
  }
  return folders;
}

}  // namespace zmr
