// zmr_robust_bench: the robust detection (DetectionMode 1) against the threshold-and-walk
// detection on the same generated grids, each the minimum of several runs in this process.
// Two times per mode: the detection alone (spots and grid: AutoTrace + GetGridShifts, or
// RunRobustDetection) and the whole Auto-detection worker (with the triangulation and the
// calibration points), in processor time of the thread that runs them. The grids suit both modes:
// dark discs of radius 13 (above the default minimum patch size) on a bright background, fewer than
// 4999 spots. Options: --sizes 769,2048,... (square image sizes), --runs N (default 3), --noise
// SIGMA (grey levels, default 3; from about 5 the robust centres are fitted to the spots' radial
// profile, below they are weighted centroids: Trace.log says which).
#include <time.h>
#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "QuietStdout.h"
#include "detection/GridTrace.h"
#include "detection/SpotDetection.h"
#include "detection/robust/RobustDetection.h"
#include "gridgen/GridGen.h"
#include "state/ProgramState.h"
#include "ui/Workers.h"

namespace zmr {
namespace {

// The processor time of this thread: on a machine shared with other work the wall time
// measures the others as much as the detection.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double Seconds(const std::function<void()>& work) {
  const double start = ThreadSeconds();
  work();
  return ThreadSeconds() - start;
}

struct Times {
  double detection = std::numeric_limits<double>::infinity();
  double worker = std::numeric_limits<double>::infinity();
  long points = 0;
};

// A record holding the grid, its point arrays allocated, writing into folder.
void Prepare(ProgramState& s, const GridImage& grid, int mode, const std::string& folder) {
  s.workFolder = folder;
  s.DetectionMode = mode;
  if (AllocateImageArrays(s, grid.width, grid.height) != 1 || AllocateArrays(s) != 1) {
    std::fprintf(stderr, "zmr_robust_bench: out of memory\n");
    std::exit(1);
  }
  s.cxDib = grid.width;
  s.cyDib = grid.height;
  std::copy(grid.pixels.begin(), grid.pixels.end(), s.Msource.begin());
}

Times Measure(const GridImage& grid, int mode, int runs, const std::string& folder) {
  Times times;
  for (int run = 0; run < runs; ++run) {
    {
      ProgramState s;
      Prepare(s, grid, mode, folder);
      times.detection = std::min(times.detection, Seconds([&] {
                                   if (mode == 1) {
                                     RunRobustDetection(s);
                                   } else {
                                     AutoTrace(s, s.cxDib, s.cyDib);
                                     GetGridShifts(s);
                                   }
                                 }));
    }
    ProgramState s;
    Prepare(s, grid, mode, folder);
    times.worker = std::min(times.worker, Seconds([&] { Thread(&s); }));
    times.points = s.NumberOfPoints;
  }
  return times;
}

std::vector<int> ParseList(const std::string& text) {
  std::vector<int> values;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) values.push_back(std::atoi(item.c_str()));
  return values;
}

}  // namespace
}  // namespace zmr

int main(int argc, char** argv) {
  std::vector<int> sizes = {769, 2048, 3072};
  int runs = 3;
  double noise = 3.0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--sizes") {
      sizes = zmr::ParseList(argv[i + 1]);
    } else if (name == "--runs") {
      runs = std::max(1, std::atoi(argv[i + 1]));
    } else if (name == "--noise") {
      noise = std::max(0.0, std::atof(argv[i + 1]));
    } else {
      std::fprintf(stderr,
                   "usage: zmr_robust_bench [--sizes 769,2048,...] [--runs N] [--noise SIGMA]\n");
      return 2;
    }
  }
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("zmr_robust_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);

  std::printf("%6s %6s | %-24s | %-24s | %s\n", "size", "spots", "default: detect / worker",
              "robust: detect / worker", "ratio detect / worker");
  for (int size : sizes) {
    zmr::GridSpec layout;
    layout.width = size;
    layout.height = size;
    layout.pitch = std::max(38.0, size / 60.0);
    layout.radius = 13.0;
    layout.noiseSigma = noise;
    const zmr::GridImage grid = zmr::GenerateGrid(layout);
    if (grid.width == 0) {
      std::fprintf(stderr, "zmr_robust_bench: cannot draw a %d x %d grid\n", size, size);
      continue;
    }
    zmr::Times standard;
    zmr::Times robust;
    {
      const zmr::bench::QuietStdout quiet;
      standard = zmr::Measure(grid, 0, runs, folder.string());
      robust = zmr::Measure(grid, 1, runs, folder.string());
    }
    std::printf(
        "%6d %6ld | %9.3f s / %9.3f s | %9.3f s / %9.3f s | %5.2f / %5.2f  (points %ld / %ld)\n",
        size, static_cast<long>(grid.spots.size()), standard.detection, standard.worker,
        robust.detection, robust.worker, robust.detection / standard.detection,
        robust.worker / standard.worker, standard.points, robust.points);
    std::fflush(stdout);
  }
  std::filesystem::remove_all(folder);
  return 0;
}
