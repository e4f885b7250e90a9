// The array files: exact bytes of each writer, the readers' refusals (the array is kept), and
// the messages both print.
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

using Bytes = std::vector<std::uint8_t>;
using Ints = std::vector<int>;

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string Stdout(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

using ArrayFiles = test::StateTest;

TEST_F(ArrayFiles, WritersWriteTheirBytesAndRefuseAMissingFolder) {
  const Ints ints = {1, -2, 0x01020304, 4};
  const std::vector<double> doubles = {1.0, -2.5};
  const std::vector<long> longs = {-9000000000L, 3};
  Ints grid(36);
  for (int k = 0; k < 36; ++k) grid[k] = k * 7;
  const std::vector<double> dgrid(grid.begin(), grid.end());
  const Bytes pgm = ToBytes("P5\n#PPM version of array\n2 2\n255\n");
  const struct {
    const char* name;
    std::function<int(const char*)> write;
    std::string bytes;
    const char* done;
  } cases[] = {
      {"PrintArray", [&](const char* f) { return PrintArray(ints.data(), 2, 2, f); },
       "1 -2 \n16909060 4 \n", " ...done\n"},
      {"PrintArrayDe", [&](const char* f) { return PrintArrayDe(doubles.data(), 2, 1, f); },
       "1.000000e+00 -2.500000e+00 \n", " ...done\n"},
      // Step 2 over 6 x 6: rows and columns 0 and 2 (4 is not below 6 - 2).
      {"PrintArrayStep", [&](const char* f) { return PrintArrayStep(grid.data(), 6, 6, f, 2); },
       "  0  14 \n 84  98 \n", " ...done\n"},
      {"PrintArrayL", [&](const char* f) { return PrintArrayL(longs.data(), 1, 2, f); },
       "-9000000000 \n3 \n", " ...done\n"},
      {"PrintArrayD", [&](const char* f) { return PrintArrayD(doubles.data(), 1, 2, f); },
       "1.000000 \n-2.500000 \n", " ...done\n"},
      {"PrintArrayDStep", [&](const char* f) { return PrintArrayDStep(dgrid.data(), 3, 3, f, 1); },
       "  0.0   7.0 \n 21.0  28.0 \n", " ...done\n"},
      {"PrintArrayStep 0", [&](const char* f) { return PrintArrayStep(grid.data(), 6, 6, f, 0); },
       "", " ...done\n"},
      {"WriteArray", [&](const char* f) { return WriteArray(ints.data(), 1, 1, f); },
       std::string("\4\1\0\0\0\1\0\0\0\1\0\0\0", 13), " in binary format...done\n"},
      {"WriteArrayD", [&](const char* f) { return WriteArrayD(doubles.data(), 1, 1, f); },
       std::string("\5\1\0\0\0\1\0\0\0\0\0\0\0\0\0\xF0\x3F", 17), " in binary format...done\n"},
      // Print mode 0: clamped to 0..255, not inverted.
      {"PPMArray", [&](const char* f) { return PPMArray(State(), ints.data(), 2, 2, f); },
       std::string(pgm.begin(), pgm.end()) + std::string("\1\0\xFF\4", 4),
       " ...(PPM mode 0)done\n"},
      // Print mode 1 inverts, and the transposed writer swaps the sides.
      {"PPMArrayT",
       [&](const char* f) {
         SetPrintMode(State(), 1);
         const int r = PPMArrayT(State(), ints.data(), 2, 2, f);
         SetPrintMode(State(), 0);
         return r;
       },
       std::string(pgm.begin(), pgm.end()) + std::string("\xFE\0\xFF\xFB", 4),
       " ...(PPM mode 1)done\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = std::string(c.name) + ".out";
    EXPECT_EQ(Stdout([&] { EXPECT_EQ(c.write(file.c_str()), 0); }),
              "Writing to file " + file + c.done);
    EXPECT_EQ(test::ReadFile(file), c.bytes);
    EXPECT_EQ(Stdout([&] { EXPECT_EQ(c.write("missing/out"), 1); }),
              "Cannot open output file missing/out\n");
  }
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
  EXPECT_EQ(full([&] { return WriteArray(many.data(), 4, 4, "full.bin"); }),
            "Writing to file full.bin in binary format...error during writing \n");
  EXPECT_FALSE(test::FileExists("full.txt"));
}

// Each row reads a 2 x 1 array, from the bytes in memory or, for the file readers, from a file.
TEST_F(ArrayFiles, ReadersTakeOnlyTheirOwnFilesElseKeepTheArray) {
  using Reader = std::function<int(Ints&, const Bytes&)>;
  using FileReader = int (*)(int*, long, long, const char*);
  const std::string bin("\4\2\0\0\0\1\0\0\0\5\0\0\0\6\0\0\0", 17), px = "\x05\x06";
  std::string doubles = bin, twoByTwo = bin;
  doubles[0] = '\5';   // a double array
  twoByTwo[5] = '\2';  // 2 x 2
  const Reader binary = [](Ints& a, const Bytes& b) {
    return ReadArrayBinBuffer(a.data(), 2, 1, b, "m");
  };
  const Reader text = [](Ints& a, const Bytes& b) {
    return ReadArrayBuffer(a.data(), 2, 1, b, "m");
  };
  const Reader pgm = [](Ints& a, const Bytes& b) { return ReadPPMBuffer(a.data(), 2, 1, b); };
  const auto file = [](FileReader read, const char* name = "in") -> Reader {
    return [=](Ints& a, const Bytes& b) {
      return test::WriteBytes("in", b), read(a.data(), 2, 1, name);
    };
  };
  // Floats through doubles: 5e0 and 6.75 truncate to the 5 and 6 the other rows give.
  const Reader floats = [](Ints& a, const Bytes& b) {
    std::vector<double> d(2, -1.0);
    const int r = ReadArrayDBuffer(d.data(), 2, 1, b, "m");
    ArrayDoubleToInt(d.data(), a.data(), 2, 1);
    return r;
  };
  const struct {
    Reader read;
    std::string bytes;
    bool ok;
  } cases[] = {
      {binary, bin, true},
      {binary, bin.substr(0, 16), false},  // one byte short
      {binary, bin.substr(0, 7), false},   // inside the header
      {binary, "", false},
      {binary, doubles, false},
      {binary, twoByTwo, false},
      {[](Ints& a, const Bytes& b) { return ReadArrayBinBuffer(a.data(), 1, 2, b, "m"); }, bin,
       false},
      {text, " 5\n0x6", true},
      {text, "5 x", false},
      {floats, "5e0 6.75", true},
      {floats, "5 x", false},
      {pgm, "P5\n# c\r2 1\v255\f" + px, true},
      {pgm, "P5#\n2\t1\n255\r" + px, true},
      {pgm, "P5 1 2 255\n" + px, false},  // sides swapped
      {pgm, "P5 2 1 65535\n" + px + px, false},
      {pgm, "P5 2 1 0\n" + px, false},
      {pgm, "P5 2 1 255\n\x05", false},  // one pixel short
      {pgm, "P5 2 1 255", false},        // no white space after the header
      {pgm, "P5 2 1 255x" + px, false},
      {pgm, "P5 2 x 255\n" + px, false},
      {pgm, "P5 2 1000000000 255\n" + px, false},
      {pgm, "P52 1 255\n" + px, false},
      {pgm, "P6 2 1 255\n" + px, false},
      {pgm, "Q5 2 1 255\n" + px, false},
      {file(ReadArray), "5 6", true},
      {file(ReadArrayBin), bin, true},
      {file(ReadPPM), "P5 2 1 255\n" + px, true},
      {file(ReadArray, "none"), "5 6", false},
      {file(ReadArrayBin, "none"), bin, false},
      {file(ReadPPM, "none"), "P5 2 1 255\n" + px, false},
  };
  for (const auto& c : cases) {
    Ints array = {-1, -1};
    Stdout([&] { EXPECT_EQ(c.read(array, ToBytes(c.bytes)), c.ok ? 0 : 1); });
    EXPECT_EQ(array, c.ok ? Ints({5, 6}) : Ints({-1, -1})) << c.bytes;
  }
  std::vector<double> d(2, 0.5);
  test::WriteFile("d.txt", "1.5 -2");
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(ReadArrayD(d.data(), 2, 1, "d.txt"), 0); }),
            "Reading from file d.txt ...done\n");
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(ReadArrayD(d.data(), 2, 1, "none"), 1); }),
            "Cannot open input file none\n");
  EXPECT_EQ(ReadArrayBinD(d.data(), 2, 1, "d.txt"), 1);  // binary double arrays are never read
  EXPECT_EQ(d, (std::vector<double>{1.5, -2}));
}

// The two element operations that form the transformed image from its signal.
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
