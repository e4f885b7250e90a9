#include "geometry/TriangleMap.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "geometry/TriangleLocation.h"

namespace zmr {
namespace {

// Which lattice positions a triangle's side tests must visit. CheckTriangle holds the closed
// triangle, plus whatever rounding in its three cross products admits. For a triangle whose
// smallest angle is not tiny (sin above about 1e-6, which the area relative to the longest
// edge guarantees) rounding admits only positions within a minute distance of the triangle,
// so its bounding box widened by two pixels (and by a millionth of its size, for far-flung
// coordinates) holds all of them. A flat or nearly flat triangle holds positions all along its
// line, beyond its box (three equal vertices hold every position), and one stored against the
// mesh orientation may hold stray positions anywhere: those visit the whole lattice.
constexpr double kBoxMargin = 2.0;
constexpr double kRelativeMargin = 1e-6;
constexpr double kMinimumShape = 1e-6;
// Indices [first, last) of the ascending values within [lo, hi].
// unit tells that v is 0, 1, ..., n - 1 (the pixels of an image): the bounds are then a ceiling
// and a floor away (the search gives the same, slower, answer; a bound that is not a number
// keeps the whole row as the search does).
void Range(const std::vector<double>& v, bool unit, double lo, double hi, std::size_t& first,
           std::size_t& last) {
  const std::size_t n = v.size();
  if (unit && n > 0) {
    const double top = static_cast<double>(n - 1);
    // Within (0, top] the conversion truncates, which is the floor; one more where it was
    // not whole is the ceiling.
    if (!(lo > 0.0)) {
      first = 0;
    } else if (lo > top) {
      first = n;
    } else {
      first = static_cast<std::size_t>(lo);
      if (static_cast<double>(first) < lo) ++first;
    }
    last = hi < 0.0 ? 0 : !(hi < top) ? n : static_cast<std::size_t>(hi) + 1;
  } else {
    first = static_cast<std::size_t>(std::lower_bound(v.begin(), v.end(), lo) - v.begin());
    last = static_cast<std::size_t>(std::upper_bound(v.begin(), v.end(), hi) - v.begin());
  }
  if (last < first) last = first;
}

// The inner span: positions whose exact side cross products are at least kInnerDistance times
// the side's length. The side tests' rounding is below 16 eps M^2 for coordinates up to M in
// magnitude; a triangle gets an inner span only when that is below a thousandth of every side's
// share, kInnerDistance |e|, so the bound's own rounding does not matter either.
constexpr double kInnerDistance = 0.5;
constexpr double kRoundingFactor = 1e-12;

// The columns of the ascending xs on the row y whose side cross products with the triangle v
// (x1 y1 x2 y2 x3 y3, sides of the given lengths) are all at least kInnerDistance times the
// side's length: [first, last), the columns well inside; and all at least -kInnerDistance times
// it: [outerFirst, outerLast), the only columns the side tests can admit (rounding admits none
// further out). A span is empty (first == last) when it holds no column.
struct Spans {
  std::size_t outerFirst = 0, outerLast = 0, first = 0, last = 0;
};
Spans SpansOnRow(const double* v, const double* lengths, const std::vector<double>& xs, bool unit,
                 double y) {
  double lo[2] = {-HUGE_VAL, -HUGE_VAL};  // inner, outer
  double hi[2] = {HUGE_VAL, HUGE_VAL};
  for (int k = 0; k < 3; ++k) {
    const double* U1 = v + 2 * k;
    const double* U2 = v + 2 * ((k + 1) % 3);
    const double dx = U2[0] - U1[0];
    const double dy = U2[1] - U1[1];
    // The side's cross product at (x, y) is dx (y - y1) - dy (x - x1): linear in x.
    const double need = kInnerDistance * lengths[k];
    const double at = dx * (y - U1[1]);
    for (int outer = 0; outer < 2; ++outer) {
      const double atX1 = outer ? at + need : at - need;
      if (dy == 0) {
        if (!(atX1 >= 0)) lo[outer] = HUGE_VAL;
      } else if (dy > 0) {
        hi[outer] = std::min(hi[outer], U1[0] + atX1 / dy);
      } else {
        lo[outer] = std::max(lo[outer], U1[0] + atX1 / dy);
      }
    }
  }
  Spans spans;
  if (lo[1] <= hi[1]) Range(xs, unit, lo[1], hi[1], spans.outerFirst, spans.outerLast);
  if (lo[0] <= hi[0]) Range(xs, unit, lo[0], hi[0], spans.first, spans.last);
  return spans;
}

// True when v is 0, 1, ..., v.size() - 1.
bool UnitLattice(const std::vector<double>& v) {
  for (std::size_t a = 0; a < v.size(); ++a) {
    if (v[a] != static_cast<double>(a)) return false;
  }
  return true;
}

}  // namespace

TriangleRowMap::TriangleRowMap(const ProgramState& s, const std::vector<double>& xs,
                               const std::vector<double>& ys)
    : xs_(xs), ys_(ys), unitXs_(UnitLattice(xs)), unitYs_(UnitLattice(ys)) {
  const long triangles = SearchableTriangleCount(s);
  try {
    vertices_.resize(static_cast<std::size_t>(6 * triangles));
    boxes_.resize(static_cast<std::size_t>(triangles));
    spanned_.resize(static_cast<std::size_t>(triangles));
    sideLengths_.resize(static_cast<std::size_t>(3 * triangles));
    byFirstRow_.resize(static_cast<std::size_t>(triangles));
    active_.reserve(static_cast<std::size_t>(triangles));
    merged_.reserve(static_cast<std::size_t>(triangles));
  } catch (const std::bad_alloc&) {
    return;
  }

  for (long t = 0; t < triangles; ++t) {
    const int n = static_cast<int>(t);
    double* v = &vertices_[static_cast<std::size_t>(6 * t)];
    for (int k = 0; k < 3; ++k) {
      const double* P = TPoint(s, n, k, 0);
      v[2 * k] = P[0];
      v[2 * k + 1] = P[1];
    }
    const double* P1 = v;
    const double* P2 = v + 2;
    const double* P3 = v + 4;
    Box& box = boxes_[static_cast<std::size_t>(t)];
    // A coordinate that is not a number makes two of the three side tests fail everywhere.
    if (std::any_of(v, v + 6, [](double c) { return std::isnan(c); })) {
      box = {0, 0, 0, 0};
      continue;
    }
    box = {0, xs_.size(), 0, ys_.size()};
    spanned_[static_cast<std::size_t>(t)] = 0;
    const double e12[2] = {P2[0] - P1[0], P2[1] - P1[1]};
    const double e13[2] = {P3[0] - P1[0], P3[1] - P1[1]};
    const double e23[2] = {P3[0] - P2[0], P3[1] - P2[1]};
    const double area = e12[0] * e13[1] - e12[1] * e13[0];
    const double longest =
        std::max({e12[0] * e12[0] + e12[1] * e12[1], e13[0] * e13[0] + e13[1] * e13[1],
                  e23[0] * e23[0] + e23[1] * e23[1]});
    if (area > 0 && area >= kMinimumShape * longest) {
      const double margin = kBoxMargin + kRelativeMargin * std::sqrt(longest);
      Range(xs_, unitXs_, std::min({P1[0], P2[0], P3[0]}) - margin,
            std::max({P1[0], P2[0], P3[0]}) + margin, box.a0, box.a1);
      Range(ys_, unitYs_, std::min({P1[1], P2[1], P3[1]}) - margin,
            std::max({P1[1], P2[1], P3[1]}) + margin, box.b0, box.b1);
      double magnitude = 1;
      for (int k = 0; k < 6; ++k) magnitude = std::max(magnitude, std::fabs(v[k]));
      if (!xs_.empty()) {
        magnitude = std::max({magnitude, std::fabs(xs_.front()), std::fabs(xs_.back())});
      }
      if (!ys_.empty()) {
        magnitude = std::max({magnitude, std::fabs(ys_.front()), std::fabs(ys_.back())});
      }
      const double shortest =
          std::min({e12[0] * e12[0] + e12[1] * e12[1], e13[0] * e13[0] + e13[1] * e13[1],
                    e23[0] * e23[0] + e23[1] * e23[1]});
      const double rounding = kRoundingFactor * magnitude * magnitude;
      spanned_[static_cast<std::size_t>(t)] =
          std::isfinite(magnitude) && kInnerDistance * std::sqrt(shortest) > rounding;
      for (int k = 0; k < 3; ++k) {
        const double dx = v[2 * ((k + 1) % 3)] - v[2 * k];
        const double dy = v[2 * ((k + 1) % 3) + 1] - v[2 * k + 1];
        sideLengths_[3 * static_cast<std::size_t>(t) + k] = std::sqrt(dx * dx + dy * dy);
      }
    }
  }

  // Entering order: by first row, and by index among triangles that start on the same row.
  for (std::size_t t = 0; t < byFirstRow_.size(); ++t) byFirstRow_[t] = static_cast<int>(t);
  std::stable_sort(byFirstRow_.begin(), byFirstRow_.end(),
                   [this](int a, int b) { return boxes_[a].b0 < boxes_[b].b0; });
  ready_ = true;
}

void TriangleRowMap::FillRow(std::size_t b, int* row) {
  // The active list: triangles whose rows include b, in index order.
  active_.erase(
      std::remove_if(active_.begin(), active_.end(), [&](int t) { return boxes_[t].b1 <= b; }),
      active_.end());
  const std::size_t first = nextStart_;
  while (nextStart_ < byFirstRow_.size() && boxes_[byFirstRow_[nextStart_]].b0 <= b) ++nextStart_;
  if (nextStart_ > first) {
    merged_.clear();
    for (std::size_t k = first; k < nextStart_; ++k) {
      const int t = byFirstRow_[k];
      if (boxes_[t].b1 > b && boxes_[t].a1 > boxes_[t].a0) merged_.push_back(t);
    }
    std::sort(merged_.begin(), merged_.end());
    const std::size_t old = active_.size();
    active_.insert(active_.end(), merged_.begin(), merged_.end());
    std::inplace_merge(active_.begin(), active_.begin() + static_cast<long>(old), active_.end());
  }

  const std::size_t width = xs_.size();
  std::fill(row, row + width, -1);
  double C[2] = {0.0, ys_[b]};
  const auto test = [&](const double* v, int t, std::size_t from, std::size_t to) {
    for (std::size_t a = from; a < to; ++a) {
      if (row[a] != -1) continue;
      C[0] = xs_[a];
      if (TriangleHolds(v, v + 2, v + 4, C)) row[a] = t;
    }
  };
  for (const int t : active_) {
    const double* v = &vertices_[6 * static_cast<std::size_t>(t)];
    const Box& box = boxes_[t];
    if (!spanned_[static_cast<std::size_t>(t)]) {
      test(v, t, box.a0, box.a1);
      continue;
    }
    // Inside the inner span every position is held; outside the outer one none is; the side
    // tests decide between the two.
    const Spans spans =
        SpansOnRow(v, &sideLengths_[3 * static_cast<std::size_t>(t)], xs_, unitXs_, C[1]);
    const std::size_t outerFirst = std::clamp(spans.outerFirst, box.a0, box.a1);
    const std::size_t outerLast = std::clamp(spans.outerLast, outerFirst, box.a1);
    const std::size_t first = std::clamp(spans.first, outerFirst, outerLast);
    const std::size_t last = std::clamp(spans.last, first, outerLast);
    test(v, t, outerFirst, first);
    for (std::size_t a = first; a < last; ++a) {
      if (row[a] == -1) row[a] = t;
    }
    test(v, t, last, outerLast);
  }
}

bool MapTriangles(const ProgramState& s, const std::vector<double>& xs,
                  const std::vector<double>& ys, std::vector<int>& map,
                  const std::atomic<int>* cancel) {
  try {
    map.resize(xs.size() * ys.size());
  } catch (const std::bad_alloc&) {
    map.clear();
    return false;
  }
  TriangleRowMap rows(s, xs, ys);
  if (!rows.Ready()) {
    map.clear();
    return false;
  }
  for (std::size_t b = 0; b < ys.size(); ++b) {
    if (cancel != nullptr && cancel->load(std::memory_order_acquire) != 0) {
      map.clear();
      return false;
    }
    rows.FillRow(b, map.data() + b * xs.size());
  }
  return true;
}

std::vector<double> PixelCoordinates(long count) {
  std::vector<double> out(static_cast<std::size_t>(std::max(count, 0L)));
  for (std::size_t k = 0; k < out.size(); ++k) out[k] = static_cast<double>(k);
  return out;
}

}  // namespace zmr
