#include "detection/robust/RankSelection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace zmr {
namespace {

// Every rank of arrays of many sizes and kinds (distinct, few distinct values, sorted both
// ways, all equal) against std::nth_element.
TEST(RankSelectionTest, EveryRankEqualsNthElement) {
  std::mt19937 rng(7);
  for (std::size_t n : {1u, 2u, 15u, 16u, 17u, 33u, 200u, 257u}) {
    for (int kind = 0; kind < 5; ++kind) {
      std::vector<float> values(n);
      for (std::size_t i = 0; i < n; ++i) {
        const float kinds[] = {std::uniform_real_distribution<float>(-50, 50)(rng),
                               static_cast<float>(rng() % 3), static_cast<float>(i),
                               static_cast<float>(n - i), 4.5f};
        values[i] = kinds[kind];
      }
      for (std::size_t k = 0; k < n; ++k) {
        std::vector<float> ours = values, theirs = values;
        std::nth_element(theirs.begin(), theirs.begin() + k, theirs.end());
        ASSERT_EQ(ValueOfRank(ours.data(), n, k), theirs[k])
            << "n " << n << " kind " << kind << " rank " << k;
        std::sort(ours.begin(), ours.end());
        std::sort(theirs.begin(), theirs.end());
        ASSERT_EQ(ours, theirs) << "the values were changed, not only reordered";
      }
    }
  }
}

}  // namespace
}  // namespace zmr
