// Bitmap image files: reading a whole bitmap file into memory with its size checks, decoding the
// uncompressed bitmap encodings into 0xFFRRGGBB pixels, the grey level of a decoded pixel, and
// encoding and writing the 24-bit grey-level bitmap of an int image. The byte offsets of the
// format are the named constants below.
//
// Threads: no shared state is touched; any thread may call these functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zmr {

// File header (14 bytes) and the fields read or written in it.
inline constexpr std::size_t kBitmapFileHeaderSize = 14;
inline constexpr std::size_t kBitmapOffsetFileSize = 2;    // u32: size of the whole file
inline constexpr std::size_t kBitmapOffsetPixelData = 10;  // u32: offset of the pixel rows
// Information header, relative to its start (file offset 14).
inline constexpr std::size_t kBitmapCoreHeaderSize = 12;  // u16 width at 4, u16 height at 6
inline constexpr std::size_t kBitmapInfoHeaderSize = 40;  // s32 width at 4, s32 height at 8
inline constexpr std::size_t kBitmapOffsetHeaderWidth = 4;
inline constexpr std::size_t kBitmapOffsetInfoHeight = 8;  // extended headers
inline constexpr std::size_t kBitmapOffsetCoreHeight = 6;  // core header
inline constexpr std::size_t kBitmapOffsetInfoPlanes = 12;
inline constexpr std::size_t kBitmapOffsetInfoBitCount = 14;
inline constexpr std::size_t kBitmapOffsetCoreBitCount = 10;
inline constexpr std::size_t kBitmapOffsetCompression = 16;
inline constexpr std::size_t kBitmapOffsetColorsUsed = 32;
inline constexpr std::size_t kBitmapOffsetMasks = 40;  // red, green, blue masks (u32 each)
// Header size of the 24-bit files that WriteImage produces: file header + information header.
inline constexpr std::size_t kBitmapWrittenHeaderSize =
    kBitmapFileHeaderSize + kBitmapInfoHeaderSize;

// Why DibLoadImage gave no bytes.
enum class BitmapLoadFailure {
  kNone,         // it gave the file
  kUnreadable,   // not a bitmap file it can read (see below)
  kTooLarge,     // the header states an image beyond ImageSizeAllowed
  kOutOfMemory,  // no block of the file's size could be allocated
};

// Reads the whole file named pstrFileName. Returns its bytes, or an empty vector when the file
// cannot be opened, is not a regular file, states an image beyond ImageSizeAllowed in its
// header, is larger than 32 bits, cannot be read completely, does not start with "BM", or the
// 32-bit file size stored at byte 2 differs from its real size. Only the first bytes (up to the
// image height) are read before a block of the file's real size is allocated. When failure is
// given it receives the reason.
std::vector<std::uint8_t> DibLoadImage(const char* pstrFileName,
                                       BitmapLoadFailure* failure = nullptr);

// The reason DecodeBitmap gives when the pixels cannot be allocated.
inline constexpr const char* kBitmapOutOfMemory = "out of memory";

// A decoded bitmap: width x height pixels 0xFFRRGGBB, row 0 the top row as displayed.
struct DecodedBitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// Decodes a bitmap file held in memory (as returned by DibLoadImage). Accepted: the core header
// (12 bytes) and the extended headers (40, 52, 56, 108, 124 bytes); 1, 4 and 8 bits per pixel
// with a colour table, 16 and 32 bits uncompressed (5-5-5 and 8-8-8) or with bit-field masks,
// 24 bits; rows bottom-up or top-down (negative height). Compressed encodings are refused.
// A colour count stated in the header must fit in the file; the full table that a core header
// or a zero count implies may be stored shorter. When the pixel data begin inside the colour
// table, only the entries before them are used; palette indices past the table decode as black.
// Returns true and fills out on success. On failure returns false, leaves out unchanged and, if
// why is given, stores a short reason there (kBitmapOutOfMemory when the pixels cannot be
// allocated); nothing large is allocated before the sizes have
// been checked against the file and against ImageSizeAllowed.
bool DecodeBitmap(const std::vector<std::uint8_t>& file, DecodedBitmap& out,
                  std::string* why = nullptr);

// The width and height recorded in the bitmap's information header: a first 32-bit value of 12
// means the core header (16-bit unsigned width and height), anything else the extended header
// (signed 32-bit width and height; the absolute value of the height is given). Returns false,
// leaving width and height unchanged, when the file is too short to hold these fields, the
// width is not positive, or the height is 0 or has no absolute value in an int.
bool BitmapHeaderSize(const std::vector<std::uint8_t>& file, int& width, int& height);

// Grey level of a decoded pixel: (red + green + blue) / 3, rounded down.
int GreyOf(std::uint32_t argb);

// The bytes of a 24-bit bitmap file of the M x N int image pData (row-major, row 0 on top):
// 54-byte headers, rows stored bottom-up, each pixel three equal bytes holding the low 8 bits of
// its value, rows padded with zeros to a multiple of 4 bytes. Returns an empty vector when pData
// is null, M or N is not positive, or the file would not fit in the 32-bit size field.
std::vector<std::uint8_t> EncodeBitmap24(long M, long N, const int* pData);

// Writes EncodeBitmap24(M, N, pData) to the file pstrFileName, replacing any existing file.
// The bytes go to a temporary file in the same folder that is renamed over the target only
// after it was completely written and closed. Returns nonzero on success; 0 when pData is null,
// the image cannot be encoded, the file cannot be created, or a write fails. On failure the
// temporary file is removed and a previous file of that name is left untouched.
int WriteImage(const char* pstrFileName, long M, long N, const int* pData);

}  // namespace zmr
