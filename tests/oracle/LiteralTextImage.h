// The text image conversions through fscanf, one call per value, as the oracle for the chunked
// reader: the same results, counts and images on every byte sequence.
//
// Threads: any; each call works on the stream it is given.
#pragma once

#include <cstdio>

#include "imagefiles/TextImage.h"

namespace zmr::oracle {

// fscanf with "%lx", "%li" or "%ld" (for the modes "%x", "%i", "%d"), the long wrapped to 32
// bits. Returns what fscanf returns; 0 for any other mode.
int ConvertTextValueLiteral(std::FILE* f, const char* mode, int& value);

// Counts conversions until EOF or the first that fails (badToken).
TextCount CountTextValuesLiteral(std::FILE* f, const char* mode);

// ReadTextValues with ConvertTextValueLiteral for every value.
int ReadTextValuesLiteral(std::FILE* f, int cx, int cy, int M, int N, int sx, int sy, int* piArray,
                          const char* mode);

}  // namespace zmr::oracle
