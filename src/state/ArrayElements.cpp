// The element operations and raw blocks of the array module: arithmetic over whole arrays,
// searches, plotting into an array, and the allocation of bare blocks.
#include "state/Array.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

#include "state/Numeric.h"

namespace zmr {

std::size_t ArrayElementCount(long M, long N) {
  long count = 0;
  if (M <= 0 || N <= 0 || __builtin_mul_overflow(M, N, &count)) return 0;
  return static_cast<std::size_t>(count);
}

namespace {

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
  std::fill_n(Array, ArrayElementCount(M, N), Value);
  return 0;
}

int FillArray(int* Array, long M, long N, int Value) { return FillArrayInt(Array, M, N, Value); }

int FillArrayD(double* Array, long M, long N, double Value) {
  std::fill_n(Array, ArrayElementCount(M, N), Value);
  return 0;
}

int ArrayDoubleToInt(const double* ArrayDouble, int* ArrayInt, long M, long N) {
  const std::size_t count = ArrayElementCount(M, N);
  for (std::size_t k = 0; k < count; ++k) ArrayInt[k] = TruncateToward0<int>(ArrayDouble[k]);
  return 0;
}

int ArrayIntToDouble(const int* ArrayInt, double* ArrayDouble, long M, long N) {
  const std::size_t count = ArrayElementCount(M, N);
  for (std::size_t k = 0; k < count; ++k) ArrayDouble[k] = ArrayInt[k];
  return 0;
}

int ArrayNormalise(double* Array, long M, long N, double Scale) {
  const std::size_t count = ArrayElementCount(M, N);
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
  const std::size_t count = ArrayElementCount(M, N);
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
  const std::size_t count = ArrayElementCount(M, N);
  for (std::size_t k = 0; k < count; ++k) {
    if (Array[k] == Value) return static_cast<long>(k);
  }
  return -1;
}

long ArrayMaxIndex(const int* Matrix, long M, long N) {
  const std::size_t count = ArrayElementCount(M, N);
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
  const std::size_t count = ArrayElementCount(M, N);
  for (std::size_t k = 0; k < count; ++k) Matrix[k] = WrappingSub(maximum, Matrix[k]);
  return best;
}

int ArrayCopy(int* Target, const int* Source, long M, long N) {
  std::copy_n(Source, ArrayElementCount(M, N), Target);
  return 1;
}

int ArrayCopyD(double* Target, const double* Source, long M, long N) {
  std::copy_n(Source, ArrayElementCount(M, N), Target);
  return 1;
}

int SubstractArrayD(double* Ares, const double* A1, const double* A2, long M, long N) {
  const std::size_t count = ArrayElementCount(M, N);
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

}  // namespace zmr
