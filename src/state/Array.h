// Operations over two-dimensional arrays held in one contiguous block: M columns by N rows,
// element (i, j) at index j * M + i, visited rows outer and columns inner. Element operations,
// text writers and readers, the binary array file, greyscale PGM files, and the enumeration of
// variable types shared with the image modules.
//
// Threads: any thread may call these on arrays it owns for the duration of the call. Nothing
// here locks; the PGM writers read the PrintMode of the record they are given, which
// SetPrintMode writes (never while a worker writes PGM files of that record).
//
// Conventions for every function below:
// - The caller owns every array and passes at least M * N elements (N for column targets).
//   An array with M <= 0 or N <= 0 has no elements: element operations change nothing.
// - The file operations report progress on standard output, with the messages stated for each.
//   Numbers are formatted and parsed in the C numeric locale whatever the process locale is.
// - Each reader has an entry point over bytes in memory (the ...Buffer functions) with the
//   same results and messages as the file-name form; `name` is only used in the messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zmr {

struct ProgramState;

// Type tags; the binary array files store one of these in their first byte.
enum variable_types : int {
  T_LONG = 0,
  T_INT = 1,
  T_DOUBLE = 2,
  T_STRING = 3,
  T_ARRAY_INT = 4,
  T_ARRAY_DOUBLE = 5,
  T_NONE = 6,
};

// Number of elements of an M x N array: 0 when a side is not positive or the product
// overflows a long (such an array cannot exist).
std::size_t ArrayElementCount(long M, long N);

// ---------------------------------------------------------------------------------------------
// Element operations (ArrayElements.cpp)

// Sets every element to Value. Returns 0.
int FillArrayInt(int* Array, long M, long N, int Value);
int FillArray(int* Array, long M, long N, int Value);
int FillArrayD(double* Array, long M, long N, double Value);

// ArrayInt[k] = ArrayDouble[k] truncated toward zero (2.9 -> 2, -2.9 -> -2, -0.7 -> 0). A value
// that is not a number gives 0; values beyond the int range give INT_MIN or INT_MAX. Returns 0.
int ArrayDoubleToInt(const double* ArrayDouble, int* ArrayInt, long M, long N);

// Exact conversion of every element. Returns 0.
int ArrayIntToDouble(const int* ArrayInt, double* ArrayDouble, long M, long N);

// Scales the array in place so that its largest element becomes Scale: the maximum starts at
// 0.0 and is replaced only by a strictly greater element (so NaN never becomes it), then every
// element v becomes (v * Scale) / maximum. When no element is positive the maximum stays 0 and
// scaling would only produce infinities and NaN, so the array is left unchanged. Returns 1.
int ArrayNormalise(double* Array, long M, long N, double Scale);

// Target[j] = Source[j * M + cNumber] for j = 0 .. N-1 (one column; Target holds N doubles).
// Requires 0 <= cNumber < M. Returns 1.
int GetArrayColumn(double* Target, const double* Source, long M, long N, long cNumber);

// mode 0: every element not greater than Tvalue becomes Svalue; any other mode: every element
// less than Tvalue becomes Svalue. Elements that are not numbers are left as they are in both
// modes. Returns 1.
int ArrayThresholdSet(double* Array, long M, long N, double Tvalue, double Svalue, int mode);

// Clears FreqTable[0 .. Nmax-1], then over rows jstart .. jend-1 and columns istart .. iend-1
// (clipped to the array) counts each element value v with 0 <= v - Vstart < Nmax in
// FreqTable[v - Vstart]. Returns the number of elements counted.
long AreaFrequencyCount(const int* Array, long M, long N, long istart, long jstart, long iend,
                        long jend, long* FreqTable, long Vstart, long Nmax);

// Index of the first element equal to Value in storage order, -1 when there is none.
long FindElement(const int* Array, int Value, long M, long N);

// Index of the first largest element; -1 for an array without elements.
long ArrayMaxIndex(const int* Matrix, long M, long N);

// Replaces each element by (largest element - element), computed in 32-bit two's complement
// (it wraps only when the array spans more than the int range). Returns the index of the
// largest element; -1 and nothing changed for an array without elements.
long ArrayInvert(int* Matrix, long M, long N);

// Element-wise copy Source -> Target. Returns 1.
int ArrayCopy(int* Target, const int* Source, long M, long N);
int ArrayCopyD(double* Target, const double* Source, long M, long N);

// Ares = A1 - A2 element-wise (Ares may be A1 or A2). Returns 0.
int SubstractArrayD(double* Ares, const double* A1, const double* A2, long M, long N);

// Transposes a square array in place by swapping (i, j) and (j, i). Returns 1; when M != N
// the array is left unchanged and the result is 0.
int ArrayTranspose(int* Array, long M, long N);
int ArrayTransposeD(double* Array, long M, long N);

// When column Index[0] and row Index[1] lie inside the array, sets that element to Value (Plot)
// or adds Value to it (AddPlot, wrapping in 32-bit two's complement) and returns 1; otherwise
// changes nothing and returns 0.
int Plot(int* Array, long M, long N, const long* Index, int Value);
int AddPlot(int* Array, long M, long N, const long* Index, int Value);

// Draws the segment P1 -> P2 (x, y) with 100 samples s = 0, 0.01, ... (accumulated, while
// s <= 1; P2 itself is not reached): each sample P1 + s * (P2 - P1) is truncated toward zero;
// a sample with 1 <= column < M-1 and 1 <= row < N-1 is set to FillValue, and when Width > 1
// its four edge neighbours too. Samples outside that interior are skipped. Returns 0.
int PlotLine(int* Array, long M, long N, const double* P1, const double* P2, int FillValue,
             int Width);

// The element of Area at column Point[0] and row Point[1], both truncated toward zero.
// Requires the point to lie inside the M x N array.
int GetColor(const double* Point, long M, long N, const int* Area);

// Sets the record's PrintMode (grey-level mode of the PGM writers: 0 writes values as they are,
// anything else writes 255 - value) and returns the previous mode.
int SetPrintMode(ProgramState& s, int mode);

// ---------------------------------------------------------------------------------------------
// Raw blocks. The caller owns the block stored through Matrix and must release it with the
// matching DeAllocate function (new[] / delete[] underneath); nothing else frees it.

// Allocates a zero-filled block of M * N elements and stores its address through Matrix.
// Returns M * N; returns 0 and stores nullptr when M * N is not positive or memory is short.
long AllocateArrayInt(int** Matrix, long M, long N);
long AllocateArrayDouble(double** Matrix, long M, long N);

// Frees a block from the matching Allocate function. Returns 0 for a null pointer, else 1.
int DeAllocateArrayInt(int* Matrix);
int DeAllocateArrayDouble(double* Matrix);

// ---------------------------------------------------------------------------------------------
// Text files (Array.cpp, with the binary and PGM files below). Each line is one row; every number
// is followed by one blank, every row by "\n". The writers print "Writing to file <name> ..." then
// "done\n" and return 0; when the file cannot be created they print "Cannot open output file
// <name>\n", write nothing and return 1.

int PrintArray(const int* Array, long M, long N, const char* FileName);       // "%i "
int PrintArrayL(const long* Array, long M, long N, const char* FileName);     // "%li "
int PrintArrayD(const double* Array, long M, long N, const char* FileName);   // "%f "
int PrintArrayDe(const double* Array, long M, long N, const char* FileName);  // "%e "

// As PrintArray with "%3i " / "%5.1f ", writing only the rows j = 0, Step, 2*Step, ... while
// j < N - Step, and in them the columns i = 0, Step, ... while i < M - Step. A Step below 1
// selects nothing: the file is created empty.
int PrintArrayStep(const int* Array, long M, long N, const char* FileName, long Step);
int PrintArrayDStep(const double* Array, long M, long N, const char* FileName, long Step);

// Read M * N white-space separated numbers in storage order, with "%i" (decimal, 0x hex or
// 0 octal) or "%g" (parsed at single precision, stored as double). Print "Reading from file
// <name> ...". Return 0 and print "done\n" when all M * N numbers were read. When a number is
// missing or does not parse, print "error during reading \n", return 1 and leave the array
// unchanged. A file that cannot be opened: "Cannot open input file <name>\n", result 1.
int ReadArray(int* Array, long M, long N, const char* FileName);
int ReadArrayD(double* Array, long M, long N, const char* FileName);
int ReadArrayBuffer(int* Array, long M, long N, std::span<const std::uint8_t> bytes,
                    const char* name);
int ReadArrayDBuffer(double* Array, long M, long N, std::span<const std::uint8_t> bytes,
                     const char* name);

// ---------------------------------------------------------------------------------------------
// Binary array file: byte 0 the type (4 int elements, 5 double elements), bytes 1-4 M and
// bytes 5-8 N (32-bit signed little-endian), then the M * N elements in storage order as
// little-endian 32-bit ints or IEEE 754 doubles.

// Print "Writing to file <name> in binary format...", write, close; then "done\n" and 0 when
// every byte reached the file, else "error during writing \n" and 1. A file that cannot be
// created: "Cannot open output file <name>\n", result 1. M and N must fit 32 bits.
int WriteArray(const int* Array, long M, long N, const char* FileName);
int WriteArrayD(const double* Array, long M, long N, const char* FileName);

// Reads an int array file. A file that cannot be opened: result 1, no message. Otherwise
// prints "Reading file <name> in binary format...", and "wrong type of the file\n" when the
// type byte is not 4. The elements are read only when the type is 4 and the stored M and N
// equal the requested ones; then "done\n" and result 0. A wrong type, a different stored size,
// or a file too short for its header or elements: "error during reading \n", result 1, and
// the array left unchanged. Bytes after the elements are ignored.
int ReadArrayBin(int* Array, long M, long N, const char* FileName);
int ReadArrayBinBuffer(int* Array, long M, long N, std::span<const std::uint8_t> bytes,
                       const char* name);

// Reads nothing (double array files are never read back); returns 1.
int ReadArrayBinD(double* Array, long M, long N, const char* FileName);

// ---------------------------------------------------------------------------------------------
// Greyscale PGM files: header "P5\n#PPM version of array\n<width> <height>\n255\n", then one
// byte per pixel row by row: the element (255 - element when PrintMode is not 0) clamped to
// 0 .. 255.

// Print "Writing to file <name> ...(PPM mode <PrintMode>)" and "done\n", return 0. PPMArray
// writes the array as it is (width M, height N); PPMArrayT its transpose (width N, height M,
// the pixel rows being the array's columns). A file that cannot be created: "Cannot open
// output file <name>\n", result 1.
int PPMArray(const ProgramState& s, const int* Array, long M, long N, const char* FileName);
int PPMArrayT(const ProgramState& s, const int* Array, long M, long N, const char* FileName);

// Reads a binary greyscale PGM ("P5", comments allowed in the header, maxval 1 .. 255) of
// width M and height N, one byte per element in storage order, taken as it is (PrintMode
// plays no part). Returns 0 when read. Returns 1, leaving the array unchanged, when the file
// cannot be opened, is not such a PGM, has another size, or holds fewer than M * N pixels.
// Prints nothing.
int ReadPPM(int* Array, long M, long N, const char* FileName);
int ReadPPMBuffer(int* Array, long M, long N, std::span<const std::uint8_t> bytes);

}  // namespace zmr
