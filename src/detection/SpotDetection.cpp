#include "detection/SpotDetection.h"

#include <locale.h>

#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "detection/PointFiles.h"
#include "state/Array.h"
#include "state/CNumericLocale.h"
#include "state/Numeric.h"
#include "state/ProgramState.h"
#include "state/TraceLog.h"

namespace zmr {

namespace {

// Weighted position sums can exceed 64 bits for extreme source values (position up to 2^15
// times a weight up to 2^31, over up to 2^26 pixels); 128 bits keep them exact always.
__extension__ typedef __int128 Int128;

bool IsDark(const int* Table, const int* Signal, long k, int Threshold) {
  return Table[k] == kFreeLabel && Signal[k] < Threshold;
}

// Dijkstra with a caller-owned stack, so that a scan over many regions allocates it once.
// The region is the 4-connected component of free dark pixels that holds the start pixel;
// filled a run of a row at a time, it gets exactly the pixels, area and sums of the
// repeated-sweep growth, because the sums are exact integer sums whose value does not depend on
// the order. The stack holds one start per run of dark pixels found beside a filled run, so it
// stays near the size of the region's outline.
// When *cancel (if given) becomes nonzero the growth stops where it is: one region can be the
// whole image, and a Cancel must not wait for it.
long GrowRegion(long M, long N, int* Table, const int* Signal, double* CenterX, double* CenterY,
                int Threshold, int Mark, std::vector<long>& stack,
                const std::atomic<int>* cancel = nullptr) {
  if (Table == nullptr || Signal == nullptr || CenterX == nullptr || CenterY == nullptr) {
    return 0;
  }
  // Labelling with the free value would leave the region free, and it could never end.
  if (Mark == kFreeLabel) return 0;
  if (!std::isfinite(*CenterX) || !std::isfinite(*CenterY)) return 0;
  const long i0 = TruncateToward0<long>(*CenterX);
  const long j0 = TruncateToward0<long>(*CenterY);
  if (!Valid(M, N, Table, Signal, i0, j0, Threshold)) return 0;

  const long start = j0 * M + i0;
  const std::int64_t w0 = static_cast<std::int64_t>(Signal[start]) + 1;
  long area = 0;
  Int128 weightSum = 0;
  Int128 regionX = 0;  // over every pixel of the region, the start pixel included
  Int128 regionY = 0;

  // Starts the runs of free dark pixels of row j within columns l .. r (inclusive).
  const auto pushRuns = [&](long l, long r, long j) {
    const long row = j * M;
    for (long i = l; i <= r; ++i) {
      if (!IsDark(Table, Signal, row + i, Threshold)) continue;
      stack.push_back(row + i);
      while (i < r && IsDark(Table, Signal, row + i + 1, Threshold)) ++i;
    }
  };

  stack.clear();
  stack.push_back(start);
  constexpr long kCancelCheck = 1L << 16;
  long nextCheck = kCancelCheck;
  while (!stack.empty()) {
    if (cancel != nullptr && area >= nextCheck) {
      nextCheck = area + kCancelCheck;
      if (cancel->load(std::memory_order_acquire) != 0) break;
    }
    const long k = stack.back();
    stack.pop_back();
    if (!IsDark(Table, Signal, k, Threshold)) continue;  // filled from another start since
    const long j = k / M;
    const long row = j * M;
    long l = k - row;
    long r = l;
    while (l > 0 && IsDark(Table, Signal, row + l - 1, Threshold)) --l;
    while (r + 1 < M && IsDark(Table, Signal, row + r + 1, Threshold)) ++r;
    // The run's sums: a weight is at most 2^31 in magnitude and a column or a run's length below
    // 2^31, so the run's weight and each product fit 64 bits before they join the 128-bit sums.
    std::int64_t runWeight = 0;
    for (long i = l; i <= r; ++i) {
      Table[row + i] = Mark;
      const std::int64_t w = static_cast<std::int64_t>(Signal[row + i]) + 1;
      runWeight += w;
      regionX += static_cast<Int128>(static_cast<std::int64_t>(i) * w);
    }
    area += r - l + 1;
    weightSum += runWeight;
    regionY += static_cast<Int128>(runWeight) * j;
    if (j > 0) pushRuns(l, r, j - 1);
    if (j + 1 < N) pushRuns(l, r, j + 1);
  }
  // The sums over the pixels other than the start pixel.
  const Int128 restX = regionX - static_cast<Int128>(w0) * i0;
  const Int128 restY = regionY - static_cast<Int128>(w0) * j0;

  if (weightSum == 0) return area;
  // The start term is w0 times the given start coordinate. For a whole-number start (the scan
  // always passes one) the total is formed exactly before the one rounding to double.
  auto total = [&](double start0, long whole, Int128 rest) {
    // A lone start pixel keeps the product's own sign of zero (a negative weight at column or
    // row 0 gives -0.0, which the division turns into +0.0, as the repeated sweeps give).
    if (area == 1) return static_cast<double>(w0) * start0;
    if (start0 == static_cast<double>(whole)) {
      return static_cast<double>(static_cast<Int128>(w0) * whole + rest);
    }
    return static_cast<double>(w0) * start0 + static_cast<double>(rest);
  };
  const double sumX = total(*CenterX, i0, restX);
  const double sumY = total(*CenterY, j0, restY);
  const double signalSum = static_cast<double>(weightSum);
  *CenterX = sumX / signalSum;
  *CenterY = sumY / signalSum;
  return area;
}

// True when none of the eight pixels from table and signal is free and dark: one branch for the
// eight, where a test each mispredicts at every edge of a region.
inline bool NoneStartsARegion(const int* table, const int* signal, int threshold) {
  bool any = false;
  for (int k = 0; k < 8; ++k) any |= (table[k] == kFreeLabel) & (signal[k] < threshold);
  return !any;
}

}  // namespace

int Valid(long M, long N, const int* Table, const int* Signal, long i, long j, int Threshold) {
  if (i < 0 || i >= M || j < 0 || j >= N) return 0;
  return IsDark(Table, Signal, j * M + i, Threshold) ? 1 : 0;
}

int TestNeighbours(long M, long N, const int* Table, long i, long j, int Mark) {
  if (i < 0 || i >= M || j < 0 || j >= N) return 0;
  const long k = j * M + i;
  if (i + 1 < M && Table[k + 1] == Mark) return 1;
  if (i > 0 && Table[k - 1] == Mark) return 1;
  if (j + 1 < N && Table[k + M] == Mark) return 1;
  if (j > 0 && Table[k - M] == Mark) return 1;
  return 0;
}

long Dijkstra(long M, long N, int* Table, const int* Signal, double* CenterX, double* CenterY,
              int Threshold, int Mark) {
  std::vector<long> queue;
  return GrowRegion(M, N, Table, Signal, CenterX, CenterY, Threshold, Mark, queue);
}

int FindCenters(ProgramState& s, long M, long N, int* Table, const int* Signal, int Threshold,
                long MinArea, double* PointsX, double* PointsY) {
  std::printf("Searching for black areas \n");
  const long capacity = (PointsX != nullptr && PointsY != nullptr) ? s.MAXPoints : 0;
  int count = 0;
  long dropped = 0;  // spots found once the list was full
  int Mark = 0;
  double ScmX = 0.0;
  double ScmY = 0.0;
  double ScmA = 0.0;

  if (M > 0 && N > 0 && Table != nullptr && Signal != nullptr) {
    const std::int64_t pixels = static_cast<std::int64_t>(M) * N;
    std::vector<long> queue;
    bool cancelled = false;
    // A pixel that is not free or not dark starts no region: GrowRegion would return 0 at
    // once. With MinArea >= 0 such a pixel changes nothing, so it is passed over without the
    // call (and without the progress and Cancel checks, which the next region start or row
    // makes). A negative MinArea lets area 0 qualify: then every pixel goes through the call.
    const bool skipIdle = MinArea >= 0;
    for (long j = 0; j < N && !cancelled; ++j) {
      const long row = j * M;
      for (long i = 0; i < M; ++i) {
        if (skipIdle && i > 0) {
          // Eight idle pixels at a time (the regions grown so far are in Table already, so
          // this sees what the pixel-by-pixel test would see), then the pixel itself.
          while (i + 8 <= M && NoneStartsARegion(Table + row + i, Signal + row + i, Threshold)) {
            i += 8;
          }
          if (i == M) break;
          if (Table[row + i] != kFreeLabel || Signal[row + i] >= Threshold) continue;
        }
        if (s.fTerminated.load(std::memory_order_acquire) != 0) {
          cancelled = true;
          break;
        }
        const std::int64_t offered = static_cast<std::int64_t>(j) * M + i;
        s.iProgressStatus.store(static_cast<int>((100 * offered) / pixels),
                                std::memory_order_relaxed);
        double CenterX = static_cast<double>(i);
        double CenterY = static_cast<double>(j);
        const long PatchSize = GrowRegion(M, N, Table, Signal, &CenterX, &CenterY, Threshold, Mark,
                                          queue, &s.fTerminated);
        // A region whose growth a Cancel cut short is no spot.
        if (s.fTerminated.load(std::memory_order_acquire) != 0) {
          cancelled = true;
          break;
        }
        if (PatchSize <= MinArea) continue;
        if (count < capacity) {
          PointsX[count] = CenterX;
          PointsY[count] = CenterY;
          Mark = Mark + 1 == kFreeLabel ? 0 : Mark + 1;
          ++count;
          s.iDetectedAreas.store(count, std::memory_order_relaxed);
          if (s.DebugSwitch != 0) {
            TraceLog(s, "%i[%i] = %li %f %f\n", count, Mark, PatchSize, CenterX, CenterY);
          } else {
            TraceLog(s, "%3i [%6li] (%5.2f %5.2f) \n", count, PatchSize, CenterX, CenterY);
          }
        } else {
          ++dropped;
        }
        // The counter after its advance must exceed 1, which leaves the 1st, 255th, 256th,
        // 510th, ... stored region out of the mean.
        if (Mark > 1) {
          ScmX += static_cast<double>(PatchSize) * CenterX;
          ScmY += static_cast<double>(PatchSize) * CenterY;
          ScmA += static_cast<double>(PatchSize);
        }
      }
    }
    // The progress the last pixel sets when it is offered (it may have been passed over).
    if (!cancelled) {
      s.iProgressStatus.store(static_cast<int>((100 * (pixels - 1)) / pixels),
                              std::memory_order_relaxed);
    }
  }

  if (dropped > 0) {
    AddNote(s, "Auto-detection: the spot list holds " + std::to_string(capacity) + " spots; " +
                   std::to_string(dropped) +
                   " more, the last in the image's row order, were left out");
  }
  if (capacity > 0) {
    // No region entered the mean (fewer than two stored spots): 0 / 0 has no value, so slot 0
    // takes the image centre, the default start of grid tracing.
    PointsX[0] = ScmA > 0.0 ? ScmX / ScmA : static_cast<double>(M) / 2.0;
    PointsY[0] = ScmA > 0.0 ? ScmY / ScmA : static_cast<double>(N) / 2.0;
  }
  return count;
}

int AutoTrace(ProgramState& s, int cx, int cy) {
  if (cx <= 0 || cy <= 0) return -1;
  const std::size_t pixels = static_cast<std::size_t>(cx) * static_cast<std::size_t>(cy);
  if (s.Msource.size() != pixels || s.Mtarget.size() != pixels) return -1;
  if (s.MAXPoints < 1 || s.PointsBuffer.size() < 2 * static_cast<std::size_t>(s.MAXPoints)) {
    return -1;
  }
  CNumericLocale cLocale;

  s.ImageM = cx;
  s.ImageN = cy;
  OpenTraceLog(s, "w");
  TraceLog(s, "Tracing black holes with parameters:\n Threshold = %f Min Area Size %li\n",
           s.Threshold, s.MinPatchSize);
  if (s.Centering > 0) TraceLog(s, "Centering at %6.2f %6.2f\n", s.InpCoor[0], s.InpCoor[1]);

  FillArrayInt(s.Mtarget.data(), s.ImageM, s.ImageN, kFreeLabel);
  double* pointsX = s.PointsBuffer.data();
  double* pointsY = pointsX + s.MAXPoints;
  s.NumberOfPoints =
      FindCenters(s, s.ImageM, s.ImageN, s.Mtarget.data(), s.Msource.data(),
                  TruncateToward0<int>(s.Threshold), s.MinPatchSize, pointsX, pointsY);
  PrintPoints(s, pointsX, pointsY, WorkFile(s, kPointsFitName).c_str());

  s.TraceFlag = 1;
  CloseTraceLog(s);
  return 0;
}

}  // namespace zmr
