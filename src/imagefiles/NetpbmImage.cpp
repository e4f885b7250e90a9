#include "imagefiles/NetpbmImage.h"

#include <cstdio>
#include <string>

#include "state/Numeric.h"

namespace zmr {

namespace {

bool IsSpace(std::uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Walks the bytes of the header and of text samples.
class Scanner {
 public:
  explicit Scanner(ImageBytes bytes) : bytes_(bytes) {}
  std::size_t pos() const { return pos_; }
  void Advance(std::size_t n) { pos_ += n; }
  std::size_t Left() const { return bytes_.size() - pos_; }

  // Skips white space and comments (from '#' to the end of the line).
  void SkipSpace() {
    while (pos_ < bytes_.size()) {
      if (IsSpace(bytes_[pos_])) {
        ++pos_;
      } else if (bytes_[pos_] == '#') {
        while (pos_ < bytes_.size() && bytes_[pos_] != '\n' && bytes_[pos_] != '\r') ++pos_;
      } else {
        break;
      }
    }
  }

  // A decimal number of at most 10 digits; false when there is none or it is longer.
  bool Number(long long& value) {
    SkipSpace();
    std::size_t digits = 0;
    value = 0;
    while (pos_ < bytes_.size() && bytes_[pos_] >= '0' && bytes_[pos_] <= '9') {
      if (++digits > 10) return false;
      value = value * 10 + (bytes_[pos_] - '0');
      ++pos_;
    }
    return digits > 0;
  }

 private:
  ImageBytes bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

bool LooksLikeNetpbm(ImageBytes bytes) {
  return bytes.size() >= 3 && bytes[0] == 'P' &&
         (bytes[1] == '2' || bytes[1] == '3' || bytes[1] == '5' || bytes[1] == '6') &&
         (IsSpace(bytes[2]) || bytes[2] == '#');
}

ResultOf<CountImage> ReadNetpbm(ImageBytes bytes, const ImageReadLimits& limits) {
  if (!LooksLikeNetpbm(bytes)) return Result::Fail("not a PGM or PPM file");
  const char kind = static_cast<char>(bytes[1]);
  const bool binary = kind == '5' || kind == '6';
  const int channels = kind == '3' || kind == '6' ? 3 : 1;
  Scanner scan(bytes);
  scan.Advance(2);
  long long width = 0, height = 0, maxval = 0;
  if (!scan.Number(width) || !scan.Number(height) || !scan.Number(maxval)) {
    return Result::Fail("the PGM/PPM header is incomplete");
  }
  if (maxval < 1 || maxval > 65535) {
    return Result::Fail("the PGM/PPM maxval " + std::to_string(maxval) + " is outside 1..65535");
  }
  if (Result size = CheckImageSize(width, height, limits); !size) return size;
  const long long samples = width * height * channels;
  const std::size_t sampleBytes = maxval > 255 ? 2 : 1;
  if (binary) {
    // Exactly one white-space byte ends the header of a binary file.
    if (scan.Left() == 0 || !IsSpace(bytes[scan.pos()])) {
      return Result::Fail("the PGM/PPM header does not end in white space");
    }
    scan.Advance(1);
    const unsigned long long need = static_cast<unsigned long long>(samples) * sampleBytes;
    if (scan.Left() < need) {
      return Result::Fail("header says " + SizeText(width, height) + " but the file holds " +
                          std::to_string(scan.Left()) + " bytes");
    }
  } else if (static_cast<unsigned long long>(samples) > scan.Left() / 2 + 1) {
    // Every text sample takes a digit and a separator.
    return Result::Fail("header says " + SizeText(width, height) + " but the file holds " +
                        std::to_string(scan.Left()) + " bytes");
  }
  CountImage image;
  if (Result ok = AllocateCountImage(image, width, height, limits); !ok) return ok;
  for (std::size_t i = 0; i < image.values.size(); ++i) {
    long long sum = 0;
    for (int ch = 0; ch < channels; ++ch) {
      long long v = 0;
      if (binary) {
        const std::uint8_t* p = bytes.data() + scan.pos();
        v = sampleBytes == 2 ? (p[0] << 8) | p[1] : p[0];
        scan.Advance(sampleBytes);
      } else if (!scan.Number(v)) {
        return Result::Fail("the PGM/PPM text sample " +
                            std::to_string(i * channels + static_cast<std::size_t>(ch) + 1) +
                            " is missing or not a number");
      }
      if (v > maxval) {
        return Result::Fail("the PGM/PPM sample " + std::to_string(v) + " is above maxval " +
                            std::to_string(maxval));
      }
      sum += v;
    }
    image.values[i] = static_cast<double>(sum / channels);
  }
  return image;
}

ResultOf<std::vector<std::uint8_t>> EncodePgm(int width, int height,
                                              const std::vector<double>& values, int bitDepth) {
  if (width < 1 || height < 1 || (bitDepth != 8 && bitDepth != 16) ||
      values.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    return Result::Fail("no image to write");
  }
  char header[64];
  const int n = std::snprintf(header, sizeof header, "P5\n%d %d\n%d\n", width, height,
                              bitDepth == 8 ? 255 : 65535);
  std::vector<std::uint8_t> out(header, header + n);
  out.reserve(out.size() + values.size() * (bitDepth / 8));
  for (double value : values) {
    if (bitDepth == 8) {
      out.push_back(TruncateToward0<std::uint8_t>(value));
    } else {
      const std::uint16_t v = TruncateToward0<std::uint16_t>(value);
      out.push_back(static_cast<std::uint8_t>(v >> 8));
      out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
  }
  return out;
}

}  // namespace zmr
