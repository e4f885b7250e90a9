// Helpers shared by the tests: a fresh program state, a temporary working folder that the
// test runs in, whole-file read and write, and a run of one of the programs.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zmr::test {

// Creates an empty temporary folder, makes it the current directory, and on destruction
// returns to the previous directory and removes the folder with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

std::string ReadFile(const std::string& path);
std::vector<std::uint8_t> ReadBytes(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& content);
bool FileExists(const std::string& path);

// What a program run left: its exit status (-1 when it did not exit normally) and both
// output streams.
struct RunResult {
  int status = -1;
  std::string out, err;
};

// Runs a program in the current folder with the words of line as its arguments (split at
// blanks, no quoting), standard input empty, both output streams captured.
RunResult RunProgram(const std::string& program, const std::string& line);

// Caps the size of any file this process writes, as a full disk or a quota would; writes past
// the cap fail with EFBIG instead of raising SIGXFSZ. Both are restored on destruction.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = nullptr;
};

// Fixture for tests of the process-wide state: every test starts from a fresh ProgramState
// inside its own temporary working folder.
class StateTest : public ::testing::Test {
 protected:
  StateTest();
  ~StateTest() override;
  TempDir dir_;
};

}  // namespace zmr::test
