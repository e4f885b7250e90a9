#include "imagefiles/TextImage.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "state/FileOpen.h"
#include "state/Numeric.h"
#include "state/ProgramState.h"

namespace zmr {

namespace {

enum class Conversion { kNone, kHex, kInteger, kDecimal };

Conversion ConversionOf(const char* mode) {
  if (mode == nullptr) return Conversion::kNone;
  if (std::strcmp(mode, "%x") == 0) return Conversion::kHex;
  if (std::strcmp(mode, "%i") == 0) return Conversion::kInteger;
  if (std::strcmp(mode, "%d") == 0) return Conversion::kDecimal;
  return Conversion::kNone;
}

// White space of the formatted-input conversions in the C locale.
constexpr bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Digit values: 0..15 for 0-9, a-f, A-F; kNoDigit for every other byte and for EOF.
constexpr int kNoDigit = 99;
struct DigitTable {
  unsigned char value[256];
  constexpr DigitTable() : value() {
    for (int c = 0; c < 256; ++c) {
      value[c] = kNoDigit;
      if (c >= '0' && c <= '9') value[c] = static_cast<unsigned char>(c - '0');
      if (c >= 'a' && c <= 'f') value[c] = static_cast<unsigned char>(c - 'a' + 10);
      if (c >= 'A' && c <= 'F') value[c] = static_cast<unsigned char>(c - 'A' + 10);
    }
  }
};
constexpr DigitTable kDigits;

// White space as IsSpace, by table: one load a byte in the loops over plain values.
struct SpaceTable {
  bool space[256];
  constexpr SpaceTable() : space() {
    for (int c = 0; c < 256; ++c) space[c] = IsSpace(c);
  }
};
constexpr SpaceTable kSpaces;

inline int DigitOf(int c) { return c == EOF ? kNoDigit : kDigits.value[c & 0xFF]; }

// The base a conversion starts with: 0 for "%i", which the prefix decides.
inline int StartBase(Conversion conversion) {
  return conversion == Conversion::kHex ? 16 : conversion == Conversion::kInteger ? 0 : 10;
}

// Adds a digit to the magnitude unless it already passed 64 bits.
inline void Accumulate(std::uint64_t& magnitude, bool& overflow, int base, int digit) {
  const auto b = static_cast<std::uint64_t>(base);
  const auto d = static_cast<std::uint64_t>(digit);
  // Below 2^59 no base up to 16 can carry it past 64 bits.
  if (magnitude < (std::uint64_t{1} << 59)) {
    magnitude = magnitude * b + d;
    return;
  }
  std::uint64_t next = 0;
  if (overflow || __builtin_mul_overflow(magnitude, b, &next) ||
      __builtin_add_overflow(next, d, &next)) {
    overflow = true;
  } else {
    magnitude = next;
  }
}

// The digits converted as strtoul ("%x") or strtol ("%i", "%d") would convert them into a
// long, then wrapped to 32 bits as the int conversion does.
int Finish(Conversion conversion, bool negative, std::uint64_t magnitude, bool overflow) {
  std::uint64_t result = 0;
  if (conversion == Conversion::kHex) {
    // strtoul: the magnitude, negated modulo 2^64 after a minus; ULONG_MAX beyond 64 bits.
    result = overflow ? UINT64_MAX : negative ? 0 - magnitude : magnitude;
  } else {
    // strtol: LONG_MAX or LONG_MIN beyond the range of a long.
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : INT64_MAX;
    if (overflow || magnitude > limit) {
      result = negative ? std::uint64_t{1} << 63 : static_cast<std::uint64_t>(INT64_MAX);
    } else {
      result = negative ? 0 - magnitude : magnitude;
    }
  }
  return static_cast<int>(static_cast<std::uint32_t>(result));
}

// One conversion of the formatted input, on any source of bytes with Get() (a byte, or EOF)
// and Unget(c) (gives back the byte just read). It consumes what fscanf consumes: white space,
// a sign, a "0" and, where the base allows a prefix, an "x" or "X", the digits, and gives back
// only the byte that ended the number. Returns 1, 0 (no digit: nothing is stored) or EOF (only
// white space was left).
template <class Source>
int ScanValue(Source& in, Conversion conversion, int& value) {
  if (conversion == Conversion::kNone) return 0;
  int c = in.Get();
  while (IsSpace(c)) c = in.Get();
  if (c == EOF) return EOF;

  bool negative = false;
  if (c == '-' || c == '+') {
    negative = c == '-';
    c = in.Get();
  }
  int base = StartBase(conversion);
  bool digits = false;
  if (c == '0') {
    digits = true;
    c = in.Get();
    if (c == 'x' || c == 'X') {
      if (base == 0) base = 16;
      if (base == 16) c = in.Get();
    } else if (base == 0) {
      base = 8;
    }
  }
  if (base == 0) base = 10;

  std::uint64_t magnitude = 0;
  bool overflow = false;
  for (int d = DigitOf(c); d < base; d = DigitOf(c)) {
    digits = true;
    Accumulate(magnitude, overflow, base, d);
    c = in.Get();
  }
  in.Unget(c);
  if (!digits) return 0;
  value = Finish(conversion, negative, magnitude, overflow);
  return 1;
}

// ScanValue over bytes [p, end) already in memory, for a token that starts at p (white space
// skipped) and whose end lies before end. Returns kNeedMore, with nothing changed, when the
// token (or the byte that ends it) reaches end; otherwise 1 or 0 as ScanValue, with *stop at
// the first byte not consumed.
constexpr int kNeedMore = -2;
inline int ScanInBuffer(const unsigned char* p, const unsigned char* end, Conversion conversion,
                        int& value, const unsigned char** stop) {
  bool negative = false;
  if (*p == '-' || *p == '+') {
    negative = *p == '-';
    if (++p == end) return kNeedMore;
  }
  int base = StartBase(conversion);
  bool digits = false;
  if (*p == '0') {
    digits = true;
    if (++p == end) return kNeedMore;
    if (*p == 'x' || *p == 'X') {
      if (base == 0) base = 16;
      if (base == 16 && ++p == end) return kNeedMore;
    } else if (base == 0) {
      base = 8;
    }
  }
  if (base == 0) base = 10;

  std::uint64_t magnitude = 0;
  bool overflow = false;
  for (int d = kDigits.value[*p]; d < base; d = kDigits.value[*p]) {
    digits = true;
    Accumulate(magnitude, overflow, base, d);
    if (++p == end) return kNeedMore;
  }
  *stop = p;
  if (!digits) return 0;
  value = Finish(conversion, negative, magnitude, overflow);
  return 1;
}

// A stream read one byte at a time, giving back at most one: the position after a conversion
// is the one fscanf leaves.
class StreamSource {
 public:
  explicit StreamSource(std::FILE* f) : f_(f) {}
  int Get() { return getc(f_); }
  void Unget(int c) {
    if (c != EOF) ungetc(c, f_);
  }

 private:
  std::FILE* f_;
};

}  // namespace

// Bytes from memory, refilled in chunks from a stream when one is given.
class TextValueReader::Source {
 public:
  // The buffer is not cleared: only bytes fread stored are ever read.
  Source(std::FILE* f, std::size_t chunkBytes)
      : f_(f),
        size_(std::max<std::size_t>(chunkBytes, 1)),
        buffer_(std::make_unique_for_overwrite<unsigned char[]>(size_)) {}
  Source(const char* data, std::size_t size)
      : next_(reinterpret_cast<const unsigned char*>(data)), end_(next_ + size) {}

  int Get() {
    if (next_ == end_ && !Refill()) return EOF;
    return *next_++;
  }

  // A token that lies wholly in the buffer is converted there; one that runs into the end
  // of the buffer (once per chunk) goes through Get and Unget.
  int Next(Conversion conversion, int& value) {
    if (conversion == Conversion::kNone) return 0;
    const unsigned char* p = next_;
    while (p != end_ && IsSpace(*p)) ++p;
    next_ = p;
    if (p != end_) {
      const unsigned char* stop = p;
      const int result = ScanInBuffer(p, end_, conversion, value, &stop);
      if (result != kNeedMore) {
        next_ = stop;
        return result;
      }
    }
    return ScanValue(*this, conversion, value);
  }
  // Plain tokens wholly in the buffer: digits of the base only, at most 15 of them (no base up
  // to 16 carries 15 digits past 64 bits, so no overflow check is needed), the first not a
  // "0" that may start a prefix. Their value is the magnitude wrapped to 32 bits, which is
  // what Finish gives for an unsigned magnitude below 2^63.
  std::size_t NextMany(Conversion conversion, int* values, std::size_t most) {
    if (conversion == Conversion::kHex) return PlainRun<16>(values, most);
    if (conversion == Conversion::kDecimal) return PlainRun<10>(values, most);
    return 0;
  }
  // Only the byte just read is given back, so it is still in the buffer.
  void Unget(int c) {
    if (c != EOF) --next_;
  }

 private:
  template <unsigned kBase>
  std::size_t PlainRun(int* values, std::size_t most) {
    constexpr std::ptrdiff_t kMostDigits = 15;
    const unsigned char* p = next_;
    const unsigned char* const end = end_;
    std::size_t stored = 0;
    while (stored < most) {
      while (p != end && kSpaces.space[*p]) ++p;
      if (p == end) break;
      if (kBase == 16 && *p == '0' && (p + 1 == end || p[1] == 'x' || p[1] == 'X')) break;
      const unsigned char* const first = p;
      const unsigned char* const last = end - first > kMostDigits ? first + kMostDigits : end;
      std::uint64_t magnitude = 0;
      for (unsigned d = kDigits.value[*p]; d < kBase; d = kDigits.value[*p]) {
        magnitude = magnitude * kBase + d;
        if (++p == last) break;
      }
      // Not a plain token: no digit, or digits up to the buffer's end or the digit limit.
      if (p == first || p == last) {
        p = first;
        break;
      }
      values[stored++] = static_cast<int>(static_cast<std::uint32_t>(magnitude));
    }
    next_ = p;
    return stored;
  }

  bool Refill() {
    if (f_ == nullptr) return false;
    const std::size_t got = std::fread(buffer_.get(), 1, size_, f_);
    if (got == 0) return false;
    next_ = buffer_.get();
    end_ = next_ + got;
    return true;
  }

  std::FILE* f_ = nullptr;
  std::size_t size_ = 0;
  std::unique_ptr<unsigned char[]> buffer_;
  const unsigned char* next_ = nullptr;
  const unsigned char* end_ = nullptr;
};

TextValueReader::TextValueReader(std::FILE* f, const char* mode, std::size_t chunkBytes)
    : source_(std::make_unique<Source>(f, chunkBytes)),
      conversion_(static_cast<int>(ConversionOf(mode))) {}

TextValueReader::TextValueReader(const char* data, std::size_t size, const char* mode)
    : source_(std::make_unique<Source>(data, size)),
      conversion_(static_cast<int>(ConversionOf(mode))) {}

TextValueReader::~TextValueReader() = default;

int TextValueReader::Next(int& value) {
  return source_->Next(static_cast<Conversion>(conversion_), value);
}

std::size_t TextValueReader::NextMany(int* values, std::size_t most) {
  return source_->NextMany(static_cast<Conversion>(conversion_), values, most);
}

int ConvertTextValue(std::FILE* f, const char* mode, int& value) {
  StreamSource source(f);
  return ScanValue(source, ConversionOf(mode), value);
}

namespace {

// Counts, and keeps the values in *kept (when not null) until more than keepAtMost were counted
// or memory ran out: *kept is then emptied and nothing more is kept.
TextCount CountKeeping(TextValueReader& reader, std::vector<int>* kept, long long keepAtMost) {
  TextCount result;
  result.opened = true;
  // Plain values come in runs from NextMany; whatever it leaves goes through Next, one value.
  constexpr std::size_t kRun = 4096;
  int run[kRun];
  for (;;) {
    std::size_t n = reader.NextMany(run, kRun);
    if (n == 0) {
      const int r = reader.Next(run[0]);
      if (r == EOF) break;
      if (r != 1) {
        // A token that converts nothing is never passed: stop instead of looping.
        result.badToken = true;
        break;
      }
      n = 1;
    }
    if (static_cast<long long>(result.count) + static_cast<long long>(n) > kMaxImagePixels) {
      // No image of this many pixels can be held: the rest of the file does not matter.
      result.count = kMaxImagePixels + 1;
      result.tooMany = true;
      break;
    }
    result.count += static_cast<int>(n);
    if (kept == nullptr) continue;
    if (result.count > keepAtMost) {
      std::vector<int>().swap(*kept);
      kept = nullptr;
      continue;
    }
    try {
      kept->insert(kept->end(), run, run + n);
    } catch (const std::bad_alloc&) {
      std::vector<int>().swap(*kept);
      kept = nullptr;
    }
  }
  return result;
}

// Scales the image so that max (the largest value placed) becomes 255; see ReadTextValues.
void ScaleToGreyLevels(int* piArray, long long total, int max) {
  // With no positive value there is no finite scale; the image stays as read.
  if (max <= 0) return;
  const auto scaled = [max](int v) {
    return TruncateToward0<int>(static_cast<double>(v) / max * 255.0);
  };
  // Detector counts span far fewer values than pixels: a table of the scaled values 0 .. max
  // computed with the same expression replaces the division where it is small enough.
  if (max > kMaxScaleTable) {
    for (long long k = 0; k < total; ++k) piArray[k] = scaled(piArray[k]);
    return;
  }
  std::vector<int> table(static_cast<std::size_t>(max) + 1);
  for (int v = 0; v <= max; ++v) table[static_cast<std::size_t>(v)] = scaled(v);
  for (long long k = 0; k < total; ++k) {
    const int v = piArray[k];
    piArray[k] = v >= 0 ? table[static_cast<std::size_t>(v)] : scaled(v);
  }
}

// Places the values next() gives (1 for a value, anything else at the end) as an M x N image
// at (sx, sy) of the cx x cy array, then scales it; see ReadTextValues.
template <typename Next>
void PlaceAndScale(const Next& next, int cx, int cy, int M, int N, int sx, int sy, int* piArray) {
  const long long width = std::max(cx, 0);
  const long long height = std::max(cy, 0);
  const long long total = width * height;
  std::fill(piArray, piArray + total, 0);

  int max = 0;
  if (M > 0 && N > 0) {
    // Positions in long long: sx + M may pass the int range for formats far off the image.
    bool reading = true;
    for (long long r = sy; reading && r < static_cast<long long>(sy) + N; ++r) {
      const bool rowInside = r >= 0 && r < height;
      for (long long c = sx; c < static_cast<long long>(sx) + M; ++c) {
        int value = 0;
        if (next(value) != 1) {
          reading = false;
          break;
        }
        if (rowInside && c >= 0 && c < width) {
          piArray[r * width + c] = value;
          if (value > max) max = value;
        }
      }
    }
  }

  ScaleToGreyLevels(piArray, total, max);
}

}  // namespace

TextCount CountTextValues(TextValueReader& reader) { return CountKeeping(reader, nullptr, 0); }

TextCount CountTextValues(std::FILE* f, const char* mode) {
  TextValueReader reader(f, mode);
  return CountTextValues(reader);
}

TextCount CountTextValuesInBuffer(const std::string& bytes, const char* mode) {
  TextValueReader reader(bytes.data(), bytes.size(), mode);
  return CountTextValues(reader);
}

TextCount CountOstrelArrayChecked(const char* Fname, const char* mode) {
  std::FILE* f = OpenFile(Fname, "r");
  if (f == nullptr) return {};
  TextCount result = CountTextValues(f, mode);
  std::fclose(f);
  return result;
}

TextCount CountOstrelArrayKeeping(const char* Fname, const char* mode, long long keepAtMost,
                                  std::vector<int>& values) {
  values.clear();
  std::FILE* f = OpenFile(Fname, "r");
  if (f == nullptr) return {};
  // Room for as many values as the file can hold (a value and its separator take two bytes at
  // least), up to keepAtMost: the values are then kept without the copies and fresh pages of
  // growth. Room never written costs no memory; without it the vector grows as it goes.
  if (struct stat st{}; fstat(fileno(f), &st) == 0 && st.st_size > 0 && keepAtMost > 0) {
    try {
      values.reserve(static_cast<std::size_t>(
          std::min<long long>(keepAtMost, static_cast<long long>(st.st_size) / 2 + 1)));
    } catch (const std::bad_alloc&) {
    }
  }
  TextValueReader reader(f, mode);
  TextCount result = CountKeeping(reader, &values, keepAtMost);
  std::fclose(f);
  if (result.badToken || result.tooMany) {
    std::vector<int>().swap(values);
  } else if (values.capacity() > values.size() + values.size() / 4) {
    // Growth may have left up to twice the room; the image arrays are allocated next.
    try {
      values.shrink_to_fit();
    } catch (const std::bad_alloc&) {
      std::vector<int>().swap(values);
    }
  }
  return result;
}

int CountOstrelArray(const char* Fname, const char* mode) {
  return CountOstrelArrayChecked(Fname, mode).count;
}

int ReadTextValues(TextValueReader& reader, int cx, int cy, int M, int N, int sx, int sy,
                   int* piArray) {
  if (piArray == nullptr) return 1;
  PlaceAndScale([&reader](int& value) { return reader.Next(value); }, cx, cy, M, N, sx, sy,
                piArray);
  return 1;
}

void PlaceTextValues(const std::vector<int>& values, int cx, int cy, int M, int N, int sx, int sy,
                     int* piArray) {
  // As PlaceAndScale with the values in hand: a row's columns inside the image are one copy.
  const long long width = std::max(cx, 0);
  const long long height = std::max(cy, 0);
  const long long total = width * height;
  std::fill(piArray, piArray + total, 0);
  int max = 0;
  const long long count = static_cast<long long>(values.size());
  long long next = 0;  // the first value of the row
  for (long long r = sy; M > 0 && r < static_cast<long long>(sy) + N && next < count; ++r) {
    const long long given = std::min<long long>(M, count - next);
    const long long from = std::max<long long>(sx, 0);
    const long long to = std::min<long long>(static_cast<long long>(sx) + given, width);
    if (r >= 0 && r < height && from < to) {
      const int* in = values.data() + (next + from - sx);
      int* out = piArray + r * width + from;
      for (long long k = 0; k < to - from; ++k) {
        out[k] = in[k];
        max = std::max(max, in[k]);
      }
    }
    next += M;
  }
  ScaleToGreyLevels(piArray, total, max);
}

int ReadTextValues(std::FILE* f, int cx, int cy, int M, int N, int sx, int sy, int* piArray,
                   const char* mode) {
  if (piArray == nullptr) return 1;
  TextValueReader reader(f, mode);
  return ReadTextValues(reader, cx, cy, M, N, sx, sy, piArray);
}

int ReadTextValuesInBuffer(const std::string& bytes, int cx, int cy, int M, int N, int sx, int sy,
                           int* piArray, const char* mode) {
  TextValueReader reader(bytes.data(), bytes.size(), mode);
  return ReadTextValues(reader, cx, cy, M, N, sx, sy, piArray);
}

int ReadOstrelArray(const char* Fname, int cx, int cy, int M, int N, int sx, int sy, int* piArray,
                    const char* mode) {
  std::FILE* f = OpenFile(Fname, "r");
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
