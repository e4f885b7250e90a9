#include "state/SafeWrite.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::ReadFile;
using test::WriteFile;

// Files of the working folder, so a left-over temporary shows.
std::set<std::string> Folder() {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator("."))
    names.insert(entry.path().filename().string());
  return names;
}

unsigned ModeOf(const char* path) {
  struct stat st {};
  EXPECT_EQ(::stat(path, &st), 0) << path;
  return st.st_mode & 07777;
}

using SafeWriteTest = test::StateTest;

TEST_F(SafeWriteTest, NewFileGetsTheCreationModeAndReplacedFileKeepsItsMode) {
  const mode_t previousMask = ::umask(027);
  const bool created = WriteWholeFile(
      "new.txt", [](std::FILE* f) { return std::fputs("line 1\nline 2\n", f) >= 0; });
  ::umask(previousMask);
  ASSERT_TRUE(created);
  EXPECT_EQ(ReadFile("new.txt"), "line 1\nline 2\n");
  EXPECT_EQ(ModeOf("new.txt"), 0640u);

  WriteFile("old.bin", "a much longer previous content");
  ASSERT_EQ(::chmod("old.bin", 0604), 0);
  const std::vector<std::uint8_t> bytes = {0, 'B', 0xFF, '\n', 0};
  ASSERT_TRUE(WriteWholeFileBytes("old.bin", bytes));
  EXPECT_EQ(test::ReadBytes("old.bin"), bytes);
  EXPECT_EQ(ModeOf("old.bin"), 0604u);

  ASSERT_TRUE(WriteWholeFileBytes("old.bin", {}));
  EXPECT_EQ(ReadFile("old.bin"), "");
  EXPECT_EQ(Folder(), (std::set<std::string>{"new.txt", "old.bin"}));
}

TEST_F(SafeWriteTest, FailedWriteKeepsThePreviousFileAndLeavesNoTemporary) {
  const std::string big(100000, 'x');
  const struct {
    const char* name;
    rlim_t limit;  // 0: no limit
    std::function<bool(const char*)> write;
  } cases[] = {
      {"WriterReportsFailure", 0,
       [](const char* path) {
         return WriteWholeFile(path, [](std::FILE* f) {
           std::fputs("half written", f);
           return false;
         });
       }},
      // Buffered bytes that fail only when flushed.
      {"FlushFailsPastTheSizeLimit", 8,
       [](const char* path) {
         return WriteWholeFile(path, [](std::FILE* f) { return std::fputs("0123456789", f) >= 0; });
       }},
      // A writer that ignores its own failed writes: the stream's error state still counts.
      {"IgnoredWriteErrorPastTheSizeLimit", 1000,
       [&](const char* path) {
         return WriteWholeFile(path, [&](std::FILE* f) {
           std::fwrite(big.data(), 1, big.size(), f);
           return true;
         });
       }},
      {"ShortBlockPastTheSizeLimit", 1000,
       [&](const char* path) {
         return WriteWholeFileBytes(path, std::vector<std::uint8_t>(big.begin(), big.end()));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile("target.txt", "previous content\n");
    bool written = true;
    if (c.limit != 0) {
      test::FileSizeLimit limit(c.limit);
      written = c.write("target.txt");
    } else {
      written = c.write("target.txt");
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile("target.txt"), "previous content\n");
    EXPECT_EQ(Folder(), std::set<std::string>{"target.txt"});
  }
}

TEST_F(SafeWriteTest, TargetThatCannotBeReplacedOrCreatedIsRefused) {
  auto writeText = [](const char* path) {
    return WriteWholeFile(path, [](std::FILE* f) { return std::fputs("text", f) >= 0; });
  };
  // A folder of the target's name is not replaced by a file.
  std::filesystem::create_directory("folder");
  WriteFile("folder/inside.txt", "kept");
  EXPECT_FALSE(writeText("folder"));
  EXPECT_EQ(ReadFile("folder/inside.txt"), "kept");
  EXPECT_EQ(Folder(), std::set<std::string>{"folder"});

  EXPECT_FALSE(writeText("missing/out.txt"));
  EXPECT_FALSE(WriteWholeFileBytes("missing/out.bin", {1, 2}));
  EXPECT_FALSE(writeText(""));
  EXPECT_FALSE(writeText(nullptr));
  EXPECT_EQ(Folder(), std::set<std::string>{"folder"});
}

TEST_F(SafeWriteTest, ReadOnlyFolderIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  std::filesystem::create_directory("locked");
  WriteFile("locked/t.txt", "previous");
  ASSERT_EQ(::chmod("locked", 0555), 0);
  const bool written = WriteWholeFileBytes("locked/t.txt", {'n', 'e', 'w'});
  ::chmod("locked", 0755);
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile("locked/t.txt"), "previous");
}

}  // namespace
}  // namespace zmr
