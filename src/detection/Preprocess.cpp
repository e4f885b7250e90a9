#include "detection/Preprocess.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "state/ProgramState.h"

namespace zmr {

namespace {

// Number of pixels of the working image when both arrays hold exactly that many, else 0.
std::size_t WorkingPixels(const ProgramState& s, const ImageVector<int>& a) {
  if (s.cxDib <= 0 || s.cyDib <= 0) return 0;
  const std::size_t pixels = static_cast<std::size_t>(s.cxDib) * static_cast<std::size_t>(s.cyDib);
  return a.size() == pixels ? pixels : 0;
}

}  // namespace

int ArrayFilterInt(long M, long N, const int* iSource, int* iTarget, long FilterSize) {
  if (FilterSize < 0 || iSource == nullptr || iTarget == nullptr) return -1;
  if (M <= 0 || N <= 0) return 0;

  // Filtering in place reads pixels that are already written; work from a copy then.
  std::vector<int> sourceCopy;
  if (iSource == iTarget) {
    sourceCopy.assign(iSource, iSource + M * N);
    iSource = sourceCopy.data();
  }

  // Beyond the larger side a window covers the whole image either way; clamping keeps j + f
  // and i + f far from overflow.
  const long f = std::min(FilterSize, std::max(M, N));

  // Separable running sums: colSum[i] is the sum of column i over the rows of the current
  // window, and a second running sum over colSum gives the window sum. Every sum is an exact
  // 64-bit integer, so the quotient is the one the direct (2f+1)^2 summation gives.
  std::vector<std::int64_t> colSum(static_cast<std::size_t>(M), 0);
  auto addRow = [&](long row, int sign) {
    const int* p = iSource + row * M;
    for (long i = 0; i < M; ++i) colSum[i] += sign * static_cast<std::int64_t>(p[i]);
  };
  for (long row = 0; row <= std::min(N - 1, f); ++row) addRow(row, +1);

  for (long j = 0; j < N; ++j) {
    if (j > 0) {
      if (j + f < N) addRow(j + f, +1);
      if (j - f - 1 >= 0) addRow(j - f - 1, -1);
    }
    const std::int64_t rows = std::min(N - 1, j + f) - std::max(0L, j - f) + 1;

    std::int64_t sum = 0;
    for (long i = 0; i <= std::min(M - 1, f); ++i) sum += colSum[i];
    int* out = iTarget + j * M;
    for (long i = 0; i < M; ++i) {
      if (i > 0) {
        if (i + f < M) sum += colSum[i + f];
        if (i - f - 1 >= 0) sum -= colSum[i - f - 1];
      }
      const std::int64_t cols = std::min(M - 1, i + f) - std::max(0L, i - f) + 1;
      // The mean of ints lies within the int range, and / truncates toward zero.
      out[i] = static_cast<int>(sum / (rows * cols));
    }
  }
  return 0;
}

void ApplyThresholdView(ProgramState& s) {
  const std::size_t pixels = WorkingPixels(s, s.Msource);
  if (pixels == 0 || s.Mtarget.size() != pixels) return;
  const int threshold = s.iThreshold;
  for (std::size_t k = 0; k < pixels; ++k) s.Mtarget[k] = s.Msource[k] > threshold ? 255 : 0;
}

int FilterAutodetectTargetArray(ProgramState& s, int mode) {
  if (WorkingPixels(s, s.Mtarget) == 0) return 0;
  if (mode != 0 && mode != 1) return 0;
  const long width = s.cxDib;
  for (long cj = 0; cj < s.cyDib; ++cj) {
    for (long ci = 0; ci < width; ++ci) {
      int& c = s.Mtarget[static_cast<std::size_t>(cj * width + ci)];
      if (c < 1 || c > 254) continue;
      c = mode == 0 ? 0 : static_cast<int>(((cj % 2) | (ci % 2)) * 128);
    }
  }
  return 0;
}

}  // namespace zmr
