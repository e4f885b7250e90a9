// The image readers of TIFF, PNG, JPEG, PGM/PPM and EDF: files with known samples must read
// back to the same values, colour as (r + g + b) / 3. The TIFF, PNG and JPEG files of
// tests/data/images were written by libtiff, libpng and libjpeg with the features the
// program's own encoders never produce (their README tells how); the PGM/PPM and EDF files are
// made here. (The program's own encoders are read back by the tests of Save Image.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "imagefiles/EdfImage.h"
#include "imagefiles/ImageFormats.h"
#include "imagefiles/TiffImage.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

// Sample k of a pattern that spans the type's range, negative values included when signed.
double PatternSample(std::size_t k, int bits, int format) {
  if (format == 3) return bits == 32 ? static_cast<float>(k * 0.37 - 3.5) : k * 1.0e9 / 7.0 - 1.0e9;
  const double range = std::ldexp(1.0, bits);
  const double v = std::fmod(static_cast<double>(k) * 2654435761.0, range);
  return format == 2 ? v - range / 2 : v;
}

// The grey values a reader must give for interleaved samples with the first `used` of
// `perPixel` samples as channels (1 grey, 3 colour).
std::vector<double> Grey(const std::vector<double>& samples, int perPixel, int used, bool integer) {
  std::vector<double> grey;
  for (std::size_t i = 0; i + perPixel <= samples.size(); i += perPixel) {
    double sum = 0;
    for (int c = 0; c < used; ++c) sum += samples[i + c];
    grey.push_back(used == 1 ? sum : integer ? std::trunc(sum / 3.0) : sum / 3.0);
  }
  return grey;
}

ResultOf<CountImage> ReadSample(const char* name) {
  std::string path = ZMR_TEST_DATA_DIR "/images/";
  return ReadImage(test::ReadBytes(path += name));
}

void ExpectImage(const ResultOf<CountImage>& got, int width, int height,
                 const std::vector<double>& expected) {
  ASSERT_TRUE(got.ok()) << got.message();
  EXPECT_EQ(got.value().width, width);
  EXPECT_EQ(got.value().height, height);
  EXPECT_EQ(got.value().values, expected);
}

class ImageReadersTest : public test::StateTest {};

// Sample k (row-major, channels interleaved) is PatternSample(k) of the file's sample type.
TEST_F(ImageReadersTest, TiffOfEverySampleTypeLayoutAndCompressionReadsBack) {
  const struct {
    const char* file;
    int width = 5, height = 4, bits = 8, format = 1;  // 1 unsigned, 2 signed, 3 float
    int samplesPerPixel = 1;
  } cases[] = {
      {"u8.tif"},
      {"u16-strips-of-3-rows.tif", 5, 4, 16},
      {"u32.tif", 5, 4, 32},
      {"s8.tif", 5, 4, 8, 2},
      {"s16.tif", 5, 4, 16, 2},
      {"s32.tif", 5, 4, 32, 2},
      {"f32.tif", 5, 4, 32, 3},
      {"f64.tif", 5, 4, 64, 3},
      {"rgb-u8.tif", 5, 4, 8, 1, 3},
      {"rgb-u16-planes.tif", 5, 4, 16, 1, 3},
      {"rgba-u8.tif", 5, 4, 8, 1, 4},
      {"grey-alpha-u16.tif", 5, 4, 16, 1, 2},
      {"tiles-u16.tif", 20, 18, 16},
      {"tiles-rgb-f32-planes.tif", 17, 33, 32, 3, 3},  // partly filled tiles of 16 x 16
      {"lzw-s16.tif", 5, 4, 16, 2},
      {"deflate-f64.tif", 5, 4, 64, 3},
      {"packbits-rgb-u8.tif", 5, 4, 8, 1, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const int spp = c.samplesPerPixel;
    std::vector<double> samples(static_cast<std::size_t>(c.width) * c.height * spp);
    for (std::size_t k = 0; k < samples.size(); ++k)
      samples[k] = PatternSample(k, c.bits, c.format);
    const auto got = ReadSample(c.file);
    ExpectImage(got, c.width, c.height, Grey(samples, spp, spp >= 3 ? 3 : 1, c.format != 3));
    EXPECT_TRUE(!got.ok() || got.value().notes.empty());
  }
}

// JPEG-compressed RGB (stored as YCbCr): flat 8 x 8 grey blocks (r = g = b) survive quality 100
// and the subsampling exactly. Several pages: the first is read, with a note.
TEST_F(ImageReadersTest, JpegCompressedTiffReadsAsRgbAndOfSeveralPagesTheFirst) {
  std::vector<double> expected;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) expected.push_back(40 + 50 * (x / 8) + 17 * (y / 8));
  ExpectImage(ReadSample("jpeg-in-rgb.tif"), 32, 16, expected);
  const auto got = ReadSample("three-pages.tif");
  ExpectImage(got, 5, 4, std::vector<double>(20, 7.0));
  EXPECT_EQ(got.value().notes,
            std::vector<std::string>{"the TIFF holds 3 pages; the first was read"});
}

// Sample k is (k x 2654435761) mod 2^depth, or mod 4 as a palette index.
TEST_F(ImageReadersTest, PngOfEveryDepthAndColourTypeReadsBack) {
  const std::uint8_t palette[] = {10, 20, 30, 200, 100, 0, 255, 255, 255, 1, 2, 3};
  const struct {
    const char* file;
    int depth, perPixel, used;  // used 0: palette indices
    int width = 5, height = 4;
  } cases[] = {
      {"grey-1.png", 1, 1, 1},       {"grey-2.png", 2, 1, 1},
      {"grey-4.png", 4, 1, 1},       {"grey-8.png", 8, 1, 1},
      {"grey-16.png", 16, 1, 1},     {"grey-8-interlaced.png", 8, 1, 1, 13, 11},
      {"rgb-8.png", 8, 3, 3},        {"rgb-16.png", 16, 3, 3},
      {"grey-alpha-8.png", 8, 2, 1}, {"rgba-16.png", 16, 4, 3},
      {"palette-2.png", 2, 1, 0},    {"palette-8.png", 8, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::size_t n = static_cast<std::size_t>(c.width) * c.height * c.perPixel;
    const unsigned range = c.used == 0 ? 4u : 1u << c.depth;
    std::vector<double> samples(n);
    for (std::size_t k = 0; k < n; ++k) samples[k] = (k * 2654435761u) % range;
    std::vector<double> expected = Grey(samples, c.perPixel, c.used, true);
    for (std::size_t i = 0; c.used == 0 && i < n; ++i) {
      const std::uint8_t* rgb = palette + 3 * static_cast<int>(samples[i]);
      expected[i] = (rgb[0] + rgb[1] + rgb[2]) / 3;
    }
    ExpectImage(ReadSample(c.file), c.width, c.height, expected);
  }
}

TEST_F(ImageReadersTest, JpegGreyAndColourOfFlatBlocksReadBackExactly) {
  // Flat 8 x 8 blocks survive quality 100 exactly; grey colours (r = g = b) have no chroma.
  std::vector<double> expected;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) expected.push_back(30 + 70 * (x / 8) + 20 * (y / 8));
  for (const char* file :
       {"grey.jpg", "grey-progressive.jpg", "colour.jpg", "colour-progressive.jpg"}) {
    SCOPED_TRACE(file);
    ExpectImage(ReadSample(file), 24, 16, expected);
  }
}

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST_F(ImageReadersTest, PgmAndPpmTextAndBinaryReadBack) {
  using S = std::string;
  const struct {
    S bytes;
    int width, height;
    std::vector<double> values;
  } cases[] = {
      {"P2\n# made by hand\n3 2 # size\n9\n0 1 2\n9 8 7\n", 3, 2, {0, 1, 2, 9, 8, 7}},
      {"P3 2 1 1000 1000 1000 999 0 1 2\n", 2, 1, {999, 1}},
      {"P5\n2 2\n255\n" + S("\x00\x7f\x80\xff", 4), 2, 2, {0, 127, 128, 255}},
      {"P5 3 1 65535\n" + S("\x00\x01\x12\x34\xff\xff", 6), 3, 1, {1, 0x1234, 65535}},
      {"P6 1 1 300\n" + S("\x01\x2c\x00\x00\x00\x02", 6), 1, 1, {100}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 2));
    ExpectImage(ReadImage(Bytes(c.bytes)), c.width, c.height, c.values);
  }
}

TEST_F(ImageReadersTest, EdfOfEveryDataTypeAndByteOrderReadsBack) {
  const struct {
    const char* type;
    int bits, format;
  } types[] = {{"UnsignedByte", 8, 1},  {"SignedByte", 8, 2},       {"UnsignedShort", 16, 1},
               {"SignedShort", 16, 2},  {"UnsignedInteger", 32, 1}, {"SignedInteger", 32, 2},
               {"UnsignedLong", 32, 1}, {"SignedLong", 32, 2},      {"FloatValue", 32, 3},
               {"DoubleValue", 64, 3}};
  for (const auto& t : types) {
    for (const bool high : {false, true}) {
      SCOPED_TRACE(std::string(t.type) + (high ? " HighByteFirst" : " LowByteFirst"));
      std::vector<double> values(7 * 3);
      for (std::size_t k = 0; k < values.size(); ++k)
        values[k] = PatternSample(k, t.bits, t.format);
      const auto bytes = EncodeEdf(7, 3, values, t.type, high);
      ASSERT_TRUE(bytes.ok());
      EXPECT_EQ(bytes.value().size() % kEdfHeaderBlock,
                values.size() * (t.bits / 8) % kEdfHeaderBlock);
      ExpectImage(ReadImage(bytes.value()), 7, 3, values);
    }
  }
  // Written by hand: the data start at the block after '}', Dim_1 is the row length.
  std::string header =
      "{\nDim_2 = 1 ;\nDataType = SignedShort ;\nByteOrder = HighByteFirst ;\nDim_1 = 2 ;\n";
  header += std::string(kEdfHeaderBlock - header.size() - 2, ' ') + "}\n";
  ExpectImage(ReadImage(Bytes(header + std::string("\xff\xfe\x00\x05", 4))), 2, 1, {-2, 5});
}

}  // namespace
}  // namespace zmr
