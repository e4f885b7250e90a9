#include "imagefiles/Bitmap.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace zmr {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ReadBytes;
using test::WriteBytes;

void PutU16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

void AddU16(Bytes& b, std::uint32_t v) {
  b.resize(b.size() + 2);
  PutU16(b, b.size() - 2, v);
}

void AddU32(Bytes& b, std::uint32_t v) {
  b.resize(b.size() + 4);
  PutU32(b, b.size() - 4, v);
}

// What a hand-built bitmap holds; Build() lays it out as a writer would.
struct BmpLayout {
  std::uint32_t headerSize = 40;
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t bitCount = 24;
  std::uint32_t compression = 0;
  std::uint32_t colorsUsed = 0;
  std::vector<std::uint32_t> masks = {};    // after a 40-byte header, inside larger ones
  std::vector<std::uint32_t> palette = {};  // 0x00RRGGBB, 3 bytes each in a core file, else 4
  std::vector<Bytes> rows = {};             // as stored, each padded here to a multiple of 4
};

Bytes Build(const BmpLayout& s) {
  Bytes b = {'B', 'M'};
  AddU32(b, 0);  // file size, set at the end
  AddU32(b, 0);
  AddU32(b, 0);  // pixel offset, set below
  const bool core = s.headerSize == 12;
  AddU32(b, s.headerSize);
  if (core) {
    AddU16(b, static_cast<std::uint32_t>(s.width));
    AddU16(b, static_cast<std::uint32_t>(s.height));
    AddU16(b, 1);
    AddU16(b, s.bitCount);
  } else {
    AddU32(b, static_cast<std::uint32_t>(s.width));
    AddU32(b, static_cast<std::uint32_t>(s.height));
    AddU16(b, 1);
    AddU16(b, s.bitCount);
    AddU32(b, s.compression);
    for (int k = 0; k < 3; ++k) AddU32(b, 0);  // image size, resolutions
    AddU32(b, s.colorsUsed);
    AddU32(b, 0);
    const std::size_t headerEnd = 14 + s.headerSize;
    for (std::size_t k = 0; k < s.masks.size() && b.size() < headerEnd; ++k) AddU32(b, s.masks[k]);
    b.resize(headerEnd, 0);
    if (s.headerSize == 40)
      for (std::uint32_t m : s.masks) AddU32(b, m);
  }
  for (std::uint32_t c : s.palette) {
    b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
    b.push_back(static_cast<std::uint8_t>(c >> 16));
    if (!core) b.push_back(0);
  }
  PutU32(b, 10, static_cast<std::uint32_t>(b.size()));
  for (const Bytes& row : s.rows) {
    b.insert(b.end(), row.begin(), row.end());
    b.resize(b.size() + (4 - row.size() % 4) % 4, 0);
  }
  PutU32(b, 2, static_cast<std::uint32_t>(b.size()));
  return b;
}

Bytes Header54(std::uint32_t fileSize, std::int32_t width, std::int32_t height) {
  Bytes b(54, 0);
  b[0] = 'B';
  b[1] = 'M';
  PutU32(b, 2, fileSize);
  PutU32(b, 10, 54);
  PutU32(b, 14, 40);
  PutU32(b, 18, static_cast<std::uint32_t>(width));
  PutU32(b, 22, static_cast<std::uint32_t>(height));
  PutU16(b, 26, 1);
  PutU16(b, 28, 24);
  return b;
}

// --- writing -------------------------------------------------------------------------------

TEST(EncodeBitmap24Test, FourByTwoImageStoresSecondRowFirstAndLowBytes) {
  const int image[8] = {1, 2, 3, 4, 5, 6, 7, 300};
  Bytes expected = Header54(78, 4, 2);
  for (int v : {5, 6, 7, 44, 1, 2, 3, 4})
    for (int k = 0; k < 3; ++k) expected.push_back(static_cast<std::uint8_t>(v));
  EXPECT_EQ(EncodeBitmap24(4, 2, image), expected);
}

TEST(EncodeBitmap24Test, RowsArePaddedWithZerosToFourBytes) {
  const int image[6] = {-1, 256, 128, 0, 255, 511};
  Bytes expected = Header54(54 + 2 * 12, 3, 2);
  for (int v : {0, 255, 255}) expected.insert(expected.end(), 3, static_cast<std::uint8_t>(v));
  expected.insert(expected.end(), 3, 0);  // padding
  for (int v : {255, 0, 128}) expected.insert(expected.end(), 3, static_cast<std::uint8_t>(v));
  expected.insert(expected.end(), 3, 0);
  EXPECT_EQ(EncodeBitmap24(3, 2, image), expected);
}

TEST(EncodeBitmap24Test, FullSizeImageHasOnePaddingBytePerRow) {
  const long side = 769;
  std::vector<int> image(side * side);
  for (long j = 0; j < side; ++j)
    for (long i = 0; i < side; ++i) image[j * side + i] = static_cast<int>(i + 3 * j);
  const Bytes file = EncodeBitmap24(side, side, image.data());
  ASSERT_EQ(file.size(), 1774906u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 54), Header54(1774906, 769, 769));
  const std::size_t rowSize = 2308;
  for (long k = 0; k < side; k += 384) {  // first, middle and last file rows
    const std::size_t row = 54 + k * rowSize;
    const long imageRow = side - 1 - k;
    EXPECT_EQ(file[row], static_cast<std::uint8_t>(3 * imageRow));
    EXPECT_EQ(file[row + 3 * 768 + 2], static_cast<std::uint8_t>(768 + 3 * imageRow));
    EXPECT_EQ(file[row + 2307], 0);
  }
}

TEST(EncodeBitmap24Test, RefusesWhatCannotBeWritten) {
  const int one = 7;
  EXPECT_TRUE(EncodeBitmap24(1, 1, nullptr).empty());
  EXPECT_TRUE(EncodeBitmap24(0, 1, &one).empty());
  EXPECT_TRUE(EncodeBitmap24(1, -1, &one).empty());
  // 54 + 4 * 2^30 bytes does not fit the 32-bit size field; nothing may be read or allocated.
  EXPECT_TRUE(EncodeBitmap24(1, 1L << 30, &one).empty());
}

// --- decoding --------------------------------------------------------------------------------

struct DecodeCase {
  const char* name;
  BmpLayout layout;
  int width;
  int height;
  std::vector<std::uint32_t> pixels;  // top row first
};

constexpr std::uint32_t kA = 0x102030, kB = 0xA0B0C0, kC = 0x070809;
constexpr std::uint32_t kBlack = 0xFF000000;
constexpr std::uint32_t Opaque(std::uint32_t rgb) { return 0xFF000000u | rgb; }

std::vector<DecodeCase> DecodeCases() {
  const std::uint32_t A = Opaque(kA), B = Opaque(kB), C = Opaque(kC);
  std::vector<DecodeCase> cases;
  cases.push_back({"OneBitAcrossTwoBytesBottomUp",
                   {.width = 10,
                    .height = 2,
                    .bitCount = 1,
                    .palette = {kA, kB},
                    .rows = {{0x7F, 0x80}, {0xA0, 0x40}}},
                   10,
                   2,
                   {B, A, B, A, A, A, A, A, A, B, A, B, B, B, B, B, B, B, B, A}});
  cases.push_back({"FourBitShortTableIndexPastItIsBlack",
                   {.width = 3,
                    .bitCount = 4,
                    .colorsUsed = 3,
                    .palette = {kA, kB, kC},
                    .rows = {{0x21, 0xF0}}},
                   3,
                   1,
                   {C, B, kBlack}});
  cases.push_back({"EightBitTopDown",
                   {.width = 2,
                    .height = -2,
                    .bitCount = 8,
                    .colorsUsed = 2,
                    .palette = {kA, kB},
                    .rows = {{1, 0}, {0, 1}}},
                   2,
                   2,
                   {B, A, A, B}});
  cases.push_back({"SixteenBitDefault555",
                   {.width = 2, .bitCount = 16, .rows = {{0x00, 0x7C, 0x10, 0x42}}},
                   2,
                   1,
                   {0xFFFF0000, 0xFF848484}});
  cases.push_back({"SixteenBit565MasksAfterInfoHeader",
                   {.width = 2,
                    .bitCount = 16,
                    .compression = 3,
                    .masks = {0xF800, 0x07E0, 0x001F},
                    .rows = {{0xE0, 0x07, 0x10, 0x84}}},
                   2,
                   1,
                   {0xFF00FF00, 0xFF848284}});
  cases.push_back({"SixteenBit444MasksScaled",
                   {.width = 1,
                    .bitCount = 16,
                    .compression = 3,
                    .masks = {0x0F00, 0x00F0, 0x000F},
                    .rows = {{0x80, 0x0F}}},
                   1,
                   1,
                   {0xFFFF8800}});
  cases.push_back({"TwentyFourBitPaddedBottomUp",
                   {.width = 3,
                    .height = 2,
                    .bitCount = 24,
                    .rows = {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {0x30, 0x20, 0x10, 0, 0, 0, 0xFF, 0, 0}}},
                   3,
                   2,
                   {0xFF102030, kBlack, 0xFF0000FF, 0xFF030201, 0xFF060504, 0xFF090807}});
  cases.push_back({"ThirtyTwoBitDefaultIgnoresFourthByte",
                   {.width = 1,
                    .height = 2,
                    .bitCount = 32,
                    .rows = {{0x11, 0x22, 0x33, 0x99}, {0x44, 0x55, 0x66, 0x00}}},
                   1,
                   2,
                   {0xFF665544, 0xFF332211}});
  cases.push_back({"ThirtyTwoBitReversedMasks",
                   {.width = 1,
                    .bitCount = 32,
                    .compression = 3,
                    .masks = {0x0000FF, 0x00FF00, 0xFF0000},
                    .rows = {{0x11, 0x22, 0x33, 0x44}}},
                   1,
                   1,
                   {0xFF112233}});
  cases.push_back({"ThirtyTwoBitTenBitMasks",
                   {.width = 1,
                    .bitCount = 32,
                    .compression = 3,
                    .masks = {0x3FF00000, 0x000FFC00, 0x000003FF},
                    .rows = {{0x00, 0x00, 0xF8, 0x3F}}},
                   1,
                   1,
                   {0xFFFF8000}});
  cases.push_back(
      {"CoreHeaderOneBitThreeBytePalette",
       {.headerSize = 12, .width = 2, .bitCount = 1, .palette = {kA, kB}, .rows = {{0x40}}},
       2,
       1,
       {A, B}});
  cases.push_back(
      {"CoreHeaderTwentyFourBit",
       {.headerSize = 12, .width = 1, .height = 2, .bitCount = 24, .rows = {{1, 2, 3}, {4, 5, 6}}},
       1,
       2,
       {0xFF060504, 0xFF030201}});
  cases.push_back(
      {"CoreHeaderPixelsStartAfterShortTable",
       {.headerSize = 12, .width = 3, .bitCount = 8, .palette = {kA, kB}, .rows = {{1, 0, 5}}},
       3,
       1,
       {B, A, kBlack}});
  cases.push_back({"V2HeaderMasksInside",
                   {.headerSize = 52,
                    .width = 1,
                    .bitCount = 16,
                    .compression = 3,
                    .masks = {0xF800, 0x07E0, 0x001F},
                    .rows = {{0x1F, 0x00}}},
                   1,
                   1,
                   {0xFF0000FF}});
  cases.push_back({"V3HeaderMasksInside",
                   {.headerSize = 56,
                    .width = 1,
                    .bitCount = 32,
                    .compression = 3,
                    .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                    .rows = {{0x01, 0x02, 0x03, 0x04}}},
                   1,
                   1,
                   {0xFF030201}});
  cases.push_back({"V4Header565",
                   {.headerSize = 108,
                    .width = 2,
                    .height = -1,
                    .bitCount = 16,
                    .compression = 3,
                    .masks = {0xF800, 0x07E0, 0x001F},
                    .rows = {{0x00, 0xF8, 0xFF, 0xFF}}},
                   2,
                   1,
                   {0xFFFF0000, 0xFFFFFFFF}});
  cases.push_back({"V5HeaderBitFields",
                   {.headerSize = 124,
                    .width = 1,
                    .bitCount = 32,
                    .compression = 3,
                    .masks = {0xFF000000, 0x00FF0000, 0x0000FF00},
                    .rows = {{0x00, 0x30, 0x20, 0x10}}},
                   1,
                   1,
                   {0xFF102030}});
  cases.push_back(
      {"V5HeaderWithoutBitFieldsIgnoresItsMasks",
       {.headerSize = 124, .width = 1, .bitCount = 16, .masks = {1, 1, 1}, .rows = {{0x00, 0x7C}}},
       1,
       1,
       {0xFFFF0000}});
  return cases;
}

class DecodeBitmapEncodingTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeBitmapEncodingTest, DecodesPixelsTopRowFirst) {
  const DecodeCase& c = GetParam();
  DecodedBitmap out;
  std::string why;
  ASSERT_TRUE(DecodeBitmap(Build(c.layout), out, &why)) << why;
  EXPECT_EQ(out.width, c.width);
  EXPECT_EQ(out.height, c.height);
  EXPECT_EQ(out.pixels, c.pixels);
}

INSTANTIATE_TEST_SUITE_P(Encodings, DecodeBitmapEncodingTest, ::testing::ValuesIn(DecodeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeBitmapTest, ReadsBackWhatEncodeBitmap24Wrote) {
  const long m = 5, n = 3;
  std::vector<int> image(m * n);
  for (long k = 0; k < m * n; ++k) image[k] = static_cast<int>(k * 37 - 100);
  DecodedBitmap out;
  ASSERT_TRUE(DecodeBitmap(EncodeBitmap24(m, n, image.data()), out));
  ASSERT_EQ(out.width, m);
  ASSERT_EQ(out.height, n);
  for (long k = 0; k < m * n; ++k) {
    const std::uint32_t g = static_cast<std::uint32_t>(image[k]) & 0xFF;
    EXPECT_EQ(out.pixels[k], 0xFF000000u | g << 16 | g << 8 | g) << "pixel " << k;
    EXPECT_EQ(GreyOf(out.pixels[k]), static_cast<int>(g));
  }
}

TEST(GreyOfTest, AveragesTheThreeChannelsRoundingDown) {
  EXPECT_EQ(GreyOf(0xFFFFFFFE), 254);  // 764 / 3
  EXPECT_EQ(GreyOf(0x00010100), 0);    // alpha ignored, 2 / 3
  EXPECT_EQ(GreyOf(0xFF030000), 1);    // red only
  EXPECT_EQ(GreyOf(0xFF0000FF), 85);   // blue only
  EXPECT_EQ(GreyOf(0xFF102030), 32);   // (16 + 32 + 48) / 3
}

// --- hostile files ---------------------------------------------------------------------------

Bytes Rgb24(std::int32_t width, std::int32_t height) {
  BmpLayout s{.width = width, .height = height, .bitCount = 24};
  s.rows.assign(2, Bytes(6, 0x80));
  return Build(s);
}

Bytes Palette8() {
  return Build({.width = 2,
                .height = 2,
                .bitCount = 8,
                .colorsUsed = 2,
                .palette = {kA, kB},
                .rows = {{0, 1}, {1, 0}}});
}

Bytes Masks16(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return Build({.width = 2,
                .height = 2,
                .bitCount = 16,
                .compression = 3,
                .masks = {r, g, b},
                .rows = {{1, 2, 3, 4}, {5, 6, 7, 8}}});
}

Bytes With(Bytes b, std::size_t at, std::uint32_t v) {
  PutU32(b, at, v);
  return b;
}

Bytes With16(Bytes b, std::size_t at, std::uint32_t v) {
  PutU16(b, at, v);
  return b;
}

Bytes Cut(Bytes b, std::size_t drop) {
  b.resize(b.size() - drop);
  return b;
}

struct HostileCase {
  const char* name;
  Bytes file;
  const char* reason;
};

std::vector<HostileCase> HostileCases() {
  const Bytes rgb = Rgb24(2, 2);
  const Bytes pal = Palette8();
  const Bytes core = Build({.headerSize = 12, .width = 1, .bitCount = 24, .rows = {{1, 2, 3}}});
  return {
      {"TooShort", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}, "file too short for the headers"},
      {"NoSignature", With16(rgb, 0, 'B' | 'A' << 8), "no BM signature"},
      {"UnknownHeaderSize", With(rgb, 14, 64), "unknown information header size"},
      {"HeaderPastFile", Cut(Build({.headerSize = 124, .width = 1, .rows = {}}), 10),
       "information header runs past the file"},
      {"ZeroWidth", With(rgb, 18, 0), "width is not positive"},
      {"NegativeWidth", With(rgb, 18, static_cast<std::uint32_t>(-2)), "width is not positive"},
      {"MinimumWidth", With(rgb, 18, 0x80000000u), "width is not positive"},
      {"CoreZeroWidth", With16(core, 18, 0), "width is not positive"},
      {"ZeroHeight", With(rgb, 22, 0), "height is zero"},
      {"MinimumHeight", With(rgb, 22, 0x80000000u), "height out of range"},
      {"HugeWidth", With(rgb, 18, 0x7FFFFFFF), "image larger than allowed"},
      {"HugeNegativeHeight", With(rgb, 22, 0x80000001u), "image larger than allowed"},
      {"AreaAboveCap", With(With(rgb, 18, 32768), 22, 32768), "image larger than allowed"},
      {"StrideTimesHeightPastFile", With(With(rgb, 18, 32768), 22, 2048), "pixel data truncated"},
      {"OneBitHugeRowsPastFile", With16(With(With(rgb, 18, 32768), 22, 2048), 28, 1),
       "pixel data truncated"},
      {"BitCountZero", With16(rgb, 28, 0), "unsupported bit count"},
      {"BitCountTwo", With16(rgb, 28, 2), "unsupported bit count"},
      {"BitCount64", With16(rgb, 28, 64), "unsupported bit count"},
      {"CoreSixteenBit", With16(core, 24, 16), "unsupported bit count"},
      {"Rle8", With(pal, 30, 1), "unsupported compression"},
      {"Rle4", With16(With(pal, 30, 2), 28, 4), "unsupported compression"},
      {"Jpeg", With(rgb, 30, 4), "unsupported compression"},
      {"Png", With(rgb, 30, 5), "unsupported compression"},
      {"BitFieldsAt24Bit", With(rgb, 30, 3), "unsupported compression"},
      {"CompressionAllOnes", With(rgb, 30, 0xFFFFFFFF), "unsupported compression"},
      {"MasksPastFile", Cut(Masks16(0xF800, 0x07E0, 0x001F), 14),
       "bit-field masks run past the file"},
      {"ZeroMask", Masks16(0xF800, 0, 0x001F), "bit-field mask empty or not contiguous"},
      {"SplitMask", Masks16(0xF000, 0x0201, 0x001E), "bit-field mask empty or not contiguous"},
      {"OverlappingMasks", Masks16(0xF800, 0x0FE0, 0x001F), "bit-field masks overlap"},
      {"MaskOutsideSixteenBits", Masks16(0x1F0000, 0x07E0, 0x001F),
       "bit-field mask outside the pixel"},
      {"ColoursAboveBitCount", With(pal, 46, 257), "more colours than the bit count allows"},
      {"ColoursHuge", With(pal, 46, 0xFFFFFFFF), "more colours than the bit count allows"},
      {"ColourTablePastFile", With(pal, 46, 200), "colour table runs past the file"},
      {"OffsetPastFile", With(rgb, 10, static_cast<std::uint32_t>(rgb.size() + 1)),
       "pixel data offset beyond the file"},
      {"OffsetAllOnes", With(rgb, 10, 0xFFFFFFFF), "pixel data offset beyond the file"},
      {"OffsetInsideInfoHeader", With(rgb, 10, 20), "pixel data offset inside the headers"},
      {"OffsetOverMasks", With(Masks16(0xF800, 0x07E0, 0x001F), 10, 54),
       "pixel data offset inside the headers"},
      {"TruncatedPixels", Cut(rgb, 6), "pixel data truncated"},
      {"OffsetLeavesTooFewRows", With(rgb, 10, 60), "pixel data truncated"},
  };
}

class DecodeBitmapHostileTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(DecodeBitmapHostileTest, RefusesWithReasonAndKeepsOutput) {
  const HostileCase& c = GetParam();
  DecodedBitmap out{.width = 7, .height = 9, .pixels = {1, 2, 3}};
  std::string why;
  EXPECT_FALSE(DecodeBitmap(c.file, out, &why));
  EXPECT_EQ(why, c.reason);
  EXPECT_EQ(out.width, 7);
  EXPECT_EQ(out.height, 9);
  EXPECT_EQ(out.pixels, (std::vector<std::uint32_t>{1, 2, 3}));
}

INSTANTIATE_TEST_SUITE_P(Files, DecodeBitmapHostileTest, ::testing::ValuesIn(HostileCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeBitmapTest, AcceptsLastRowWithoutPadding) {
  DecodedBitmap out;
  ASSERT_TRUE(DecodeBitmap(With(Cut(Rgb24(2, 2), 2), 2, 68), out));
  EXPECT_EQ(out.pixels, std::vector<std::uint32_t>(4, 0xFF808080));
}

// --- header size for the load procedure ------------------------------------------------------

TEST(BitmapHeaderSizeTest, ReadsEitherHeaderKindAndAbsoluteHeight) {
  struct Case {
    Bytes file;
    bool ok;
    int width;
    int height;
  };
  const Bytes core = Build({.headerSize = 12, .width = 300, .height = 2, .rows = {}});
  const Case cases[] = {
      {Rgb24(2, 2), true, 2, 2},
      {Rgb24(640, -480), true, 640, 480},
      {With16(core, 18, 65535), true, 65535, 2},
      {Cut(Rgb24(2, 2), Rgb24(2, 2).size() - 25), false, 0, 0},
      {Cut(core, core.size() - 21), false, 0, 0},
      {Rgb24(2, INT_MIN), false, 0, 0},
      {Rgb24(-2, 2), false, 0, 0},
      {Rgb24(2, 0), false, 0, 0},
  };
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    int width = -1, height = -1;
    EXPECT_EQ(BitmapHeaderSize(cases[k].file, width, height), cases[k].ok) << "case " << k;
    EXPECT_EQ(width, cases[k].ok ? cases[k].width : -1) << "case " << k;
    EXPECT_EQ(height, cases[k].ok ? cases[k].height : -1) << "case " << k;
  }
}

// --- files on disk -----------------------------------------------------------------------------

class BitmapFileTest : public test::StateTest {
 protected:
  // Every entry of the working folder, so that a left-over temporary file shows.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(BitmapFileTest, DibLoadImageReturnsTheWholeFile) {
  const Bytes file = Rgb24(2, 2);
  WriteBytes("a.bmp", file);
  EXPECT_EQ(DibLoadImage("a.bmp"), file);
}

TEST_F(BitmapFileTest, DibLoadImageRejectsBadFiles) {
  const Bytes file = Rgb24(2, 2);
  const auto size = static_cast<std::uint32_t>(file.size());
  WriteBytes("long.bmp", With(file, 2, size + 1));
  WriteBytes("short.bmp", With(file, 2, size - 1));
  WriteBytes("nobm.bmp", With16(file, 0, 'M' | 'B' << 8));
  WriteBytes("tiny.bmp", Bytes{'B', 'M', 5, 0, 0});
  WriteBytes("empty.bmp", Bytes{});
  std::filesystem::create_directory("folder.bmp");
  for (const char* name :
       {"long.bmp", "short.bmp", "nobm.bmp", "tiny.bmp", "empty.bmp", "folder.bmp", "none.bmp"}) {
    EXPECT_TRUE(DibLoadImage(name).empty()) << name;
  }
}

TEST_F(BitmapFileTest, WriteImageRoundTripsThroughDibLoadImage) {
  const int image[12] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 255, 256};
  WriteBytes("grey.bmp", Bytes(5000, 0xEE));  // a longer previous file is replaced whole
  ASSERT_NE(WriteImage("grey.bmp", 4, 3, image), 0);
  const Bytes file = DibLoadImage("grey.bmp");
  EXPECT_EQ(file, EncodeBitmap24(4, 3, image));
  DecodedBitmap out;
  ASSERT_TRUE(DecodeBitmap(file, out));
  EXPECT_EQ(GreyOf(out.pixels[5]), 50);
  EXPECT_EQ(GreyOf(out.pixels[11]), 0);
  EXPECT_EQ(Entries(), std::vector<std::string>{"grey.bmp"});
}

TEST_F(BitmapFileTest, WriteImageGivesANewFileTheUsualMode) {
  const mode_t mask = ::umask(022);
  ::umask(mask);
  const int image[1] = {1};
  ASSERT_NE(WriteImage("new.bmp", 1, 1, image), 0);
  struct stat st {};
  ASSERT_EQ(::stat("new.bmp", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST_F(BitmapFileTest, WriteImageWithoutDataCreatesNothing) {
  EXPECT_EQ(WriteImage("x.bmp", 2, 2, nullptr), 0);
  EXPECT_TRUE(Entries().empty());
}

// Restores the file-size limit and the SIGXFSZ disposition it changed.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_{};
  sighandler_t oldHandler_ = SIG_DFL;
};

TEST_F(BitmapFileTest, FailedWriteKeepsPreviousFileAndRemovesTemporary) {
  const Bytes previous(3000, 0x5A);
  WriteBytes("keep.bmp", previous);
  std::vector<int> image(100 * 100, 9);
  int result = 1;
  {
    FileSizeLimit limit(1000);
    result = WriteImage("keep.bmp", 100, 100, image.data());
  }
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadBytes("keep.bmp"), previous);
  EXPECT_EQ(Entries(), std::vector<std::string>{"keep.bmp"});
}

TEST_F(BitmapFileTest, FailedRenameRemovesTemporary) {
  std::filesystem::create_directories("target.bmp/inside");
  const int image[4] = {1, 2, 3, 4};
  EXPECT_EQ(WriteImage("target.bmp", 2, 2, image), 0);
  EXPECT_TRUE(std::filesystem::is_directory("target.bmp/inside"));
  EXPECT_EQ(Entries(), std::vector<std::string>{"target.bmp"});
}

TEST_F(BitmapFileTest, UnwritableFolderKeepsPreviousFile) {
  std::filesystem::create_directory("locked");
  const Bytes previous = Rgb24(2, 2);
  WriteBytes("locked/old.bmp", previous);
  ::chmod("locked", 0555);
  if (::access("locked", W_OK) == 0) {
    ::chmod("locked", 0755);
    GTEST_SKIP() << "permissions are not enforced for this user";
  }
  const int image[4] = {1, 2, 3, 4};
  const int result = WriteImage("locked/old.bmp", 2, 2, image);
  ::chmod("locked", 0755);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadBytes("locked/old.bmp"), previous);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("locked"),
                          std::filesystem::directory_iterator{}),
            1);
}

TEST_F(BitmapFileTest, MissingFolderFails) {
  const int image[1] = {1};
  EXPECT_EQ(WriteImage("nowhere/a.bmp", 1, 1, image), 0);
  EXPECT_TRUE(Entries().empty());
}

}  // namespace
}  // namespace zmr
