#include "geometry/Triangulate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <queue>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "geometry/Delaunay.h"
#include "state/Array.h"
#include "state/ProgramState.h"
#include "state/TraceLog.h"

namespace zmr {
namespace {

// Parameter margin of EdgeIntercept: crossings this close to a segment's end do not count.
constexpr double kEdgeEpsilon = 0.01;
// Shortest vector UnitVector normalises, and the smallest |sin| GetVectors accepts.
constexpr double kMinLength = 0.001;
constexpr double kMinSine = 0.001;
// The crossing parameters FindIntersection reports for parallel lines.
constexpr double kParallelParameter = 1000.0;

bool Cancelled(const ProgramState& s) { return s.fTerminated.load() != 0; }

// |P - (x, y)|: the circumradius and the distances of the empty-circle scan are compared as
// lengths, square root included, so that any faster search can reproduce them exactly.
double Distance(const double* P, double x, double y) {
  return std::sqrt((P[0] - x) * (P[0] - x) + (P[1] - y) * (P[1] - y));
}

}  // namespace

bool TriangulationCapacityOk(const ProgramState& s, long n) {
  if (n < 0 || s.MAXPoints < 1 || n > s.MAXPoints - 1) return false;
  return static_cast<long long>(s.PointsBuffer.size()) >= 2LL * s.MAXPoints &&
         static_cast<long long>(s.PointsInput.size()) >= 4LL * s.MAXPoints;
}

namespace {
int MakeTriangulationClearing(ProgramState& s, int flag, bool clearCancel) {
  s.NumberOfTriangles = 0;
  s.iTriangles = 0;
  s.meshIncomplete = false;
  const long n = s.NumberOfPoints;
  if (!TriangulationCapacityOk(s, n)) return 0;

  double* px = s.PointsBuffer.data() + 1;
  double* py = s.PointsBuffer.data() + s.MAXPoints + 1;
  if (flag == 1) {
    if (clearCancel) s.fTerminated = 0;
    GetArrayColumn(px, s.PointsInput.data(), 4, n, 0);
    GetArrayColumn(py, s.PointsInput.data(), 4, n, 1);
  }

  // An earlier stage may have left the shared log open; closing it first keeps its lines ahead
  // of ours in the file.
  OpenTraceLog(s, flag == 1 ? "w" : "a");

  if (n > 2) Triangulate(s, px, py);

  CloseTraceLog(s);
  return 0;
}
}  // namespace

int MakeTriangulation(ProgramState& s, int flag) {
  return MakeTriangulationClearing(s, flag, true);
}
int MakeTriangulationOnWorker(ProgramState& s, int flag) {
  return MakeTriangulationClearing(s, flag, false);
}

int GetVectors(long i, long j, long k, const double* PX, const double* PY, double* Oa, double* Va,
               double* Ob, double* Vb, double* O) {
  Oa[0] = (PX[i] + PX[j]) / 2;
  Oa[1] = (PY[i] + PY[j]) / 2;
  Va[0] = PY[j] - PY[i];
  Va[1] = -(PX[j] - PX[i]);
  UnitVector(Va);

  Ob[0] = (PX[i] + PX[k]) / 2;
  Ob[1] = (PY[i] + PY[k]) / 2;
  Vb[0] = PY[k] - PY[i];
  Vb[1] = -(PX[k] - PX[i]);
  UnitVector(Vb);

  O[0] = PX[i];
  O[1] = PY[i];
  return std::fabs(Va[0] * Vb[1] - Va[1] * Vb[0]) >= kMinSine ? 1 : 0;
}

int UnitVector(double* P) {
  const double length = std::sqrt(P[0] * P[0] + P[1] * P[1]);
  if (length > kMinLength) {
    P[0] /= length;
    P[1] /= length;
    return 1;
  }
  return 0;
}

int FindIntersection(const double* Oa, const double* Va, const double* Ob, const double* Vb,
                     double* P, double* s, double* t) {
  const double det = Vb[0] * Va[1] - Vb[1] * Va[0];
  if (det == 0) {
    *s = kParallelParameter;
    *t = kParallelParameter;
    return 1;
  }
  const double dx = Oa[0] - Ob[0];
  const double dy = Oa[1] - Ob[1];
  *s = (dx * Vb[1] - dy * Vb[0]) / det;
  *t = (dx * Va[1] - dy * Va[0]) / det;
  P[0] = Oa[0] + *s * Va[0];
  P[1] = Oa[1] + *s * Va[1];
  return 0;
}

int EdgeIntercept(int i1, int i2, int i3, int i4, const double* PX, const double* PY) {
  const double Oa[2] = {PX[i1], PY[i1]};
  const double Va[2] = {PX[i2] - PX[i1], PY[i2] - PY[i1]};
  const double Ob[2] = {PX[i3], PY[i3]};
  const double Vb[2] = {PX[i4] - PX[i3], PY[i4] - PY[i3]};
  double P[2] = {0.0, 0.0};
  double s = 0.0;
  double t = 0.0;
  FindIntersection(Oa, Va, Ob, Vb, P, &s, &t);
  return (s > kEdgeEpsilon && s < 1 - kEdgeEpsilon && t > kEdgeEpsilon && t < 1 - kEdgeEpsilon) ? 1
                                                                                                : 0;
}

int TrianglesOverlap(const int* a, const int* b, const double* PX, const double* PY) {
  const int* tri[2] = {a, b};
  const auto turn = [PX, PY](int p, int q, int r) {
    return OrientationSignScaled(PX[p], PY[p], PX[q], PY[q], PX[r], PY[r]);
  };
  int sense[2];
  for (int t = 0; t < 2; ++t) {
    for (int e = 0; e < 3; ++e) {
      if (!std::isfinite(PX[tri[t][e]]) || !std::isfinite(PY[tri[t][e]])) return 0;
    }
    sense[t] = turn(tri[t][0], tri[t][1], tri[t][2]);
    if (sense[t] == 0) return 0;  // no interior
  }
  // The same three positions (copies of points): the same triangle. Saves the exact arithmetic
  // that the collinear triples of the test below would need.
  const auto among = [&](int p) {
    for (int f = 0; f < 3; ++f) {
      if (PX[p] == PX[b[f]] && PY[p] == PY[b[f]]) return true;
    }
    return false;
  };
  if (among(a[0]) && among(a[1]) && among(a[2])) return 1;
  // Two convex polygons with disjoint interiors have a separating line through an edge of one.
  for (int t = 0; t < 2; ++t) {
    if (sense[t] == 2) continue;  // which side is inside is not known
    const int* own = tri[t];
    const int* other = tri[1 - t];
    for (int e = 0; e < 3; ++e) {
      bool separates = true;
      for (int f = 0; f < 3 && separates; ++f) {
        const int side = turn(own[e], own[(e + 1) % 3], other[f]);
        separates = side != 2 && side != sense[t];
      }
      if (separates) return 0;
    }
  }
  return 1;
}

int TestTriangleOverlap(const ProgramState& s, long m, const double* PX, const double* PY) {
  const int* candidate = s.Tpoints.data() + 3 * m;
  int crossings = 0;
  for (long l = 0; l < s.NumberOfTriangles && crossings == 0; ++l) {
    const int* accepted = s.Tpoints.data() + 3 * l;
    for (int e = 0; e < 3; ++e) {
      for (int f = 0; f < 3; ++f) {
        crossings += EdgeIntercept(candidate[e], candidate[(e + 1) % 3], accepted[f],
                                   accepted[(f + 1) % 3], PX, PY);
      }
    }
  }
  return crossings;
}

double Angle(const double* O, const double* B, const double* C) {
  const double ua[2] = {B[0] - O[0], B[1] - O[1]};
  const double ub[2] = {C[0] - O[0], C[1] - O[1]};
  const double lengths =
      std::sqrt(ua[0] * ua[0] + ua[1] * ua[1]) * std::sqrt(ub[0] * ub[0] + ub[1] * ub[1]);
  // Rounding can push the cosine of equal or opposite directions just past +-1, where acos has
  // no value; the clamp keeps those at 0 and 180 degrees.
  const double cosine = std::clamp((ua[0] * ub[0] + ua[1] * ub[1]) / lengths, -1.0, 1.0);
  double a = std::acos(cosine);
  if (ua[0] * ub[1] - ua[1] * ub[0] >= 0) a = 2 * std::numbers::pi - a;
  return a * 180.0 / std::numbers::pi;
}

// ---- the fast search ------------------------------------------------------------------------
//
// Why the candidate set is complete. Let a triple (a, b, c) pass the circle test: GetVectors
// accepted it, so |sin| of its angle at the first point is at least 0.001 and its true
// circumradius R is at most 500 times its longest edge; and no point l gave
// fl|P - l| < fl|P - a| for the computed centre P. The perpendicular-bisector construction puts
// P within Delta <= 22000 u (M + R) of the true centre c (u = 2^-53, M the largest coordinate
// magnitude: the midpoints and unit directions carry errors of a few u, magnified at most 1000
// times by the 0.001 determinant), so every point lies at least R - delta from c,
// delta = 2 Delta + 8 u R, and its power |p - c|^2 - R^2 is at least -2 R delta =: -eps.
// Lifting points to the paraboloid z = x^2 + y^2 makes powers heights above planes: the lower
// hull L of the lifted points is the Delaunay triangulation, the plane h of (a, b, c) lies at
// most eps above L everywhere and not below it over the triangle abc. Take the Delaunay
// triangle t holding the centroid g of abc; its plane h_t supports L and equals L at g. Then
// h - h_t is affine, >= 0 over abc and <= eps at g, the mean of its values at a, b, c; so each
// of a, b, c has power at most 3 eps with respect to the circumcircle of t. The same picture
// bounds R: some corner v of t is no farther than g from c in the direction of g, and lies
// outside the circle up to delta, so diam(t) >= |v - g| and |v - g|^2 >= (depth of g - delta) R,
// with the depth R - |g - c| at least (sum of squared edges) / (18 R); hence
// R <= 3000 diam(t), or R <= 1.3e-4 M when the depth of g is below 2 delta. The candidates of a
// Delaunay triangle t are therefore all triples of points whose power with respect to t's circle is
// at most T_t = 24 R_up delta(R_up) with R_up = max(4000 diam(t), 2e-4 M) (at most 600 times the
// point spread): twelve times the bound, with Delta taken as 64000 u (M + R). Those points are
// found by a walk over the triangles from t: on a triangle s the lower hull is s's plane, so s
// meets the convex region {L - h_t <= T_t} exactly when one of its corners has power <= T_t, and
// the triangles meeting a convex region are connected through shared edges. Points with equal
// coordinates are triangulated once and stand for all of their copies (a group): a triple with two
// coincident points never passes GetVectors, so the candidates are the triples of distinct groups.
// Coordinates below kDelaunayMinMagnitude that are multiples of kDelaunayGranularity (floats, say)
// keep the predicates exact; the search's own arithmetic may then underflow, but by less than
// 2^-1074 at a time, nothing beside the u M above once a triple passes GetVectors at all (its
// edges from the first point exceed 0.001, so M > 0.0005).
//
// Each candidate is evaluated with the arithmetic of the exhaustive search; the empty-circle
// scan visits only the grid cells that can hold a point closer than r0, and its outcome does
// not depend on the order of the points. For a triple of groups X, Y, Z the search meets every
// (i, j, k) with i in X, j in Y, k in Z and i < j < k (and the same for the other five orders of
// the groups); all of them compute the same circle from the same coordinates and scan the same
// points, except that the copies of X, Y and Z other than i, j and k themselves are scanned too.
// So one evaluation per order decides them all: the points outside the three groups, and each
// group that has more than one member at the distance of its coordinates. The passing triples,
// merged in the order in which the three nested loops visit them, are logged and checked for
// crossings in that order; a file repeated three times has 27 passing triples per triangle, but
// costs one evaluation per order, and the crossing test below meets each position once.
//
// Why the crossing test needs only some edges. EdgeIntercept computes the crossing parameters
// s = ns / det and t = nt / det of two segments with directions a and b, d between their
// starts; rounding moves det by at most 2.01 u |a||b|, ns by 2.01 u |d||b| and nt by
// 2.01 u |d||a|. When |det| exceeds 100 times the sum of these, a result of 1 puts the exact
// crossing within 1.2 % of both segments, so their bounding boxes widened by 2 % of their
// lengths overlap: a grid of the accepted edges' widened boxes finds them. Otherwise the two
// edges are nearly parallel, sin < 210 u (1 + 2 D / Vmin), and a result of 1 needs each start
// within 213 u D (2 + D / Vmin) of the other edge's line (D the spread of the points, Vmin the
// shortest edge): the edges lie on nearly the same line, and a table of the accepted edges'
// lines, binned by angle and offset with generous margins, finds them. Such far-apart
// collinear pairs do cross in floating point (points of a lattice line near the origin).
//
// The edge test alone lets some triangles over others: crossings within 1 % of an edge's end
// are not counted, and a triangle inside another crosses none of its edges. Such a triangle is
// kept, as the search keeps it, but counted for a note: interiors are compared exactly
// (TrianglesOverlap) after a candidate passed the edge test. An accepted triangle is tried when one
// of its edges is registered in a grid cell that the candidate's bounding box covers, or in the row
// of the candidate's first corner to the right of it with that corner inside the triangle. If the
// interiors of the candidate C and an accepted T overlap and C is not inside T, the boundary of T
// meets the interior of C, so an edge of T meets C's box; if C lies inside T, the ray from C's
// first corner to the right leaves T through one of T's edges, which passes the row at or right of
// that corner. Registered triangles are told apart by their coordinates in slot order: a triangle
// with the same six coordinates as a registered one gives every EdgeIntercept and overlap the same
// answer, so it is not registered again.
//
// Points that are NaN or infinite never pass GetVectors and are never closer than r0; they are
// left out. Coordinates beyond the range of the exact predicates, and sets where more than 200
// points share a circle (whose triples would not fit in memory), are handled by visiting every
// triple as the nested loops do, with the same evaluation.
//
// Degenerate sets. Before any of this, a set whose points all lie in a band too thin for any
// triple to pass GetVectors ends at once with no triangle (NoTriplePassesSineRule), which is what
// the nested loops would find. The work of the searches is counted (points scanned, triples
// visited, triangles compared, log lines, in units of about one distance computation); a search
// that would exceed its limit stops where it is, like a cancel, keeping what it accepted (a
// prefix of the full result), and says so in a note and in meshIncomplete. Well-posed sets need
// a fraction of the limit (a grid of 4780 points a tenth, growing as N^1.5 with the rows the
// overlap test looks along); only the every-triple search over thousands of points, or millions
// of passing triples on the same few circles, reach it.

namespace {

constexpr double kUnit = 0x1p-53;

// Work units (see the comment on degenerate sets), besides one per grid cell and one per
// accepted edge looked at: a point scanned, a triple the every-triple search visits, an
// EdgeIntercept, an overlap test of two triangles, a candidate logged.
constexpr long long kPointWork = 3;
constexpr long long kTripleWork = 20;
constexpr long long kEdgeWork = 4;
constexpr long long kOverlapWork = 100;
constexpr long long kLogWork = 200;

struct Triple {
  int i, j, k;
  friend auto operator<=>(const Triple&, const Triple&) = default;
};

struct Bounds {
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  double magnitude = 0;  // largest |coordinate|
  double Spread() const { return std::hypot(maxX - minX, maxY - minY) * (1 + 1e-12); }
};

// A uniform grid over the bounding box of the finite points, for point and triangle lookups.
// Cell numbers grow monotonically with the coordinate, so a coordinate range maps to a cell
// range that holds every point inside it.
class Grid {
 public:
  void Init(const Bounds& b, long count) {
    bounds_ = b;
    const double spanX = b.maxX - b.minX;
    const double spanY = b.maxY - b.minY;
    const double n = static_cast<double>(std::max(count, 1L));
    double h = std::max(std::sqrt(spanX * spanY / n), std::max(spanX, spanY) / n);
    if (!(h > 0) || !std::isfinite(h)) h = 1;
    nx_ = std::min(4096L, static_cast<long>(spanX / h) + 1);
    ny_ = std::min(4096L, static_cast<long>(spanY / h) + 1);
    cellW_ = std::max(spanX / static_cast<double>(nx_), h * 1e-9);
    cellH_ = std::max(spanY / static_cast<double>(ny_), h * 1e-9);
    invW_ = 1 / cellW_;
    invH_ = 1 / cellH_;
    // Rounding in the cell computation can move a coordinate across a row border by this much.
    marginY_ = 1e-9 * (std::fabs(b.minY) + spanY + cellH_);
  }
  long Cols() const { return nx_; }
  long Rows() const { return ny_; }
  long CellX(double x) const { return Clamp((x - bounds_.minX) * invW_, nx_); }
  long CellY(double y) const { return Clamp((y - bounds_.minY) * invH_, ny_); }
  // The y range a point of row cy may have, widened by the rounding margin.
  double RowLow(long cy) const {
    return cy == 0 ? -INFINITY : bounds_.minY + static_cast<double>(cy) * cellH_ - marginY_;
  }
  double RowHigh(long cy) const {
    return cy == ny_ - 1 ? INFINITY
                         : bounds_.minY + static_cast<double>(cy + 1) * cellH_ + marginY_;
  }

 private:
  static long Clamp(double t, long n) {
    if (!(t >= 0)) return 0;
    if (t >= static_cast<double>(n)) return n - 1;
    return static_cast<long>(t);
  }
  Bounds bounds_;
  long nx_ = 1, ny_ = 1;
  double cellW_ = 1, cellH_ = 1, invW_ = 1, invH_ = 1, marginY_ = 0;
};

// The empty-circle scan: is some point other than i, j, k at a distance below r0 from P, with
// the distance computed as the exhaustive search computes it?
class PointIndex {
 public:
  // Adds the work of each scan to *work.
  PointIndex(const double* px, const double* py, long n, long long* work)
      : px_(px), py_(py), n_(n), work_(work) {}

  // Every point is scanned (the fallback for coordinates beyond the predicates' range).
  void InitLinear() { linear_ = true; }

  // Points ids (the finite ones) in a grid; the others can never be closer than r0.
  void InitGrid(const Bounds& b, const std::vector<int>& ids) {
    linear_ = false;
    grid_.Init(b, static_cast<long>(ids.size()));
    const long cells = grid_.Cols() * grid_.Rows();
    start_.assign(cells + 1, 0);
    std::vector<long> cellOf(ids.size());
    for (std::size_t q = 0; q < ids.size(); ++q) {
      cellOf[q] = grid_.CellY(py_[ids[q]]) * grid_.Cols() + grid_.CellX(px_[ids[q]]);
      ++start_[cellOf[q] + 1];
    }
    for (long c = 0; c < cells; ++c) start_[c + 1] += start_[c];
    items_.resize(ids.size());
    std::vector<long> fill(start_.begin(), start_.end() - 1);
    for (std::size_t q = 0; q < ids.size(); ++q) items_[fill[cellOf[q]]++] = ids[q];
  }

  bool AnyInside(const double* P, double r0, long i, long j, long k) const {
    return AnyInside(P, r0, [i, j, k](long l) { return l == i || l == j || l == k; });
  }

  // The same with the points for which skip(l) is true left out.
  template <typename Skip>
  bool AnyInside(const double* P, double r0, const Skip& skip) const {
    if (linear_) {
      for (long l = 0; l < n_; ++l) {
        if (!skip(l) && Distance(P, px_[l], py_[l]) < r0) {
          *work_ += kPointWork * (l + 1);
          return true;
        }
      }
      *work_ += kPointWork * n_;
      return false;
    }
    if (!(r0 > 0)) return false;  // no distance is below zero or NaN
    // Slightly more than r0: a distance computed below r0 is truly below r0 (1 + 4u).
    const double reach = r0 * (1 + 1e-9);
    const long rowFirst = grid_.CellY(P[1] - reach);
    const long rowLast = grid_.CellY(P[1] + reach);
    for (long cy = rowFirst; cy <= rowLast; ++cy) {
      const double low = grid_.RowLow(cy);
      const double high = grid_.RowHigh(cy);
      const double dy = P[1] < low ? low - P[1] : P[1] > high ? P[1] - high : 0.0;
      if (dy > reach) continue;
      const double halfWidth = std::sqrt(reach * reach - dy * dy);
      const long colFirst = grid_.CellX(P[0] - halfWidth);
      const long colLast = grid_.CellX(P[0] + halfWidth);
      for (long c = cy * grid_.Cols() + colFirst; c <= cy * grid_.Cols() + colLast; ++c) {
        ++*work_;
        for (long q = start_[c]; q < start_[c + 1]; ++q) {
          const long l = items_[q];
          if (!skip(l) && Distance(P, px_[l], py_[l]) < r0) {
            *work_ += kPointWork * (q - start_[c] + 1);
            return true;
          }
        }
        *work_ += kPointWork * (start_[c + 1] - start_[c]);
      }
    }
    return false;
  }

 private:
  const double* px_;
  const double* py_;
  long n_;
  long long* work_;
  bool linear_ = true;
  Grid grid_;
  std::vector<long> start_;
  std::vector<int> items_;
};

// The crossing test against the accepted triangles (slots of Tpoints), edge by edge: an
// accepted edge is tried when its widened bounding box meets the candidate edge's, or when it
// lies on nearly the same line. Separately, whether a candidate's interior overlaps an accepted
// one's, for the triangles found through the grid as the comment at the top of this section
// says. Triangles with a corner that is not a finite point
// of the search are tried in full against every candidate. A triangle with the coordinates of one
// registered before is not registered again.
class OverlapIndex {
 public:
  // Adds the work done to *work.
  OverlapIndex(const double* px, const double* py, const int* tpoints, long capacity,
               long long* work)
      : px_(px), py_(py), tpoints_(tpoints), capacity_(capacity), work_(work) {}

  // Every accepted triangle is tried for every candidate.
  void InitLinear() { linear_ = true; }

  // shortest: the shortest nonzero edge any tried triangle has.
  void InitIndexed(const Bounds& b, long points, double shortest) {
    grid_.Init(b, points);
    cells_.assign(static_cast<std::size_t>(grid_.Cols() * grid_.Rows()), -1);
    nodes_.reserve(static_cast<std::size_t>(24 * points));
    lines_.reserve(static_cast<std::size_t>(4 * points));
    edges_.assign(static_cast<std::size_t>(3 * capacity_), {});
    gridSeen_.assign(static_cast<std::size_t>(3 * capacity_), 0);
    lineSeen_.assign(static_cast<std::size_t>(3 * capacity_), 0);
    triangleSeen_.assign(static_cast<std::size_t>(capacity_), 0);
    const double spread = b.Spread();
    slack_ = 1e-12 * (b.magnitude + spread);
    centreX_ = (b.minX + b.maxX) / 2;
    centreY_ = (b.minY + b.maxY) / 2;
    const double ratio = spread / shortest;
    const double angleTolerance = 1000 * kUnit * (1 + 2 * ratio) + 1e-14;
    const double offsetTolerance =
        1000 * kUnit * spread * (3 + ratio) + 2 * angleTolerance * spread + slack_;
    linear_ = !(shortest > 0) || !(angleTolerance < 0.01) || !std::isfinite(offsetTolerance);
    if (linear_) return;
    // Bins twice as wide as the tolerances: a value meets at most two of them.
    angleTolerance_ = angleTolerance;
    offsetTolerance_ = offsetTolerance;
    angleBins_ = static_cast<long>(std::numbers::pi / (2 * angleTolerance));
    angleWidth_ = std::numbers::pi / static_cast<double>(angleBins_);
    offsetWidth_ = std::max(2 * offsetTolerance, 1e-300);
  }

  // Registers the triangle in slot m; indexed is false for a triangle with a corner that is not
  // a finite point of the search.
  void Add(long m, bool indexed) {
    const int* tri = tpoints_ + 3 * m;
    // The candidate just tested by Crosses has its edges made already.
    const bool tested = tri == probeTriangle_;
    probeTriangle_ = nullptr;
    if (indexed && !registered_.insert(KeyOf(tri)).second) return;
    if (linear_ || !indexed) {
      always_.push_back(m);
      return;
    }
    for (int f = 0; f < 3; ++f) {
      const long id = 3 * m + f;
      Edge& edge = edges_[static_cast<std::size_t>(id)];
      if (tested) {
        edge = probes_[f];
      } else {
        edge.valid = MakeEdge(tri[f], tri[(f + 1) % 3], &edge);
      }
      // A zero-length edge never crosses: its determinant is exactly 0.
      if (!edge.valid) continue;
      for (long cy = grid_.CellY(edge.minY); cy <= grid_.CellY(edge.maxY); ++cy) {
        for (long cx = grid_.CellX(edge.minX); cx <= grid_.CellX(edge.maxX); ++cx) {
          Push(&cells_[static_cast<std::size_t>(cy * grid_.Cols() + cx)], id);
        }
      }
      const auto [it, added] = lines_.try_emplace(
          Key(std::clamp(AngleBin(edge.angle), 0L, angleBins_ - 1), OffsetBin(edge.offset)), -1);
      Push(&it->second, id);
    }
  }

  // True when the triangle cand crosses an accepted triangle: some pair of their edges gives
  // EdgeIntercept 1, as the exhaustive search's sum over the 9 pairs would show.
  bool Crosses(const int* cand) {
    for (long m : always_) {
      const int* acc = tpoints_ + 3 * m;
      *work_ += 9 * kEdgeWork;
      for (int e = 0; e < 3; ++e) {
        for (int f = 0; f < 3; ++f) {
          if (EdgeIntercept(cand[e], cand[(e + 1) % 3], acc[f], acc[(f + 1) % 3], px_, py_) != 0) {
            return true;
          }
        }
      }
    }
    if (linear_) return false;
    probeTriangle_ = nullptr;
    for (int e = 0; e < 3; ++e) {
      Edge& probe = probes_[e];
      probe.valid = MakeEdge(cand[e], cand[(e + 1) % 3], &probe);
    }
    for (int e = 0; e < 3; ++e) {
      const Edge& probe = probes_[e];
      if (!probe.valid) continue;
      ++stamp_;
      for (long cy = grid_.CellY(probe.minY); cy <= grid_.CellY(probe.maxY); ++cy) {
        for (long cx = grid_.CellX(probe.minX); cx <= grid_.CellX(probe.maxX); ++cx) {
          ++*work_;
          for (long n = cells_[static_cast<std::size_t>(cy * grid_.Cols() + cx)]; n >= 0;
               n = nodes_[n].next) {
            ++*work_;
            const long id = nodes_[n].id;
            if (gridSeen_[id] == stamp_) continue;
            gridSeen_[id] = stamp_;
            const Edge& edge = edges_[id];
            if (probe.minX <= edge.maxX && edge.minX <= probe.maxX && probe.minY <= edge.maxY &&
                edge.minY <= probe.maxY && Try(probe, edge)) {
              return true;
            }
          }
        }
      }
      // The bins within the tolerances of the probe's angle and offset; directions near 0 and
      // near pi are the same line with the offset's sign reversed.
      const long firstAngle = AngleBin(probe.angle - angleTolerance_);
      const long lastAngle = AngleBin(probe.angle + angleTolerance_);
      for (long a = firstAngle; a <= lastAngle; ++a) {
        const bool wrapped = a < 0 || a >= angleBins_;
        const double offset = wrapped ? -probe.offset : probe.offset;
        const long angleBin = wrapped ? (a + angleBins_) % angleBins_ : a;
        for (long o = OffsetBin(offset - offsetTolerance_);
             o <= OffsetBin(offset + offsetTolerance_); ++o) {
          const auto it = lines_.find(Key(angleBin, o));
          if (it == lines_.end()) continue;
          for (long n = it->second; n >= 0; n = nodes_[n].next) {
            ++*work_;
            const long id = nodes_[n].id;
            if (lineSeen_[id] == stamp_) continue;
            lineSeen_[id] = stamp_;
            const Edge& edge = edges_[id];
            // Two exactly horizontal (or two exactly vertical) edges have determinant 0.
            if (probe.axis != 0 && edge.axis == probe.axis) continue;
            if (Try(probe, edge)) return true;
          }
        }
      }
    }
    probeTriangle_ = cand;
    return false;
  }

  // True when the interior of an accepted triangle overlaps the candidate's, which passed
  // Crosses.
  bool Overlaps(const int* cand) {
    for (long m : always_) {
      *work_ += kOverlapWork;
      if (TrianglesOverlap(cand, tpoints_ + 3 * m, px_, py_) != 0) return true;
    }
    return !linear_ && InteriorsMeet(cand);
  }

 private:
  // Whether the interior of an accepted triangle overlaps cand's: those with an edge in a cell
  // of cand's bounding box, and those with an edge across the row of cand's first corner, to the
  // right of it, that hold that corner (see the comment at the top of this section).
  bool InteriorsMeet(const int* cand) {
    double minX = px_[cand[0]], maxX = minX, minY = py_[cand[0]], maxY = minY;
    for (int e = 1; e < 3; ++e) {
      minX = std::min(minX, px_[cand[e]]);
      maxX = std::max(maxX, px_[cand[e]]);
      minY = std::min(minY, py_[cand[e]]);
      maxY = std::max(maxY, py_[cand[e]]);
    }
    ++triangleStamp_;
    for (long cy = grid_.CellY(minY); cy <= grid_.CellY(maxY); ++cy) {
      for (long cx = grid_.CellX(minX); cx <= grid_.CellX(maxX); ++cx) {
        ++*work_;
        for (long n = cells_[static_cast<std::size_t>(cy * grid_.Cols() + cx)]; n >= 0;
             n = nodes_[n].next) {
          ++*work_;
          const long m = nodes_[n].id / 3;
          if (triangleSeen_[m] == triangleStamp_) continue;
          triangleSeen_[m] = triangleStamp_;
          *work_ += kOverlapWork;
          if (TrianglesOverlap(cand, tpoints_ + 3 * m, px_, py_) != 0) return true;
        }
      }
    }
    const double x = px_[cand[0]], y = py_[cand[0]];
    const long row = grid_.CellY(y);
    for (long cx = grid_.CellX(x); cx < grid_.Cols(); ++cx) {
      ++*work_;
      for (long n = cells_[static_cast<std::size_t>(row * grid_.Cols() + cx)]; n >= 0;
           n = nodes_[n].next) {
        ++*work_;
        const long id = nodes_[n].id;
        const long m = id / 3;
        const Edge& edge = edges_[id];
        if (triangleSeen_[m] == triangleStamp_ || edge.minY > y || edge.maxY < y || edge.maxX < x) {
          continue;
        }
        triangleSeen_[m] = triangleStamp_;
        *work_ += kOverlapWork;
        const int* acc = tpoints_ + 3 * m;
        if (Holds(acc, x, y) && TrianglesOverlap(cand, acc, px_, py_) != 0) return true;
      }
    }
    return false;
  }

  // Whether the closed triangle tri holds (x, y), or that cannot be decided; false when tri has no
  // interior.
  bool Holds(const int* tri, double x, double y) const {
    const auto turn = [&](int p, int q, double rx, double ry) {
      return OrientationSignScaled(px_[p], py_[p], px_[q], py_[q], rx, ry);
    };
    const int sense = turn(tri[0], tri[1], px_[tri[2]], py_[tri[2]]);
    if (sense == 0) return false;
    if (sense == 2) return true;
    for (int e = 0; e < 3; ++e) {
      if (turn(tri[e], tri[(e + 1) % 3], x, y) == -sense) return false;
    }
    return true;
  }

  using CornerKey = std::array<std::uint64_t, 6>;
  struct CornerKeyHash {
    std::size_t operator()(const CornerKey& key) const {
      std::uint64_t h = 0;
      for (std::uint64_t v : key) h = (h ^ v) * 0x100000001B3ULL + (h >> 29);
      return static_cast<std::size_t>(h);
    }
  };
  // The six coordinates of a triangle's corners in slot order, bit for bit.
  CornerKey KeyOf(const int* tri) const {
    CornerKey key;
    for (int e = 0; e < 3; ++e) {
      key[2 * e] = std::bit_cast<std::uint64_t>(px_[tri[e]]);
      key[2 * e + 1] = std::bit_cast<std::uint64_t>(py_[tri[e]]);
    }
    return key;
  }
  // An edge p -> q as EdgeIntercept sees it (direction fl(q - p)): its bounding box widened
  // by 2 % of its length, its unit direction and length, and its line: angle in [0, pi),
  // signed distance of the points' centre, and 1 when exactly horizontal, 2 when exactly
  // vertical, else 0.
  struct Edge {
    int p = 0, q = 0;
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    double ux = 0, uy = 0, length = 0;
    double angle = 0, offset = 0;
    int axis = 0;
    bool valid = false;  // false for a zero-length edge
  };

  // False for a zero-length edge.
  bool MakeEdge(int p, int q, Edge* edge) const {
    double vx = px_[q] - px_[p];
    double vy = py_[q] - py_[p];
    if (vx == 0 && vy == 0) return false;
    edge->p = p;
    edge->q = q;
    edge->axis = vy == 0 ? 1 : vx == 0 ? 2 : 0;
    edge->length = std::hypot(vx, vy);
    edge->ux = vx / edge->length;
    edge->uy = vy / edge->length;
    const double widen = 0.02 * edge->length + slack_;
    edge->minX = std::min(px_[p], px_[q]) - widen;
    edge->maxX = std::max(px_[p], px_[q]) + widen;
    edge->minY = std::min(py_[p], py_[q]) - widen;
    edge->maxY = std::max(py_[p], py_[q]) + widen;
    double a = std::atan2(vy, vx);
    if (a < 0) {
      a += std::numbers::pi;
      vx = -vx;
      vy = -vy;
    }
    if (a >= std::numbers::pi) {  // atan2 gives pi for a leftward edge with y difference +0
      a -= std::numbers::pi;
      vx = -vx;
      vy = -vy;
    }
    edge->angle = a;
    edge->offset = (vx * (centreY_ - py_[p]) - vy * (centreX_ - px_[p])) / edge->length;
    return true;
  }

  // EdgeIntercept of the candidate edge and an accepted one, skipped where its result is
  // known to be 0. Edges that share their start have d = 0 and s = 0; when one edge starts
  // where the other ends, d is minus the first direction or the second direction and the
  // crossing parameter is det / det = 1 exactly (unless the compiler fuses multiply-adds,
  // which breaks the symmetry). Otherwise, with a and b the directions and sin the sine of
  // their angle, rounding bounds |ns - ns*| and |nt - nt*| by 2.01 u |d||b| and 2.01 u |d||a|,
  // and |det - det*| by 2.01 u |a||b|; |s|, |t| < 1 and d = t b - s a then give
  // |d| (1 - 4.02 u / sin) < (|a| + |b|)(1 + 2.01 u / sin): a crossing needs sin < 12 u or
  // |d| < 1.76 (|a| + |b|). The computed sine is off by less than 8 u.
  bool Try(const Edge& probe, const Edge& edge) const {
    if (probe.p == edge.p) return false;
#ifndef FP_FAST_FMA
    if (probe.q == edge.p || probe.p == edge.q) return false;
#endif
    const double dx = px_[probe.p] - px_[edge.p];
    const double dy = py_[probe.p] - py_[edge.p];
    const double reach = 2 * (probe.length + edge.length);
    if (dx * dx + dy * dy >= reach * reach &&
        std::fabs(probe.ux * edge.uy - probe.uy * edge.ux) >= 20 * kUnit) {
      return false;
    }
    *work_ += kEdgeWork;
    return EdgeIntercept(probe.p, probe.q, edge.p, edge.q, px_, py_) != 0;
  }

  // Angles just outside [0, pi) give the bins -1 and angleBins_.
  long AngleBin(double angle) const {
    return static_cast<long>(
        std::floor(std::clamp(angle / angleWidth_, -1.0, static_cast<double>(angleBins_))));
  }
  long OffsetBin(double offset) const {
    return static_cast<long>(std::floor(std::clamp(offset / offsetWidth_, -1e15, 1e15)));
  }
  // Distinct bins may share a key; that only adds edges to try.
  static std::uint64_t Key(long angleBin, long offsetBin) {
    return static_cast<std::uint64_t>(angleBin) * 0x9E3779B97F4A7C15ULL +
           static_cast<std::uint64_t>(offsetBin);
  }

  const double* px_;
  const double* py_;
  const int* tpoints_;
  const long capacity_;
  long long* work_;
  bool linear_ = true;
  Grid grid_;
  // Lists of edge ids, linked through one pool: the head of each grid cell and line bin.
  struct Node {
    long id, next;
  };
  void Push(long* head, long id) {
    nodes_.push_back({id, *head});
    *head = static_cast<long>(nodes_.size()) - 1;
  }
  std::vector<Node> nodes_;
  std::vector<long> cells_;
  Edge probes_[3];
  const int* probeTriangle_ = nullptr;  // the candidate whose edges probes_ holds
  std::vector<Edge> edges_;
  std::unordered_map<std::uint64_t, long> lines_;
  std::vector<long> always_;
  std::vector<unsigned> gridSeen_, lineSeen_;
  unsigned stamp_ = 0;
  std::unordered_set<CornerKey, CornerKeyHash> registered_;
  std::vector<unsigned> triangleSeen_;
  unsigned triangleStamp_ = 0;
  double slack_ = 0, centreX_ = 0, centreY_ = 0;
  long angleBins_ = 1;
  double angleWidth_ = 1, offsetWidth_ = 1, angleTolerance_ = 0, offsetTolerance_ = 0;
};

class Search {
 public:
  Search(ProgramState& s, const double* px, const double* py, long long workLimit)
      : s_(s),
        px_(px),
        py_(py),
        n_(s_.NumberOfPoints),
        log_(s_.OUT_LOG),
        capacity_(static_cast<long>(s_.Tpoints.size() / 3)),
        work_{0, workLimit},
        points_(px, py, n_, &work_.used),
        overlap_(px, py, s_.Tpoints.data(), capacity_, &work_.used) {}

  void Run();

 private:
  // The triples i < j < k with i in the group of x, j in that of y and k in that of z (each
  // group listed by ascending index), in the order the nested loops visit them: current is the
  // next one, a, b and c its positions in the three groups.
  struct Stream {
    int x, y, z;
    std::size_t a = 0, b = 0, c = 0;
    Triple current{};
  };

  bool ClassifyPoints();
  bool NoTriplePassesSineRule() const;
  enum class Collected { kDone, kCancelled, kTooMany };
  Collected CollectCandidates(std::vector<Triple>* out);
  bool PassesCircleTest(long i, long j, long k) const;
  bool PassesGroupCircleTest(const Stream& stream) const;
  bool FirstOfStream(Stream* stream) const;
  bool NextOfStream(Stream* stream) const;
  void SetProgress(long i, long j) {
    const long long step =
        static_cast<long long>(i) * (n_ - 2) - static_cast<long long>(i) * (i - 1) / 2 + (j - i);
    s_.iProgressStatus = static_cast<int>((100 * step) / steps_);
  }
  // Cancelled, or out of work (which is remembered).
  bool Halted() {
    if (work_.used > work_.limit) capped_ = true;
    return capped_ || Cancelled(s_);
  }
  bool Accept(long i, long j, long k);
  void RegisterEarlierTriangles();
  void RunIndexed();
  void RunEveryTriple(bool pointGrid);
  void Report();

  ProgramState& s_;
  const double* px_;
  const double* py_;
  const long n_;
  std::FILE* log_;
  const long capacity_;
  long long steps_ = 1;
  struct {
    long long used, limit;
  } work_;
  bool full_ = false;     // a passing triple found no slot left in Tpoints
  bool capped_ = false;   // the work limit stopped the search
  long overlapping_ = 0;  // accepted triangles whose interior overlaps an earlier one's
  Bounds bounds_;
  std::vector<int> finite_;  // finite points, sorted by coordinates
  bool inRange_ = true;      // every finite coordinate within the predicates' range
  // The points with the coordinates of each finite point (the group of its representative,
  // ascending) and the representative of each finite point.
  std::vector<std::vector<int>> groups_;
  std::vector<int> repOf_;
  long positions_ = 0;  // the number of groups
  PointIndex points_;
  OverlapIndex overlap_;
};

// Finds the finite points, their bounds, and whether the exact predicates cover them.
bool Search::ClassifyPoints() {
  bool first = true;
  for (long l = 0; l < n_; ++l) {
    const double x = px_[l], y = py_[l];
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    finite_.push_back(static_cast<int>(l));
    for (double c : {x, y}) {
      if (!DelaunayExactCoordinate(c)) inRange_ = false;
      bounds_.magnitude = std::max(bounds_.magnitude, std::fabs(c));
    }
    if (first) {
      bounds_.minX = bounds_.maxX = x;
      bounds_.minY = bounds_.maxY = y;
      first = false;
    }
    bounds_.minX = std::min(bounds_.minX, x);
    bounds_.maxX = std::max(bounds_.maxX, x);
    bounds_.minY = std::min(bounds_.minY, y);
    bounds_.maxY = std::max(bounds_.maxY, y);
  }
  std::sort(finite_.begin(), finite_.end(), [this](int a, int b) {
    return px_[a] < px_[b] ||
           (px_[a] == px_[b] && (py_[a] < py_[b] || (py_[a] == py_[b] && a < b)));
  });
  return inRange_;
}

// True when every triple of the points fails GetVectors, so that the nested loops make no
// triangle. The finite points lie in a band of width W about a line (non-finite ones never pass).
// GetVectors makes unit vectors of the edges u, v from the first point only when they are longer
// than 0.001 (so truly longer than 0.000999), and the cross product of u and v is at most
// W (|u| + |v|) in size, their components across the band differing by at most W. So the sine it
// computes (rounding adds a few u) is at most W (1/|u| + 1/|v|) when both are unit vectors, below
// 2.01 W when one is (the other at most 0.001 long), below 0.0021 W when neither is. An edge longer
// than 0.000999 spans at least sqrt(0.000999^2 - W^2) along the band, so a unit-vector edge is at
// least as long as the shortest such span between two points, G. No triple passes the 0.001 of
// GetVectors when W max(2 / G, 2.01) stays below it. The band is measured across the line
// through the extreme points of the wider axis, with the offsets' and positions' rounding (a few
// u times the extent of the points) added.
bool Search::NoTriplePassesSineRule() const {
  if (finite_.size() < 3) return true;
  const bool alongX = bounds_.maxX - bounds_.minX >= bounds_.maxY - bounds_.minY;
  const auto [low, high] = std::minmax_element(finite_.begin(), finite_.end(), [&](int a, int b) {
    return alongX ? px_[a] < px_[b] : py_[a] < py_[b];
  });
  const int a = *low;
  const double vx = px_[*high] - px_[a];
  const double vy = py_[*high] - py_[a];
  const double length = std::hypot(vx, vy);
  if (length == 0) return true;  // the wider axis has no extent: the points coincide
  const double rounding = 1e-13 * ((bounds_.maxX - bounds_.minX) + (bounds_.maxY - bounds_.minY));
  double lowest = INFINITY, highest = -INFINITY;
  std::vector<double> along;
  along.reserve(finite_.size());
  for (int p : finite_) {
    const double dx = px_[p] - px_[a];
    const double dy = py_[p] - py_[a];
    const double across = (vx * dy - vy * dx) / length;
    lowest = std::min(lowest, across);
    highest = std::max(highest, across);
    along.push_back((vx * dx + vy * dy) / length);
  }
  const double width = highest - lowest + 2 * rounding;
  if (!(width < 0.0005)) return false;  // also overflow
  const double span = std::sqrt(0.000999 * 0.000999 - width * width) - 2 * rounding;
  std::sort(along.begin(), along.end());
  double gap = INFINITY;
  for (std::size_t q = 0; q < along.size(); ++q) {
    const auto next =
        std::lower_bound(along.begin() + static_cast<long>(q), along.end(), along[q] + span);
    if (next != along.end()) gap = std::min(gap, *next - along[q]);
  }
  gap = std::max(gap - 2 * rounding, 0.000999);
  return width * std::max(2 / gap, 2.01) + 1e-12 < kMinSine;
}

bool Search::PassesCircleTest(long i, long j, long k) const {
  double Oa[2], Va[2], Ob[2], Vb[2], O[2];
  if (GetVectors(i, j, k, px_, py_, Oa, Va, Ob, Vb, O) == 0) return false;
  double P[2] = {0.0, 0.0};
  double sParam = 0.0;
  double tParam = 0.0;
  FindIntersection(Oa, Va, Ob, Vb, P, &sParam, &tParam);
  const double r0 = Distance(P, O[0], O[1]);
  return !points_.AnyInside(P, r0, i, j, k);
}

// The circle test of every triple of a stream (see the comment at the top of this section): the
// one circle, the copies of the three corners scanned at their coordinates, the other points by
// the grid.
bool Search::PassesGroupCircleTest(const Stream& stream) const {
  double Oa[2], Va[2], Ob[2], Vb[2], O[2];
  if (GetVectors(stream.x, stream.y, stream.z, px_, py_, Oa, Va, Ob, Vb, O) == 0) return false;
  double P[2] = {0.0, 0.0};
  double sParam = 0.0;
  double tParam = 0.0;
  FindIntersection(Oa, Va, Ob, Vb, P, &sParam, &tParam);
  const double r0 = Distance(P, O[0], O[1]);
  for (int corner : {stream.x, stream.y, stream.z}) {
    if (groups_[corner].size() > 1 && Distance(P, px_[corner], py_[corner]) < r0) return false;
  }
  const int x = stream.x, y = stream.y, z = stream.z;
  return !points_.AnyInside(P, r0, [this, x, y, z](long l) {
    const int rep = repOf_[l];
    return rep == x || rep == y || rep == z;
  });
}

// Sets the stream to its first triple; false when it has none.
bool Search::FirstOfStream(Stream* stream) const {
  const std::vector<int>& gx = groups_[stream->x];
  const std::vector<int>& gy = groups_[stream->y];
  const std::vector<int>& gz = groups_[stream->z];
  stream->a = 0;
  stream->b = static_cast<std::size_t>(std::upper_bound(gy.begin(), gy.end(), gx[0]) - gy.begin());
  if (stream->b == gy.size()) return false;
  stream->c =
      static_cast<std::size_t>(std::upper_bound(gz.begin(), gz.end(), gy[stream->b]) - gz.begin());
  if (stream->c == gz.size()) return false;
  stream->current = {gx[0], gy[stream->b], gz[stream->c]};
  return true;
}

// Moves the stream to its next triple; false when there is none. A j with no k after it has no
// later j with one, and likewise for i.
bool Search::NextOfStream(Stream* stream) const {
  const std::vector<int>& gx = groups_[stream->x];
  const std::vector<int>& gy = groups_[stream->y];
  const std::vector<int>& gz = groups_[stream->z];
  const auto after = [](const std::vector<int>& g, int v) {
    return static_cast<std::size_t>(std::upper_bound(g.begin(), g.end(), v) - g.begin());
  };
  if (++stream->c == gz.size()) {
    if (++stream->b < gy.size()) stream->c = after(gz, gy[stream->b]);
    if (stream->b == gy.size() || stream->c == gz.size()) {
      if (++stream->a == gx.size()) return false;
      stream->b = after(gy, gx[stream->a]);
      if (stream->b == gy.size()) return false;
      stream->c = after(gz, gy[stream->b]);
      if (stream->c == gz.size()) return false;
    }
  }
  stream->current = {gx[stream->a], gy[stream->b], gz[stream->c]};
  return true;
}

// The triples of groups that can pass the circle test (see the comment at the top of this
// section), as the representatives in ascending order, sorted and distinct. Gives up (kTooMany) on
// sets where many points share a circle, whose triples would not fit in memory in proportion to N.
Search::Collected Search::CollectCandidates(std::vector<Triple>* out) {
  const std::size_t limit = 1000000 + 200 * static_cast<std::size_t>(n_);
  constexpr std::size_t kLargestGroup = 200;
  // One representative per coordinate pair, the first of its group in the sorted order.
  std::vector<int> reps;
  repOf_.assign(n_, -1);
  groups_.assign(n_, {});
  for (std::size_t q = 0; q < finite_.size();) {
    std::size_t end = q + 1;
    const int first = finite_[q];
    while (end < finite_.size() && px_[finite_[end]] == px_[first] &&
           py_[finite_[end]] == py_[first]) {
      ++end;
    }
    reps.push_back(first);
    for (std::size_t c = q; c < end; ++c) repOf_[finite_[c]] = first;
    q = end;
  }
  for (long l = 0; l < n_; ++l) {
    if (repOf_[l] >= 0) groups_[repOf_[l]].push_back(static_cast<int>(l));
  }
  positions_ = static_cast<long>(reps.size());

  DelaunayMesh mesh;
  if (!BuildDelaunay(px_, py_, reps, s_.fTerminated, &mesh)) return Collected::kCancelled;

  const double magnitude = bounds_.magnitude;
  const double spread = bounds_.Spread();
  std::vector<unsigned> triSeen(mesh.Size(), 0);
  std::vector<unsigned> pointSeen(n_, 0), pointIn(n_, 0);
  unsigned stamp = 0;
  std::set<std::vector<int>> sets;  // co-circular groups, each found from all its triangles
  std::vector<long> queue;
  std::vector<int> members;
  for (long t = 0; t < mesh.Size(); ++t) {
    if ((t & 1023) == 0 && Cancelled(s_)) return Collected::kCancelled;
    const int* v = mesh.vertices.data() + 3 * t;
    const double ax = px_[v[0]], ay = py_[v[0]];
    const double bx = px_[v[1]], by = py_[v[1]];
    const double cx = px_[v[2]], cy = py_[v[2]];
    const double diameter = std::max({std::hypot(bx - ax, by - ay), std::hypot(cx - bx, cy - by),
                                      std::hypot(ax - cx, ay - cy)}) *
                            (1 + 1e-9);
    const double reach = std::min(std::max(4000 * diameter, 2e-4 * magnitude), 600 * spread);
    const double delta = 2 * 64000 * kUnit * (magnitude + reach) + 8 * kUnit * reach;
    const double tolerance = 24 * reach * delta;
    const auto near = [&](int p) {
      return PowerBelowSign(ax, ay, bx, by, cx, cy, px_[p], py_[p], tolerance) >= 0;
    };

    ++stamp;
    members.assign(v, v + 3);
    for (int e = 0; e < 3; ++e) pointSeen[v[e]] = pointIn[v[e]] = stamp;
    queue.assign(1, t);
    triSeen[t] = stamp;
    for (std::size_t q = 0; q < queue.size(); ++q) {
      for (int e = 0; e < 3; ++e) {
        const int nb = mesh.neighbours[3 * queue[q] + e];
        if (nb < 0 || triSeen[nb] == stamp) continue;
        triSeen[nb] = stamp;
        bool meets = false;
        for (int f = 0; f < 3; ++f) {
          const int p = mesh.vertices[3 * static_cast<std::size_t>(nb) + f];
          if (pointSeen[p] != stamp) {
            pointSeen[p] = stamp;
            if (near(p)) {
              pointIn[p] = stamp;
              members.push_back(p);
              if (members.size() > kLargestGroup) return Collected::kTooMany;
            }
          }
          meets = meets || pointIn[p] == stamp;
        }
        if (meets) queue.push_back(nb);
      }
    }
    std::sort(members.begin(), members.end());
    if (members.size() == 3 || sets.insert(members).second) {
      const std::size_t size = members.size();
      for (std::size_t a = 0; a < size; ++a) {
        for (std::size_t b = a + 1; b < size; ++b) {
          for (std::size_t c = b + 1; c < size; ++c) {
            out->push_back({members[a], members[b], members[c]});
            if (out->size() > limit) return Collected::kTooMany;
          }
        }
      }
    }
  }
  std::sort(out->begin(), out->end());
  out->erase(std::unique(out->begin(), out->end()), out->end());
  return Collected::kDone;
}

// Steps 6 to 8 of the exhaustive search for a triple that passed the circle test. False when
// no slot of Tpoints is left for it, which ends the search.
bool Search::Accept(long i, long j, long k) {
  const long m = s_.NumberOfTriangles;
  if (m >= capacity_) {
    full_ = true;
    return false;
  }
  work_.used += kLogWork;
  if (log_ != nullptr) {
    std::fprintf(log_, "%i [%i %i %i] ->", static_cast<int>(m), static_cast<int>(i),
                 static_cast<int>(j), static_cast<int>(k));
  }
  int* slot = s_.Tpoints.data() + 3 * m;
  const double cross =
      (px_[j] - px_[i]) * (py_[k] - py_[i]) - (py_[j] - py_[i]) * (px_[k] - px_[i]);
  if (cross >= 0) {
    slot[0] = static_cast<int>(i);
    slot[1] = static_cast<int>(j);
    slot[2] = static_cast<int>(k);
  } else {
    slot[0] = static_cast<int>(k);
    slot[1] = static_cast<int>(j);
    slot[2] = static_cast<int>(i);
  }
  if (!overlap_.Crosses(slot)) {
    if (overlap_.Overlaps(slot)) ++overlapping_;
    if (log_ != nullptr) std::fprintf(log_, " [%i %i %i]\n", slot[0], slot[1], slot[2]);
    overlap_.Add(m, true);
    ++s_.NumberOfTriangles;
    s_.iTriangles = static_cast<int>(s_.NumberOfTriangles);
  } else if (log_ != nullptr) {
    std::fprintf(log_, "Rejected\n");
  }
  return true;
}

// Triangles counted before the search also block candidates.
void Search::RegisterEarlierTriangles() {
  const int* tp = s_.Tpoints.data();
  for (long m = 0; m < s_.NumberOfTriangles && m < capacity_; ++m) {
    bool checked = true;
    for (int e = 0; e < 3; ++e) {
      const long v = tp[3 * m + e];
      checked = checked && v >= 0 && v < n_ && std::isfinite(px_[v]) && std::isfinite(py_[v]);
    }
    overlap_.Add(m, checked);
  }
}

void Search::RunIndexed() {
  points_.InitGrid(bounds_, finite_);
  std::vector<Triple> candidates;
  switch (CollectCandidates(&candidates)) {
    case Collected::kCancelled:
      return;
    case Collected::kTooMany:
      RunEveryTriple(true);
      return;
    case Collected::kDone:
      break;
  }
  // The orders of each triple of groups that hold triples, evaluated once each.
  std::vector<Stream> passing;
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    if ((c & 1023) == 0 && Cancelled(s_)) return;
    if (Halted()) return;
    const Triple& t = candidates[c];
    const int orders[6][3] = {{t.i, t.j, t.k}, {t.i, t.k, t.j}, {t.j, t.i, t.k},
                              {t.j, t.k, t.i}, {t.k, t.i, t.j}, {t.k, t.j, t.i}};
    for (const auto& order : orders) {
      Stream stream{order[0], order[1], order[2]};
      if (FirstOfStream(&stream) && PassesGroupCircleTest(stream)) passing.push_back(stream);
    }
  }

  // The shortest edge among the triangles the crossing test will meet.
  double shortest = INFINITY;
  const auto edge = [&](int p, int q) {
    const double length = std::hypot(px_[q] - px_[p], py_[q] - py_[p]);
    if (length > 0) shortest = std::min(shortest, length * (1 - 1e-9));
  };
  for (const Stream& t : passing) {
    edge(t.x, t.y);
    edge(t.y, t.z);
    edge(t.x, t.z);
  }
  const int* tp = s_.Tpoints.data();
  for (long m = 0; m < s_.NumberOfTriangles && m < capacity_; ++m) {
    for (int e = 0; e < 3; ++e) {
      const int p = tp[3 * m + e], q = tp[3 * m + (e + 1) % 3];
      if (p >= 0 && p < n_ && q >= 0 && q < n_) edge(p, q);
    }
  }
  // Sized by the distinct positions: copies add no edges (see OverlapIndex).
  overlap_.InitIndexed(bounds_, positions_, shortest);
  RegisterEarlierTriangles();

  // The passing triples of all streams, merged in the order of the nested loops.
  using Entry = std::pair<Triple, std::size_t>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> next;
  for (std::size_t q = 0; q < passing.size(); ++q) next.push({passing[q].current, q});
  while (!next.empty()) {
    if (Halted()) return;
    const auto [t, q] = next.top();
    next.pop();
    SetProgress(t.i, t.j);
    if (!Accept(t.i, t.j, t.k)) return;
    if (NextOfStream(&passing[q])) next.push({passing[q].current, q});
  }
  // The last pair's value, unless a cancel ended the search first.
  if (!Halted()) s_.iProgressStatus = 100;
}

// Every triple in the order of the nested loops, for coordinates the predicates cannot take
// (the empty-circle scan then visits every point) and for sets with too many co-circular points.
void Search::RunEveryTriple(bool pointGrid) {
  if (!pointGrid) points_.InitLinear();
  overlap_.InitLinear();
  RegisterEarlierTriangles();
  for (long i = 0; i < n_ - 2 && !Halted(); ++i) {
    for (long j = i + 1; j < n_ - 1 && !Halted(); ++j) {
      SetProgress(i, j);
      for (long k = j + 1; k < n_ && !Halted(); ++k) {
        work_.used += kTripleWork;
        if (!PassesCircleTest(i, j, k) || Halted()) continue;
        if (!Accept(i, j, k)) return;
      }
    }
  }
}

// Notes why the mesh is incomplete, if it is.
void Search::Report() {
  if (full_) {
    AddNote(s_, "The triangulation stopped: the triangle list is full (" +
                    std::to_string(capacity_) +
                    " triangles fit); the mesh is incomplete and table nodes in its holes get "
                    "no shift");
  }
  if (capped_) {
    AddNote(s_, "The triangulation stopped after " + std::to_string(s_.NumberOfTriangles) +
                    " triangles: the points are too degenerate to search in full (copies of the "
                    "same points, many points on one circle, or coordinates out of range); the "
                    "mesh is incomplete");
  }
  // A full list is the search's own end and its tables stay exportable (with the note above);
  // a search stopped by the work limit has not found what the full search would.
  if (capped_) s_.meshIncomplete = true;
  if (overlapping_ > 0) {
    AddNote(s_, std::to_string(overlapping_) +
                    " triangles of the mesh overlap triangles found before them (points very close "
                    "together, or far from the others); shifts inside them are not reliable");
  }
}

void Search::Run() {
  if (log_ != nullptr) std::fprintf(log_, "Automatic triangulation \n");
  s_.iTriangles = static_cast<int>(s_.NumberOfTriangles);
  if (n_ < 3 || Cancelled(s_)) return;
  steps_ = (static_cast<long long>(n_ - 2) * (n_ - 1)) / 2;
  SetProgress(0, 1);
  const bool inRange = ClassifyPoints();
  if (NoTriplePassesSineRule()) {
    s_.iProgressStatus = 100;  // as after the last pair of the nested loops
  } else if (inRange) {
    RunIndexed();
  } else {
    RunEveryTriple(false);
  }
  Report();
}

}  // namespace

long long TriangulationWorkLimit(long n) {
  constexpr double kBasePoints = 5000.0;
  if (n <= static_cast<long>(kBasePoints)) return kTriangulationWorkLimit;
  const double grown =
      static_cast<double>(kTriangulationWorkLimit) * std::pow(n / kBasePoints, 1.5);
  return grown >= 9e18 ? static_cast<long long>(9e18) : static_cast<long long>(grown);
}

int Triangulate(ProgramState& s, const double* PX, const double* PY) {
  return TriangulateWithin(s, PX, PY, TriangulationWorkLimit(s.NumberOfPoints));
}

int TriangulateWithin(ProgramState& s, const double* PX, const double* PY, long long workLimit) {
  Search(s, PX, PY, workLimit).Run();
  return 0;
}

}  // namespace zmr
