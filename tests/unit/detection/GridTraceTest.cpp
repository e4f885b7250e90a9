#include "detection/GridTrace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

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

TEST_F(GridTraceTest, NodeMapAndIndicesOfDebugRunFollowTheLattice) {
  State().DebugSwitch = 1;
  const Spots spots = Lattice(3, 3, 68, 68, 32);
  StoreSpots(spots, 200, 200);
  testing::internal::CaptureStdout();
  GetGridShifts();
  const std::string console = testing::internal::GetCapturedStdout();
  std::map<std::pair<int, int>, int> nodes;
  std::string indices;
  for (int k = 0; k < 9; ++k) {
    const int di = -static_cast<int>(spots[k].x - 100) / 32;
    const int dj = -static_cast<int>(spots[k].y - 100) / 32;
    nodes[{50 + di, 50 + dj}] = k;
    indices += std::to_string(k) + " -> [" + std::to_string(di) + " " + std::to_string(dj) + "]\n";
  }
  std::string map;
  for (int i = 40; i < 60; ++i) {
    for (int j = 40; j < 60; ++j) {
      char cell[8];
      std::snprintf(cell, sizeof cell, " %2i", nodes.count({i, j}) ? nodes[{i, j}] : 0);
      map += cell;
    }
    map += "\n";
  }
  EXPECT_EQ(console, map + indices);
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
  std::snprintf(header, sizeof header,
                " Generating shifts with ideal grid origin placed at (%f,%f)\n", c.image / 2.0,
                c.image / 2.0);
  EXPECT_EQ(ReadFile(kTraceLogName), header + c.tail);
  EXPECT_EQ(s.OccupiedPoints, c.assigned);
  EXPECT_EQ(s.iAssignedPoints.load(), c.assigned);
  EXPECT_EQ(s.NumberOfPoints, c.assigned);
}

const std::string kSkipped = "----------------------------------------\n";

INSTANTIATE_TEST_SUITE_P(
    Table, StartConditionTest,
    ::testing::Values(
        StartCase{"NoSpotsAtAll",
                  {},
                  0,
                  100,
                  kSkipped + "0 points assigned from total 0 \n"
                             " Deleting points not assigned to ideal grid \n\n0 points left \n",
                  0},
        StartCase{"OnlySlotZero",
                  {},
                  1,
                  100,
                  kSkipped + "0 points assigned from total 0 \n"
                             " Deleting points not assigned to ideal grid \n\n0 points left \n",
                  0},
        StartCase{"OneSpot",
                  {{50, 50}},
                  2,
                  100,
                  kSkipped + "0 points assigned from total 1 \n"
                             " Deleting points not assigned to ideal grid \n -0  |\n\n"
                             "0 points left \n",
                  0},
        StartCase{"NoSpotWithin1000PixelsOfStartPoint",
                  {{2900, 2900}, {2930, 2900}},
                  3,
                  3000,
                  kSkipped + "0 points assigned from total 2 \n"
                             " Deleting points not assigned to ideal grid \n -0  |\n -1  |\n"
                             "0 points left \n",
                  0},
        StartCase{"NoSecondSpotWithinImageWidth",
                  {{50, 50}, {250, 50}},
                  3,
                  100,
                  kSkipped + "0 points assigned from total 2 \n"
                             " Deleting points not assigned to ideal grid \n -0  |\n -1  |\n"
                             "0 points left \n",
                  0},
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
// The walk against plain recursion.

// The walk exactly as a recursive function, one call per accepted spot.
void TraceRecursive(int oind, int nind, double* PX, double* PY, int* PD, int is, int js, int in,
                    int jn) {
  static const int Shift[2][4] = {{-1, 0, 1, 0}, {0, -1, 0, 1}};
  ProgramState& s = State();
  std::FILE* log = s.OUT_LOG;
  if (s.DebugSwitch) std::fprintf(log, "-> %i\n", nind);
  const double P[2] = {PX[oind], PY[oind]};
  const double Q[2] = {PX[nind], PY[nind]};
  if (s.OccupiedPoints >= s.NumberOfPoints) return;
  const double u[2] = {Q[0] - P[0], Q[1] - P[1]};
  const int um[2] = {in - is, jn - js};
  const double v[2] = {-u[1], u[0]};
  const int vm[2] = {-um[1], um[0]};
  for (int k = 0; k < 4; ++k) {
    const int i = in + Shift[0][k];
    const int j = jn + Shift[1][k];
    if (s.DebugSwitch) std::fprintf(log, " | %i [%i %i]", k, i, j);
    if (i < 0 || i > 99 || j < 0 || j > 99 || s.PMatrix[i * 100 + j] != kFreeNode) continue;
    const int d[2] = {i - in, j - jn};
    const double a[2] = {static_cast<double>(d[0] * um[0] + d[1] * um[1]),
                         static_cast<double>(d[0] * vm[0] + d[1] * vm[1])};
    const double R[2] = {Q[0] + a[0] * u[0] + a[1] * v[0], Q[1] + a[0] * u[1] + a[1] * v[1]};
    if (s.DebugSwitch) std::fprintf(log, "(testing X=%f Y=%f)", R[0], R[1]);
    double Distance = s.Edge;
    const int pind =
        FindClosestPoint(R[0], R[1], PX, PY, PD, static_cast<int>(s.NumberOfPoints), &Distance);
    if (pind >= 0 && Distance < s.Edge * s.Ethresh) {
      s.PMatrix[i * 100 + j] = pind;
      if (s.DebugSwitch) {
        std::fprintf(log, "Point %i located\n", pind);
      } else {
        std::fprintf(log, "%i ", pind);
      }
      s.OccupiedPoints += 1;
      PD[pind] = 1;
      s.Pi[pind] = i - s.istart;
      s.Pj[pind] = j - s.jstart;
      TraceRecursive(nind, pind, PX, PY, PD, in, jn, i, j);
    } else if (s.DebugSwitch) {
      std::fprintf(log, " D=%f (E=%f) not close enough to any other point ! \n", Distance, s.Edge);
    }
  }
}

// Seeding, walk and ideal positions step by step, with the recursive walk.
void GenerateShiftsLiteral(double* PX, double* PY, int* PD, double* SX, double* SY,
                           const double* Pg) {
  ProgramState& s = State();
  double Dtemp = 1000.0;
  s.Edge = s.ImageM;
  s.PMatrix.assign(100 * 100, kFreeNode);
  for (long k = 0; k < s.MAXPoints; ++k) PD[k] = s.Pi[k] = s.Pj[k] = 0;
  const int n = static_cast<int>(s.NumberOfPoints);
  int oind = n >= 2 ? FindClosestPoint(Pg[0], Pg[1], PX, PY, PD, n, &Dtemp) : -1;
  int nind = -1;
  if (oind >= 0) {
    PD[oind] = 1;
    nind = FindClosestPoint(PX[oind], PY[oind], PX, PY, PD, n, &s.Edge);
    if (nind < 0) PD[oind] = 0;
  }
  s.OccupiedPoints = 0;
  double P[2] = {0, 0}, Q[2] = {0, 0};
  if (nind >= 0) {
    s.istart = s.jstart = 50;
    P[0] = PX[oind], P[1] = PY[oind];
    Q[0] = PX[nind], Q[1] = PY[nind];
    s.OccupiedPoints = 2;
    s.PMatrix[50 * 100 + 50] = oind;
    s.PMatrix[50 * 100 + 51] = nind;
    PD[nind] = 1;
    s.Pj[nind] = 1;
    std::fprintf(s.OUT_LOG, "Starting to trace ideal grid with points %i %i (Edge = %f)\n", oind,
                 nind, s.Edge);
    TraceRecursive(oind, nind, PX, PY, PD, 50, 50, 50, 51);
    TraceRecursive(nind, oind, PX, PY, PD, 50, 51, 50, 50);
  }
  std::fprintf(s.OUT_LOG, "----------------------------------------\n");
  std::fprintf(s.OUT_LOG, "%i points assigned from total %li \n ", s.OccupiedPoints,
               s.NumberOfPoints);
  if (s.DebugSwitch) TestDisplay();
  s.Origin[0] = P[0], s.Origin[1] = P[1];
  s.ug[0] = Q[0] - P[0], s.ug[1] = Q[1] - P[1];
  s.vg[0] = -s.ug[1], s.vg[1] = s.ug[0];
  for (long k = 0; k < s.NumberOfPoints; ++k) {
    SX[k] = s.Origin[0] - s.Pi[k] * s.vg[0] + s.Pj[k] * s.ug[0];
    SY[k] = s.Origin[1] - s.Pi[k] * s.vg[1] + s.Pj[k] * s.ug[1];
  }
}

// Removal one spot at a time, moving the rest of the list down.
void DeleteLiteral(double* PX, double* PY, double* SX, double* SY, int* PD) {
  ProgramState& s = State();
  std::fprintf(s.OUT_LOG, "Deleting points not assigned to ideal grid \n");
  for (int k = 0; k < s.NumberOfPoints; ++k) {
    std::fprintf(s.OUT_LOG, PD[k] == 0 ? " -%-3i|" : " +%-3i|", k);
    if (k % 10 == 0) std::fprintf(s.OUT_LOG, "\n");
  }
  std::fprintf(s.OUT_LOG, "\n");
  for (int k = 0; k < s.NumberOfPoints;) {
    if (PD[k] != 0) {
      ++k;
      continue;
    }
    for (int l = k; l < s.NumberOfPoints - 1; ++l) {
      PX[l] = PX[l + 1], PY[l] = PY[l + 1], PD[l] = PD[l + 1];
      SX[l] = SX[l + 1], SY[l] = SY[l + 1];
    }
    s.NumberOfPoints -= 1;
  }
  std::fprintf(s.OUT_LOG, "%li points left \n", s.NumberOfPoints);
}

struct WalkResult {
  std::string log;
  std::string console;
  std::vector<int> nodes, pd, pi, pj;
  std::vector<double> px, py, sx, sy;
  long left = 0;
  int occupied = 0;
  double edge = 0;
};

struct Scene {
  Spots spots;
  long width = 0;
  long height = 0;
  double ethresh = 0.2;
  int debug = 0;
};

WalkResult RunWalk(const Scene& scene, bool literal) {
  ResetProgramState();
  EXPECT_EQ(AllocateArrays(), 1);
  ProgramState& s = State();
  s.Ethresh = scene.ethresh;
  s.DebugSwitch = scene.debug;
  StoreSpots(scene.spots, scene.width, scene.height);
  s.NumberOfPoints -= 1;
  const int count = static_cast<int>(s.NumberOfPoints);
  const double Pg[2] = {scene.width / 2.0, scene.height / 2.0};
  s.OUT_LOG = std::fopen("walk.log", "w");
  testing::internal::CaptureStdout();
  if (literal) {
    GenerateShiftsLiteral(ListX(), ListY(), s.Pflag.data(), s.SX.data(), s.SY.data(), Pg);
    DeleteLiteral(ListX(), ListY(), s.SX.data(), s.SY.data(), s.Pflag.data());
  } else {
    GenerateShifts(ListX(), ListY(), s.Pflag.data(), s.SX.data(), s.SY.data(), Pg);
    DeleteNotAssignedPoints(ListX(), ListY(), s.SX.data(), s.SY.data(), s.Pflag.data());
  }
  WalkResult r;
  r.console = testing::internal::GetCapturedStdout();
  std::fclose(s.OUT_LOG);
  s.OUT_LOG = nullptr;
  r.log = ReadFile("walk.log");
  r.nodes = s.PMatrix;
  r.pd.assign(s.Pflag.begin(), s.Pflag.begin() + count);
  r.pi.assign(s.Pi.begin(), s.Pi.begin() + count);
  r.pj.assign(s.Pj.begin(), s.Pj.begin() + count);
  r.px.assign(ListX(), ListX() + count);
  r.py.assign(ListY(), ListY() + count);
  r.sx.assign(s.SX.begin(), s.SX.begin() + count);
  r.sy.assign(s.SY.begin(), s.SY.begin() + count);
  r.left = s.NumberOfPoints;
  r.occupied = s.OccupiedPoints;
  r.edge = s.Edge;
  return r;
}

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

Scene SpiralScene(int radius, double pitch) {
  Scene scene;
  const double half = (radius + 2) * pitch;
  for (const auto& [x, y] : SpiralPath(radius)) {
    scene.spots.push_back({half + x * pitch, half + y * pitch});
  }
  RasterSort(scene.spots);
  scene.width = scene.height = static_cast<long>(2 * half);
  return scene;
}

enum class Kind { kLattice, kRotated, kDistorted, kMissing, kSpurious, kRandom, kLine, kSpiral };

Scene MakeScene(Kind kind, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> side(2, 14);
  const double ethreshes[] = {0.2, 0.3, 0.45, 0.6};
  if (kind == Kind::kSpiral) {
    Scene scene = SpiralScene(2 + static_cast<int>(seed % 11), 6 + (seed % 5));
    scene.debug = static_cast<int>(seed % 2);
    return scene;
  }
  Spots spots;
  double pitch = 8 + 32 * unit(rng);
  if (kind == Kind::kRandom) {
    const int n = 2 + static_cast<int>(unit(rng) * 150);
    for (int k = 0; k < n; ++k) spots.push_back({400 * unit(rng), 300 * unit(rng)});
    pitch = 20;
  } else {
    const int cols = kind == Kind::kLine ? 2 + static_cast<int>(unit(rng) * 140) : side(rng);
    const int rows = kind == Kind::kLine ? 1 : side(rng);
    if (kind == Kind::kLine) pitch = 4 + 4 * unit(rng);
    const double angle = kind == Kind::kLattice ? 0.0 : unit(rng) - 0.5;
    const double barrel = kind == Kind::kDistorted ? 0.15 * (unit(rng) - 0.5) : 0.0;
    const double jitter = kind == Kind::kDistorted ? 0.3 * pitch : 0.0;
    const double drop = kind == Kind::kMissing ? 0.1 + 0.2 * unit(rng) : 0.0;
    const double reach = std::hypot(cols, rows) * pitch / 2;
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < cols; ++c) {
        if (unit(rng) < drop) continue;
        double x = (c - (cols - 1) / 2.0) * pitch;
        double y = (r - (rows - 1) / 2.0) * pitch;
        const double scale = 1 + barrel * (x * x + y * y) / (reach * reach);
        const double rx = scale * (x * std::cos(angle) - y * std::sin(angle));
        const double ry = scale * (x * std::sin(angle) + y * std::cos(angle));
        spots.push_back({rx + jitter * (unit(rng) - 0.5), ry + jitter * (unit(rng) - 0.5)});
      }
    }
    if (kind == Kind::kSpurious) {
      const int extra = 1 + cols * rows / 8;
      for (int k = 0; k < extra; ++k) {
        spots.push_back({(unit(rng) - 0.5) * cols * pitch, (unit(rng) - 0.5) * rows * pitch});
      }
    }
  }
  // Move everything inside an image with a margin of one pitch.
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  for (const Spot& p : spots) {
    minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
  }
  for (Spot& p : spots) p = {p.x - minX + pitch, p.y - minY + pitch};
  if (seed % 3 == 0) {
    std::shuffle(spots.begin(), spots.end(), rng);
  } else {
    RasterSort(spots);
  }
  Scene scene;
  scene.spots = spots;
  scene.width = static_cast<long>(std::ceil(maxX - minX + 2 * pitch));
  scene.height = static_cast<long>(std::ceil(maxY - minY + 2 * pitch));
  scene.ethresh = ethreshes[seed % 4];
  scene.debug = static_cast<int>((seed / 4) % 2);
  return scene;
}

TEST(GridTraceOracleTest, ExplicitStackWalkMatchesRecursionOnGeneratedSpotSets) {
  test::TempDir dir;
  const Kind kinds[] = {Kind::kLattice,  Kind::kRotated, Kind::kDistorted, Kind::kMissing,
                        Kind::kSpurious, Kind::kRandom,  Kind::kLine,      Kind::kSpiral};
  int partial = 0;
  for (Kind kind : kinds) {
    for (unsigned seed = 1; seed <= 30; ++seed) {
      const Scene scene = MakeScene(kind, seed);
      SCOPED_TRACE("kind " + std::to_string(static_cast<int>(kind)) + " seed " +
                   std::to_string(seed));
      const WalkResult fast = RunWalk(scene, false);
      const WalkResult literal = RunWalk(scene, true);
      ASSERT_EQ(fast.log, literal.log);
      EXPECT_EQ(fast.console, literal.console);
      EXPECT_EQ(fast.nodes, literal.nodes);
      EXPECT_EQ(fast.pd, literal.pd);
      EXPECT_EQ(fast.pi, literal.pi);
      EXPECT_EQ(fast.pj, literal.pj);
      EXPECT_EQ(fast.px, literal.px);
      EXPECT_EQ(fast.py, literal.py);
      EXPECT_EQ(fast.sx, literal.sx);
      EXPECT_EQ(fast.sy, literal.sy);
      EXPECT_EQ(fast.left, literal.left);
      EXPECT_EQ(fast.occupied, literal.occupied);
      EXPECT_EQ(fast.edge, literal.edge);
      if (fast.left > 2 && fast.left < static_cast<long>(scene.spots.size())) ++partial;
    }
  }
  // The sets must exercise real walks that leave some spots out, not only trivial ones.
  EXPECT_GT(partial, 60);
  ResetProgramState();
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

  const Scene scene = SpiralScene(48, 10);  // centre at (500, 500)
  StoreSpots(scene.spots, scene.width, scene.height);
  GetGridShifts();
  const ProgramState& s = State();
  ASSERT_EQ(s.NumberOfPoints, static_cast<long>(path.size()));
  for (long k = 0; k < s.NumberOfPoints; ++k) {
    const Spot& p = scene.spots[k];
    ASSERT_EQ(s.SX[k], p.x) << k;
    ASSERT_EQ(s.SY[k], p.y) << k;
    // The first step runs along +x, so j follows x and i runs against y.
    ASSERT_EQ(s.Pj[k], static_cast<int>(p.x - 500) / 10) << k;
    ASSERT_EQ(s.Pi[k], -static_cast<int>(p.y - 500) / 10) << k;
  }
}

}  // namespace
}  // namespace zmr
