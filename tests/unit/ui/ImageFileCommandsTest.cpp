// Open Image, Save Image and Save Transformed Image over a fake platform: the state an image
// load leaves (working size, offsets, counts, grey levels scaled as a text image's), the other
// loads clearing the counts, and what each save writes or refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "imagefiles/Bitmap.h"
#include "imagefiles/EdfImage.h"
#include "imagefiles/ImageFormats.h"
#include "imagefiles/NetpbmImage.h"
#include "imagefiles/TiffImage.h"
#include "state/ProgramState.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Commands.h"
#include "ui/Startup.h"
#include "ui/resource.h"

namespace zmr {
namespace {

class ImageFileCommandsTest : public test::StateTest {
 protected:
  ImageFileCommandsTest() { StartProgram(platform_); }
  ~ImageFileCommandsTest() override { EndProgram(State()); }
  // Runs the command with the file dialog answering file; returns the messages it showed.
  std::vector<std::string> Run(int id, const std::string& file) {
    platform_.messages.clear();
    platform_.fileAnswers = {file};
    EXPECT_TRUE(RunCommand(id, platform_));
    return platform_.MessageTexts();
  }
  void Write(const std::string& name, const ResultOf<std::vector<std::uint8_t>>& bytes) {
    ASSERT_TRUE(bytes.ok()) << bytes.message();
    test::WriteBytes(name, bytes.value());
  }
  test::FakePlatform platform_;
};

TEST_F(ImageFileCommandsTest, OpenImageKeepsTheCountsAndScalesTheGreyLevelsAsATextImage) {
  const struct {
    const char* name;
    std::string type;
    std::vector<double> counts;
    std::vector<int> grey;
  } cases[] = {
      // value / maximum x 255, truncated toward zero.
      {"counts", "UnsignedShort", {0, 100, 1000, 65535, 5, 7}, {0, 0, 3, 255, 0, 0}},
      {"fractions", "FloatValue", {0.5, 1.5, 3.0, -1.5, 2.25, 0.0}, {42, 127, 255, -127, 191, 0}},
      // No positive value: no scale, the values truncated.
      {"nothing positive", "SignedShort", {-5, 0, -300, -1, 0, -2}, {-5, 0, -300, -1, 0, -2}},
      {"nonpositive fractions",
       "DoubleValue",
       {-0.5, -1.5, 0, -2.75, -9, -1e9},
       {0, -1, 0, -2, -9, -1000000000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Write("in.edf", EncodeEdf(3, 2, c.counts, c.type, false));
    EXPECT_TRUE(Run(IDM_OPEN_IMAGE, "in.edf").empty());
    const ProgramState& s = State();
    EXPECT_EQ(s.SourceCounts, c.counts);
    EXPECT_EQ(std::vector<int>(s.Msource.begin(), s.Msource.end()), c.grey);
    EXPECT_EQ(std::vector<int>({s.cxDib, s.cyDib, s.IMAGE_X, s.IMAGE_Y}),
              std::vector<int>({3, 2, 3, 2}));
    EXPECT_EQ(s.Mtarget.size(), 6u);
    EXPECT_EQ(s.hBitmap[0].width, 3);
  }
}

TEST_F(ImageFileCommandsTest, OpenImageSetsTheOffsetsAsABitmapOfItsSize) {
  const std::vector<int> grey = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  ASSERT_EQ(WriteImage("in.bmp", 5, 3, grey.data()), 1);
  ASSERT_TRUE(Run(IDM_OPEN_BITMAP, "in.bmp").empty());
  const std::vector<int> fromBitmap = {State().xoffset, State().yoffset};
  State().xoffset = State().yoffset = 0;
  Write("in.pgm", EncodePgm(5, 3, std::vector<double>(grey.begin(), grey.end()), 8));
  ASSERT_TRUE(Run(IDM_OPEN_IMAGE, "in.pgm").empty());
  EXPECT_EQ(std::vector<int>({State().xoffset, State().yoffset}), fromBitmap);
}

TEST_F(ImageFileCommandsTest, OtherLoadsAndTargetToSourceLeaveNoCounts) {
  const std::vector<int> grey(12, 9);
  ASSERT_EQ(WriteImage("in.bmp", 4, 3, grey.data()), 1);
  test::WriteFile("in.txt", "1 2 3 4 5 6 7 8 9 a b c\n");
  Write("in.pgm", EncodePgm(4, 3, std::vector<double>(12, 1000.0), 16));
  const struct {
    int id;
    const char* file;
  } loads[] = {{IDM_OPEN_BITMAP, "in.bmp"}, {IDM_OPEN_OSTREL, "in.txt"}};
  for (const auto& load : loads) {
    SCOPED_TRACE(load.file);
    ASSERT_TRUE(Run(IDM_OPEN_IMAGE, "in.pgm").empty());
    ASSERT_EQ(State().SourceCounts.size(), 12u);
    Run(load.id, load.file);
    EXPECT_TRUE(State().SourceCounts.empty());
  }
  ASSERT_TRUE(Run(IDM_OPEN_IMAGE, "in.pgm").empty());
  State().fBitmap[1] = 1;  // a target image is there
  Run(IDM_TARGET_TO_SOURCE, "");
  EXPECT_TRUE(State().SourceCounts.empty());
}

TEST_F(ImageFileCommandsTest, SavesWriteCountsOrGreyLevelsByExtensionAndRefuseWhatTheyCannotHold) {
  const std::vector<double> whole = {0, 1, 65535, 300, 7, 8};
  const std::vector<double> fractional = {0.5, 1, 2, 3, 4, 70000};
  const std::string suggest = ", which a 16-bit PNG cannot hold; save as .tif to keep them";
  const struct {
    const char* name;
    std::vector<double> counts;  // of the loaded image; empty: a bitmap is loaded
    int id;
    const char* file;
    std::string message;                // "" when saved
    std::vector<double> readBack = {};  // what the saved file holds
  } cases[] = {
      {"16-bit png", whole, IDM_SAVE_IMAGE, "out.png", "", whole},
      {"16-bit pgm", whole, IDM_SAVE_IMAGE, "out.PGM", "", whole},
      {"float tiff", fractional, IDM_SAVE_IMAGE, "out.tif", "", fractional},
      {"fractions refused by png", fractional, IDM_SAVE_IMAGE, "out.png",
       "Error - cannot save image out.png: the counts are not all whole numbers in 0..65535" +
           suggest},
      {"unknown extension", whole, IDM_SAVE_IMAGE, "out.jpg",
       "Error - cannot save image out.jpg: the name must end in .tif, .tiff, .png or .pgm"},
      {"folder missing", whole, IDM_SAVE_IMAGE, "nowhere/out.tif",
       "Error - cannot save image nowhere/out.tif: No such file or directory"},
      {"grey levels of a bitmap", {}, IDM_SAVE_IMAGE, "out.tiff", "", {9, 9, 9, 9, 9, 250}},
      {"8-bit pgm of grey levels", {}, IDM_SAVE_IMAGE, "out.pgm", "", {9, 9, 9, 9, 9, 250}},
      {"target grey levels", whole, IDM_SAVE_TARGET_IMAGE, "out.png", "", {0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.counts.empty()) {
      const std::vector<int> grey = {9, 9, 9, 9, 9, 250};
      ASSERT_EQ(WriteImage("in.bmp", 3, 2, grey.data()), 1);
      ASSERT_TRUE(Run(IDM_OPEN_BITMAP, "in.bmp").empty());
    } else {
      Write("in.edf", EncodeEdf(3, 2, c.counts, "DoubleValue", false));
      ASSERT_TRUE(Run(IDM_OPEN_IMAGE, "in.edf").empty());
    }
    if (std::string(c.file).find('/') == std::string::npos) test::WriteFile(c.file, "previous");
    const std::vector<std::string> messages = Run(c.id, c.file);
    if (!c.message.empty()) {
      EXPECT_EQ(messages, std::vector<std::string>{c.message});
      if (test::FileExists(c.file)) {
        EXPECT_EQ(test::ReadFile(c.file), "previous");
      }
      continue;
    }
    EXPECT_TRUE(messages.empty());
    const auto back = ReadImageFile(c.file);
    ASSERT_TRUE(back.ok()) << back.message();
    EXPECT_EQ(back.value().values, c.readBack);
  }
}

// Floating-point values that are no numbers read as 0, with a note that names the file; a
// single one is noted too.
TEST_F(ImageFileCommandsTest, NotesOfTheReaderNameTheFile) {
  Write("nan.edf", EncodeEdf(2, 1, {NAN, 4.0}, "FloatValue", true));
  Write("inf.tif", EncodeTiff(2, 2, {INFINITY, 4.0, -INFINITY, NAN}, TiffSamples::kFloat32));
  for (const auto& [file, count] : {std::pair{"nan.edf", "1"}, std::pair{"inf.tif", "3"}}) {
    platform_.notes.clear();
    EXPECT_TRUE(Run(IDM_OPEN_IMAGE, file).empty());
    EXPECT_EQ(platform_.notes,
              std::vector<std::string>{std::string(file) + ": " + count +
                                       " NaN or infinite values of the image were read as 0"});
    EXPECT_EQ(std::vector<int>(State().Msource.begin(), State().Msource.begin() + 2),
              std::vector<int>({0, 255}));
  }
}

}  // namespace
}  // namespace zmr
