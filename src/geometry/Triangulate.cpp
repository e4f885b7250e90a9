#include "geometry/Triangulate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <set>
#include <unordered_map>
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
// coordinates are triangulated once and stand for all of their copies: a triple with two coincident
// points never passes GetVectors, but a copy of a corner may or may not end up inside the computed
// circle, so every combination of copies is a candidate.
//
// Each candidate is evaluated with the arithmetic of the exhaustive search; the empty-circle
// scan visits only the grid cells that can hold a point closer than r0, and its outcome does
// not depend on the order of the points. The passing candidates, sorted as the three nested
// loops visit them, are logged and checked for crossings in that order.
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
// Points that are NaN or infinite never pass GetVectors and are never closer than r0; they are
// left out. Coordinates beyond the range of the exact predicates, and sets where more than 200
// points share a circle (whose triples would not fit in memory), are handled by visiting every
// triple as the nested loops do, with the same evaluation.

namespace {

constexpr double kUnit = 0x1p-53;

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
  PointIndex(const double* px, const double* py, long n) : px_(px), py_(py), n_(n) {}

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
    if (linear_) {
      for (long l = 0; l < n_; ++l) {
        if (l != i && l != j && l != k && Distance(P, px_[l], py_[l]) < r0) return true;
      }
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
        for (long q = start_[c]; q < start_[c + 1]; ++q) {
          const long l = items_[q];
          if (l != i && l != j && l != k && Distance(P, px_[l], py_[l]) < r0) return true;
        }
      }
    }
    return false;
  }

 private:
  const double* px_;
  const double* py_;
  long n_;
  bool linear_ = true;
  Grid grid_;
  std::vector<long> start_;
  std::vector<int> items_;
};

// The crossing test against the accepted triangles (slots of Tpoints), edge by edge: an
// accepted edge is tried when its widened bounding box meets the candidate edge's, or when it
// lies on nearly the same line. Triangles with a corner that is not a finite point of the
// search are tried in full against every candidate.
class OverlapIndex {
 public:
  OverlapIndex(const double* px, const double* py, const int* tpoints, long capacity)
      : px_(px), py_(py), tpoints_(tpoints), capacity_(capacity) {}

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
    if (linear_ || !indexed) {
      always_.push_back(m);
      return;
    }
    const int* tri = tpoints_ + 3 * m;
    // The candidate just tested by Crosses has its edges made already.
    const bool tested = tri == probeTriangle_;
    probeTriangle_ = nullptr;
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
          for (long n = cells_[static_cast<std::size_t>(cy * grid_.Cols() + cx)]; n >= 0;
               n = nodes_[n].next) {
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

 private:
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
  double slack_ = 0, centreX_ = 0, centreY_ = 0;
  long angleBins_ = 1;
  double angleWidth_ = 1, offsetWidth_ = 1, angleTolerance_ = 0, offsetTolerance_ = 0;
};

class Search {
 public:
  Search(ProgramState& s, const double* px, const double* py)
      : s_(s),
        px_(px),
        py_(py),
        n_(s_.NumberOfPoints),
        log_(s_.OUT_LOG),
        capacity_(static_cast<long>(s_.Tpoints.size() / 3)),
        points_(px, py, n_),
        overlap_(px, py, s_.Tpoints.data(), capacity_) {}

  void Run();

 private:
  bool ClassifyPoints();
  enum class Collected { kDone, kCancelled, kTooMany };
  Collected CollectCandidates(std::vector<Triple>* out);
  bool PassesCircleTest(long i, long j, long k) const;
  void SetProgress(long i, long j) {
    const long long step =
        static_cast<long long>(i) * (n_ - 2) - static_cast<long long>(i) * (i - 1) / 2 + (j - i);
    s_.iProgressStatus = static_cast<int>((100 * step) / steps_);
  }
  bool Accept(long i, long j, long k);
  void RegisterEarlierTriangles();
  void RunIndexed();
  void RunEveryTriple(bool pointGrid);

  ProgramState& s_;
  const double* px_;
  const double* py_;
  const long n_;
  std::FILE* log_;
  const long capacity_;
  long long steps_ = 1;
  Bounds bounds_;
  std::vector<int> finite_;  // finite points, sorted by coordinates
  bool inRange_ = true;      // every finite coordinate within the predicates' range
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
      const double a = std::fabs(c);
      if (a > kDelaunayMaxMagnitude || (a != 0 && a < kDelaunayMinMagnitude)) inRange_ = false;
      bounds_.magnitude = std::max(bounds_.magnitude, a);
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

// Appends every triple of distinct members of set, with each member replaced by each of its
// copies; false as soon as out holds more than limit triples.
bool EmitTriples(const std::vector<int>& set, const std::vector<std::vector<int>>& groups,
                 std::size_t limit, std::vector<Triple>* out) {
  const std::size_t size = set.size();
  for (std::size_t a = 0; a < size; ++a) {
    for (std::size_t b = a + 1; b < size; ++b) {
      for (std::size_t c = b + 1; c < size; ++c) {
        for (int p : groups[set[a]]) {
          for (int q : groups[set[b]]) {
            for (int r : groups[set[c]]) {
              int t[3] = {p, q, r};
              std::sort(t, t + 3);
              out->push_back({t[0], t[1], t[2]});
              if (out->size() > limit) return false;
            }
          }
        }
      }
    }
  }
  return true;
}

// The triples that can pass the circle test (see the comment at the top of this section),
// sorted and distinct. Gives up (kTooMany) on sets where many points share a circle, whose
// triples would not fit in memory in proportion to N.
Search::Collected Search::CollectCandidates(std::vector<Triple>* out) {
  const std::size_t limit = 1000000 + 200 * static_cast<std::size_t>(n_);
  constexpr std::size_t kLargestGroup = 200;
  // One representative per coordinate pair; groups[rep] lists all points sharing them.
  std::vector<int> reps;
  std::vector<int> repOf(n_, -1);
  for (std::size_t q = 0; q < finite_.size();) {
    std::size_t end = q + 1;
    const int first = finite_[q];
    while (end < finite_.size() && px_[finite_[end]] == px_[first] &&
           py_[finite_[end]] == py_[first]) {
      ++end;
    }
    reps.push_back(first);
    for (std::size_t c = q; c < end; ++c) repOf[finite_[c]] = first;
    q = end;
  }
  std::vector<std::vector<int>> groups(n_);
  for (int id : finite_) groups[repOf[id]].push_back(id);

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
    if ((members.size() == 3 || sets.insert(members).second) &&
        !EmitTriples(members, groups, limit, out)) {
      return Collected::kTooMany;
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
  if (m >= capacity_) return false;
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
  std::vector<Triple> passing;
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    if ((c & 1023) == 0 && Cancelled(s_)) return;
    const Triple& t = candidates[c];
    if (PassesCircleTest(t.i, t.j, t.k)) passing.push_back(t);
  }

  // The shortest edge among the triangles the crossing test will meet.
  double shortest = INFINITY;
  const auto edge = [&](int p, int q) {
    const double length = std::hypot(px_[q] - px_[p], py_[q] - py_[p]);
    if (length > 0) shortest = std::min(shortest, length * (1 - 1e-9));
  };
  for (const Triple& t : passing) {
    edge(t.i, t.j);
    edge(t.j, t.k);
    edge(t.i, t.k);
  }
  const int* tp = s_.Tpoints.data();
  for (long m = 0; m < s_.NumberOfTriangles && m < capacity_; ++m) {
    for (int e = 0; e < 3; ++e) {
      const int p = tp[3 * m + e], q = tp[3 * m + (e + 1) % 3];
      if (p >= 0 && p < n_ && q >= 0 && q < n_) edge(p, q);
    }
  }
  overlap_.InitIndexed(bounds_, static_cast<long>(finite_.size()), shortest);
  RegisterEarlierTriangles();

  for (const Triple& t : passing) {
    if (Cancelled(s_)) return;
    SetProgress(t.i, t.j);
    if (!Accept(t.i, t.j, t.k)) return;
  }
  // The last pair's value, unless a cancel ended the search first.
  if (!Cancelled(s_)) s_.iProgressStatus = 100;
}

// Every triple in the order of the nested loops, for coordinates the predicates cannot take
// (the empty-circle scan then visits every point) and for sets with too many co-circular points.
void Search::RunEveryTriple(bool pointGrid) {
  if (!pointGrid) points_.InitLinear();
  overlap_.InitLinear();
  RegisterEarlierTriangles();
  for (long i = 0; i < n_ - 2 && !Cancelled(s_); ++i) {
    for (long j = i + 1; j < n_ - 1 && !Cancelled(s_); ++j) {
      SetProgress(i, j);
      for (long k = j + 1; k < n_ && !Cancelled(s_); ++k) {
        if (!PassesCircleTest(i, j, k) || Cancelled(s_)) continue;
        if (!Accept(i, j, k)) return;
      }
    }
  }
}

void Search::Run() {
  if (log_ != nullptr) std::fprintf(log_, "Automatic triangulation \n");
  s_.iTriangles = static_cast<int>(s_.NumberOfTriangles);
  if (n_ < 3 || Cancelled(s_)) return;
  steps_ = (static_cast<long long>(n_ - 2) * (n_ - 1)) / 2;
  SetProgress(0, 1);
  if (ClassifyPoints()) {
    RunIndexed();
  } else {
    RunEveryTriple(false);
  }
}

}  // namespace

int Triangulate(ProgramState& s, const double* PX, const double* PY) {
  Search(s, PX, PY).Run();
  return 0;
}

}  // namespace zmr
