// The worker functions of the long computations, each given the ProgramState it works on as
// its argument. Each sets the progress dialog's counters, runs its computation and finally
// sets fTerminated to 1. They run on a worker thread started
// by the platform (Platform::RunWorker); the main thread only polls the counters meanwhile.
#pragma once

namespace zmr {

// Auto-detection: spot detection, grid tracing, triangulation, calibration points.
void Thread(void* state);
// Triangulation of calibration points just read from a file. The triangulating workers keep a
// Cancel that came before their triangulation began (see MakeTriangulationOnWorker).
void ThreadT(void* state);
// Image transformation through the distortion model: in grey levels (RunTransform), or in
// counts (RunCountTransform) as TransformMode says; a failure of the latter other than a cancel
// becomes a note.
void ThreadWarp(void* state);
// Boundary extrapolation, then triangulation of the enlarged point set. A Cancel puts back the
// points, the mesh and the fit it started from.
void ThreadExtrapol(void* state);
// Rotation and scale adjustment of the calibration points.
void ThreadCenter(void* state);

}  // namespace zmr
