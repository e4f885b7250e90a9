// The real grid images of the shared data folder open directly and, with no option but
// DetectionMode 1, the robust detection finds their grids: at least 97 % of the spots that lie
// wholly inside each image are assigned, and no spot is given a wrong node: every two
// neighbouring nodes lie one local pitch apart. Skips when the folder is absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "state/CNumericLocale.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

class RobustRealDataTest : public test::StateTest {};

struct Point {
  double x, y, X, Y;
};

// The points file of save-points: "x y X Y" per line.
std::vector<Point> ReadPoints(const std::string& path) {
  CNumericLocale cLocale;  // the tests also run under a locale with a decimal comma
  std::istringstream in(test::ReadFile(path));
  std::vector<Point> points;
  Point p{};
  while (in >> p.x >> p.y >> p.X >> p.Y) points.push_back(p);
  return points;
}

// The value after `key` on the line of Trace.log that holds it.
double LogValue(const std::string& log, const std::string& key) {
  const std::size_t at = log.find(key);
  if (at == std::string::npos) return NAN;
  CNumericLocale cLocale;
  return std::atof(log.c_str() + at + key.size());
}

TEST_F(RobustRealDataTest, RealImagesAreAssignedWithoutWrongNodes) {
  const std::filesystem::path folder = ZMR_REALDATA_DIR;
  if (!std::filesystem::is_directory(folder)) {
    GTEST_SKIP() << "no real images: " << folder.string() << " is absent";
  }
  // Spots lying wholly inside each image: the folder's count less those the border cuts (as
  // the detection's log lists them); the plate's 80 counted by eye.
  const std::pair<const char*, long> images[] = {
      {"dot_pattern_05.jpg", 4360}, {"dot_pattern_02.jpg", 1316},        {"dot_plate_01.jpeg", 80},
      {"circle_grid_0.png", 100},   {"shack_hartmann_bright.png", 2724},
  };
  for (const auto& [name, inside] : images) {
    SCOPED_TRACE(name);
    const test::RunResult run =
        test::RunProgram(ZMRCAL_PATH, "open-image " + (folder / name).string() +
                                          " set DetectionMode 1 detect save-points points.txt");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Auto-detection (robust)"), std::string::npos) << run.err;
    // Notes only: the image libraries report nothing of their own on these files.
    std::istringstream err(run.err);
    for (std::string line; std::getline(err, line);) {
      EXPECT_EQ(line.rfind("zmrcal: note: ", 0), 0u) << line;
    }
    const std::vector<Point> points = ReadPoints("points.txt");
    EXPECT_GE(static_cast<double>(points.size()), 0.97 * static_cast<double>(inside));

    // Nodes from the ideal positions: a square lattice of the logged pitch and angle through
    // the start spot.
    const std::string log = test::ReadFile("Trace.log");
    const double pitch = LogValue(log, "Ideal lattice: pitch ");
    const double angle = LogValue(log, ", angle ") * M_PI / 180.0;
    ASSERT_TRUE(pitch > 0.0);
    ASSERT_FALSE(points.empty());
    const Point& origin = points.front();
    std::map<std::pair<long, long>, const Point*> at;
    for (const Point& p : points) {
      const double dx = p.X - origin.X;
      const double dy = p.Y - origin.Y;
      const double u = (std::cos(angle) * dx + std::sin(angle) * dy) / pitch;
      const double v = (-std::sin(angle) * dx + std::cos(angle) * dy) / pitch;
      ASSERT_LT(std::fabs(u - std::round(u)) + std::fabs(v - std::round(v)), 0.05);
      EXPECT_TRUE(at.emplace(std::make_pair(std::lround(u), std::lround(v)), &p).second);
    }
    // Each edge between neighbouring nodes against the median edge around its first node.
    long edges = 0, wrong = 0;
    for (const auto& [node, p] : at) {
      std::vector<double> around;
      std::vector<double> forward;
      for (const auto& [di, dj] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
        auto next = at.find({node.first + di, node.second + dj});
        if (next == at.end()) continue;
        const double d = std::hypot(next->second->x - p->x, next->second->y - p->y);
        around.push_back(d);
        if (di + dj > 0) forward.push_back(d);
      }
      if (around.empty()) continue;
      std::nth_element(around.begin(), around.begin() + around.size() / 2, around.end());
      const double local = around[around.size() / 2];
      for (double d : forward) {
        ++edges;
        if (d < 0.75 * local || d > 1.25 * local) ++wrong;
      }
    }
    EXPECT_GT(edges, static_cast<long>(points.size()));
    EXPECT_EQ(wrong, 0);
  }
}

}  // namespace
}  // namespace zmr
