// The ASCII image writer that Save as ASCII uses: its exact bytes, its messages and a full
// disk; and the two element operations the transformation uses. (The other array files are
// reached by no command.)
#include "state/Array.h"
#include "state/ProgramState.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace zmr {
namespace {

using Ints = std::vector<int>;

std::string Stdout(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

using ArrayFiles = test::StateTest;

TEST_F(ArrayFiles, AsciiImageWriterWritesItsBytesAndRefusesAMissingFolder) {
  const Ints ints = {1, -2, 0x01020304, 4};
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(PrintArray(ints.data(), 2, 2, "a.txt"), 0); }),
            "Writing to file a.txt ...done\n");
  EXPECT_EQ(test::ReadFile("a.txt"), "1 -2 \n16909060 4 \n");
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(PrintArray(ints.data(), 2, 2, "missing/out"), 1); }),
            "Cannot open output file missing/out\n");
  // A full disk (the cap only around the writes: the captured output is a file too).
  const Ints many(16, 12345);
  const auto full = [&](const std::function<int()>& write) {
    return Stdout([&] {
      const test::FileSizeLimit cap(16);
      EXPECT_EQ(write(), 1);
    });
  };
  EXPECT_EQ(full([&] { return PrintArray(many.data(), 4, 4, "full.txt"); }),
            "Writing to file full.txt ...error during writing \n");
  EXPECT_FALSE(test::FileExists("full.txt"));
}

TEST(ArrayElements, TruncationSaturatesAndNormalisingScalesToTheLargestElement) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> in = {2.9, -2.9, -0.7, 1e20, -1e20, nan};
  Ints out(6, 99);
  ArrayDoubleToInt(in.data(), out.data(), 3, 2);
  EXPECT_EQ(out, (Ints{2, -2, 0, INT_MAX, INT_MIN, 0}));
  // Multiply, then divide; NaN never becomes the maximum; no positive element: unchanged.
  std::vector<double> a = {-4, 2, 1, nan}, none = {0, -1};
  EXPECT_EQ(ArrayNormalise(a.data(), 2, 2, 255.0), 1);
  EXPECT_EQ(ArrayNormalise(none.data(), 2, 1, 255.0), 1);
  EXPECT_EQ(std::vector<double>(a.begin(), a.begin() + 3), (std::vector<double>{-510, 255, 127.5}));
  EXPECT_TRUE(std::isnan(a[3]));
  EXPECT_EQ(none, (std::vector<double>{0, -1}));
}

}  // namespace
}  // namespace zmr
