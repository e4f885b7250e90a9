#include "oracle/LiteralTextImage.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace zmr::oracle {

// Through a long so that the conversion itself never overflows (glibc saturates a long); the
// result is then wrapped to 32 bits, which is what the int conversion does for every value
// that fits a long.
int ConvertTextValueLiteral(std::FILE* f, const char* mode, int& value) {
  if (mode == nullptr) return 0;
  if (std::strcmp(mode, "%x") == 0) {
    unsigned long v = 0;
    const int r = std::fscanf(f, "%lx", &v);
    if (r == 1) value = static_cast<int>(static_cast<std::uint32_t>(v));
    return r;
  }
  long v = 0;
  int r = 0;
  if (std::strcmp(mode, "%i") == 0) {
    r = std::fscanf(f, "%li", &v);
  } else if (std::strcmp(mode, "%d") == 0) {
    r = std::fscanf(f, "%ld", &v);
  } else {
    return 0;
  }
  if (r == 1) value = static_cast<int>(static_cast<std::uint32_t>(v));
  return r;
}

TextCount CountTextValuesLiteral(std::FILE* f, const char* mode) {
  TextCount result;
  result.opened = true;
  for (;;) {
    int value = 0;
    const int r = ConvertTextValueLiteral(f, mode, value);
    if (r == EOF) break;
    if (r != 1) {
      // The stream does not advance past a token it cannot convert: stop instead of looping.
      result.badToken = true;
      break;
    }
    ++result.count;
  }
  return result;
}

int ReadTextValuesLiteral(std::FILE* f, int cx, int cy, int M, int N, int sx, int sy, int* piArray,
                          const char* mode) {
  if (piArray == nullptr) return 1;
  const long long width = std::max(cx, 0);
  const long long height = std::max(cy, 0);
  const long long total = width * height;
  std::fill(piArray, piArray + total, 0);

  int max = 0;
  if (M > 0 && N > 0) {
    // Positions in long long: sx + M may pass the int range for formats far off the image.
    bool reading = true;
    for (long long r = sy; reading && r < static_cast<long long>(sy) + N; ++r) {
      for (long long c = sx; c < static_cast<long long>(sx) + M; ++c) {
        int value = 0;
        if (ConvertTextValueLiteral(f, mode, value) != 1) {
          reading = false;
          break;
        }
        if (c >= 0 && c < width && r >= 0 && r < height) {
          piArray[r * width + c] = value;
          if (value > max) max = value;
        }
      }
    }
  }

  // With no positive value there is no finite scale; the image stays as read.
  if (max > 0) {
    for (long long k = 0; k < total; ++k) {
      // Toward zero; a quotient beyond the int range (a huge negative value) saturates.
      const double scaled = static_cast<double>(piArray[k]) / max * 255.0;
      piArray[k] = static_cast<int>(std::clamp(scaled, double{INT_MIN}, double{INT_MAX}));
    }
  }
  return 1;
}

}  // namespace zmr::oracle
