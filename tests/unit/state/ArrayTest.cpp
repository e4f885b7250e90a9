#include "state/Array.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Ints = std::vector<int>;
using test::ReadBytes;
using test::ReadFile;

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Runs f with standard output captured and returns what it printed.
std::string Stdout(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

// Runs f while the files this process writes are capped at limit bytes.
void WithFileSizeLimit(rlim_t limit, const std::function<void()>& f) {
  const test::FileSizeLimit cap(limit);
  f();
}

const char* const kNoFolder = "missing/dir/out";
const std::string kCannotOpen = "Cannot open output file missing/dir/out\n";

using ArrayFiles = test::StateTest;

TEST_F(ArrayFiles, TextWritersWriteRowsOfBlankTerminatedNumbers) {
  const Ints ints = {1, 2, 3, 4};
  const std::vector<long> longs = {-5, 6000000000L, 7, 8};
  const std::vector<double> doubles = {1.5, -0.25, 1e-7, 3};
  Ints grid(36);
  std::vector<double> gridD(36);
  for (int k = 0; k < 36; ++k) {
    grid[k] = k * 7;
    gridD[k] = k * 1.25;
  }
  const struct {
    const char* name;
    std::function<int(const char*)> write;
    std::string expected;
  } cases[] = {
      {"PrintArray", [&](const char* f) { return PrintArray(ints.data(), 2, 2, f); },
       "1 2 \n3 4 \n"},
      {"PrintArrayL", [&](const char* f) { return PrintArrayL(longs.data(), 2, 2, f); },
       "-5 6000000000 \n7 8 \n"},
      {"PrintArrayD", [&](const char* f) { return PrintArrayD(doubles.data(), 4, 1, f); },
       "1.500000 -0.250000 0.000000 3.000000 \n"},
      {"PrintArrayDe", [&](const char* f) { return PrintArrayDe(doubles.data(), 1, 4, f); },
       "1.500000e+00 \n-2.500000e-01 \n1.000000e-07 \n3.000000e+00 \n"},
      // 6 x 6 with step 2: rows and columns 0 and 2 only (the last index 4 is not < 6 - 2).
      {"PrintArrayStep", [&](const char* f) { return PrintArrayStep(grid.data(), 6, 6, f, 2); },
       "  0  14 \n 84  98 \n"},
      {"PrintArrayDStep", [&](const char* f) { return PrintArrayDStep(gridD.data(), 6, 6, f, 2); },
       "  0.0   2.5 \n 15.0  17.5 \n"},
      {"PrintArrayStep0", [&](const char* f) { return PrintArrayStep(grid.data(), 6, 6, f, 0); },
       ""},
      {"PrintArrayDStepNegative",
       [&](const char* f) { return PrintArrayDStep(gridD.data(), 6, 6, f, -2); }, ""},
      // Rows 0 and 3 are not both below 6 - 3; with 2 columns no column is below 2 - 3.
      {"PrintArrayStepNarrow",
       [&](const char* f) { return PrintArrayStep(grid.data(), 2, 6, f, 3); }, "\n"},
      {"PrintArrayDStepLow",
       [&](const char* f) { return PrintArrayDStep(gridD.data(), 6, 3, f, 3); }, ""},
      {"PrintArrayColumns0", [&](const char* f) { return PrintArray(ints.data(), 0, 2, f); },
       "\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = std::string(c.name) + ".txt";
    EXPECT_EQ(Stdout([&] { EXPECT_EQ(c.write(file.c_str()), 0); }),
              "Writing to file " + file + " ...done\n");
    EXPECT_EQ(ReadFile(file), c.expected);
    EXPECT_EQ(Stdout([&] { EXPECT_EQ(c.write(kNoFolder), 1); }), kCannotOpen);
  }
}

TEST_F(ArrayFiles, FailedTextWriteKeepsThePreviousFile) {
  const Ints big(20000, 123456);
  test::WriteFile("big.txt", "previous\n");
  std::string printed;
  WithFileSizeLimit(4096, [&] {
    printed = Stdout([&] { EXPECT_EQ(PrintArray(big.data(), 200, 100, "big.txt"), 1); });
  });
  EXPECT_EQ(printed, "Writing to file big.txt ...error during writing \n");
  EXPECT_EQ(ReadFile("big.txt"), "previous\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(ArrayFiles, BinaryWritersReportAFileThatCouldNotBeWrittenWhole) {
  const Ints ints(5000, 7);
  const std::vector<double> doubles(5000, 0.5);
  const struct {
    const char* name;
    std::function<int()> write;
  } cases[] = {
      {"WriteArray", [&] { return WriteArray(ints.data(), 100, 50, "cut.bin"); }},
      {"WriteArrayD", [&] { return WriteArrayD(doubles.data(), 50, 100, "cut.bin"); }},
  };
  for (const auto& c : cases) {
    std::string printed;
    WithFileSizeLimit(1000, [&] { printed = Stdout([&] { EXPECT_EQ(c.write(), 1); }); });
    EXPECT_EQ(printed, "Writing to file cut.bin in binary format...error during writing \n")
        << c.name;
  }
}

TEST_F(ArrayFiles, BinaryFilesHoldTypeAndLittleEndianFields) {
  const Ints ints = {1, -2, 0x01020304};
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(WriteArray(ints.data(), 3, 1, "a.bin"), 0); }),
            "Writing to file a.bin in binary format...done\n");
  EXPECT_EQ(ReadBytes("a.bin"), (Bytes{4, 3, 0, 0, 0,    1,    0,    0,    0,  //
                                       1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF,     //
                                       4, 3, 2, 1}));
  Ints back(3, 99);
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(ReadArrayBin(back.data(), 3, 1, "a.bin"), 0); }),
            "Reading file a.bin in binary format...done\n");
  EXPECT_EQ(back, ints);
  const std::vector<double> doubles = {1.0, -2.5};
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(WriteArrayD(doubles.data(), 1, 2, "d.bin"), 0); }),
            "Writing to file d.bin in binary format...done\n");
  EXPECT_EQ(ReadBytes("d.bin"), (Bytes{5, 1, 0, 0, 0, 2, 0,    0,    0,  //
                                       0, 0, 0, 0, 0, 0, 0xF0, 0x3F,     //
                                       0, 0, 0, 0, 0, 0, 0x04, 0xC0}));
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(WriteArray(ints.data(), 3, 1, kNoFolder), 1); }), kCannotOpen);
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(WriteArrayD(doubles.data(), 1, 2, kNoFolder), 1); }),
            kCannotOpen);
  if (!test::FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(WriteArray(ints.data(), 3, 1, "/dev/full"), 1); }),
            "Writing to file /dev/full in binary format...error during writing \n");
}

TEST_F(ArrayFiles, BinaryReaderTakesOnlyItsOwnFilesElseKeepsTheArray) {
  const Bytes good = {4, 2, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0};
  auto with = [&](std::size_t at, std::uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  const std::pair<Bytes, std::string> cases[] = {
      // The messages after "Reading file mem in binary format...".
      {good, "done\n"},
      {with(0, 5), "wrong type of the file\nerror during reading \n"},  // a double file
      {with(1, 1), "error during reading \n"},                          // another width
      {with(5, 2), "error during reading \n"},                          // another height
      {Bytes(good.begin(), good.end() - 1), "error during reading \n"},
      {Bytes(good.begin(), good.begin() + 7), "error during reading \n"},
      {Bytes(good.begin(), good.begin() + 3), "error during reading \n"},
      {Bytes{4}, "error during reading \n"},
      {Bytes{}, "error during reading \n"},
  };
  for (const auto& [bytes, messages] : cases) {
    const bool ok = messages == "done\n";
    Ints array = {-1, -1};
    EXPECT_EQ(Stdout([&] {
                EXPECT_EQ(ReadArrayBinBuffer(array.data(), 2, 1, bytes, "mem"), ok ? 0 : 1);
              }),
              "Reading file mem in binary format..." + messages);
    EXPECT_EQ(array, ok ? Ints({5, 6}) : Ints({-1, -1})) << bytes.size();
  }
  Ints array = {-1, -1};
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(ReadArrayBin(array.data(), 2, 1, "absent.bin"), 1); }), "");
  double unused = 0;
  EXPECT_EQ(ReadArrayBinD(&unused, 1, 1, "absent.bin"), 1);
}

TEST_F(ArrayFiles, TextReadersParseLikeFormattedInputOrKeepTheArray) {
  const std::pair<const char*, Ints> cases[] = {{" 1\t-2\n0x10 010 99", {1, -2, 16, 8}},
                                                {"1 2 3", {}},
                                                {"1 2 x 4", {}},
                                                {"1.5 2 3 4", {}},
                                                {"", {}}};  // an empty result: refused
  for (const auto& [text, expected] : cases) {
    const bool ok = !expected.empty();
    Ints ints(4, 7);
    EXPECT_EQ(
        Stdout(
            [&] { EXPECT_EQ(ReadArrayBuffer(ints.data(), 2, 2, ToBytes(text), "m"), ok ? 0 : 1); }),
        ok ? "Reading from file m ...done\n" : "Reading from file m ...error during reading \n");
    EXPECT_EQ(ints, ok ? expected : Ints(4, 7)) << text;
  }
  test::WriteFile("d.txt", "0.1 -2.5e3\n");
  std::vector<double> doubles(2, 0);
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(ReadArrayD(doubles.data(), 2, 1, "d.txt"), 0); }),
            "Reading from file d.txt ...done\n");
  EXPECT_EQ(doubles, (std::vector<double>{0.1f, -2500.0}));  // single precision, widened
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(ReadArrayD(doubles.data(), 1, 1, "none.txt"), 1); }),
            "Cannot open input file none.txt\n");

  test::WriteFile("i.txt", "-7 0x1F\n");
  Ints ints(2, 0);
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(ReadArray(ints.data(), 1, 2, "i.txt"), 0); }),
            "Reading from file i.txt ...done\n");
  EXPECT_EQ(ints, (Ints{-7, 31}));
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(ReadArray(ints.data(), 1, 2, "none.txt"), 1); }),
            "Cannot open input file none.txt\n");
  const std::pair<const char*, std::vector<double>> doubleCases[] = {
      {"1e2 -0.5 inf", {100, -0.5, HUGE_VAL}}, {"1 2", {}}, {"1 , 2", {}}};
  for (const auto& [text, expected] : doubleCases) {
    std::vector<double> values(3, 9);
    const bool ok = !expected.empty();
    EXPECT_EQ(
        Stdout([&] {
          EXPECT_EQ(ReadArrayDBuffer(values.data(), 3, 1, ToBytes(text), "m"), ok ? 0 : 1);
        }),
        ok ? "Reading from file m ...done\n" : "Reading from file m ...error during reading \n");
    EXPECT_EQ(values, ok ? expected : std::vector<double>(3, 9)) << text;
  }
}

TEST_F(ArrayFiles, PgmWritersInvertAndClampByPrintMode) {
  const Ints values = {-5, 300, 128, 0, 255, 1};  // 3 columns x 2 rows
  const struct {
    int mode;
    bool transpose;
    std::string size;
    Bytes pixels;
  } cases[] = {
      {0, false, "3 2", {0, 255, 128, 0, 255, 1}},    {1, false, "3 2", {255, 0, 127, 255, 0, 254}},
      {-3, false, "3 2", {255, 0, 127, 255, 0, 254}}, {0, true, "2 3", {0, 0, 255, 255, 128, 1}},
      {1, true, "2 3", {255, 255, 0, 0, 127, 254}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << (c.transpose ? " transposed" : ""));
    SetPrintMode(c.mode);
    auto write = [&](const char* f) {
      return c.transpose ? PPMArrayT(values.data(), 3, 2, f) : PPMArray(values.data(), 3, 2, f);
    };
    EXPECT_EQ(Stdout([&] { EXPECT_EQ(write("g.pgm"), 0); }),
              "Writing to file g.pgm ...(PPM mode " + std::to_string(c.mode) + ")done\n");
    Bytes expected = ToBytes("P5\n#PPM version of array\n" + c.size + "\n255\n");
    expected.insert(expected.end(), c.pixels.begin(), c.pixels.end());
    EXPECT_EQ(ReadBytes("g.pgm"), expected);
    EXPECT_EQ(Stdout([&] { EXPECT_EQ(write(kNoFolder), 1); }), kCannotOpen);
  }
  EXPECT_EQ(SetPrintMode(0), 1);
}

TEST_F(ArrayFiles, PgmReaderTakesOnlyAnImageOfTheRequestedSize) {
  const Ints values = {0, 10, 200, 255, 3, 4};
  Stdout([&] { PPMArray(values.data(), 3, 2, "r.pgm"); });
  Ints back(6, -1);
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(ReadPPM(back.data(), 3, 2, "r.pgm"), 0); }), "");
  EXPECT_EQ(back, values);
  EXPECT_EQ(ReadPPM(back.data(), 3, 2, "absent.pgm"), 1);

  const std::string pixels = "\x01\x02\x03\x04\x05\x06";
  const std::pair<std::string, int> cases[] = {
      {"P5 3 2 255\n" + pixels, 0},
      {"P5\n# comment\n3 # more\n2\n255\t" + pixels, 0},
      {"P5 2 3 255\n" + pixels, 1},             // transposed size
      {"P5 3 2 255\n" + pixels.substr(1), 1},   // one pixel short
      {"P5 3 2 65535\n" + pixels + pixels, 1},  // two-byte samples
      {"P2 3 2 255\n1 2 3 4 5 6", 1},
      {"P53 2 255\n" + pixels, 1},
      {"P5 3 2 255", 1},
      {"P5 99999999999999999999 2 255\n", 1},
      {"P5\r3\v2\f255\r" + pixels, 0},  // every white-space character
      {"P5#c\r3 2 255\n" + pixels, 0},  // a comment right after the magic
      {"P5 3 2 # to the end", 1},
      {"P5 3 x 255\n" + pixels, 1},
      {"P5 3 2 :\n" + pixels, 1},
      {"P5 3 2 255x" + pixels, 1},  // no white space before the pixels
      {"P5 3 2 0\n" + pixels, 1},
      {"P5 3 3 255\n" + pixels + pixels, 1},
      {"", 1},
  };
  for (const auto& [file, result] : cases) {
    Ints array(6, -1);
    EXPECT_EQ(ReadPPMBuffer(array.data(), 3, 2, ToBytes(file)), result) << file;
    EXPECT_EQ(array, result == 0 ? Ints({1, 2, 3, 4, 5, 6}) : Ints(6, -1)) << file;
  }
}

TEST_F(ArrayFiles, NumbersIgnoreTheProcessLocale) {
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  bool comma = false;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"})
    if (!comma) comma = std::setlocale(LC_NUMERIC, name) != nullptr;
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed";
  const double value[1] = {1.5};
  double back[1] = {0};
  Stdout([&] {
    PrintArrayD(value, 1, 1, "l.txt");
    ReadArrayD(back, 1, 1, "l.txt");
  });
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(ReadFile("l.txt"), "1.500000 \n");
  EXPECT_EQ(back[0], 1.5);
}

TEST(ArrayElements, DoubleToIntTruncatesTowardZero) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> in = {2.9, -2.9, -0.7, 0.0, 1e20, -1e20, nan, 2147483647.0};
  Ints out(in.size(), 99);
  EXPECT_EQ(ArrayDoubleToInt(in.data(), out.data(), 4, 2), 0);
  EXPECT_EQ(out, (Ints{2, -2, 0, 0, INT_MAX, INT_MIN, 0, INT_MAX}));
}

TEST(ArrayElements, NormaliseScalesTheLargestElementToScale) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> cases[][2] = {
      {{0, 1, 2, 4}, {0, 63.75, 127.5, 255}},
      {{-4, 2, 1, 0}, {-510, 255, 127.5, 0}},
      {{0, -1, -2, 0}, {0, -1, -2, 0}},    // no positive element: unchanged
      {{nan, 5, 0, 0}, {nan, 255, 0, 0}},  // NaN never becomes the maximum
  };
  for (const auto& [in, out] : cases) {
    std::vector<double> a = in;
    EXPECT_EQ(ArrayNormalise(a.data(), 2, 2, 255.0), 1);
    for (std::size_t k = 0; k < a.size(); ++k)
      EXPECT_TRUE(a[k] == out[k] || (std::isnan(a[k]) && std::isnan(out[k]))) << k;
  }
}

TEST(ArrayElements, ColumnFillThresholdAndSearches) {
  const std::vector<double> records = {1, 10, 100, 1000, 2, 20, 200, 2000, 3, 30, 300, 3000};
  std::vector<double> column(3, 0);
  EXPECT_EQ(GetArrayColumn(column.data(), records.data(), 4, 3, 1), 1);
  EXPECT_EQ(column, (std::vector<double>{10, 20, 30}));

  Ints a(4, 3);
  FillArrayInt(a.data(), 0, 4, 255);
  FillArrayInt(a.data(), -2, -2, 255);  // an empty side fills nothing, even when M * N > 0
  EXPECT_EQ(a, Ints(4, 3));
  FillArrayInt(a.data(), 2, 2, 255);
  EXPECT_EQ(a, Ints(4, 255));

  // Mode 0 sets elements not greater than the threshold, any other mode those less than it.
  std::vector<double> notGreater = {1, 2, 3}, less = {1, 2, 3};
  ArrayThresholdSet(notGreater.data(), 3, 1, 2.0, -1.0, 0);
  ArrayThresholdSet(less.data(), 3, 1, 2.0, -1.0, 7);
  EXPECT_EQ(notGreater, (std::vector<double>{-1, -1, 3}));
  EXPECT_EQ(less, (std::vector<double>{-1, 2, 3}));

  Ints s = {3, 9, -1, 9, 0, 2};
  EXPECT_EQ(FindElement(s.data(), 9, 3, 2), 1);
  EXPECT_EQ(FindElement(s.data(), 5, 3, 2), -1);
  EXPECT_EQ(ArrayMaxIndex(s.data(), 3, 2), 1);
  EXPECT_EQ(ArrayMaxIndex(s.data(), 0, 2), -1);
  EXPECT_EQ(ArrayInvert(s.data(), 3, 2), 1);
  EXPECT_EQ(s, (Ints{6, 0, 10, 0, 9, 7}));
}

TEST(ArrayElements, PlotLineDrawsTheInteriorOnly) {
  const struct {
    const char* name;
    double p1[2], p2[2];
    int width;
    const char* picture;  // rows of '.' (0) and '#' (1) separated by '|'
  } cases[] = {
      {"end point not reached", {1, 2}, {3, 2}, 1, ".....|.....|.##..|.....|....."},
      {"wide line", {1, 2}, {3, 2}, 2, ".....|.##..|####.|.##..|....."},
      {"diagonal through corners", {0, 0}, {5, 5}, 1, ".....|.#...|..#..|...#.|....."},
      {"border row", {-3, 0}, {9, 0}, 2, ".....|.....|.....|.....|....."},
      {"last column", {4, -1}, {4, 9}, 1, ".....|.....|.....|.....|....."},
      {"fractions truncate", {1.6, 2.9}, {1.7, 2.9}, 1, ".....|.....|.#...|.....|....."},
      {"last row", {-1, 4}, {9, 4}, 1, ".....|.....|.....|.....|....."},
  };
  for (const auto& c : cases) {
    Ints grid(25, 0);
    EXPECT_EQ(PlotLine(grid.data(), 5, 5, c.p1, c.p2, 1, c.width), 0);
    std::string picture;
    for (std::size_t k = 0; k < grid.size(); ++k)
      picture += std::string(k > 0 && k % 5 == 0 ? "|" : "") + (grid[k] == 0 ? '.' : '#');
    EXPECT_EQ(picture, c.picture) << c.name;
  }
  // Arrays without an interior are left alone.
  const double from[2] = {0, 0}, to[2] = {4, 4};
  Ints thin(10, 0);
  EXPECT_EQ(PlotLine(thin.data(), 2, 5, from, to, 1, 2), 0);
  EXPECT_EQ(PlotLine(thin.data(), 5, 2, from, to, 1, 2), 0);
  EXPECT_EQ(thin, Ints(10, 0));
}

TEST(ArrayElements, AreaFrequencyCountCountsTheWindowInRange) {
  // 4 x 3; the window is columns 1..2 of rows 1..2 (values 5, 6, 9, 5).
  const Ints a = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 5, 11};
  std::vector<long> freq(3, 77);
  EXPECT_EQ(AreaFrequencyCount(a.data(), 4, 3, 1, 1, 3, 3, freq.data(), 5, 2), 3);
  EXPECT_EQ(freq, (std::vector<long>{2, 1, 77}));
  // A window reaching past the array counts only the elements inside it.
  EXPECT_EQ(AreaFrequencyCount(a.data(), 4, 3, -5, -5, 99, 99, freq.data(), 0, 3), 3);
  EXPECT_EQ(freq, (std::vector<long>{1, 1, 1}));
  // Values below the start are skipped; without a table nothing is counted or cleared.
  EXPECT_EQ(AreaFrequencyCount(a.data(), 4, 3, 0, 0, 4, 3, freq.data(), 9, 3), 2);
  EXPECT_EQ(freq, (std::vector<long>{1, 0, 1}));
  EXPECT_EQ(AreaFrequencyCount(a.data(), 4, 3, 0, 0, 4, 3, freq.data(), 0, 0), 0);
  EXPECT_EQ(freq, (std::vector<long>{1, 0, 1}));
}

TEST(ArrayElements, TransposePlotAndBlocks) {
  Ints square = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(ArrayTranspose(square.data(), 3, 3), 1);
  EXPECT_EQ(square, (Ints{1, 4, 7, 2, 5, 8, 3, 6, 9}));
  EXPECT_EQ(ArrayTranspose(square.data(), 3, 2), 0);
  EXPECT_EQ(square, (Ints{1, 4, 7, 2, 5, 8, 3, 6, 9}));

  Ints grid(6, 0);  // 3 x 2
  const long inside[2] = {2, 1}, right[2] = {3, 0}, below[2] = {0, 2};
  EXPECT_EQ(Plot(grid.data(), 3, 2, inside, 4), 1);
  EXPECT_EQ(AddPlot(grid.data(), 3, 2, inside, 3), 1);
  EXPECT_EQ(Plot(grid.data(), 3, 2, right, 4), 0);
  EXPECT_EQ(AddPlot(grid.data(), 3, 2, below, 4), 0);
  EXPECT_EQ(grid, (Ints{0, 0, 0, 0, 0, 7}));
  const double point[2] = {2.7, 1.2};
  EXPECT_EQ(GetColor(point, 3, 2, grid.data()), 7);
  const long outside[][2] = {{-1, 0}, {0, -1}, {0, 2}};
  for (const auto* index : outside) {
    EXPECT_EQ(Plot(grid.data(), 3, 2, index, 4), 0);
    EXPECT_EQ(AddPlot(grid.data(), 3, 2, index, 4), 0);
  }
  EXPECT_EQ(grid, (Ints{0, 0, 0, 0, 0, 7}));

  std::vector<double> squareD = {1, 2, 3, 4};
  EXPECT_EQ(ArrayTransposeD(squareD.data(), 2, 2), 1);
  EXPECT_EQ(squareD, (std::vector<double>{1, 3, 2, 4}));
  EXPECT_EQ(ArrayTransposeD(squareD.data(), 1, 4), 0);
  EXPECT_EQ(squareD, (std::vector<double>{1, 3, 2, 4}));

  int* block = &grid[0];
  EXPECT_EQ(AllocateArrayInt(&block, 3, 2), 6);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(Ints(block, block + 6), Ints(6, 0));
  EXPECT_EQ(DeAllocateArrayInt(block), 1);
  double* blockD = nullptr;
  EXPECT_EQ(AllocateArrayDouble(&blockD, 2, 2), 4);
  ASSERT_NE(blockD, nullptr);
  EXPECT_EQ(std::vector<double>(blockD, blockD + 4), std::vector<double>(4, 0.0));
  EXPECT_EQ(DeAllocateArrayDouble(blockD), 1);
  EXPECT_EQ(DeAllocateArrayInt(nullptr), 0);
  EXPECT_EQ(DeAllocateArrayDouble(nullptr), 0);
  // Sizes that are no block, or more than any address space, leave a null pointer.
  const std::pair<long, long> refused[] = {{0, 5}, {5, -1}, {LONG_MAX, 2}, {1L << 31, 1L << 31}};
  for (const auto& [m, n] : refused) {
    block = &grid[0];
    blockD = &squareD[0];
    EXPECT_EQ(AllocateArrayInt(&block, m, n), 0) << m << " x " << n;
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(AllocateArrayDouble(&blockD, m, n), 0) << m << " x " << n;
    EXPECT_EQ(blockD, nullptr);
  }
}

TEST(ArrayElements, CopyConvertFillAndSubtract) {
  const Ints source = {1, -2, 3, 2147483647, 5, 6};
  Ints copy(6, 0);
  EXPECT_EQ(ArrayCopy(copy.data(), source.data(), 3, 2), 1);
  EXPECT_EQ(copy, source);
  std::vector<double> widened(6, 0);
  EXPECT_EQ(ArrayIntToDouble(source.data(), widened.data(), 2, 3), 0);
  EXPECT_EQ(widened, (std::vector<double>{1, -2, 3, 2147483647.0, 5, 6}));
  std::vector<double> copyD(6, 0);
  EXPECT_EQ(ArrayCopyD(copyD.data(), widened.data(), 6, 1), 1);
  EXPECT_EQ(copyD, widened);
  std::vector<double> difference(6, 0);
  const std::vector<double> ones(6, 1.5);
  EXPECT_EQ(SubstractArrayD(difference.data(), widened.data(), ones.data(), 3, 2), 0);
  EXPECT_EQ(difference, (std::vector<double>{-0.5, -3.5, 1.5, 2147483645.5, 3.5, 4.5}));
  Ints filled(4, 0);
  EXPECT_EQ(FillArray(filled.data(), 2, 2, -9), 0);
  EXPECT_EQ(filled, Ints(4, -9));
  std::vector<double> filledD(4, 0);
  EXPECT_EQ(FillArrayD(filledD.data(), 4, 1, 0.25), 0);
  EXPECT_EQ(filledD, std::vector<double>(4, 0.25));
  // Empty sides copy, convert and fill nothing.
  Ints untouched(4, 3);
  ArrayCopy(untouched.data(), source.data(), 0, 4);
  FillArray(untouched.data(), 4, -1, 8);
  EXPECT_EQ(untouched, Ints(4, 3));
  EXPECT_EQ(ArrayInvert(untouched.data(), 0, 0), -1);
  EXPECT_EQ(untouched, Ints(4, 3));
}

}  // namespace
}  // namespace zmr
