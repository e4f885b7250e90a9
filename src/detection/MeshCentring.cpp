#include "detection/MeshCentring.h"

#include <cstdarg>
#include <cstdio>

#include "state/FileOpen.h"
#include "detection/PointFiles.h"
#include "geometry/TriangleLocation.h"
#include "state/ProgramState.h"
#include "state/TraceLog.h"

namespace zmr {
namespace {

// Appends one formatted line to the trace log: the open OUT_LOG, or else the file itself for
// the length of the line, since callers outside a traced run have not opened it.
__attribute__((format(printf, 2, 3))) void AppendToTraceLog(const ProgramState& s,
                                                            const char* format, ...) {
  std::FILE* log = s.OUT_LOG;
  const bool ownStream = log == nullptr;
  if (ownStream) log = OpenFile(WorkFile(s, kTraceLogName).c_str(), "a");
  if (log == nullptr) return;
  va_list args;
  va_start(args, format);
  VfprintfInCLocale(log, format, args);
  va_end(args);
  if (ownStream) std::fclose(log);
}

// True when the spot list from slot 1 of PointsBuffer and SX, SY hold NumberOfPoints entries.
bool SpotListValid(const ProgramState& s) {
  const long n = s.NumberOfPoints;
  if (n < 0 || s.MAXPoints < 1 || n > s.MAXPoints - 1) return false;
  return static_cast<long long>(s.PointsBuffer.size()) >= 2LL * s.MAXPoints &&
         static_cast<long long>(s.SX.size()) >= n && static_cast<long long>(s.SY.size()) >= n;
}

}  // namespace

int CenterAutoTraceResults(ProgramState& s) {
  std::printf("Centering shifts\n");
  if (s.TraceFlag != kTraceFlagCentring || !SpotListValid(s)) {
    std::printf("ERROR : Can't center data in this state !\n");
    return 0;
  }
  const double* px = s.PointsBuffer.data() + 1;
  const double* py = s.PointsBuffer.data() + s.MAXPoints + 1;
  if ((s.Centering & 1) != 0) {
    CenterMesh(s, s.Pc, px, py, s.SX.data(), s.SY.data());
    CenterMesh(s, s.Pc, px, py, s.SX.data(), s.SY.data());
  }
  PrintShifts(s, WorkFile(s, kResultsFitName).c_str(), px, py, s.SX.data(), s.SY.data());
  return 0;
}

int CenterMesh(const ProgramState& s, const double* Pc, const double* PX, const double* PY,
               double* SX, double* SY) {
  const long t = FindTriangle(s, Pc[0], Pc[1], PX, PY);
  if (t < 0) {
    AppendToTraceLog(s, "Point outside triangulated zone - skipping mesh centering\n");
    return 0;
  }
  const int* v = s.Tpoints.data() + 3 * t;
  double p[3][2];
  double d[3][2];
  for (int k = 0; k < 3; ++k) {
    p[k][0] = PX[v[k]];
    p[k][1] = PY[v[k]];
    d[k][0] = SX[v[k]] - PX[v[k]];
    d[k][1] = SY[v[k]] - PY[v[k]];
  }
  double dc[2] = {0.0, 0.0};
  ApproximateShift(Pc, dc, p[0], p[1], p[2], d[0], d[1], d[2]);
  AppendToTraceLog(s, "Approximated shift for the point [%6.2f %6.2f] : [%6.2f %6.2f]\n", Pc[0],
                   Pc[1], dc[0], dc[1]);
  for (long k = 0; k < s.NumberOfPoints; ++k) {
    SX[k] -= dc[0];
    SY[k] -= dc[1];
  }
  return 0;
}

}  // namespace zmr
