#include "imagefiles/TextImage.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace zmr {
namespace {

// The value conversions, counts and placements are compared with the C library by the oracle
// tests; here are the format list and the proposal.

TEST(GetImageFormatsTest, ListsTheMostNearlySquareFormatsInWidthOrder) {
  for (int total : {0, 1, 3, -12, 12, 7919, 240000, 591361, 720720}) {
    std::vector<int> all;  // every width from 2 to total / 2 that divides total
    for (int d = 2; d <= total / 2; ++d)
      if (total % d == 0) all.push_back(d);
    std::vector<int> formats(100);
    const int n = GetImageFormats(total, formats.data());
    ASSERT_EQ(n, std::min<int>(std::ssize(all), 50)) << total;
    // A contiguous run of the full list; no dropped format is squarer than a kept one.
    const auto start = std::find(all.begin(), all.end(), n > 0 ? formats[0] : 0);
    ASSERT_LE(start + n, all.end()) << total;
    const auto skew = [total](int w) { return std::abs(w - total / w); };
    int worstKept = 0;
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(formats[2 * i], start[i]) << total;
      EXPECT_EQ(formats[2 * i + 1], total / start[i]);
      worstKept = std::max(worstKept, skew(start[i]));
    }
    for (auto it = all.begin(); it != all.end(); ++it)
      EXPECT_TRUE((it >= start && it < start + n) || skew(*it) >= worstKept) << total;
  }
  int formats[100] = {};
  EXPECT_EQ(GetImageFormats(2147483647, formats), 0);  // the largest prime an int holds
  EXPECT_EQ(FindOptimumFormat(GetImageFormats(12, formats), formats), 1);  // 3 x 4, not 4 x 3
  const int best = FindOptimumFormat(GetImageFormats(240000, formats), formats);
  EXPECT_EQ(std::vector<int>(formats + 2 * best, formats + 2 * best + 2),
            (std::vector<int>{480, 500}));
}

TEST(TextImageTest, OffsetsAndTheFileCount) {
  // The image is centred in the 1024-pixel field, except at the sizes with a fixed place.
  const std::pair<int, int> offsets[] = {{724, 160}, {768, 128}, {769, 128},  {600, 212},
                                         {601, 212}, {1, 512},   {2048, -512}};
  for (const auto& [size, expected] : offsets) {
    int offset = -7;
    InitImageOffsetTable(1024, size, offset);
    EXPECT_EQ(offset, expected) << size;
  }
  test::TempDir dir;
  test::WriteFile("values.txt", "1 2 ff\n10 ");
  EXPECT_EQ(CountOstrelArray("values.txt", "%x"), 4);
  EXPECT_EQ(CountOstrelArray("missing.txt", "%x"), 0);
}

}  // namespace
}  // namespace zmr
