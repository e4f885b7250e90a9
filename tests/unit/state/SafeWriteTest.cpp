#include "state/SafeWrite.h"

#include <sys/stat.h>

#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Commands.h"
#include "ui/Startup.h"
#include "ui/resource.h"

namespace zmr {
namespace {

// The number of files in the working folder, so a left-over temporary shows.
long Files() { return std::distance(std::filesystem::directory_iterator("."), {}); }

bool WriteText(const char* path, bool ok = true) {
  return WriteWholeFile(path, [ok](std::FILE* f) { return std::fputs("text\n", f) >= 0 && ok; });
}

using SafeWriteTest = test::StateTest;

TEST_F(SafeWriteTest, FilesGetTheCreationModeAndKeepTheirModeWhenReplaced) {
  const mode_t mask = ::umask(027);
  const bool created = WriteText("new.txt");
  ::umask(mask);
  test::WriteFile("old.txt", "a longer previous content");
  ASSERT_EQ(::chmod("old.txt", 0604), 0);
  ASSERT_TRUE(created && WriteText("old.txt"));
  EXPECT_FALSE(WriteText("old.txt", false) || WriteText("missing/new.txt") || WriteText("."));
  EXPECT_EQ((std::vector{std::filesystem::status("new.txt").permissions(),
                         std::filesystem::status("old.txt").permissions()}),
            (std::vector{std::filesystem::perms{0640}, std::filesystem::perms{0604}}));
  EXPECT_EQ(Files(), 2);
}

// Every save command on a full disk: the write fails before its end, the command says so, the
// previous file is untouched and no temporary is left.
TEST_F(SafeWriteTest, FailedSaveOfEveryWriterKeepsThePreviousFile) {
  test::FakePlatform platform;
  StartProgram(platform);
  ProgramState& s = State();
  s.cxDib = s.cyDib = 40;
  s.xoffset = s.yoffset = 0;  // four nodes of the ORBIK table lie inside the image
  s.Msource.assign(1600, 123);
  s.Mtarget.assign(1600, 45);
  s.NumberOfPoints = 4;
  const std::pair<int, const char*> cases[] = {
      {IDM_SAVE_BITMAP, kErrorCreatingImage},       {IDM_SAVE_ASCII, kErrorCreatingImage},
      {IDM_SAVE_TARGET_ASCII, kErrorCreatingImage}, {IDM_POINTS_SAVE, kErrorCreatingPoints},
      {IDM_ORBIK_SAVE_ASCII, kErrorCreatingTable},  {IDM_ORBIK_SAVE_ZMR, kErrorZmrExport},
  };
  test::WriteFile("out", "previous\n");
  for (const auto& [id, message] : cases) {
    platform.messages.clear();
    platform.fileAnswers = {"out"};
    {
      const test::FileSizeLimit cap(16);
      ASSERT_TRUE(RunCommand(id, platform));
    }
    EXPECT_EQ(platform.MessageTexts(), std::vector<std::string>{message}) << id;
    EXPECT_EQ(test::ReadFile("out"), "previous\n") << id;
    EXPECT_EQ(Files(), 2) << id;  // with SCAN.LOG
  }
  EndProgram(State());
}

}  // namespace
}  // namespace zmr
