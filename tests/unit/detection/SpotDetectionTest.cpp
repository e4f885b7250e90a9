#include "detection/SpotDetection.h"

#include <gtest/gtest.h>

#include <stdio.h>  // fopencookie

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::FileExists;
using test::ReadFile;

const std::string kHeader =
    "Tracing black holes with parameters:\n Threshold = 128.000000 Min Area Size 400\n";
constexpr int kWidth = 100, kHeight = 80;
const std::vector<int> kFree(kWidth* kHeight, kFreeLabel);

// A white 100 x 80 working image with the point arrays allocated.
class SpotDetectionTest : public test::StateTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(AllocateArrays(), 1);
    State().cxDib = kWidth;
    State().cyDib = kHeight;
    ASSERT_EQ(AllocateImageArrays(kWidth, kHeight), 1);
    State().Msource.assign(kWidth * kHeight, 255);
  }

  // Paints columns i0 .. i0+w-1 of rows j0 .. j0+h-1 of the source.
  static void Rect(int i0, int j0, int w, int h, int value) {
    for (int j = j0; j < j0 + h; ++j)
      for (int i = i0; i < i0 + w; ++i) State().Msource[j * kWidth + i] = value;
  }

  // AutoTrace over the working image; returns what it printed on standard output.
  static std::string Detect() {
    testing::internal::CaptureStdout();
    EXPECT_EQ(AutoTrace(kWidth, kHeight), 0);
    return testing::internal::GetCapturedStdout();
  }

  // Dijkstra from (x, y) over the source; x and y receive the centre.
  static long Grow(std::vector<int>& table, double& x, double& y, int mark) {
    return Dijkstra(kWidth, kHeight, table.data(), State().Msource.data(), &x, &y, 128, mark);
  }

  static double X(int slot) { return State().PointsBuffer[slot]; }
  static double Y(int slot) { return State().PointsBuffer[State().MAXPoints + slot]; }
  static int Label(int i, int j) { return State().Mtarget[j * kWidth + i]; }
};

// A cancel before the scan leaves the same results as an image without dark pixels.
TEST_F(SpotDetectionTest, WhiteImageOrCancelBeforeTheScanStoresNothing) {
  for (bool cancel : {false, true}) {
    if (cancel) {
      Rect(10, 20, 30, 30, 0);
      State().fTerminated = 1;
      State().TraceFlag = 0;
      State().NumberOfPoints = 17;
    }
    EXPECT_EQ(Detect(), "Searching for black areas \nWriting to file PointsFit.txt ...done\n");
    EXPECT_EQ(State().NumberOfPoints, 0);
    EXPECT_EQ(State().TraceFlag, 1);
    EXPECT_EQ(State().ImageM, kWidth);
    EXPECT_EQ(State().ImageN, kHeight);
    EXPECT_EQ(State().OUT_LOG, nullptr);
    EXPECT_EQ(ReadFile("PointsFit.txt"), "");
    EXPECT_EQ(ReadFile("Trace.log"), kHeader);
    EXPECT_EQ(State().Mtarget, kFree);
    // No spot entered the mean: slot 0 holds the image centre.
    EXPECT_EQ(X(0), 50.0);
    EXPECT_EQ(Y(0), 40.0);
  }
}

TEST_F(SpotDetectionTest, BlackSquareIsLoggedInEitherFormat) {
  const struct {
    int debug;
    long centering;
    std::string log;
  } cases[] = {
      {0, 0, kHeader + "  1 [   900] (24.50 34.50) \n"},
      {1, 0, kHeader + "1[1] = 900 24.500000 34.500000\n"},
      {0, 0x10, kHeader + "Centering at  12.25  -3.00\n  1 [   900] (24.50 34.50) \n"},
  };
  Rect(10, 20, 30, 30, 0);
  for (const auto& c : cases) {
    State().DebugSwitch = c.debug;
    State().Centering = c.centering;
    State().InpCoor[0] = 12.25;
    State().InpCoor[1] = -3.0;
    Detect();
    EXPECT_EQ(ReadFile("Trace.log"), c.log);
    EXPECT_EQ(State().NumberOfPoints, 1);
    // The only spot is slot 0, which the (empty) mean replaces by the image centre.
    EXPECT_EQ(ReadFile("PointsFit.txt"), "50.000000 40.000000\n");
    EXPECT_EQ(Label(39, 49), 0);
    EXPECT_EQ(Label(40, 49), kFreeLabel);
  }
}

TEST_F(SpotDetectionTest, StoresDarkFourConnectedRegionsLargerThanMinPatchSize) {
  const struct {
    const char* name;
    double threshold;
    long minPatchSize;
    std::vector<std::array<int, 5>> rects;  // first column, first row, width, height, grey
    long stored;
  } cases[] = {
      {"exactly MinPatchSize", 128, 400, {{30, 30, 20, 20, 40}}, 0},
      {"one pixel more", 128, 400, {{30, 30, 20, 20, 40}, {50, 49, 1, 1, 40}}, 1},
      {"corner contact", 128, 600, {{10, 10, 25, 25, 0}, {35, 35, 25, 25, 0}}, 2},
      {"right edge contact", 128, 600, {{10, 10, 25, 25, 0}, {35, 10, 25, 25, 0}}, 1},
      {"lower edge contact", 128, 600, {{10, 10, 25, 25, 0}, {34, 35, 25, 25, 0}}, 1},
      // The threshold is truncated toward zero; a pixel equal to it is not dark.
      {"grey 128 at 128", 128.0, 400, {{0, 0, 21, 20, 128}}, 0},
      {"grey 127 at 128", 128.0, 400, {{0, 0, 21, 20, 127}}, 1},
      {"grey 128 at 128.9", 128.9, 400, {{0, 0, 21, 20, 128}}, 0},
      {"grey 128 at 129.5", 129.5, 400, {{0, 0, 21, 20, 128}}, 1},
      {"grey 0 at 0.5", 0.5, 400, {{0, 0, 21, 20, 0}}, 0},
      {"grey -2 at -1", -1.0, 400, {{0, 0, 21, 20, -2}}, 1},
  };
  for (const auto& c : cases) {
    State().Threshold = c.threshold;
    State().MinPatchSize = c.minPatchSize;
    State().Msource.assign(kWidth * kHeight, 255);
    for (const auto& r : c.rects) Rect(r[0], r[1], r[2], r[3], r[4]);
    Detect();
    EXPECT_EQ(State().NumberOfPoints, c.stored) << c.name;
  }
}

TEST_F(SpotDetectionTest, SlotZeroIsTheMeanOfTheSecondAndThirdOfThreeSpots) {
  Rect(5, 2, 20, 25, 0);    // 500 pixels, centre (14.5, 14)
  Rect(30, 10, 20, 30, 0);  // 600 pixels, centre (39.5, 24.5)
  Rect(60, 40, 20, 35, 0);  // 700 pixels, centre (69.5, 57)
  Detect();
  EXPECT_EQ(State().NumberOfPoints, 3);
  EXPECT_EQ(State().iDetectedAreas, 3);
  // Slot 0: (600 * 39.5 + 700 * 69.5) / 1300 and (600 * 24.5 + 700 * 57) / 1300.
  EXPECT_EQ(ReadFile("PointsFit.txt"),
            "55.653846 42.000000\n39.500000 24.500000\n69.500000 57.000000\n");
  EXPECT_EQ(ReadFile("Trace.log"), kHeader +
                                       "  1 [   500] (14.50 14.00) \n  2 [   600] (39.50 24.50) \n"
                                       "  3 [   700] (69.50 57.00) \n");
}

TEST_F(SpotDetectionTest, DijkstraWeighsEachPixelByItsValuePlusOne) {
  std::vector<int> table = kFree;
  Rect(5, 7, 1, 1, 0);  // weight 1
  Rect(6, 7, 1, 1, 2);  // weight 3
  Rect(6, 8, 1, 1, 5);  // weight 6
  double x = 5.0, y = 7.0;
  EXPECT_EQ(Grow(table, x, y, 9), 3);
  EXPECT_EQ(x, (5.0 + 18.0 + 36.0) / 10.0);
  EXPECT_EQ(y, (7.0 + 21.0 + 48.0) / 10.0);
  EXPECT_EQ(table[8 * kWidth + 6], 9);
  // Weights that cancel to 0 leave the centre at the start.
  Rect(20, 20, 2, 1, -1);
  x = 21.0;
  y = 20.0;
  EXPECT_EQ(Grow(table, x, y, 3), 2);
  EXPECT_EQ(x, 21.0);
  EXPECT_EQ(y, 20.0);
}

TEST_F(SpotDetectionTest, DijkstraRefusesStartsThatCannotGrow) {
  Rect(5, 5, 3, 3, 0);
  std::vector<int> labelled = kFree;
  labelled[6 * kWidth + 6] = 254;  // a pixel already labelled is not taken again
  const std::array<double, 3> cases[] = {{4.0, 5.0, 1},    {-0.5, 5.0, 1},  {100.0, 5.0, 1},
                                         {5.0, 80.0, 1},   {5.0, 5.0, 255}, {1e300, 5.0, 1},
                                         {5.0, -1e300, 1}, {6.0, 6.0, 1}};  // x, y, mark
  for (const auto& [x0, y0, mark] : cases) {
    std::vector<int> table = labelled;
    double x = x0, y = y0;
    EXPECT_EQ(Grow(table, x, y, static_cast<int>(mark)), 0) << x0 << "," << y0;
    EXPECT_EQ(x, x0);
    EXPECT_EQ(y, y0);
    EXPECT_EQ(table, labelled);
  }
}

TEST_F(SpotDetectionTest, NeighbourTestCountsEdgeNeighboursInsideTheImageOnly) {
  std::vector<int> table = kFree;
  table[10 * kWidth + 10] = 4;
  table[1 * kWidth + 0] = 4;  // (0, 1): reached by wrapping past the end of row 0
  const std::array<long, 3> cases[] = {{9, 10, 1},  {11, 10, 1},        {10, 9, 1},  {10, 11, 1},
                                       {9, 9, 0},   {11, 11, 0},        {10, 10, 0}, {-1, 10, 0},
                                       {10, 80, 0}, {kWidth - 1, 0, 0}, {0, 0, 1}};
  for (const auto& [i, j, expected] : cases)
    EXPECT_EQ(TestNeighbours(kWidth, kHeight, table.data(), i, j, 4), expected) << i << "," << j;
}

// 300 squares of 2 x 2 in raster order, each at its own position, with MinPatchSize 3.
class ManySpotsTest : public SpotDetectionTest {
 protected:
  static constexpr int kSpots = 300;
  void SetUp() override {
    SpotDetectionTest::SetUp();
    State().MinPatchSize = 3;
    for (int n = 0; n < kSpots; ++n) Rect(1 + 4 * (n % 24), 1 + 6 * (n / 24), 2, 2, n % 100);
  }
  // Centre of spot n (from 1), from the weights 1 + grey of its equal pixels: the square's middle.
  static double SpotX(int n) { return 1.5 + 4 * ((n - 1) % 24); }
  static double SpotY(int n) { return 1.5 + 6 * ((n - 1) / 24); }
  static int SpotLabel(int n) {
    return Label(static_cast<int>(SpotX(n)), static_cast<int>(SpotY(n)));
  }
};

TEST_F(ManySpotsTest, LabelsCycleAfter255SpotsAndMeanSkipsCounterZeroAndOne) {
  State().DebugSwitch = 1;
  Detect();
  ASSERT_EQ(State().NumberOfPoints, kSpots);
  double sumX = 0, sumY = 0, count = 0;
  for (int n = 1; n <= kSpots; ++n) {
    EXPECT_EQ(SpotLabel(n), (n - 1) % 255) << "spot " << n;
    if (n >= 2) {
      EXPECT_EQ(X(n - 1), SpotX(n));
    }
    if (n % 255 != 0 && n % 255 != 1) {
      sumX += SpotX(n);
      sumY += SpotY(n);
      ++count;
    }
  }
  EXPECT_DOUBLE_EQ(X(0), sumX / count);
  EXPECT_DOUBLE_EQ(Y(0), sumY / count);
  const std::string log = ReadFile("Trace.log");
  for (const char* line : {"\n254[254] = 4 ", "\n255[0] = 4 ", "\n256[1] = 4 ", "\n300[45] = 4 "})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST_F(ManySpotsTest, SpotsBeyondCapacityAreNotStoredButEnterTheMean) {
  State().MAXPoints = 10;
  ASSERT_EQ(AllocateArrays(), 1);
  Detect();
  EXPECT_EQ(State().NumberOfPoints, 10);
  EXPECT_EQ(State().iDetectedAreas, 10);
  EXPECT_EQ(X(9), SpotX(10));
  // The label stays at 10 for every spot after the tenth.
  EXPECT_EQ(SpotLabel(11), 10);
  EXPECT_EQ(SpotLabel(300), 10);
  double sumX = 0;
  for (int n = 2; n <= kSpots; ++n) sumX += SpotX(n);
  EXPECT_DOUBLE_EQ(X(0), sumX / (kSpots - 1));
  const std::string log = ReadFile("Trace.log");
  EXPECT_NE(log.find(" 10 [     4] (37.50  1.50) \n"), std::string::npos);
  EXPECT_EQ(log.find(" 11 ["), std::string::npos);
}

// A log stream that raises the cancel flag once a given number of lines went through it.
struct CancellingLog {
  int linesLeft;
  std::string text;
};

ssize_t CancellingWrite(void* cookie, const char* buf, size_t size) {
  auto* log = static_cast<CancellingLog*>(cookie);
  for (size_t k = 0; k < size; ++k) {
    log->text.push_back(buf[k]);
    if (buf[k] == '\n' && --log->linesLeft == 0) State().fTerminated = 1;
  }
  return static_cast<ssize_t>(size);
}

TEST_F(SpotDetectionTest, CancelDuringTheScanStopsBeforeTheNextPixel) {
  Rect(5, 2, 20, 25, 0);
  Rect(30, 10, 20, 30, 0);
  Rect(60, 40, 20, 35, 0);
  CancellingLog sink{2, ""};
  std::FILE* log = fopencookie(&sink, "w", {nullptr, CancellingWrite, nullptr, nullptr});
  ASSERT_NE(log, nullptr);
  setvbuf(log, nullptr, _IONBF, 0);
  State().OUT_LOG = log;
  std::vector<int> table = kFree;
  double* px = State().PointsBuffer.data();
  double* py = px + State().MAXPoints;
  testing::internal::CaptureStdout();
  const int count =
      FindCenters(kWidth, kHeight, table.data(), State().Msource.data(), 128, 400, px, py);
  testing::internal::GetCapturedStdout();
  State().OUT_LOG = nullptr;
  std::fclose(log);

  EXPECT_EQ(count, 2);
  EXPECT_EQ(sink.text, "  1 [   500] (14.50 14.00) \n  2 [   600] (39.50 24.50) \n");
  // The second spot alone entered the mean; the third was never reached.
  EXPECT_EQ(px[0], 39.5);
  EXPECT_EQ(py[0], 24.5);
  EXPECT_EQ(table[40 * kWidth + 60], kFreeLabel);
  EXPECT_EQ(table[10 * kWidth + 30], 1);
  // Progress was last set for the first pixel of the second spot.
  EXPECT_EQ(State().iProgressStatus, (100 * (10 * kWidth + 30)) / (kWidth * kHeight));
}

TEST_F(SpotDetectionTest, DetectsWithoutLogWhenTraceLogCannotBeCreated) {
  std::filesystem::create_directory("Trace.log");
  Rect(10, 20, 30, 30, 0);
  Detect();
  EXPECT_EQ(State().NumberOfPoints, 1);
  EXPECT_EQ(State().OUT_LOG, nullptr);
  EXPECT_EQ(ReadFile("PointsFit.txt"), "50.000000 40.000000\n");
}

TEST_F(SpotDetectionTest, RefusesImagesThatDoNotMatchTheArrays) {
  State().NumberOfPoints = 17;
  EXPECT_EQ(AutoTrace(kWidth + 1, kHeight), -1);
  EXPECT_EQ(AutoTrace(0, kHeight), -1);
  State().Msource.clear();
  EXPECT_EQ(AutoTrace(kWidth, kHeight), -1);
  EXPECT_EQ(State().NumberOfPoints, 17);
  EXPECT_EQ(State().TraceFlag, 0);
  EXPECT_FALSE(FileExists("Trace.log"));
  EXPECT_FALSE(FileExists("PointsFit.txt"));
}

}  // namespace
}  // namespace zmr
