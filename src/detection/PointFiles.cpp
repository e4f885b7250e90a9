#include "detection/PointFiles.h"

#include <stdio.h>  // fmemopen

#include <algorithm>
#include <cerrno>

#include "state/CNumericLocale.h"
#include "state/FileOpen.h"
#include "state/ProgramState.h"
#include "state/SafeWrite.h"
#include "state/TraceLog.h"

namespace zmr {

namespace {

// Opens a read-only stream over bytes; the caller closes it. Null when out of memory.
std::FILE* OpenBuffer(const std::string& bytes) {
  // fmemopen never writes in mode "r"; the cast only satisfies its signature.
  return fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
}

// Closes a written stream; a note says so when some of it was lost (a full disk).
void CloseNoting(ProgramState& s, std::FILE* f, const char* name) {
  const bool failed = std::ferror(f) != 0;
  const int error = errno;
  const bool closed = std::fclose(f) == 0;
  NoteIncompleteFile(s, name, failed, closed, closed ? error : errno);
}

}  // namespace

long ReadPointRecords(const ProgramState& s, std::FILE* f, double* Array) {
  CNumericLocale cLocale;
  if (Array == nullptr) return 0;
  const long capacity = s.MAXPoints;
  long ci = 0;
  for (;;) {
    float v[4];
    // Anything short of four numbers ends the file: a partial record, or a token that fscanf
    // cannot get past and would fail on forever.
    if (std::fscanf(f, "%g%g%g%g", &v[0], &v[1], &v[2], &v[3]) != 4) break;
    if (ci >= capacity) break;
    for (int k = 0; k < 4; ++k) Array[4 * ci + k] = v[k];
    ++ci;
  }
  return ci;
}

long ReadPointsInBuffer(const ProgramState& s, const std::string& bytes, double* Array) {
  std::FILE* f = OpenBuffer(bytes);
  if (f == nullptr) return 0;
  const long count = ReadPointRecords(s, f, Array);
  std::fclose(f);
  return count;
}

long ReadPoints(const ProgramState& s, const char* Fname, double* Array) {
  std::FILE* f = OpenFile(Fname, "r");
  if (f == nullptr) return 0;
  const long count = ReadPointRecords(s, f, Array);
  std::fclose(f);
  return count;
}

long WritePoints(const char* Fname, const double* Array, long cipoints) {
  return WritePointsChecked(Fname, Array, cipoints) ? std::max(cipoints, 0L) : 0;
}

bool WritePointsChecked(const char* Fname, const double* Array, long cipoints) {
  CNumericLocale cLocale;
  return WriteWholeFile(Fname, [&](std::FILE* f) {
    for (long ci = 0; ci < cipoints; ++ci) {
      const double* r = Array + 4 * ci;
      std::fprintf(f, "%5.1f %5.1f %5.1f %5.1f\n", r[0], r[1], r[2], r[3]);
    }
    return true;
  });
}

int PrintPoints(ProgramState& s, const double* Px, const double* Py, const char* FileName) {
  CNumericLocale cLocale;
  std::FILE* f = OpenFile(FileName, "w");
  if (f == nullptr) return 1;
  if (s.announceFiles) std::printf("Writing to file %s ...", FileName);
  const long n = s.NumberOfPoints;
  for (long k = 0; k < n; ++k) std::fprintf(f, "%f %f\n", Px[k], Py[k]);
  if (s.announceFiles) std::printf("done\n");
  CloseNoting(s, f, FileName);
  return 0;
}

int LoadPointPairs(const ProgramState& s, std::FILE* f, double* Px, double* Py) {
  CNumericLocale cLocale;
  const long capacity = s.MAXPoints;
  int k = 0;
  while (k < capacity) {
    float x = 0.0f;
    float y = 0.0f;
    if (std::fscanf(f, "%f %f", &x, &y) != 2) break;
    Px[k] = x;
    Py[k] = y;
    ++k;
  }
  return k;
}

int LoadPointsInBuffer(const ProgramState& s, const std::string& bytes, double* Px, double* Py) {
  std::FILE* f = OpenBuffer(bytes);
  if (f == nullptr) return 0;
  const int count = LoadPointPairs(s, f, Px, Py);
  std::fclose(f);
  return count;
}

int LoadPoints(const ProgramState& s, double* Px, double* Py, const char* FileName) {
  std::FILE* f = OpenFile(FileName, "r");
  if (f == nullptr) return -1;
  const int count = LoadPointPairs(s, f, Px, Py);
  std::fclose(f);
  return count;
}

int LoadTraceResults(ProgramState& s) {
  if (s.MAXPoints <= 0 || s.PointsBuffer.size() < 2 * static_cast<std::size_t>(s.MAXPoints)) {
    return -1;
  }
  const int count = LoadPoints(s, s.PointsBuffer.data(), s.PointsBuffer.data() + s.MAXPoints,
                               WorkFile(s, "PointsFit.txt").c_str());
  if (count < 0) return -1;
  s.NumberOfPoints = count;
  s.TraceFlag = 2;
  return 0;
}

int PrintShifts(ProgramState& s, const char* FileName, const double* PX, const double* PY,
                const double* SX, const double* SY) {
  CNumericLocale cLocale;
  std::FILE* f = OpenFile(FileName, "w");
  if (f == nullptr) {
    std::printf("Cannot open output file %s\n", FileName);
    return 1;
  }
  if (s.announceFiles) std::printf("Writing to file %s ...", FileName);
  const long n = s.NumberOfPoints;
  for (long k = 0; k < n; ++k) std::fprintf(f, "%f %f %f %f\n", PX[k], PY[k], SX[k], SY[k]);
  if (s.announceFiles) std::printf("done\n");
  CloseNoting(s, f, FileName);
  return 0;
}

}  // namespace zmr
