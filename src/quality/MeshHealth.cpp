#include "quality/MeshHealth.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "geometry/TriangleLocation.h"
#include "state/ProgramState.h"

namespace zmr {
namespace {

double Cross(const double* a, const double* b, const double* c) {
  return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

}  // namespace

MeshHealth AssessMesh(const ProgramState& s, long measured) {
  MeshHealth h;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const long triangles = SearchableTriangleCount(s);
  const long points = std::min<long>(s.NumberOfPoints, static_cast<long>(s.PointsInput.size() / 4));
  h.triangles = triangles;
  h.areaChange.assign(static_cast<std::size_t>(std::max<long>(triangles, 0)), nan);
  h.areaChangeMin = nan;
  h.areaChangeMax = nan;
  h.pitch = nan;
  std::vector<double> shortest;
  std::set<std::pair<int, int>> measuredEdges;
  for (long t = 0; t < triangles; ++t) {
    const int* v = s.Tpoints.data() + 3 * t;
    if (v[0] < 0 || v[1] < 0 || v[2] < 0 || v[0] >= points || v[1] >= points || v[2] >= points)
      continue;
    const double* p[3] = {s.PointsInput.data() + 4 * v[0], s.PointsInput.data() + 4 * v[1],
                          s.PointsInput.data() + 4 * v[2]};
    const double measuredCross = Cross(p[0], p[1], p[2]);
    const double idealCross = Cross(p[0] + 2, p[1] + 2, p[2] + 2);
    // The mesh stores every triangle with a non-negative measured cross product: a fold-over is
    // one whose ideal triangle has the other orientation or none.
    if (measuredCross > 0 && !(idealCross > 0)) {
      ++h.foldovers;
      h.foldedTriangles.push_back(static_cast<int>(t));
    }
    if (measuredCross > 0) {
      const double change = idealCross / measuredCross;
      h.areaChange[static_cast<std::size_t>(t)] = change;
      if (!(h.areaChangeMin <= change)) h.areaChangeMin = change;
      if (!(h.areaChangeMax >= change)) h.areaChangeMax = change;
    }
    if (v[0] < measured && v[1] < measured && v[2] < measured) {
      double least = std::numeric_limits<double>::infinity();
      for (int e = 0; e < 3; ++e) {
        const int a = v[e];
        const int b = v[(e + 1) % 3];
        least =
            std::min(least, std::hypot(p[(e + 1) % 3][0] - p[e][0], p[(e + 1) % 3][1] - p[e][1]));
        measuredEdges.insert({std::min(a, b), std::max(a, b)});
      }
      shortest.push_back(least);
    }
  }
  if (!shortest.empty()) {
    const auto middle = shortest.begin() + static_cast<long>(shortest.size() / 2);
    std::nth_element(shortest.begin(), middle, shortest.end());
    h.pitch = *middle;
  }
  for (const auto& [a, b] : measuredEdges) {
    const double* pa = s.PointsInput.data() + 4 * a;
    const double* pb = s.PointsInput.data() + 4 * b;
    const double length = std::hypot(pb[0] - pa[0], pb[1] - pa[1]);
    h.longestEdge = std::max(h.longestEdge, length);
    if (std::isfinite(h.pitch) && length > kLongEdgePitches * h.pitch) {
      ++h.longEdges;
      h.longEdgeList.emplace_back(a, b);
    }
  }
  return h;
}

}  // namespace zmr
