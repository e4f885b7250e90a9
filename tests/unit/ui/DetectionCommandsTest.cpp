// The preprocessing and detection commands over a fake platform: box filter, thresholding,
// auto-detection on generated grids, and opening calibration points with their triangulation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "gridgen/GridGen.h"
#include "state/ProgramState.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Commands.h"
#include "ui/Dialogs.h"
#include "ui/Display.h"
#include "ui/Startup.h"
#include "ui/resource.h"

namespace zmr {
namespace {

using test::FakePlatform;
using test::WriteFile;

class DetectionCommandsTest : public test::StateTest {
 protected:
  void Start() { StartProgram(platform_); }
  ~DetectionCommandsTest() override { EndProgram(); }

  void Run(int id) { ASSERT_TRUE(RunCommand(id, platform_)) << id; }

  // Loads an image of the given pixels as the source image, as a bitmap.
  void LoadImage(int w, int h, const std::vector<int>& pixels) {
    ProgramState& s = State();
    ASSERT_EQ(AllocateImageArrays(w, h), 1);
    s.cxDib = w;
    s.cyDib = h;
    s.Msource = pixels;
  }

  // A generated grid loaded as the source image; returns the drawn spots.
  std::vector<GridSpot> LoadGrid(const GridSpec& gridSpec) {
    const GridImage grid = GenerateGrid(gridSpec);
    LoadImage(grid.width, grid.height, grid.pixels);
    std::vector<GridSpot> drawn;
    for (const GridSpot& spot : grid.spots) {
      if (spot.present) drawn.push_back(spot);
    }
    return drawn;
  }

  FakePlatform platform_;
};

TEST_F(DetectionCommandsTest, BoxFilterWritesAndShowsTheTarget) {
  Start();
  // A single bright pixel in a 3 x 3 image with FilterSize 1: every window holds it.
  LoadImage(3, 3, {0, 0, 0, 0, 90, 0, 0, 0, 0});
  State().FilterSize = 1;
  Run(IDM_BOX_FILTER);
  const ProgramState& s = State();
  EXPECT_EQ(s.Mtarget, (std::vector<int>{22, 15, 22, 15, 10, 15, 22, 15, 22}));
  EXPECT_EQ(s.Msource[4], 90);
  EXPECT_EQ(s.cCurrentBitmap, 1);
  EXPECT_EQ(s.fBitmap[1], 1);
  EXPECT_EQ(s.hBitmap[1].pixels[0], GreyArgb(22));

  State().FilterSize = -1;
  Run(IDM_BOX_FILTER);
  EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{kErrorNegativeFilter});
}

TEST_F(DetectionCommandsTest, ThresholdingBinarisesAndMovesWithTheScrollBar) {
  Start();
  Run(IDM_THRESHOLD);  // before any image: a black target of the working size
  const ProgramState& s = State();
  EXPECT_EQ(s.cCurrentBitmap, 1);
  ASSERT_EQ(s.fBitmap[1], 1);
  EXPECT_EQ(s.hBitmap[1].width, 769);
  EXPECT_EQ(s.hBitmap[1].pixels[769 * 769 - 1], GreyArgb(0));
  EXPECT_EQ(s.hDlgModeless, nullptr);

  LoadImage(2, 1, {128, 129});
  Run(IDM_THRESHOLD);
  EXPECT_EQ(s.Mtarget, (std::vector<int>{0, 255}));

  struct Case {
    int start;
    ScrollRequest request;
    int position;
    int expected;
  };
  const Case cases[] = {
      {250, ScrollRequest::PageRight, 0, 255}, {10, ScrollRequest::PageLeft, 0, 0},
      {0, ScrollRequest::LineLeft, 0, 0},      {255, ScrollRequest::LineRight, 0, 255},
      {7, ScrollRequest::LineRight, 0, 8},     {7, ScrollRequest::ThumbTrack, 200, 200},
      {7, ScrollRequest::ThumbPosition, 3, 3}, {7, ScrollRequest::RightEnd, 0, 255},
      {7, ScrollRequest::LeftEnd, 0, 0},       {7, ScrollRequest::EndScroll, 99, 7},
  };
  for (const Case& c : cases) {
    State().iThreshold = c.start;
    platform_.thresholdScrolls = {{c.request, c.position}};
    Run(IDM_THRESHOLD);
    EXPECT_EQ(s.iThreshold, c.expected) << c.start << " " << static_cast<int>(c.request);
  }
  State().iThreshold = 128;
  platform_.thresholdScrolls = {{ScrollRequest::ThumbPosition, 128}};
  Run(IDM_THRESHOLD);
  EXPECT_EQ(s.Mtarget, (std::vector<int>{0, 255}));
  EXPECT_EQ(s.Msource, (std::vector<int>{128, 129}));
}

TEST_F(DetectionCommandsTest, AutoDetectionFindsEveryGridSpotAndTriangulatesThem) {
  Start();
  GridSpec gridSpec;
  gridSpec.width = 301;
  gridSpec.height = 261;
  gridSpec.pitch = 38;
  gridSpec.radius = 13;
  const std::vector<GridSpot> drawn = LoadGrid(gridSpec);
  ASSERT_GT(drawn.size(), 30u);
  Run(IDM_AUTODETECT);
  ASSERT_TRUE(platform_.messages.empty());
  EXPECT_EQ(platform_.workers, std::vector<ProgressDialog>{ProgressDialog::AutoDetection});
  const ProgramState& s = State();
  // The first spot in raster order gives its slot to the weighted mean of the others.
  ASSERT_EQ(s.NumberOfPoints, static_cast<long>(drawn.size()) - 1);
  EXPECT_EQ(s.fTerminated.load(), 1);
  // Every measured centre is near one drawn spot (the weights pull it by up to about a pixel).
  for (long k = 0; k < s.NumberOfPoints; ++k) {
    const double x = s.PointsInput[4 * k];
    const double y = s.PointsInput[4 * k + 1];
    double best = 1e9;
    for (const GridSpot& spot : drawn) {
      best = std::min(best, std::hypot(spot.measuredX - x, spot.measuredY - y));
    }
    EXPECT_LT(best, 1.1) << k;
  }
  // A grid of r x c spots has 2 (r - 1)(c - 1) triangles when every cell is split once.
  EXPECT_GE(s.NumberOfTriangles, static_cast<long>(drawn.size()));
  // The label picture: unlabelled white, region labels hatched or black.
  for (int v : s.Mtarget) ASSERT_TRUE(v == 0 || v == 128 || v == 255) << v;
  EXPECT_EQ(s.cCurrentBitmap, 1);
  EXPECT_EQ(s.fBitmap[1], 1);
  EXPECT_TRUE(test::FileExists("PointsFit.txt"));
  EXPECT_TRUE(test::FileExists("Trace.log"));
}

TEST_F(DetectionCommandsTest, CancelledDetectionEndsCleanlyWithoutTriangles) {
  Start();
  GridSpec gridSpec;
  gridSpec.width = 201;
  gridSpec.height = 201;
  LoadGrid(gridSpec);
  platform_.cancelAtStart = true;
  Run(IDM_AUTODETECT);
  EXPECT_EQ(State().NumberOfTriangles, 0);
  EXPECT_EQ(State().cCurrentBitmap, 1);
}

TEST_F(DetectionCommandsTest, OpenPointsTriangulatesThem) {
  Start();
  WriteFile("square.txt", "0 0 1 1\n10 0 11 1\n0 10 1 11\n10 10 11 11\n");
  platform_.fileAnswers = {"square.txt"};
  Run(IDM_POINTS_OPEN);
  ASSERT_TRUE(platform_.messages.empty());
  const ProgramState& s = State();
  EXPECT_EQ(platform_.workers, std::vector<ProgressDialog>{ProgressDialog::AutoTriangulation});
  EXPECT_EQ(s.NumberOfPoints, 4);
  EXPECT_EQ(s.NumberOfTriangles, 2);
  EXPECT_EQ(std::vector<int>(s.Tpoints.begin(), s.Tpoints.begin() + 6),
            (std::vector<int>{0, 1, 2, 3, 2, 1}));
  EXPECT_EQ(s.iAssignedPoints.load(), 4);
}

TEST_F(DetectionCommandsTest, RefusedPointsFilesKeepTheCurrentPoints) {
  State().MAXPoints = 6;  // room for 5 triangulated points
  Start();
  WriteFile("three.txt", "0 0 0 0 5 0 5 0 0 5 0 5\n");
  platform_.fileAnswers = {"three.txt"};
  Run(IDM_POINTS_OPEN);
  ASSERT_EQ(State().NumberOfTriangles, 1);

  std::string six;
  for (int i = 0; i < 6; ++i) six += std::to_string(i) + " " + std::to_string(i * i) + " 0 0\n";
  WriteFile("six.txt", six);
  for (const char* name : {"six.txt", "missing.txt"}) {
    platform_.messages.clear();
    platform_.fileAnswers = {name};
    Run(IDM_POINTS_OPEN);
    ASSERT_EQ(platform_.messages.size(), 1u) << name;
    EXPECT_EQ(State().NumberOfPoints, 3) << name;
    EXPECT_EQ(State().NumberOfTriangles, 1) << name;
  }
  EXPECT_EQ(platform_.messages[0].text, kErrorReadingPoints);
  platform_.messages.clear();
  platform_.fileAnswers = {"six.txt"};
  Run(IDM_POINTS_OPEN);
  EXPECT_EQ(platform_.MessageTexts(),
            std::vector<std::string>{"Error - too many calibration points (at most 5)"});

  // A malformed file keeps the records before the first bad one.
  WriteFile("bad.txt", "0 0 0 0\n4 0 4 0\n0 4 0 4\n1 2 x 4\n7 7 7 7\n");
  platform_.fileAnswers = {"bad.txt"};
  Run(IDM_POINTS_OPEN);
  EXPECT_EQ(State().NumberOfPoints, 3);
  EXPECT_EQ(State().PointsInput[8], 0.0);
}

}  // namespace
}  // namespace zmr
