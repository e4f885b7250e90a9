// Fuzz target: a points file through its checks and the triangulation, as opening calibration
// points does. Every stored triangle must name points of the file, be turned the way the
// point-in-triangle test relies on, and cross no edge of another well inside both; libFuzzer's
// timeout catches a point set that takes too long.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "detection/PointChecks.h"
#include "detection/PointFiles.h"
#include "geometry/Triangulate.h"
#include "state/ProgramState.h"

namespace {

// Whether segments pq and rs cross well inside both: the crossing test of the search ignores
// crossings within 1 % of a segment's ends; this one, in wider arithmetic, those within 2 %.
bool Cross(const double* p, const double* q, const double* r, const double* s) {
  using Wide = long double;
  const Wide ux = Wide(q[0]) - p[0], uy = Wide(q[1]) - p[1];
  const Wide vx = Wide(s[0]) - r[0], vy = Wide(s[1]) - r[1];
  const Wide det = vx * uy - vy * ux;
  if (det == 0) return false;
  const Wide dx = Wide(p[0]) - r[0], dy = Wide(p[1]) - r[1];
  const Wide a = (dx * vy - dy * vx) / det, b = (dx * uy - dy * ux) / det;
  return a > 0.02L && a < 0.98L && b > 0.02L && b < 0.98L;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static zmr::ProgramState s;
  static const bool ready = [] {
    // Small enough that even a set the search takes triple by triple ends well within the
    // fuzzer's time limit.
    s.MAXPoints = 150;
    s.workFolder = "/nonexistent-folder";  // no log is written
    return zmr::AllocateArrays(s) == 1;
  }();
  if (!ready) std::abort();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<double> records(static_cast<std::size_t>(4 * s.MAXPoints));
  long count = zmr::ReadPointsInBuffer(s, bytes, records.data());
  if (!zmr::CheckPointRecords(records, count, "fuzz", s.notes)) return 0;
  s.notes.clear();
  if (!zmr::TriangulationCapacityOk(s, count)) return 0;
  std::copy(records.begin(), records.begin() + 4 * count, s.PointsInput.begin());
  s.NumberOfPoints = count;
  zmr::MakeTriangulation(s, 1);

  const double* px = s.PointsBuffer.data() + 1;
  const double* py = s.PointsBuffer.data() + s.MAXPoints + 1;
  // The corners as (x, y) pairs, for the crossing check.
  std::vector<double> xy(static_cast<std::size_t>(2 * count));
  for (long k = 0; k < count; ++k) xy[2 * k] = px[k], xy[2 * k + 1] = py[k];
  const auto point = [&](int k) { return xy.data() + 2 * k; };
  for (long t = 0; t < s.NumberOfTriangles; ++t) {
    const int* v = s.Tpoints.data() + 3 * t;
    for (int e = 0; e < 3; ++e) {
      if (v[e] < 0 || v[e] >= count) std::abort();
    }
    const double cross = (px[v[1]] - px[v[0]]) * (py[v[2]] - py[v[0]]) -
                         (py[v[1]] - py[v[0]]) * (px[v[2]] - px[v[0]]);
    if (!(cross >= 0)) std::abort();
    for (long u = 0; u < t; ++u) {
      const int* w = s.Tpoints.data() + 3 * u;
      for (int e = 0; e < 3; ++e) {
        for (int f = 0; f < 3; ++f) {
          if (Cross(point(v[e]), point(v[(e + 1) % 3]), point(w[f]), point(w[(f + 1) % 3]))) {
            std::abort();
          }
        }
      }
    }
  }
  return 0;
}
