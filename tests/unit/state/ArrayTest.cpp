// The array files: exact bytes of each writer, the readers' refusals (the array is kept), and
// the messages both print.
#include "state/Array.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
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
  Ints grid(36);
  for (int k = 0; k < 36; ++k) grid[k] = k * 7;
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
      {"WriteArray", [&](const char* f) { return WriteArray(ints.data(), 1, 1, f); },
       std::string("\4\1\0\0\0\1\0\0\0\1\0\0\0", 13), " in binary format...done\n"},
      {"WriteArrayD", [&](const char* f) { return WriteArrayD(doubles.data(), 1, 1, f); },
       std::string("\5\1\0\0\0\1\0\0\0\0\0\0\0\0\0\xF0\x3F", 17), " in binary format...done\n"},
      // Print mode 0: clamped to 0..255, not inverted.
      {"PPMArray", [&](const char* f) { return PPMArray(ints.data(), 2, 2, f); },
       std::string(pgm.begin(), pgm.end()) + std::string("\1\0\xFF\4", 4),
       " ...(PPM mode 0)done\n"},
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
}

TEST_F(ArrayFiles, ReadersTakeOnlyTheirOwnFilesElseKeepTheArray) {
  const Bytes bin = {4, 2, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0};
  const std::string px = "\x05\x06";
  const struct {
    std::function<int(Ints&, const Bytes&)> read;
    Bytes bytes;
    bool ok;
  } cases[] = {
      {[](Ints& a, const Bytes& b) { return ReadArrayBinBuffer(a.data(), 2, 1, b, "m"); }, bin,
       true},
      {[](Ints& a, const Bytes& b) { return ReadArrayBinBuffer(a.data(), 2, 1, b, "m"); },
       Bytes(bin.begin(), bin.end() - 1), false},
      {[](Ints& a, const Bytes& b) { return ReadArrayBinBuffer(a.data(), 1, 2, b, "m"); }, bin,
       false},
      {[](Ints& a, const Bytes& b) { return ReadArrayBuffer(a.data(), 2, 1, b, "m"); },
       ToBytes(" 5\n0x6"), true},
      {[](Ints& a, const Bytes& b) { return ReadArrayBuffer(a.data(), 2, 1, b, "m"); },
       ToBytes("5 x"), false},
      {[](Ints& a, const Bytes& b) { return ReadPPMBuffer(a.data(), 2, 1, b); },
       ToBytes("P5\n# c\n2 1\n255\t" + px), true},
      {[](Ints& a, const Bytes& b) { return ReadPPMBuffer(a.data(), 2, 1, b); },
       ToBytes("P5 1 2 255\n" + px), false},
      {[](Ints& a, const Bytes& b) { return ReadPPMBuffer(a.data(), 2, 1, b); },
       ToBytes("P5 2 1 65535\n" + px + px), false},
  };
  for (const auto& c : cases) {
    Ints array = {-1, -1};
    Stdout([&] { EXPECT_EQ(c.read(array, c.bytes), c.ok ? 0 : 1); });
    EXPECT_EQ(array, c.ok ? Ints({5, 6}) : Ints({-1, -1})) << c.bytes.size();
  }
}

}  // namespace
}  // namespace zmr
