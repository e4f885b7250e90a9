// The pixel-map drivers against the per-pixel search: the triangle map, the transformation, the
// rotation and scale adjustment, the reduced shift table and the extrapolation nodes must give
// the same bits, files and logs as searching every triangle at every position, on meshes with
// vertices on pixel centres, edges along pixel rows and columns, vertical first edges,
// overlapping and degenerate triangles and vertices outside the image.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "export/GridShifts.h"
#include "geometry/LeastSquare.h"
#include "geometry/RotationScale.h"
#include "geometry/Transform.h"
#include "geometry/TriangleLocation.h"
#include "geometry/TriangleMap.h"
#include "geometry/Triangulate.h"
#include "gridgen/GridGen.h"
#include "oracle/LiteralGeometry.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::ReadFile;

struct Rng {
  explicit Rng(std::uint32_t seed) : engine(seed) {}
  int Below(int n) { return static_cast<int>(engine() % static_cast<std::uint32_t>(n)); }
  int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
  double Unit() { return (engine() >> 5) * (1.0 / 134217728.0); }  // [0, 1) in steps of 2^-27
  bool Chance(int percent) { return Below(100) < percent; }
  std::mt19937 engine;
};

enum class Kind {
  kLattice,
  kJittered,
  kQuantised,
  kOverlapping,
  kFan,
  kBeyondImage,
  kSlivers,
  kGenerated
};
constexpr Kind kKinds[] = {Kind::kLattice, Kind::kJittered,    Kind::kQuantised, Kind::kOverlapping,
                           Kind::kFan,     Kind::kBeyondImage, Kind::kSlivers,   Kind::kGenerated};

struct Scene {
  long M = 0;
  long N = 0;
  std::vector<std::array<double, 4>> points;  // measured x, y, ideal x, y
  std::vector<std::array<int, 3>> triangles;
};

// Keeps the stored orientation ((P2 - P1) x (P3 - P1) >= 0) and turns the vertex order by a
// random step, so that any edge may come first (a vertical one takes the other branch of
// GetCoefficients).
void AddTriangle(Scene& scene, Rng& rng, int a, int b, int c) {
  const auto& p = scene.points;
  const double cross =
      (p[b][0] - p[a][0]) * (p[c][1] - p[a][1]) - (p[b][1] - p[a][1]) * (p[c][0] - p[a][0]);
  std::array<int, 3> t = cross < 0 ? std::array<int, 3>{a, c, b} : std::array<int, 3>{a, b, c};
  const int turn = rng.Below(3);
  scene.triangles.push_back({t[turn], t[(turn + 1) % 3], t[(turn + 2) % 3]});
}

// A smooth field of displacements: a small rotation and scale about a centre, a shift and a
// ripple, sometimes rounded to quarter pixels.
void SetIdeal(Scene& scene, Rng& rng) {
  const double angle = (rng.Unit() - 0.5) * 0.06;
  const double scale = 1 + (rng.Unit() - 0.5) * 0.04;
  const double cx = scene.M * rng.Unit();
  const double cy = scene.N * rng.Unit();
  const double sx = (rng.Unit() - 0.5) * 6;
  const double sy = (rng.Unit() - 0.5) * 6;
  const double ripple = rng.Unit() * 1.5;
  const bool rounded = rng.Chance(30);
  for (auto& p : scene.points) {
    const double rx = p[0] - cx;
    const double ry = p[1] - cy;
    double X = cx + scale * (std::cos(angle) * rx - std::sin(angle) * ry) + sx +
               ripple * std::sin(p[1] * 0.2);
    double Y = cy + scale * (std::sin(angle) * rx + std::cos(angle) * ry) + sy +
               ripple * std::cos(p[0] * 0.15);
    if (rounded) {
      X = std::round(X * 4) / 4;
      Y = std::round(Y * 4) / 4;
    }
    p[2] = X;
    p[3] = Y;
  }
}

// Points of a lattice (optionally moved), each cell split along a random diagonal.
void Lattice(Scene& scene, Rng& rng, double x0, double y0, double pitch, int nx, int ny,
             double jitter, double quantum) {
  for (int gy = 0; gy < ny; ++gy) {
    for (int gx = 0; gx < nx; ++gx) {
      double x = x0 + gx * pitch + jitter * (rng.Unit() - 0.5);
      double y = y0 + gy * pitch + jitter * (rng.Unit() - 0.5);
      if (quantum > 0) {
        x = std::round(x / quantum) * quantum;
        y = std::round(y / quantum) * quantum;
      }
      scene.points.push_back({x, y, 0, 0});
    }
  }
  for (int gy = 0; gy + 1 < ny; ++gy) {
    for (int gx = 0; gx + 1 < nx; ++gx) {
      const int a = gy * nx + gx, b = a + 1, c = a + nx, d = c + 1;
      if (rng.Chance(50)) {
        AddTriangle(scene, rng, a, b, d);
        AddTriangle(scene, rng, a, d, c);
      } else {
        AddTriangle(scene, rng, a, b, c);
        AddTriangle(scene, rng, b, d, c);
      }
    }
  }
}

Scene MakeScene(Kind kind, std::uint32_t seed) {
  Rng rng(seed * 7919 + static_cast<std::uint32_t>(kind));
  Scene scene;
  scene.M = rng.Between(8, 72);
  scene.N = rng.Between(8, 72);
  const double pitch = rng.Between(3, 16);
  const int nx = static_cast<int>(scene.M / pitch) + 1;
  const int ny = static_cast<int>(scene.N / pitch) + 1;
  switch (kind) {
    case Kind::kLattice:  // vertices on pixel centres, edges along rows and columns
      Lattice(scene, rng, rng.Between(-2, 4), rng.Between(-2, 4), pitch, nx, ny, 0, 0);
      break;
    case Kind::kJittered:
      Lattice(scene, rng, rng.Unit() * 3, rng.Unit() * 3, pitch, nx, ny, pitch * 0.4, 0);
      break;
    case Kind::kQuantised:  // positions in halves and quarters: many pixels exactly on edges
      Lattice(scene, rng, 1, 1, pitch, nx, ny, pitch * 0.5, rng.Chance(50) ? 0.5 : 0.25);
      break;
    case Kind::kOverlapping: {
      const int n = rng.Between(3, 90);
      for (int k = 0; k < 3 * n; ++k) {
        double x = rng.Unit() * (scene.M + 20) - 10;
        double y = rng.Unit() * (scene.N + 20) - 10;
        if (rng.Chance(50)) x = std::round(x), y = std::round(y);
        if (rng.Chance(2)) x = rng.Chance(50) ? HUGE_VAL : -HUGE_VAL;  // reaches everywhere
        if (rng.Chance(1)) y = std::nan("");                           // holds nothing
        scene.points.push_back({x, y, 0, 0});
      }
      for (int k = 0; k < n; ++k) {
        const int a = 3 * k;
        if (rng.Chance(8)) {  // collinear: holds only the positions on its line
          scene.points[a + 2][0] = (scene.points[a][0] + scene.points[a + 1][0]) / 2;
          scene.points[a + 2][1] = (scene.points[a][1] + scene.points[a + 1][1]) / 2;
        }
        AddTriangle(scene, rng, a, a + 1, a + 2);
      }
      break;
    }
    case Kind::kFan: {  // many triangles around one vertex on a pixel centre
      const double cx = rng.Between(2, static_cast<int>(scene.M) - 2);
      const double cy = rng.Between(2, static_cast<int>(scene.N) - 2);
      scene.points.push_back({cx, cy, 0, 0});
      const int spokes = rng.Between(3, 24);
      const double radius = 4 + rng.Unit() * 40;
      for (int k = 0; k < spokes; ++k) {
        const double a = 2 * std::numbers::pi * k / spokes;
        scene.points.push_back(
            {std::round(cx + radius * std::cos(a)), std::round(cy + radius * std::sin(a)), 0, 0});
      }
      for (int k = 0; k < spokes; ++k) AddTriangle(scene, rng, 0, 1 + k, 1 + (k + 1) % spokes);
      break;
    }
    case Kind::kSlivers: {  // needles: the third vertex a hair off the line of the other two
      const int n = rng.Between(2, 40);
      const double hairs[] = {0, 1e-12, 1e-9, 1e-7, 1e-5, 1e-3, 0.05};
      for (int k = 0; k < n; ++k) {
        const double x1 = rng.Between(-5, static_cast<int>(scene.M) + 5);
        const double y1 = rng.Between(-5, static_cast<int>(scene.N) + 5);
        const double x2 = rng.Between(-5, static_cast<int>(scene.M) + 5);
        const double y2 = rng.Between(-5, static_cast<int>(scene.N) + 5);
        const double t = rng.Unit() * 2 - 0.5;
        const double hair = hairs[rng.Below(7)] * (rng.Chance(50) ? 1 : -1);
        scene.points.push_back({x1, y1, 0, 0});
        scene.points.push_back({x2, y2, 0, 0});
        scene.points.push_back(
            {x1 + t * (x2 - x1) - hair * (y2 - y1), y1 + t * (y2 - y1) + hair * (x2 - x1), 0, 0});
        AddTriangle(scene, rng, 3 * k, 3 * k + 1, 3 * k + 2);
      }
      break;
    }
    case Kind::kGenerated: {  // the program's own mesh over the spots of a generated grid
      GridSpec gridSpec;
      scene.M = rng.Between(40, 90) | 1;  // odd: the centre is a pixel centre
      scene.N = rng.Between(40, 90) | 1;
      gridSpec.width = static_cast<int>(scene.M);
      gridSpec.height = static_cast<int>(scene.N);
      gridSpec.pitch = rng.Between(6, 12);
      gridSpec.radius = gridSpec.pitch / 4;
      const bool straight = rng.Chance(50);  // spots on pixel centres, edges on rows/columns
      gridSpec.rotationDegrees = straight ? 0.0 : (rng.Unit() - 0.5) * 20;
      gridSpec.distortion = straight ? 0.0 : (rng.Unit() - 0.5) * 0.2;
      const GridImage grid = GenerateGrid(gridSpec);
      ResetProgramState();
      EXPECT_EQ(AllocateArrays(), 1);
      ProgramState& s = State();
      long n = 0;
      for (const GridSpot& spot : grid.spots) {
        const double row[4] = {spot.measuredX, spot.measuredY, spot.idealX, spot.idealY};
        std::copy(row, row + 4, s.PointsInput.begin() + 4 * n++);
        scene.points.push_back({row[0], row[1], row[2], row[3]});
      }
      s.NumberOfPoints = n;
      MakeTriangulation(1);
      for (long t = 0; t < s.NumberOfTriangles; ++t) {
        scene.triangles.push_back({s.Tpoints[3 * t], s.Tpoints[3 * t + 1], s.Tpoints[3 * t + 2]});
      }
      return scene;  // the ideal positions are the generator's
    }
    case Kind::kBeyondImage:
      Lattice(scene, rng, -pitch * 2.5, -pitch * 1.5, pitch * 1.7, nx + 2, ny + 2, pitch * 0.3, 0);
      break;
  }
  SetIdeal(scene, rng);
  return scene;
}

void LoadScene(const Scene& scene) {
  ProgramState& s = State();
  ASSERT_EQ(AllocateArrays(), 1);
  ASSERT_LE(scene.points.size(), static_cast<std::size_t>(s.MAXPoints));
  ASSERT_LE(scene.triangles.size() * 3, s.Tpoints.size());
  for (std::size_t k = 0; k < scene.points.size(); ++k) {
    for (int c = 0; c < 4; ++c) s.PointsInput[4 * k + c] = scene.points[k][c];
  }
  for (std::size_t t = 0; t < scene.triangles.size(); ++t) {
    for (int v = 0; v < 3; ++v) s.Tpoints[3 * t + v] = scene.triangles[t][v];
  }
  s.NumberOfPoints = static_cast<long>(scene.points.size());
  s.NumberOfTriangles = static_cast<long>(scene.triangles.size());
  s.cxDib = static_cast<int>(scene.M);
  s.cyDib = static_cast<int>(scene.N);
}

template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

std::string Name(Kind kind, std::uint32_t seed) {
  return "kind " + std::to_string(static_cast<int>(kind)) + " seed " + std::to_string(seed);
}

class GeometryOracleTest : public test::StateTest {};

TEST_F(GeometryOracleTest, TriangleMapEqualsTheLinearSearchEverywhere) {
  int generatedMeshes = 0;
  for (Kind kind : kKinds) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
      SCOPED_TRACE(Name(kind, seed));
      ResetProgramState();
      const Scene scene = MakeScene(kind, seed);
      if (kind == Kind::kGenerated && scene.triangles.size() >= 8) ++generatedMeshes;
      LoadScene(scene);
      std::vector<int> map;
      ASSERT_TRUE(MapTriangles(PixelCoordinates(scene.M), PixelCoordinates(scene.N), map));
      for (long j = 0; j < scene.N; ++j) {
        for (long i = 0; i < scene.M; ++i) {
          ASSERT_EQ(map[j * scene.M + i], FindTrianglePI(i, j)) << i << " " << j;
        }
      }
      // An uneven lattice of positions between the pixels, with repeats.
      Rng rng(seed);
      std::vector<double> xs, ys;
      for (double x = -12; x < scene.M + 12; x += 0.25 * rng.Between(0, 9)) xs.push_back(x);
      for (double y = -12; y < scene.N + 12; y += 0.125 * rng.Between(1, 20)) ys.push_back(y);
      ASSERT_TRUE(MapTriangles(xs, ys, map));
      for (std::size_t b = 0; b < ys.size(); ++b) {
        for (std::size_t a = 0; a < xs.size(); ++a) {
          ASSERT_EQ(map[b * xs.size() + a], FindTrianglePI(xs[a], ys[b])) << xs[a] << " " << ys[b];
        }
      }
    }
  }
  EXPECT_GT(generatedMeshes, 25);  // the program's meshes, not only trivial ones
}

TEST_F(GeometryOracleTest, MapOfNoTrianglesOrOfACancelledRun) {
  ResetProgramState();
  const Scene scene = MakeScene(Kind::kLattice, 3);
  LoadScene(scene);
  std::vector<int> map;
  State().NumberOfTriangles = 0;
  ASSERT_TRUE(MapTriangles(PixelCoordinates(5), PixelCoordinates(4), map));
  EXPECT_EQ(map, std::vector<int>(20, -1));
  State().NumberOfTriangles = static_cast<long>(scene.triangles.size());
  const std::atomic<int> cancel{1};
  EXPECT_FALSE(MapTriangles(PixelCoordinates(5), PixelCoordinates(4), map, &cancel));
  EXPECT_TRUE(map.empty());
}

// Rows asked for with gaps (as a caller that skips rows would) still come out right.
TEST_F(GeometryOracleTest, RowsAskedWithGapsMatchTheLinearSearch) {
  for (Kind kind : kKinds) {
    for (std::uint32_t seed = 1; seed <= 10; ++seed) {
      SCOPED_TRACE(Name(kind, seed));
      ResetProgramState();
      const Scene scene = MakeScene(kind, seed);
      LoadScene(scene);
      const std::vector<double> xs = PixelCoordinates(scene.M);
      const std::vector<double> ys = PixelCoordinates(scene.N);
      TriangleRowMap rows(xs, ys);
      ASSERT_TRUE(rows.Ready());
      std::vector<int> row(xs.size());
      for (std::size_t b = seed % 3; b < ys.size(); b += 1 + (b * seed) % 4) {
        rows.FillRow(b, row.data());
        for (std::size_t a = 0; a < xs.size(); ++a) {
          ASSERT_EQ(row[a], FindTrianglePI(xs[a], ys[b])) << a << " " << b;
        }
      }
    }
  }
}

struct TransformResult {
  std::vector<int> target, area;
  std::vector<double> signal, dx, dy;
  int progress = 0, lines = 0;
};

TransformResult RunTransformOn(const Scene& scene, std::uint32_t seed, bool literal,
                               bool cancelled) {
  ResetProgramState();
  LoadScene(scene);
  ProgramState& s = State();
  EXPECT_EQ(AllocateImageArrays(static_cast<int>(scene.M), static_cast<int>(scene.N)), 1);
  Rng rng(seed);
  for (int& v : s.Msource) v = rng.Between(-5, 255);
  for (int& v : s.Area) v = rng.Between(-9, 9);  // outside the zone these must stay
  for (double& v : s.deltaX) v = rng.Unit();
  for (double& v : s.deltaY) v = -rng.Unit();
  s.fTerminated = cancelled ? 1 : 0;
  if (literal) {
    oracle::RunTransformLiteral(scene.M, scene.N);
  } else {
    RunTransform(scene.M, scene.N);
  }
  return {s.Mtarget,
          s.Area,
          s.Signal,
          s.deltaX,
          s.deltaY,
          s.iProgressStatus.load(),
          s.iDetectedAreas.load()};
}

TEST_F(GeometryOracleTest, TransformationEqualsThePerPixelSearchBitForBit) {
  for (Kind kind : kKinds) {
    for (std::uint32_t seed = 1; seed <= 30; ++seed) {
      SCOPED_TRACE(Name(kind, seed));
      const Scene scene = MakeScene(kind, seed);
      const bool cancelled = seed == 30;
      const TransformResult want = RunTransformOn(scene, seed, true, cancelled);
      const TransformResult got = RunTransformOn(scene, seed, false, cancelled);
      ASSERT_EQ(got.target, want.target);
      ASSERT_EQ(got.area, want.area);
      ASSERT_TRUE(SameBits(got.signal, want.signal));
      ASSERT_TRUE(SameBits(got.dx, want.dx));
      ASSERT_TRUE(SameBits(got.dy, want.dy));
      EXPECT_EQ(got.progress, want.progress);
      EXPECT_EQ(got.lines, want.lines);
    }
  }
}

struct StatisticsResult {
  double center[2] = {0, 0}, rotation = 0, scale = 0;
  std::vector<double> xshift, yshift, points;
  std::vector<int> area;
  std::string log, corrected;
  int progress = 0;
};

StatisticsResult ArrayStatisticsOn(const Scene& scene, bool literal) {
  ResetProgramState();
  LoadScene(scene);
  ProgramState& s = State();
  const auto n = static_cast<std::size_t>(scene.M * scene.N);
  StatisticsResult r;
  r.xshift.assign(n, 7.5);
  r.yshift.assign(n, -7.5);
  r.area.assign(n, 3);
  std::remove("Trace.log");
  std::remove("CorrectedPoints.txt");
  if (literal) {
    oracle::ArrayStatisticsLiteral(r.center, &r.rotation, &r.scale, scene.M, scene.N,
                                   r.xshift.data(), r.yshift.data(), r.area.data());
  } else {
    ArrayStatistics(r.center, &r.rotation, &r.scale, scene.M, scene.N, r.xshift.data(),
                    r.yshift.data(), r.area.data());
  }
  r.points.assign(s.PointsInput.begin(), s.PointsInput.begin() + 4 * s.NumberOfPoints);
  r.log = ReadFile("Trace.log");
  r.corrected = ReadFile("CorrectedPoints.txt");
  r.progress = s.iProgressStatus.load();
  return r;
}

TEST_F(GeometryOracleTest, RotationScaleAdjustmentEqualsThePerPixelSearchBitForBit) {
  for (Kind kind : kKinds) {
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
      SCOPED_TRACE(Name(kind, seed));
      const Scene scene = MakeScene(kind, seed);
      const StatisticsResult want = ArrayStatisticsOn(scene, true);
      const StatisticsResult got = ArrayStatisticsOn(scene, false);
      ASSERT_EQ(std::memcmp(got.center, want.center, sizeof got.center), 0);
      ASSERT_EQ(std::memcmp(&got.rotation, &want.rotation, sizeof got.rotation), 0);
      ASSERT_EQ(std::memcmp(&got.scale, &want.scale, sizeof got.scale), 0);
      ASSERT_TRUE(SameBits(got.xshift, want.xshift));
      ASSERT_TRUE(SameBits(got.yshift, want.yshift));
      ASSERT_EQ(got.area, want.area);
      ASSERT_TRUE(SameBits(got.points, want.points));
      ASSERT_EQ(got.log, want.log);
      ASSERT_EQ(got.corrected, want.corrected);
      EXPECT_EQ(got.progress, want.progress);
    }
  }
}

TEST_F(GeometryOracleTest, ReducedShiftTableEqualsTheNodeByNodeSearch) {
  int nonEmpty = 0;
  for (Kind kind : kKinds) {
    for (std::uint32_t seed = 1; seed <= 25; ++seed) {
      SCOPED_TRACE(Name(kind, seed));
      const Scene scene = MakeScene(kind, seed);
      Rng rng(seed);
      const int step = rng.Between(1, 12);
      const int xoffset = rng.Between(-20, 1030 - static_cast<int>(scene.M));
      const int yoffset = rng.Between(-20, 1030 - static_cast<int>(scene.N));
      std::vector<double> tables[2];
      int counts[2] = {0, 0};
      for (int literal = 0; literal < 2; ++literal) {
        ResetProgramState();
        LoadScene(scene);
        State().xoffset = xoffset;
        State().yoffset = yoffset;
        counts[literal] = literal
                              ? oracle::CalculateReducedGridShiftsLiteral(scene.M, scene.N, step, 0)
                              : CalculateReducedGridShifts(scene.M, scene.N, step, 0);
        tables[literal] = State().PointsOutput;
      }
      ASSERT_EQ(counts[0], counts[1]);
      ASSERT_TRUE(SameBits(tables[0], tables[1]));
      if (counts[0] > 0) ++nonEmpty;
    }
  }
  EXPECT_GT(nonEmpty, 60);
}

TEST_F(GeometryOracleTest, ExtrapolationAppendsTheNodesTheLinearSearchPutsOutside) {
  int compared = 0;
  for (Kind kind :
       {Kind::kLattice, Kind::kJittered, Kind::kQuantised, Kind::kFan, Kind::kSlivers}) {
    for (std::uint32_t seed = 1; seed <= 25; ++seed) {
      SCOPED_TRACE(Name(kind, seed));
      const Scene scene = MakeScene(kind, seed);
      if (scene.points.size() < 10) continue;
      ResetProgramState();
      LoadScene(scene);
      State().EdgeGrid = 1 + static_cast<long>(seed % 6);
      const auto nodes =
          oracle::OutsideMeshNodesLiteral(static_cast<int>(scene.M), static_cast<int>(scene.N));
      const long before = State().NumberOfPoints;
      if (AddBoundaryCalibrationPoints(static_cast<int>(scene.M), static_cast<int>(scene.N)) != 1) {
        continue;  // a singular fit refuses before any node is looked at
      }
      ASSERT_EQ(State().NumberOfPoints - before, static_cast<long>(nodes.size()));
      for (std::size_t k = 0; k < nodes.size(); ++k) {
        const double* row = State().PointsInput.data() + 4 * (before + static_cast<long>(k));
        ASSERT_EQ(row[0], static_cast<double>(nodes[k][0]));
        ASSERT_EQ(row[1], static_cast<double>(nodes[k][1]));
      }
      ++compared;
    }
  }
  EXPECT_GT(compared, 50);
}

}  // namespace
}  // namespace zmr
