// The transformations' floor without the library call, alone and with its int: bit for bit
// std::floor (and the floor clamped to the int range) on every kind of finite value (signed
// zeros, fractions either side of zero, the edges of exact integer conversion and of the int
// range, denormals, the largest doubles).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "geometry/ZoneSweep.h"

TEST(FloorOfFinite, EqualsTheLibraryFloorBitForBit) {
  const double big = 4503599627370496.0;  // 2^52
  const double tiny = std::numeric_limits<double>::denorm_min();
  const double most = std::numeric_limits<double>::max();
  // clang-format off
  const double values[] = {0.0, -0.0, 0.5, -0.5, 1.0, -1.0, -1.5, 2.75, -2.75, tiny, -tiny,
                           1e-300, -1e-300, big - 0.5, -big + 0.5, big, -big, big + 1.0, 2 * big,
                           -2 * big - 2.0, 1e300, -1e300, most, -most, std::nextafter(-3.0, 0.0),
                           std::nextafter(3.0, 4.0), 2147483646.5, -2147483646.5, 2147483647.0,
                           -2147483647.5, -2147483648.0, 2147483648.0, 3e9, -3e9};
  // clang-format on
  for (double x : values) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(zmr::FloorOfFinite(x)),
              std::bit_cast<std::uint64_t>(std::floor(x)))
        << x;
    // With the int: the same floor, and the floor clamped to the int range.
    double floor = 0.0;
    int whole = 0;
    zmr::FloorAndInt(x, &floor, &whole);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(floor), std::bit_cast<std::uint64_t>(std::floor(x)))
        << x;
    EXPECT_EQ(whole, static_cast<int>(std::clamp(std::floor(x), -2147483648.0, 2147483647.0))) << x;
  }
}
