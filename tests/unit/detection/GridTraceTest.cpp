#include "detection/GridTrace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "state/CNumericLocale.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::ReadFile;
using test::WriteFile;

struct Spot {
  double x;
  double y;
};
using Spots = std::vector<Spot>;

// Spots in the order the detection stores them: top row first, left to right.
void RasterSort(Spots& spots) {
  std::stable_sort(spots.begin(), spots.end(),
                   [](const Spot& a, const Spot& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
}

Spots Lattice(int cols, int rows, double x0, double y0, double pitch) {
  Spots spots;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) spots.push_back({x0 + c * pitch, y0 + r * pitch});
  }
  return spots;
}

double* ListX() { return State().PointsBuffer.data() + 1; }
double* ListY() { return State().PointsBuffer.data() + State().MAXPoints + 1; }

// Puts spots into slots 1 onwards as the detection leaves them; slot 0 gets a dummy mean.
void StoreSpots(const Spots& spots, long imageM, long imageN) {
  ProgramState& s = State();
  s.ImageM = imageM;
  s.ImageN = imageN;
  s.PointsBuffer[0] = s.PointsBuffer[s.MAXPoints] = -1.0;
  for (std::size_t k = 0; k < spots.size(); ++k) {
    ListX()[k] = spots[k].x;
    ListY()[k] = spots[k].y;
  }
  s.NumberOfPoints = static_cast<long>(spots.size()) + 1;
}

Spots RemainingSpots() {
  Spots left;
  for (long k = 0; k < State().NumberOfPoints; ++k) left.push_back({ListX()[k], ListY()[k]});
  return left;
}

bool SameSpots(const Spots& a, const Spots& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const Spot& p, const Spot& q) { return p.x == q.x && p.y == q.y; });
}

// The "(testing X=.. Y=..)" predictions of a debug log, in order.
std::vector<std::string> Predictions(const std::string& log) {
  std::vector<std::string> found;
  for (std::size_t at = log.find("(testing "); at != std::string::npos;
       at = log.find("(testing ", at + 1)) {
    found.push_back(log.substr(at, log.find(')', at) + 1 - at));
  }
  return found;
}

class GridTraceTest : public test::StateTest {
 protected:
  void SetUp() override { ASSERT_EQ(AllocateArrays(), 1); }
};

// ---------------------------------------------------------------------------------------------
// Nearest spot search.

struct ClosestCase {
  const char* name;
  double x, y;
  int npoints;
  double radius;
  int firstFlag;  // Dvect[0]
  int index;
  double distance;  // *Dmin afterwards
};

class FindClosestPointTest : public ::testing::TestWithParam<ClosestCase> {};

TEST_P(FindClosestPointTest, KeepsStrictRadiusLowestIndexAndUnassignedSpots) {
  const ClosestCase& c = GetParam();
  const double xs[] = {0, 3, -3, 0, 10};
  const double ys[] = {0, 4, 4, 5, 0};
  const int flags[] = {c.firstFlag, 0, 0, 0, 0};
  double dmin = c.radius;
  EXPECT_EQ(FindClosestPoint(c.x, c.y, xs, ys, flags, c.npoints, &dmin), c.index);
  EXPECT_EQ(dmin, c.distance);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FindClosestPointTest,
    ::testing::Values(
        ClosestCase{"DistanceEqualToRadiusIsOutside", 0, 0, 5, 5.0, 1, -1, 5.0},
        ClosestCase{"EqualDistancesKeepLowestIndex", 0, 0, 5, 5.0001, 1, 1, 5.0},
        ClosestCase{"AssignedSpotIsSkipped", 0.5, 0, 5, 100, 1, 1, std::sqrt(16 + 2.5 * 2.5)},
        ClosestCase{"UnassignedSpotZeroIsFound", 0.5, 0, 5, 100, 0, 0, 0.5},
        ClosestCase{"OnlyFirstNpointsAreSearched", 10, 0, 4, 100, 1, 1, std::sqrt(49 + 16)},
        ClosestCase{"NoSpots", 0, 0, 0, 100, 0, -1, 100}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Whole runs and their log.

TEST_F(GridTraceTest, PerfectLatticeIsAssignedWholeWithIdealEqualToMeasured) {
  const Spots spots = Lattice(15, 15, 20, 20, 32);  // centre spot (244, 244) is number 112
  StoreSpots(spots, 488, 488);
  GetGridShifts();
  const ProgramState& s = State();
  ASSERT_EQ(s.NumberOfPoints, 225);
  EXPECT_EQ(s.OccupiedPoints, 225);
  EXPECT_EQ(s.iAssignedPoints.load(), 225);
  EXPECT_TRUE(SameSpots(RemainingSpots(), spots));
  for (int k = 0; k < 225; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(s.SX[k], spots[k].x);
    EXPECT_EQ(s.SY[k], spots[k].y);
    // The second spot is the one above the start: j counts upward, i to the left.
    EXPECT_EQ(s.Pi[k], -static_cast<int>(spots[k].x - 244) / 32);
    EXPECT_EQ(s.Pj[k], -static_cast<int>(spots[k].y - 244) / 32);
  }
  const std::string log = ReadFile(kTraceLogName);
  EXPECT_NE(log.find("Starting to trace ideal grid with points 112 97 (Edge = 32.000000)\n"),
            std::string::npos);
  EXPECT_NE(log.find("\n225 points assigned from total 225 \n Deleting"), std::string::npos);
  EXPECT_TRUE(log.ends_with("\n225 points left \n")) << log;
}

TEST_F(GridTraceTest, NonDebugLogListsAcceptedSpotsThenTotalsAndReportAppended) {
  WriteFile(kTraceLogName, "earlier lines\n");
  StoreSpots(Lattice(3, 3, 68, 68, 32), 200, 200);
  GetGridShifts();
  EXPECT_EQ(ReadFile(kTraceLogName),
            "earlier lines\n"
            " Generating shifts with ideal grid origin placed at (100.000000,100.000000)\n"
            "Starting to trace ideal grid with points 4 1 (Edge = 32.000000)\n"
            "2 5 8 7 6 3 0 ----------------------------------------\n"
            "9 points assigned from total 9 \n"
            " Deleting points not assigned to ideal grid \n"
            " +0  |\n"
            " +1  | +2  | +3  | +4  | +5  | +6  | +7  | +8  |\n"
            "9 points left \n");
  EXPECT_EQ(State().OUT_LOG, nullptr);
}

TEST_F(GridTraceTest, DebugLogShowsEveryNeighbourAndPrediction) {
  State().DebugSwitch = 1;
  StoreSpots({{100, 68}, {100, 100}, {190, 190}}, 200, 200);
  testing::internal::CaptureStdout();
  GetGridShifts();
  const std::string console = testing::internal::GetCapturedStdout();
  const std::string miss = " D=32.000000 (E=32.000000) not close enough to any other point ! \n";
  EXPECT_EQ(ReadFile(kTraceLogName),
            " Generating shifts with ideal grid origin placed at (100.000000,100.000000)\n"
            "Starting to trace ideal grid with points 1 0 (Edge = 32.000000)\n"
            "-> 0\n"
            " | 0 [49 51](testing X=132.000000 Y=68.000000)" +
                miss + " | 1 [50 50] | 2 [51 51](testing X=68.000000 Y=68.000000)" + miss +
                " | 3 [50 52](testing X=100.000000 Y=36.000000)" + miss +
                "-> 1\n"
                " | 0 [49 50](testing X=132.000000 Y=100.000000)" +
                miss + " | 1 [50 49](testing X=100.000000 Y=132.000000)" + miss +
                " | 2 [51 50](testing X=68.000000 Y=100.000000)" + miss +
                " | 3 [50 51]----------------------------------------\n"
                "2 points assigned from total 3 \n"
                " Deleting points not assigned to ideal grid \n"
                " +0  |\n"
                " +1  | -2  |\n"
                "2 points left \n");
  // The node map shows spot 1 at the start node; spot 0 and free nodes both print as 0.
  std::string map;
  for (int i = 40; i < 60; ++i) {
    for (int j = 40; j < 60; ++j) map += (i == 50 && j == 50) ? "  1" : "  0";
    map += "\n";
  }
  EXPECT_EQ(console, map + "0 -> [0 1]\n1 -> [0 0]\n2 -> [0 0]\n");
}

TEST_F(GridTraceTest, WalkFromAcceptedNodeRunsBeforeNextPrediction) {
  State().DebugSwitch = 1;
  // Start (100, 100), second (100, 68); the far spot keeps the walk from ending early.
  Spots spots = {{100, 100}, {100, 68}, {132, 68}, {68, 68}, {100, 36}, {190, 190}};
  RasterSort(spots);
  StoreSpots(spots, 200, 200);
  testing::internal::CaptureStdout();
  GetGridShifts();
  testing::internal::GetCapturedStdout();
  const std::string log = ReadFile(kTraceLogName);
  const std::vector<std::string> expected = {
      // first call, from the second spot: node (49, 51), whose own walk runs at once
      "(testing X=132.000000 Y=68.000000)", "(testing X=164.000000 Y=68.000000)",
      "(testing X=132.000000 Y=100.000000)", "(testing X=132.000000 Y=36.000000)",
      // node (51, 51) and its walk, then node (50, 52) and its walk
      "(testing X=68.000000 Y=68.000000)", "(testing X=68.000000 Y=100.000000)",
      "(testing X=36.000000 Y=68.000000)", "(testing X=68.000000 Y=36.000000)",
      "(testing X=100.000000 Y=36.000000)", "(testing X=132.000000 Y=36.000000)",
      "(testing X=68.000000 Y=36.000000)", "(testing X=100.000000 Y=4.000000)",
      // second call, from the start spot
      "(testing X=132.000000 Y=100.000000)", "(testing X=100.000000 Y=132.000000)",
      "(testing X=68.000000 Y=100.000000)"};
  EXPECT_EQ(Predictions(log), expected);
  EXPECT_NE(log.find("-> 2\n | 0 [49 51](testing X=132.000000 Y=68.000000)Point 3 located\n"
                     "-> 3\n | 0 [48 51]"),
            std::string::npos)
      << log;
  // Node (49, 51) holds spot 3 (132, 68), whose ideal position is its predicted one.
  ASSERT_EQ(State().NumberOfPoints, 5);
  EXPECT_EQ(ListX()[3], 132);
  EXPECT_EQ(State().SX[3], 132);
  EXPECT_EQ(State().SY[3], 68);
}

struct ToleranceCase {
  double pitch;
  double ethresh;
  double displacement;
  bool accepted;
};

class ToleranceTest : public GridTraceTest, public ::testing::WithParamInterface<ToleranceCase> {};

TEST_P(ToleranceTest, DisplacementMustStayStrictlyBelowPitchTimesEthresh) {
  const ToleranceCase& c = GetParam();
  ASSERT_EQ(c.pitch * c.ethresh, 8.0);
  State().Ethresh = c.ethresh;
  Spots spots = Lattice(3, 3, 100 - c.pitch, 100 - c.pitch, c.pitch);
  spots[8].x += c.displacement;  // the corner away from the start
  StoreSpots(spots, 200, 200);
  GetGridShifts();
  const ProgramState& s = State();
  if (c.accepted) {
    ASSERT_EQ(s.NumberOfPoints, 9);
    EXPECT_EQ(s.SX[8], 100 + c.pitch);
    EXPECT_EQ(s.SY[8], 100 + c.pitch);
  } else {
    EXPECT_EQ(s.NumberOfPoints, 8);
    EXPECT_NE(ReadFile(kTraceLogName).find(" -8  |\n8 points left \n"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ToleranceTest,
                         ::testing::Values(ToleranceCase{32, 0.25, 8.0, false},
                                           ToleranceCase{32, 0.25, 7.999, true},
                                           ToleranceCase{40, 0.2, 8.0, false},
                                           ToleranceCase{40, 0.2, 7.999, true}));

TEST_F(GridTraceTest, UnassignedMiddleSpotIsReportedAndRemoved) {
  StoreSpots({{100, 68}, {37, 150}, {100, 100}}, 200, 200);
  GetGridShifts();
  EXPECT_EQ(ReadFile(kTraceLogName),
            " Generating shifts with ideal grid origin placed at (100.000000,100.000000)\n"
            "Starting to trace ideal grid with points 2 0 (Edge = 32.000000)\n"
            "----------------------------------------\n"
            "2 points assigned from total 3 \n"
            " Deleting points not assigned to ideal grid \n"
            " +0  |\n"
            " -1  | +2  |\n"
            "2 points left \n");
  EXPECT_TRUE(SameSpots(RemainingSpots(), {{100, 68}, {100, 100}}));
}

TEST_F(GridTraceTest, SpuriousSpotBetweenNodesIsDroppedAndOrderKept) {
  const Spots lattice = Lattice(5, 5, 36, 36, 32);
  Spots spots = lattice;
  spots.push_back({148, 52});  // the middle of a cell, farther from the start than the pitch
  RasterSort(spots);
  ASSERT_EQ(spots[5].x, 148);
  StoreSpots(spots, 200, 200);
  GetGridShifts();
  EXPECT_NE(ReadFile(kTraceLogName).find(" +4  | -5  | +6  |"), std::string::npos);
  ASSERT_TRUE(SameSpots(RemainingSpots(), lattice));
  EXPECT_EQ(CInitPointArrays(), 1);
  const ProgramState& s = State();
  for (int k = 0; k < 25; ++k) {
    const double* row = s.PointsInput.data() + 4 * k;
    EXPECT_EQ(std::vector<double>(row, row + 4),
              (std::vector<double>{lattice[k].x, lattice[k].y, lattice[k].x, lattice[k].y}))
        << "row " << k;
  }
}

struct CenteringCase {
  long centering;
  bool startAtInpCoor;
  bool centreAtInpCoor;
};

class CenteringTest : public GridTraceTest, public ::testing::WithParamInterface<CenteringCase> {};

TEST_P(CenteringTest, HighNibbleChoosesStartLowNibbleChoosesCentre) {
  const CenteringCase& c = GetParam();
  ProgramState& s = State();
  s.Centering = c.centering;
  s.InpCoor[0] = 150;
  s.InpCoor[1] = 18;
  StoreSpots(Lattice(5, 5, 20, 20, 32), 200, 200);
  GetGridShifts();
  const std::string log = ReadFile(kTraceLogName);
  // Nearest the image centre is spot 12 (84, 84), nearest InpCoor spot 4 (148, 20).
  const std::string expected =
      c.startAtInpCoor
          ? " Generating shifts with ideal grid origin placed at (150.000000,18.000000)\n"
            "Starting to trace ideal grid with points 4 3 "
          : " Generating shifts with ideal grid origin placed at (100.000000,100.000000)\n"
            "Starting to trace ideal grid with points 12 7 ";
  EXPECT_TRUE(log.starts_with(expected)) << log;
  EXPECT_EQ(s.NumberOfPoints, 25);
  EXPECT_EQ(s.Pc[0], c.centreAtInpCoor ? 150 : 100);
  EXPECT_EQ(s.Pc[1], c.centreAtInpCoor ? 18 : 100);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CenteringTest,
    ::testing::Values(CenteringCase{0x00, false, false}, CenteringCase{0x10, false, false},
                      CenteringCase{0x20, true, false}, CenteringCase{0x21, true, true},
                      CenteringCase{0x11, false, true}, CenteringCase{0x02, false, false},
                      CenteringCase{0x30, false, false}));

// ---------------------------------------------------------------------------------------------
// Walks that cannot start, and unusual state.

struct StartCase {
  const char* name;
  Spots spots;
  long countBefore;  // NumberOfPoints as the detection left it
  long image;        // ImageM = ImageN
  std::string tail;  // the log after the header line
  int assigned;
};

class StartConditionTest : public GridTraceTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartConditionTest, WalkThatCannotStartAssignsNothing) {
  const StartCase& c = GetParam();
  StoreSpots(c.spots, c.image, c.image);
  State().NumberOfPoints = c.countBefore;
  GetGridShifts();
  const ProgramState& s = State();
  char header[100];
  const CNumericLocale cLocale;
  std::snprintf(header, sizeof header,
                " Generating shifts with ideal grid origin placed at (%f,%f)\n", c.image / 2.0,
                c.image / 2.0);
  EXPECT_EQ(ReadFile(kTraceLogName), header + c.tail);
  EXPECT_EQ(s.OccupiedPoints, c.assigned);
  EXPECT_EQ(s.iAssignedPoints.load(), c.assigned);
  EXPECT_EQ(s.NumberOfPoints, c.assigned);
}

const std::string kSkipped = "----------------------------------------\n";

// The log of a walk that never starts: nothing assigned and every spot listed as deleted.
std::string Unstarted(int total) {
  std::string tail = kSkipped + "0 points assigned from total " + std::to_string(total) +
                     " \n Deleting points not assigned to ideal grid \n";
  for (int k = 0; k < total; ++k) tail += " -" + std::to_string(k) + (k == 0 ? "  |\n" : "  |");
  return tail + "\n0 points left \n";
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartConditionTest,
    ::testing::Values(
        StartCase{"NoSpotsAtAll", {}, 0, 100, Unstarted(0), 0},
        StartCase{"OnlySlotZero", {}, 1, 100, Unstarted(0), 0},
        StartCase{"OneSpot", {{50, 50}}, 2, 100, Unstarted(1), 0},
        StartCase{"NoSpotWithin1000PixelsOfStartPoint",
                  {{2900, 2900}, {2930, 2900}},
                  3,
                  3000,
                  Unstarted(2),
                  0},
        StartCase{"NoSecondSpotWithinImageWidth", {{50, 50}, {250, 50}}, 3, 100, Unstarted(2), 0},
        StartCase{"CoincidentSpotsGiveZeroPitch",
                  {{50, 50}, {50, 50}, {80, 50}},
                  4,
                  100,
                  "Starting to trace ideal grid with points 0 1 (Edge = 0.000000)\n" + kSkipped +
                      "2 points assigned from total 3 \n"
                      " Deleting points not assigned to ideal grid \n +0  |\n +1  | -2  |\n"
                      "2 points left \n",
                  2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GridTraceTest, NodesBeyondTheNodeMatrixAreNotTraced) {
  // 130 spots on a line through the centre; the start node is 50, so only 100 fit.
  Spots spots;
  for (int k = 0; k < 130; ++k) spots.push_back({400.0 + 6 * (k - 65), 50});
  StoreSpots(spots, 800, 100);
  GetGridShifts();
  // j grows to the left (the left neighbour has the lower index): 49 nodes, 50 to the right.
  const Spots kept(spots.begin() + 65 - 49, spots.begin() + 65 + 51);
  EXPECT_TRUE(SameSpots(RemainingSpots(), kept));
  EXPECT_NE(ReadFile(kTraceLogName).find("\n100 points assigned from total 130 \n"),
            std::string::npos);
}

TEST_F(GridTraceTest, RunsWithoutLogWhenTraceLogCannotBeOpened) {
  std::filesystem::create_directory(kTraceLogName);
  StoreSpots(Lattice(4, 4, 52, 52, 32), 200, 200);
  GetGridShifts();
  EXPECT_EQ(State().NumberOfPoints, 16);
  EXPECT_EQ(State().OUT_LOG, nullptr);
}

TEST(GridTraceWithoutArraysTest, LeavesStateAloneWhenPointArraysAreMissing) {
  test::TempDir dir;
  ResetProgramState();
  State().NumberOfPoints = 7;
  EXPECT_EQ(GetGridShifts(), 0);
  EXPECT_EQ(CInitPointArrays(), 1);
  EXPECT_EQ(State().NumberOfPoints, 7);
  EXPECT_FALSE(test::FileExists(kTraceLogName));
  ResetProgramState();
}

// ---------------------------------------------------------------------------------------------
// A deep walk.

// Node path of a square spiral whose turns lie two nodes apart (arms 2, 2, 4, 4, 6, 6, ...):
// consecutive nodes are neighbours and no others are, so the walk can only follow it and nests
// one level per spot.
std::vector<std::pair<int, int>> SpiralPath(int radius) {
  const int dx[4] = {1, 0, -1, 0};
  const int dy[4] = {0, 1, 0, -1};
  std::vector<std::pair<int, int>> path = {{0, 0}};
  int x = 0, y = 0;
  for (int arm = 0;; ++arm) {
    for (int step = 0; step < 2 * (arm / 2 + 1); ++step) {
      x += dx[arm % 4];
      y += dy[arm % 4];
      if (std::max(std::abs(x), std::abs(y)) > radius) return path;
      path.push_back({x, y});
    }
  }
}

TEST_F(GridTraceTest, SpiralThousandsOfSpotsDeepIsWalkedToItsEnd) {
  const auto path = SpiralPath(48);
  std::map<std::pair<int, int>, std::size_t> where;
  for (std::size_t k = 0; k < path.size(); ++k) where[path[k]] = k;
  for (std::size_t k = 0; k < path.size(); ++k) {  // the walk has no way but along the path
    for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
      const auto other = where.find({path[k].first + dx, path[k].second + dy});
      if (other != where.end()) {
        ASSERT_EQ(std::max(k, other->second) - 1, std::min(k, other->second));
      }
    }
  }
  ASSERT_GT(path.size(), 4000u);
  ASSERT_LT(path.size(), static_cast<std::size_t>(State().MAXPoints));

  Spots spots;  // centre at (500, 500), pitch 10
  for (const auto& [x, y] : path) spots.push_back({500.0 + 10 * x, 500.0 + 10 * y});
  RasterSort(spots);
  StoreSpots(spots, 1000, 1000);
  GetGridShifts();
  const ProgramState& s = State();
  ASSERT_EQ(s.NumberOfPoints, static_cast<long>(path.size()));
  for (long k = 0; k < s.NumberOfPoints; ++k) {
    const Spot& p = spots[k];
    ASSERT_EQ(s.SX[k], p.x) << k;
    ASSERT_EQ(s.SY[k], p.y) << k;
    // The first step runs along +x, so j follows x and i runs against y.
    ASSERT_EQ(s.Pj[k], static_cast<int>(p.x - 500) / 10) << k;
    ASSERT_EQ(s.Pi[k], -static_cast<int>(p.y - 500) / 10) << k;
  }
}

}  // namespace
}  // namespace zmr
