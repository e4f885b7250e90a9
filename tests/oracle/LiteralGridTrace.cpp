#include "oracle/LiteralGridTrace.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "detection/GridTrace.h"
#include "state/ProgramState.h"
#include "state/TraceLog.h"

namespace zmr::oracle {
namespace {

int SpotCount() {
  const long capacity = std::max(State().MAXPoints - 1, 0L);
  return static_cast<int>(std::clamp(State().NumberOfPoints, 0L, capacity));
}

// The nearest of the first n spots with D 0 strictly closer than *Dmin (the first of equals),
// which then becomes *Dmin; -1 when there is none.
int FindClosest(double x, double y, const double* X, const double* Y, const int* D, int n,
                double* Dmin) {
  int found = -1;
  for (int k = 0; k < n; ++k) {
    const double d = std::sqrt((X[k] - x) * (X[k] - x) + (Y[k] - y) * (Y[k] - y));
    if (D[k] == 0 && d < *Dmin) *Dmin = d, found = k;
  }
  return found;
}

// The spot numbers of nodes 40..59 (free nodes as 0), then every spot's node.
void PrintNodes() {
  const ProgramState& s = State();
  for (int i = 40; i < 60; ++i) {
    for (int j = 40; j < 60; ++j) std::printf(" %2i", std::max(s.PMatrix[i * kGridNodes + j], 0));
    std::printf("\n");
  }
  for (int k = 0; k < SpotCount(); ++k) std::printf("%i -> [%i %i]\n", k, s.Pi[k], s.Pj[k]);
}

// Logs which spots are assigned, then removes each unassigned one by moving the whole rest of
// the list down one place (the last entry stays, repeated into every slot freed).
void DeleteNotAssigned(double* PX, double* PY, double* SX, double* SY, int* PD) {
  const int n = SpotCount();
  TraceLog(State(), "Deleting points not assigned to ideal grid \n");
  for (int k = 0; k < n; ++k) {
    TraceLog(State(), " %c%-3i|", PD[k] == 0 ? '-' : '+', k);
    if (k % 10 == 0) TraceLog(State(), "\n");
  }
  TraceLog(State(), "\n");
  int left = n;
  for (int k = 0; k < left;) {
    if (PD[k] != 0) {
      ++k;
      continue;
    }
    for (int m = k; m + 1 < n; ++m)
      PX[m] = PX[m + 1], PY[m] = PY[m + 1], SX[m] = SX[m + 1], SY[m] = SY[m + 1], PD[m] = PD[m + 1];
    --left;
  }
  State().NumberOfPoints = left;
  TraceLog(State(), "%li points left \n", State().NumberOfPoints);
}

void TraceLiteral(int oind, int nind, double* PX, double* PY, int* PD, int is, int js, int in,
                  int jn) {
  static const int Shift[2][4] = {{-1, 0, 1, 0}, {0, -1, 0, 1}};
  ProgramState& s = State();
  if (s.DebugSwitch) TraceLog(State(), "-> %i\n", nind);
  const double P[2] = {PX[oind], PY[oind]};
  const double Q[2] = {PX[nind], PY[nind]};
  if (s.OccupiedPoints >= s.NumberOfPoints) return;
  const double u[2] = {Q[0] - P[0], Q[1] - P[1]};
  const int um[2] = {in - is, jn - js};
  const double v[2] = {-u[1], u[0]};
  const int vm[2] = {-um[1], um[0]};
  for (int k = 0; k < 4; ++k) {
    const int i = in + Shift[0][k];
    const int j = jn + Shift[1][k];
    if (s.DebugSwitch) TraceLog(State(), " | %i [%i %i]", k, i, j);
    if (i < 0 || i >= kGridNodes || j < 0 || j >= kGridNodes) continue;
    if (s.PMatrix[i * kGridNodes + j] != kFreeNode) continue;
    const int d[2] = {i - in, j - jn};
    const double a[2] = {static_cast<double>(d[0] * um[0] + d[1] * um[1]),
                         static_cast<double>(d[0] * vm[0] + d[1] * vm[1])};
    const double R[2] = {Q[0] + a[0] * u[0] + a[1] * v[0], Q[1] + a[0] * u[1] + a[1] * v[1]};
    if (s.DebugSwitch) TraceLog(State(), "(testing X=%f Y=%f)", R[0], R[1]);
    double Distance = s.Edge;
    const int pind = FindClosest(R[0], R[1], PX, PY, PD, SpotCount(), &Distance);
    if (pind >= 0 && Distance < s.Edge * s.Ethresh) {
      s.PMatrix[i * kGridNodes + j] = pind;
      if (s.DebugSwitch) {
        TraceLog(State(), "Point %i located\n", pind);
      } else {
        TraceLog(State(), "%i ", pind);
      }
      s.OccupiedPoints += 1;
      s.iAssignedPoints.store(s.OccupiedPoints, std::memory_order_relaxed);
      PD[pind] = 1;
      s.Pi[pind] = i - s.istart;
      s.Pj[pind] = j - s.jstart;
      TraceLiteral(nind, pind, PX, PY, PD, in, jn, i, j);
    } else if (s.DebugSwitch) {
      TraceLog(State(), " D=%f (E=%f) not close enough to any other point ! \n", Distance, s.Edge);
    }
  }
}

int GenerateShiftsLiteral(double* PX, double* PY, int* PD, double* SX, double* SY,
                          const double* Pg) {
  ProgramState& s = State();
  double Dtemp = 1000.0;
  s.Edge = static_cast<double>(s.ImageM);
  s.PMatrix.assign(kGridNodes * kGridNodes, kFreeNode);
  std::fill(PD, PD + std::max(s.MAXPoints, 0L), 0);
  std::fill(s.Pi.begin(), s.Pi.end(), 0);
  std::fill(s.Pj.begin(), s.Pj.end(), 0);
  const int n = SpotCount();
  int oind = -1;
  int nind = -1;
  if (n >= 2) {
    oind = FindClosest(Pg[0], Pg[1], PX, PY, PD, n, &Dtemp);
    if (oind >= 0) {
      PD[oind] = 1;
      nind = FindClosest(PX[oind], PY[oind], PX, PY, PD, n, &s.Edge);
      if (nind < 0) PD[oind] = 0;
    }
  }
  s.istart = s.jstart = 50;
  if (nind >= 0) {
    s.OccupiedPoints = 2;
    s.iAssignedPoints.store(2, std::memory_order_relaxed);
    s.PMatrix[50 * kGridNodes + 50] = oind;
    s.PMatrix[50 * kGridNodes + 51] = nind;
    PD[nind] = 1;
    s.Pj[nind] = 1;
    TraceLog(State(), "Starting to trace ideal grid with points %i %i (Edge = %f)\n", oind, nind,
             s.Edge);
    TraceLiteral(oind, nind, PX, PY, PD, 50, 50, 50, 51);
    TraceLiteral(nind, oind, PX, PY, PD, 50, 51, 50, 50);
  } else {
    s.OccupiedPoints = 0;
    s.iAssignedPoints.store(0, std::memory_order_relaxed);
  }
  TraceLog(State(), "----------------------------------------\n");
  TraceLog(State(), "%i points assigned from total %li \n ", s.OccupiedPoints, s.NumberOfPoints);
  if (s.DebugSwitch) PrintNodes();
  if (nind >= 0) {
    s.Origin[0] = PX[oind];
    s.Origin[1] = PY[oind];
    s.ug[0] = PX[nind] - PX[oind];
    s.ug[1] = PY[nind] - PY[oind];
  } else {
    s.Origin[0] = s.Origin[1] = 0.0;
    s.ug[0] = s.ug[1] = 0.0;
  }
  s.vg[0] = -s.ug[1];
  s.vg[1] = s.ug[0];
  // The ideal positions: column Pj along ug, row Pi along -vg from the start spot.
  for (int k = 0; k < n; ++k) {
    SX[k] = s.Origin[0] - s.Pi[k] * s.vg[0] + s.Pj[k] * s.ug[0];
    SY[k] = s.Origin[1] - s.Pi[k] * s.vg[1] + s.Pj[k] * s.ug[1];
  }
  return 0;
}

}  // namespace

int GetGridShiftsLiteral() {
  ProgramState& s = State();
  if (s.OUT_LOG != nullptr) std::fclose(s.OUT_LOG);
  s.OUT_LOG = std::fopen(kTraceLogName, "a");
  const bool given = (s.Centering & 0xF0) == 0x20;
  const double Pg[2] = {given ? s.InpCoor[0] : s.ImageM / 2.0,
                        given ? s.InpCoor[1] : s.ImageN / 2.0};
  const bool centred = (s.Centering & 0x0F) == 1;
  s.Pc[0] = centred ? s.InpCoor[0] : s.ImageM / 2.0;
  s.Pc[1] = centred ? s.InpCoor[1] : s.ImageN / 2.0;
  TraceLog(State(), " Generating shifts with ideal grid origin placed at (%f,%f)\n", Pg[0], Pg[1]);
  s.NumberOfPoints = std::max(std::min(s.NumberOfPoints, s.MAXPoints) - 1, 0L);  // slot 0 out
  double* PX = s.PointsBuffer.data() + 1;
  double* PY = s.PointsBuffer.data() + s.MAXPoints + 1;
  GenerateShiftsLiteral(PX, PY, s.Pflag.data(), s.SX.data(), s.SY.data(), Pg);
  DeleteNotAssigned(PX, PY, s.SX.data(), s.SY.data(), s.Pflag.data());
  if (s.OUT_LOG != nullptr) std::fclose(s.OUT_LOG);
  s.OUT_LOG = nullptr;
  return 0;
}

}  // namespace zmr::oracle
