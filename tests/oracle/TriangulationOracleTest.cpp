// The fast triangulation against the exhaustive search: the triangle list (every slot of
// Tpoints, the scratch slot included), the counts, the progress and the log bytes must be
// identical on every generated point set: grids of every kind, scattered and clustered points,
// collinear, coincident and nearly coincident points, co-circular sets, slivers at the
// GetVectors limit, coordinates beyond the exact predicates' range, appends to earlier
// triangles, a short triangle list and cancels. The slow tier (ZMR_SLOW_TESTS=1) compares up to
// about a thousand points and checks the invariants of meshes up to MAXPoints - 1 points.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "geometry/Triangulate.h"
#include "oracle/LiteralTriangulation.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using Search = int (*)(const double*, const double*);

struct Cloud {
  std::vector<double> x, y;
  void Add(double px, double py) {
    x.push_back(px);
    y.push_back(py);
  }
  long Size() const { return static_cast<long>(x.size()); }
};

// Our own conversions of the generator output, so the point sets do not depend on the library.
struct Rng {
  explicit Rng(std::uint32_t seed) : engine(seed) {}
  double Unit() { return static_cast<double>(engine()) / 4294967296.0; }
  double Uniform(double lo, double hi) { return lo + (hi - lo) * Unit(); }
  double Normal(double sigma) {
    const double u = 1.0 - Unit();
    return sigma * std::sqrt(-2 * std::log(u)) * std::cos(2 * std::numbers::pi * Unit());
  }
  long Below(long n) { return static_cast<long>(engine() % static_cast<std::uint32_t>(n)); }
  bool Chance(double p) { return Unit() < p; }
  template <typename T>
  void Shuffle(std::vector<T>& v) {
    for (std::size_t k = v.size(); k > 1; --k)
      std::swap(v[k - 1], v[static_cast<std::size_t>(Below(static_cast<long>(k)))]);
  }
  std::mt19937 engine;
};

// ---- point sets -----------------------------------------------------------------------------

struct GridShape {
  int cols = 5, rows = 5;
  double pitch = 10, angle = 0, originX = 0, originY = 0;
  double radial = 0;   // relative displacement k r^2 about the grid's centre
  double missing = 0;  // fraction of nodes left out
  int spurious = 0;    // random points added inside the grid
  double jitter = 0;   // random displacement of every node
  int order = 0;       // 0 rows, 1 columns, 2 shuffled, 3 reversed
};

Cloud MakeGrid(const GridShape& g, std::uint32_t seed) {
  Rng rng(seed);
  Cloud c;
  const double cx = (g.cols - 1) * g.pitch / 2, cy = (g.rows - 1) * g.pitch / 2;
  const double cosA = std::cos(g.angle), sinA = std::sin(g.angle);
  const auto place = [&](double u, double v) {
    double du = u - cx, dv = v - cy;
    const double f = 1 + g.radial * (du * du + dv * dv);
    du *= f;
    dv *= f;
    c.Add(g.originX + cosA * du - sinA * dv, g.originY + sinA * du + cosA * dv);
  };
  std::vector<std::pair<int, int>> nodes;
  for (int r = 0; r < g.rows; ++r)
    for (int q = 0; q < g.cols; ++q) nodes.push_back({q, r});
  if (g.order == 1) {
    std::stable_sort(nodes.begin(), nodes.end(), [](auto a, auto b) { return a.first < b.first; });
  } else if (g.order == 2) {
    rng.Shuffle(nodes);
  } else if (g.order == 3) {
    std::reverse(nodes.begin(), nodes.end());
  }
  for (auto [q, r] : nodes) {
    if (rng.Chance(g.missing)) continue;
    place(q * g.pitch + rng.Normal(g.jitter), r * g.pitch + rng.Normal(g.jitter));
  }
  for (int s = 0; s < g.spurious; ++s) {
    const long at = rng.Below(c.Size() + 1);
    place(rng.Uniform(0, (g.cols - 1) * g.pitch), rng.Uniform(0, (g.rows - 1) * g.pitch));
    std::rotate(c.x.begin() + at, c.x.end() - 1, c.x.end());
    std::rotate(c.y.begin() + at, c.y.end() - 1, c.y.end());
  }
  return c;
}

Cloud Uniform(std::uint32_t seed, int n, double extent, double snap) {
  Rng rng(seed);
  Cloud c;
  for (int k = 0; k < n; ++k) {
    double x = rng.Uniform(0, extent), y = rng.Uniform(0, extent);
    if (snap > 0) {
      x = std::round(x / snap) * snap;
      y = std::round(y / snap) * snap;
    }
    c.Add(x, y);
  }
  return c;
}

Cloud Clustered(std::uint32_t seed, int n, int clusters, double spread, double extent) {
  Rng rng(seed);
  std::vector<std::pair<double, double>> centres;
  for (int k = 0; k < clusters; ++k)
    centres.push_back({rng.Uniform(0, extent), rng.Uniform(0, extent)});
  Cloud c;
  for (int k = 0; k < n; ++k) {
    const auto [x, y] = centres[static_cast<std::size_t>(rng.Below(clusters))];
    c.Add(x + rng.Normal(spread), y + rng.Normal(spread));
  }
  return c;
}

// Points on a few lines (some exactly collinear, some with tiny offsets), with a few others.
Cloud Lines(std::uint32_t seed, int n, double offsetScale) {
  Rng rng(seed);
  Cloud c;
  const int lines = 1 + static_cast<int>(rng.Below(3));
  for (int k = 0; k < n; ++k) {
    const int line = static_cast<int>(rng.Below(lines + 1));
    if (line == lines) {
      c.Add(rng.Uniform(0, 100), rng.Uniform(0, 100));
      continue;
    }
    const double t = std::round(rng.Uniform(0, 40)) * 2.5;
    const double offset = offsetScale * rng.Normal(1.0);
    switch (line) {
      case 0:
        c.Add(t, 30 + offset);
        break;
      case 1:
        c.Add(t, t + offset);
        break;
      default:
        c.Add(10 + 0.3 * t + offset, 7 + 0.7 * t);
        break;
    }
  }
  return c;
}

// A grid whose points come two or three times, some exactly and some nearly repeated.
Cloud Repeated(std::uint32_t seed, int side, double nearby) {
  Rng rng(seed);
  Cloud base = MakeGrid({side, side, 10, 0.2, 50, 50}, seed);
  Cloud c;
  for (long k = 0; k < base.Size(); ++k) {
    c.Add(base.x[k], base.y[k]);
    if (rng.Chance(0.4)) c.Add(base.x[k], base.y[k]);
    if (rng.Chance(0.3))
      c.Add(base.x[k] + nearby * rng.Normal(1), base.y[k] + nearby * rng.Normal(1));
  }
  std::vector<long> order(c.Size());
  for (long k = 0; k < c.Size(); ++k) order[k] = k;
  rng.Shuffle(order);
  Cloud shuffled;
  for (long k : order) shuffled.Add(c.x[k], c.y[k]);
  return shuffled;
}

// Points on one circle (regular or at random angles), with its centre and a few outside.
Cloud Circle(std::uint32_t seed, int n, double radius, bool regular) {
  Rng rng(seed);
  Cloud c;
  for (int k = 0; k < n; ++k) {
    const double a = regular ? 2 * std::numbers::pi * k / n : rng.Uniform(0, 2 * std::numbers::pi);
    c.Add(100 + radius * std::cos(a), 100 + radius * std::sin(a));
  }
  c.Add(100, 100);
  c.Add(100 + 2 * radius, 100);
  return c;
}

// The corners of a regular polygon, on one circle.
Cloud Polygon(int n) {
  Cloud c;
  for (int k = 0; k < n; ++k) {
    c.Add(100 + 50 * std::cos(2 * std::numbers::pi * k / n),
          100 + 50 * std::sin(2 * std::numbers::pi * k / n));
  }
  return c;
}

Cloud Hexagonal(int cols, int rows, double pitch, double angle) {
  Cloud c;
  for (int r = 0; r < rows; ++r) {
    for (int q = 0; q < cols; ++q) {
      const double u = (q + 0.5 * (r % 2)) * pitch, v = r * pitch * std::sqrt(3.0) / 2;
      c.Add(std::cos(angle) * u - std::sin(angle) * v, std::sin(angle) * u + std::cos(angle) * v);
    }
  }
  return c;
}

// Thin triangles around the |sin| = 0.001 limit of GetVectors: points along a line with
// perpendicular offsets of about a thousandth of their spacing.
Cloud Slivers(std::uint32_t seed, int n) {
  Rng rng(seed);
  Cloud c;
  for (int k = 0; k < n; ++k) {
    const double t = rng.Uniform(0, 1000);
    c.Add(t, 300 + 0.0005 * t * rng.Uniform(-2, 2) + (rng.Chance(0.2) ? rng.Uniform(-60, 60) : 0));
  }
  return c;
}

// Few points on a small integer lattice: collinear triples, co-circular quadruples and
// coincident points in every combination.
Cloud SmallLattice(std::uint32_t seed, int n, int side, double scale) {
  Rng rng(seed);
  Cloud c;
  for (int k = 0; k < n; ++k) {
    c.Add(scale * static_cast<double>(rng.Below(side)),
          scale * static_cast<double>(rng.Below(side)));
  }
  return c;
}

// Points of a lattice line near the origin (coordinates of mixed magnitudes, so that the
// differences are rounded) with one point beside each segment, on either side, in random
// order. EdgeIntercept can report a crossing of two such collinear segments although they
// lie apart, and the exhaustive search then rejects a triangle far from any other.
Cloud LatticeLine(std::uint32_t seed) {
  Rng rng(seed);
  const long dx = 1 + rng.Below(9), dy = 1 + rng.Below(9);
  const double scales[] = {0.1, 0.7, 1.0 / 3, 0.3};
  const double scale = scales[rng.Below(4)];
  const double ox = static_cast<double>(rng.Below(40)) * 0.1;
  const double oy = static_cast<double>(rng.Below(40)) * 0.1;
  const long m = 6 + rng.Below(10);
  const double length = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
  Cloud line;
  for (long k = 0; k < m; ++k) {
    line.Add(ox + static_cast<double>(dx * k) * scale, oy + static_cast<double>(dy * k) * scale);
  }
  for (long k = 0; k + 1 < m; ++k) {
    const double o = (rng.Chance(0.5) ? 1 : -1) * (0.2 + rng.Unit()) * scale;
    const double t = static_cast<double>(k) + 0.5;
    line.Add(ox + static_cast<double>(dx) * t * scale + o * static_cast<double>(dy) / length,
             oy + static_cast<double>(dy) * t * scale - o * static_cast<double>(dx) / length);
  }
  std::vector<long> order(line.Size());
  for (long k = 0; k < line.Size(); ++k) order[k] = k;
  rng.Shuffle(order);
  Cloud c;
  for (long k : order) c.Add(line.x[k], line.y[k]);
  return c;
}

// The set without repeated points (the first of each).
Cloud Distinct(const Cloud& c) {
  std::set<std::pair<double, double>> seen;
  Cloud out;
  for (long k = 0; k < c.Size(); ++k) {
    if (seen.insert({c.x[k], c.y[k]}).second) out.Add(c.x[k], c.y[k]);
  }
  return out;
}

// ---- running a search -----------------------------------------------------------------------

struct Outcome {
  std::vector<int> tpoints;
  long triangles = 0;
  int iTriangles = 0;
  int progress = 0;
  std::string log;
};

// A log stream that sets fTerminated once a given number of triangles has been accepted.
struct CancelAfter {
  int accepted;
  std::string text;
  int lines = 0;
};

ssize_t CancelWrite(void* cookie, const char* buf, std::size_t size) {
  auto* c = static_cast<CancelAfter*>(cookie);
  c->text.append(buf, size);
  for (std::size_t k = 0; k + 1 < size; ++k) {
    if (buf[k] == ']' && buf[k + 1] == '\n') ++c->lines;
  }
  if (c->lines >= c->accepted) State().fTerminated = 1;
  return static_cast<ssize_t>(size);
}

// Room for every triple of 10 points (coincident points can make more triangles than 2N - 5).
constexpr long kSmallSlots = 130;

struct RunOptions {
  long slots = -1;       // Tpoints slots; -1 for 2 * MAXPoints
  int passes = 1;        // later passes append to the triangles of the earlier ones
  int cancelAfter = -1;  // accepted triangles after which the log stream cancels
};

Outcome RunSearch(Search search, const Cloud& c, const RunOptions& options = {}) {
  ProgramState& s = State();
  s.NumberOfPoints = c.Size();
  s.NumberOfTriangles = 0;
  s.iTriangles = -1;
  s.iProgressStatus = -1;
  s.fTerminated = 0;
  s.Tpoints.assign(
      static_cast<std::size_t>(3 * (options.slots < 0 ? 2 * s.MAXPoints : options.slots)), -7);
  Outcome out;
  for (int pass = 0; pass < options.passes; ++pass) {
    if (options.cancelAfter >= 0) {
      CancelAfter cancel{options.cancelAfter, {}};
      s.OUT_LOG = fopencookie(&cancel, "w", {nullptr, CancelWrite, nullptr, nullptr});
      std::setvbuf(s.OUT_LOG, nullptr, _IONBF, 0);
      search(c.x.data(), c.y.data());
      std::fclose(s.OUT_LOG);
      out.log += cancel.text;
    } else {
      char* buffer = nullptr;
      std::size_t size = 0;
      s.OUT_LOG = open_memstream(&buffer, &size);
      search(c.x.data(), c.y.data());
      std::fclose(s.OUT_LOG);
      out.log.append(buffer, size);
      std::free(buffer);
    }
    s.OUT_LOG = nullptr;
  }
  out.tpoints = s.Tpoints;
  out.triangles = s.NumberOfTriangles;
  out.iTriangles = s.iTriangles.load();
  out.progress = s.iProgressStatus.load();
  return out;
}

// The first line where two logs differ, for the failure message.
std::string FirstDifference(const std::string& a, const std::string& b) {
  std::size_t line = 0, start = 0;
  for (std::size_t k = 0; k < std::min(a.size(), b.size()); ++k) {
    if (a[k] != b[k]) {
      const auto end = [&](const std::string& s) {
        return s.substr(start, s.find('\n', start) - start);
      };
      return "line " + std::to_string(line) + ": fast '" + end(a) + "', literal '" + end(b) + "'";
    }
    if (a[k] == '\n') {
      ++line;
      start = k + 1;
    }
  }
  return "lengths " + std::to_string(a.size()) + " and " + std::to_string(b.size());
}

// Runs both searches and compares everything they leave; returns the fast one's outcome.
Outcome ExpectSameAsLiteral(const Cloud& c, const RunOptions& options = {}) {
  const Outcome literal = RunSearch(oracle::TriangulateLiteral, c, options);
  const Outcome fast = RunSearch(Triangulate, c, options);
  EXPECT_EQ(fast.triangles, literal.triangles);
  EXPECT_EQ(fast.iTriangles, literal.iTriangles);
  EXPECT_EQ(fast.progress, literal.progress);
  EXPECT_TRUE(fast.tpoints == literal.tpoints) << "triangle lists differ";
  EXPECT_TRUE(fast.log == literal.log) << FirstDifference(fast.log, literal.log);
  return fast;
}

// ---- invariants of a mesh -------------------------------------------------------------------

double Cross(const Cloud& c, int a, int b, int d) {
  return (c.x[b] - c.x[a]) * (c.y[d] - c.y[a]) - (c.y[b] - c.y[a]) * (c.x[d] - c.x[a]);
}

// Meshes whose circumcircles can be computed in double precision.
bool Ordinary(const Cloud& c) {
  double lo = INFINITY, hi = -INFINITY;
  for (long k = 0; k < c.Size(); ++k) {
    for (double v : {c.x[k], c.y[k]}) {
      if (!std::isfinite(v) || std::fabs(v) > 1e30) return false;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  return c.Size() == 0 || hi - lo > 1e-30;
}

// Stored orientation, no two triangles with properly crossing edges (the crossing test of the
// search: EdgeIntercept of the later triangle's edge with the earlier one's), and no point
// clearly inside a circumcircle. A uniform grid keeps the checks near linear.
void ExpectMeshInvariants(const Cloud& c, const std::vector<int>& tp, long triangles) {
  double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  for (long k = 0; k < c.Size(); ++k) {
    minX = std::min(minX, c.x[k]);
    maxX = std::max(maxX, c.x[k]);
    minY = std::min(minY, c.y[k]);
    maxY = std::max(maxY, c.y[k]);
  }
  const long side = std::max(1L, static_cast<long>(std::sqrt(static_cast<double>(c.Size()))));
  const double w = std::max(maxX - minX, 1e-9) / static_cast<double>(side);
  const double h = std::max(maxY - minY, 1e-9) / static_cast<double>(side);
  const auto cellX = [&](double x) {
    return std::clamp(static_cast<long>((x - minX) / w), 0L, side - 1);
  };
  const auto cellY = [&](double y) {
    return std::clamp(static_cast<long>((y - minY) / h), 0L, side - 1);
  };
  std::vector<std::vector<long>> pointCells(static_cast<std::size_t>(side * side));
  for (long k = 0; k < c.Size(); ++k)
    pointCells[static_cast<std::size_t>(cellY(c.y[k]) * side + cellX(c.x[k]))].push_back(k);
  std::vector<std::vector<long>> triCells(static_cast<std::size_t>(side * side));
  long badOrientation = 0, crossings = 0, inside = 0;
  for (long t = 0; t < triangles; ++t) {
    const int* v = tp.data() + 3 * t;
    if (Cross(c, v[0], v[1], v[2]) < 0) ++badOrientation;
    double bx0 = INFINITY, by0 = INFINITY, bx1 = -INFINITY, by1 = -INFINITY;
    for (int e = 0; e < 3; ++e) {
      bx0 = std::min(bx0, c.x[v[e]]);
      bx1 = std::max(bx1, c.x[v[e]]);
      by0 = std::min(by0, c.y[v[e]]);
      by1 = std::max(by1, c.y[v[e]]);
    }
    std::vector<long> seen;
    for (long cy = cellY(by0); cy <= cellY(by1); ++cy) {
      for (long cx = cellX(bx0); cx <= cellX(bx1); ++cx) {
        for (long u : triCells[static_cast<std::size_t>(cy * side + cx)]) {
          if (std::find(seen.begin(), seen.end(), u) != seen.end()) continue;
          seen.push_back(u);
          const int* w2 = tp.data() + 3 * u;
          for (int e = 0; e < 3; ++e)
            for (int f = 0; f < 3; ++f)
              crossings += EdgeIntercept(v[e], v[(e + 1) % 3], w2[f], w2[(f + 1) % 3], c.x.data(),
                                         c.y.data());
        }
        triCells[static_cast<std::size_t>(cy * side + cx)].push_back(t);
      }
    }
    // Circumcircle, computed relative to the first corner, and every point of the cells it
    // covers.
    const double ax = c.x[v[0]], ay = c.y[v[0]];
    const double bx = c.x[v[1]] - ax, by = c.y[v[1]] - ay;
    const double qx = c.x[v[2]] - ax, qy = c.y[v[2]] - ay;
    const double d = 2 * (bx * qy - by * qx);
    const double b2 = bx * bx + by * by, q2 = qx * qx + qy * qy;
    const double ux = (qy * b2 - by * q2) / d, uy = (bx * q2 - qx * b2) / d;
    const double r2 = ux * ux + uy * uy;
    const double r = std::sqrt(r2);
    for (long cy = cellY(ay + uy - r); cy <= cellY(ay + uy + r); ++cy) {
      for (long cx = cellX(ax + ux - r); cx <= cellX(ax + ux + r); ++cx) {
        for (long l : pointCells[static_cast<std::size_t>(cy * side + cx)]) {
          const double dx = c.x[l] - ax - ux, dy = c.y[l] - ay - uy;
          if (dx * dx + dy * dy < r2 * (1 - 1e-7)) ++inside;
        }
      }
    }
  }
  EXPECT_EQ(badOrientation, 0);
  EXPECT_EQ(crossings, 0);
  EXPECT_EQ(inside, 0);
}

bool SlowTests() {
  const char* value = std::getenv("ZMR_SLOW_TESTS");
  return value != nullptr && std::string(value) == "1";
}

// ---- the cases ------------------------------------------------------------------------------

struct Case {
  std::string name;
  std::function<Cloud()> make;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<Case> FastCases() {
  std::vector<Case> cases;
  const auto grid = [&](const std::string& name, GridShape g, std::uint32_t seed) {
    cases.push_back({name, [g, seed] { return MakeGrid(g, seed); }});
  };
  // Axis-aligned grids with integer and fractional pitches, in four point orders.
  for (int order = 0; order < 4; ++order) {
    const std::string o = std::to_string(order);
    grid("Integer10x10Order" + o, {10, 10, 10, 0, 0, 0, 0, 0, 0, 0, order}, 1);
    grid("Fraction9x11Order" + o, {9, 11, 10.3, 0, 100, 100, 0, 0, 0, 0, order}, 2);
  }
  grid("Pitch7_77", {12, 10, 7.77, 0, 13.1, 7.9}, 3);
  grid("PitchTenth", {11, 11, 0.1, 0, 0.05, 0.05}, 4);
  grid("PitchThousandth", {8, 8, 0.001, 0, 1, 1}, 5);
  grid("PitchNearThousandth", {8, 8, 0.0015, 0, 0, 0}, 6);
  grid("PitchThousand", {9, 9, 1000, 0, -4000, 2500}, 7);
  grid("FarFromOrigin", {10, 10, 10.3, 0, 1e6, 1e6 + 0.5}, 8);
  grid("LargeInteger", {13, 13, 64, 0, 0, 0}, 9);
  // Rotated, scaled and distorted grids.
  const double angles[] = {0.1, std::numbers::pi / 4, std::numbers::pi / 6, 1.3, 2.9};
  for (int a = 0; a < 5; ++a) {
    grid("Rotated" + std::to_string(a), {10 + a, 9, 12.5, angles[a], 300, 200, 0, 0, 0, 0, a % 4},
         10 + a);
  }
  grid("Barrel", {12, 12, 10, 0.05, 120, 120, 2e-5}, 20);
  grid("Pincushion", {12, 11, 10, 0, 120, 120, -2e-5}, 21);
  grid("StrongBarrel", {10, 10, 10, 0.3, 200, 200, 3e-4}, 22);
  grid("TinyRadial", {12, 12, 10, 0, 100, 100, 1e-12}, 23);
  for (int k = 0; k < 4; ++k) {
    grid("Missing" + std::to_string(k), {12, 12, 10.5, 0.02 * k, 50, 50, 0, 0.15, 0, 0, k}, 30 + k);
    grid("Spurious" + std::to_string(k), {11, 11, 10, 0.4 * k, 50, 50, 0, 0, 8, 0, k}, 40 + k);
    grid("MissingAndSpurious" + std::to_string(k), {12, 10, 9.7, 0.7, 80, 30, 1e-5, 0.1, 5, 0, k},
         50 + k);
    grid("Jitter" + std::to_string(k), {12, 12, 10, 0, 0, 0, 0, 0, 0, 0.3 * k + 1e-9, k}, 60 + k);
  }
  grid("LongStrip", {60, 3, 10, 0.2, 0, 0}, 70);
  grid("SingleRow", {40, 1, 10, 0.5, 0, 0}, 71);
  grid("Largest", {16, 16, 11.3, 0.25, 500, 400, 1e-6, 0.02, 3, 0, 0}, 72);
  cases.push_back({"Hexagonal", [] { return Hexagonal(12, 12, 10, 0); }});
  cases.push_back({"HexagonalRotated", [] { return Hexagonal(11, 10, 7.3, 0.4); }});
  // Scattered points.
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    cases.push_back({"Uniform" + std::to_string(seed),
                     [seed] { return Uniform(seed, 60 + 25 * static_cast<int>(seed), 700, 0); }});
    cases.push_back({"Snapped" + std::to_string(seed),
                     [seed] { return Uniform(seed, 120, 40, 1 + 0.5 * (seed % 2)); }});
    cases.push_back({"Clustered" + std::to_string(seed), [seed] {
                       return Clustered(seed, 150, 1 + static_cast<int>(seed), 3 + 5.0 * seed,
                                        1000);
                     }});
  }
  cases.push_back({"TinyClusters", [] { return Clustered(99, 160, 3, 0.01, 1000); }});
  // Degenerate sets.
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    cases.push_back({"Collinear" + std::to_string(seed), [seed] { return Lines(seed, 60, 0); }});
    cases.push_back({"NearlyCollinear" + std::to_string(seed),
                     [seed] { return Lines(seed, 60, 1e-4 * seed); }});
    cases.push_back({"Repeated" + std::to_string(seed),
                     [seed] { return Repeated(seed, 7, 1e-4 * seed * seed); }});
    cases.push_back({"Slivers" + std::to_string(seed), [seed] { return Slivers(seed, 70); }});
  }
  cases.push_back({"RepeatedAtThousandth", [] { return Repeated(11, 6, 0.0007); }});
  cases.push_back({"CircleRegular", [] { return Circle(1, 16, 50, true); }});
  cases.push_back({"CircleRandom", [] { return Circle(2, 14, 30.7, false); }});
  cases.push_back({"CircleTiny", [] { return Circle(3, 12, 0.01, true); }});
  // Many co-circular points: all their triples are candidates; beyond 200 the search visits
  // every triple instead.
  cases.push_back({"Polygon100", [] { return Polygon(100); }});
  cases.push_back({"Polygon201", [] { return Polygon(201); }});
  // Coordinates the exact predicates do not take, and points that are not numbers.
  cases.push_back({"HugeCoordinates", [] {
                     Cloud c = MakeGrid({5, 5, 10, 0.3}, 80);
                     c.Add(1e45, 2e45);
                     c.Add(-3e44, 1e30);
                     return c;
                   }});
  cases.push_back({"TinyCoordinates", [] {
                     Cloud c = MakeGrid({5, 4, 1e-42, 0.1}, 81);
                     c.Add(0, 0);
                     return c;
                   }});
  cases.push_back({"NotANumber", [] {
                     Cloud c = MakeGrid({8, 8, 10, 0.2, 30, 30}, 82);
                     c.x[5] = std::numeric_limits<double>::quiet_NaN();
                     c.y[17] = std::numeric_limits<double>::infinity();
                     c.x[30] = -std::numeric_limits<double>::infinity();
                     c.Add(std::numeric_limits<double>::quiet_NaN(), 1);
                     return c;
                   }});
  return cases;
}

class TriangulationOracleTest : public test::StateTest, public testing::WithParamInterface<Case> {};

TEST_P(TriangulationOracleTest, FastSearchEqualsExhaustiveSearch) {
  const Cloud c = GetParam().make();
  const Outcome fast = ExpectSameAsLiteral(c);
  if (Ordinary(c)) ExpectMeshInvariants(c, fast.tpoints, fast.triangles);
}

INSTANTIATE_TEST_SUITE_P(Generated, TriangulationOracleTest, testing::ValuesIn(FastCases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

using TriangulationOracleRunTest = test::StateTest;

// Every size from 0 to 10 points, on lattices small enough to hold many coincident, collinear
// and co-circular configurations, and at random positions.
TEST_F(TriangulationOracleRunTest, EverySmallSetEqualsExhaustiveSearch) {
  for (int n = 0; n <= 10; ++n) {
    for (std::uint32_t seed = 0; seed < 120; ++seed) {
      SCOPED_TRACE("n " + std::to_string(n) + ", seed " + std::to_string(seed));
      const int side = 2 + static_cast<int>(seed % 4);
      const double scale = seed % 3 == 0 ? 1.0 : seed % 3 == 1 ? 0.7 : 1e-3;
      const Cloud c = seed < 90 ? SmallLattice(seed * 31 + n, n, side, scale)
                                : Uniform(seed * 17 + n, n, 10, 0);
      ExpectSameAsLiteral(c, {kSmallSlots, 1, -1});
      if (HasFailure()) return;
    }
  }
}

// Collinear segments apart from each other that EdgeIntercept takes as crossing.
TEST_F(TriangulationOracleRunTest, SegmentsApartOnOneLineEqualExhaustiveSearch) {
  std::vector<std::uint32_t> seeds{311};  // the first seed with such a rejection
  for (std::uint32_t seed = 0; seed < 150; ++seed) seeds.push_back(seed);
  for (std::uint32_t seed : seeds) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    ExpectSameAsLiteral(LatticeLine(seed), {kSmallSlots, 1, -1});
    if (HasFailure()) return;
  }
}

// A second search appends to the triangles of the first and is blocked by them.
TEST_F(TriangulationOracleRunTest, AppendingSearchEqualsExhaustiveSearch) {
  ExpectSameAsLiteral(MakeGrid({8, 8, 10, 0.3, 50, 50}, 1), {-1, 2, -1});
  ExpectSameAsLiteral(Uniform(5, 80, 300, 0), {-1, 3, -1});
}

// Too few slots: the search stops at the first candidate without one, at any point.
TEST_F(TriangulationOracleRunTest, ShortTriangleListEqualsExhaustiveSearch) {
  const Cloud grid = MakeGrid({9, 9, 10.3, 0.1, 50, 50}, 2);
  const Cloud scattered = Uniform(6, 90, 500, 0);
  for (long slots : {0L, 1L, 2L, 17L, 60L, 127L, 128L, 129L}) {
    SCOPED_TRACE("slots " + std::to_string(slots));
    ExpectSameAsLiteral(grid, {slots, 1, -1});
    ExpectSameAsLiteral(scattered, {slots, 1, -1});
  }
}

// A cancel after any number of accepted triangles keeps the same prefix, counts and log.
TEST_F(TriangulationOracleRunTest, CancelledSearchEqualsExhaustiveSearch) {
  const Cloud grid = MakeGrid({9, 8, 10, 0, 20, 20}, 3);
  const Cloud rotated = MakeGrid({8, 8, 10.3, 0.7, 20, 20, 0, 0.1}, 4);
  const Outcome full = RunSearch(Triangulate, grid);
  for (int after : {0, 1, 5, 30, 90, 111, 112}) {
    SCOPED_TRACE("cancel after " + std::to_string(after));
    ExpectSameAsLiteral(grid, {-1, 1, after});
    ExpectSameAsLiteral(rotated, {-1, 1, after});
    const Outcome cut = RunSearch(Triangulate, grid, {-1, 1, after});
    const long kept = std::min<long>(after, full.triangles);
    EXPECT_EQ(cut.triangles, kept);
    EXPECT_TRUE(
        std::equal(cut.tpoints.begin(), cut.tpoints.begin() + 3 * kept, full.tpoints.begin()));
    EXPECT_EQ(cut.log, full.log.substr(0, cut.log.size()));
  }
}

// A cancel before the search: the header, no triangle, and the progress left alone.
TEST_F(TriangulationOracleRunTest, SearchCancelledBeforeItStartsMakesNothing) {
  const Cloud c = MakeGrid({6, 6, 10}, 5);
  for (Search search : {Search{Triangulate}, Search{oracle::TriangulateLiteral}}) {
    ProgramState& s = State();
    s.NumberOfPoints = c.Size();
    s.NumberOfTriangles = 0;
    s.iProgressStatus = 37;
    s.fTerminated = 1;
    s.Tpoints.assign(600, 0);
    char* buffer = nullptr;
    std::size_t size = 0;
    s.OUT_LOG = open_memstream(&buffer, &size);
    search(c.x.data(), c.y.data());
    std::fclose(s.OUT_LOG);
    s.OUT_LOG = nullptr;
    EXPECT_EQ(std::string(buffer, size), "Automatic triangulation \n");
    std::free(buffer);
    EXPECT_EQ(s.NumberOfTriangles, 0);
    EXPECT_EQ(s.iProgressStatus.load(), 37);
  }
}

// ---- the slow tier --------------------------------------------------------------------------

TEST_F(TriangulationOracleRunTest, LargeSetsEqualExhaustiveSearch) {
  if (!SlowTests()) GTEST_SKIP() << "set ZMR_SLOW_TESTS=1";
  ExpectSameAsLiteral(MakeGrid({25, 24, 12.7, 0.15, 400, 300, 1e-6, 0.01, 4}, 90));
  ExpectSameAsLiteral(MakeGrid({32, 31, 10, 0, 0, 0}, 91));
  ExpectSameAsLiteral(Clustered(92, 700, 9, 15, 1500));
}

TEST_F(TriangulationOracleRunTest, LargestMeshesKeepTheirInvariants) {
  if (!SlowTests()) GTEST_SKIP() << "set ZMR_SLOW_TESTS=1";
  const long most = State().MAXPoints - 1;
  const std::vector<std::pair<std::string, Cloud>> clouds = {
      {"grid", MakeGrid({71, 71, 10, 0, 0, 0}, 93)},
      {"rotated", MakeGrid({70, 72, 11.3, 0.35, 1000, 1000, 1e-7, 0.02, 60}, 94)},
      {"barrel", MakeGrid({71, 70, 9.7, 1.2, 500, 500, 3e-7}, 95)},
      {"uniform", Uniform(96, static_cast<int>(most), 2000, 0)},
      {"clustered", Clustered(97, static_cast<int>(most), 40, 12, 3000)},
      {"snapped", Distinct(Uniform(98, static_cast<int>(most), 300, 1))},
  };
  for (const auto& [name, cloud] : clouds) {
    SCOPED_TRACE(name);
    Cloud c = cloud;
    c.x.resize(std::min<std::size_t>(c.x.size(), static_cast<std::size_t>(most)));
    c.y.resize(c.x.size());
    const Outcome out = RunSearch(Triangulate, c);
    EXPECT_GT(out.triangles, c.Size());
    EXPECT_EQ(out.iTriangles, out.triangles);
    EXPECT_EQ(out.progress, 100);
    ExpectMeshInvariants(c, out.tpoints, out.triangles);
  }
}

}  // namespace
}  // namespace zmr
