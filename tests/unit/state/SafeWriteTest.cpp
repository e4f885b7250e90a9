#include "state/SafeWrite.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "gridgen/GridGen.h"
#include "support/FakePlatform.h"
#include "support/GridImageLoad.h"
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

// The logs a detection writes as it goes cannot be replaced whole; on a full disk they end
// short, and the notes say so instead of the run looking complete.
TEST_F(SafeWriteTest, FullDiskDuringADetectionIsNoted) {
  test::FakePlatform platform;
  StartProgram(platform);
  ASSERT_TRUE(
      test::PutGridImage(GenerateGrid({.width = 151, .height = 141, .pitch = 19, .radius = 6})));
  State().MinPatchSize = 50;
  {
    const test::FileSizeLimit cap(64);
    ASSERT_TRUE(RunCommand(IDM_AUTODETECT, platform));
  }
  const std::string tooLarge = "File too large";  // in English, whatever the locale
  EXPECT_EQ(platform.notes, (std::vector<std::string>{"PointsFit.txt is incomplete: " + tooLarge,
                                                      "Trace.log is incomplete: " + tooLarge}));
  EndProgram(State());
}

// A careful editor's save: links followed, hard links kept together, devices and FIFOs
// written as streams, long names saved, the user's write permission respected.
TEST_F(SafeWriteTest, SavesFollowLinksAndWriteDevicesAndFifosInPlace) {
  namespace fs = std::filesystem;
  test::WriteFile("target.txt", "old\n");
  fs::create_symlink("target.txt", "link.txt");
  fs::create_hard_link("target.txt", "hard.txt");
  ASSERT_TRUE(WriteText("link.txt"));
  EXPECT_TRUE(fs::is_symlink("link.txt"));
  EXPECT_EQ(test::ReadFile("target.txt") + test::ReadFile("hard.txt"), "text\ntext\n");
  fs::create_symlink("made-by-save.txt", "dangling.txt");
  ASSERT_TRUE(WriteText("dangling.txt"));
  EXPECT_EQ(test::ReadFile("made-by-save.txt"), "text\n");

  ASSERT_TRUE(WriteText("/dev/null"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  ASSERT_EQ(::mkfifo("fifo", 0600), 0);
  std::string why;
  EXPECT_FALSE(WriteWholeFile(
      "fifo", [](std::FILE*) { return true; }, &why));
  EXPECT_EQ(why, "nothing reads from it");
  std::string received;
  std::thread reader([&] { received = test::ReadFile("fifo"); });
  // The reader may not have opened its end yet: a save that finds none is refused, not stuck.
  bool written = false;
  for (int attempt = 0; attempt < 500 && !written; ++attempt) {
    written = WriteText("fifo");
    if (!written) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  reader.join();
  EXPECT_TRUE(written);
  EXPECT_EQ(received, "text\n");
  EXPECT_TRUE(fs::is_fifo("fifo"));

  const std::string longName(250, 'n');
  EXPECT_TRUE(WriteText(longName.c_str()));
  EXPECT_EQ(Files(), 7);  // no temporary left

  // A file its owner may not write, saved by that owner (not root, whom nothing stops).
  test::WriteFile("locked.txt", "locked\n");
  ASSERT_EQ(::chmod("locked.txt", 0444), 0);
  ASSERT_EQ(::chown("locked.txt", 65534, 65534) == 0 || ::geteuid() != 0, true);
  ASSERT_EQ(::chmod(".", 0777), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    std::string reason;
    const bool saved = WriteWholeFile(
        "locked.txt", [](std::FILE*) { return true; }, &reason);
    ::_exit(saved ? 1 : reason == "Permission denied" ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(test::ReadFile("locked.txt"), "locked\n");
}

// A save ended by SIGTERM or SIGINT keeps the old file and leaves no temporary behind.
TEST_F(SafeWriteTest, SignalDuringASaveRemovesTheTemporary) {
  test::WriteFile("kept.txt", "old\n");
  for (int sig : {SIGTERM, SIGINT}) {
    const pid_t child = ::fork();
    if (child == 0) {
      WriteWholeFile("kept.txt", [sig](std::FILE* f) {
        std::fputs("partial", f);
        std::fflush(f);
        ::raise(sig);
        return true;
      });
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    EXPECT_EQ(test::ReadFile("kept.txt"), "old\n");
    EXPECT_EQ(Files(), 1) << sig;
  }
}

}  // namespace
}  // namespace zmr
