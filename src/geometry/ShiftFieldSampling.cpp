#include "geometry/ShiftFieldSampling.h"

#include <atomic>
#include <cstddef>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "geometry/TriangleLocation.h"
#include "geometry/TriangleMap.h"
#include "state/ProgramState.h"
#include "state/VectorState.h"

namespace zmr {

namespace {

// Fewer pixels than this, and a second thread costs more than it saves.
constexpr long long kLeastPixels = 1L << 16;

bool Cancelled(const ProgramState& s) { return s.fTerminated.load(std::memory_order_acquire) != 0; }

// Rows [j0, j1). The triangles of a row come from one pass over the triangles and the
// coefficients are computed once per triangle; the values are those of FindTrianglePI and
// ApproximateShiftsT at each pixel, bit for bit. Without memory for the map, each pixel's
// triangle is searched.
ZoneSums SampleRows(ProgramState& s, long M, long N, long j0, long j1,
                    const std::vector<double>& coefficients, bool report, double* Xshift,
                    double* Yshift, int* Area) {
  ZoneSums sums;
  const long long total = static_cast<long long>(M) * N;
  const std::vector<double> xs = PixelCoordinates(M);
  const std::vector<double> ys = PixelCoordinates(N);
  TriangleRowMap rowMap(s, xs, ys);
  std::vector<int> row;
  bool mapped = rowMap.Ready() && !coefficients.empty();
  try {
    if (mapped) row.resize(static_cast<std::size_t>(M));
  } catch (const std::bad_alloc&) {
    mapped = false;
  }
  long long nextProgress = report ? static_cast<long long>(j0) * M : -1;
  for (long j = j0; j < j1 && !Cancelled(s); ++j) {
    if (mapped) rowMap.FillRow(static_cast<std::size_t>(j), row.data());
    for (long i = 0; i < M && !Cancelled(s); ++i) {
      const long index = j * M + i;
      if (report && index >= nextProgress) {
        const long long progress = (100 * static_cast<long long>(index)) / total;
        s.iProgressStatus.store(static_cast<int>(progress), std::memory_order_relaxed);
        nextProgress = ((progress + 1) * total + 99) / 100;
      }
      const double P0[2] = {static_cast<double>(i), static_cast<double>(j)};
      double D[2] = {0.0, 0.0};
      const long t = mapped ? row[static_cast<std::size_t>(i)] : FindTrianglePI(s, P0[0], P0[1]);
      if (t == -1) {
        Area[index] = 0;
      } else {
        if (mapped) {
          const double* c = &coefficients[6 * static_cast<std::size_t>(t)];
          EvaluateShiftT(c, c + 3, P0, D);
        } else {
          ApproximateShiftsT(s, P0, D, t);
        }
        sums.x += P0[0];
        sums.y += P0[1];
        ++sums.count;
        Area[index] = 1;
      }
      Xshift[index] = D[0];
      Yshift[index] = D[1];
    }
  }
  return sums;
}

}  // namespace

ZoneSums SampleShiftField(ProgramState& s, long M, long N, double* Xshift, double* Yshift,
                          int* Area) {
  if (M <= 0 || N <= 0) return {};
  const long long total = static_cast<long long>(M) * N;
  std::vector<double> coefficients;
  try {
    const long triangles = SearchableTriangleCount(s);
    coefficients.resize(static_cast<std::size_t>(6 * triangles));
    for (long t = 0; t < triangles; ++t) {
      ShiftCoefficientsT(s, t, &coefficients[6 * t], &coefficients[6 * t + 3]);
    }
  } catch (const std::bad_alloc&) {
    coefficients.clear();
  }
  long middle = N;
  ZoneSums lower;
  std::thread other;
  if (total >= kLeastPixels && N >= 2 && std::thread::hardware_concurrency() >= 2) {
    middle = N / 2;
    try {
      other = std::thread([&] {
        ClearUpperVectorState();
        lower = SampleRows(s, M, N, middle, N, coefficients, false, Xshift, Yshift, Area);
      });
    } catch (const std::system_error&) {
      middle = N;  // one thread after all: this one samples every row
    }
  }
  ZoneSums sums = SampleRows(s, M, N, 0, middle, coefficients, true, Xshift, Yshift, Area);
  if (other.joinable()) {
    other.join();
    sums.x += lower.x;
    sums.y += lower.y;
    sums.count += lower.count;
    // Where one sweep ends: its last progress value.
    if (!Cancelled(s)) {
      s.iProgressStatus.store(static_cast<int>((100 * (total - 1)) / total),
                              std::memory_order_relaxed);
    }
  }
  return sums;
}

}  // namespace zmr
