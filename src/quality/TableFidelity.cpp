#include "quality/TableFidelity.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "export/OrbikExport.h"
#include "geometry/TriangleLocation.h"
#include "geometry/TriangleMap.h"
#include "state/Numeric.h"
#include "state/ProgramState.h"

namespace zmr {
namespace {

// The shift field of the model at each node of a table, zero outside the zone, as the writers
// compute it.
void NodeShifts(const ProgramState& s, const std::vector<double>& xs, const std::vector<double>& ys,
                std::vector<double>& dx, std::vector<double>& dy) {
  dx.assign(xs.size() * ys.size(), 0.0);
  dy.assign(xs.size() * ys.size(), 0.0);
  std::vector<int> map;
  const bool mapped = MapTriangles(s, xs, ys, map);
  for (std::size_t b = 0; b < ys.size(); ++b) {
    for (std::size_t a = 0; a < xs.size(); ++a) {
      const std::size_t r = b * xs.size() + a;
      const long t = mapped ? map[r] : FindTrianglePI(s, xs[a], ys[b]);
      if (t < 0) continue;
      const double p0[2] = {xs[a], ys[b]};
      double d0[2] = {0.0, 0.0};
      ApproximateShiftsT(s, p0, d0, t);
      dx[r] = d0[0];
      dy[r] = d0[1];
    }
  }
}

// The value a 16-bit code stands for, in pixels.
double Decoded(double shift) {
  return static_cast<double>(static_cast<std::int16_t>(ZmrShiftCode(shift))) / kZmrUnitsPerPixel;
}

// A regular table: nodes at first + k * step (k = 0 .. count - 1) on each axis, values row by
// row. Bilinear between the four nodes around a position inside it.
struct GridTable {
  double firstX = 0.0;
  double firstY = 0.0;
  double step = 1.0;
  long countX = 0;
  long countY = 0;
  std::vector<double> dx;
  std::vector<double> dy;

  bool Sample(double x, double y, double& sx, double& sy) const {
    if (countX < 2 || countY < 2) return false;
    const double u = (x - firstX) / step;
    const double v = (y - firstY) / step;
    if (u < 0 || v < 0 || u > countX - 1 || v > countY - 1) return false;
    const long a = std::min(static_cast<long>(u), countX - 2);
    const long b = std::min(static_cast<long>(v), countY - 2);
    const double fu = u - a;
    const double fv = v - b;
    const std::size_t r = static_cast<std::size_t>(b * countX + a);
    const auto mix = [&](const std::vector<double>& d) {
      const double top = d[r] + fu * (d[r + 1] - d[r]);
      const std::size_t below = r + static_cast<std::size_t>(countX);
      const double bottom = d[below] + fu * (d[below + 1] - d[below]);
      return top + fv * (bottom - top);
    };
    sx = mix(dx);
    sy = mix(dy);
    return true;
  }
};

struct Accumulator {
  long pixels = 0;
  double sum = 0.0;
  double max = 0.0;
  void Add(double e) {
    if (!std::isfinite(e)) return;  // a degenerate triangle has no model value
    ++pixels;
    sum += e * e;
    max = std::max(max, e);
  }
  void Into(TableSampling& t) const {
    t.pixels = pixels;
    t.rms = pixels > 0 ? std::sqrt(sum / static_cast<double>(pixels)) : 0.0;
    t.max = max;
  }
};

// The ASCII table: nodes k * step - offset inside the image with k * step <= ORBIKE, a
// contiguous run on each axis.
std::vector<double> AsciiAxis(long step, int offset, long size, long field) {
  std::vector<double> axis;
  if (step < 1) return axis;
  for (long long k = 0; k * step <= field; ++k) {
    const long long c = k * step - offset;
    if (c >= 0 && c < size) axis.push_back(static_cast<double>(c));
  }
  return axis;
}

}  // namespace

bool AssessTables(const ProgramState& s, long M, long N, TableFidelity& out,
                  const std::atomic<int>* cancel, std::atomic<int>* progress, int progressSpan) {
  out = TableFidelity{};
  const int progressStart = progress != nullptr ? progress->load() : 0;

  // The ".zmr" table as written and as read back.
  std::vector<double> xs(kZmrNodesPerAxis);
  std::vector<double> ys(kZmrNodesPerAxis);
  for (int k = 0; k < kZmrNodesPerAxis; ++k) {
    xs[k] = static_cast<double>(k * kZmrNodeStep - s.xoffset);
    ys[k] = static_cast<double>(k * kZmrNodeStep - s.yoffset);
  }
  GridTable zmr;
  zmr.firstX = xs[0];
  zmr.firstY = ys[0];
  zmr.step = kZmrNodeStep;
  zmr.countX = kZmrNodesPerAxis;
  zmr.countY = kZmrNodesPerAxis;
  std::vector<double> dx;
  std::vector<double> dy;
  NodeShifts(s, xs, ys, dx, dy);
  zmr.dx.resize(dx.size());
  zmr.dy.resize(dy.size());
  out.nodeWrapped.assign(kZmrNodeCount, 0);
  for (int r = 0; r < kZmrNodeCount; ++r) {
    bool wrapped = false;
    for (double shift : {dx[r], dy[r]}) {
      const long long units = TruncateToward0<long long>(shift * kZmrUnitsPerPixel);
      if (units < INT16_MIN || units > INT16_MAX) wrapped = true;
    }
    zmr.dx[r] = Decoded(dx[r]);
    zmr.dy[r] = Decoded(dy[r]);
    out.nodeWrapped[r] = wrapped ? 1 : 0;
    if (wrapped) ++out.wrappedNodes;
    const double x = xs[r % kZmrNodesPerAxis];
    const double y = ys[r / kZmrNodesPerAxis];
    if (x < 0 || y < 0 || x >= M || y >= N) continue;
    ++out.nodesInImage;
    if (!wrapped) {
      out.quantisationMax =
          std::max(out.quantisationMax, std::hypot(zmr.dx[r] - dx[r], zmr.dy[r] - dy[r]));
    }
  }
  out.zmr.step = kZmrNodeStep;
  out.zmr.nodes = out.nodesInImage;

  GridTable ascii;
  const std::vector<double> axs = AsciiAxis(s.EdgeGrid, s.xoffset, M, s.ORBIKE);
  const std::vector<double> ays = AsciiAxis(s.EdgeGrid, s.yoffset, N, s.ORBIKE);
  out.ascii.step = s.EdgeGrid;
  out.ascii.nodes = static_cast<long>(axs.size() * ays.size());
  if (!axs.empty() && !ays.empty()) {
    ascii.firstX = axs[0];
    ascii.firstY = ays[0];
    ascii.step = static_cast<double>(s.EdgeGrid);
    ascii.countX = static_cast<long>(axs.size());
    ascii.countY = static_cast<long>(ays.size());
    NodeShifts(s, axs, ays, ascii.dx, ascii.dy);
  }

  // Every zone pixel against both tables.
  out.mapScale = static_cast<int>(
      std::max<long>(1, (std::max(M, N) + kFidelityMapSide - 1) / kFidelityMapSide));
  out.mapWidth = static_cast<int>((M + out.mapScale - 1) / out.mapScale);
  out.mapHeight = static_cast<int>((N + out.mapScale - 1) / out.mapScale);
  out.errorMap.assign(static_cast<std::size_t>(out.mapWidth) * out.mapHeight,
                      std::numeric_limits<float>::quiet_NaN());
  if (M <= 0 || N <= 0) return true;
  // Only the pixels that one of the tables covers are sampled: the window of the image
  // between their first and last nodes.
  const auto lowest = [](double a, const GridTable& t, bool y) {
    if (t.countX < 2 || t.countY < 2) return a;
    return std::min(a, y ? t.firstY : t.firstX);
  };
  const auto highest = [](double a, const GridTable& t, bool y) {
    if (t.countX < 2 || t.countY < 2) return a;
    return std::max(a, y ? t.firstY + t.step * static_cast<double>(t.countY - 1)
                         : t.firstX + t.step * static_cast<double>(t.countX - 1));
  };
  const double inf = std::numeric_limits<double>::infinity();
  const long x0 =
      std::max(0L, static_cast<long>(std::ceil(lowest(lowest(inf, zmr, false), ascii, false))));
  const long y0 =
      std::max(0L, static_cast<long>(std::ceil(lowest(lowest(inf, zmr, true), ascii, true))));
  const long x1 = std::min(
      M - 1, static_cast<long>(std::floor(highest(highest(-inf, zmr, false), ascii, false))));
  const long y1 = std::min(
      N - 1, static_cast<long>(std::floor(highest(highest(-inf, zmr, true), ascii, true))));
  if (x0 > x1 || y0 > y1) return true;
  std::vector<double> px(static_cast<std::size_t>(x1 - x0 + 1));
  std::vector<double> py(static_cast<std::size_t>(y1 - y0 + 1));
  for (std::size_t a = 0; a < px.size(); ++a)
    px[a] = static_cast<double>(x0 + static_cast<long>(a));
  for (std::size_t b = 0; b < py.size(); ++b)
    py[b] = static_cast<double>(y0 + static_cast<long>(b));
  TriangleRowMap rows(s, px, py);
  if (!rows.Ready()) return false;
  const long triangles = SearchableTriangleCount(s);
  std::vector<double> coefficients(static_cast<std::size_t>(6 * triangles));
  std::vector<unsigned char> known(static_cast<std::size_t>(triangles), 0);
  std::vector<int> row(px.size());
  Accumulator zmrSum;
  Accumulator asciiSum;
  const auto rowsToDo = static_cast<long>(py.size());
  for (long b = 0; b < rowsToDo; ++b) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed) != 0) return false;
    if (progress != nullptr) {
      progress->store(progressStart + static_cast<int>(progressSpan * b / rowsToDo),
                      std::memory_order_relaxed);
    }
    const long j = y0 + b;
    rows.FillRow(static_cast<std::size_t>(b), row.data());
    float* mapRow = out.errorMap.data() + (j / out.mapScale) * out.mapWidth;
    for (std::size_t a = 0; a < px.size(); ++a) {
      const int t = row[a];
      if (t < 0) continue;
      const long i = x0 + static_cast<long>(a);
      double* c = coefficients.data() + 6 * t;
      if (known[static_cast<std::size_t>(t)] == 0) {
        ShiftCoefficientsT(s, t, c, c + 3);
        known[static_cast<std::size_t>(t)] = 1;
      }
      const double p0[2] = {static_cast<double>(i), static_cast<double>(j)};
      double model[2];
      EvaluateShiftT(c, c + 3, p0, model);
      double sx = 0.0;
      double sy = 0.0;
      if (zmr.Sample(p0[0], p0[1], sx, sy)) {
        const double e = std::hypot(sx - model[0], sy - model[1]);
        zmrSum.Add(e);
        float& cell = mapRow[i / out.mapScale];
        if (!(cell >= static_cast<float>(e))) cell = static_cast<float>(e);
      }
      if (ascii.Sample(p0[0], p0[1], sx, sy))
        asciiSum.Add(std::hypot(sx - model[0], sy - model[1]));
    }
  }
  zmrSum.Into(out.zmr);
  asciiSum.Into(out.ascii);
  if (progress != nullptr) progress->store(progressStart + progressSpan, std::memory_order_relaxed);
  return true;
}

}  // namespace zmr
