// The image readers of TIFF, PNG, JPEG, PGM/PPM and EDF: files written by the libraries (or by
// hand) with known samples must read back to the same values, colour as (r + g + b) / 3. (The
// program's own encoders are read back by the tests of Save Image.)
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "imagefiles/EdfImage.h"
#include "imagefiles/ImageFormats.h"
#include "imagefiles/TiffImage.h"
#include "support/LibraryImages.h"
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

void ExpectImage(const ResultOf<CountImage>& got, int width, int height,
                 const std::vector<double>& expected) {
  ASSERT_TRUE(got.ok()) << got.message();
  EXPECT_EQ(got.value().width, width);
  EXPECT_EQ(got.value().height, height);
  EXPECT_EQ(got.value().values, expected);
}

class ImageReadersTest : public test::StateTest {};

TEST_F(ImageReadersTest, TiffOfEverySampleTypeLayoutAndCompressionReadsBack) {
  using T = test::LibraryTiff;
  const struct {
    const char* name;
    T layout;
  } cases[] = {
      {"u8", T{}},
      {"u16 strips of 3 rows", T{.bits = 16, .rowsPerStrip = 3}},
      {"u32", T{.bits = 32}},
      {"s8", T{.sampleFormat = 2}},
      {"s16", T{.bits = 16, .sampleFormat = 2}},
      {"s32", T{.bits = 32, .sampleFormat = 2}},
      {"f32", T{.bits = 32, .sampleFormat = 3}},
      {"f64", T{.bits = 64, .sampleFormat = 3}},
      {"rgb u8", T{.samplesPerPixel = 3, .photometric = 2}},
      {"rgb u16 planes",
       T{.bits = 16, .samplesPerPixel = 3, .photometric = 2, .separatePlanes = true}},
      {"rgba u8", T{.samplesPerPixel = 4, .photometric = 2}},
      {"grey+alpha u16", T{.bits = 16, .samplesPerPixel = 2}},
      {"tiles u16", T{.width = 20, .height = 18, .bits = 16, .tileSide = 16}},
      {"tiles rgb f32 planes", T{.width = 17,
                                 .height = 33,
                                 .bits = 32,
                                 .sampleFormat = 3,
                                 .samplesPerPixel = 3,
                                 .photometric = 2,
                                 .separatePlanes = true,
                                 .tileSide = 16}},
      {"lzw s16",
       T{.bits = 16, .sampleFormat = 2, .rowsPerStrip = 2, .compression = COMPRESSION_LZW}},
      {"deflate f64", T{.bits = 64, .sampleFormat = 3, .compression = COMPRESSION_ADOBE_DEFLATE}},
      {"packbits rgb u8",
       T{.samplesPerPixel = 3, .photometric = 2, .compression = COMPRESSION_PACKBITS}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int spp = c.layout.samplesPerPixel;
    std::vector<double> samples(static_cast<std::size_t>(c.layout.width) * c.layout.height * spp);
    for (std::size_t k = 0; k < samples.size(); ++k) {
      samples[k] = PatternSample(k, c.layout.bits, c.layout.sampleFormat);
    }
    const auto bytes = test::WriteLibraryTiff(c.layout, samples);
    const auto got = ReadImage(bytes);
    ExpectImage(got, c.layout.width, c.layout.height,
                Grey(samples, spp, spp >= 3 ? 3 : 1, c.layout.sampleFormat != 3));
    if (got.ok()) {
      EXPECT_TRUE(got.value().notes.empty());
    }
  }
}

TEST_F(ImageReadersTest, TiffOfSeveralPagesGivesTheFirstWithANote) {
  const std::vector<double> samples(20, 7.0);
  const auto got = ReadTiff(test::WriteLibraryTiff({.pages = 3}, samples));
  ExpectImage(got, 5, 4, samples);
  EXPECT_EQ(got.value().notes,
            std::vector<std::string>{"the TIFF holds 3 pages; the first was read"});
}

TEST_F(ImageReadersTest, PngOfEveryDepthAndColourTypeReadsBack) {
  using P = test::LibraryPng;
  const std::vector<std::uint8_t> palette = {10, 20, 30, 200, 100, 0, 255, 255, 255, 1, 2, 3};
  const struct {
    const char* name;
    P layout;
    int perPixel, used;
  } cases[] = {
      {"grey 1", P{.bitDepth = 1}, 1, 1},
      {"grey 2", P{.bitDepth = 2}, 1, 1},
      {"grey 4", P{.bitDepth = 4}, 1, 1},
      {"grey 8", P{}, 1, 1},
      {"grey 16", P{.bitDepth = 16}, 1, 1},
      {"grey 8 interlaced", P{.width = 13, .height = 11, .interlaced = true}, 1, 1},
      {"rgb 8", P{.colorType = PNG_COLOR_TYPE_RGB}, 3, 3},
      {"rgb 16", P{.bitDepth = 16, .colorType = PNG_COLOR_TYPE_RGB}, 3, 3},
      {"grey alpha 8", P{.colorType = PNG_COLOR_TYPE_GRAY_ALPHA}, 2, 1},
      {"rgba 16", P{.bitDepth = 16, .colorType = PNG_COLOR_TYPE_RGBA}, 4, 3},
      {"palette 2", P{.bitDepth = 2, .colorType = PNG_COLOR_TYPE_PALETTE, .palette = palette}, 1,
       0},
      {"palette 8", P{.colorType = PNG_COLOR_TYPE_PALETTE, .palette = palette}, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t n = static_cast<std::size_t>(c.layout.width) * c.layout.height * c.perPixel;
    const bool isPalette = c.layout.colorType == PNG_COLOR_TYPE_PALETTE;
    const unsigned range = isPalette ? 4u : 1u << c.layout.bitDepth;
    std::vector<unsigned> samples(n);
    std::vector<double> asDouble(n);
    for (std::size_t k = 0; k < n; ++k) {
      samples[k] = static_cast<unsigned>((k * 2654435761u) % range);
      asDouble[k] = samples[k];
    }
    std::vector<double> expected = Grey(asDouble, c.perPixel, c.used, true);
    if (isPalette) {
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* rgb = palette.data() + 3 * samples[i];
        expected[i] = (rgb[0] + rgb[1] + rgb[2]) / 3;
      }
    }
    ExpectImage(ReadImage(test::WriteLibraryPng(c.layout, samples)), c.layout.width,
                c.layout.height, expected);
  }
}

TEST_F(ImageReadersTest, JpegGreyAndColourOfFlatBlocksReadBackExactly) {
  // Flat 8 x 8 blocks survive quality 100 exactly; grey colours (r = g = b) have no chroma, also
  // in a JPEG-compressed TIFF (stored as YCbCr, given and read back as RGB).
  const int w = 32, h = 16;
  for (const int components : {1, 3}) {
    for (const bool progressive : {false, true}) {
      SCOPED_TRACE(std::to_string(components) + (progressive ? " progressive" : ""));
      std::vector<std::uint8_t> samples;
      std::vector<double> expected;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const auto level = static_cast<std::uint8_t>(30 + 50 * (x / 8) + 20 * (y / 8));
          samples.insert(samples.end(), components, level);
          expected.push_back(level);
        }
      }
      ExpectImage(ReadImage(test::WriteLibraryJpeg(w, h, components, samples, progressive)), w, h,
                  expected);
      if (components == 1 || progressive) continue;
      const test::LibraryTiff tiff = {.width = w,
                                      .height = h,
                                      .samplesPerPixel = 3,
                                      .photometric = 2,
                                      .rowsPerStrip = 16,
                                      .compression = COMPRESSION_JPEG};
      ExpectImage(ReadImage(test::WriteLibraryTiff(tiff, {samples.begin(), samples.end()})), w, h,
                  expected);
    }
  }
}

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST_F(ImageReadersTest, PgmAndPpmTextAndBinaryReadBack) {
  // Each file with its width, height and values.
  const std::tuple<std::string, int, int, std::vector<double>> cases[] = {
      {"P2\n# made by hand\n3 2 # size\n9\n0 1 2\n9 8 7\n", 3, 2, {0, 1, 2, 9, 8, 7}},
      {"P3 2 1 1000 1000 1000 999 0 1 2\n", 2, 1, {999, 1}},
      {std::string("P5\n2 2\n255\n\x00\x7f\x80\xff", 15), 2, 2, {0, 127, 128, 255}},
      {std::string("P5 3 1 65535\n\x00\x01\x12\x34\xff\xff", 19), 3, 1, {1, 0x1234, 65535}},
      {std::string("P6 1 1 300\n\x01\x2c\x00\x00\x00\x02", 17), 1, 1, {100}},  // 16-bit colour
  };
  for (const auto& [bytes, width, height, values] : cases) {
    SCOPED_TRACE(bytes.substr(0, 12));
    ExpectImage(ReadImage(Bytes(bytes)), width, height, values);
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

TEST_F(ImageReadersTest, NonFiniteFloatsReadAsZeroWithANote) {
  const std::vector<double> values = {1.5, NAN, INFINITY, -INFINITY};
  const auto got = ReadImage(EncodeEdf(2, 2, values, "DoubleValue", false).value());
  ExpectImage(got, 2, 2, {1.5, 0, 0, 0});
  EXPECT_EQ(got.value().notes,
            std::vector<std::string>{"3 NaN or infinite values of the image were read as 0"});
  const auto tiff = ReadImage(EncodeTiff(2, 2, values, TiffSamples::kFloat32).value());
  ExpectImage(tiff, 2, 2, {1.5, 0, 0, 0});
}

}  // namespace
}  // namespace zmr
