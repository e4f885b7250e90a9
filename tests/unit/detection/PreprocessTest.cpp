#include "detection/Preprocess.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
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

TEST(ArrayFilterIntTest, ClipsTheWindowAndTruncatesTowardZero) {
  // Pixel (i, j) = i + 10 j on 8 x 8: the corner window with FilterSize 5 holds the 6 x 6
  // pixels i, j < 6, summing to 990 over 36 pixels: 27.5, truncated to 27.
  std::vector<int> source(64);
  for (int j = 0; j < 8; ++j) {
    for (int i = 0; i < 8; ++i) source[j * 8 + i] = i + 10 * j;
  }
  std::vector<int> target(64, -1);
  ASSERT_EQ(ArrayFilterInt(8, 8, source.data(), target.data(), 5), 0);
  EXPECT_EQ(target[0], 27);
  // The opposite corner: i, j >= 2, (4.5 + 45) = 49.5 -> 49.
  EXPECT_EQ(target[63], 49);

  // A mean of -0.5 truncates to 0, not -1.
  const int negative[] = {-1, 0};
  int out[2] = {7, 7};
  ASSERT_EQ(ArrayFilterInt(2, 1, negative, out, 1), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
}

TEST(ArrayFilterIntTest, UniformImagesStayUnchangedEvenWhenSumsExceed32Bits) {
  for (int value : {0, 200, -17, INT_MAX, INT_MIN}) {
    for (long filterSize : {0L, 1L, 5L, 100L}) {
      std::vector<int> source(23 * 19, value);
      std::vector<int> target(source.size(), 1);
      ASSERT_EQ(ArrayFilterInt(23, 19, source.data(), target.data(), filterSize), 0);
      EXPECT_EQ(target, source) << "value " << value << ", filter size " << filterSize;
    }
  }
  const int single = 42;
  int out = 0;
  ASSERT_EQ(ArrayFilterInt(1, 1, &single, &out, 1000000), 0);
  EXPECT_EQ(out, 42);
}

TEST(ArrayFilterIntTest, RefusesNegativeFilterSizeLeavingTheTarget) {
  const std::vector<int> source = {1, 2, 3, 4};
  std::vector<int> target = {9, 9, 9, 9};
  EXPECT_EQ(ArrayFilterInt(2, 2, source.data(), target.data(), -1), -1);
  EXPECT_EQ(target, std::vector<int>({9, 9, 9, 9}));
  EXPECT_EQ(ArrayFilterInt(0, 5, source.data(), target.data(), 2), 0);
  EXPECT_EQ(target, std::vector<int>({9, 9, 9, 9}));
}

class ThresholdViewTest : public test::StateTest {
 protected:
  void SetUp() override {
    ProgramState& s = State();
    s.cxDib = 4;
    s.cyDib = 2;
    ASSERT_EQ(AllocateImageArrays(4, 2), 1);
    s.Msource = {0, 1, 127, 128, 129, 200, 254, 255};
  }
};

TEST_F(ThresholdViewTest, WhiteOnlyAboveTheThreshold) {
  struct Case {
    int threshold;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {128, {0, 0, 0, 0, 255, 255, 255, 255}},
      {255, {0, 0, 0, 0, 0, 0, 0, 0}},
      {0, {0, 255, 255, 255, 255, 255, 255, 255}},
  };
  for (const Case& c : cases) {
    State().iThreshold = c.threshold;
    State().Mtarget.assign(8, 77);
    ApplyThresholdView();
    EXPECT_EQ(State().Mtarget, c.expected) << "threshold " << c.threshold;
  }
  EXPECT_EQ(State().Msource, std::vector<int>({0, 1, 127, 128, 129, 200, 254, 255}));
}

TEST_F(ThresholdViewTest, DoesNothingWithoutSourceOrWithArraysOfAnotherSize) {
  State().Msource.clear();
  State().Mtarget.assign(8, 77);
  ApplyThresholdView();
  EXPECT_EQ(State().Mtarget, std::vector<int>(8, 77));

  State().Msource.assign(8, 255);
  State().Mtarget.clear();
  ApplyThresholdView();
  EXPECT_TRUE(State().Mtarget.empty());

  State().cxDib = 5;  // arrays no longer of the working size
  State().Mtarget.assign(8, 77);
  ApplyThresholdView();
  EXPECT_EQ(State().Mtarget, std::vector<int>(8, 77));
}

class LabelPictureTest : public test::StateTest {
 protected:
  void SetUp() override {
    State().cxDib = 6;
    State().cyDib = 6;
    ASSERT_EQ(AllocateImageArrays(6, 6), 1);
  }
  int& Pixel(int ci, int cj) { return State().Mtarget[cj * 6 + ci]; }
};

TEST_F(LabelPictureTest, HatchesLabelledRegionsAndKeepsOtherValues) {
  struct Case {
    int mode;
    int ci;
    int cj;
    int value;
    int expected;
  };
  const Case cases[] = {
      {1, 2, 4, 7, 0},     {1, 3, 4, 7, 128},    {1, 2, 5, 7, 128},   {1, 3, 5, 254, 128},
      {1, 0, 0, 1, 0},     {1, 3, 4, 255, 255},  {1, 3, 4, 0, 0},     {1, 3, 4, -4, -4},
      {1, 3, 4, 256, 256}, {0, 3, 4, 7, 0},      {0, 3, 4, 255, 255}, {0, 2, 4, 254, 0},
      {2, 3, 4, 7, 7},     {-1, 2, 4, 100, 100},
  };
  for (const Case& c : cases) {
    std::fill(State().Mtarget.begin(), State().Mtarget.end(), 255);
    Pixel(c.ci, c.cj) = c.value;
    EXPECT_EQ(FilterAutodetectTargetArray(c.mode), 0);
    EXPECT_EQ(Pixel(c.ci, c.cj), c.expected)
        << "mode " << c.mode << " at " << c.ci << "," << c.cj << " value " << c.value;
    Pixel(c.ci, c.cj) = 255;
    EXPECT_EQ(State().Mtarget, std::vector<int>(36, 255));
  }
}

TEST_F(LabelPictureTest, NothingHappensWithoutTarget) {
  State().Mtarget.clear();
  EXPECT_EQ(FilterAutodetectTargetArray(1), 0);
  EXPECT_TRUE(State().Mtarget.empty());
}

}  // namespace
}  // namespace zmr
