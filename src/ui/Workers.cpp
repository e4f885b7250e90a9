#include "ui/Workers.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <vector>

#include "detection/GridTrace.h"
#include "detection/SpotDetection.h"
#include "detection/robust/RobustDetection.h"
#include "geometry/CountTransform.h"
#include "geometry/LatticeAdjustment.h"
#include "geometry/LeastSquare.h"
#include "geometry/RotationScale.h"
#include "geometry/Transform.h"
#include "geometry/Triangulate.h"
#include "state/PageWarmer.h"
#include "state/ProgramState.h"

namespace zmr {

namespace {
void SetCounters(ProgramState& s, int detected, long assigned, long triangles) {
  s.iDetectedAreas.store(detected, std::memory_order_relaxed);
  s.iAssignedPoints.store(static_cast<int>(assigned), std::memory_order_relaxed);
  s.iTriangles.store(static_cast<int>(triangles), std::memory_order_relaxed);
}

// The release store lets the main thread see the finished arrays once it sees the flag.
void Finish(ProgramState& s) { s.fTerminated.store(1, std::memory_order_release); }
}  // namespace

void Thread(void* state) {
  ProgramState& s = *static_cast<ProgramState*>(state);
  SetCounters(s, 0, 0, 0);
  {
    // The adjustment's and the transformation's arrays, which the detection does not use, get
    // their pages meanwhile on the other core; the warming ends before the worker does.
    const PageWarmer warmer({{s.deltaX.data(), s.deltaX.size() * sizeof(double)},
                             {s.deltaY.data(), s.deltaY.size() * sizeof(double)},
                             {s.Area.data(), s.Area.size() * sizeof(int)},
                             {s.Signal.data(), s.Signal.size() * sizeof(double)}},
                            &s.fTerminated);
    if (s.DetectionMode == 1) {
      RunRobustDetection(s);
    } else {
      AutoTrace(s, s.cxDib, s.cyDib);
      GetGridShifts(s);
    }
    MakeTriangulation(s, 0);
    CInitPointArrays(s);
  }
  Finish(s);
}

void ThreadT(void* state) {
  ProgramState& s = *static_cast<ProgramState*>(state);
  SetCounters(s, 0, s.NumberOfPoints, 0);
  MakeTriangulationOnWorker(s, 1);
  Finish(s);
}

void ThreadWarp(void* state) {
  ProgramState& s = *static_cast<ProgramState*>(state);
  SetCounters(s, 0, s.NumberOfPoints, s.NumberOfTriangles);
  if (s.TransformMode == kTransformGreyLevels) {
    s.TargetCounts = {};  // the target receives grey levels
    RunTransform(s, s.cxDib, s.cyDib);
  } else if (const Result done = RunCountTransform(s, s.TransformMode);
             !done && s.fTerminated.load(std::memory_order_acquire) == 0) {
    // A cancel is the user's own doing; any other failure is told.
    AddNote(s, "Transformation: " + done.message());
  }
  Finish(s);
}

void ThreadExtrapol(void* state) {
  ProgramState& s = *static_cast<ProgramState*>(state);
  SetCounters(s, 0, s.NumberOfPoints, 0);
  // A cancelled run puts back the points and the mesh it started from: the added points with a
  // partial mesh would lie outside it, and the next extrapolation would add them a second time.
  const long points = s.NumberOfPoints;
  const long triangles = s.NumberOfTriangles;
  const bool incomplete = s.meshIncomplete;
  const std::vector<int> mesh = s.Tpoints;
  const std::vector<double> input = s.PointsInput;
  const std::vector<double> buffer = s.PointsBuffer;
  const std::array<double, 20> fit = std::to_array(s.WX_LS);
  const long imageM = s.ImageM;
  const long imageN = s.ImageN;
  AddBoundaryCalibrationPoints(s, s.cxDib, s.cyDib);
  MakeTriangulationOnWorker(s, 1);
  if (s.fTerminated.load(std::memory_order_acquire) != 0) {
    s.PointsInput = input;
    s.NumberOfPoints = points;
    s.Tpoints = mesh;
    s.NumberOfTriangles = triangles;
    s.meshIncomplete = incomplete;
    s.PointsBuffer = buffer;
    std::copy(fit.begin(), fit.end(), s.WX_LS);
    s.ImageM = imageM;
    s.ImageN = imageN;
    SetCounters(s, 0, points, triangles);
  }
  Finish(s);
}

void ThreadCenter(void* state) {
  ProgramState& s = *static_cast<ProgramState*>(state);
  SetCounters(s, 0, s.NumberOfPoints, s.NumberOfTriangles);
  s.adjusted = false;
  if (s.AdjustMode == 1) {
    MoveIdealLatticeWhole(s);
    Finish(s);
    return;
  }
  if (s.deltaX.empty() || s.deltaY.empty() || s.Area.empty()) {
    AllocateImageArrays(s, s.cxDib, s.cyDib);
  }
  if (!s.deltaX.empty() && !s.deltaY.empty() && !s.Area.empty()) {
    double center[2] = {0.0, 0.0};
    double rotation = 0.0;
    double scale = 0.0;
    ArrayStatistics(s, center, &rotation, &scale, s.cxDib, s.cyDib, s.deltaX.data(),
                    s.deltaY.data(), s.Area.data());
    // A cancelled run leaves the last complete estimate standing.
    if (s.fTerminated.load(std::memory_order_relaxed) == 0) {
      s.adjusted = true;
      s.adjustedCenter[0] = center[0];
      s.adjustedCenter[1] = center[1];
      s.adjustedRotation = rotation;
      s.adjustedScale = scale;
    }
  }
  Finish(s);
}

}  // namespace zmr
