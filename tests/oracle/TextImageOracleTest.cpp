// The text image conversions against fscanf on generated streams of valid and invalid tokens,
// huge values and prefixes cut by chunk boundaries: values, result codes and stream positions
// of single conversions, the sequences of the chunked reader at every chunk size, the counts
// and the images.
#include <gtest/gtest.h>
#include <stdio.h>  // fmemopen
#include <unistd.h>

#include <random>

#include "imagefiles/TextImage.h"
#include "oracle/LiteralTextImage.h"

namespace {

using namespace zmr;

// Numbers of every shape the conversions know (signs, "0x" prefixes, leading zeros, pixel-sized
// values and values around 32 and 64 bits) between blanks of every kind or none, now and then
// followed by a token that is not a number.
std::string Stream(std::mt19937& rng) {
  static const std::vector<std::string> kPieces[] = {
      {" ", "\n", "\r\n", "\t", "\v", "\f", " \r\n\t ", ""},
      {"", "", "", "", "", "-", "+", "0x", "-0X", "+0x", "00", "-00", "0x00"},
      {"0123456789abcdefABCDEF", "0123456789", "01234567"},
      {"-", "+", "--1", "0x", "0xg", "x1", "z", ".5", "#", "1e5", "\xEF\xBB\xBF", "\xA0",
       std::string(1, '\0')}};
  const auto pick = [&](int set) -> const std::string& {
    return kPieces[set][rng() % kPieces[set].size()];
  };
  std::string s;
  const unsigned bad = rng() % 3 ? 1 + rng() % 6 : 0;
  for (int k = 1 + rng() % 60; k > 0; --k) {
    s += pick(0) + pick(1);
    const std::string& digits = pick(2);
    for (unsigned d = rng() % 5 ? 1 + rng() % 12 : 8 + rng() % 30; d > 0; --d)
      s += digits[rng() % digits.size()];
    if (rng() % 100 < bad) s += pick(3);
  }
  return s + pick(0);
}

// Result and value of every conversion up to the first that fails, with the stream position
// after each when a stream is given.
std::vector<long> Sequence(std::FILE* f, auto next) {
  std::vector<long> out;
  for (int r = 1, v = -7; r == 1;) out.insert(out.end(), {r = next(v), v, f ? std::ftell(f) : 0});
  return out;
}

TEST(TextImageOracleTest, ConversionsEqualFscanfOnGeneratedStreams) {
  std::mt19937 rng(101);
  for (int round = 0; round < 1200; ++round) {
    std::string bytes = Stream(rng);
    for (const char* mode : {"%x", "%i", "%d", "%s"}) {  // %s: no conversion at all
      SCOPED_TRACE(mode + (" on \"" + bytes + "\""));
      std::FILE* ref = fmemopen(bytes.data(), bytes.size(), "r");
      std::FILE* ours = fmemopen(bytes.data(), bytes.size(), "r");
      std::vector<long> want =
          Sequence(ref, [&](int& v) { return oracle::ConvertTextValueLiteral(ref, mode, v); });
      ASSERT_EQ(Sequence(ours, [&](int& v) { return ConvertTextValue(ours, mode, v); }), want);
      for (std::size_t k = 2; k < want.size(); k += 3) want[k] = 0;  // readers have no position
      for (std::size_t chunk : {1, 2, 3, 5, 8, 13, 64, 1 << 20}) {
        std::rewind(ours);
        TextValueReader reader(ours, mode, chunk);
        ASSERT_EQ(Sequence(nullptr, [&](int& v) { return reader.Next(v); }), want) << chunk;
        // The same through runs of plain values, Next taking what they leave.
        std::rewind(ours);
        TextValueReader runs(ours, mode, chunk);
        std::vector<int> run(1 + rng() % 7);
        std::size_t stored = 0, given = 0;
        const auto next = [&](int& v) {
          if (given == stored && (given = 0, stored = runs.NextMany(run.data(), run.size())) == 0) {
            return runs.Next(v);
          }
          v = run[given++];
          return 1;
        };
        ASSERT_EQ(Sequence(nullptr, next), want) << chunk;
      }
      // The count, and an image of any shape placed anywhere around a small working image.
      std::rewind(ref);
      const TextCount got = CountTextValuesInBuffer(bytes, mode),
                      count = oracle::CountTextValuesLiteral(ref, mode);
      ASSERT_EQ(std::pair(got.count, got.badToken), std::pair(count.count, count.badToken));
      const int cx = 1 + rng() % 9, cy = 1 + rng() % 9, M = rng() % 12, N = rng() % 12;
      const int sx = static_cast<int>(rng() % 16) - 8, sy = static_cast<int>(rng() % 16) - 8;
      std::vector<int> image(cx * cy, -3), expected = image;
      std::rewind(ref);
      oracle::ReadTextValuesLiteral(ref, cx, cy, M, N, sx, sy, expected.data(), mode);
      ReadTextValuesInBuffer(bytes, cx, cy, M, N, sx, sy, image.data(), mode);
      ASSERT_EQ(image, expected);
      // An Ostrel file counted once, its values kept and then placed.
      if (mode[1] == 'x') {
        // Named for the process: other test runs on the machine share the folder.
        const std::string path =
            testing::TempDir() + "kept-values-" + std::to_string(::getpid()) + ".txt";
        std::FILE* file = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        std::vector<int> kept;
        const TextCount keeping = CountOstrelArrayKeeping(path.c_str(), mode, 1 << 20, kept);
        std::remove(path.c_str());
        ASSERT_EQ(keeping.count, count.count);
        if (!keeping.badToken) {
          ASSERT_EQ(kept.size(), static_cast<std::size_t>(count.count));
          std::fill(image.begin(), image.end(), -3);
          PlaceTextValues(kept, cx, cy, M, N, sx, sy, image.data());
          ASSERT_EQ(image, expected);
        }
      }
      std::fclose(ref), std::fclose(ours);
    }
  }
}

}  // namespace
