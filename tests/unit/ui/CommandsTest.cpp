// The menu commands over a fake platform: preconditions and messages, the image loads and
// saves with their dialogs, Options, the View toggles and Target->Source.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detection/PointFiles.h"
#include "imagefiles/Bitmap.h"
#include "state/ProgramState.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Commands.h"
#include "ui/Dialogs.h"
#include "ui/Display.h"
#include "ui/ImageLoad.h"
#include "ui/Startup.h"
#include "ui/resource.h"

namespace zmr {
namespace {

using test::FakePlatform;
using test::ReadFile;
using test::WriteFile;

// A text image of w x h values in hex, value(i) = i % 251 + 1 (so none is 0), 7 per line.
std::string HexImage(int w, int h) {
  std::string text;
  char buf[32];
  for (int i = 0; i < w * h; ++i) {
    std::snprintf(buf, sizeof buf, "%x%c", i % 251 + 1, i % 7 == 6 ? '\n' : ' ');
    text += buf;
  }
  return text;
}

class CommandsTest : public test::StateTest {
 protected:
  CommandsTest() { StartProgram(platform_); }
  ~CommandsTest() override { EndProgram(); }

  // Sets the expected format to w x h as the Options dialog would.
  void SetDefaultFormat(int w, int h) {
    State().IMAGE_X = w;
    State().IMAGE_Y = h;
  }

  void Run(int id) { ASSERT_TRUE(RunCommand(id, platform_)) << id; }

  FakePlatform platform_;
};

TEST_F(CommandsTest, StartUpTakesWorkingSizeFromOptionsFile) {
  EndProgram();
  ResetProgramState();
  WriteFile("ProgramOptions.TXT", "ImageWidth 640\nImageHeight 0x1e0\n");
  StartProgram(platform_);
  EXPECT_EQ(State().cxDib, 640);
  EXPECT_EQ(State().cyDib, 480);
  EXPECT_EQ(ReadFile("SCAN.LOG"), "ImageWidth (0)= 640\nImageHeight (1)= 480\n");
}

TEST_F(CommandsTest, CommandsThatNeedAnImageRefuseBeforeAnyDialog) {
  struct Case {
    int id;
    const char* message;
  };
  for (const Case& c : {Case{IDM_SAVE_ASCII, kErrorNoSourceData},
                        Case{IDM_SAVE_TARGET_ASCII, kErrorNoTargetData}}) {
    platform_.messages.clear();
    platform_.dialogs.clear();
    platform_.fileAnswers = {"out.txt"};
    Run(c.id);
    ASSERT_EQ(platform_.messages.size(), 1u) << c.id;
    EXPECT_EQ(platform_.messages[0].text, c.message);
    EXPECT_EQ(platform_.messages[0].caption, "MenuDemo");
    EXPECT_TRUE(platform_.dialogs.empty()) << c.id;
    EXPECT_FALSE(test::FileExists("out.txt"));
  }
}

TEST_F(CommandsTest, CancelledFileDialogsEndSilently) {
  for (int id : {IDM_OPEN_OSTREL, IDM_OPEN_ASCII, IDM_OPEN_BITMAP, IDM_SAVE_BITMAP, IDM_POINTS_OPEN,
                 IDM_POINTS_SAVE}) {
    Run(id);
  }
  EXPECT_TRUE(platform_.messages.empty());
  EXPECT_TRUE(State().Msource.empty());
  EXPECT_EQ(State().NumberOfPoints, 0);
  EXPECT_TRUE(platform_.workers.empty());
  EXPECT_EQ(platform_.dialogs,
            (std::vector<FileDialog>{FileDialog::Ostrel, FileDialog::Ascii, FileDialog::Bitmap,
                                     FileDialog::Ostrel, FileDialog::PointsData,
                                     FileDialog::PointsData}));
}

TEST_F(CommandsTest, OstrelFileOfDefaultFormatLoadsWithoutDialogScaledToMaximum) {
  SetDefaultFormat(12, 10);
  WriteFile("img.txt", HexImage(12, 10));
  platform_.fileAnswers = {"img.txt"};
  Run(IDM_OPEN_OSTREL);
  ASSERT_TRUE(platform_.messages.empty());
  EXPECT_TRUE(platform_.formatDialogs.empty());
  const ProgramState& s = State();
  EXPECT_EQ(s.cxDib, 12);
  EXPECT_EQ(s.cyDib, 10);
  EXPECT_EQ(s.ImageArea, 120);
  EXPECT_EQ(s.NFormats, 1);
  EXPECT_EQ(s.imxoff, 0);
  EXPECT_EQ(s.imyoff, 0);
  EXPECT_EQ(s.xoffset, 512 - 6);
  EXPECT_EQ(s.yoffset, 512 - 5);
  ASSERT_EQ(s.Msource.size(), 120u);
  const int max = 120;  // values are 1..120
  for (int i = 0; i < 120; ++i) {
    EXPECT_EQ(s.Msource[static_cast<std::size_t>(i)],
              static_cast<int>(static_cast<double>(i + 1) / max * 255))
        << i;
  }
  EXPECT_EQ(s.fBitmap[0], 1);
  EXPECT_EQ(s.hBitmap[0].pixels[119], 0xFFFFFFFFu);
  EXPECT_EQ(s.szImageFile, "img.txt");
  EXPECT_GT(platform_.redraws, 0);
}

TEST_F(CommandsTest, OtherFormatShowsDialogWithProposalAndAppliesTheChoice) {
  SetDefaultFormat(20, 20);
  WriteFile("img.txt", HexImage(24, 24));  // 576 values
  platform_.fileAnswers = {"img.txt"};
  platform_.onFormatDialog = [](ImageFormatDialogData& d) {
    // The user picks 32 x 18 and moves it to (1, 2).
    for (std::size_t i = 0; i < d.formats.size(); ++i) {
      if (d.formats[i] == "32 x 18") d.selection = static_cast<int>(i);
    }
    d.xOffset = "1";
    d.yOffset = "2";
    return true;
  };
  Run(IDM_OPEN_OSTREL);
  ASSERT_EQ(platform_.formatDialogs.size(), 1u);
  const ImageFormatDialogData& shown = platform_.formatDialogs[0];
  EXPECT_EQ(shown.formats[static_cast<std::size_t>(shown.selection)], "24 x 24");
  EXPECT_EQ(shown.xOffset, "-2");
  EXPECT_EQ(shown.yOffset, "-2");
  EXPECT_EQ(shown.defaultFormat, "20 x 20");
  EXPECT_EQ(shown.defaultPixels, "400 pixels");
  EXPECT_EQ(shown.loadedPixels, "576 pixels");
  const ProgramState& s = State();
  EXPECT_EQ(s.ImageFormat[2 * s.FormatIndex], 32);
  EXPECT_EQ(s.imxoff, 1);
  EXPECT_EQ(s.imyoff, 2);
  // File pixel (0, 0) lands at (1, 2); everything left of and above it is 0.
  EXPECT_EQ(s.Msource[0], 0);
  EXPECT_GT(s.Msource[2 * 20 + 1], 0);
  EXPECT_EQ(s.Msource[2 * 20 + 0], 0);
}

TEST_F(CommandsTest, CancelledFormatDialogKeepsTheProposal) {
  SetDefaultFormat(20, 20);
  WriteFile("img.txt", HexImage(24, 24));
  platform_.fileAnswers = {"img.txt"};
  platform_.onFormatDialog = [](ImageFormatDialogData& d) {
    d.xOffset = "5";
    return false;
  };
  Run(IDM_OPEN_OSTREL);
  const ProgramState& s = State();
  EXPECT_EQ(s.ImageFormat[2 * s.FormatIndex], 24);
  EXPECT_EQ(s.imxoff, -2);
  ASSERT_EQ(s.Msource.size(), 400u);
}

TEST_F(CommandsTest, BadTextImagesAreRefusedAndLeaveThePreviousImage) {
  SetDefaultFormat(6, 5);
  WriteFile("good.txt", HexImage(6, 5));
  platform_.fileAnswers = {"good.txt"};
  Run(IDM_OPEN_OSTREL);
  ASSERT_TRUE(platform_.messages.empty());
  const std::vector<int> before = State().Msource;

  struct Case {
    const char* name;
    const char* content;  // nullptr: the file does not exist
  };
  const Case cases[] = {
      {"missing", nullptr},
      {"empty", ""},
      {"blanks only", " \n\t\n"},
      {"not a number", "1 2 3 4.5 6 7"},
      {"header line", "P2 width 3\n1 2 3\n"},
      {"prime count", "1 2 3 4 5 6 7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform_.messages.clear();
    const std::string file = std::string(c.name) + ".txt";
    if (c.content != nullptr) WriteFile(file, c.content);
    platform_.fileAnswers = {file};
    Run(IDM_OPEN_ASCII);
    EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{kErrorInImageFile});
    EXPECT_EQ(State().Msource, before);
    EXPECT_EQ(State().cxDib, 6);
    EXPECT_EQ(State().cyDib, 5);
  }
}

TEST_F(CommandsTest, TooLargeDefaultFormatIsRefusedWithoutTouchingTheImage) {
  SetDefaultFormat(6, 5);
  WriteFile("good.txt", HexImage(6, 5));
  platform_.fileAnswers = {"good.txt"};
  Run(IDM_OPEN_OSTREL);
  const std::vector<int> before = State().Msource;
  SetDefaultFormat(40000, 40000);
  platform_.fileAnswers = {"good.txt"};
  Run(IDM_OPEN_OSTREL);
  EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{kErrorImageTooLarge});
  EXPECT_EQ(State().Msource, before);
  EXPECT_EQ(State().cxDib, 6);
  EXPECT_EQ(State().xoffset, 512 - 3);
}

TEST_F(CommandsTest, BitmapLoadSetsSizeDefaultFormatAndGreyLevels) {
  // 5 x 3 image; WriteImage stores grey values, which read back as equal channels.
  std::vector<int> pixels(15);
  for (int i = 0; i < 15; ++i) pixels[static_cast<std::size_t>(i)] = i * 17;
  ASSERT_NE(WriteImage("in.bmp", 5, 3, pixels.data()), 0);
  platform_.fileAnswers = {"in.bmp"};
  Run(IDM_OPEN_BITMAP);
  ASSERT_TRUE(platform_.messages.empty());
  const ProgramState& s = State();
  EXPECT_EQ(s.cxDib, 5);
  EXPECT_EQ(s.cyDib, 3);
  EXPECT_EQ(s.IMAGE_X, 5);
  EXPECT_EQ(s.IMAGE_Y, 3);
  EXPECT_EQ(s.xoffset, 512 - 2);
  EXPECT_EQ(s.yoffset, 512 - 1);
  EXPECT_EQ(s.Msource, pixels);
  EXPECT_EQ(s.fBitmap[0], 1);
  EXPECT_EQ(s.fBitmap[1], 0);

  // Saving writes the same bytes back.
  platform_.fileAnswers = {"out.bmp"};
  Run(IDM_SAVE_BITMAP);
  EXPECT_EQ(test::ReadBytes("out.bmp"), test::ReadBytes("in.bmp"));
}

TEST_F(CommandsTest, BitmapLoadShowsColoursAndAveragesThemIntoGrey) {
  // A 2 x 1, 24-bit bitmap with the pixels (b, g, r) = (10, 20, 31) and (255, 0, 0).
  const std::vector<std::uint8_t> file = {
      'B', 'M', 62, 0,   0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
      40,  0,   0,  0,   2, 0, 0, 0, 1, 0, 0,  0, 1, 0, 24, 0, 0, 0, 0, 0,
      8,   0,   0,  0,   0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0,  // info header
      10,  20,  31, 255, 0, 0, 0, 0};
  test::WriteBytes("colour.bmp", file);
  platform_.fileAnswers = {"colour.bmp"};
  Run(IDM_OPEN_BITMAP);
  ASSERT_TRUE(platform_.messages.empty());
  const ProgramState& s = State();
  EXPECT_EQ(s.Msource, (std::vector<int>{(10 + 20 + 31) / 3, 255 / 3}));
  EXPECT_EQ(s.hBitmap[0].pixels, (std::vector<std::uint32_t>{0xFF1F140Au, 0xFF0000FFu}));
}

TEST_F(CommandsTest, InvalidBitmapIsRefusedAndLeavesThePreviousImage) {
  std::vector<int> pixels(6, 100);
  ASSERT_NE(WriteImage("good.bmp", 3, 2, pixels.data()), 0);
  platform_.fileAnswers = {"good.bmp"};
  Run(IDM_OPEN_BITMAP);
  std::vector<std::uint8_t> bad = test::ReadBytes("good.bmp");
  bad.push_back(0);  // the stored size no longer matches
  test::WriteBytes("bad.bmp", bad);
  test::WriteFile("text.bmp", "not a bitmap at all");
  for (const char* name : {"bad.bmp", "text.bmp", "missing.bmp"}) {
    platform_.messages.clear();
    platform_.fileAnswers = {name};
    Run(IDM_OPEN_BITMAP);
    EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{kErrorInImageFile}) << name;
    EXPECT_EQ(State().Msource, pixels);
    EXPECT_EQ(State().cxDib, 3);
  }
}

TEST_F(CommandsTest, SavedAsciiImageOpensAgainRescaled) {
  SetDefaultFormat(4, 3);
  WriteFile("img.txt", "1 2 3 4 5 6 7 8 9 a b c\n");
  platform_.fileAnswers = {"img.txt", "ascii.txt"};
  Run(IDM_OPEN_OSTREL);
  Run(IDM_SAVE_ASCII);
  EXPECT_EQ(ReadFile("ascii.txt"), "21 42 63 85 \n106 127 148 170 \n191 212 233 255 \n");
  // The ASCII dialog of the save is the points-data dialog, offered the image file's name.
  EXPECT_EQ(platform_.dialogs.back(), FileDialog::PointsData);
  EXPECT_EQ(platform_.offeredNames.back(), "img.txt");
  const std::vector<int> saved = State().Msource;
  platform_.fileAnswers = {"ascii.txt"};
  Run(IDM_OPEN_ASCII);
  ASSERT_TRUE(platform_.messages.empty());
  // 255 stays the maximum, so the values come back unchanged.
  EXPECT_EQ(State().Msource, saved);
}

TEST_F(CommandsTest, OptionsDialogShowsValuesAndConvertsFieldsOnOk) {
  ProgramState& s = State();
  s.cxDib = 640;
  platform_.onOptionsDialog = [](OptionsDialogData& d) {
    d.fields[1] = "-480";  // a minus sign set by the program reads back
    d.fields[2] = "";      // emptied: FilterSize unchanged
    d.fields[3] = "12a";   // not a number: unchanged
    d.fields[5] = "0.35xyz";
    d.fields[6] = " 100 ";
    return true;
  };
  Run(IDM_OPTIONS);
  ASSERT_EQ(platform_.optionsDialogs.size(), 1u);
  EXPECT_EQ(platform_.optionsDialogs[0].fields,
            (std::array<std::string, 8>{"640", "769", "5", "400", "32", "0.2", "128", "128"}));
  EXPECT_EQ(s.IMAGE_X, 640);  // shown cxDib, stored as IMAGE_X
  EXPECT_EQ(s.IMAGE_Y, -480);
  EXPECT_EQ(s.FilterSize, 5);
  EXPECT_EQ(s.MinPatchSize, 400);
  EXPECT_DOUBLE_EQ(s.Ethresh, 0.35);
  EXPECT_EQ(s.xoffset, 100);

  platform_.onOptionsDialog = [](OptionsDialogData& d) {
    d.fields[5] = "";
    d.fields[0] = "1";
    return false;  // Cancel
  };
  Run(IDM_OPTIONS);
  EXPECT_DOUBLE_EQ(s.Ethresh, 0.35);
  EXPECT_EQ(s.IMAGE_X, 640);
  platform_.onOptionsDialog = [](OptionsDialogData& d) {
    d.fields[5] = "";
    return true;
  };
  Run(IDM_OPTIONS);
  EXPECT_EQ(s.Ethresh, 0.0);
}

TEST_F(CommandsTest, ViewTogglesFlipTheirBitAndMeshChangesNothing) {
  ProgramState& s = State();
  const struct {
    int id;
    int bit;
  } toggles[] = {{IDM_VIEW_VECTORS, 1}, {IDM_VIEW_NUMBERS, 8}, {IDM_VIEW_TRIANGLES, 4}};
  for (const auto& t : toggles) {
    const int before = s.cfDrawMode;
    Run(t.id);
    EXPECT_EQ(s.cfDrawMode, before ^ t.bit) << t.id;
    Run(t.id);
    EXPECT_EQ(s.cfDrawMode, before) << t.id;
  }
  const int redraws = platform_.redraws;
  Run(IDM_VIEW_MESH);
  EXPECT_EQ(s.cfDrawMode, 1);
  EXPECT_EQ(platform_.redraws, redraws);

  Run(IDM_VIEW_TARGET);
  EXPECT_EQ(s.cCurrentBitmap, 1);
  Run(IDM_VIEW_SOURCE);
  EXPECT_EQ(s.cCurrentBitmap, 0);
}

TEST_F(CommandsTest, TargetToSourceCopiesOnlyAValidTarget) {
  SetDefaultFormat(3, 2);
  WriteFile("img.txt", "1 2 3 4 5 6");
  platform_.fileAnswers = {"img.txt"};
  Run(IDM_OPEN_OSTREL);
  ProgramState& s = State();
  const std::vector<int> source = s.Msource;
  s.Mtarget = {9, 9, 9, 9, 9, 9};
  s.cCurrentBitmap = 1;
  Run(IDM_TARGET_TO_SOURCE);  // no target bitmap yet: only the display switches
  EXPECT_EQ(s.Msource, source);
  EXPECT_EQ(s.cCurrentBitmap, 0);

  s.fBitmap[1] = 1;
  Run(IDM_TARGET_TO_SOURCE);
  EXPECT_EQ(s.Msource, s.Mtarget);
  EXPECT_EQ(s.hBitmap[0].pixels[0], GreyArgb(9));
}

TEST_F(CommandsTest, PointsSaveWritesRecordsAndRemembersTheName) {
  ProgramState& s = State();
  s.NumberOfPoints = 2;
  const double rows[8] = {3, 4.26, 1234.56, -7.5, 1, 2, 3, 4};
  std::copy(rows, rows + 8, s.PointsInput.begin());
  platform_.fileAnswers = {"points.txt"};
  Run(IDM_POINTS_SAVE);
  EXPECT_EQ(ReadFile("points.txt"), "  3.0   4.3 1234.6  -7.5\n  1.0   2.0   3.0   4.0\n");
  Run(IDM_POINTS_SAVE);  // cancelled, but offered the last name
  EXPECT_EQ(platform_.offeredNames.back(), "points.txt");

  platform_.fileAnswers = {"no-such-folder/points.txt"};
  Run(IDM_POINTS_SAVE);
  EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{kErrorCreatingPoints});
}

TEST(CommandTableTest, IdsAndStepsAreUniqueAndFindable) {
  for (const CommandEntry& e : CommandTable()) {
    EXPECT_EQ(FindCommand(e.id), &e);
    if (e.step != nullptr) {
      EXPECT_EQ(FindStep(e.step), &e) << e.step;
    }
  }
  EXPECT_EQ(FindCommand(40018), nullptr);
  EXPECT_EQ(FindStep("no-such-step"), nullptr);
}

}  // namespace
}  // namespace zmr
