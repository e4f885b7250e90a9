// EDF images: an ASCII header from '{' to '}' of "Key = Value ;" lines, padded so that the
// data start at the next multiple of 512 bytes, then Dim_1 x Dim_2 samples (Dim_1 the row
// length) of DataType in ByteOrder. Reading into counts and encoding (for tests and tools).
//
// Threads: any thread; pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imagefiles/CountImage.h"
#include "state/Result.h"

namespace zmr {

// The block size of the header.
inline constexpr std::size_t kEdfHeaderBlock = 512;

// True when the bytes start with '{' and hold "Dim_1" in the first header block.
bool LooksLikeEdf(ImageBytes bytes);

// Decodes an EDF file. Keys Dim_1, Dim_2 and DataType (UnsignedByte, SignedByte,
// UnsignedShort, SignedShort, UnsignedInteger, SignedInteger, UnsignedLong, SignedLong: 32
// bits; FloatValue, DoubleValue) are required; ByteOrder (LowByteFirst, the default, or
// HighByteFirst) and Size (the data's byte count, which must then match) are optional.
// The data length is checked against the size before anything is allocated; NaN and infinite
// floats are read as 0 with a note.
ResultOf<CountImage> ReadEdf(ImageBytes bytes, const ImageReadLimits& limits = {});

// The bytes of an EDF file of width x height values in the given DataType and ByteOrder
// (values converted as a C cast would, after clamping to the type's range). A failure for an
// unknown type or a size that does not match the values.
ResultOf<std::vector<std::uint8_t>> EncodeEdf(int width, int height,
                                              const std::vector<double>& values,
                                              const std::string& dataType, bool highByteFirst);

}  // namespace zmr
