// The reason under a refused file's message, and which Open command takes a file given
// without a dialog.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "imagefiles/Bitmap.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/OpenFileKind.h"
#include "ui/Startup.h"
#include "ui/resource.h"

namespace zmr {
namespace {

class FileProblemsTest : public test::StateTest {
 protected:
  FileProblemsTest() { StartProgram(platform_); }
  ~FileProblemsTest() override { EndProgram(State()); }
  test::FakePlatform platform_;
};

// A 2 x 2 bitmap whose header says 4096 x 4096.
std::vector<std::uint8_t> TruncatedBitmap() {
  const int grey[4] = {};
  std::vector<std::uint8_t> b = EncodeBitmap24(2, 2, grey);
  for (int at : {18, 22}) b[at] = 0, b[at + 1] = 0x10;
  return b;
}

TEST_F(FileProblemsTest, RefusedFilesNameTheFileAndTheReason) {
  test::WriteFile("empty.txt", "");
  test::WriteFile("words.txt", "12 13 hello\n");
  test::WriteFile("prime.txt", "1 2 3 4 5 6 7\n");
  test::WriteBytes("short.bmp", TruncatedBitmap());
  test::WriteFile("notbmp.bmp", "PK this is a zip\n");
  const struct {
    int id;
    const char* file;
    const char* reason;
  } cases[] = {
      {IDM_OPEN_ASCII, "sample.txt", "sample.txt: no such file"},
      {IDM_OPEN_ASCII, "empty.txt", "empty.txt: the file is empty"},
      {IDM_OPEN_ASCII, "words.txt",
       "words.txt: holds something that is not a number after 2 values"},
      {IDM_OPEN_ASCII, "prime.txt",
       "prime.txt: 7 values make no width x height (a prime number of values)"},
      {IDM_OPEN_ASCII, ".", ".: is a folder, not a file"},
      {IDM_OPEN_BITMAP, "short.bmp",
       "short.bmp: header says 4096 \u00d7 4096 but the file holds 70 bytes"},
      {IDM_OPEN_BITMAP, "notbmp.bmp", "notbmp.bmp: not a bitmap (no BM signature)"},
      {IDM_POINTS_OPEN, "gone.txt", "gone.txt: no such file"},
      {IDM_POINTS_SAVE, "nofolder/p.txt", "the folder nofolder does not exist"},
  };
  for (const auto& c : cases) {
    platform_.reasons.clear();
    platform_.fileAnswers = {c.file};
    ASSERT_TRUE(RunCommand(c.id, platform_));
    ASSERT_EQ(platform_.reasons.size(), 1u) << c.file;
    EXPECT_EQ(platform_.reasons[0], c.reason);
  }
}

TEST_F(FileProblemsTest, FilesGivenWithoutADialogGoToTheirOpenCommand) {
  test::WriteFile("points.txt", "\n 12.500000 3.0 12.0 3.0\n");
  test::WriteFile("hex.txt", "1f 20 0\n");
  test::WriteFile("decimal.txt", "31 32 0\n");
  test::WriteFile("grid.TIF", "not read");
  const std::pair<const char*, int> cases[] = {
      {"points.txt", IDM_POINTS_OPEN}, {"hex.txt", IDM_OPEN_OSTREL},
      {"decimal.txt", IDM_OPEN_ASCII}, {"grid.TIF", IDM_OPEN_IMAGE},
      {"x.bmp", IDM_OPEN_BITMAP},      {"missing.txt", 0}};
  for (const auto& [file, id] : cases) EXPECT_EQ(OpenCommandForFile(file), id) << file;
}

}  // namespace
}  // namespace zmr
