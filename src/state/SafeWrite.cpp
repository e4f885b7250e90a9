#include "state/SafeWrite.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "state/FileOpen.h"

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

// --- temporaries removed when SIGINT or SIGTERM ends the process in the middle of a write

constexpr int kTempSlots = 16;
// A slot is free (0), taken by a writer filling in its path (1), or holding a path (2).
struct TempSlot {
  std::atomic<int> state{0};
  char path[PATH_MAX] = {};
};
std::array<TempSlot, kTempSlots> gTemps;

extern "C" void RemoveTempsAndDie(int signal) {
  for (TempSlot& slot : gTemps) {
    if (slot.state.load(std::memory_order_acquire) == 2) ::unlink(slot.path);
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Installs the handler for the signals whose action is still the default one (a program that
// handles them itself, or ignores them, keeps its choice). Once per process.
void GuardSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction current {};
      if (::sigaction(sig, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
      struct sigaction guard {};
      guard.sa_handler = RemoveTempsAndDie;
      sigemptyset(&guard.sa_mask);
      ::sigaction(sig, &guard, nullptr);
    }
  });
}

// Holds a temporary's path in a slot while it exists; with no free slot the file is simply not
// guarded.
class TempGuard {
 public:
  explicit TempGuard(const std::string& path) {
    GuardSignals();
    if (path.size() >= PATH_MAX) return;
    for (TempSlot& slot : gTemps) {
      int expected = 0;
      if (!slot.state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) continue;
      std::memcpy(slot.path, path.c_str(), path.size() + 1);
      slot.state.store(2, std::memory_order_release);
      slot_ = &slot;
      return;
    }
  }
  ~TempGuard() {
    if (slot_ != nullptr) slot_->state.store(0, std::memory_order_release);
  }
  TempGuard(const TempGuard&) = delete;
  TempGuard& operator=(const TempGuard&) = delete;

 private:
  TempSlot* slot_ = nullptr;
};

// The file a path names once its symbolic links are followed (the last component may not exist
// yet: a link to a file still to be made). Empty when the chain does not end (a loop).
std::string FollowLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(static_cast<std::size_t>(PATH_MAX), '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size() - 1);
    if (n < 0) return path;
    target.resize(static_cast<std::size_t>(n));
    if (target.empty() || target[0] != '/') {
      const std::size_t slash = path.find_last_of('/');
      if (slash != std::string::npos) target = path.substr(0, slash + 1) + target;
    }
    path = target;
  }
  return {};
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void SetError(std::string* why, const std::string& text) {
  if (why != nullptr) *why = text;
}

// A device, a FIFO or a socket is written in place, as a stream: replacing it would put a plain
// file where the system had something else. A FIFO without a reader is refused at once rather
// than waited for.
bool WriteStream(const char* path, const std::function<bool(std::FILE*)>& write, std::string* why) {
  const int fd = ::open(path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetError(why, FileErrorText(errno));
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* f = ::fdopen(fd, "w");
  if (f == nullptr) {
    SetError(why, FileErrorText(errno));
    ::close(fd);
    return false;
  }
  bool ok = write(f);
  ok = std::fflush(f) == 0 && ok && std::ferror(f) == 0;
  const int error = errno;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) SetError(why, FileErrorText(error != 0 ? error : EIO));
  return ok;
}

// Copies the finished temporary into the target in place, for a target with further hard
// links, which a rename would part from this one.
bool CopyInPlace(const std::string& temp, const std::string& target, std::string* why) {
  std::FILE* in = std::fopen(temp.c_str(), "rb");
  std::FILE* out = in != nullptr ? std::fopen(target.c_str(), "wb") : nullptr;
  bool ok = in != nullptr && out != nullptr;
  char buffer[1 << 16];
  while (ok) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, in);
    if (n > 0 && std::fwrite(buffer, 1, n, out) != n) ok = false;
    if (n < sizeof buffer) break;
  }
  const int error = errno;
  ok = ok && std::ferror(in) == 0 && std::fflush(out) == 0 && ::fsync(::fileno(out)) == 0;
  if (in != nullptr) std::fclose(in);
  if (out != nullptr && std::fclose(out) != 0) ok = false;
  if (!ok) SetError(why, FileErrorText(error != 0 ? error : EIO));
  return ok;
}

}  // namespace

bool WriteWholeFile(const char* path, const std::function<bool(std::FILE*)>& write,
                    std::string* why) {
  if (path == nullptr || *path == '\0') {
    SetError(why, "no file name");
    return false;
  }
  // The kernel follows the links (also the process's own, such as /dev/stdout); the name
  // itself is followed only where it leads to no file yet.
  struct stat old {};
  const bool exists = ::stat(path, &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) {
    SetError(why, "it is a folder");
    return false;
  }
  if (exists && !S_ISREG(old.st_mode)) return WriteStream(path, write, why);
  std::string target;
  if (exists) {
    char resolved[PATH_MAX];
    if (::realpath(path, resolved) == nullptr) {
      SetError(why, FileErrorText(errno));
      return false;
    }
    target = resolved;
  } else {
    target = FollowLinks(path);
    if (target.empty()) {
      SetError(why, "too many levels of symbolic links");
      return false;
    }
  }
  // A file its user may not write is refused, as the shell refuses "> file"; the folder's
  // permission alone would let a rename replace it.
  if (exists && ::access(target.c_str(), W_OK) != 0) {
    SetError(why, FileErrorText(errno));
    return false;
  }

  // A short name in the target's folder, so that a long target name still leaves room.
  std::string temp = FolderOf(target) + "/.zmr-XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    SetError(why, FileErrorText(errno));
    return false;
  }
  const TempGuard named(temp);
  // mkstemp creates the file private; give it the mode a plain create (or the old file) has,
  // and the old file's owner where the system lets us.
  ::fchmod(fd, exists ? (old.st_mode & 07777) : (0666 & ~CurrentUmask()));
  if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Not allowed to give it away: the new file keeps our ownership.
    }
  }
  std::FILE* f = ::fdopen(fd, "w");
  if (f == nullptr) {
    SetError(why, FileErrorText(errno));
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  errno = 0;
  bool ok = write(f);
  ok = std::fflush(f) == 0 && ok && std::ferror(f) == 0 && ::fsync(::fileno(f)) == 0;
  const int error = errno;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    SetError(why, FileErrorText(error != 0 ? error : EIO));
  } else if (exists && old.st_nlink > 1) {
    ok = CopyInPlace(temp, target, why);
  } else if (std::rename(temp.c_str(), target.c_str()) != 0) {
    SetError(why, FileErrorText(errno));
    ok = false;
  } else {
    return true;
  }
  ::unlink(temp.c_str());
  return ok;
}

bool WriteWholeFileBytes(const char* path, const std::vector<std::uint8_t>& bytes,
                         std::string* why) {
  return WriteWholeFile(
      path,
      [&](std::FILE* f) {
        return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
      },
      why);
}

}  // namespace zmr
