#include "export/GridShifts.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "geometry/TriangleLocation.h"
#include "geometry/TriangleMap.h"
#include "state/CNumericLocale.h"
#include "state/ProgramState.h"
#include "state/SafeWrite.h"

namespace zmr {
namespace {

// Records PointsOutput has room for.
long OutputCapacity(const ProgramState& s) {
  return std::min(s.MAXPoints, static_cast<long>(s.PointsOutput.size() / 4));
}

// Field positions k * step (0 <= k * step <= ORBIKE) whose image position k * step - offset
// lies in 0 .. size - 1. Wide arithmetic: the offsets are options and may be anything.
long AxisNodeCount(const ProgramState& s, long size, long step, int offset) {
  const long long field = s.ORBIKE;
  long count = 0;
  for (long long k = 0; k * step <= field; ++k) {
    const long long c = k * step - offset;
    if (c >= 0 && c < size) ++count;
  }
  return count;
}

}  // namespace

int CalculateGridShifts(const ProgramState& s, [[maybe_unused]] long M, [[maybe_unused]] long N,
                        double PX, double PY, double& DX, double& DY) {
  const long t = FindTrianglePI(s, PX, PY);
  if (t == -1) {
    DX = 0.0;
    DY = 0.0;
    return -1;
  }
  const double p0[2] = {PX, PY};
  double d0[2] = {0.0, 0.0};
  ApproximateShiftsT(s, p0, d0, t);
  DX = d0[0];
  DY = d0[1];
  return static_cast<int>(t);
}

long ReducedGridNodeCount(const ProgramState& s, long M, long N, long Step) {
  if (Step < 1) return 0;
  return AxisNodeCount(s, M, Step, s.xoffset) * AxisNodeCount(s, N, Step, s.yoffset);
}

std::string ReducedGridShiftsProblem(const ProgramState& s, long M, long N, long Step) {
  if (Step < 1 || Step > INT_MAX) return kErrorGridStep;
  const long capacity = OutputCapacity(s);
  if (ReducedGridNodeCount(s, M, N, Step) > capacity) {
    return "Error - too many grid nodes for the ORBIK table (at most " + std::to_string(capacity) +
           ")";
  }
  return "";
}

int CalculateReducedGridShifts(ProgramState& s, long M, long N, int Step,
                               [[maybe_unused]] int Mode) {
  if (!ReducedGridShiftsProblem(s, M, N, Step).empty()) return 0;
  // The image positions of the nodes inside the image, ascending on each axis.
  std::vector<double> xs;
  std::vector<double> ys;
  const long long field = s.ORBIKE;
  for (long long i = 0; i * Step <= field; ++i) {
    const long long ic = i * Step - s.xoffset;
    if (ic >= 0 && ic < M) xs.push_back(static_cast<double>(ic));
  }
  for (long long j = 0; j * Step <= field; ++j) {
    const long long jc = j * Step - s.yoffset;
    if (jc >= 0 && jc < N) ys.push_back(static_cast<double>(jc));
  }
  // The triangle of every node in one pass over the triangles (the same as FindTrianglePI at
  // each node); without memory for it each node searches the triangles itself.
  std::vector<int> map;
  const bool mapped = MapTriangles(s, xs, ys, map);

  double* out = s.PointsOutput.data();
  int count = 0;
  for (std::size_t b = 0; b < ys.size(); ++b) {
    for (std::size_t a = 0; a < xs.size(); ++a) {
      const double x = xs[a];
      const double y = ys[b];
      double dx = 0.0;
      double dy = 0.0;
      if (mapped) {
        const long t = map[b * xs.size() + a];
        if (t != -1) {
          const double p0[2] = {x, y};
          double d0[2] = {0.0, 0.0};
          ApproximateShiftsT(s, p0, d0, t);
          dx = d0[0];
          dy = d0[1];
        }
      } else {
        CalculateGridShifts(s, M, N, x, y, dx, dy);
      }
      double* r = out + 4L * count;
      r[0] = x;
      r[1] = y;
      r[2] = x + dx;
      r[3] = y + dy;
      ++count;
    }
  }
  return count;
}

long PrintReducedGridShifts(const char* FileName, const double* ADX, const double* ADY, long M,
                            long N, int Step) {
  if (Step < 1) return 0;
  CNumericLocale cLocale;
  bool opened = false;
  long lines = 0;
  const bool written = WriteWholeFile(FileName, [&](std::FILE* f) {
    opened = true;
    std::printf("Writing to file %s ...", FileName);
    for (long j = 0; j < N / Step; ++j) {
      const long jc = j * Step;
      for (long i = 0; i < M / Step; ++i) {
        const long ic = i * Step;
        const long at = jc * M + ic;
        std::fprintf(f, "%ld %ld %f %f\n", ic, jc, ic + ADX[at], jc + ADY[at]);
        ++lines;
      }
    }
    return true;
  });
  if (!opened) std::printf("Cannot open output file %s\n", FileName);
  return written ? lines : 1;
}

}  // namespace zmr
