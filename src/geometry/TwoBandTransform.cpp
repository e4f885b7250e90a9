#include "geometry/TwoBandTransform.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <thread>
#include <vector>

#include "geometry/PixelMove.h"
#include "geometry/ZoneSweep.h"
#include "state/ProgramState.h"

namespace zmr {

namespace {

// Fewer rows than this, and a second thread costs more than it saves.
constexpr long kLeastRows = 64;

// An addition of the lower band to a row above the boundary, made after the upper band.
struct LaterAddition {
  long index;
  double value;
};

// The upper band's splat: adds above the boundary only; a landing whose bilinear rows reach
// the boundary is noted and dropped (the whole sweep is then made again in one band).
struct UpperSplat {
  double* sum;
  long M;
  long N;
  long boundary;
  bool crossed = false;
  void operator()(double I, const SplatPosition& at) {
    if (at.y0 + 1 >= boundary) {
      crossed = true;
      return;
    }
    SplatBilinear(I, at, M, N, sum);
  }
};

// The lower band's splat: a landing wholly below the boundary is added at once; otherwise each
// part of SplatBilinear is added at once from the boundary down and set aside above it, and
// parts off the image are dropped as SplatBilinear drops them.
struct LowerSplat {
  double* sum;
  long M;
  long N;
  long boundary;
  std::vector<LaterAddition>* later;
  void Add(long x, long y, double v) {
    if (x < 0 || x >= M || y < 0 || y >= N) return;
    const long index = y * M + x;
    if (y >= boundary) {
      sum[index] += v;
    } else {
      later->push_back({index, v});
    }
  }
  void operator()(double I, const SplatPosition& at) {
    if (at.y0 >= boundary) {
      SplatBilinear(I, at, M, N, sum);
      return;
    }
    const SplatParts parts = BilinearParts(I, at);
    Add(at.x0, at.y0, parts.v00);
    Add(at.x0 + 1, at.y0, parts.v10);
    Add(at.x0 + 1, at.y0 + 1, parts.v11);
    Add(at.x0, at.y0 + 1, parts.v01);
  }
};

ZMR_NO_STRAIGHT_LINE_VECTORS void MoveUpperSpan(long i0, long i1, long j, int t, const double* cX,
                                                const double* cY, long M, const int* source,
                                                int* area, double* dx, double* dy,
                                                UpperSplat& splat) {
  MoveSpan(i0, i1, j, t, cX, cY, M, source, area, dx, dy, splat);
}

ZMR_NO_STRAIGHT_LINE_VECTORS void MoveLowerSpan(long i0, long i1, long j, int t, const double* cX,
                                                const double* cY, long M, const int* source,
                                                int* area, double* dx, double* dy,
                                                LowerSplat& splat) {
  MoveSpan(i0, i1, j, t, cX, cY, M, source, area, dx, dy, splat);
}

// The largest vertical displacement of the calibration points, or -1 when one is not a
// number. A pixel inside a triangle moves by an average of its corners' displacements.
double LargestRise(const ProgramState& s) {
  double largest = 0.0;
  const long points = std::min<long>(s.NumberOfPoints, static_cast<long>(s.PointsInput.size() / 4));
  for (long k = 0; k < points; ++k) {
    const double* p = s.PointsInput.data() + 4 * k;
    const double rise = std::fabs(p[3] - p[1]);
    if (!std::isfinite(rise)) return -1.0;
    largest = std::max(largest, rise);
  }
  return largest;
}

}  // namespace

BandSweep SweepTransformInTwoBands(ProgramState& s, long M, long N, long margin) {
  if (N < kLeastRows || std::thread::hardware_concurrency() < 2) return BandSweep::kNotTried;
  const double rise = LargestRise(s);
  const long middle = N / 2;
  // The additions set aside take 16 bytes each, about two a pixel of the lower band's rows above
  // the boundary: a rise of at most a sixteenth of the rows keeps them within 2 bytes a pixel
  // of the image.
  if (rise < 0.0 || rise > static_cast<double>(N) / 16.0) return BandSweep::kNotTried;
  const long boundary = middle + static_cast<long>(std::ceil(rise)) + margin;
  if (boundary >= N || boundary < 1) return BandSweep::kNotTried;

  double* sum = s.Signal.data();
  const int* source = s.Msource.data();
  int* area = s.Area.data();
  double* dx = s.deltaX.data();
  double* dy = s.deltaY.data();
  std::vector<LaterAddition> later;
  std::exception_ptr lowerFailure;
  std::thread lower;
  try {
    // The lower band's rows up to the boundary's, about two additions per pixel.
    later.reserve(static_cast<std::size_t>(std::max(0L, boundary - middle + 2)) *
                  static_cast<std::size_t>(M) * 2);
    lower = std::thread([&] {
      try {
        std::fill(sum + boundary * M, sum + N * M, 0.0);
        LowerSplat splat{sum, M, N, boundary, &later};
        SweepZoneSpanRows(s, M, N, middle, N, false,
                          [&](long i0, long i1, long j, int t, const double* cX, const double* cY) {
                            MoveLowerSpan(i0, i1, j, t, cX, cY, M, source, area, dx, dy, splat);
                          });
      } catch (...) {
        lowerFailure = std::current_exception();
      }
    });
  } catch (const std::exception&) {
    return BandSweep::kNotTried;  // no memory or no thread: nothing was changed
  }
  UpperSplat upper{sum, M, N, boundary};
  try {
    std::fill(sum, sum + boundary * M, 0.0);
    SweepZoneSpanRows(s, M, N, 0, middle, true,
                      [&](long i0, long i1, long j, int t, const double* cX, const double* cY) {
                        MoveUpperSpan(i0, i1, j, t, cX, cY, M, source, area, dx, dy, upper);
                      });
  } catch (...) {
    lower.join();
    throw;
  }
  lower.join();
  if (lowerFailure || upper.crossed) return BandSweep::kRedo;
  for (const LaterAddition& a : later) sum[a.index] += a.value;
  if (s.fTerminated.load(std::memory_order_acquire) == 0) {
    // Where one sweep ends: on the last row, at its last progress value.
    const long long total = static_cast<long long>(M) * N;
    s.iDetectedAreas.store(static_cast<int>(N - 1), std::memory_order_relaxed);
    s.iProgressStatus.store(static_cast<int>((100 * (total - 1)) / total),
                            std::memory_order_relaxed);
  }
  return BandSweep::kDone;
}

}  // namespace zmr
