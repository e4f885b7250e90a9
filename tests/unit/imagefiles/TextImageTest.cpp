#include "imagefiles/TextImage.h"

#include <gtest/gtest.h>

namespace zmr {
namespace {

// The value conversions, counts and placements are compared with the C library by the oracle
// tests; here are the format list and the proposal.

// Every width from 2 to total / 2 that divides total, in increasing order; beyond 50 the middle
// run of the 50 most nearly square. Entries i and n-1-i are equally square, so an odd surplus
// (a square total) drops one more from the wide end: of the 53 formats of 82944 = 288^2 it drops
// 2 x 41472 at the narrow end, 27648 x 3 and 41472 x 2 at the wide end.
TEST(GetImageFormatsTest, ListsTheMostNearlySquareFormatsInWidthOrder) {
  const struct {
    int total, count, first, last;
  } cases[] = {{12, 4, 2, 6},
               {1000000, 47, 2, 500000},
               {82944, 50, 3, 20736},
               {518400, 50, 180, 2700},
               {720720, 50, 440, 1638},
               {9437184, 50, 9, 786432},
               {0, 0, 0, 0},
               {1, 0, 0, 0},
               {-12, 0, 0, 0},
               {7919, 0, 0, 0},
               {2147483647, 0, 0, 0}};  // the largest prime an int holds
  for (const auto& c : cases) {
    int formats[100] = {};
    ASSERT_EQ(GetImageFormats(c.total, formats), c.count) << c.total;
    for (int i = 0, w = c.first; i < c.count; ++i, ++w) {
      while (c.total % w != 0) ++w;  // the next width that divides the total
      ASSERT_EQ(std::pair(formats[2 * i], formats[2 * i + 1]), std::pair(w, c.total / w))
          << "format " << i << " of " << c.total;
    }
    EXPECT_EQ(c.count ? formats[2 * c.count - 2] : 0, c.last) << c.total;
  }
  int formats[100] = {};
  EXPECT_EQ(FindOptimumFormat(GetImageFormats(12, formats), formats), 1);  // 3 x 4, not 4 x 3
  const int best = FindOptimumFormat(GetImageFormats(240000, formats), formats);
  EXPECT_EQ(std::vector<int>(formats + 2 * best, formats + 2 * best + 2),
            (std::vector<int>{480, 500}));
}

TEST(TextImageTest, OffsetsCentreTheImageExceptAtTheFixedSizes) {
  // The image is centred in the 1024-pixel field, except at the sizes with a fixed place.
  const std::pair<int, int> offsets[] = {{724, 160}, {768, 128}, {769, 128},  {600, 212},
                                         {601, 212}, {1, 512},   {2048, -512}};
  for (const auto& [size, expected] : offsets) {
    int offset = -7;
    InitImageOffsetTable(1024, size, offset);
    EXPECT_EQ(offset, expected) << size;
  }
}

}  // namespace
}  // namespace zmr
