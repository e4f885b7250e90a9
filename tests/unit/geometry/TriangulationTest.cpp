// The triangulation on degenerate point sets: copies of the same points, a triangle list that
// runs full, large sets that are settled at once or stopped within bounded work, and a point far
// beyond the others. The equality with the exhaustive search is the oracle tests' part.
#include <gtest/gtest.h>

#include <regex>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "geometry/Delaunay.h"
#include "geometry/Triangulate.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using Points = std::vector<std::array<double, 2>>;

// cols x rows nodes of pitch 36 from (40, 40), each moved by up to jitter in x and y.
Points Lattice(int cols, int rows, double jitter = 0) {
  Points p;
  for (int k = 0; k < cols * rows; ++k) {
    const double dx = jitter * std::sin(k * 12.9898), dy = jitter * std::cos(k * 78.233);
    p.push_back({40 + k % cols * 36 + dx, 40 + k / cols * 36 + dy});
  }
  return p;
}

Points Repeated(const Points& p, int times) {
  Points out;
  for (int r = 0; r < times; ++r) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class TriangulationTest : public test::StateTest {
 protected:
  // Triangulates p with room for slots triangles (-1: the whole list) within limit.
  void Run(const Points& p, long slots = -1, long long limit = kTriangulationWorkLimit) {
    ProgramState& s = State();
    x_.clear(), y_.clear();
    for (const auto& q : p) x_.push_back(q[0]), y_.push_back(q[1]);
    s.NumberOfPoints = static_cast<long>(p.size());
    s.NumberOfTriangles = 0;
    s.meshIncomplete = false;
    s.notes.clear();
    s.Tpoints.assign(3 * static_cast<std::size_t>(slots < 0 ? 2 * s.MAXPoints : slots), -1);
    TriangulateWithin(s, x_.data(), y_.data(), limit);
  }
  std::vector<double> x_, y_;
};

// A points file concatenated three times fills the list with copies of every triangle, lying on
// each other (and 100 lines at 4 positions took 245 s to do so). The search keeps what it finds,
// now at once, and says that the triangles overlap (and that the list ran full); merging the
// copies is the reader's part.
TEST_F(TriangulationTest, CopiesOfPointsEndAtOnceWithANote) {
  const Points square = {{100, 100}, {300, 100}, {100, 300}, {300, 300}};
  const Points grid = Lattice(5, 4, 0.3);
  Points interleaved;
  for (const auto& p : grid) interleaved.insert(interleaved.end(), 3, p);
  const struct {
    const char* name;
    Points points;
    bool full;
  } cases[] = {{"four positions in turn, 25 times", Repeated(square, 25), true},
               {"a grid three times", Repeated(grid, 3), false},
               {"a grid, each point three times in a row", interleaved, false}};
  for (const auto& c : cases) {
    Run(c.points);
    const std::vector<std::string>& notes = State().notes;
    ASSERT_EQ(notes.size(), c.full ? 2u : 1u) << c.name;
    EXPECT_EQ(notes[0].rfind("The triangulation stopped: the triangle list is full", 0) == 0,
              c.full)
        << notes[0];
    EXPECT_NE(notes.back().find(" triangles of the mesh overlap triangles found before them"),
              std::string::npos)
        << notes.back();
    EXPECT_FALSE(State().meshIncomplete) << c.name;
  }
}

// A full list ends the search as before, with a note; only a search stopped by its work limit
// marks the mesh incomplete.
TEST_F(TriangulationTest, AFullTriangleListIsNoted) {
  const Points grid = Lattice(5, 5);
  const struct {
    long slots, triangles;
    const char* note;  // nullptr: none
  } cases[] = {{7, 7,
                "The triangulation stopped: the triangle list is full (7 triangles fit); "
                "the mesh is incomplete and table nodes in its holes get no shift"},
               {-1, 32, nullptr}};
  for (const auto& c : cases) {
    Run(grid, c.slots);
    ProgramState& s = State();
    EXPECT_EQ(s.NumberOfTriangles, c.triangles) << c.slots;
    EXPECT_FALSE(s.meshIncomplete) << c.slots;
    EXPECT_EQ(s.notes, c.note ? std::vector<std::string>{c.note} : std::vector<std::string>{});
  }
  // A new triangulation starts with the flag cleared.
  ProgramState& s = State();
  ASSERT_EQ(AllocateArrays(s), 1);
  s.meshIncomplete = true;
  for (std::size_t k = 0; k < grid.size(); ++k) {
    s.PointsInput[4 * k] = grid[k][0];
    s.PointsInput[4 * k + 1] = grid[k][1];
  }
  s.NumberOfPoints = static_cast<long>(grid.size());
  MakeTriangulation(s, 1);
  EXPECT_EQ(s.NumberOfTriangles, 32);
  EXPECT_FALSE(s.meshIncomplete);
}

// Sets of up to 4999 points that made the search visit every triple (minutes): those with a
// result known at once end there, with it; the others stop within the work limit, noted.
TEST_F(TriangulationTest, DegenerateSetsEndWithinBoundedWork) {
  Points line, band, circle, three;
  for (int k = 0; k < 4999; ++k) {
    line.push_back({10 + k * 0.15, 200});
    // 4700 points 0.16 apart, then 299 points 0.0033 apart, the last 1e-6 off the line
    const double x = k < 4700 ? 10 + k * 0.16 : 770 + (k - 4700) * 0.0033;
    band.push_back({x, k == 4998 ? 200.000001 : 200});
    const double a = 2 * M_PI * k / 4999;
    circle.push_back({384 + 300 * std::cos(a), 384 + 300 * std::sin(a)});
    three.push_back({k % 3 == 0 ? 100.0 : 300.0, k % 3 == 2 ? 300.0 : 100.0});
  }
  const Points nonfinite = {{1, 2}, {NAN, 5}, {3, INFINITY}, {7, 7}};
  const long long small = 1000000;
  const struct {
    const char* name;
    Points points;
    long triangles;
    bool incomplete;
  } cases[] = {{"on a line", line, 0, false},
               {"in a band 1e-6 wide", band, 0, false},
               {"two finite points", nonfinite, 0, false},
               {"on one circle", circle, -1, true},
               {"copies of three points", three, -1, true}};
  for (const auto& c : cases) {
    Run(c.points, -1, small);
    const ProgramState& s = State();
    if (c.triangles >= 0) {
      EXPECT_EQ(s.NumberOfTriangles, c.triangles) << c.name;
    }
    EXPECT_EQ(s.meshIncomplete, c.incomplete) << c.name;
    ASSERT_EQ(s.notes.empty(), !c.incomplete) << c.name;  // copies also note their overlaps
    if (c.incomplete) {
      EXPECT_TRUE(std::regex_match(
          s.notes[0], std::regex("The triangulation stopped after [0-9]+ triangles: the points "
                                 "are too degenerate to search in full \\(.*\\); the mesh is "
                                 "incomplete")))
          << s.notes[0];
    } else {
      EXPECT_EQ(s.iProgressStatus, 100) << c.name;
    }
  }
}

// A point at 1e38 among points a few hundred pixels apart: the crossing test misses the slivers
// from it (their crossings lie within 1e-36 of an end, or they hold whole triangles), and the
// overlapping triangles give wrong shifts inside the grid. The mesh stays as found; a note says
// how many overlap.
TEST_F(TriangulationTest, OverlappingTrianglesAreCountedInANote) {
  const struct {
    int point, axis;
    double value;
  } cases[] = {{27, 0, 1e38}, {18, 1, -1e38}, {5, 0, 3e38}, {63, 1, 1e45}, {0, 0, 0}};
  for (const auto& c : cases) {
    Points p = Lattice(8, 8, 0.2);
    if (c.value != 0) p[c.point][c.axis] = c.value;
    Run(p);
    const ProgramState& s = State();
    if (c.value == 0) {
      EXPECT_TRUE(s.notes.empty()) << s.notes[0];
      continue;
    }
    ASSERT_EQ(s.notes.size(), 1u) << c.value;
    EXPECT_TRUE(std::regex_match(s.notes[0], std::regex("[1-9][0-9]* triangles of the mesh overlap "
                                                        "triangles found before them .*")))
        << s.notes[0];
  }
}

}  // namespace
}  // namespace zmr
