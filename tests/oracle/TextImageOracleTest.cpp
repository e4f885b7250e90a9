// The chunked text reader against fscanf: every value, every result code, the stream position
// of single conversions, the counts and the images must be the same on generated streams of
// valid and invalid tokens, huge values and prefixes cut by chunk boundaries.
#include <gtest/gtest.h>
#include <stdio.h>  // fmemopen

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "imagefiles/TextImage.h"
#include "oracle/LiteralTextImage.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

struct Rng {
  explicit Rng(std::uint32_t seed) : engine(seed) {}
  int Below(int n) { return static_cast<int>(engine() % static_cast<std::uint32_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  std::mt19937 engine;
};

std::string Digits(Rng& rng, const std::string& alphabet, int count) {
  std::string out;
  for (int i = 0; i < count; ++i)
    out += alphabet[static_cast<std::size_t>(rng.Below(static_cast<int>(alphabet.size())))];
  return out;
}

// One token: mostly numbers of every shape the conversions know, sometimes something that is
// not a number, or a number glued to such a thing.
std::string Token(Rng& rng, int badPercent) {
  static const std::string kHex = "0123456789abcdefABCDEF";
  static const std::string kDec = "0123456789";
  static const std::string kOct = "01234567";
  static const std::vector<std::string> kBad = {"-",
                                                "+",
                                                "--1",
                                                "+-2",
                                                "0x",
                                                "0X",
                                                "0xg",
                                                "x1",
                                                "g",
                                                "z",
                                                ".5",
                                                "1.5",
                                                "0x.",
                                                "-0x",
                                                std::string("\0", 1),
                                                std::string("7\0", 2),
                                                "\xEF\xBB\xBF",
                                                "\xA0",
                                                "\x80",
                                                "1e5",
                                                "#"};
  if (rng.Chance(badPercent))
    return kBad[static_cast<std::size_t>(rng.Below(static_cast<int>(kBad.size())))];
  std::string t;
  const int sign = rng.Below(6);
  if (sign == 0) t += '-';
  if (sign == 1) t += '+';
  if (rng.Chance(20)) t += rng.Chance(50) ? "0x" : "0X";
  if (rng.Chance(15)) t += std::string(static_cast<std::size_t>(1 + rng.Below(4)), '0');
  const int shape = rng.Below(10);
  if (shape < 5) {
    t += Digits(rng, kHex, 1 + rng.Below(3));  // pixel-sized values
  } else if (shape < 7) {
    t += Digits(rng, kDec, 1 + rng.Below(10));
  } else if (shape < 8) {
    t += Digits(rng, kOct, 1 + rng.Below(12));
  } else {
    t += Digits(rng, rng.Chance(50) ? kHex : kDec, 8 + rng.Below(30));  // around 32 and 64 bits
  }
  return t;
}

std::string Separator(Rng& rng) {
  static const std::vector<std::string> kSeparators = {" ",  " ",  " ",  "\n", "\r\n",
                                                       "\t", "  ", "\v", "\f", " \r\n\t "};
  return kSeparators[static_cast<std::size_t>(rng.Below(static_cast<int>(kSeparators.size())))];
}

std::string Stream(Rng& rng) {
  std::string s;
  if (rng.Chance(20)) s += Separator(rng);
  const int tokens = rng.Below(60);
  const int badPercent = rng.Chance(30) ? 0 : 1 + rng.Below(6);
  for (int k = 0; k < tokens; ++k) {
    s += Token(rng, badPercent);
    if (k + 1 < tokens || rng.Chance(60)) s += Separator(rng);
  }
  return s;
}

std::FILE* Open(std::string& bytes) {
  // fmemopen of an empty buffer fails; a stream of one blank reads the same as an empty one
  // for every conversion (nothing but white space), so use that instead.
  if (bytes.empty()) return fmemopen(const_cast<char*>(" "), 1, "r");
  return fmemopen(bytes.data(), bytes.size(), "r");
}

struct Sequence {
  std::vector<int> values;
  int last = 0;
  bool operator==(const Sequence&) const = default;
};

Sequence LiteralSequence(std::string bytes, const char* mode) {
  Sequence out;
  std::FILE* f = Open(bytes);
  int value = 0;
  while ((out.last = oracle::ConvertTextValueLiteral(f, mode, value)) == 1) {
    out.values.push_back(value);
  }
  std::fclose(f);
  return out;
}

Sequence ReaderSequence(TextValueReader& reader) {
  Sequence out;
  int value = 0;
  while ((out.last = reader.Next(value)) == 1) out.values.push_back(value);
  return out;
}

std::string Show(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

const char* const kModes[] = {"%x", "%i", "%d"};

TEST(TextImageOracleTest, SingleConversionsMatchFscanfValueAndPosition) {
  Rng rng(101);
  for (int round = 0; round < 1500; ++round) {
    std::string bytes = Stream(rng);
    for (const char* mode : kModes) {
      std::FILE* ours = Open(bytes);
      std::FILE* ref = Open(bytes);
      for (;;) {
        int got = -7;
        int want = -7;
        const int r = ConvertTextValue(ours, mode, got);
        const int w = oracle::ConvertTextValueLiteral(ref, mode, want);
        ASSERT_EQ(r, w) << mode << " on \"" << Show(bytes) << "\"";
        ASSERT_EQ(got, want) << mode << " on \"" << Show(bytes) << "\"";
        ASSERT_EQ(std::ftell(ours), std::ftell(ref)) << mode << " on \"" << Show(bytes) << "\"";
        if (r != 1) break;
      }
      std::fclose(ours);
      std::fclose(ref);
    }
  }
}

TEST(TextImageOracleTest, ChunkedReaderMatchesFscanfAtEveryChunkSize) {
  Rng rng(202);
  const std::size_t chunks[] = {1, 2, 3, 5, 8, 13, 64, TextValueReader::kChunkBytes};
  for (int round = 0; round < 800; ++round) {
    std::string bytes = Stream(rng);
    for (const char* mode : kModes) {
      const Sequence want = LiteralSequence(bytes, mode);
      TextValueReader inMemory(bytes.data(), bytes.size(), mode);
      ASSERT_EQ(ReaderSequence(inMemory), want) << mode << " on \"" << Show(bytes) << "\"";
      for (std::size_t chunk : chunks) {
        std::FILE* f = Open(bytes);
        TextValueReader reader(f, mode, chunk);
        ASSERT_EQ(ReaderSequence(reader), want)
            << mode << " chunk " << chunk << " on \"" << Show(bytes) << "\"";
        std::fclose(f);
      }
    }
  }
}

TEST(TextImageOracleTest, CountsAndImagesMatchTheFscanfPath) {
  Rng rng(303);
  for (int round = 0; round < 600; ++round) {
    std::string bytes = Stream(rng);
    for (const char* mode : kModes) {
      std::FILE* f = Open(bytes);
      const TextCount want = oracle::CountTextValuesLiteral(f, mode);
      std::fclose(f);
      const TextCount got = CountTextValuesInBuffer(bytes, mode);
      ASSERT_EQ(got.count, want.count) << mode << " on \"" << Show(bytes) << "\"";
      ASSERT_EQ(got.badToken, want.badToken) << mode << " on \"" << Show(bytes) << "\"";

      // A placement anywhere around a small image, the file image of any shape.
      const int cx = 1 + rng.Below(9);
      const int cy = 1 + rng.Below(9);
      const int M = rng.Below(12);
      const int N = rng.Below(12);
      const int sx = rng.Below(16) - 8;
      const int sy = rng.Below(16) - 8;
      std::vector<int> expected(static_cast<std::size_t>(cx * cy), -3);
      std::vector<int> image(expected.size(), -3);
      f = Open(bytes);
      oracle::ReadTextValuesLiteral(f, cx, cy, M, N, sx, sy, expected.data(), mode);
      std::fclose(f);
      ReadTextValuesInBuffer(bytes, cx, cy, M, N, sx, sy, image.data(), mode);
      ASSERT_EQ(image, expected) << mode << " on \"" << Show(bytes) << "\"";
    }
  }
}

TEST(TextImageOracleTest, FileWrappersMatchOnALargeGeneratedFile) {
  test::TempDir dir;
  Rng rng(404);
  std::string bytes;
  for (int k = 0; k < 200000; ++k) bytes += Token(rng, 0) + Separator(rng);
  bytes += "7 x 9";  // a bad token near the end
  test::WriteFile("big.txt", bytes);
  for (const char* mode : kModes) {
    std::FILE* f = std::fopen("big.txt", "r");
    const TextCount want = oracle::CountTextValuesLiteral(f, mode);
    std::fclose(f);
    const TextCount got = CountOstrelArrayChecked("big.txt", mode);
    EXPECT_EQ(got.count, want.count) << mode;
    EXPECT_TRUE(got.badToken) << mode;
    EXPECT_EQ(want.badToken, got.badToken) << mode;

    const int side = 400;
    std::vector<int> expected(side * side, -1);
    std::vector<int> image(side * side, -1);
    f = std::fopen("big.txt", "r");
    oracle::ReadTextValuesLiteral(f, side, side, 450, 450, -20, -30, expected.data(), mode);
    std::fclose(f);
    ASSERT_EQ(ReadOstrelArray("big.txt", side, side, 450, 450, -20, -30, image.data(), mode), 1);
    EXPECT_EQ(image, expected) << mode;
  }
}

}  // namespace
}  // namespace zmr
