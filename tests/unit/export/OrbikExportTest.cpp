// The code a .zmr table stores for a shift; the goldens check the tables the exports write.
#include "export/OrbikExport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>

namespace zmr {
namespace {

TEST(ZmrShiftCodeTest, TruncatesTowardZeroAndKeepsTheLow16Bits) {
  const std::pair<double, std::uint16_t> cases[] = {
      {1.5, 0x0180},          {-0.25, 0xFFC0}, {-0.003, 0x0000},  // -0.768 units: truncated
      {127.99609375, 0x7FFF}, {128.0, 0x8000}, {-129.0, 0x7F00},  // wraps, no clamping
      {300000.5, 0xE080},     {NAN, 0x0000},   {1e300, 0xFFFF},  {-1e300, 0x0000},
  };
  for (const auto& [shift, code] : cases) EXPECT_EQ(ZmrShiftCode(shift), code) << shift;
}

}  // namespace
}  // namespace zmr
