// Standard output sent to /dev/null while a QuietStdout lives: the commands and stages print
// progress notes there that would break up the benchmark's table. Main thread of a benchmark.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace zmr::bench {

class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      close(null);
    }
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace zmr::bench
