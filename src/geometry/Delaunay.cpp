#include "geometry/Delaunay.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <utility>

namespace zmr {
namespace {

// ---- exact arithmetic on floating-point expansions -----------------------------------------
// An expansion is a sum of doubles, nonoverlapping and ordered by increasing magnitude, with
// zero components removed; its sign is the sign of its last component.

constexpr double kEpsilon = 0x1p-53;  // half a unit in the last place of 1
constexpr double kOrientBound = (3.0 + 16.0 * kEpsilon) * kEpsilon;
constexpr double kInCircleBound = (10.0 + 96.0 * kEpsilon) * kEpsilon;

// x + y == a + b exactly, x the rounded sum.
inline void TwoSum(double a, double b, double& x, double& y) {
  x = a + b;
  const double bVirtual = x - a;
  const double aVirtual = x - bVirtual;
  y = (a - aVirtual) + (b - bVirtual);
}

inline void TwoDiff(double a, double b, double& x, double& y) {
  x = a - b;
  const double bVirtual = a - x;
  const double aVirtual = x + bVirtual;
  y = (a - aVirtual) + (bVirtual - b);
}

// x + y == a * b exactly.
inline void TwoProduct(double a, double b, double& x, double& y) {
  x = a * b;
#ifdef FP_FAST_FMA
  y = std::fma(a, b, -x);
#else
  // Dekker's splitting into halves of 26 bits, whose products are exact.
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  double c = kSplitter * a;
  const double aHi = c - (c - a);
  const double aLo = a - aHi;
  c = kSplitter * b;
  const double bHi = c - (c - b);
  const double bLo = b - bHi;
  y = aLo * bLo - (((x - aHi * bHi) - aLo * bHi) - aHi * bLo);
#endif
}

// h = e + f for expansions of elen and flen components; h has room for elen + flen. The
// components are taken in order of magnitude and accumulated with TwoSum, which keeps the
// result nonoverlapping. Returns the length of h (at least 1).
int SumInto(int elen, const double* e, int flen, const double* f, double* h) {
  int i = 0, j = 0, k = 0;
  const auto next = [&]() {
    if (j >= flen || (i < elen && std::fabs(e[i]) < std::fabs(f[j]))) return e[i++];
    return f[j++];
  };
  double q = (elen + flen > 0) ? next() : 0.0;
  while (i < elen || j < flen) {
    const double g = next();
    double sum, tail;
    TwoSum(q, g, sum, tail);
    if (tail != 0.0) h[k++] = tail;
    q = sum;
  }
  if (q != 0.0 || k == 0) h[k++] = q;
  return k;
}

// h = e * b; h has room for 2 * elen components. Returns the length of h.
int ScaleInto(int elen, const double* e, double b, double* h) {
  int k = 0;
  double q, tail;
  TwoProduct(e[0], b, q, tail);
  if (tail != 0.0) h[k++] = tail;
  for (int i = 1; i < elen; ++i) {
    double product, productTail, sum;
    TwoProduct(e[i], b, product, productTail);
    TwoSum(q, productTail, sum, tail);
    if (tail != 0.0) h[k++] = tail;
    TwoSum(product, sum, q, tail);
    if (tail != 0.0) h[k++] = tail;
  }
  if (q != 0.0 || k == 0) h[k++] = q;
  return k;
}

int SignOf(int n, const double* e) {
  const double top = e[n - 1];
  return top > 0 ? 1 : top < 0 ? -1 : 0;
}

// ux * vy - uy * vx exactly, in at most 4 components.
int CrossInto(double ux, double uy, double vx, double vy, double* h) {
  double p[2], m[2];
  TwoProduct(ux, vy, p[1], p[0]);
  TwoProduct(uy, vx, m[1], m[0]);
  m[0] = -m[0];
  m[1] = -m[1];
  return SumInto(2, p, 2, m, h);
}

// The in-circle determinant when the six coordinate differences are exact doubles: at most 96
// components.
int InCircleFromDifferences(double adx, double ady, double bdx, double bdy, double cdx, double cdy,
                            double* h) {
  const double lifts[3][2] = {{adx, ady}, {bdx, bdy}, {cdx, cdy}};
  double cross[3][4];
  int crossLength[3];
  crossLength[0] = CrossInto(bdx, bdy, cdx, cdy, cross[0]);
  crossLength[1] = CrossInto(cdx, cdy, adx, ady, cross[1]);
  crossLength[2] = CrossInto(adx, ady, bdx, bdy, cross[2]);
  double terms[3][32];
  int termLength[3];
  for (int r = 0; r < 3; ++r) {
    double once[8], twiceX[16], twiceY[16];
    int n = ScaleInto(crossLength[r], cross[r], lifts[r][0], once);
    const int nx = ScaleInto(n, once, lifts[r][0], twiceX);
    n = ScaleInto(crossLength[r], cross[r], lifts[r][1], once);
    const int ny = ScaleInto(n, once, lifts[r][1], twiceY);
    termLength[r] = SumInto(nx, twiceX, ny, twiceY, terms[r]);
  }
  double ab[64];
  const int nab = SumInto(termLength[0], terms[0], termLength[1], terms[1], ab);
  return SumInto(nab, ab, termLength[2], terms[2], h);
}

// ---- general expansions, for differences that are not exact doubles (rare) -------------------

using Expansion = std::vector<double>;

Expansion Sum(const Expansion& e, const Expansion& f) {
  Expansion h(e.size() + f.size() + 1);
  h.resize(SumInto(static_cast<int>(e.size()), e.data(), static_cast<int>(f.size()), f.data(),
                   h.data()));
  return h;
}

Expansion Negate(Expansion e) {
  for (double& v : e) v = -v;
  return e;
}

Expansion Scale(const Expansion& e, double b) {
  if (e.empty()) return {};
  Expansion h(2 * e.size());
  h.resize(ScaleInto(static_cast<int>(e.size()), e.data(), b, h.data()));
  return h;
}

Expansion Product(const Expansion& e, const Expansion& f) {
  Expansion h;
  for (double component : f) h = Sum(h, Scale(e, component));
  return h;
}

Expansion Difference(double a, double b) {
  double x, y;
  TwoDiff(a, b, x, y);
  Expansion h;
  if (y != 0.0) h.push_back(y);
  if (x != 0.0 || h.empty()) h.push_back(x);
  return h;
}

int Sign(const Expansion& e) {
  return e.empty() ? 0 : SignOf(static_cast<int>(e.size()), e.data());
}

Expansion OrientationExpansion(double ax, double ay, double bx, double by, double cx, double cy) {
  const Expansion acx = Difference(ax, cx), bcx = Difference(bx, cx);
  const Expansion acy = Difference(ay, cy), bcy = Difference(by, cy);
  return Sum(Product(acx, bcy), Negate(Product(acy, bcx)));
}

Expansion InCircleExpansion(double ax, double ay, double bx, double by, double cx, double cy,
                            double dx, double dy) {
  const Expansion adx = Difference(ax, dx), ady = Difference(ay, dy);
  const Expansion bdx = Difference(bx, dx), bdy = Difference(by, dy);
  const Expansion cdx = Difference(cx, dx), cdy = Difference(cy, dy);
  const auto lift = [](const Expansion& u, const Expansion& v) {
    return Sum(Product(u, u), Product(v, v));
  };
  const auto cross = [](const Expansion& u1, const Expansion& v1, const Expansion& u2,
                        const Expansion& v2) {
    return Sum(Product(u1, v2), Negate(Product(v1, u2)));
  };
  const Expansion a = Product(lift(adx, ady), cross(bdx, bdy, cdx, cdy));
  const Expansion b = Product(lift(bdx, bdy), cross(cdx, cdy, adx, ady));
  const Expansion c = Product(lift(cdx, cdy), cross(adx, ady, bdx, bdy));
  return Sum(Sum(a, b), c);
}

// True when all of a - b for the given pairs are exact doubles.
bool ExactDifferences(std::initializer_list<std::pair<double, double>> pairs) {
  for (const auto& [a, b] : pairs) {
    double x, y;
    TwoDiff(a, b, x, y);
    if (y != 0.0) return false;
  }
  return true;
}

// The exact in-circle determinant plus limit times the exact orientation, as an expansion.
Expansion InCirclePlusOrientation(double ax, double ay, double bx, double by, double cx, double cy,
                                  double dx, double dy, double limit) {
  if (ExactDifferences({{ax, dx}, {ay, dy}, {bx, dx}, {by, dy}, {cx, dx}, {cy, dy}}) &&
      ExactDifferences({{ax, cx}, {ay, cy}, {bx, cx}, {by, cy}})) {
    double circle[96], orient[4], scaled[8];
    const int nc =
        InCircleFromDifferences(ax - dx, ay - dy, bx - dx, by - dy, cx - dx, cy - dy, circle);
    if (limit == 0) return Expansion(circle, circle + nc);
    const int no = CrossInto(ax - cx, ay - cy, bx - cx, by - cy, orient);
    const int ns = ScaleInto(no, orient, limit, scaled);
    Expansion h(nc + ns);
    h.resize(SumInto(nc, circle, ns, scaled, h.data()));
    return h;
  }
  const Expansion circle = InCircleExpansion(ax, ay, bx, by, cx, cy, dx, dy);
  if (limit == 0) return circle;
  return Sum(circle, Scale(OrientationExpansion(ax, ay, bx, by, cx, cy), limit));
}

// The floating-point in-circle determinant of Shewchuk's predicates with its error bound.
struct InCircleEstimate {
  double det;
  double bound;
};

InCircleEstimate EstimateInCircle(double ax, double ay, double bx, double by, double cx, double cy,
                                  double dx, double dy) {
  const double adx = ax - dx, ady = ay - dy;
  const double bdx = bx - dx, bdy = by - dy;
  const double cdx = cx - dx, cdy = cy - dy;
  const double bdxcdy = bdx * cdy, cdxbdy = cdx * bdy;
  const double cdxady = cdx * ady, adxcdy = adx * cdy;
  const double adxbdy = adx * bdy, bdxady = bdx * ady;
  const double alift = adx * adx + ady * ady;
  const double blift = bdx * bdx + bdy * bdy;
  const double clift = cdx * cdx + cdy * cdy;
  const double det =
      alift * (bdxcdy - cdxbdy) + blift * (cdxady - adxcdy) + clift * (adxbdy - bdxady);
  const double permanent = (std::fabs(bdxcdy) + std::fabs(cdxbdy)) * alift +
                           (std::fabs(cdxady) + std::fabs(adxcdy)) * blift +
                           (std::fabs(adxbdy) + std::fabs(bdxady)) * clift;
  return {det, kInCircleBound * permanent};
}

// ---- the incremental triangulation --------------------------------------------------------

struct Triangle {
  std::array<int, 3> v;  // local vertex numbers; the vertex count stands for infinity
  std::array<int, 3> n;  // neighbour across the edge opposite v[e]
};

class Builder {
 public:
  Builder(const double* x, const double* y, const std::vector<int>& ids,
          const std::atomic<int>& cancel)
      : x_(x), y_(y), ids_(ids), cancel_(cancel), infinite_(static_cast<int>(ids.size())) {}

  bool Run(DelaunayMesh* mesh);

 private:
  double X(int v) const { return x_[ids_[v]]; }
  double Y(int v) const { return y_[ids_[v]]; }
  int Orient(int a, int b, int c) const {
    return OrientationSign(X(a), Y(a), X(b), Y(b), X(c), Y(c));
  }
  bool IsGhost(int t) const {
    const Triangle& tr = tris_[t];
    return tr.v[0] == infinite_ || tr.v[1] == infinite_ || tr.v[2] == infinite_;
  }
  bool InConflict(int t, int p) const;
  int NewTriangle(int a, int b, int c);
  void Start(int a, int b, int c);
  int Locate(int p, int start);
  void Insert(int p);
  std::vector<int> InsertionOrder() const;

  const double* x_;
  const double* y_;
  const std::vector<int>& ids_;
  const std::atomic<int>& cancel_;
  const int infinite_;
  std::vector<Triangle> tris_;
  std::vector<char> alive_;
  std::vector<int> free_;
  std::vector<unsigned> cavityMark_;
  std::vector<unsigned> testedMark_;
  unsigned stamp_ = 0;
  std::vector<int> startAt_;
  struct Edge {
    int a, b, outside;
  };
  std::vector<int> cavity_;
  std::vector<Edge> boundary_;
  std::vector<int> fan_;
  int hint_ = 0;
  std::minstd_rand rng_{12345};
};

bool Builder::InConflict(int t, int p) const {
  const Triangle& tr = tris_[t];
  for (int e = 0; e < 3; ++e) {
    if (tr.v[e] != infinite_) continue;
    // The hull edge u -> v with the outside on its left.
    const int u = tr.v[(e + 1) % 3];
    const int v = tr.v[(e + 2) % 3];
    const int o = Orient(u, v, p);
    if (o != 0) return o > 0;
    // On the edge's line: in conflict when strictly between its ends, which for collinear
    // points is lexicographic order.
    const auto key = [this](int w) { return std::make_pair(X(w), Y(w)); };
    const auto kp = std::make_pair(X(p), Y(p));
    return (key(u) < kp && kp < key(v)) || (key(v) < kp && kp < key(u));
  }
  return InCircleSign(X(tr.v[0]), Y(tr.v[0]), X(tr.v[1]), Y(tr.v[1]), X(tr.v[2]), Y(tr.v[2]), X(p),
                      Y(p)) > 0;
}

int Builder::NewTriangle(int a, int b, int c) {
  int t;
  if (!free_.empty()) {
    t = free_.back();
    free_.pop_back();
  } else {
    t = static_cast<int>(tris_.size());
    tris_.push_back({});
    alive_.push_back(0);
    cavityMark_.push_back(0);
    testedMark_.push_back(0);
  }
  tris_[t].v = {a, b, c};
  tris_[t].n = {-1, -1, -1};
  alive_[t] = 1;
  return t;
}

// The first triangle (a, b, c counter-clockwise) and the three ghosts behind its edges.
void Builder::Start(int a, int b, int c) {
  const int t = NewTriangle(a, b, c);
  const int g0 = NewTriangle(c, b, infinite_);  // behind b -> c
  const int g1 = NewTriangle(a, c, infinite_);  // behind c -> a
  const int g2 = NewTriangle(b, a, infinite_);  // behind a -> b
  tris_[t].n = {g0, g1, g2};
  // Each ghost meets the real triangle across its finite edge and the other two ghosts across
  // its edges to infinity; those are found by matching the reversed edge.
  const int ghosts[3] = {g0, g1, g2};
  for (int g : ghosts) {
    tris_[g].n[2] = t;
    for (int e = 0; e < 2; ++e) {
      const int p = tris_[g].v[(e + 1) % 3];
      const int q = tris_[g].v[(e + 2) % 3];
      for (int h : ghosts) {
        for (int f = 0; f < 3; ++f) {
          if (h != g && tris_[h].v[(f + 1) % 3] == q && tris_[h].v[(f + 2) % 3] == p) {
            tris_[g].n[e] = h;
          }
        }
      }
    }
  }
  hint_ = t;
}

// A triangle in conflict with p, found by walking from start towards p; a ghost when p lies
// outside the hull.
int Builder::Locate(int p, int start) {
  int t = start;
  const long limit = 4 * static_cast<long>(tris_.size()) + 64;
  for (long step = 0; step < limit; ++step) {
    const int r = static_cast<int>(rng_() % 3);
    bool moved = false;
    for (int k = 0; k < 3 && !moved; ++k) {
      const int e = (r + k) % 3;
      const Triangle& tr = tris_[t];
      if (Orient(tr.v[(e + 1) % 3], tr.v[(e + 2) % 3], p) < 0) {
        t = tr.n[e];
        moved = true;
      }
    }
    if (!moved || IsGhost(t)) {
      if (InConflict(t, p)) return t;
      break;
    }
  }
  // Not reached with exact predicates; a linear search keeps the result right regardless.
  for (int u = 0; u < static_cast<int>(tris_.size()); ++u) {
    if (alive_[u] && InConflict(u, p)) return u;
  }
  return -1;
}

void Builder::Insert(int p) {
  const int seed = Locate(p, hint_);
  if (seed < 0) return;
  ++stamp_;
  std::vector<int>& cavity = cavity_;
  cavity.assign(1, seed);
  cavityMark_[seed] = stamp_;
  for (std::size_t c = 0; c < cavity.size(); ++c) {
    const Triangle tr = tris_[cavity[c]];
    for (int e = 0; e < 3; ++e) {
      const int nb = tr.n[e];
      if (cavityMark_[nb] == stamp_ || testedMark_[nb] == stamp_) continue;
      testedMark_[nb] = stamp_;
      if (InConflict(nb, p)) {
        cavityMark_[nb] = stamp_;
        cavity.push_back(nb);
      }
    }
  }
  // The hole's boundary, each edge as seen from inside the hole, with the triangle outside.
  std::vector<Edge>& boundary = boundary_;
  boundary.clear();
  for (int t : cavity) {
    const Triangle& tr = tris_[t];
    for (int e = 0; e < 3; ++e) {
      if (cavityMark_[tr.n[e]] != stamp_) {
        boundary.push_back({tr.v[(e + 1) % 3], tr.v[(e + 2) % 3], tr.n[e]});
      }
    }
  }
  for (int t : cavity) {
    alive_[t] = 0;
    free_.push_back(t);
  }
  std::vector<int>& fan = fan_;
  fan.clear();
  for (const Edge& edge : boundary) {
    const int t = NewTriangle(edge.a, edge.b, p);
    tris_[t].n[2] = edge.outside;
    Triangle& out = tris_[edge.outside];
    for (int f = 0; f < 3; ++f) {
      if (out.v[(f + 1) % 3] == edge.b && out.v[(f + 2) % 3] == edge.a) out.n[f] = t;
    }
    startAt_[edge.a] = t;
    fan.push_back(t);
  }
  for (int t : fan) {
    const int next = startAt_[tris_[t].v[1]];
    tris_[t].n[0] = next;
    tris_[next].n[1] = t;
  }
  for (int t : fan) {
    if (!IsGhost(t)) hint_ = t;
  }
}

// Biased randomised insertion order: rounds of doubling size, each sorted along a Hilbert
// curve, so that the walks stay short and the expected work stays near N log N.
std::vector<int> Builder::InsertionOrder() const {
  const int count = static_cast<int>(ids_.size());
  std::vector<int> order(count);
  for (int i = 0; i < count; ++i) order[i] = i;
  std::mt19937 shuffle(2024);
  std::shuffle(order.begin(), order.end(), shuffle);

  double minX = X(0), maxX = X(0), minY = Y(0), maxY = Y(0);
  for (int i = 1; i < count; ++i) {
    minX = std::min(minX, X(i));
    maxX = std::max(maxX, X(i));
    minY = std::min(minY, Y(i));
    maxY = std::max(maxY, Y(i));
  }
  const double span = std::max(maxX - minX, maxY - minY);
  const double scale = span > 0 ? 65535.0 / span : 0.0;
  std::vector<std::uint64_t> key(count);
  for (int i = 0; i < count; ++i) {
    std::uint32_t hx = static_cast<std::uint32_t>(std::clamp((X(i) - minX) * scale, 0.0, 65535.0));
    std::uint32_t hy = static_cast<std::uint32_t>(std::clamp((Y(i) - minY) * scale, 0.0, 65535.0));
    std::uint64_t d = 0;
    for (std::uint32_t s = 1u << 15; s > 0; s >>= 1) {
      const std::uint32_t rx = (hx & s) ? 1 : 0;
      const std::uint32_t ry = (hy & s) ? 1 : 0;
      d += static_cast<std::uint64_t>(s) * s * ((3 * rx) ^ ry);
      if (ry == 0) {
        if (rx == 1) {
          hx = 65535 - hx;
          hy = 65535 - hy;
        }
        std::swap(hx, hy);
      }
    }
    key[i] = d;
  }
  int begin = 0;
  int size = 1;
  while (begin < count) {
    const int end = std::min(count, begin + size);
    std::sort(order.begin() + begin, order.begin() + end,
              [&key](int a, int b) { return key[a] < key[b]; });
    begin = end;
    size *= 2;
  }
  return order;
}

bool Builder::Run(DelaunayMesh* mesh) {
  mesh->vertices.clear();
  mesh->neighbours.clear();
  const int count = infinite_;
  if (count < 3) return cancel_.load() == 0;
  const std::vector<int> order = InsertionOrder();
  startAt_.assign(count + 1, -1);

  // The first triangle: the first two points and the first point after them off their line.
  const int a = order[0];
  const int b = order[1];
  int third = -1;
  for (int i = 2; i < count && third < 0; ++i) {
    if (Orient(a, b, order[i]) != 0) third = i;
  }
  if (third < 0) return cancel_.load() == 0;
  const int c = order[third];
  if (Orient(a, b, c) > 0) {
    Start(a, b, c);
  } else {
    Start(b, a, c);
  }
  for (int i = 2; i < count; ++i) {
    if (i == third) continue;
    if ((i & 255) == 0 && cancel_.load() != 0) return false;
    Insert(order[i]);
  }
  if (cancel_.load() != 0) return false;

  std::vector<int> number(tris_.size(), -1);
  int real = 0;
  for (std::size_t t = 0; t < tris_.size(); ++t) {
    if (alive_[t] && !IsGhost(static_cast<int>(t))) number[t] = real++;
  }
  mesh->vertices.resize(3 * static_cast<std::size_t>(real));
  mesh->neighbours.resize(3 * static_cast<std::size_t>(real));
  for (std::size_t t = 0; t < tris_.size(); ++t) {
    if (number[t] < 0) continue;
    for (int e = 0; e < 3; ++e) {
      const std::size_t slot = 3 * static_cast<std::size_t>(number[t]) + e;
      mesh->vertices[slot] = ids_[tris_[t].v[e]];
      mesh->neighbours[slot] = number[tris_[t].n[e]];
    }
  }
  return true;
}

}  // namespace

int OrientationSign(double ax, double ay, double bx, double by, double cx, double cy) {
  const double left = (ax - cx) * (by - cy);
  const double right = (ay - cy) * (bx - cx);
  const double det = left - right;
  const double bound = kOrientBound * (std::fabs(left) + std::fabs(right));
  if (det > bound) return 1;
  if (-det > bound) return -1;
  if (ExactDifferences({{ax, cx}, {ay, cy}, {bx, cx}, {by, cy}})) {
    double h[4];
    return SignOf(CrossInto(ax - cx, ay - cy, bx - cx, by - cy, h), h);
  }
  return Sign(OrientationExpansion(ax, ay, bx, by, cx, cy));
}

bool DelaunayExactCoordinate(double c) {
  if (!std::isfinite(c) || std::fabs(c) > kDelaunayMaxMagnitude) return false;
  if (std::fabs(c) >= kDelaunayMinMagnitude) return true;
  const double units = std::ldexp(c, 185);  // exact: below 2^52 in magnitude
  return units == std::trunc(units);
}

int OrientationSignScaled(double ax, double ay, double bx, double by, double cx, double cy) {
  double v[6] = {ax, ay, bx, by, cx, cy};
  if (std::all_of(v, v + 6, DelaunayExactCoordinate)) {
    return OrientationSign(ax, ay, bx, by, cx, cy);
  }
  int top = INT_MIN;
  for (double c : v) {
    if (!std::isfinite(c)) return 2;
    if (c != 0) top = std::max(top, std::ilogb(c));
  }
  // Bring the largest magnitude to 2^100 (below kDelaunayMaxMagnitude); the scaling is exact
  // unless it pushes bits of small coordinates below the granularity.
  const int shift = 100 - top;
  for (double& c : v) {
    const double scaled = std::ldexp(c, shift);
    if (std::ldexp(scaled, -shift) != c || !DelaunayExactCoordinate(scaled)) return 2;
    c = scaled;
  }
  return OrientationSign(v[0], v[1], v[2], v[3], v[4], v[5]);
}

int InCircleSign(double ax, double ay, double bx, double by, double cx, double cy, double dx,
                 double dy) {
  const InCircleEstimate e = EstimateInCircle(ax, ay, bx, by, cx, cy, dx, dy);
  if (e.det > e.bound) return 1;
  if (-e.det > e.bound) return -1;
  if (ExactDifferences({{ax, dx}, {ay, dy}, {bx, dx}, {by, dy}, {cx, dx}, {cy, dy}})) {
    double h[96];
    return SignOf(InCircleFromDifferences(ax - dx, ay - dy, bx - dx, by - dy, cx - dx, cy - dy, h),
                  h);
  }
  return Sign(InCircleExpansion(ax, ay, bx, by, cx, cy, dx, dy));
}

int PowerBelowSign(double ax, double ay, double bx, double by, double cx, double cy, double dx,
                   double dy, double limit) {
  // in-circle determinant = orientation * (R^2 - |d - centre|^2), so the sign of
  // in-circle + limit * orientation is the sign of limit - power.
  const InCircleEstimate e = EstimateInCircle(ax, ay, bx, by, cx, cy, dx, dy);
  const double left = (ax - cx) * (by - cy);
  const double right = (ay - cy) * (bx - cx);
  const double scaled = limit * (left - right);
  const double value = e.det + scaled;
  const double bound = e.bound + limit * kOrientBound * (std::fabs(left) + std::fabs(right)) +
                       4 * kEpsilon * (std::fabs(e.det) + std::fabs(scaled));
  if (value > bound) return 1;
  if (-value > bound) return -1;
  return Sign(InCirclePlusOrientation(ax, ay, bx, by, cx, cy, dx, dy, limit));
}

bool BuildDelaunay(const double* x, const double* y, const std::vector<int>& ids,
                   const std::atomic<int>& cancel, DelaunayMesh* mesh) {
  Builder builder(x, y, ids, cancel);
  if (builder.Run(mesh)) return true;
  mesh->vertices.clear();
  mesh->neighbours.clear();
  return false;
}

}  // namespace zmr
