#include "quality/LeaveOneOut.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "geometry/TriangleLocation.h"
#include "geometry/Triangulate.h"
#include "state/ProgramState.h"

namespace zmr {
namespace {

// The neighbours of every point: the other vertices of its triangles, ascending.
std::vector<std::vector<int>> Neighbours(const ProgramState& s, long points) {
  std::vector<std::vector<int>> around(static_cast<std::size_t>(points));
  const long triangles = SearchableTriangleCount(s);
  for (long t = 0; t < triangles; ++t) {
    const int* v = s.Tpoints.data() + 3 * t;
    if (v[0] < 0 || v[1] < 0 || v[2] < 0 || v[0] >= points || v[1] >= points || v[2] >= points)
      continue;
    for (int a = 0; a < 3; ++a) {
      for (int b = 0; b < 3; ++b) {
        if (a != b) around[static_cast<std::size_t>(v[a])].push_back(v[b]);
      }
    }
  }
  for (auto& list : around) {
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
  }
  return around;
}

// A record for the small meshes, with room for `points` points.
bool Reserve(ProgramState& local, long points) {
  if (local.MAXPoints >= points + 2 && !local.PointsInput.empty()) return true;
  local.MAXPoints = std::max<long>(points + 2, 64);
  return AllocateArrays(local) == 1;
}

}  // namespace

bool ComputeLeaveOneOut(const ProgramState& s, long measured, LeaveOneOut& out,
                        const std::atomic<int>* cancel, std::atomic<int>* progress,
                        int progressSpan) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const long points = std::min<long>(s.NumberOfPoints, static_cast<long>(s.PointsInput.size() / 4));
  measured = std::clamp<long>(measured, 0, points);
  out = LeaveOneOut{};
  out.errorX.assign(static_cast<std::size_t>(measured), nan);
  out.errorY.assign(static_cast<std::size_t>(measured), nan);
  out.residual.assign(static_cast<std::size_t>(measured), nan);
  const std::vector<std::vector<int>> around = Neighbours(s, points);
  const int progressStart = progress != nullptr ? progress->load() : 0;

  ProgramState local;
  local.keepDisplayBitmaps = false;
  std::vector<int> subset;
  std::vector<double> px;
  std::vector<double> py;
  bool finished = true;
  for (long k = 0; k < measured; ++k) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed) != 0) {
      finished = false;
      break;
    }
    if (progress != nullptr && measured > 0) {
      progress->store(progressStart + static_cast<int>(progressSpan * k / measured),
                      std::memory_order_relaxed);
    }
    // The two rings around k, without k, in the order of the whole set.
    subset.clear();
    for (int a : around[static_cast<std::size_t>(k)]) {
      subset.push_back(a);
      for (int b : around[static_cast<std::size_t>(a)]) subset.push_back(b);
    }
    std::sort(subset.begin(), subset.end());
    subset.erase(std::unique(subset.begin(), subset.end()), subset.end());
    subset.erase(std::remove(subset.begin(), subset.end(), static_cast<int>(k)), subset.end());
    const auto n = static_cast<long>(subset.size());
    if (n < 3 || !Reserve(local, n)) {
      ++out.unpredicted;
      continue;
    }
    px.resize(static_cast<std::size_t>(n));
    py.resize(static_cast<std::size_t>(n));
    for (long m = 0; m < n; ++m) {
      const double* from = s.PointsInput.data() + 4 * subset[static_cast<std::size_t>(m)];
      std::copy(from, from + 4, local.PointsInput.data() + 4 * m);
      px[static_cast<std::size_t>(m)] = from[0];
      py[static_cast<std::size_t>(m)] = from[1];
    }
    local.NumberOfPoints = n;
    local.NumberOfTriangles = 0;
    Triangulate(local, px.data(), py.data());
    const double* own = s.PointsInput.data() + 4 * k;
    const long t = FindTrianglePI(local, own[0], own[1]);
    if (t < 0) {
      ++out.unpredicted;
      continue;
    }
    double predicted[2] = {0.0, 0.0};
    ApproximateShiftsT(local, own, predicted, t);
    const double ex = predicted[0] - (own[2] - own[0]);
    const double ey = predicted[1] - (own[3] - own[1]);
    out.errorX[static_cast<std::size_t>(k)] = ex;
    out.errorY[static_cast<std::size_t>(k)] = ey;
    out.residual[static_cast<std::size_t>(k)] = std::hypot(ex, ey);
  }
  out.stats = SummariseResiduals(out.residual);
  if (progress != nullptr) progress->store(progressStart + progressSpan, std::memory_order_relaxed);
  return finished;
}

}  // namespace zmr
