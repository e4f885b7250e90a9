#include "imagefiles/Bitmap.h"

#include "support/TestSupport.h"

namespace zmr {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Stores the low `size` bytes of v at `at`, little-endian, growing b when needed.
Bytes& Put(Bytes& b, std::size_t at, std::uint64_t v, int size = 4) {
  if (b.size() < at + size) b.resize(at + size);
  for (int k = 0; k < size; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
  return b;
}

// The 54 bytes of the headers: signature, sizes, one plane, the bit count, the rest as given.
Bytes Headers(std::int32_t w, std::int32_t h, std::uint32_t bits, std::uint32_t compression = 0,
              std::uint32_t used = 0) {
  Bytes b(54);
  Put(Put(Put(Put(Put(b, 0, 'B' | 'M' << 8, 2), 14, 40), 18, w), 22, h), 26, 1 | bits << 16);
  return Put(Put(b, 30, compression), 46, used);
}

TEST(DecodeBitmapTest, DecodesEachEncodingTopRowFirst) {
  constexpr std::uint32_t kA = 0x102030, kB = 0xA0B0C0, K = 0xFF000000, A = K | kA, B = K | kB;
  const struct {
    std::int32_t w, h;
    std::uint32_t bits, compression, used;
    std::vector<std::uint32_t> tables;  // the masks or the 0x00RRGGBB palette
    Bytes rows;                         // as stored: padded, bottom row first unless h < 0
    std::vector<std::uint32_t> pixels;  // top row first
  } cases[] = {
      {10, 2, 1, 0, 0, {kA, kB}, {0x7F, 0x80, 0, 0, 0xA0, 0x40, 0, 0}, {B, A, B, A, A, A, A,
                                                                        A, A, B, A, B, B, B,
                                                                        B, B, B, B, B, A}},
      {2, -2, 8, 0, 2, {kA, kB}, {1, 0, 0, 0, 0, 5, 0, 0}, {B, A, A, K}},  // 5: past the table
      {3, 1, 4, 0, 2, {kA, kB}, {0x10, 0x10, 0, 0}, {B, A, B}},  // the high nibble first
      {2, 1, 16, 3, 0, {0xF800, 0x7E0, 0x1F}, {0xE0, 0x07, 0x10, 0x84}, {0xFF00FF00, 0xFF848284}},
      {1, 1, 32, 3, 0, {0x3FF00000, 0xFFC00, 0x3FF}, {0, 0, 0xF8, 0x3F}, {0xFFFF8000}},
  };
  for (const auto& c : cases) {
    Bytes b = Headers(c.w, c.h, c.bits, c.compression, c.used);
    for (std::uint32_t t : c.tables) Put(b, b.size(), t);
    Put(b, 10, b.size()).insert(b.end(), c.rows.begin(), c.rows.end());
    DecodedBitmap out;
    ASSERT_TRUE(DecodeBitmap(Put(b, 2, b.size()), out)) << c.bits;
    EXPECT_EQ(out.width, c.w);
    EXPECT_EQ(out.height, std::abs(c.h));
    EXPECT_EQ(out.pixels, c.pixels) << c.bits;
  }
}

TEST(BitmapHeaderSizeTest, ReadsTheSidesOfEitherHeaderOrRefuses) {
  Bytes core = Headers(0, 0, 0);
  core.resize(22);
  Put(Put(Put(core, 14, 12), 18, 300, 2), 20, 200, 2);  // u16 sides
  const auto cut = [](Bytes b, std::size_t n) { return b.resize(n), b; };
  const auto noHeight = [](Bytes b) { return Put(b, 20, 0, 2); };
  const struct {
    Bytes header;
    int width, height;  // 0: refused
  } cases[] = {
      {Headers(300, 200, 8), 300, 200},
      {Headers(300, -200, 8), 300, 200},
      {core, 300, 200},
      {cut(core, 21), 0, 0},
      {noHeight(core), 0, 0},
      {Headers(0, 5, 8), 0, 0},
      {Headers(5, 0, 8), 0, 0},
      {Headers(5, INT32_MIN, 8), 0, 0},
      {cut(Headers(5, 5, 8), 25), 0, 0},
      {cut(core, 17), 0, 0},
  };
  for (const auto& c : cases) {
    int width = 0, height = 0;
    EXPECT_EQ(BitmapHeaderSize(c.header, width, height), c.width != 0) << c.header.size();
    EXPECT_EQ(std::pair(width, height), std::pair(c.width, c.height)) << c.header.size();
  }
}

TEST(BitmapFileTest, WrittenFileReadsBackAsItsGreyLevels) {
  test::TempDir dir;
  std::vector<int> image(15);
  for (int k = 0; k < 15; ++k) image[k] = k * 37 - 100;
  test::WriteBytes("grey.bmp", Bytes(5000, 0xEE));  // a longer previous file is replaced whole
  ASSERT_NE(WriteImage("grey.bmp", 5, 3, image.data()), 0);
  const Bytes file = DibLoadImage("grey.bmp");
  EXPECT_EQ(file, EncodeBitmap24(5, 3, image.data()));
  DecodedBitmap out;
  ASSERT_TRUE(DecodeBitmap(file, out));
  for (int k = 0; k < 15; ++k) EXPECT_EQ(GreyOf(out.pixels[k]), image[k] & 0xFF) << k;
  // No image, or 54 + 4 * 2^30 bytes that do not fit the 32-bit size field: nothing written.
  EXPECT_TRUE(EncodeBitmap24(1, 1, nullptr).empty() && EncodeBitmap24(0, 1, image.data()).empty());
  EXPECT_TRUE(EncodeBitmap24(1, 1L << 30, image.data()).empty());
  EXPECT_TRUE(EncodeBitmap24(1L << 31, 1, image.data()).empty());
  EXPECT_TRUE(DibLoadImage(nullptr).empty());
  EXPECT_EQ(WriteImage(nullptr, 5, 3, image.data()), 0);
  EXPECT_EQ(GreyOf(0x00FEFFFF), 254);  // 764 / 3 rounded down, alpha ignored
}

}  // namespace
}  // namespace zmr
