#include "detection/robust/RankSelection.h"

#include <algorithm>

namespace zmr {

float ValueOfRank(float* v, std::size_t n, std::size_t k) {
  std::size_t lo = 0, hi = n;
  while (hi - lo > 16) {
    // The pivot is the median of three of the values, so the middle part is never empty and
    // each round leaves fewer values.
    const float a = v[lo], b = v[lo + (hi - lo) / 2], c = v[hi - 1];
    const float pivot = std::max(std::min(a, b), std::min(std::max(a, b), c));
    // [lo, less) < pivot, then [less, equal) == pivot, then the rest. Each value is swapped
    // into place whether it moves or not; only the count depends on it.
    std::size_t less = lo;
    for (std::size_t j = lo; j < hi; ++j) {
      const float x = v[j];
      v[j] = v[less];
      v[less] = x;
      less += x < pivot ? 1 : 0;
    }
    std::size_t equal = less;
    for (std::size_t j = less; j < hi; ++j) {
      const float x = v[j];
      v[j] = v[equal];
      v[equal] = x;
      equal += x == pivot ? 1 : 0;
    }
    if (k < less) {
      hi = less;
    } else if (k < equal) {
      return pivot;
    } else {
      lo = equal;
    }
  }
  std::sort(v + lo, v + hi);
  return v[k];
}

}  // namespace zmr
