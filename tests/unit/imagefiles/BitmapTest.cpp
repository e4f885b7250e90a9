#include "imagefiles/Bitmap.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace zmr {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint32_t>;
using test::ReadBytes;
using test::WriteBytes;

// Stores the low `size` bytes of v at `at`, little-endian, growing b when needed.
Bytes& Put(Bytes& b, std::size_t at, std::uint32_t v, int size = 4) {
  if (b.size() < at + size) b.resize(at + size);
  for (int k = 0; k < size; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
  return b;
}

Bytes With(Bytes b, std::size_t at, std::uint32_t v, int size = 4) { return Put(b, at, v, size); }

Bytes Cut(Bytes b, std::size_t drop) {
  b.resize(b.size() - drop);
  return b;
}

// A hand-built bitmap: hdr is the information header size (12 = core header); masks follow a
// 40-byte header, or lie inside a larger one; pal holds 0x00RRGGBB entries; rows are as stored
// and padded here to a multiple of 4 bytes.
struct Layout {
  std::uint32_t hdr = 40;
  std::int32_t w = 1, h = 1;
  std::uint16_t bits = 24;
  std::uint32_t comp = 0, used = 0;
  std::vector<std::uint32_t> masks = {}, pal = {};
  std::vector<Bytes> rows = {};
};

Bytes Build(const Layout& s) {
  Bytes b = {'B', 'M'};
  const bool core = s.hdr == 12;
  Put(b, 14, s.hdr);
  if (core) {
    for (std::uint32_t v : {std::uint32_t(s.w), std::uint32_t(s.h), 1u, std::uint32_t(s.bits)})
      Put(b, b.size(), v, 2);
  } else {
    Put(Put(b, 18, s.w), 22, s.h);
    Put(Put(b, 26, 1, 2), 28, s.bits, 2);
    Put(Put(b, 30, s.comp), 46, s.used);
    for (std::size_t k = 0; k < s.masks.size() && 54 + 4 * k < 14 + s.hdr; ++k)
      Put(b, 54 + 4 * k, s.masks[k]);
    b.resize(14 + s.hdr, 0);
    if (s.hdr == 40)
      for (std::uint32_t m : s.masks) Put(b, b.size(), m);
  }
  for (std::uint32_t c : s.pal) Put(b, b.size(), c, core ? 3 : 4);
  Put(b, 10, static_cast<std::uint32_t>(b.size()));
  for (const Bytes& row : s.rows) {
    b.insert(b.end(), row.begin(), row.end());
    b.resize(b.size() + (4 - row.size() % 4) % 4, 0);
  }
  return Put(b, 2, static_cast<std::uint32_t>(b.size()));
}

// Rows of a grey 24-bit file: every value as three equal bytes.
std::vector<Bytes> GreyRows(const std::vector<std::vector<int>>& rows) {
  std::vector<Bytes> out;
  for (const auto& row : rows) {
    out.emplace_back();
    for (int v : row) out.back().insert(out.back().end(), 3, static_cast<std::uint8_t>(v));
  }
  return out;
}

TEST(EncodeBitmap24Test, StoresLowBytesBottomRowFirstPaddedToFourBytes) {
  const int wide[8] = {1, 2, 3, 4, 5, 6, 7, 300};  // 12-byte rows need no padding
  EXPECT_EQ(EncodeBitmap24(4, 2, wide),
            Build({.w = 4, .h = 2, .rows = GreyRows({{5, 6, 7, 44}, {1, 2, 3, 4}})}));
  const int narrow[6] = {-1, 256, 128, 0, 255, 511};
  EXPECT_EQ(EncodeBitmap24(3, 2, narrow),
            Build({.w = 3, .h = 2, .rows = GreyRows({{0, 255, 255}, {255, 0, 128}})}));
}

TEST(EncodeBitmap24Test, FullSizeImageHasOnePaddingBytePerRow) {
  const long side = 769;
  std::vector<int> image(side * side);
  for (long k = 0; k < side * side; ++k) image[k] = static_cast<int>(k % side + 3 * (k / side));
  const Bytes file = EncodeBitmap24(side, side, image.data());
  ASSERT_EQ(file.size(), 1774906u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 54), With(Build({.w = 769, .h = 769}), 2, 1774906));
  for (long k = 0; k < side; k += 384) {  // first, middle and last file rows
    const std::size_t row = 54 + k * 2308;
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

constexpr std::uint32_t kA = 0x102030, kB = 0xA0B0C0, kC = 0x070809, kBlack = 0xFF000000;
const std::vector<std::uint32_t> k565 = {0xF800, 0x07E0, 0x001F};
const std::vector<std::uint32_t> kArgb = {0xFF0000, 0xFF00, 0xFF, kBlack};

struct DecodeCase {
  const char* name;
  Layout layout;
  Pixels pixels;  // top row first
};

void PrintTo(const DecodeCase& c, std::ostream* out) { *out << c.name; }

class DecodeBitmapEncodingTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeBitmapEncodingTest, DecodesPixelsTopRowFirst) {
  const DecodeCase& c = GetParam();
  DecodedBitmap out;
  std::string why;
  ASSERT_TRUE(DecodeBitmap(Build(c.layout), out, &why)) << why;
  EXPECT_EQ(out.width, c.layout.w);
  EXPECT_EQ(out.height, std::abs(c.layout.h));
  EXPECT_EQ(out.pixels, c.pixels);
}

std::vector<DecodeCase> DecodeCases() {
  const std::uint32_t A = kBlack | kA, B = kBlack | kB, C = kBlack | kC;
  return {
      {"OneBitAcrossTwoBytesBottomUp",
       {.w = 10, .h = 2, .bits = 1, .pal = {kA, kB}, .rows = {{0x7F, 0x80}, {0xA0, 0x40}}},
       {B, A, B, A, A, A, A, A, A, B, A, B, B, B, B, B, B, B, B, A}},
      {"FourBitShortTableIndexPastItIsBlack",
       {.w = 3, .bits = 4, .used = 3, .pal = {kA, kB, kC}, .rows = {{0x21, 0xF0}}},
       {C, B, kBlack}},
      {"EightBitTopDown",
       {.w = 2, .h = -2, .bits = 8, .used = 2, .pal = {kA, kB}, .rows = {{1, 0}, {0, 1}}},
       {B, A, A, B}},
      {"SixteenBitDefault555",
       {.w = 2, .bits = 16, .rows = {{0x00, 0x7C, 0x10, 0x42}}},
       {0xFFFF0000, 0xFF848484}},
      {"SixteenBit565MasksAfterInfoHeader",
       {.w = 2, .bits = 16, .comp = 3, .masks = k565, .rows = {{0xE0, 0x07, 0x10, 0x84}}},
       {0xFF00FF00, 0xFF848284}},
      {"TwentyFourBitPaddedBottomUp",
       {.w = 3, .h = 2, .rows = {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {48, 32, 16, 0, 0, 0, 255, 0, 0}}},
       {0xFF102030, kBlack, 0xFF0000FF, 0xFF030201, 0xFF060504, 0xFF090807}},
      {"ThirtyTwoBitDefaultIgnoresFourthByte",
       {.h = 2, .bits = 32, .rows = {{0x11, 0x22, 0x33, 0x99}, {0x44, 0x55, 0x66, 0x00}}},
       {0xFF665544, 0xFF332211}},
      {"ThirtyTwoBitReversedMasks",
       {.bits = 32, .comp = 3, .masks = {0xFF, 0xFF00, 0xFF0000}, .rows = {{0x11, 0x22, 0x33, 4}}},
       {0xFF112233}},
      {"ThirtyTwoBitTenBitMasks",
       {.bits = 32, .comp = 3, .masks = {0x3FF00000, 0xFFC00, 0x3FF}, .rows = {{0, 0, 0xF8, 0x3F}}},
       {0xFFFF8000}},
      {"CoreHeaderOneBitThreeBytePalette",
       {.hdr = 12, .w = 2, .bits = 1, .pal = {kA, kB}, .rows = {{0x40}}},
       {A, B}},
      {"CoreHeaderPixelsStartAfterShortTable",
       {.hdr = 12, .w = 3, .h = 2, .bits = 8, .pal = {kA, kB}, .rows = {{0, 0, 0}, {1, 0, 5}}},
       {B, A, kBlack, A, A, A}},
      {"V2HeaderMasksInside",
       {.hdr = 52, .bits = 16, .comp = 3, .masks = k565, .rows = {{0x1F, 0x00}}},
       {0xFF0000FF}},
      {"V3HeaderMasksInside",
       {.hdr = 56, .bits = 32, .comp = 3, .masks = kArgb, .rows = {{1, 2, 3, 4}}},
       {0xFF030201}},
      {"V4Header565",
       {.hdr = 108, .h = -1, .bits = 16, .comp = 3, .masks = k565, .rows = {{0, 0xF8}}},
       {0xFFFF0000}},
      {"V5HeaderWithoutBitFieldsIgnoresItsMasks",
       {.hdr = 124, .bits = 16, .masks = {1, 1, 1}, .rows = {{0x00, 0x7C}}},
       {0xFFFF0000}}};
}

INSTANTIATE_TEST_SUITE_P(Encodings, DecodeBitmapEncodingTest, ::testing::ValuesIn(DecodeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeBitmapTest, ReadsBackWhatEncodeBitmap24WroteAndGreyOfAveragesRoundingDown) {
  std::vector<int> image(15);
  for (int k = 0; k < 15; ++k) image[k] = k * 37 - 100;
  DecodedBitmap out;
  ASSERT_TRUE(DecodeBitmap(EncodeBitmap24(5, 3, image.data()), out));
  ASSERT_EQ(out.pixels.size(), 15u);
  for (int k = 0; k < 15; ++k) {
    const std::uint32_t g = static_cast<std::uint32_t>(image[k]) & 0xFF;
    EXPECT_EQ(out.pixels[k], 0xFF000000u | g << 16 | g << 8 | g) << "pixel " << k;
  }
  // 764 / 3; alpha ignored, 2 / 3; red only; blue only; (16 + 32 + 48) / 3.
  const std::pair<std::uint32_t, int> greys[] = {
      {0xFFFFFFFE, 254}, {0x00010100, 0}, {0xFF030000, 1}, {0xFF0000FF, 85}, {0xFF102030, 32}};
  for (auto [argb, grey] : greys) EXPECT_EQ(GreyOf(argb), grey) << std::hex << argb;
}

// --- hostile files ---------------------------------------------------------------------------

Bytes Rgb24(std::int32_t w, std::int32_t h) {
  return Build({.w = w, .h = h, .rows = std::vector<Bytes>(2, Bytes(6, 0x80))});
}

Bytes Masks16(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return Build({.w = 2,
                .h = 2,
                .bits = 16,
                .comp = 3,
                .masks = {r, g, b},
                .rows = {{1, 2, 3, 4}, {5, 6, 7, 8}}});
}

struct HostileCase {
  const char* name;
  Bytes file;
  const char* reason;
};

std::vector<HostileCase> HostileCases() {
  const Bytes rgb = Rgb24(2, 2);
  const Bytes pal =
      Build({.w = 2, .h = 2, .bits = 8, .used = 2, .pal = {kA, kB}, .rows = {{0, 1}, {1, 0}}});
  const Bytes core = Build({.hdr = 12, .rows = {{1, 2, 3}}});
  const Bytes huge = With(With(rgb, 18, 32768), 22, 2048);
  return {
      {"TooShort", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}, "file too short for the headers"},
      {"NoSignature", With(rgb, 0, 'B' | 'A' << 8, 2), "no BM signature"},
      {"UnknownHeaderSize", With(rgb, 14, 64), "unknown information header size"},
      {"HeaderPastFile", Cut(Build({.hdr = 124}), 10), "information header runs past the file"},
      {"ZeroWidth", With(rgb, 18, 0), "width is not positive"},
      {"NegativeWidth", With(rgb, 18, static_cast<std::uint32_t>(-2)), "width is not positive"},
      {"MinimumWidth", With(rgb, 18, 0x80000000u), "width is not positive"},
      {"CoreZeroWidth", With(core, 18, 0, 2), "width is not positive"},
      {"ZeroHeight", With(rgb, 22, 0), "height is zero"},
      {"MinimumHeight", With(rgb, 22, 0x80000000u), "height out of range"},
      {"HugeWidth", With(rgb, 18, 0x7FFFFFFF), "image larger than allowed"},
      {"HugeNegativeHeight", With(rgb, 22, 0x80000001u), "image larger than allowed"},
      {"AreaAboveCap", With(With(rgb, 18, 32768), 22, 32768), "image larger than allowed"},
      {"StrideTimesHeightPastFile", huge, "pixel data truncated"},
      {"OneBitHugeRowsPastFile", With(huge, 28, 1, 2), "pixel data truncated"},
      {"BitCountZero", With(rgb, 28, 0, 2), "unsupported bit count"},
      {"BitCount64", With(rgb, 28, 64, 2), "unsupported bit count"},
      {"CoreSixteenBit", With(core, 24, 16, 2), "unsupported bit count"},
      {"Rle8", With(pal, 30, 1), "unsupported compression"},
      {"Rle4", With(With(pal, 30, 2), 28, 4, 2), "unsupported compression"},
      {"Jpeg", With(rgb, 30, 4), "unsupported compression"},
      {"BitFieldsAt24Bit", With(rgb, 30, 3), "unsupported compression"},
      {"CompressionAllOnes", With(rgb, 30, 0xFFFFFFFF), "unsupported compression"},
      {"MasksPastFile", Cut(Masks16(k565[0], k565[1], k565[2]), 14),
       "bit-field masks run past the file"},
      {"ZeroMask", Masks16(0xF800, 0, 0x001F), "bit-field mask empty or not contiguous"},
      {"SplitMask", Masks16(0xF000, 0x0201, 0x001E), "bit-field mask empty or not contiguous"},
      {"SplitBlueMask", Masks16(0xF800, 0x07E0, 0x0015), "bit-field mask empty or not contiguous"},
      {"ZeroBlueMask", Masks16(0xF800, 0x07E0, 0), "bit-field mask empty or not contiguous"},
      {"RedOverBlue", Masks16(0x00FF, 0x0F00, 0x001F), "bit-field masks overlap"},
      {"GreenOverBlue", Masks16(0xF800, 0x07E0, 0x00FF), "bit-field masks overlap"},
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
      {"OffsetOverMasks", With(Masks16(k565[0], k565[1], k565[2]), 10, 54),
       "pixel data offset inside the headers"},
      {"TruncatedPixels", Cut(rgb, 6), "pixel data truncated"},
      {"OffsetLeavesTooFewRows", With(rgb, 10, 60), "pixel data truncated"},
  };
}

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

class DecodeBitmapHostileTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(DecodeBitmapHostileTest, RefusesWithReasonAndKeepsOutput) {
  DecodedBitmap out{.width = 7, .height = 9, .pixels = {1, 2, 3}};
  std::string why;
  EXPECT_FALSE(DecodeBitmap(GetParam().file, out, &why));
  EXPECT_EQ(why, GetParam().reason);
  EXPECT_EQ(out.width, 7);
  EXPECT_EQ(out.height, 9);
  EXPECT_EQ(out.pixels, (Pixels{1, 2, 3}));
  EXPECT_FALSE(DecodeBitmap(GetParam().file, out));  // no reason asked for
  EXPECT_EQ(out.pixels, (Pixels{1, 2, 3}));
}

INSTANTIATE_TEST_SUITE_P(Files, DecodeBitmapHostileTest, ::testing::ValuesIn(HostileCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeBitmapTest, AcceptsLastRowWithoutPadding) {
  DecodedBitmap out;
  ASSERT_TRUE(DecodeBitmap(With(Cut(Rgb24(2, 2), 2), 2, 68), out));
  EXPECT_EQ(out.pixels, Pixels(4, 0xFF808080));
}

TEST(BitmapHeaderSizeTest, ReadsEitherHeaderKindAndAbsoluteHeight) {
  const Bytes rgb = Rgb24(2, 2);
  const Bytes core = Build({.hdr = 12, .w = 300, .h = 2});
  const struct {
    Bytes file;
    int width, height;  // -1: refused
  } cases[] = {
      {rgb, 2, 2},
      {Rgb24(640, -480), 640, 480},
      {With(core, 18, 65535, 2), 65535, 2},
      {Cut(rgb, rgb.size() - 25), -1, -1},
      {Cut(core, core.size() - 21), -1, -1},
      {Rgb24(2, INT_MIN), -1, -1},
      {Rgb24(-2, 2), -1, -1},
      {Rgb24(2, 0), -1, -1},
      {With(core, 18, 0, 2), -1, -1},
      {With(core, 20, 0, 2), -1, -1},
  };
  for (const auto& c : cases) {
    int width = -1, height = -1;
    EXPECT_EQ(BitmapHeaderSize(c.file, width, height), c.width != -1) << c.width;
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
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

TEST_F(BitmapFileTest, DibLoadImageReturnsTheWholeFileOrNothing) {
  const Bytes file = Rgb24(2, 2);
  const auto size = static_cast<std::uint32_t>(file.size());
  WriteBytes("a.bmp", file);
  EXPECT_EQ(DibLoadImage("a.bmp"), file);
  std::filesystem::create_directory("folder.bmp");
  EXPECT_TRUE(DibLoadImage("folder.bmp").empty());
  EXPECT_TRUE(DibLoadImage("none.bmp").empty());
  for (const Bytes& bad : {With(file, 2, size + 1), With(file, 2, size - 1),
                           With(file, 0, 'M' | 'B' << 8, 2), Bytes{'B', 'M', 5, 0, 0}, Bytes{}}) {
    WriteBytes("bad.bmp", bad);
    EXPECT_TRUE(DibLoadImage("bad.bmp").empty()) << bad.size();
  }
}

TEST_F(BitmapFileTest, WriteImageReplacesTheFileWholeWithTheUsualMode) {
  const int image[12] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 255, 256};
  WriteBytes("grey.bmp", Bytes(5000, 0xEE));  // a longer previous file is replaced whole
  ASSERT_NE(WriteImage("grey.bmp", 4, 3, image), 0);
  EXPECT_EQ(DibLoadImage("grey.bmp"), EncodeBitmap24(4, 3, image));
  ASSERT_NE(WriteImage("new.bmp", 4, 3, image), 0);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"grey.bmp", "new.bmp"}));
  const mode_t mask = ::umask(022);
  ::umask(mask);
  struct stat st {};
  ASSERT_EQ(::stat("new.bmp", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST_F(BitmapFileTest, FailedWritesCreateNothingAndRemoveTheTemporary) {
  const int image[4] = {1, 2, 3, 4};
  std::filesystem::create_directories("target.bmp/inside");  // the rename fails
  EXPECT_EQ(WriteImage("target.bmp", 2, 2, image), 0);
  EXPECT_EQ(WriteImage("x.bmp", 2, 2, nullptr), 0);
  EXPECT_EQ(WriteImage(nullptr, 2, 2, image), 0);
  EXPECT_EQ(WriteImage("x.bmp", 0, 2, image), 0);
  EXPECT_EQ(WriteImage("nowhere/a.bmp", 1, 1, image), 0);
  EXPECT_TRUE(std::filesystem::is_directory("target.bmp/inside"));
  EXPECT_EQ(Entries(), std::vector<std::string>{"target.bmp"});
}

TEST_F(BitmapFileTest, FailedWriteKeepsPreviousFile) {
  const Bytes previous(3000, 0x5A);
  WriteBytes("keep.bmp", previous);
  std::vector<int> image(100 * 100, 9);
  // A 1000-byte file-size limit makes the write fail part-way.
  int result = 0;
  {
    const test::FileSizeLimit cap(1000);
    result = WriteImage("keep.bmp", 100, 100, image.data());
  }
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadBytes("keep.bmp"), previous);
  EXPECT_EQ(Entries(), std::vector<std::string>{"keep.bmp"});
}

}  // namespace
}  // namespace zmr
