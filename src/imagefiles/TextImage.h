// Text image files: Ostrel files (whitespace-separated hexadecimal pixel values, row-major, no
// size header) and ASCII image files (the same with "%i" values). Counting and reading of the
// values, the list of image formats a value count allows and the choice of the most nearly
// square one, and the offset of the working image inside the ORBIK field.
//
// Threads: any thread. None of these functions touches the program state; the load command
// on the main thread calls them and stores the results.
#pragma once

#include <cstdio>
#include <string>

namespace zmr {

// Conversion modes accepted by the functions below: "%x" (Ostrel files) and "%i" (ASCII image
// files); "%d" is also understood. Values follow the formatted-input rules of the mode (sign,
// "0x" prefix, a leading 0 making "%i" octal, what ends a number) and wrap to 32 bits: a "%x"
// value above 7FFFFFFF becomes a negative int. Any other mode converts nothing.

// Converts the next value of f with the mode into value. Returns what fscanf returns: 1 when
// a value was converted, 0 when the next token is not a number of the mode (f does not move
// past it), EOF at the end of the file; value is unchanged unless 1 is returned.
int ConvertTextValue(std::FILE* f, const char* mode, int& value);

// Result of counting the values of a text image.
struct TextCount {
  int count = 0;          // values converted before the end of the file (or the bad token)
  bool opened = false;    // false when the file could not be opened (count is then 0)
  bool badToken = false;  // counting stopped at something that is not a number of the mode
};

// Counts the values of f from its current position. A token that is not a number of the mode
// (a letter, a decimal point, a byte-order mark, a NUL byte) ends the count there with
// badToken set: such a file is not a text image. f stays open.
TextCount CountTextValues(std::FILE* f, const char* mode);

// The same over the bytes of a whole file in memory (opened is always true).
TextCount CountTextValuesInBuffer(const std::string& bytes, const char* mode);

// The same over the file Fname; opened is false when it cannot be opened.
TextCount CountOstrelArrayChecked(const char* Fname, const char* mode);

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
