#include "geometry/RotationScaleSums.h"

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cmath>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "state/ProgramState.h"
#include "state/VectorState.h"

namespace zmr {

namespace {

// Rows of a block: the terms of one block are added while the next is computed.
constexpr long kBlockRows = 16;
// Fewer pixels than this, and a second thread costs more than it saves.
constexpr long long kLeastPixels = 1L << 16;

bool Cancelled(const ProgramState& s) { return s.fTerminated.load(std::memory_order_acquire) != 0; }

// The terms of pixel (i, j): false when it gives none.
inline bool PixelTerms(const ProgramState& s, const double* center, const double* offset, long M,
                       long i, long j, const double* Xshift, const double* Yshift, const int* Area,
                       double* rotation, double* scale) {
  const long index = j * M + i;
  if (Area[index] == 0) return false;
  const double R[2] = {i - center[0], j - center[1]};
  const double r = std::sqrt(R[0] * R[0] + R[1] * R[1]);
  // The unit vector is formed only where it is used: at r = 0 it has no direction.
  if (!(r >= s.CenterLimit)) return false;
  const double e[2] = {R[0] / r, R[1] / r};
  const double C[2] = {Xshift[index] - offset[0], Yshift[index] - offset[1]};
  *rotation = std::atan((e[0] * C[1] - e[1] * C[0]) / r);
  *scale = (e[0] * C[0] + e[1] * C[1]) / r + 1.0;
  return true;
}

// One block's buffers.
struct Block {
  std::vector<double> rotation, scale;
  std::vector<unsigned char> used;
  void Size(std::size_t n) {
    rotation.resize(n);
    scale.resize(n);
    used.resize(n);
  }
};

}  // namespace

RotationScaleSums SumRotationScale(const ProgramState& s, const double* center,
                                   const double* offset, long M, long N, const double* Xshift,
                                   const double* Yshift, const int* Area) {
  RotationScaleSums sums;
  if (M <= 0 || N <= 0) return sums;
  const long blocks = (N + kBlockRows - 1) / kBlockRows;
  const std::size_t blockPixels =
      static_cast<std::size_t>(kBlockRows) * static_cast<std::size_t>(M);
  Block buffers[2];
  bool twoCores =
      static_cast<long long>(M) * N >= kLeastPixels && std::thread::hardware_concurrency() >= 2;
  try {
    for (Block& b : buffers) b.Size(blockPixels);
  } catch (const std::bad_alloc&) {
    buffers[0] = Block{};
    buffers[1] = Block{};
    twoCores = false;
  }
  // Adds block b's terms in raster order.
  const auto add = [&](long b) {
    const Block& block = buffers[b % 2];
    const long rows = std::min(kBlockRows, N - b * kBlockRows);
    for (long k = 0; k < rows * M && !Cancelled(s); ++k) {
      if (block.used[static_cast<std::size_t>(k)] == 0) continue;
      sums.rotation += block.rotation[static_cast<std::size_t>(k)];
      sums.scale += block.scale[static_cast<std::size_t>(k)];
      ++sums.count;
    }
  };
  // The rows of block b that each thread computes: the first half here, the rest on the other.
  const auto part = [&](long b, bool first) {
    const long j0 = b * kBlockRows;
    const long j1 = std::min(N, j0 + kBlockRows);
    const long mid = twoCores ? j0 + (j1 - j0) / 2 : j1;
    Block& block = buffers[b % 2];
    for (long j = first ? j0 : mid; j < (first ? mid : j1) && !Cancelled(s); ++j) {
      for (long i = 0; i < M; ++i) {
        const auto k = static_cast<std::size_t>((j - j0) * M + i);
        block.used[k] = PixelTerms(s, center, offset, M, i, j, Xshift, Yshift, Area,
                                   &block.rotation[k], &block.scale[k]);
      }
    }
  };
  if (buffers[0].used.empty()) {
    // No memory for a block: one pixel at a time, in the same order.
    for (long j = 0; j < N && !Cancelled(s); ++j) {
      for (long i = 0; i < M && !Cancelled(s); ++i) {
        double rotation = 0.0, scale = 0.0;
        if (PixelTerms(s, center, offset, M, i, j, Xshift, Yshift, Area, &rotation, &scale)) {
          sums.rotation += rotation;
          sums.scale += scale;
          ++sums.count;
        }
      }
    }
    return sums;
  }
  std::thread other;
  // Block b is computed by both threads; they meet; this thread adds it while the other starts
  // on block b + 1 (in the other buffer, which this thread finished adding before they met).
  std::barrier meet(2);
  if (twoCores) {
    try {
      other = std::thread([&] {
        ClearUpperVectorState();
        for (long b = 0; b < blocks; ++b) {
          part(b, false);
          meet.arrive_and_wait();
        }
      });
    } catch (const std::system_error&) {
      twoCores = false;
    }
  }
  for (long b = 0; b < blocks; ++b) {
    part(b, true);
    if (twoCores) meet.arrive_and_wait();
    add(b);
  }
  if (other.joinable()) other.join();
  return sums;
}

}  // namespace zmr
