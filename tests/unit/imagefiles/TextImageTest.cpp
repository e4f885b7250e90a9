#include "imagefiles/TextImage.h"

#include <gtest/gtest.h>
#include <stdio.h>  // fmemopen

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::WriteFile;

// Every value ConvertTextValue yields from bytes, and the result that ended the sequence.
struct Converted {
  std::vector<int> values;
  int last = 0;
};

Converted ConvertAll(const std::string& bytes, const char* mode) {
  Converted out;
  std::FILE* f = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
  int value = 0;
  while ((out.last = ConvertTextValue(f, mode, value)) == 1) out.values.push_back(value);
  std::fclose(f);
  return out;
}

struct ConvertCase {
  const char* name;
  std::string bytes;
  const char* mode;
  std::vector<int> values;
  int last;
};

class ConvertTextValueTest : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertTextValueTest, FollowsTheConversionOfTheMode) {
  const ConvertCase& c = GetParam();
  const Converted got = ConvertAll(c.bytes, c.mode);
  EXPECT_EQ(got.values, c.values);
  EXPECT_EQ(got.last, c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, ConvertTextValueTest,
    ::testing::Values(
        ConvertCase{"HexPrefixAndCase", "0x1F 1f 0X1f +1F -1", "%x", {31, 31, 31, 31, -1}, EOF},
        ConvertCase{"HexAbove31BitsWraps",
                    "7FFFFFFF 80000000 FFFFFFFF 100000000 1FFFFFFFF",
                    "%x",
                    {INT_MAX, INT_MIN, -1, 0, -1},
                    EOF},
        ConvertCase{"HexBeyond64BitsSaturates", "FFFFFFFFFFFFFFFFFFFFFFFF 5", "%x", {-1, 5}, EOF},
        ConvertCase{"IntegerOctalAndHex", "010 0x10 10 -010 08", "%i", {8, 16, 10, -8, 0, 8}, EOF},
        ConvertCase{"IntegerWraps", "2147483648 4294967297", "%i", {INT_MIN, 1}, EOF},
        ConvertCase{"DecimalIgnoresLeadingZero", "010 -7", "%d", {10, -7}, EOF},
        ConvertCase{"DecimalPointEndsNumber", "12.5", "%x", {0x12}, 0},
        ConvertCase{"LetterOutsideHexDigits", "a g", "%x", {10}, 0},
        ConvertCase{"CrLfAndTabsAreSpace", "1\r\n2\t3\r\n", "%x", {1, 2, 3}, EOF},
        ConvertCase{"UnknownModeConvertsNothing", "1 2", "%f", {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Tokens whose value leaves the long range, sit at its edges, or whose prefix ends a buffer.
const char* const kEdgeTokens[] = {"9223372036854775807",
                                   "9223372036854775808",
                                   "9223372036854775809",
                                   "-9223372036854775808",
                                   "-9223372036854775809",
                                   "18446744073709551615",
                                   "18446744073709551616",
                                   "99999999999999999999999",
                                   "0x8000000000000001",
                                   "-0x8000000000000001",
                                   "0X7fffffffffffffff1",
                                   "01777777777777777777777",
                                   "02000000000000000000001",
                                   "0x",
                                   "0X",
                                   "-0",
                                   "+0x1",
                                   "0x5",
                                   "-",
                                   "+",
                                   "x1",
                                   "FFFFFFFFFFFFFFFF",
                                   "-FFFFFFFFFFFFFFFF",
                                   "10000000000000001",
                                   "0"};

// What the conversion stores in an int: strtol (strtoul for "%x") on the token, wrapped to
// 32 bits (nullopt when the token holds no number of the mode), and whether it took the whole
// token.
struct Expected {
  std::optional<int> value;
  bool whole = false;
};

Expected Reference(const std::string& token, const char* mode) {
  const char* begin = token.c_str();
  char* end = nullptr;
  long long value = 0;
  if (mode[1] == 'x') {
    value = static_cast<long long>(std::strtoul(begin, &end, 16));
  } else {
    value = std::strtol(begin, &end, mode[1] == 'i' ? 0 : 10);
  }
  if (end == begin) return {};
  return {static_cast<int>(static_cast<std::uint32_t>(value)), *end == '\0'};
}

TEST(TextValueReaderTest, EdgeTokensConvertAsTheLibraryDoesWhereverBuffersEnd) {
  for (const char* mode : {"%x", "%i", "%d"}) {
    for (const char* token : kEdgeTokens) {
      const auto [want, whole] = Reference(token, mode);
      std::string bytes = std::string(token) + " 7";
      // The whole token in memory; then read in chunks so the token runs into every chunk end.
      for (std::size_t chunk = 0; chunk <= 6; ++chunk) {
        SCOPED_TRACE(testing::Message() << mode << " \"" << token << "\" chunk " << chunk);
        std::FILE* f = fmemopen(bytes.data(), bytes.size(), "r");
        ASSERT_NE(f, nullptr);
        auto reader = chunk == 0
                          ? std::make_unique<TextValueReader>(bytes.data(), bytes.size(), mode)
                          : std::make_unique<TextValueReader>(f, mode, chunk);
        int value = 12345;
        const int first = reader->Next(value);
        EXPECT_EQ(first, want ? 1 : 0);
        EXPECT_EQ(value, want.value_or(12345));
        if (whole) {
          EXPECT_EQ(reader->Next(value), 1);
          EXPECT_EQ(value, 7);
          EXPECT_EQ(reader->Next(value), EOF);
        }
        reader.reset();
        std::fclose(f);
      }
    }
  }
  int value = 5;
  TextValueReader none("1 2", 3, nullptr);
  EXPECT_EQ(none.Next(value), 0);
  EXPECT_EQ(value, 5);
  const std::string one = "1";
  std::FILE* f = fmemopen(const_cast<char*>(one.data()), one.size(), "r");
  EXPECT_EQ(ConvertTextValue(f, nullptr, value), 0);
  EXPECT_EQ(ConvertTextValue(f, "%i", value), 1);
  EXPECT_EQ(value, 1);
  std::fclose(f);
}

struct CountCase {
  const char* name;
  std::string bytes;
  const char* mode;
  int count;
  bool badToken;
};

class CountTextValuesTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountTextValuesTest, CountsUpToTheEndOrTheFirstBadToken) {
  const CountCase& c = GetParam();
  const TextCount got = CountTextValuesInBuffer(c.bytes, c.mode);
  EXPECT_TRUE(got.opened);
  EXPECT_EQ(got.count, c.count);
  EXPECT_EQ(got.badToken, c.badToken);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CountTextValuesTest,
    ::testing::Values(CountCase{"Empty", "", "%x", 0, false},
                      CountCase{"OnlySpace", " \r\n\t\n", "%x", 0, false},
                      CountCase{"LineStructureIgnored", "1 2\n3\r\n\n4 5 6", "%x", 6, false},
                      CountCase{"DecimalFileCountsAsHex", "10 -20 +30\n", "%x", 3, false},
                      CountCase{"HeaderLine", "Image 3x1\n1 2 3\n", "%x", 0, true},
                      CountCase{"DecimalPoint", "1 2 3.5 4", "%x", 3, true},
                      CountCase{"ByteOrderMark",
                                "\xEF\xBB\xBF"
                                "1 2 3",
                                "%x", 0, true},
                      CountCase{"NulByte", std::string("1 2\0 3", 6), "%x", 2, true},
                      CountCase{"LoneSign", "1 - 2", "%x", 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CountTextValuesTest, SingleEndlessLineIsCountedWhole) {
  std::string line;
  for (int i = 0; i < 200000; ++i) line += "ff ";
  EXPECT_EQ(CountTextValuesInBuffer(line, "%x").count, 200000);
}

TEST(CountOstrelArrayTest, FileWrappersReportOpeningAndCount) {
  test::TempDir dir;
  WriteFile("image.txt", "1 2 3\r\n4 x 5\r\n");
  const TextCount counted = CountOstrelArrayChecked("image.txt", "%x");
  EXPECT_TRUE(counted.opened);
  EXPECT_EQ(counted.count, 4);
  EXPECT_TRUE(counted.badToken);
  EXPECT_EQ(CountOstrelArray("image.txt", "%x"), 4);

  const TextCount missing = CountOstrelArrayChecked("missing.txt", "%x");
  EXPECT_FALSE(missing.opened);
  EXPECT_EQ(missing.count, 0);
  EXPECT_EQ(CountOstrelArray("missing.txt", "%x"), 0);
}

struct PlacementCase {
  const char* name;
  int cx, cy, M, N, sx, sy;
  std::vector<int> expected;
};

class ReadTextValuesPlacementTest : public ::testing::TestWithParam<PlacementCase> {};

// The file image is 1..6 as two rows of three; 255 keeps the scale an identity.
TEST_P(ReadTextValuesPlacementTest, PlacesRowsAtTheOffsetAndDropsTheRest) {
  const PlacementCase& c = GetParam();
  std::vector<int> image(static_cast<std::size_t>(c.cx * c.cy), -9);
  EXPECT_EQ(ReadTextValuesInBuffer("1 2 3\n4 5 ff\n", c.cx, c.cy, c.M, c.N, c.sx, c.sy,
                                   image.data(), "%x"),
            1);
  EXPECT_EQ(image, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, ReadTextValuesPlacementTest,
    ::testing::Values(
        PlacementCase{"Inside", 4, 3, 3, 2, 1, 1, {0, 0, 0, 0, 0, 1, 2, 3, 0, 4, 5, 255}},
        PlacementCase{"LeftAndAboveDropped", 3, 2, 3, 2, -1, -1, {5, 255, 0, 0, 0, 0}},
        PlacementCase{"RightAndBelowDropped", 2, 2, 3, 2, 1, 1, {0, 0, 0, 255}},
        PlacementCase{"ShortFileLeavesZeros", 3, 3, 3, 3, 0, 0, {1, 2, 3, 4, 5, 255, 0, 0, 0}},
        PlacementCase{"FormatFarOutside", 2, 2, INT_MAX, INT_MAX, INT_MAX, INT_MAX, {0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ScaleCase {
  const char* name;
  std::string bytes;
  std::vector<int> expected;  // a one-row image one wider than the file: the last pixel is border
};

class ReadTextValuesScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ReadTextValuesScaleTest, ScalesByTheBrightestValue) {
  const ScaleCase& c = GetParam();
  const int m = static_cast<int>(c.expected.size()) - 1;
  std::vector<int> image(c.expected.size(), -9);
  ReadTextValuesInBuffer(c.bytes, m + 1, 1, m, 1, 0, 0, image.data(), "%i");
  EXPECT_EQ(image, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadTextValuesScaleTest,
    ::testing::Values(ScaleCase{"BrightestAndHalf", "200 100 50 0", {255, 127, 63, 0, 0}},
                      ScaleCase{"NegativeTruncatesTowardZero", "-100 200", {-127, 255, 0}},
                      ScaleCase{"AllZeroOrNegativeUnscaled", "0 -5 -3", {0, -5, -3, 0}},
                      ScaleCase{"ExtremeNegativeSaturates", "-2147483648 1", {INT_MIN, 255, 0}},
                      ScaleCase{"OctalAndHexTokens", "010 0x10", {127, 255, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadTextValuesTest, ValuesOutsideTheImageDoNotSetTheScale) {
  std::vector<int> image(2, -9);
  ReadTextValuesInBuffer("1000 10 20", 2, 1, 3, 1, -1, 0, image.data(), "%i");
  EXPECT_EQ(image, (std::vector<int>{127, 255}));
}

TEST(ReadTextValuesTest, BadTokenStopsReading) {
  std::vector<int> image(4, -9);
  ReadTextValuesInBuffer("ff 1 z 2", 4, 1, 4, 1, 0, 0, image.data(), "%x");
  EXPECT_EQ(image, (std::vector<int>{255, 1, 0, 0}));
}

TEST(ReadOstrelArrayTest, LargerFileIsCroppedAtNegativeOffsetsWithoutWrapping) {
  test::TempDir dir;
  constexpr int kFile = 1000;
  constexpr int kImage = 769;
  constexpr int kOffset = -115;
  const auto fileValue = [](int row, int col) { return (row + 2 * col) % 256; };
  std::string text;
  text.reserve(kFile * kFile * 3);
  char token[8];
  for (int row = 0; row < kFile; ++row) {
    for (int col = 0; col < kFile; ++col) {
      std::snprintf(token, sizeof token, "%x ", fileValue(row, col));
      text += token;
    }
    text += '\n';
  }
  WriteFile("big.txt", text);

  std::vector<int> image(kImage * kImage, -9);
  ASSERT_EQ(ReadOstrelArray("big.txt", kImage, kImage, kFile, kFile, kOffset, kOffset, image.data(),
                            "%x"),
            1);
  int mismatches = 0;
  for (int row = 0; row < kImage; ++row) {
    for (int col = 0; col < kImage; ++col) {
      if (image[row * kImage + col] != fileValue(row - kOffset, col - kOffset)) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(ReadOstrelArrayTest, MissingFileOrAbsentArray) {
  test::TempDir dir;
  std::vector<int> image(4, -9);
  EXPECT_EQ(ReadOstrelArray("missing.txt", 2, 2, 2, 2, 0, 0, image.data(), "%x"), 0);
  EXPECT_EQ(image, (std::vector<int>(4, -9)));
  WriteFile("image.txt", "1 2 3 4");
  EXPECT_EQ(ReadOstrelArray("image.txt", 2, 2, 2, 2, 0, 0, nullptr, "%x"), 1);
  EXPECT_EQ(ReadTextValuesInBuffer("1 2 3 4", 2, 2, 2, 2, 0, 0, nullptr, "%x"), 1);
  // A format without columns or rows reads nothing and clears the image.
  for (const auto& [columns, rows] : {std::pair{0, 2}, std::pair{2, 0}, std::pair{-1, -1}}) {
    image.assign(4, -9);
    EXPECT_EQ(ReadTextValuesInBuffer("1 2 3 4", 2, 2, columns, rows, 0, 0, image.data(), "%x"), 1);
    EXPECT_EQ(image, std::vector<int>(4, 0)) << columns << " x " << rows;
  }
}

// Literal enumeration: every width from 2 to TotalSize / 2 that divides it.
std::vector<int> AllWidths(int total) {
  std::vector<int> widths;
  for (int d = 2; d <= total / 2; ++d) {
    if (total % d == 0) widths.push_back(d);
  }
  return widths;
}

std::vector<int> ListedWidths(int total, int& returned) {
  std::vector<int> formats(2 * 50 + 2, -7);
  returned = GetImageFormats(total, formats.data());
  EXPECT_EQ(formats[100], -7);
  EXPECT_EQ(formats[101], -7);
  std::vector<int> widths;
  for (int i = 0; i < returned; ++i) {
    EXPECT_EQ(static_cast<long long>(formats[2 * i]) * formats[2 * i + 1], total);
    widths.push_back(formats[2 * i]);
  }
  return widths;
}

class GetImageFormatsTest : public ::testing::TestWithParam<int> {};

TEST_P(GetImageFormatsTest, ListsTheMostNearlySquareFormatsInWidthOrder) {
  const int total = GetParam();
  const std::vector<int> all = AllWidths(total);
  int returned = 0;
  const std::vector<int> listed = ListedWidths(total, returned);
  ASSERT_EQ(returned, static_cast<int>(std::min<std::size_t>(all.size(), 50)));
  if (returned == 0) return;

  // A contiguous run of the full list, no dropped format squarer than a kept one.
  const auto start = std::find(all.begin(), all.end(), listed.front());
  ASSERT_NE(start, all.end());
  ASSERT_TRUE(std::equal(listed.begin(), listed.end(), start));
  const auto skew = [total](int w) { return std::abs(w - total / w); };
  int worstKept = 0;
  for (int w : listed) worstKept = std::max(worstKept, skew(w));
  for (auto it = all.begin(); it != all.end(); ++it) {
    if (it < start || it >= start + returned) {
      EXPECT_GE(skew(*it), worstKept) << *it;
    }
  }

  // The proposal is the one the full list would give.
  std::vector<int> fullFormats;
  for (int w : all) {
    fullFormats.push_back(w);
    fullFormats.push_back(total / w);
  }
  std::vector<int> formats(100);
  GetImageFormats(total, formats.data());
  const int chosen = FindOptimumFormat(returned, formats.data());
  const int fullChosen = FindOptimumFormat(static_cast<int>(all.size()), fullFormats.data());
  EXPECT_EQ(formats[2 * chosen], all[static_cast<std::size_t>(fullChosen)]);
}

INSTANTIATE_TEST_SUITE_P(Counts, GetImageFormatsTest,
                         ::testing::Values(0, 1, 2, 3, 4, 12, 7919, -12, 240000, 591361, 518400,
                                           720720, 1000003));

TEST(GetImageFormatsTest, SmallCountListsEveryPairAndItsTranspose) {
  int formats[100] = {};
  ASSERT_EQ(GetImageFormats(12, formats), 4);
  EXPECT_EQ(std::vector<int>(formats, formats + 8), (std::vector<int>{2, 6, 3, 4, 4, 3, 6, 2}));
  EXPECT_EQ(GetImageFormats(2147483647, formats), 0);  // the largest prime an int holds
}

TEST(FindOptimumFormatTest, ProposesNarrowerOfEquallySquareFormats) {
  int formats[100] = {};
  const int n = GetImageFormats(240000, formats);
  const int best = FindOptimumFormat(n, formats);
  EXPECT_EQ(formats[2 * best], 480);
  EXPECT_EQ(formats[2 * best + 1], 500);
  EXPECT_EQ(formats[2 * best + 2], 500);
  EXPECT_EQ(formats[2 * best + 3], 480);

  const int square[] = {2, 8, 8, 2, 4, 4};
  EXPECT_EQ(FindOptimumFormat(3, square), 2);
  EXPECT_EQ(FindOptimumFormat(0, square), 0);
}

TEST(InitImageOffsetTableTest, PlacesImageInsideTheField) {
  struct Case {
    int field, size, offset;
  };
  const Case cases[] = {{1024, 769, 128}, {1024, 768, 128}, {1024, 724, 160}, {1024, 512, 256},
                        {1024, 513, 256}, {1024, 1024, 0},  {1024, 1025, 0},  {1024, 2000, -488},
                        {2048, 769, 128}, {2048, 700, 674}};
  for (const Case& c : cases) {
    int offset = -1;
    InitImageOffsetTable(c.field, c.size, offset);
    EXPECT_EQ(offset, c.offset) << c.field << " " << c.size;
  }
}

}  // namespace
}  // namespace zmr
