#include "detection/robust/LatticeAssignment.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <queue>
#include <tuple>
#include <unordered_map>

namespace zmr {

namespace {

constexpr double kStartDistanceSpread = 0.15;
constexpr double kStartAngleSpread = 10.0 * M_PI / 180.0;
constexpr double kAcceptRadius = 0.33;  // of the local pitch
constexpr double kEdgeMin = 0.6;
constexpr double kEdgeMax = 1.4;
constexpr int kFitReach = 2;        // nodes within this many steps enter a node's prediction
constexpr int kMissingSupport = 2;  // assigned neighbours that make a node without spot missing
constexpr int kIdealReach = 3;      // the ideal lattice's fit: nodes within this many steps

// The points in square cells of about one point each.
class PointGrid {
 public:
  PointGrid(const std::vector<double>& x, const std::vector<double>& y) : x_(x), y_(y) {
    const std::size_t n = x.size();
    if (n == 0) return;
    minX_ = *std::min_element(x.begin(), x.end());
    minY_ = *std::min_element(y.begin(), y.end());
    const double maxX = *std::max_element(x.begin(), x.end());
    const double maxY = *std::max_element(y.begin(), y.end());
    const double area = std::max(1.0, (maxX - minX_ + 1.0) * (maxY - minY_ + 1.0));
    cell_ = std::max(1.0, std::sqrt(area / static_cast<double>(n)));
    columns_ = static_cast<long>((maxX - minX_) / cell_) + 1;
    rows_ = static_cast<long>((maxY - minY_) / cell_) + 1;
    start_.assign(static_cast<std::size_t>(columns_ * rows_ + 1), 0);
    for (std::size_t k = 0; k < n; ++k) ++start_[Cell(x[k], y[k]) + 1];
    for (std::size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
    points_.resize(n);
    std::vector<long> fill(start_.begin(), start_.end() - 1);
    for (std::size_t k = 0; k < n; ++k) points_[fill[Cell(x[k], y[k])]++] = static_cast<int>(k);
  }

  // The point nearest (px, py) within radius, other than `except` and those `skip` refuses;
  // -1 when none. *distance receives its distance.
  template <class Skip>
  int Nearest(double px, double py, double radius, int except, Skip skip, double* distance) const {
    int best = -1;
    double bestD2 = radius * radius;
    if (points_.empty()) return -1;
    const long c0 = std::max(0L, static_cast<long>(std::floor((px - radius - minX_) / cell_)));
    const long c1 =
        std::min(columns_ - 1, static_cast<long>(std::floor((px + radius - minX_) / cell_)));
    const long r0 = std::max(0L, static_cast<long>(std::floor((py - radius - minY_) / cell_)));
    const long r1 =
        std::min(rows_ - 1, static_cast<long>(std::floor((py + radius - minY_) / cell_)));
    for (long r = r0; r <= r1; ++r) {
      for (long c = c0; c <= c1; ++c) {
        const std::size_t cell = static_cast<std::size_t>(r * columns_ + c);
        for (long k = start_[cell]; k < start_[cell + 1]; ++k) {
          const int p = points_[static_cast<std::size_t>(k)];
          if (p == except || skip(p)) continue;
          const double dx = x_[p] - px;
          const double dy = y_[p] - py;
          const double d2 = dx * dx + dy * dy;
          if (d2 < bestD2) {
            bestD2 = d2;
            best = p;
          }
        }
      }
    }
    if (best >= 0 && distance != nullptr) *distance = std::sqrt(bestD2);
    return best;
  }

  int Nearest(double px, double py, double radius, int except, double* distance) const {
    return Nearest(
        px, py, radius, except, [](int) { return false; }, distance);
  }

  double cell() const { return cell_; }

 private:
  std::size_t Cell(double px, double py) const {
    const long c = std::clamp(static_cast<long>((px - minX_) / cell_), 0L, columns_ - 1);
    const long r = std::clamp(static_cast<long>((py - minY_) / cell_), 0L, rows_ - 1);
    return static_cast<std::size_t>(r * columns_ + c);
  }

  const std::vector<double>& x_;
  const std::vector<double>& y_;
  double minX_ = 0.0, minY_ = 0.0, cell_ = 1.0;
  long columns_ = 0, rows_ = 0;
  std::vector<long> start_;
  std::vector<int> points_;
};

std::int64_t Key(int i, int j) {
  return (static_cast<std::int64_t>(i) << 32) ^ static_cast<std::uint32_t>(j);
}

struct Affine {
  double ox = 0, oy = 0;  // position of node (0, 0)
  double ix = 0, iy = 0;  // step of i
  double jx = 0, jy = 0;  // step of j
  double Pitch() const { return std::sqrt(std::fabs(ix * jy - iy * jx)); }
};

// Solves the 3 x 3 system m s = r; false when it is (nearly) singular.
bool Solve3(const double* m, const double* r, double* s) {
  auto det3 = [](const double* a) {
    return a[0] * (a[4] * a[8] - a[5] * a[7]) - a[1] * (a[3] * a[8] - a[5] * a[6]) +
           a[2] * (a[3] * a[7] - a[4] * a[6]);
  };
  const double d = det3(m);
  const double size = std::fabs(m[0] * m[4] * m[8]);
  if (!(std::fabs(d) > 1e-9 * size) || size == 0.0) return false;
  for (int col = 0; col < 3; ++col) {
    double t[9];
    std::copy(m, m + 9, t);
    for (int i = 0; i < 3; ++i) t[3 * i + col] = r[i];
    s[col] = det3(t) / d;
  }
  return true;
}

struct Grower {
  const std::vector<double>& x;
  const std::vector<double>& y;
  int width, height;
  const PointGrid& grid;
  LatticeAssignment& result;
  std::unordered_map<std::int64_t, int> spotAt;                         // assigned nodes
  std::unordered_map<std::int64_t, std::pair<double, double>> missing;  // predicted across
  std::unordered_map<std::int64_t, int> triedWith;  // support at the last failed try

  bool Position(int i, int j, double* px, double* py) const {
    if (auto it = spotAt.find(Key(i, j)); it != spotAt.end()) {
      *px = x[it->second];
      *py = y[it->second];
      return true;
    }
    if (auto it = missing.find(Key(i, j)); it != missing.end()) {
      *px = it->second.first;
      *py = it->second.second;
      return true;
    }
    return false;
  }

  int Support(int i, int j) const {
    int count = 0;
    for (int dj = -1; dj <= 1; ++dj) {
      for (int di = -1; di <= 1; ++di) {
        if ((di != 0 || dj != 0) && spotAt.count(Key(i + di, j + dj)) != 0) ++count;
      }
    }
    return count;
  }

  // The affine map fitted to the known nodes within reach of (i, j), weighted by closeness,
  // in node coordinates relative to (i, j).
  bool Fit(int i, int j, int reach, Affine* map) const {
    double m[9] = {};
    double rx[3] = {};
    double ry[3] = {};
    int count = 0;
    for (int dj = -reach; dj <= reach; ++dj) {
      for (int di = -reach; di <= reach; ++di) {
        double px, py;
        if ((di == 0 && dj == 0) || !Position(i + di, j + dj, &px, &py)) continue;
        const double w = 1.0 / (di * di + dj * dj);
        const double f[3] = {1.0, static_cast<double>(di), static_cast<double>(dj)};
        for (int a = 0; a < 3; ++a) {
          for (int b = 0; b < 3; ++b) m[3 * a + b] += w * f[a] * f[b];
          rx[a] += w * f[a] * px;
          ry[a] += w * f[a] * py;
        }
        ++count;
      }
    }
    if (count < 3) return false;
    double sx[3], sy[3];
    if (!Solve3(m, rx, sx) || !Solve3(m, ry, sy)) return false;
    *map = {sx[0], sy[0], sx[1], sy[1], sx[2], sy[2]};
    return true;
  }

  void Assign(int spot, int i, int j) {
    spotAt[Key(i, j)] = spot;
    result.assigned[spot] = 1;
    result.nodeI[spot] = i;
    result.nodeJ[spot] = j;
    ++result.assignedCount;
  }

  bool Inside(double px, double py, double margin) const {
    return px >= -margin && py >= -margin && px <= width - 1 + margin && py <= height - 1 + margin;
  }

  // Tries node (i, j); true when a spot was assigned to it.
  bool Try(int i, int j, int support) {
    Affine map;
    if (!Fit(i, j, kFitReach, &map) && !Fit(i, j, kFitReach + 1, &map)) return false;
    const double pitch = map.Pitch();
    if (!(pitch > 0.0)) return false;
    if (!Inside(map.ox, map.oy, 0.5 * pitch)) return false;
    double distance = 0.0;
    const auto taken = [&](int p) { return result.assigned[p] != 0; };
    const int spot = grid.Nearest(map.ox, map.oy, kAcceptRadius * pitch, -1, taken, &distance);
    bool fits = spot >= 0;
    // The spot must also sit one step from each assigned edge neighbour.
    static constexpr int kEdges[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (int e = 0; e < 4 && fits; ++e) {
      auto it = spotAt.find(Key(i + kEdges[e][0], j + kEdges[e][1]));
      if (it == spotAt.end()) continue;
      // One step along that edge's direction: where the distortion stretches the lattice
      // more one way than the other, the steps differ.
      const double d = std::hypot(x[it->second] - x[spot], y[it->second] - y[spot]);
      const double along = e < 2 ? std::hypot(map.ix, map.iy) : std::hypot(map.jx, map.jy);
      if (d < kEdgeMin * along || d > kEdgeMax * along) fits = false;
    }
    if (fits) {
      Assign(spot, i, j);
      missing.erase(Key(i, j));
      return true;
    }
    if (spot < 0 && support >= kMissingSupport && Inside(map.ox, map.oy, -0.5 * pitch)) {
      missing[Key(i, j)] = {map.ox, map.oy};
    }
    return false;
  }
};

}  // namespace

std::vector<double> NearestNeighbourDistances(const std::vector<double>& x,
                                              const std::vector<double>& y) {
  std::vector<double> result(x.size(), 0.0);
  if (x.size() < 2) return result;
  const PointGrid grid(x, y);
  for (std::size_t k = 0; k < x.size(); ++k) {
    double radius = 1.5 * grid.cell();
    for (;;) {
      double d = 0.0;
      if (grid.Nearest(x[k], y[k], radius, static_cast<int>(k), &d) >= 0) {
        result[k] = d;
        break;
      }
      radius *= 2.0;
    }
  }
  return result;
}

LatticeAssignment AssignLattice(const std::vector<double>& x, const std::vector<double>& y,
                                int width, int height, const std::atomic<int>* cancel) {
  LatticeAssignment result;
  const std::size_t n = x.size();
  result.assigned.assign(n, 0);
  result.nodeI.assign(n, 0);
  result.nodeJ.assign(n, 0);
  result.idealX.assign(n, 0.0);
  result.idealY.assign(n, 0.0);
  if (n < 5) {
    result.failure = "fewer than five spots";
    return result;
  }
  const PointGrid grid(x, y);
  const std::vector<double> nearest = NearestNeighbourDistances(x, y);

  // Start: the spot nearest the image centre with four fitting neighbours.
  std::vector<int> order(n);
  for (std::size_t k = 0; k < n; ++k) order[k] = static_cast<int>(k);
  const double cx = 0.5 * (width - 1);
  const double cy = 0.5 * (height - 1);
  // Each distance once (the comparison would take each some twenty times).
  std::vector<double> fromCentre(n);
  for (std::size_t k = 0; k < n; ++k) fromCentre[k] = std::hypot(x[k] - cx, y[k] - cy);
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    const double da = fromCentre[static_cast<std::size_t>(a)];
    const double db = fromCentre[static_cast<std::size_t>(b)];
    return da != db ? da < db : a < b;
  });
  int neighbours[4] = {-1, -1, -1, -1};
  for (int candidate : order) {
    const double d = nearest[candidate];
    if (!(d > 0.0)) continue;
    double ignored = 0.0;
    const int first = grid.Nearest(x[candidate], y[candidate], d * 1.0000001, candidate, &ignored);
    if (first < 0) continue;
    const double ux = x[first] - x[candidate];
    const double uy = y[first] - y[candidate];
    // Turned by 0, 90, 180, 270 degrees (y down: +90 goes from +x to +y).
    const double steps[4][2] = {{ux, uy}, {-uy, ux}, {-ux, -uy}, {uy, -ux}};
    bool found = true;
    double length[4];
    double direction[4];
    for (int k = 0; k < 4 && found; ++k) {
      neighbours[k] = grid.Nearest(x[candidate] + steps[k][0], y[candidate] + steps[k][1],
                                   kAcceptRadius * d, candidate, &ignored);
      if (neighbours[k] < 0) {
        found = false;
        break;
      }
      const double vx = x[neighbours[k]] - x[candidate];
      const double vy = y[neighbours[k]] - y[candidate];
      length[k] = std::hypot(vx, vy);
      direction[k] = std::atan2(vy, vx);
    }
    if (!found) continue;
    const double mean = 0.25 * (length[0] + length[1] + length[2] + length[3]);
    for (int k = 0; k < 4 && found; ++k) {
      if (std::fabs(length[k] - mean) > kStartDistanceSpread * mean) found = false;
      // Each step a quarter turn from the previous one.
      double turn = direction[(k + 1) % 4] - direction[k] - 0.5 * M_PI;
      turn = std::remainder(turn, 2.0 * M_PI);
      if (std::fabs(turn) > kStartAngleSpread) found = false;
    }
    if (!found) continue;
    result.start = candidate;
    result.startPitch = mean;
    break;
  }
  if (result.start < 0) {
    result.failure = "no spot has four neighbours at consistent distances and right angles";
    return result;
  }

  // The i axis is the step nearest the +x direction, so the lattice angle lies in -45..45
  // degrees.
  int first = 0;
  for (int k = 1; k < 4; ++k) {
    const double current =
        std::atan2(y[neighbours[first]] - y[result.start], x[neighbours[first]] - x[result.start]);
    const double other =
        std::atan2(y[neighbours[k]] - y[result.start], x[neighbours[k]] - x[result.start]);
    if (std::fabs(other) < std::fabs(current)) first = k;
  }
  Grower grower{x, y, width, height, grid, result, {}, {}, {}};
  // Room for every spot from the start: growing the tables again and again costs more.
  grower.spotAt.reserve(2 * n);
  grower.triedWith.reserve(2 * n);
  grower.Assign(result.start, 0, 0);
  static constexpr int kStartNodes[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
  for (int k = 0; k < 4; ++k) {
    grower.Assign(neighbours[(first + k) % 4], kStartNodes[k][0], kStartNodes[k][1]);
  }

  // Most support first, then nearest the start (in steps), then a fixed order.
  using Entry = std::tuple<int, int, int, int>;  // support, -ring, i, j
  std::priority_queue<Entry> queue;
  auto pushAround = [&](int i, int j) {
    for (int dj = -1; dj <= 1; ++dj) {
      for (int di = -1; di <= 1; ++di) {
        const int ni = i + di;
        const int nj = j + dj;
        if (grower.spotAt.count(Key(ni, nj)) != 0) continue;
        const int support = grower.Support(ni, nj) + (grower.missing.count(Key(i, j)) != 0);
        queue.emplace(support, -std::max(std::abs(ni), std::abs(nj)), ni, nj);
      }
    }
  };
  for (int k = 0; k < 4; ++k) pushAround(kStartNodes[k][0], kStartNodes[k][1]);
  pushAround(0, 0);
  long tries = 0;
  while (!queue.empty()) {
    if (cancel != nullptr && (++tries & 1023) == 0 &&
        cancel->load(std::memory_order_acquire) != 0) {
      result.cancelled = true;
      return result;
    }
    const auto [queued, ring, i, j] = queue.top();
    queue.pop();
    (void)ring;
    if (grower.spotAt.count(Key(i, j)) != 0) continue;
    const int support = grower.Support(i, j);
    const std::int64_t key = Key(i, j);
    // A node is tried again only when it has gained assigned neighbours since its last try.
    if (auto it = grower.triedWith.find(key);
        it != grower.triedWith.end() && it->second >= queued) {
      continue;
    }
    grower.triedWith[key] = queued;
    const bool wasMissing = grower.missing.count(key) != 0;
    if (grower.Try(i, j, support)) {
      pushAround(i, j);
    } else if (!wasMissing && grower.missing.count(key) != 0) {
      pushAround(i, j);  // across the missing spot
    }
  }

  // Missing spots with assigned nodes on two opposite sides lie inside the lattice.
  for (const auto& [key, position] : grower.missing) {
    const int i = static_cast<int>(key >> 32);
    const int j = static_cast<int>(static_cast<std::int32_t>(key & 0xffffffff));
    auto has = [&](int a, int b) { return grower.spotAt.count(Key(a, b)) != 0; };
    if ((has(i - 1, j) && has(i + 1, j)) || (has(i, j - 1) && has(i, j + 1))) ++result.bridged;
  }

  // The ideal lattice: a square lattice through the start spot, its step fitted to the nodes
  // near the start, where the distortion is least.
  const double ox = x[result.start];
  const double oy = y[result.start];
  double a = 0.0, b = 0.0;
  for (int reach = kIdealReach; reach <= 1 << 20; reach *= 2) {
    double sumA = 0.0, sumB = 0.0, norm = 0.0;
    long used = 0;
    for (std::size_t k = 0; k < n; ++k) {
      if (result.assigned[k] == 0) continue;
      const int i = result.nodeI[k];
      const int j = result.nodeJ[k];
      if (std::max(std::abs(i), std::abs(j)) > reach) continue;
      const double dx = x[k] - ox;
      const double dy = y[k] - oy;
      sumA += i * dx + j * dy;
      sumB += i * dy - j * dx;
      norm += static_cast<double>(i) * i + static_cast<double>(j) * j;
      ++used;
    }
    if (used >= 9 || used == result.assignedCount) {
      a = sumA / norm;
      b = sumB / norm;
      break;
    }
  }
  result.pitch = std::hypot(a, b);
  result.angle = std::atan2(b, a);
  result.stepX[0] = a;
  result.stepY[0] = b;
  result.stepX[1] = -b;
  result.stepY[1] = a;
  for (std::size_t k = 0; k < n; ++k) {
    if (result.assigned[k] == 0) continue;
    result.idealX[k] = ox + result.nodeI[k] * result.stepX[0] + result.nodeJ[k] * result.stepX[1];
    result.idealY[k] = oy + result.nodeI[k] * result.stepY[0] + result.nodeJ[k] * result.stepY[1];
  }
  return result;
}

}  // namespace zmr
