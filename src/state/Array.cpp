#include "state/Array.h"

#include <locale.h>
#include <stdio.h>  // fmemopen

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include "state/CNumericLocale.h"
#include "state/Numeric.h"
#include "state/ProgramState.h"
#include "state/SafeWrite.h"

namespace zmr {

namespace {

// Number of elements of an M x N array; 0 when a side is not positive (or the product cannot
// be an array at all).
std::size_t ElementCount(long M, long N) {
  long count = 0;
  if (M <= 0 || N <= 0 || __builtin_mul_overflow(M, N, &count)) return 0;
  return static_cast<std::size_t>(count);
}

// --- little-endian byte helpers

bool PutLE32(std::FILE* f, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) {
    if (std::fputc(static_cast<int>((v >> (8 * k)) & 0xFFu), f) == EOF) return false;
  }
  return true;
}

bool PutLE64(std::FILE* f, std::uint64_t v) {
  for (int k = 0; k < 8; ++k) {
    if (std::fputc(static_cast<int>((v >> (8 * k)) & 0xFFu), f) == EOF) return false;
  }
  return true;
}

bool GetLE32(std::FILE* f, std::uint32_t& v) {
  std::uint32_t value = 0;
  for (int k = 0; k < 4; ++k) {
    const int c = std::fgetc(f);
    if (c == EOF) return false;
    value |= static_cast<std::uint32_t>(c) << (8 * k);
  }
  v = value;
  return true;
}

// A read-only stream over bytes in memory, so the buffer entry points share the FILE* cores.
std::FILE* OpenBytes(std::span<const std::uint8_t> bytes) {
  static char emptyBuffer[1] = {0};
  void* data =
      bytes.empty() ? static_cast<void*>(emptyBuffer) : const_cast<std::uint8_t*>(bytes.data());
  return fmemopen(data, bytes.size(), "rb");
}

// --- text files

// Writes FileName through a temporary file (a failed write leaves any previous file as it
// was), printing the progress messages around writeBody(f). 0 written, 1 not written.
template <typename WriteBody>
int WriteTextFile(const char* FileName, WriteBody writeBody) {
  bool opened = false;
  const bool written = WriteWholeFile(FileName, [&](std::FILE* f) {
    opened = true;
    std::printf("Writing to file %s ...", FileName);
    CNumericLocale cLocale;
    writeBody(f);
    return true;
  });
  if (!opened) {
    std::printf("Cannot open output file %s\n", FileName);
    return 1;
  }
  if (!written) {
    std::printf("error during writing \n");
    return 1;
  }
  std::printf("done\n");
  return 0;
}

template <typename T>
int WriteRows(const T* Array, long M, long N, const char* FileName, const char* format) {
  return WriteTextFile(FileName, [&](std::FILE* f) {
    for (long j = 0; j < N; ++j) {
      for (long i = 0; i < M; ++i) std::fprintf(f, format, Array[j * M + i]);
      std::fputs("\n", f);
    }
  });
}

template <typename T>
int WriteRowsStep(const T* Array, long M, long N, const char* FileName, long Step,
                  const char* format) {
  return WriteTextFile(FileName, [&](std::FILE* f) {
    if (Step < 1) return;
    // The guards N > Step and M > Step keep N - Step and M - Step from overflowing.
    for (long j = 0; N > Step && j < N - Step; j += Step) {
      for (long i = 0; M > Step && i < M - Step; i += Step) {
        std::fprintf(f, format, Array[j * M + i]);
      }
      std::fputs("\n", f);
    }
  });
}

// Reads the elements into a scratch block first so that a short or garbled file leaves the
// caller's array as it was.
template <typename T, typename ReadOne>
int ReadTextStream(std::FILE* f, T* Array, long M, long N, const char* name, ReadOne readOne) {
  std::printf("Reading from file %s ...", name);
  const std::size_t count = ElementCount(M, N);
  std::unique_ptr<T[]> values(new (std::nothrow) T[count]);
  bool ok = values != nullptr;
  {
    CNumericLocale cLocale;
    for (std::size_t k = 0; ok && k < count; ++k) ok = readOne(f, values[k]);
  }
  if (!ok) {
    std::printf("error during reading \n");
    return 1;
  }
  std::copy(values.get(), values.get() + count, Array);
  std::printf("done\n");
  return 0;
}

bool ReadInt(std::FILE* f, int& v) { return std::fscanf(f, "%i", &v) == 1; }

bool ReadFloatAsDouble(std::FILE* f, double& v) {
  float single = 0.0f;
  if (std::fscanf(f, "%g", &single) != 1) return false;
  v = single;
  return true;
}

template <typename T, typename ReadOne>
int ReadTextFile(T* Array, long M, long N, const char* FileName, ReadOne readOne) {
  std::FILE* f = std::fopen(FileName, "r");
  if (f == nullptr) {
    std::printf("Cannot open input file %s\n", FileName);
    return 1;
  }
  const int result = ReadTextStream(f, Array, M, N, FileName, readOne);
  std::fclose(f);
  return result;
}

template <typename T, typename ReadOne>
int ReadTextBytes(T* Array, long M, long N, std::span<const std::uint8_t> bytes, const char* name,
                  ReadOne readOne) {
  std::FILE* f = OpenBytes(bytes);
  if (f == nullptr) {
    std::printf("Cannot open input file %s\n", name);
    return 1;
  }
  const int result = ReadTextStream(f, Array, M, N, name, readOne);
  std::fclose(f);
  return result;
}

// --- binary array files

template <typename PutElement>
int WriteBinaryFile(const char* FileName, int type, long M, long N, PutElement putElement) {
  std::FILE* f = std::fopen(FileName, "wb");
  if (f == nullptr) {
    std::printf("Cannot open output file %s\n", FileName);
    return 1;
  }
  std::printf("Writing to file %s in binary format...", FileName);
  // Sizes are stored as 32-bit two's complement whatever the width of long.
  bool ok = std::fputc(type, f) != EOF && PutLE32(f, static_cast<std::uint32_t>(M)) &&
            PutLE32(f, static_cast<std::uint32_t>(N));
  const std::size_t count = ElementCount(M, N);
  for (std::size_t k = 0; ok && k < count; ++k) ok = putElement(f, k);
  // Buffered bytes reach the file only at the close, so its failure is a write failure too.
  if (std::fclose(f) != 0) ok = false;
  if (!ok) {
    std::printf("error during writing \n");
    return 1;
  }
  std::printf("done\n");
  return 0;
}

int ReadArrayBinStream(std::FILE* f, int* Array, long M, long N, const char* name) {
  std::printf("Reading file %s in binary format...", name);
  const int type = std::fgetc(f);
  if (type != EOF && type != T_ARRAY_INT) std::printf("wrong type of the file\n");
  std::uint32_t storedM = 0;
  std::uint32_t storedN = 0;
  bool ok = type == T_ARRAY_INT && GetLE32(f, storedM) && GetLE32(f, storedN) &&
            static_cast<long>(static_cast<std::int32_t>(storedM)) == M &&
            static_cast<long>(static_cast<std::int32_t>(storedN)) == N;
  // The header has matched the caller's own size before anything is allocated.
  const std::size_t count = ok ? ElementCount(M, N) : 0;
  std::unique_ptr<int[]> values(ok ? new (std::nothrow) int[count] : nullptr);
  if (ok && values == nullptr) ok = false;
  for (std::size_t k = 0; ok && k < count; ++k) {
    std::uint32_t raw = 0;
    ok = GetLE32(f, raw);
    values[k] = static_cast<std::int32_t>(raw);
  }
  if (!ok) {
    std::printf("error during reading \n");
    return 1;
  }
  std::copy(values.get(), values.get() + count, Array);
  std::printf("done\n");
  return 0;
}

// --- PGM files

unsigned char GreyByte(int value, int mode) {
  const long long grey = mode != 0 ? 255LL - value : static_cast<long long>(value);
  return static_cast<unsigned char>(std::clamp(grey, 0LL, 255LL));
}

int WritePgm(const int* Array, long M, long N, const char* FileName, bool transpose) {
  std::FILE* f = std::fopen(FileName, "wb");
  if (f == nullptr) {
    std::printf("Cannot open output file %s\n", FileName);
    return 1;
  }
  const int mode = State().PrintMode;
  std::printf("Writing to file %s ...(PPM mode %i)", FileName, mode);
  const long width = transpose ? N : M;
  const long height = transpose ? M : N;
  {
    CNumericLocale cLocale;
    std::fprintf(f, "P5\n#PPM version of array\n%ld %ld\n255\n", width, height);
  }
  for (long r = 0; r < height; ++r) {
    for (long c = 0; c < width; ++c) {
      const int value = transpose ? Array[c * M + r] : Array[r * M + c];
      std::fputc(GreyByte(value, mode), f);
    }
  }
  std::printf("done\n");
  std::fclose(f);
  return 0;
}

bool IsPgmSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Skips white space and '#' comments, then reads a decimal number and leaves its terminator
// in the stream. Numbers beyond any sensible image side are refused rather than overflowing.
bool ReadPgmNumber(std::FILE* f, long& value) {
  int c = std::fgetc(f);
  for (;;) {
    if (c == '#') {
      while (c != '\n' && c != '\r' && c != EOF) c = std::fgetc(f);
    } else if (IsPgmSpace(c)) {
      c = std::fgetc(f);
    } else {
      break;
    }
  }
  if (c < '0' || c > '9') return false;
  long v = 0;
  while (c >= '0' && c <= '9') {
    if (v > 100000000L) return false;
    v = v * 10 + (c - '0');
    c = std::fgetc(f);
  }
  if (c != EOF) std::ungetc(c, f);
  value = v;
  return true;
}

int ReadPgmStream(std::FILE* f, int* Array, long M, long N) {
  if (std::fgetc(f) != 'P' || std::fgetc(f) != '5') return 1;
  const int afterMagic = std::fgetc(f);
  if (!IsPgmSpace(afterMagic) && afterMagic != '#') return 1;
  std::ungetc(afterMagic, f);
  long width = 0;
  long height = 0;
  long maxval = 0;
  if (!ReadPgmNumber(f, width) || !ReadPgmNumber(f, height) || !ReadPgmNumber(f, maxval)) {
    return 1;
  }
  // Exactly one white-space character separates the header from the pixels.
  if (!IsPgmSpace(std::fgetc(f))) return 1;
  if (width != M || height != N || maxval < 1 || maxval > 255) return 1;
  const std::size_t count = ElementCount(M, N);
  std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[count]);
  if (pixels == nullptr) return 1;
  if (std::fread(pixels.get(), 1, count, f) != count) return 1;
  std::copy(pixels.get(), pixels.get() + count, Array);
  return 0;
}

// --- raw blocks

template <typename T>
long AllocateBlock(T** Matrix, long M, long N) {
  *Matrix = nullptr;
  long count = 0;
  if (M <= 0 || N <= 0 || __builtin_mul_overflow(M, N, &count)) return 0;
  if (static_cast<unsigned long>(count) > PTRDIFF_MAX / sizeof(T)) return 0;
  T* block = new (std::nothrow) T[static_cast<std::size_t>(count)]();
  if (block == nullptr) return 0;
  *Matrix = block;
  return count;
}

template <typename T>
int TransposeSquare(T* Array, long M, long N) {
  if (M != N) return 0;
  for (long j = 0; j < N; ++j) {
    for (long i = 0; i < j; ++i) std::swap(Array[j * M + i], Array[i * M + j]);
  }
  return 1;
}

// Two's complement sum and difference without the undefined overflow of int arithmetic.
int WrappingAdd(int a, int b) {
  return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b));
}
int WrappingSub(int a, int b) {
  return static_cast<int>(static_cast<unsigned>(a) - static_cast<unsigned>(b));
}

bool InsideArray(long M, long N, const long* Index) {
  return Index[0] >= 0 && Index[0] < M && Index[1] >= 0 && Index[1] < N;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Element operations

int FillArrayInt(int* Array, long M, long N, int Value) {
  std::fill_n(Array, ElementCount(M, N), Value);
  return 0;
}

int FillArray(int* Array, long M, long N, int Value) { return FillArrayInt(Array, M, N, Value); }

int FillArrayD(double* Array, long M, long N, double Value) {
  std::fill_n(Array, ElementCount(M, N), Value);
  return 0;
}

int ArrayDoubleToInt(const double* ArrayDouble, int* ArrayInt, long M, long N) {
  const std::size_t count = ElementCount(M, N);
  for (std::size_t k = 0; k < count; ++k) ArrayInt[k] = TruncateToward0<int>(ArrayDouble[k]);
  return 0;
}

int ArrayIntToDouble(const int* ArrayInt, double* ArrayDouble, long M, long N) {
  const std::size_t count = ElementCount(M, N);
  for (std::size_t k = 0; k < count; ++k) ArrayDouble[k] = ArrayInt[k];
  return 0;
}

int ArrayNormalise(double* Array, long M, long N, double Scale) {
  const std::size_t count = ElementCount(M, N);
  double maximum = 0.0;
  for (std::size_t k = 0; k < count; ++k) {
    if (Array[k] > maximum) maximum = Array[k];
  }
  if (maximum == 0.0) return 1;
  // Multiply first, then divide: the order fixes the rounding of every result.
  for (std::size_t k = 0; k < count; ++k) Array[k] = (Array[k] * Scale) / maximum;
  return 1;
}

int GetArrayColumn(double* Target, const double* Source, long M, long N, long cNumber) {
  for (long j = 0; j < N; ++j) Target[j] = Source[j * M + cNumber];
  return 1;
}

int ArrayThresholdSet(double* Array, long M, long N, double Tvalue, double Svalue, int mode) {
  const std::size_t count = ElementCount(M, N);
  for (std::size_t k = 0; k < count; ++k) {
    const bool replace = mode == 0 ? Array[k] <= Tvalue : Array[k] < Tvalue;
    if (replace) Array[k] = Svalue;
  }
  return 1;
}

long AreaFrequencyCount(const int* Array, long M, long N, long istart, long jstart, long iend,
                        long jend, long* FreqTable, long Vstart, long Nmax) {
  if (Nmax > 0) std::fill_n(FreqTable, Nmax, 0L);
  const long iFrom = std::max(istart, 0L);
  const long jFrom = std::max(jstart, 0L);
  const long iTo = std::min(iend, M);
  const long jTo = std::min(jend, N);
  long counted = 0;
  for (long j = jFrom; j < jTo; ++j) {
    for (long i = iFrom; i < iTo; ++i) {
      const long v = Array[j * M + i];
      if (v < Vstart) continue;
      // v >= Vstart, so the unsigned difference is the true, non-negative one.
      const unsigned long offset =
          static_cast<unsigned long>(v) - static_cast<unsigned long>(Vstart);
      if (Nmax > 0 && offset < static_cast<unsigned long>(Nmax)) {
        ++FreqTable[offset];
        ++counted;
      }
    }
  }
  return counted;
}

long FindElement(const int* Array, int Value, long M, long N) {
  const std::size_t count = ElementCount(M, N);
  for (std::size_t k = 0; k < count; ++k) {
    if (Array[k] == Value) return static_cast<long>(k);
  }
  return -1;
}

long ArrayMaxIndex(const int* Matrix, long M, long N) {
  const std::size_t count = ElementCount(M, N);
  if (count == 0) return -1;
  std::size_t best = 0;
  for (std::size_t k = 1; k < count; ++k) {
    if (Matrix[k] > Matrix[best]) best = k;
  }
  return static_cast<long>(best);
}

long ArrayInvert(int* Matrix, long M, long N) {
  const long best = ArrayMaxIndex(Matrix, M, N);
  if (best < 0) return -1;
  const int maximum = Matrix[best];
  const std::size_t count = ElementCount(M, N);
  for (std::size_t k = 0; k < count; ++k) Matrix[k] = WrappingSub(maximum, Matrix[k]);
  return best;
}

int ArrayCopy(int* Target, const int* Source, long M, long N) {
  std::copy_n(Source, ElementCount(M, N), Target);
  return 1;
}

int ArrayCopyD(double* Target, const double* Source, long M, long N) {
  std::copy_n(Source, ElementCount(M, N), Target);
  return 1;
}

int SubstractArrayD(double* Ares, const double* A1, const double* A2, long M, long N) {
  const std::size_t count = ElementCount(M, N);
  for (std::size_t k = 0; k < count; ++k) Ares[k] = A1[k] - A2[k];
  return 0;
}

int ArrayTranspose(int* Array, long M, long N) { return TransposeSquare(Array, M, N); }

int ArrayTransposeD(double* Array, long M, long N) { return TransposeSquare(Array, M, N); }

int Plot(int* Array, long M, long N, const long* Index, int Value) {
  if (!InsideArray(M, N, Index)) return 0;
  Array[Index[1] * M + Index[0]] = Value;
  return 1;
}

int AddPlot(int* Array, long M, long N, const long* Index, int Value) {
  if (!InsideArray(M, N, Index)) return 0;
  int& element = Array[Index[1] * M + Index[0]];
  element = WrappingAdd(element, Value);
  return 1;
}

int PlotLine(int* Array, long M, long N, const double* P1, const double* P2, int FillValue,
             int Width) {
  // Only the interior is drawn, so that the edge neighbours of a sample stay inside too.
  if (M < 3 || N < 3) return 0;
  const double dx = P2[0] - P1[0];
  const double dy = P2[1] - P1[1];
  // The step is accumulated, not multiplied, which fixes the number of samples at 100.
  for (double s = 0.0; s <= 1.0; s += 0.01) {
    const long x = TruncateToward0<long>(P1[0] + s * dx);
    const long y = TruncateToward0<long>(P1[1] + s * dy);
    if (x < 1 || x >= M - 1 || y < 1 || y >= N - 1) continue;
    Array[y * M + x] = FillValue;
    if (Width > 1) {
      Array[y * M + x - 1] = FillValue;
      Array[y * M + x + 1] = FillValue;
      Array[(y - 1) * M + x] = FillValue;
      Array[(y + 1) * M + x] = FillValue;
    }
  }
  return 0;
}

int GetColor(const double* Point, long M, long /*N*/, const int* Area) {
  const long column = TruncateToward0<long>(Point[0]);
  const long row = TruncateToward0<long>(Point[1]);
  return Area[row * M + column];
}

int SetPrintMode(int mode) { return std::exchange(State().PrintMode, mode); }

// ---------------------------------------------------------------------------------------------
// Raw blocks

long AllocateArrayInt(int** Matrix, long M, long N) { return AllocateBlock(Matrix, M, N); }

long AllocateArrayDouble(double** Matrix, long M, long N) { return AllocateBlock(Matrix, M, N); }

int DeAllocateArrayInt(int* Matrix) {
  if (Matrix == nullptr) return 0;
  delete[] Matrix;
  return 1;
}

int DeAllocateArrayDouble(double* Matrix) {
  if (Matrix == nullptr) return 0;
  delete[] Matrix;
  return 1;
}

// ---------------------------------------------------------------------------------------------
// Text files

int PrintArray(const int* Array, long M, long N, const char* FileName) {
  return WriteRows(Array, M, N, FileName, "%i ");
}

int PrintArrayL(const long* Array, long M, long N, const char* FileName) {
  return WriteRows(Array, M, N, FileName, "%li ");
}

int PrintArrayD(const double* Array, long M, long N, const char* FileName) {
  return WriteRows(Array, M, N, FileName, "%f ");
}

int PrintArrayDe(const double* Array, long M, long N, const char* FileName) {
  return WriteRows(Array, M, N, FileName, "%e ");
}

int PrintArrayStep(const int* Array, long M, long N, const char* FileName, long Step) {
  return WriteRowsStep(Array, M, N, FileName, Step, "%3i ");
}

int PrintArrayDStep(const double* Array, long M, long N, const char* FileName, long Step) {
  return WriteRowsStep(Array, M, N, FileName, Step, "%5.1f ");
}

int ReadArray(int* Array, long M, long N, const char* FileName) {
  return ReadTextFile(Array, M, N, FileName, ReadInt);
}

int ReadArrayD(double* Array, long M, long N, const char* FileName) {
  return ReadTextFile(Array, M, N, FileName, ReadFloatAsDouble);
}

int ReadArrayBuffer(int* Array, long M, long N, std::span<const std::uint8_t> bytes,
                    const char* name) {
  return ReadTextBytes(Array, M, N, bytes, name, ReadInt);
}

int ReadArrayDBuffer(double* Array, long M, long N, std::span<const std::uint8_t> bytes,
                     const char* name) {
  return ReadTextBytes(Array, M, N, bytes, name, ReadFloatAsDouble);
}

// ---------------------------------------------------------------------------------------------
// Binary array files

int WriteArray(const int* Array, long M, long N, const char* FileName) {
  return WriteBinaryFile(FileName, T_ARRAY_INT, M, N, [&](std::FILE* f, std::size_t k) {
    return PutLE32(f, static_cast<std::uint32_t>(Array[k]));
  });
}

int WriteArrayD(const double* Array, long M, long N, const char* FileName) {
  return WriteBinaryFile(FileName, T_ARRAY_DOUBLE, M, N, [&](std::FILE* f, std::size_t k) {
    return PutLE64(f, std::bit_cast<std::uint64_t>(Array[k]));
  });
}

int ReadArrayBin(int* Array, long M, long N, const char* FileName) {
  std::FILE* f = std::fopen(FileName, "rb");
  if (f == nullptr) return 1;
  const int result = ReadArrayBinStream(f, Array, M, N, FileName);
  std::fclose(f);
  return result;
}

int ReadArrayBinBuffer(int* Array, long M, long N, std::span<const std::uint8_t> bytes,
                       const char* name) {
  std::FILE* f = OpenBytes(bytes);
  if (f == nullptr) return 1;
  const int result = ReadArrayBinStream(f, Array, M, N, name);
  std::fclose(f);
  return result;
}

int ReadArrayBinD(double* /*Array*/, long /*M*/, long /*N*/, const char* /*FileName*/) { return 1; }

// ---------------------------------------------------------------------------------------------
// PGM files

int PPMArray(const int* Array, long M, long N, const char* FileName) {
  return WritePgm(Array, M, N, FileName, false);
}

int PPMArrayT(const int* Array, long M, long N, const char* FileName) {
  return WritePgm(Array, M, N, FileName, true);
}

int ReadPPM(int* Array, long M, long N, const char* FileName) {
  std::FILE* f = std::fopen(FileName, "rb");
  if (f == nullptr) return 1;
  const int result = ReadPgmStream(f, Array, M, N);
  std::fclose(f);
  return result;
}

int ReadPPMBuffer(int* Array, long M, long N, std::span<const std::uint8_t> bytes) {
  std::FILE* f = OpenBytes(bytes);
  if (f == nullptr) return 1;
  const int result = ReadPgmStream(f, Array, M, N);
  std::fclose(f);
  return result;
}

}  // namespace zmr
