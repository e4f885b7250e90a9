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
#include "state/FileOpen.h"
#include "state/ProgramState.h"
#include "state/SafeWrite.h"

namespace zmr {

namespace {

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
  const std::size_t count = ArrayElementCount(M, N);
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
  std::FILE* f = OpenFile(FileName, "r");
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
  std::FILE* f = OpenFile(FileName, "wb");
  if (f == nullptr) {
    std::printf("Cannot open output file %s\n", FileName);
    return 1;
  }
  std::printf("Writing to file %s in binary format...", FileName);
  // Sizes are stored as 32-bit two's complement whatever the width of long.
  bool ok = std::fputc(type, f) != EOF && PutLE32(f, static_cast<std::uint32_t>(M)) &&
            PutLE32(f, static_cast<std::uint32_t>(N));
  const std::size_t count = ArrayElementCount(M, N);
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
  const std::size_t count = ok ? ArrayElementCount(M, N) : 0;
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

int WritePgm(const ProgramState& s, const int* Array, long M, long N, const char* FileName,
             bool transpose) {
  std::FILE* f = OpenFile(FileName, "wb");
  if (f == nullptr) {
    std::printf("Cannot open output file %s\n", FileName);
    return 1;
  }
  const int mode = s.PrintMode;
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
  const std::size_t count = ArrayElementCount(M, N);
  std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[count]);
  if (pixels == nullptr) return 1;
  if (std::fread(pixels.get(), 1, count, f) != count) return 1;
  std::copy(pixels.get(), pixels.get() + count, Array);
  return 0;
}

}  // namespace

int SetPrintMode(ProgramState& s, int mode) { return std::exchange(s.PrintMode, mode); }

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
  std::FILE* f = OpenFile(FileName, "rb");
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

int PPMArray(const ProgramState& s, const int* Array, long M, long N, const char* FileName) {
  return WritePgm(s, Array, M, N, FileName, false);
}

int PPMArrayT(const ProgramState& s, const int* Array, long M, long N, const char* FileName) {
  return WritePgm(s, Array, M, N, FileName, true);
}

int ReadPPM(int* Array, long M, long N, const char* FileName) {
  std::FILE* f = OpenFile(FileName, "rb");
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
