#include "ui/Workers.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <vector>

#include "detection/GridTrace.h"
#include "detection/SpotDetection.h"
#include "geometry/LeastSquare.h"
#include "geometry/RotationScale.h"
#include "geometry/Transform.h"
#include "geometry/Triangulate.h"
#include "state/ProgramState.h"

namespace zmr {

namespace {
void SetCounters(int detected, long assigned, long triangles) {
  ProgramState& s = State();
  s.iDetectedAreas.store(detected, std::memory_order_relaxed);
  s.iAssignedPoints.store(static_cast<int>(assigned), std::memory_order_relaxed);
  s.iTriangles.store(static_cast<int>(triangles), std::memory_order_relaxed);
}

// The release store lets the main thread see the finished arrays once it sees the flag.
void Finish() { State().fTerminated.store(1, std::memory_order_release); }
}  // namespace

void Thread(void* /*unused*/) {
  ProgramState& s = State();
  SetCounters(0, 0, 0);
  AutoTrace(s.cxDib, s.cyDib);
  GetGridShifts();
  MakeTriangulation(0);
  CInitPointArrays();
  Finish();
}

void ThreadT(void* /*unused*/) {
  SetCounters(0, State().NumberOfPoints, 0);
  MakeTriangulationOnWorker(1);
  Finish();
}

void ThreadWarp(void* /*unused*/) {
  ProgramState& s = State();
  SetCounters(0, s.NumberOfPoints, s.NumberOfTriangles);
  RunTransform(s.cxDib, s.cyDib);
  Finish();
}

void ThreadExtrapol(void* /*unused*/) {
  ProgramState& s = State();
  SetCounters(0, s.NumberOfPoints, 0);
  // A cancelled run puts back the points and the mesh it started from: the added points with a
  // partial mesh would lie outside it, and the next extrapolation would add them a second time.
  const long points = s.NumberOfPoints;
  const long triangles = s.NumberOfTriangles;
  const std::vector<int> mesh = s.Tpoints;
  const std::vector<double> input = s.PointsInput;
  const std::vector<double> buffer = s.PointsBuffer;
  const std::array<double, 20> fit = std::to_array(s.WX_LS);
  const long imageM = s.ImageM;
  const long imageN = s.ImageN;
  AddBoundaryCalibrationPoints(s.cxDib, s.cyDib);
  MakeTriangulationOnWorker(1);
  if (s.fTerminated.load(std::memory_order_acquire) != 0) {
    s.PointsInput = input;
    s.NumberOfPoints = points;
    s.Tpoints = mesh;
    s.NumberOfTriangles = triangles;
    s.PointsBuffer = buffer;
    std::copy(fit.begin(), fit.end(), s.WX_LS);
    s.ImageM = imageM;
    s.ImageN = imageN;
    SetCounters(0, points, triangles);
  }
  Finish();
}

void ThreadCenter(void* /*unused*/) {
  ProgramState& s = State();
  SetCounters(0, s.NumberOfPoints, s.NumberOfTriangles);
  if (s.deltaX.empty() || s.deltaY.empty() || s.Area.empty()) {
    AllocateImageArrays(s.cxDib, s.cyDib);
  }
  if (!s.deltaX.empty() && !s.deltaY.empty() && !s.Area.empty()) {
    double center[2] = {0.0, 0.0};
    double rotation = 0.0;
    double scale = 0.0;
    ArrayStatistics(center, &rotation, &scale, s.cxDib, s.cyDib, s.deltaX.data(), s.deltaY.data(),
                    s.Area.data());
  }
  Finish();
}

}  // namespace zmr
