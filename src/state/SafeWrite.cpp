#include "state/SafeWrite.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace zmr {

namespace {
// The process's file-creation mask, read without changing it (umask() would, for every thread).
mode_t CurrentUmask() {
  mode_t mask = 022;
  if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f) != nullptr) {
      unsigned value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value & 0777);
        break;
      }
    }
    std::fclose(f);
  }
  return mask;
}
}  // namespace

bool WriteWholeFile(const char* path, const std::function<bool(std::FILE*)>& write) {
  if (path == nullptr || *path == '\0') return false;
  std::string temp = std::string(path) + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  // mkstemp creates the file private; give it the mode a plain create (or the old file) has.
  struct stat old {};
  const mode_t mode = (::stat(path, &old) == 0 && S_ISREG(old.st_mode)) ? (old.st_mode & 07777)
                                                                        : (0666 & ~CurrentUmask());
  ::fchmod(fd, mode);
  std::FILE* f = ::fdopen(fd, "w");
  if (f == nullptr) {
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  bool ok = write(f);
  ok = std::fflush(f) == 0 && ok && std::ferror(f) == 0 && ::fsync(::fileno(f)) == 0;
  ok = std::fclose(f) == 0 && ok;
  if (!ok || std::rename(temp.c_str(), path) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

bool WriteWholeFileBytes(const char* path, const std::vector<std::uint8_t>& bytes) {
  return WriteWholeFile(path, [&](std::FILE* f) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  });
}

}  // namespace zmr
