// The menu commands over a fake platform: preconditions and their messages.
#include "export/GridShifts.h"
#include "gridgen/GridGen.h"
#include "support/FakePlatform.h"
#include "support/GridImageLoad.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Commands.h"
#include "ui/Dialogs.h"
#include "ui/ImageLoad.h"
#include "ui/Startup.h"
#include "ui/resource.h"

namespace zmr {
namespace {

class CommandsTest : public test::StateTest {
 protected:
  CommandsTest() { StartProgram(platform_); }
  ~CommandsTest() override { EndProgram(State()); }
  void Run(int id) { ASSERT_TRUE(RunCommand(id, platform_)) << id; }
  test::FakePlatform platform_;
};

TEST_F(CommandsTest, RefusedCommandsShowTheirMessageAndWriteNothing) {
  const char* in = "in.txt";
  const struct {
    int id;
    const char* message;
    const char* file = "in.txt";  // the file dialog's answer
    long points = 0, triangles = 0;
    bool source = false;  // an image is loaded
    long filter = 5, edge = 32;
    int side = 769;           // of the default format
    bool incomplete = false;  // the last triangulation did not finish
  } cases[] = {{IDM_SAVE_ASCII, kErrorNoSourceData},
               {IDM_SAVE_TARGET_ASCII, kErrorNoTargetData},
               {IDM_SAVE_BITMAP, kErrorCreatingImage},
               {IDM_ORBIK_SAVE_ASCII, kErrorTooFewPoints, in, 2},
               {IDM_ORBIK_SAVE_ASCII, kErrorGridStep, in, 3, 0, false, 5, 0},
               {IDM_ORBIK_SAVE_ZMR, kErrorTooFewPoints, in, 2},
               {IDM_ORBIK_SAVE_ASCII, kErrorMeshIncomplete, in, 3, 1, false, 5, 32, 769, true},
               {IDM_ORBIK_SAVE_ZMR, kErrorMeshIncomplete, in, 3, 1, false, 5, 32, 769, true},
               {IDM_TRANSFORM, kErrorNoCalibrationPoints, in, 3, 0, true},
               {IDM_TRANSFORM, kErrorNoSourceImage, in, 3, 1},
               {IDM_ADJUST, kErrorMinimum3, in, 2},
               {IDM_EXTRAPOLATE, kErrorMinimum10, in, 9},
               {IDM_BOX_FILTER, kErrorNoSourceImage},
               {IDM_BOX_FILTER, kErrorNegativeFilter, in, 0, 0, true, -1},
               {IDM_AUTODETECT, kErrorNoSourceImage},
               {FindStep("center-mesh")->id, kErrorNoDetection},
               {IDM_POINTS_OPEN, kErrorReadingPoints, "missing.txt"},
               {IDM_POINTS_SAVE, kErrorCreatingPoints, "nowhere/p.txt"},
               {IDM_OPEN_OSTREL, kErrorImageTooLarge, in, 0, 0, false, 5, 32, 40000},
               {IDM_OPEN_OSTREL, kErrorImageSizeNotPositive, in, 0, 0, false, 5, 32, 0},
               {IDM_OPEN_ASCII, kErrorImageSizeNotPositive, in, 0, 0, false, 5, 32, -3}};
  test::WriteFile(in, "1 2 3 4 5 6\n");
  for (const auto& c : cases) {
    ProgramState& s = State();
    s.NumberOfPoints = c.points;
    s.NumberOfTriangles = c.triangles;
    s.Msource.assign(c.source ? static_cast<std::size_t>(s.cxDib * s.cyDib) : 0, 1);
    s.FilterSize = c.filter;
    s.EdgeGrid = c.edge;
    s.IMAGE_X = s.IMAGE_Y = c.side;
    s.meshIncomplete = c.incomplete;
    platform_.messages.clear();
    platform_.fileAnswers = {c.file};
    Run(c.id);
    ASSERT_EQ(platform_.messages.size(), 1u) << c.message;
    EXPECT_EQ(platform_.messages[0].text + " | " + platform_.messages[0].caption,
              std::string(c.message) + " | MenuDemo");
    EXPECT_EQ(test::ReadFile("in.txt"), "1 2 3 4 5 6\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 2) << c.message;
  }
}

// The image-format dialog shows the file's formats, the proposed one selected, its offsets, and
// the pixel counts of the working size and of the selection.
TEST_F(CommandsTest, ImageFormatDialogShowsTheFormatsAndBothPixelCounts) {
  State().IMAGE_X = 7, State().IMAGE_Y = 5;
  test::WriteFile("twelve.txt", "1 2 3 4 5 6 7 8 9 a b c\n");
  platform_.fileAnswers = {"twelve.txt"};
  Run(IDM_OPEN_OSTREL);
  ASSERT_EQ(platform_.formatDialogs.size(), 1u);
  const ImageFormatDialogData& d = platform_.formatDialogs[0];
  EXPECT_EQ(d.formats, (std::vector<std::string>{"2 x 6", "3 x 4", "4 x 3", "6 x 2"}));
  EXPECT_EQ(d.formats[static_cast<std::size_t>(d.selection)], "3 x 4");
  EXPECT_EQ(d.xOffset + "," + d.yOffset, "2,0");  // (7 - 3) / 2, (5 - 4) / 2
  EXPECT_EQ(d.defaultFormat + " | " + d.defaultPixels + " | " + d.loadedPixels,
            "7 x 5 | 35 pixels | 12 pixels");
}

// Each scroll request of the thresholding dialog moves the threshold within 0..255.
TEST_F(CommandsTest, ThresholdScrollRequestsStayWithinTheGreyLevels) {
  const std::tuple<ScrollRequest, int, int> steps[] = {
      {ScrollRequest::ThumbPosition, 0, 0},  {ScrollRequest::LineLeft, 0, 0},
      {ScrollRequest::PageRight, 0, 16},     {ScrollRequest::LineRight, 0, 17},
      {ScrollRequest::ThumbTrack, 300, 255}, {ScrollRequest::LineRight, 0, 255},
      {ScrollRequest::PageLeft, 0, 239},     {ScrollRequest::LeftEnd, 0, 0},
      {ScrollRequest::RightEnd, 0, 255},     {ScrollRequest::ThumbPosition, -4, 0}};
  State().Msource.assign(static_cast<std::size_t>(State().cxDib) * State().cyDib, 100);
  State().Mtarget = State().Msource;
  for (const auto& [request, position, threshold] : steps) {
    EXPECT_TRUE(ThresholdDialogScroll(platform_, request, position));
    EXPECT_EQ(State().iThreshold, threshold) << static_cast<int>(request) << " " << position;
  }
  EXPECT_FALSE(ThresholdDialogScroll(platform_, ScrollRequest::EndScroll, 0));
}

// Option values that make no sense are refused by the dialog and noted from the options file;
// an options file left unread for want of its log says so.
TEST_F(CommandsTest, SenselessOptionValuesAreRefusedOrNoted) {
  ProgramState& s = State();
  for (const auto& [field, text, message] :
       {std::tuple{3, "-5", "Error - the minimum patch size must not be negative"},
        std::tuple{5, "-0.5", "Error - the maximum slope must be a positive number"},
        std::tuple{5, "no number", "Error - the maximum slope must be a positive number"}}) {
    platform_.optionsEdits = {{2, "9"}, {static_cast<std::size_t>(field), text}};
    platform_.messages.clear();
    Run(IDM_OPTIONS);
    EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{message});
    EXPECT_EQ(s.FilterSize, 5) << "nothing is stored";
  }
  EndProgram(s);
  ResetProgramState();
  test::WriteFile("ProgramOptions.TXT", "MinPatchSize -5 MaxSlope nan Edge 8\n");
  test::FakePlatform fresh;
  StartProgram(fresh);
  EXPECT_EQ(
      fresh.notes,
      (std::vector<std::string>{
          "ProgramOptions.TXT sets MinPatchSize to -5: the minimum patch size must not be "
          "negative",
          "ProgramOptions.TXT sets MaxSlope to nan: the maximum slope must be a positive number"}));
  EXPECT_EQ(State().EdgeGrid, 8);
  EndProgram(State());
  ResetProgramState();
  std::filesystem::remove("SCAN.LOG");
  std::filesystem::create_directory("SCAN.LOG");  // a log that cannot be created
  test::FakePlatform unread;
  StartProgram(unread);
  EXPECT_EQ(unread.notes, std::vector<std::string>{
                              "ProgramOptions.TXT was not read: SCAN.LOG cannot be created here"});
  EXPECT_EQ(State().EdgeGrid, 32);
}

// What the results alone would not tell: no spot, too few assigned, a full spot list, wrapped
// table shifts.
TEST_F(CommandsTest, NotesSayWhatTheResultsDoNot) {
  ProgramState& s = State();
  s.MinPatchSize = 50;
  const auto detect = [&](const GridSpec& grid, long capacity) {
    s.MAXPoints = capacity;
    ASSERT_EQ(AllocateArrays(s), 1);
    ASSERT_TRUE(test::PutGridImage(GenerateGrid(grid)));
    platform_.notes.clear();
    Run(IDM_AUTODETECT);
  };
  detect({.width = 151, .height = 141, .spotGrey = 200}, 5000);
  EXPECT_EQ(platform_.notes,
            std::vector<std::string>{
                "Auto-detection found no spot (threshold 128, minimum patch size 50)"});
  // Of four spots the first is the mean's slot; two or three of the rest get assigned.
  const GridSpec four = {.width = 130, .height = 100, .radius = 10, .missingFraction = 0.2};
  detect(four, 5000);
  EXPECT_EQ(platform_.notes,
            std::vector<std::string>{
                "Auto-detection assigned 2 of 4 spots to the grid; a "
                "calibration needs at least 3 (threshold 128, minimum patch size 50)"});
  detect({.width = 130, .height = 100, .radius = 10, .missingFraction = 0.2, .seed = 2}, 5000);
  EXPECT_EQ(s.NumberOfPoints, 3);
  EXPECT_EQ(platform_.notes, std::vector<std::string>{});
  detect({.width = 151, .height = 141, .pitch = 19, .radius = 6}, 20);
  EXPECT_EQ(platform_.notes, std::vector<std::string>{
                                 "Auto-detection: the spot list holds 20 spots; 29 more, the last "
                                 "in the image's row order, were left out"});

  // x shifts of +200 px and y shifts of -150 px over 22 x 22 nodes.
  test::WriteFile("far.pts", "0 0 200 -150\n700 0 900 -150\n0 700 200 550\n700 700 900 550\n");
  std::filesystem::create_directory("tables");
  platform_.fileAnswers = {"far.pts", "tables/far.zmr"};
  platform_.notes.clear();
  Run(IDM_POINTS_OPEN);
  Run(IDM_ORBIK_SAVE_ZMR);
  EXPECT_EQ(
      platform_.notes,
      std::vector<std::string>{
          "far.zmr: 968 node shifts lie beyond +-128 px, which the table cannot hold: they wrap"});
}

}  // namespace
}  // namespace zmr
