// Text image files: Ostrel files (whitespace-separated hexadecimal pixel values, row-major, no
// size header) and ASCII image files (the same with "%i" values). Counting and reading of the
// values, the list of image formats a value count allows and the choice of the most nearly
// square one, and the offset of the working image inside the ORBIK field.
//
// Threads: any thread. None of these functions touches the program state; the load command
// on the main thread calls them and stores the results.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace zmr {

// Conversion modes accepted by the functions below: "%x" (Ostrel files) and "%i" (ASCII image
// files); "%d" is also understood. Values follow the formatted-input rules of the mode (sign,
// "0x" prefix, a leading 0 making "%i" octal, what ends a number) and wrap to 32 bits: a "%x"
// value above 7FFFFFFF becomes a negative int. Any other mode converts nothing.
// In detail, as fscanf with "%lx", "%li" or "%ld" followed by a wrap of the long to 32 bits:
// - white space is ' ', '\t', '\n', '\v', '\f' and '\r'; anything else (a NUL byte, a byte
//   above 127) is part of a token;
// - a '+' or '-', then for "%x" and "%i" a "0x" or "0X" after a leading '0' is taken whole,
//   even when no hex digit follows (the value is then 0); for "%i" a leading 0 without x makes
//   the number octal, so "08" is two values, 0 and 8;
// - the number ends at the first byte that is not a digit of its base, which is left for the
//   next conversion; a token with no digit at all (a lone sign, a letter) converts nothing
//   and only its sign is consumed;
// - beyond 64 bits the long saturates (ULONG_MAX for "%x", LONG_MAX or LONG_MIN otherwise)
//   before the wrap; a "%x" value after a minus is negated modulo 2^64.

// Converts values from a whole file in memory, or from a stream read in large chunks (the
// stream then ends up read further than the last value converted). Each Next gives what
// ConvertTextValue would give at that point of the bytes. Any thread; one reader per thread.
class TextValueReader {
 public:
  static constexpr std::size_t kChunkBytes = 1 << 20;

  TextValueReader(std::FILE* f, const char* mode, std::size_t chunkBytes = kChunkBytes);
  TextValueReader(const char* data, std::size_t size, const char* mode);
  ~TextValueReader();
  TextValueReader(const TextValueReader&) = delete;
  TextValueReader& operator=(const TextValueReader&) = delete;

  // 1 with the next value, 0 when the next token is not a number of the mode (the reader
  // does not move past it, beyond a sign), EOF at the end; value is unchanged unless 1 is
  // returned.
  int Next(int& value);
  // Up to `most` further values into values[0..), as many calls of Next would give, in one
  // tight loop over the bytes already read: it stops (returning how many it stored) before a
  // token it leaves to Next, one with a sign, a base prefix, more than 15 digits or that runs
  // to the end of the bytes read, and at such an end. 0 says: call Next.
  std::size_t NextMany(int* values, std::size_t most);

 private:
  class Source;
  std::unique_ptr<Source> source_;
  int conversion_;
};

// Converts the next value of f with the mode into value. Returns what fscanf returns: 1 when
// a value was converted, 0 when the next token is not a number of the mode (f does not move
// past it, beyond a sign), EOF at the end of the file; value is unchanged unless 1 is
// returned. f is left where fscanf would leave it (one byte at a time: for single values, not
// whole files).
int ConvertTextValue(std::FILE* f, const char* mode, int& value);

// Result of counting the values of a text image.
struct TextCount {
  int count = 0;          // values converted before the end of the file (or the bad token)
  bool opened = false;    // false when the file could not be opened (count is then 0)
  bool badToken = false;  // counting stopped at something that is not a number of the mode
  bool tooMany = false;   // counting stopped after kMaxImagePixels + 1 values
};

// Counts the values of f from its current position. A token that is not a number of the mode
// (a letter, a decimal point, a byte-order mark, a NUL byte) ends the count there with
// badToken set: such a file is not a text image. Once kMaxImagePixels + 1 values were counted
// the count stops there with tooMany set, so a file of billions of values is neither read to
// its end nor counted past the int range. f stays open, read in chunks.
TextCount CountTextValues(std::FILE* f, const char* mode);

// The same over what a reader has left.
TextCount CountTextValues(TextValueReader& reader);

// The same over the bytes of a whole file in memory (opened is always true).
TextCount CountTextValuesInBuffer(const std::string& bytes, const char* mode);

// The same over the file Fname; opened is false when it cannot be opened.
TextCount CountOstrelArrayChecked(const char* Fname, const char* mode);

// The same, keeping the values counted in values so that the file need not be read a second
// time. values holds them all (values.size() == count) only when there are at most keepAtMost,
// memory allowed it and the count ended at the end of the file; otherwise it is left empty.
TextCount CountOstrelArrayKeeping(const char* Fname, const char* mode, long long keepAtMost,
                                  std::vector<int>& values);

// Number of values in Fname (up to a bad token); 0 when the file cannot be opened.
int CountOstrelArray(const char* Fname, const char* mode);

// Reads an M x N file image from f into the cx x cy array piArray with its top-left pixel at
// column sx, row sy, then scales the array to 0..255. piArray is zeroed first; values that
// fall outside the working image are read and dropped (never wrapped into another row);
// reading stops at the first value that cannot be converted, leaving the remaining pixels 0.
// Scaling: every element v of the whole array becomes v / max * 255 in double, truncated
// toward zero, where max is the largest stored value; when no stored value is positive the
// array is left unscaled. With piArray null nothing is read. Returns 1.
int ReadTextValues(std::FILE* f, int cx, int cy, int M, int N, int sx, int sy, int* piArray,
                   const char* mode);

// The same over what a reader has left. Returns 1.
int ReadTextValues(TextValueReader& reader, int cx, int cy, int M, int N, int sx, int sy,
                   int* piArray);

// The same over values kept by CountOstrelArrayKeeping; piArray must not be null.
void PlaceTextValues(const std::vector<int>& values, int cx, int cy, int M, int N, int sx, int sy,
                     int* piArray);

// The largest maximum for which the scaling goes through a table of every value up to it.
inline constexpr int kMaxScaleTable = 1 << 20;

// The same over the bytes of a whole file in memory. Returns 1.
int ReadTextValuesInBuffer(const std::string& bytes, int cx, int cy, int M, int N, int sx, int sy,
                           int* piArray, const char* mode);

// The same over the file Fname. Returns 1 after reading (also when piArray is null: the file
// is then only opened and closed), 0 when the file cannot be opened (piArray unchanged).
int ReadOstrelArray(const char* Fname, int cx, int cy, int M, int N, int sx, int sy, int* piArray,
                    const char* mode);

// Fills Iformat (room for 50 (width, height) pairs: width at 2i, height at 2i + 1) with the
// formats whose product is TotalSize, widths 2 .. TotalSize / 2 in increasing order (so
// 1 x TotalSize and TotalSize x 1 are left out), and returns their number. When there are more
// than 50, the 50 most nearly square are kept: a contiguous run of widths around the square
// root, still in increasing order, ties at its ends going to the narrower format. Returns 0
// (Iformat untouched) for 0, 1, negative counts and primes.
int GetImageFormats(int TotalSize, int* Iformat);

// Index of the most nearly square entry (smallest |width - height|; the first of equals, i.e.
// the narrower one). 0 when Nformats <= 0.
int FindOptimumFormat(int Nformats, const int* Iformat);

// Sets offset to the position of an image of ImageSize pixels inside an ORBIK field of
// ORBIKsize pixels: 160 for 724, 128 for 768 and 769, otherwise the centred position
// ORBIKsize / 2 - ImageSize / 2 (ImageSize - 1 for odd sizes), integer quotients.
void InitImageOffsetTable(int ORBIKsize, int ImageSize, int& offset);

}  // namespace zmr
