// The menu commands over a fake platform: preconditions and their messages.
#include "export/GridShifts.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Commands.h"
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
    int side = 769;  // of the default format
  } cases[] = {{IDM_SAVE_ASCII, kErrorNoSourceData},
               {IDM_SAVE_TARGET_ASCII, kErrorNoTargetData},
               {IDM_SAVE_BITMAP, kErrorCreatingImage},
               {IDM_ORBIK_SAVE_ASCII, kErrorTooFewPoints, in, 2},
               {IDM_ORBIK_SAVE_ASCII, kErrorGridStep, in, 3, 0, false, 5, 0},
               {IDM_ORBIK_SAVE_ZMR, kErrorTooFewPoints, in, 2},
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

}  // namespace
}  // namespace zmr
