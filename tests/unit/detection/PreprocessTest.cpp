#include "detection/Preprocess.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

// The box filter as a direct (2F+1)^2 summation with 32-bit sums; callers keep the sums in
// range.
void ArrayFilterIntLiteral(long M, long N, const int* iSource, int* iTarget, long FilterSize) {
  for (long j = 0; j < N; ++j) {
    for (long i = 0; i < M; ++i) {
      int Sum = 0;
      int count = 0;
      for (long k = -FilterSize; k <= FilterSize; ++k) {
        for (long l = -FilterSize; l <= FilterSize; ++l) {
          if (i + k >= 0 && i + k < M && j + l >= 0 && j + l < N) {
            Sum += iSource[(j + l) * M + (i + k)];
            count += 1;
          }
        }
      }
      iTarget[j * M + i] = Sum / count;
    }
  }
}

TEST(ArrayFilterIntTest, EqualsDirectSummationOnGeneratedImages) {
  std::mt19937 rng(20240611);
  auto below = [&](long n) { return static_cast<long>(rng() % static_cast<std::uint32_t>(n)); };
  for (int run = 0; run < 400; ++run) {
    // Thin and single-pixel images often, windows from 0 to well past the image.
    const long M = run % 7 == 0 ? 1 : 1 + below(40);
    const long N = run % 5 == 0 ? 1 : 1 + below(40);
    const long filterSize = run % 9 == 0 ? 0 : below(45);
    // Values up to +-10^6 over at most 1600 pixels keep the 32-bit sums of the direct loop exact.
    const int range = run % 2 == 0 ? 256 : 2000001;
    const int offset = run % 2 == 0 ? 0 : -1000000;
    std::vector<int> source(static_cast<std::size_t>(M * N));
    for (int& v : source) v = offset + static_cast<int>(below(range));
    std::vector<int> expected(source.size(), -1);
    std::vector<int> actual(source.size(), -2);
    ArrayFilterIntLiteral(M, N, source.data(), expected.data(), filterSize);
    ASSERT_EQ(ArrayFilterInt(M, N, source.data(), actual.data(), filterSize), 0);
    ASSERT_EQ(actual, expected) << M << " x " << N << ", filter size " << filterSize;

    // Filtering in place gives the same picture.
    std::vector<int> inPlace = source;
    ASSERT_EQ(ArrayFilterInt(M, N, inPlace.data(), inPlace.data(), filterSize), 0);
    ASSERT_EQ(inPlace, expected);
  }
}

TEST(ArrayFilterIntTest, KnownMeansAndUniformImagesEvenWhenSumsExceed32Bits) {
  // Pixel (i, j) = i + 10 j on 8 x 8 with FilterSize 5: the corner window holds the 6 x 6 pixels
  // i, j < 6, mean 27.5 -> 27; the opposite corner i, j >= 2, mean 49.5 -> 49.
  std::vector<int> source(64), target(64, -1);
  for (int k = 0; k < 64; ++k) source[k] = k % 8 + 10 * (k / 8);
  ASSERT_EQ(ArrayFilterInt(8, 8, source.data(), target.data(), 5), 0);
  EXPECT_EQ(target[0], 27);
  EXPECT_EQ(target[63], 49);
  for (int value : {0, 200, -17, INT_MAX, INT_MIN}) {
    for (long filterSize : {0L, 1L, 5L, 100L}) {
      std::vector<int> uniform(23 * 19, value), out(uniform.size(), 1);
      ASSERT_EQ(ArrayFilterInt(23, 19, uniform.data(), out.data(), filterSize), 0);
      EXPECT_EQ(out, uniform) << "value " << value << ", filter size " << filterSize;
    }
  }
  const int single = 42;
  int out = 0;
  ASSERT_EQ(ArrayFilterInt(1, 1, &single, &out, 1000000), 0);
  EXPECT_EQ(out, 42);
  // A negative filter size is refused, an empty image has nothing to filter.
  EXPECT_EQ(ArrayFilterInt(8, 8, source.data(), target.data(), -1), -1);
  EXPECT_EQ(ArrayFilterInt(0, 8, source.data(), target.data(), 2), 0);
  EXPECT_EQ(target[0], 27);
}

// A working image of cx x cy pixels with its arrays allocated.
class WorkingImageTest : public test::StateTest {
 protected:
  void Allocate(int cx, int cy) {
    State().cxDib = cx;
    State().cyDib = cy;
    ASSERT_EQ(AllocateImageArrays(cx, cy), 1);
  }
};

TEST_F(WorkingImageTest, ThresholdViewIsWhiteOnlyAboveTheThreshold) {
  Allocate(4, 2);
  const std::vector<int> source = {0, 1, 127, 128, 129, 200, 254, 255};
  State().Msource = source;
  const std::pair<int, std::vector<int>> cases[] = {
      {128, {0, 0, 0, 0, 255, 255, 255, 255}},
      {255, {0, 0, 0, 0, 0, 0, 0, 0}},
      {0, {0, 255, 255, 255, 255, 255, 255, 255}},
  };
  for (const auto& [threshold, expected] : cases) {
    State().iThreshold = threshold;
    State().Mtarget.assign(8, 77);
    ApplyThresholdView();
    EXPECT_EQ(State().Mtarget, expected) << "threshold " << threshold;
  }
  EXPECT_EQ(State().Msource, source);

  // Nothing happens without a source, or with arrays not of the working size.
  State().Mtarget.assign(8, 77);
  State().cxDib = 5;
  ApplyThresholdView();
  State().cxDib = 4;
  State().Msource.clear();
  ApplyThresholdView();
  EXPECT_EQ(State().Mtarget, std::vector<int>(8, 77));
  State().Msource = source;
  State().Mtarget.assign(9, 77);
  ApplyThresholdView();
  EXPECT_EQ(State().Mtarget, std::vector<int>(9, 77));
}

TEST_F(WorkingImageTest, LabelPictureHatchesLabelledRegionsAndKeepsOtherValues) {
  Allocate(6, 6);
  const std::array<int, 5> cases[] = {
      {1, 2, 4, 7, 0},     {1, 3, 4, 7, 128},    {1, 2, 5, 7, 128},   {1, 3, 5, 254, 128},
      {1, 0, 0, 1, 0},     {1, 3, 4, 255, 255},  {1, 3, 4, 0, 0},     {1, 3, 4, -4, -4},
      {1, 3, 4, 256, 256}, {0, 3, 4, 7, 0},      {0, 3, 4, 255, 255}, {0, 2, 4, 254, 0},
      {2, 3, 4, 7, 7},     {-1, 2, 4, 100, 100},
  };  // mode, column, row, value, value afterwards
  for (const auto& [mode, ci, cj, value, expected] : cases) {
    std::vector<int>& target = State().Mtarget;
    std::fill(target.begin(), target.end(), 255);
    target[cj * 6 + ci] = value;
    EXPECT_EQ(FilterAutodetectTargetArray(mode), 0);
    EXPECT_EQ(target[cj * 6 + ci], expected)
        << "mode " << mode << " at " << ci << "," << cj << " value " << value;
    target[cj * 6 + ci] = 255;
    EXPECT_EQ(target, std::vector<int>(36, 255));
  }
  State().Mtarget.assign(35, 7);  // not of the working size
  EXPECT_EQ(FilterAutodetectTargetArray(1), 0);
  EXPECT_EQ(State().Mtarget, std::vector<int>(35, 7));
}

}  // namespace
}  // namespace zmr
