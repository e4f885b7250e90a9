// zmr_cancel_bench: how long each of the five workers takes to end after Cancel, on a large
// generated grid (4096 x 4096 pixels, pitch 64, spot radius 22: 4096 spots). Each worker runs
// through its menu command on a real thread; the calling thread sets fTerminated after each of
// several delays and times the rest of the worker. Counters: the longest such latency over the
// delays that caught the worker still running, in milliseconds, and how many did.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "QuietStdout.h"
#include "gridgen/GridGen.h"
#include "state/ProgramState.h"
#include "support/FakePlatform.h"
#include "support/GridImageLoad.h"
#include "ui/CommandTable.h"
#include "ui/Startup.h"
#include "ui/resource.h"

namespace zmr {
namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds after the start at which Cancel is pressed.
constexpr int kCancelDelaysMs[] = {1, 5, 15, 40, 100, 250, 500};

// Runs the worker on a thread, presses Cancel after delayMs, and records how long the worker
// went on afterwards (negative when it had already ended).
class CancellingPlatform : public test::FakePlatform {
 public:
  void RunWorker(ProgressDialog /*dialog*/, const std::function<void()>& work) override {
    ProgramState& s = State();
    std::thread worker(work);
    const Clock::time_point due = Clock::now() + std::chrono::milliseconds(delayMs);
    while (Clock::now() < due && s.fTerminated.load(std::memory_order_acquire) == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    int running = 0;
    const Clock::time_point pressed = Clock::now();
    const bool cancelled = s.fTerminated.compare_exchange_strong(running, 1);
    worker.join();
    latencyMs = cancelled
                    ? std::chrono::duration<double, std::milli>(Clock::now() - pressed).count()
                    : -1.0;
  }
  int delayMs = 0;
  double latencyMs = -1.0;
};

// The arrays and counts the five commands change, to start every run from the same state.
struct Saved {
  std::vector<double> input, buffer;
  std::vector<int> tpoints;
  long points = 0, triangles = 0;
  void Take() {
    const ProgramState& s = State();
    input = s.PointsInput;
    buffer = s.PointsBuffer;
    tpoints = s.Tpoints;
    points = s.NumberOfPoints;
    triangles = s.NumberOfTriangles;
  }
  void Put() const {
    ProgramState& s = State();
    s.PointsInput = input;
    s.PointsBuffer = buffer;
    s.Tpoints = tpoints;
    s.NumberOfPoints = points;
    s.NumberOfTriangles = triangles;
  }
};

// The program with the large grid loaded, detected, and its points in "points.txt", once.
struct Scene {
  std::filesystem::path folder;
  test::FakePlatform setupPlatform;
  CancellingPlatform platform;
  Saved detected;
  Scene() {
    folder = std::filesystem::temp_directory_path() / ("zmr-cancel-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    ResetProgramState();
    StartProgram(setupPlatform);
    GridSpec gridSpec;
    gridSpec.width = 4096;
    gridSpec.height = 4096;
    gridSpec.pitch = 64;
    gridSpec.radius = 22;
    if (!test::PutGridImage(GenerateGrid(gridSpec))) throw std::bad_alloc();
    RunCommand(IDM_AUTODETECT, setupPlatform);
    setupPlatform.fileAnswers = {"points.txt"};
    RunCommand(IDM_POINTS_SAVE, setupPlatform);
    detected.Take();
  }
  ~Scene() {
    EndProgram(State());
    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
  }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

using zmr::bench::QuietStdout;

void CancelLatency(benchmark::State& state, int command) {
  QuietStdout quiet;
  Scene& scene = TheScene();
  double worst = 0.0;
  int caught = 0;
  for (auto _ : state) {
    for (int delayMs : kCancelDelaysMs) {
      scene.detected.Put();
      scene.platform.fileAnswers = {"points.txt"};
      scene.platform.delayMs = delayMs;
      RunCommand(command, scene.platform);
      if (scene.platform.latencyMs < 0) continue;
      worst = std::max(worst, scene.platform.latencyMs);
      ++caught;
    }
  }
  state.counters["latency_max_ms"] = worst;
  state.counters["cancels"] = caught;
}

BENCHMARK_CAPTURE(CancelLatency, Detection, IDM_AUTODETECT)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(CancelLatency, Triangulation, IDM_POINTS_OPEN)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(CancelLatency, Transformation, IDM_TRANSFORM)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(CancelLatency, Extrapolation, IDM_EXTRAPOLATE)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(CancelLatency, Adjustment, IDM_ADJUST)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace zmr

BENCHMARK_MAIN();
