// Warming the pages of image arrays changes none of their values: written elements keep theirs,
// never-written ones still read zero.
#include <gtest/gtest.h>

#include <cstddef>

#include "state/ImageAllocator.h"
#include "state/PageWarmer.h"

namespace zmr {
namespace {

TEST(PageWarmer, LeavesWrittenAndUnwrittenElementsAsTheyWere) {
  ImageVector<double> a(std::size_t{3} << 20);  // 24 MiB: pages of both kinds, many pieces
  ImageVector<int> b(std::size_t{1} << 20);
  for (std::size_t k = 0; k < a.size(); k += 4096 * 3) a[k] = 0.5 + static_cast<double>(k);
  b[b.size() - 1] = -7;
  PageWarmer warmer({{a.data(), a.size() * sizeof(double)}, {b.data(), b.size() * sizeof(int)}},
                    nullptr);
  warmer.WaitUntilWarm();
  for (std::size_t k = 0; k < a.size(); ++k) {
    ASSERT_EQ(a[k], k % (4096 * 3) == 0 ? 0.5 + static_cast<double>(k) : 0.0) << k;
  }
  for (std::size_t k = 0; k + 1 < b.size(); ++k) ASSERT_EQ(b[k], 0) << k;
  EXPECT_EQ(b.back(), -7);
}

}  // namespace
}  // namespace zmr
