#include "state/FileOpen.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zmr {

std::FILE* OpenFile(const char* path, const char* mode) {
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode[0]) {
    case 'r':
      flags |= O_RDONLY;
      break;
    case 'w':
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case 'a':
      flags |= O_WRONLY | O_CREAT | O_APPEND;
      break;
    default:
      errno = EINVAL;
      return nullptr;
  }
  const int fd = ::open(path, flags, 0666);
  if (fd < 0) return nullptr;
  // Reads and writes block as usual from here on: a FIFO without a writer still ends at once.
  const int status = ::fcntl(fd, F_GETFL);
  if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  std::FILE* f = ::fdopen(fd, mode);
  if (f == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return f;
}

std::string FileErrorText(int error) {
  if (error == ENXIO) return "nothing reads from it";
  // The description itself, not its translation: the program's own texts are English, and a
  // note must read the same from every thread whatever locale it has in use.
  const char* text = ::strerrordesc_np(error);
  return text != nullptr ? text : "error " + std::to_string(error);
}

}  // namespace zmr
