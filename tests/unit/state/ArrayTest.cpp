#include "state/Array.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ReadBytes;
using test::ReadFile;
using test::StateTest;
using test::WriteFile;

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes WithByte(Bytes bytes, std::size_t at, std::uint8_t value) {
  bytes[at] = value;
  return bytes;
}

// Runs f with standard output captured and returns what it printed.
std::string Stdout(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

class ArrayFiles : public StateTest {};

TEST_F(ArrayFiles, TextWritersWriteRowsOfBlankTerminatedNumbers) {
  const std::vector<int> ints = {1, 2, 3, 4};
  const std::vector<long> longs = {-5, 6000000000L, 7, 8};
  const std::vector<double> doubles = {1.5, -0.25, 1e-7, 3};
  std::vector<int> grid(25);
  std::vector<double> gridD(25);
  for (int k = 0; k < 25; ++k) {
    grid[k] = k * 7;
    gridD[k] = k * 1.25;
  }
  struct Case {
    const char* name;
    std::function<int(const char*)> write;
    std::string expected;
  };
  const Case cases[] = {
      {"PrintArray", [&](const char* f) { return PrintArray(ints.data(), 2, 2, f); },
       "1 2 \n3 4 \n"},
      {"PrintArrayL", [&](const char* f) { return PrintArrayL(longs.data(), 2, 2, f); },
       "-5 6000000000 \n7 8 \n"},
      {"PrintArrayD", [&](const char* f) { return PrintArrayD(doubles.data(), 4, 1, f); },
       "1.500000 -0.250000 0.000000 3.000000 \n"},
      {"PrintArrayDe", [&](const char* f) { return PrintArrayDe(doubles.data(), 1, 4, f); },
       "1.500000e+00 \n-2.500000e-01 \n1.000000e-07 \n3.000000e+00 \n"},
      // 5 x 5 with step 2: rows and columns 0 and 2 only (the last index 4 is not < 5 - 2).
      {"PrintArrayStep", [&](const char* f) { return PrintArrayStep(grid.data(), 5, 5, f, 2); },
       "  0  14 \n 70  84 \n"},
      {"PrintArrayDStep", [&](const char* f) { return PrintArrayDStep(gridD.data(), 5, 5, f, 2); },
       "  0.0   2.5 \n 12.5  15.0 \n"},
      {"PrintArrayStep0", [&](const char* f) { return PrintArrayStep(grid.data(), 5, 5, f, 0); },
       ""},
      {"PrintArrayColumns0", [&](const char* f) { return PrintArray(ints.data(), 0, 2, f); },
       "\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = std::string(c.name) + ".txt";
    int result = -1;
    EXPECT_EQ(Stdout([&] { result = c.write(file.c_str()); }),
              "Writing to file " + file + " ...done\n");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(file), c.expected);
  }
}

TEST_F(ArrayFiles, WritersReportAFileThatCannotBeCreated) {
  const std::vector<int> ints = {1, 2, 3, 4};
  const std::vector<double> doubles = {1, 2, 3, 4};
  const std::vector<std::function<int(const char*)>> writers = {
      [&](const char* f) { return PrintArray(ints.data(), 2, 2, f); },
      [&](const char* f) { return PrintArrayDStep(doubles.data(), 2, 2, f, 1); },
      [&](const char* f) { return WriteArray(ints.data(), 2, 2, f); },
      [&](const char* f) { return WriteArrayD(doubles.data(), 2, 2, f); },
      [&](const char* f) { return PPMArray(ints.data(), 2, 2, f); },
      [&](const char* f) { return PPMArrayT(ints.data(), 2, 2, f); },
  };
  const char* file = "missing/dir/out";
  for (std::size_t k = 0; k < writers.size(); ++k) {
    SCOPED_TRACE(k);
    int result = -1;
    EXPECT_EQ(Stdout([&] { result = writers[k](file); }),
              "Cannot open output file missing/dir/out\n");
    EXPECT_EQ(result, 1);
  }
}

TEST_F(ArrayFiles, BinaryWritersStoreTypeAndLittleEndianFields) {
  const std::vector<int> ints = {1, -2, 0x01020304};
  int result = -1;
  EXPECT_EQ(Stdout([&] { result = WriteArray(ints.data(), 3, 1, "a.bin"); }),
            "Writing to file a.bin in binary format...done\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadBytes("a.bin"), (Bytes{4, 3, 0, 0, 0,    1,    0,    0,    0,  //
                                       1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF,     //
                                       4, 3, 2, 1}));

  const std::vector<double> doubles = {1.0, -2.5};
  EXPECT_EQ(Stdout([&] { result = WriteArrayD(doubles.data(), 1, 2, "d.bin"); }),
            "Writing to file d.bin in binary format...done\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadBytes("d.bin"), (Bytes{5, 1, 0, 0, 0, 2, 0,    0,    0,  //
                                       0, 0, 0, 0, 0, 0, 0xF0, 0x3F,     //
                                       0, 0, 0, 0, 0, 0, 0x04, 0xC0}));
}

TEST_F(ArrayFiles, BinaryWriterReportsAFailedWrite) {
  if (!test::FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::vector<int> ints = {1, 2};
  int result = -1;
  EXPECT_EQ(Stdout([&] { result = WriteArray(ints.data(), 2, 1, "/dev/full"); }),
            "Writing to file /dev/full in binary format...error during writing \n");
  EXPECT_EQ(result, 1);
}

TEST_F(ArrayFiles, BinaryRoundTripThroughFileAndBuffer) {
  const std::vector<int> ints = {INT_MIN, -1, 0, 7, 255, INT_MAX};
  int result = -1;
  Stdout([&] { result = WriteArray(ints.data(), 3, 2, "r.bin"); });
  ASSERT_EQ(result, 0);
  std::vector<int> back(6, 99);
  EXPECT_EQ(Stdout([&] { result = ReadArrayBin(back.data(), 3, 2, "r.bin"); }),
            "Reading file r.bin in binary format...done\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(back, ints);

  std::vector<int> fromBuffer(6, 99);
  EXPECT_EQ(Stdout([&] {
              result = ReadArrayBinBuffer(fromBuffer.data(), 3, 2, ReadBytes("r.bin"), "mem");
            }),
            "Reading file mem in binary format...done\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(fromBuffer, ints);
}

TEST_F(ArrayFiles, BinaryReaderRefusesForeignFilesAndKeepsTheArray) {
  const Bytes good = {4, 2, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0};
  struct Case {
    const char* name;
    Bytes bytes;
    std::string messages;  // after "Reading file mem in binary format..."
  };
  const Case cases[] = {
      {"double file", WithByte(good, 0, 5), "wrong type of the file\nerror during reading \n"},
      {"other width", WithByte(good, 1, 1), "error during reading \n"},
      {"other height", WithByte(good, 5, 2), "error during reading \n"},
      {"short elements", Bytes(good.begin(), good.end() - 1), "error during reading \n"},
      {"short header", Bytes(good.begin(), good.begin() + 7), "error during reading \n"},
      {"empty", Bytes{}, "error during reading \n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> array = {-1, -1};
    int result = -1;
    EXPECT_EQ(Stdout([&] { result = ReadArrayBinBuffer(array.data(), 2, 1, c.bytes, "mem"); }),
              "Reading file mem in binary format..." + c.messages);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(array, (std::vector<int>{-1, -1}));
  }
  std::vector<int> array = {-1, -1};
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(ReadArrayBin(array.data(), 2, 1, "absent.bin"), 1); }), "");
  double unused = 0;
  EXPECT_EQ(ReadArrayBinD(&unused, 1, 1, "absent.bin"), 1);
}

TEST_F(ArrayFiles, TextReadersParseLikeFormattedInput) {
  std::vector<int> ints(4, 0);
  int result = -1;
  EXPECT_EQ(Stdout([&] {
              result = ReadArrayBuffer(ints.data(), 2, 2, ToBytes(" 1\t-2\n0x10 010 99"), "m");
            }),
            "Reading from file m ...done\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ints, (std::vector<int>{1, -2, 16, 8}));

  WriteFile("d.txt", "0.1 -2.5e3\n");
  std::vector<double> doubles(2, 0);
  EXPECT_EQ(Stdout([&] { result = ReadArrayD(doubles.data(), 2, 1, "d.txt"); }),
            "Reading from file d.txt ...done\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(doubles[0], static_cast<double>(0.1f));  // single precision, widened
  EXPECT_EQ(doubles[1], -2500.0);
}

TEST_F(ArrayFiles, TextReadersRefuseShortOrGarbledFilesAndKeepTheArray) {
  for (const char* text : {"1 2 3", "1 2 x 4", "1.5 2 3 4", ""}) {
    SCOPED_TRACE(text);
    std::vector<int> ints(4, 7);
    int result = -1;
    EXPECT_EQ(Stdout([&] { result = ReadArrayBuffer(ints.data(), 2, 2, ToBytes(text), "m"); }),
              "Reading from file m ...error during reading \n");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ints, std::vector<int>(4, 7));
  }
  std::vector<double> doubles(1, 7);
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(ReadArrayD(doubles.data(), 1, 1, "none.txt"), 1); }),
            "Cannot open input file none.txt\n");
}

TEST_F(ArrayFiles, PgmWritersInvertAndClampByPrintMode) {
  const std::vector<int> values = {-5, 300, 128, 0, 255, 1};  // 3 columns x 2 rows
  const std::string header = "P5\n#PPM version of array\n";
  struct Case {
    int mode;
    bool transpose;
    std::string size;
    Bytes pixels;
  };
  const Case cases[] = {
      {0, false, "3 2", {0, 255, 128, 0, 255, 1}},    {1, false, "3 2", {255, 0, 127, 255, 0, 254}},
      {-3, false, "3 2", {255, 0, 127, 255, 0, 254}}, {0, true, "2 3", {0, 0, 255, 255, 128, 1}},
      {1, true, "2 3", {255, 255, 0, 0, 127, 254}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << (c.transpose ? " transposed" : ""));
    SetPrintMode(c.mode);
    int result = -1;
    const std::string out = Stdout([&] {
      result = c.transpose ? PPMArrayT(values.data(), 3, 2, "g.pgm")
                           : PPMArray(values.data(), 3, 2, "g.pgm");
    });
    EXPECT_EQ(out, "Writing to file g.pgm ...(PPM mode " + std::to_string(c.mode) + ")done\n");
    EXPECT_EQ(result, 0);
    Bytes expected = ToBytes(header + c.size + "\n255\n");
    expected.insert(expected.end(), c.pixels.begin(), c.pixels.end());
    EXPECT_EQ(ReadBytes("g.pgm"), expected);
  }
  EXPECT_EQ(SetPrintMode(0), 1);
}

TEST_F(ArrayFiles, PgmReaderTakesOnlyAnImageOfTheRequestedSize) {
  const std::vector<int> values = {0, 10, 200, 255, 3, 4};
  Stdout([&] { PPMArray(values.data(), 3, 2, "r.pgm"); });
  std::vector<int> back(6, -1);
  EXPECT_EQ(Stdout([&] { EXPECT_EQ(ReadPPM(back.data(), 3, 2, "r.pgm"), 0); }), "");
  EXPECT_EQ(back, values);

  const std::string pixels = "\x01\x02\x03\x04\x05\x06";
  struct Case {
    std::string file;
    int result;
  };
  const Case cases[] = {
      {"P5 3 2 255\n" + pixels, 0},
      {"P5\n# comment\n3 # more\n2\n255\t" + pixels, 0},
      {"P5 2 3 255\n" + pixels, 1},             // transposed size
      {"P5 3 2 255\n" + pixels.substr(1), 1},   // one pixel short
      {"P5 3 2 65535\n" + pixels + pixels, 1},  // two-byte samples
      {"P2 3 2 255\n1 2 3 4 5 6", 1},
      {"P53 2 255\n" + pixels, 1},
      {"P5 3 2 255", 1},
      {"P5 99999999999999999999 2 255\n", 1},
      {"", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::vector<int> array(6, -1);
    EXPECT_EQ(ReadPPMBuffer(array.data(), 3, 2, ToBytes(c.file)), c.result);
    const std::vector<int> read = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(array, c.result == 0 ? read : std::vector<int>(6, -1));
  }
  EXPECT_EQ(ReadPPM(back.data(), 3, 2, "absent.pgm"), 1);
}

TEST_F(ArrayFiles, NumbersIgnoreTheProcessLocale) {
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  const char* comma = nullptr;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      comma = name;
      break;
    }
  }
  if (comma == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
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
  std::vector<int> out(in.size(), 99);
  EXPECT_EQ(ArrayDoubleToInt(in.data(), out.data(), 4, 2), 0);
  EXPECT_EQ(out, (std::vector<int>{2, -2, 0, 0, INT_MAX, INT_MIN, 0, INT_MAX}));
}

TEST(ArrayElements, NormaliseScalesTheLargestElementToScale) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    std::vector<double> in;
    std::vector<double> out;
  };
  const Case cases[] = {
      {{0, 1, 2, 4}, {0, 63.75, 127.5, 255}},
      {{-4, 2, 1, 0}, {-510, 255, 127.5, 0}},
      {{0, -1, -2, 0}, {0, -1, -2, 0}},    // no positive element: unchanged
      {{nan, 5, 0, 0}, {nan, 255, 0, 0}},  // NaN never becomes the maximum
  };
  for (const Case& c : cases) {
    std::vector<double> a = c.in;
    EXPECT_EQ(ArrayNormalise(a.data(), 2, 2, 255.0), 1);
    for (std::size_t k = 0; k < a.size(); ++k) {
      if (std::isnan(c.out[k])) {
        EXPECT_TRUE(std::isnan(a[k]));
      } else {
        EXPECT_EQ(a[k], c.out[k]) << k;
      }
    }
  }
}

TEST(ArrayElements, GetArrayColumnTakesOneValueOfEachRecord) {
  const std::vector<double> records = {1, 10, 100, 1000, 2, 20, 200, 2000, 3, 30, 300, 3000};
  std::vector<double> column(3, 0);
  EXPECT_EQ(GetArrayColumn(column.data(), records.data(), 4, 3, 1), 1);
  EXPECT_EQ(column, (std::vector<double>{10, 20, 30}));
  EXPECT_EQ(GetArrayColumn(column.data(), records.data(), 4, 3, 0), 1);
  EXPECT_EQ(column, (std::vector<double>{1, 2, 3}));
}

TEST(ArrayElements, FillWithAnEmptySideChangesNothing) {
  std::vector<int> a(4, 3);
  FillArrayInt(a.data(), 0, 4, 255);
  FillArrayInt(a.data(), 4, 0, 255);
  FillArrayInt(a.data(), -2, -2, 255);
  EXPECT_EQ(a, std::vector<int>(4, 3));
  FillArrayInt(a.data(), 2, 2, 255);
  EXPECT_EQ(a, std::vector<int>(4, 255));
}

// A 5 x 5 grid as rows of '.' (0) and '#' (1) separated by '|'.
std::string Picture(const std::vector<int>& grid) {
  std::string picture;
  for (std::size_t k = 0; k < grid.size(); ++k) {
    if (k > 0 && k % 5 == 0) picture += '|';
    picture += grid[k] == 0 ? '.' : '#';
  }
  return picture;
}

TEST(ArrayElements, PlotLineDrawsTheInteriorOnly) {
  struct Case {
    const char* name;
    double p1[2];
    double p2[2];
    int width;
    const char* picture;
  };
  const Case cases[] = {
      {"end point not reached", {1, 2}, {3, 2}, 1, ".....|.....|.##..|.....|....."},
      {"wide line", {1, 2}, {3, 2}, 2, ".....|.##..|####.|.##..|....."},
      {"diagonal through corners", {0, 0}, {5, 5}, 1, ".....|.#...|..#..|...#.|....."},
      {"border row", {-3, 0}, {9, 0}, 2, ".....|.....|.....|.....|....."},
      {"last column", {4, -1}, {4, 9}, 1, ".....|.....|.....|.....|....."},
      {"fractions truncate", {1.6, 2.9}, {1.7, 2.9}, 1, ".....|.....|.#...|.....|....."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> grid(25, 0);
    EXPECT_EQ(PlotLine(grid.data(), 5, 5, c.p1, c.p2, 1, c.width), 0);
    EXPECT_EQ(Picture(grid), c.picture);
  }
}

TEST(ArrayElements, SearchesAndInversion) {
  std::vector<int> a = {3, 9, -1, 9, 0, 2};
  EXPECT_EQ(FindElement(a.data(), 9, 3, 2), 1);
  EXPECT_EQ(FindElement(a.data(), 5, 3, 2), -1);
  EXPECT_EQ(ArrayMaxIndex(a.data(), 3, 2), 1);
  EXPECT_EQ(ArrayMaxIndex(a.data(), 0, 2), -1);
  EXPECT_EQ(ArrayInvert(a.data(), 3, 2), 1);
  EXPECT_EQ(a, (std::vector<int>{6, 0, 10, 0, 9, 7}));
}

TEST(ArrayElements, ThresholdModesDifferOnlyAtTheThreshold) {
  std::vector<double> notGreater = {1, 2, 3};
  std::vector<double> less = notGreater;
  ArrayThresholdSet(notGreater.data(), 3, 1, 2.0, -1.0, 0);
  ArrayThresholdSet(less.data(), 3, 1, 2.0, -1.0, 7);
  EXPECT_EQ(notGreater, (std::vector<double>{-1, -1, 3}));
  EXPECT_EQ(less, (std::vector<double>{-1, 2, 3}));
}

TEST(ArrayElements, AreaFrequencyCountCountsTheWindowInRange) {
  // 4 x 3; the window is columns 1..2 of rows 1..2 (values 5, 6, 9, 5).
  const std::vector<int> a = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 5, 11};
  std::vector<long> freq(3, 77);
  EXPECT_EQ(AreaFrequencyCount(a.data(), 4, 3, 1, 1, 3, 3, freq.data(), 5, 2), 3);
  EXPECT_EQ(freq, (std::vector<long>{2, 1, 77}));
  // A window reaching past the array counts only the elements inside it.
  EXPECT_EQ(AreaFrequencyCount(a.data(), 4, 3, -5, -5, 99, 99, freq.data(), 0, 3), 3);
  EXPECT_EQ(freq, (std::vector<long>{1, 1, 1}));
}

TEST(ArrayElements, TransposePlotAndBlocks) {
  std::vector<int> square = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(ArrayTranspose(square.data(), 3, 3), 1);
  EXPECT_EQ(square, (std::vector<int>{1, 4, 7, 2, 5, 8, 3, 6, 9}));
  EXPECT_EQ(ArrayTranspose(square.data(), 3, 2), 0);
  EXPECT_EQ(square, (std::vector<int>{1, 4, 7, 2, 5, 8, 3, 6, 9}));

  std::vector<int> grid(6, 0);  // 3 x 2
  const long inside[2] = {2, 1};
  const long right[2] = {3, 0};
  const long below[2] = {0, 2};
  EXPECT_EQ(Plot(grid.data(), 3, 2, inside, 4), 1);
  EXPECT_EQ(AddPlot(grid.data(), 3, 2, inside, 3), 1);
  EXPECT_EQ(Plot(grid.data(), 3, 2, right, 4), 0);
  EXPECT_EQ(AddPlot(grid.data(), 3, 2, below, 4), 0);
  EXPECT_EQ(grid, (std::vector<int>{0, 0, 0, 0, 0, 7}));
  const double point[2] = {2.7, 1.2};
  EXPECT_EQ(GetColor(point, 3, 2, grid.data()), 7);

  double* block = nullptr;
  EXPECT_EQ(AllocateArrayDouble(&block, 3, 4), 12);
  ASSERT_NE(block, nullptr);
  for (int k = 0; k < 12; ++k) EXPECT_EQ(block[k], 0.0);
  EXPECT_EQ(DeAllocateArrayDouble(block), 1);
  int* none = nullptr;
  EXPECT_EQ(AllocateArrayInt(&none, 0, 4), 0);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(DeAllocateArrayInt(none), 0);
}

}  // namespace
}  // namespace zmr
