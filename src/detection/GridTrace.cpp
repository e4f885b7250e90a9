#include "detection/GridTrace.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "state/ProgramState.h"
#include "state/TraceLog.h"

namespace zmr {

namespace {

constexpr int kNodeCount = kGridNodes * kGridNodes;
constexpr int kStartNode = 50;
constexpr double kStartSearchRadius = 1000.0;

// Neighbour steps (of i, of j) in the order the walk tries them.
constexpr int kShift[2][4] = {{-1, 0, 1, 0}, {0, -1, 0, 1}};

// The length of the spot list as a loop bound: no spots for a negative count, and no more than
// the list from slot 1 of PointsBuffer can hold.
int SpotCount(const ProgramState& s) {
  const long capacity = std::max(s.MAXPoints - 1, 0L);
  return static_cast<int>(std::clamp(s.NumberOfPoints, 0L, capacity));
}

bool NodeInside(int i, int j) { return i >= 0 && i < kGridNodes && j >= 0 && j < kGridNodes; }

int NodeIndex(int i, int j) { return i * kGridNodes + j; }

void EnsureNodeMatrix(ProgramState& s) {
  std::vector<int>& nodes = s.PMatrix;
  if (nodes.size() != static_cast<std::size_t>(kNodeCount)) nodes.assign(kNodeCount, kFreeNode);
}

bool PointArraysAllocated(const ProgramState& s) {
  if (s.MAXPoints < 1) return false;
  const auto n = static_cast<std::size_t>(s.MAXPoints);
  return s.PointsBuffer.size() >= 2 * n && s.Pflag.size() >= n && s.Pi.size() >= n &&
         s.Pj.size() >= n && s.SX.size() >= n && s.SY.size() >= n && s.PointsInput.size() >= 4 * n;
}

// One pending call of the walk: the spot just assigned, its node, the last step in the image
// (u, and v turned a quarter) and on the grid (um, vm), and the next neighbour to try.
struct TraceFrame {
  int nind;
  int in;
  int jn;
  double Q[2];
  double u[2];
  double v[2];
  int um[2];
  int vm[2];
  int k;
};

int Walk(ProgramState& s, const SpotIndex& index, int oind, int nind, double* PX, double* PY,
         int* PD, int is, int js, int in, int jn);

}  // namespace

int GetGridShifts(ProgramState& s) { return GetGridShiftsWith(s, GenerateShifts); }

int GetGridShiftsWith(ProgramState& s, ShiftGenerator generate) {
  if (!PointArraysAllocated(s)) return 0;

  OpenTraceLog(s, "a");

  double Pg[2] = {s.ImageM / 2.0, s.ImageN / 2.0};
  if ((s.Centering & 0xF0) == 0x20) {
    Pg[0] = s.InpCoor[0];
    Pg[1] = s.InpCoor[1];
  }
  if ((s.Centering & 0x0F) == 1) {
    s.Pc[0] = s.InpCoor[0];
    s.Pc[1] = s.InpCoor[1];
  } else {
    s.Pc[0] = s.ImageM / 2.0;
    s.Pc[1] = s.ImageN / 2.0;
  }
  TraceLog(s, " Generating shifts with ideal grid origin placed at (%f,%f)\n", Pg[0], Pg[1]);

  // Slot 0 leaves the count; the list from slot 1 has room for MAXPoints - 1 spots.
  s.NumberOfPoints = std::clamp(s.NumberOfPoints, 0L, s.MAXPoints);
  if (s.NumberOfPoints > 0) s.NumberOfPoints -= 1;

  double* PX = s.PointsBuffer.data() + 1;
  double* PY = s.PointsBuffer.data() + s.MAXPoints + 1;
  generate(s, PX, PY, s.Pflag.data(), s.SX.data(), s.SY.data(), Pg);
  DeleteNotAssignedPoints(s, PX, PY, s.SX.data(), s.SY.data(), s.Pflag.data());

  CloseTraceLog(s);
  return 0;
}

int GenerateShifts(ProgramState& s, double* PX, double* PY, int* PD, double* SX, double* SY,
                   const double* Pg) {
  double Dtemp = kStartSearchRadius;
  s.Edge = static_cast<double>(s.ImageM);

  s.PMatrix.assign(kNodeCount, kFreeNode);
  std::fill(PD, PD + std::max(s.MAXPoints, 0L), 0);
  std::fill(s.Pi.begin(), s.Pi.end(), 0);
  std::fill(s.Pj.begin(), s.Pj.end(), 0);

  const int count = SpotCount(s);
  // Every search of this run goes through one index of the spot list.
  const SpotIndex index(PX, PY, count);
  int oind = -1;
  int nind = -1;
  if (count >= 2) {
    oind = index.FindClosest(Pg[0], Pg[1], PD, &Dtemp);
    if (oind >= 0) {
      PD[oind] = 1;  // the second spot must be another one
      nind = index.FindClosest(PX[oind], PY[oind], PD, &s.Edge);
      if (nind < 0) PD[oind] = 0;
    }
  }

  s.istart = kStartNode;
  s.jstart = kStartNode;
  const bool started = nind >= 0;
  if (started) {
    s.Pi[oind] = 0;
    s.Pj[oind] = 0;
    s.OccupiedPoints = 2;
    s.iAssignedPoints.store(2, std::memory_order_relaxed);
    s.PMatrix[NodeIndex(kStartNode, kStartNode)] = oind;
    s.PMatrix[NodeIndex(kStartNode, kStartNode + 1)] = nind;
    PD[nind] = 1;
    s.Pi[nind] = 0;
    s.Pj[nind] = 1;
    TraceLog(s, "Starting to trace ideal grid with points %i %i (Edge = %f)\n", oind, nind, s.Edge);
    Walk(s, index, oind, nind, PX, PY, PD, kStartNode, kStartNode, kStartNode, kStartNode + 1);
    Walk(s, index, nind, oind, PX, PY, PD, kStartNode, kStartNode + 1, kStartNode, kStartNode);
  } else {
    s.OccupiedPoints = 0;
    s.iAssignedPoints.store(0, std::memory_order_relaxed);
  }

  TraceLog(s, "----------------------------------------\n");
  TraceLog(s, "%i points assigned from total %li \n ", s.OccupiedPoints, s.NumberOfPoints);
  if (s.DebugSwitch) TestDisplay(s);

  if (started) {
    s.Origin[0] = PX[oind];
    s.Origin[1] = PY[oind];
    s.ug[0] = PX[nind] - PX[oind];
    s.ug[1] = PY[nind] - PY[oind];
  } else {
    s.Origin[0] = s.Origin[1] = 0.0;
    s.ug[0] = s.ug[1] = 0.0;
  }
  s.vg[0] = -s.ug[1];
  s.vg[1] = s.ug[0];

  CalculateShifts(s, PX, PY, SX, SY);
  return 0;
}

int Trace(ProgramState& s, int oind, int nind, double* PX, double* PY, int* PD, int is, int js,
          int in, int jn) {
  const SpotIndex index(PX, PY, SpotCount(s));
  return Walk(s, index, oind, nind, PX, PY, PD, is, js, in, jn);
}

namespace {

int Walk(ProgramState& s, const SpotIndex& index, int oind, int nind, double* PX, double* PY,
         int* PD, int is, int js, int in, int jn) {
  EnsureNodeMatrix(s);

  // The walk nests as deep as the number of spots it assigns (thousands on a large grid), so
  // the calls live on this stack instead of the machine's; each frame keeps its own last step
  // and goes on with its next neighbour once the walk from an accepted spot has returned.
  std::vector<TraceFrame> stack;
  auto enter = [&](int from, int to, int fromI, int fromJ, int toI, int toJ) {
    if (s.DebugSwitch) TraceLog(s, "-> %i\n", to);
    if (s.OccupiedPoints >= s.NumberOfPoints) return;
    TraceFrame f;
    f.nind = to;
    f.in = toI;
    f.jn = toJ;
    f.Q[0] = PX[to];
    f.Q[1] = PY[to];
    f.u[0] = PX[to] - PX[from];
    f.u[1] = PY[to] - PY[from];
    f.um[0] = toI - fromI;
    f.um[1] = toJ - fromJ;
    f.v[0] = -f.u[1];
    f.v[1] = f.u[0];
    f.vm[0] = -f.um[1];
    f.vm[1] = f.um[0];
    f.k = 0;
    stack.push_back(f);
  };

  enter(oind, nind, is, js, in, jn);
  while (!stack.empty()) {
    TraceFrame& f = stack.back();
    if (f.k == 4) {
      stack.pop_back();
      continue;
    }
    const int k = f.k++;
    const int i = f.in + kShift[0][k];
    const int j = f.jn + kShift[1][k];
    if (s.DebugSwitch) TraceLog(s, " | %i [%i %i]", k, i, j);
    if (!NodeInside(i, j) || s.PMatrix[NodeIndex(i, j)] != kFreeNode) continue;

    const int d[2] = {i - f.in, j - f.jn};
    const double a[2] = {static_cast<double>(d[0] * f.um[0] + d[1] * f.um[1]),
                         static_cast<double>(d[0] * f.vm[0] + d[1] * f.vm[1])};
    const double R[2] = {f.Q[0] + a[0] * f.u[0] + a[1] * f.v[0],
                         f.Q[1] + a[0] * f.u[1] + a[1] * f.v[1]};
    if (s.DebugSwitch) TraceLog(s, "(testing X=%f Y=%f)", R[0], R[1]);

    double Distance = s.Edge;
    const int pind = index.FindClosest(R[0], R[1], PD, &Distance);
    if (pind >= 0 && Distance < s.Edge * s.Ethresh) {
      s.PMatrix[NodeIndex(i, j)] = pind;
      if (s.DebugSwitch) {
        TraceLog(s, "Point %i located\n", pind);
      } else {
        TraceLog(s, "%i ", pind);
      }
      s.OccupiedPoints += 1;
      s.iAssignedPoints.store(s.OccupiedPoints, std::memory_order_relaxed);
      PD[pind] = 1;
      s.Pi[pind] = i - s.istart;
      s.Pj[pind] = j - s.jstart;
      // enter() may grow the stack and so move f: take what it needs first.
      const int from = f.nind;
      const int fromI = f.in;
      const int fromJ = f.jn;
      enter(from, pind, fromI, fromJ, i, j);
    } else if (s.DebugSwitch) {
      TraceLog(s, " D=%f (E=%f) not close enough to any other point ! \n", Distance, s.Edge);
    }
  }
  return 0;
}

}  // namespace

int FindClosestPoint(double x, double y, const double* Xvect, const double* Yvect, const int* Dvect,
                     int Npoints, double* Dmin) {
  int found = -1;
  double best = *Dmin;
  for (int k = 0; k < Npoints; ++k) {
    if (Dvect[k] != 0) continue;
    const double dx = Xvect[k] - x;
    const double dy = Yvect[k] - y;
    const double distance = std::sqrt(dx * dx + dy * dy);
    if (distance < best) {
      best = distance;
      found = k;
    }
  }
  if (found >= 0) *Dmin = best;
  return found;
}

SpotIndex::SpotIndex(const double* Xvect, const double* Yvect, int Npoints) : x_(Xvect), y_(Yvect) {
  // Spots with a coordinate that is not finite are never nearer than any radius: left out.
  const int n = std::max(Npoints, 0);
  double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;
  int indexed = 0;
  for (int k = 0; k < n; ++k) {
    if (!std::isfinite(x_[k]) || !std::isfinite(y_[k])) continue;
    minX = std::min(minX, x_[k]);
    maxX = std::max(maxX, x_[k]);
    minY = std::min(minY, y_[k]);
    maxY = std::max(maxY, y_[k]);
    ++indexed;
  }
  if (indexed > 0) {
    minX_ = minX;
    minY_ = minY;
    const double w = maxX - minX;
    const double h = maxY - minY;
    // About one spot per cell; a very long and thin set gets cells along its length only.
    double cell = (w > 0 && h > 0) ? std::sqrt(w * h / indexed) : std::max(w, h) / indexed;
    if (cell > 0 && (w / cell + 1) * (h / cell + 1) > 4.0 * indexed + 16) {
      cell = std::max(w, h) / indexed;
    }
    if (std::isfinite(w) && std::isfinite(h) && cell > 0 && std::isfinite(1 / cell)) {
      inverseCell_ = 1 / cell;
      columns_ = static_cast<long>(std::floor(w * inverseCell_)) + 1;
      rows_ = static_cast<long>(std::floor(h * inverseCell_)) + 1;
    }
  }

  cellStart_.assign(static_cast<std::size_t>(columns_ * rows_) + 1, 0);
  std::vector<int> cellOf(static_cast<std::size_t>(n), -1);
  for (int k = 0; k < n; ++k) {
    if (!std::isfinite(x_[k]) || !std::isfinite(y_[k])) continue;
    cellOf[k] = static_cast<int>(CellY(y_[k]) * columns_ + CellX(x_[k]));
    ++cellStart_[cellOf[k] + 1];
  }
  for (std::size_t c = 1; c < cellStart_.size(); ++c) cellStart_[c] += cellStart_[c - 1];
  spots_.resize(static_cast<std::size_t>(indexed));
  std::vector<int> fill(cellStart_.begin(), cellStart_.end() - 1);
  for (int k = 0; k < n; ++k) {
    if (cellOf[k] >= 0) spots_[fill[cellOf[k]]++] = k;
  }
}

long SpotIndex::CellX(double x) const {
  const double c = std::floor((x - minX_) * inverseCell_);
  if (!(c > 0)) return 0;
  return c >= columns_ - 1 ? columns_ - 1 : static_cast<long>(c);
}

long SpotIndex::CellY(double y) const {
  const double c = std::floor((y - minY_) * inverseCell_);
  if (!(c > 0)) return 0;
  return c >= rows_ - 1 ? rows_ - 1 : static_cast<long>(c);
}

int SpotIndex::FindClosest(double x, double y, const int* Dvect, double* Dmin) const {
  double best = *Dmin;
  // No distance is below a radius that is not positive; a position that is not finite has
  // no finite distance to any spot.
  if (!(best > 0) || !std::isfinite(x) || !std::isfinite(y) || spots_.empty()) return -1;

  // Every spot whose computed distance is below the radius lies within it along each axis up
  // to rounding far smaller than the widening here; one more cell on each side covers a spot
  // that rounding put into the neighbouring cell.
  long c0 = 0, c1 = columns_ - 1, r0 = 0, r1 = rows_ - 1;
  const double reach = best * (1 + 1e-9);
  if (std::isfinite(reach)) {
    c0 = std::max(CellX(x - reach) - 1, 0L);
    c1 = std::min(CellX(x + reach) + 1, columns_ - 1);
    r0 = std::max(CellY(y - reach) - 1, 0L);
    r1 = std::min(CellY(y + reach) + 1, rows_ - 1);
  }

  int found = -1;
  for (long r = r0; r <= r1; ++r) {
    for (long c = c0; c <= c1; ++c) {
      const long cell = r * columns_ + c;
      for (int at = cellStart_[cell]; at < cellStart_[cell + 1]; ++at) {
        const int k = spots_[at];
        if (Dvect[k] != 0) continue;
        const double dx = x_[k] - x;
        const double dy = y_[k] - y;
        const double distance = std::sqrt(dx * dx + dy * dy);
        // The linear scan keeps the first of equal distances: the lowest spot number.
        if (distance < best || (distance == best && k < found)) {
          best = distance;
          found = k;
        }
      }
    }
  }
  if (found >= 0) *Dmin = best;
  return found;
}

int CalculateShifts(const ProgramState& s, const double* /*PX*/, const double* /*PY*/, double* SX,
                    double* SY) {
  const int count = SpotCount(s);
  for (int k = 0; k < count; ++k) {
    SX[k] = s.Origin[0] - s.Pi[k] * s.vg[0] + s.Pj[k] * s.ug[0];
    SY[k] = s.Origin[1] - s.Pi[k] * s.vg[1] + s.Pj[k] * s.ug[1];
  }
  return 0;
}

int DeleteNotAssignedPoints(ProgramState& s, double* PX, double* PY, double* SX, double* SY,
                            int* PD) {
  const int count = SpotCount(s);
  TraceLog(s, "Deleting points not assigned to ideal grid \n");
  for (int k = 0; k < count; ++k) {
    TraceLog(s, " %c%-3i|", PD[k] == 0 ? '-' : '+', k);
    if (k % 10 == 0) TraceLog(s, "\n");
  }
  TraceLog(s, "\n");

  int kept = 0;
  for (int k = 0; k < count; ++k) {
    if (PD[k] == 0) continue;
    PX[kept] = PX[k];
    PY[kept] = PY[k];
    PD[kept] = PD[k];
    SX[kept] = SX[k];
    SY[kept] = SY[k];
    ++kept;
  }
  if (kept < count) {
    // Removing entries one at a time, each by moving the rest of the list down one place,
    // leaves the last entry repeated in every slot freed at the end; keep that layout.
    const int last = count - 1;
    const double x = PX[last], y = PY[last], sx = SX[last], sy = SY[last];
    const int pd = PD[last];
    for (int k = kept; k < count; ++k) {
      PX[k] = x;
      PY[k] = y;
      PD[k] = pd;
      SX[k] = sx;
      SY[k] = sy;
    }
  }
  s.NumberOfPoints = kept;
  TraceLog(s, "%li points left \n", s.NumberOfPoints);
  return 0;
}

int TestDisplay(const ProgramState& s) {
  for (int i = 40; i < 60; ++i) {
    for (int j = 40; j < 60; ++j) {
      int spot = 0;
      if (s.PMatrix.size() == static_cast<std::size_t>(kNodeCount)) {
        spot = std::max(s.PMatrix[NodeIndex(i, j)], 0);
      }
      std::printf(" %2i", spot);
    }
    std::printf("\n");
  }
  const int count = std::min(SpotCount(s), static_cast<int>(std::min(s.Pi.size(), s.Pj.size())));
  for (int k = 0; k < count; ++k) std::printf("%i -> [%i %i]\n", k, s.Pi[k], s.Pj[k]);
  return 0;
}

int InitPointArrays(ProgramState& s, const double* PX, const double* PY, const double* SX,
                    const double* SY) {
  const long rows = std::min<long>(SpotCount(s), static_cast<long>(s.PointsInput.size() / 4));
  for (long k = 0; k < rows; ++k) {
    double* record = s.PointsInput.data() + 4 * k;
    record[0] = PX[k];
    record[1] = PY[k];
    record[2] = SX[k];
    record[3] = SY[k];
  }
  return 1;
}

int CInitPointArrays(ProgramState& s) {
  if (!PointArraysAllocated(s)) return 1;
  return InitPointArrays(s, s.PointsBuffer.data() + 1, s.PointsBuffer.data() + s.MAXPoints + 1,
                         s.SX.data(), s.SY.data());
}

}  // namespace zmr
