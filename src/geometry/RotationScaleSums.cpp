#include "geometry/RotationScaleSums.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "state/ProgramState.h"
#include "state/VectorState.h"

namespace zmr {

namespace {

// Rows of a block, and blocks in flight: the terms of a block are added while later ones are
// computed.
constexpr long kBlockRows = 16;
constexpr long kSlots = 4;
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
  Block slots[kSlots];
  bool twoCores =
      static_cast<long long>(M) * N >= kLeastPixels && std::thread::hardware_concurrency() >= 2;
  try {
    for (Block& slot : slots) slot.Size(blockPixels);
  } catch (const std::bad_alloc&) {
    for (Block& slot : slots) slot = Block{};
  }
  if (slots[kSlots - 1].used.empty()) {
    // No memory for the blocks: one pixel at a time, in the same order.
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
  // The terms of block b into its slot.
  const auto compute = [&](long b) {
    const long j0 = b * kBlockRows;
    const long j1 = std::min(N, j0 + kBlockRows);
    Block& block = slots[b % kSlots];
    for (long j = j0; j < j1 && !Cancelled(s); ++j) {
      for (long i = 0; i < M; ++i) {
        const auto k = static_cast<std::size_t>((j - j0) * M + i);
        block.used[k] = PixelTerms(s, center, offset, M, i, j, Xshift, Yshift, Area,
                                   &block.rotation[k], &block.scale[k]);
      }
    }
  };
  // Adds block b's terms in raster order.
  const auto add = [&](long b) {
    const Block& block = slots[b % kSlots];
    const long rows = std::min(kBlockRows, N - b * kBlockRows);
    for (long k = 0; k < rows * M && !Cancelled(s); ++k) {
      if (block.used[static_cast<std::size_t>(k)] == 0) continue;
      sums.rotation += block.rotation[static_cast<std::size_t>(k)];
      sums.scale += block.scale[static_cast<std::size_t>(k)];
      ++sums.count;
    }
  };
  // The state of each slot: 3 b + 0 while it is free for block b, 3 b + 2 once b's terms are in
  // it. With two threads the other computes the odd blocks and this one the even ones; this one
  // adds every block in order and frees its slot for block b + kSlots. A late thread costs at
  // most the rest of one block; the sums are added in the same order whichever runs late.
  std::atomic<long> state[kSlots];
  for (long slot = 0; slot < kSlots; ++slot) state[slot].store(3 * slot);
  std::atomic<bool> finished{false};
  std::thread other;
  if (twoCores) {
    try {
      other = std::thread([&] {
        ClearUpperVectorState();
        for (long b = 1; b < blocks && !finished.load() && !Cancelled(s); b += 2) {
          std::atomic<long>& slot = state[b % kSlots];
          while (slot.load() != 3 * b && !finished.load() && !Cancelled(s)) {
            std::this_thread::yield();
          }
          if (slot.load() != 3 * b) break;
          compute(b);
          slot.store(3 * b + 2);
        }
      });
    } catch (const std::system_error&) {
      twoCores = false;
    }
  }
  for (long b = 0; b < blocks && !Cancelled(s); ++b) {
    std::atomic<long>& slot = state[b % kSlots];
    if (!twoCores || b % 2 == 0) {
      compute(b);
    } else {
      while (slot.load() != 3 * b + 2 && !Cancelled(s)) std::this_thread::yield();
    }
    add(b);
    slot.store(3 * (b + kSlots));
  }
  finished.store(true);
  if (other.joinable()) other.join();
  return sums;
}

}  // namespace zmr
