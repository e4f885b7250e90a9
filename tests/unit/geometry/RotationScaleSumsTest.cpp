// The adjustment's rotation and scale sums on two cores against one loop over the pixels in
// raster order, written here: equal bit for bit, on a field large enough for the second thread,
// with pixels outside the zone and within the centre limit left out.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/RotationScaleSums.h"
#include "state/ProgramState.h"

namespace zmr {
namespace {

TEST(RotationScaleSums, EqualOneLoopInRasterOrderBitForBit) {
  const long M = 301, N = 257;  // more than a block's rows, not a whole number of blocks
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> shift(-4.0, 4.0);
  std::vector<double> xs(M * N), ys(M * N);
  std::vector<int> area(M * N);
  for (long k = 0; k < M * N; ++k) xs[k] = shift(rng), ys[k] = shift(rng), area[k] = rng() % 7 != 0;
  ProgramState s;
  s.CenterLimit = 9.5;
  const double center[2] = {140.25, 131.5}, offset[2] = {0.125, -0.375};

  double rotation = 0.0, scale = 0.0;
  long count = 0;
  for (long j = 0; j < N; ++j) {
    for (long i = 0; i < M; ++i) {
      const long k = j * M + i;
      const double rx = i - center[0], ry = j - center[1], r = std::sqrt(rx * rx + ry * ry);
      if (area[k] == 0 || !(r >= s.CenterLimit)) continue;
      const double ex = rx / r, ey = ry / r, cx = xs[k] - offset[0], cy = ys[k] - offset[1];
      rotation += std::atan((ex * cy - ey * cx) / r);
      scale += (ex * cx + ey * cy) / r + 1.0;
      ++count;
    }
  }
  const RotationScaleSums sums =
      SumRotationScale(s, center, offset, M, N, xs.data(), ys.data(), area.data());
  EXPECT_EQ(sums.count, count);
  EXPECT_EQ(sums.rotation, rotation);
  EXPECT_EQ(sums.scale, scale);
}

}  // namespace
}  // namespace zmr
