#include "imagefiles/TextImage.h"

#include <stdio.h>  // fmemopen

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "state/Numeric.h"
#include "state/ProgramState.h"

namespace zmr {

namespace {

// Opens a read-only stream over bytes; the caller closes it. Null when out of memory.
std::FILE* OpenBuffer(const std::string& bytes) {
  // fmemopen never writes in mode "r"; the cast only satisfies its signature.
  return fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
}

}  // namespace

// Converted as fscanf with the mode into an int would be, but through a long so that the
// conversion itself never overflows (glibc saturates a long); the result is then wrapped to
// 32 bits, which is what the int conversion does for every value that fits a long.
int ConvertTextValue(std::FILE* f, const char* mode, int& value) {
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

TextCount CountTextValues(std::FILE* f, const char* mode) {
  TextCount result;
  result.opened = true;
  for (;;) {
    int value = 0;
    const int r = ConvertTextValue(f, mode, value);
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

TextCount CountTextValuesInBuffer(const std::string& bytes, const char* mode) {
  std::FILE* f = OpenBuffer(bytes);
  if (f == nullptr) return {};
  TextCount result = CountTextValues(f, mode);
  std::fclose(f);
  return result;
}

TextCount CountOstrelArrayChecked(const char* Fname, const char* mode) {
  std::FILE* f = std::fopen(Fname, "r");
  if (f == nullptr) return {};
  TextCount result = CountTextValues(f, mode);
  std::fclose(f);
  return result;
}

int CountOstrelArray(const char* Fname, const char* mode) {
  return CountOstrelArrayChecked(Fname, mode).count;
}

int ReadTextValues(std::FILE* f, int cx, int cy, int M, int N, int sx, int sy, int* piArray,
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
        if (ConvertTextValue(f, mode, value) != 1) {
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
      piArray[k] = TruncateToward0<int>(static_cast<double>(piArray[k]) / max * 255.0);
    }
  }
  return 1;
}

int ReadTextValuesInBuffer(const std::string& bytes, int cx, int cy, int M, int N, int sx, int sy,
                           int* piArray, const char* mode) {
  std::FILE* f = OpenBuffer(bytes);
  if (f == nullptr) return 1;
  ReadTextValues(f, cx, cy, M, N, sx, sy, piArray, mode);
  std::fclose(f);
  return 1;
}

int ReadOstrelArray(const char* Fname, int cx, int cy, int M, int N, int sx, int sy, int* piArray,
                    const char* mode) {
  std::FILE* f = std::fopen(Fname, "r");
  if (f == nullptr) return 0;
  ReadTextValues(f, cx, cy, M, N, sx, sy, piArray, mode);
  std::fclose(f);
  return 1;
}

int GetImageFormats(int TotalSize, int* Iformat) {
  // Divisors from 2 to TotalSize / 2 in increasing order, found in pairs up to the square root
  // (d >= 2 and d * d <= TotalSize give 2 <= d <= TotalSize / d <= TotalSize / 2).
  std::vector<int> low;
  std::vector<int> high;
  for (int d = 2; static_cast<long long>(d) * d <= TotalSize; ++d) {
    if (TotalSize % d != 0) continue;
    low.push_back(d);
    if (TotalSize / d != d) high.push_back(TotalSize / d);
  }
  std::vector<int> widths(low);
  widths.insert(widths.end(), high.rbegin(), high.rend());

  // Nearness to square grows towards the middle of the list, and entries i and n-1-i are
  // equally square, so the most nearly square ones form the middle run; an odd surplus drops
  // one more from the wide end, keeping the narrower of a tied pair as the proposal rule does.
  const int n = static_cast<int>(widths.size());
  const int kept = std::min(n, kMaxImageFormats);
  const int first = (n - kept) / 2;
  for (int i = 0; i < kept; ++i) {
    const int w = widths[static_cast<std::size_t>(first + i)];
    Iformat[2 * i] = w;
    Iformat[2 * i + 1] = TotalSize / w;
  }
  return kept;
}

int FindOptimumFormat(int Nformats, const int* Iformat) {
  const auto skew = [Iformat](int i) {
    return std::llabs(static_cast<long long>(Iformat[2 * i]) - Iformat[2 * i + 1]);
  };
  int best = 0;
  for (int i = 0; i < Nformats; ++i) {
    if (skew(i) < skew(best)) best = i;
  }
  return best;
}

void InitImageOffsetTable(int ORBIKsize, int ImageSize, int& offset) {
  // 724 has its own fixed place, 160, not the centred 150.
  if (ImageSize == 724) {
    offset = 160;
  } else if (ImageSize == 768 || ImageSize == 769) {
    offset = 128;
  } else if (ImageSize % 2 == 0) {
    offset = ORBIKsize / 2 - ImageSize / 2;
  } else {
    offset = ORBIKsize / 2 - (ImageSize - 1) / 2;
  }
}

}  // namespace zmr
