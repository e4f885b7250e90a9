// zmr_bench: the literal algorithms (the test oracles) against the fast ones, stage by stage, on
// generated calibration grids from 769 x 769 to 4096 x 4096 pixels and on point sets of 100 to
// 4999 points for the triangulation. Prints one table of literal time, fast time and their
// ratio per stage and size, and a scaling table of the fast times.
//
// A literal run whose time, extrapolated from the last size it ran at by the cost of its
// algorithm, would pass the budget (20 s unless --budget says otherwise) is not run: the table
// shows the extrapolated time marked with '~'.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "QuietStdout.h"
#include "detection/GridTrace.h"
#include "detection/SpotDetection.h"
#include "export/GridShifts.h"
#include "geometry/LeastSquare.h"
#include "geometry/RotationScale.h"
#include "geometry/Transform.h"
#include "geometry/Triangulate.h"
#include "gridgen/GridGen.h"
#include "imagefiles/TextImage.h"
#include "oracle/LiteralGeometry.h"
#include "oracle/LiteralGridTrace.h"
#include "oracle/LiteralSpotDetection.h"
#include "oracle/LiteralTextImage.h"
#include "state/ProgramState.h"
#if __has_include("oracle/LiteralTriangulation.h")
#include "oracle/LiteralTriangulation.h"
#define ZMR_BENCH_LITERAL_TRIANGULATION 1
#endif

namespace zmr {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work) {
  const Clock::time_point start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

using zmr::bench::QuietStdout;

// One measurement: the fast time, and the literal time measured, extrapolated or absent.
struct Row {
  std::string stage;
  std::string size;
  double fast = 0;
  double literal = -1;
  bool extrapolated = false;
  double units = 1;  // pixels of the image, or points of the triangulation
};

// Runs the literal version when its predicted time fits the budget; remembers the last measured
// (time, cost) of each stage to predict the next size by the ratio of costs.
class LiteralRunner {
 public:
  explicit LiteralRunner(double budget, bool enabled) : budget_(budget), enabled_(enabled) {}

  void Run(Row& row, double cost, const std::function<void()>& work) {
    if (!enabled_) return;
    const auto last = last_.find(row.stage);
    if (last != last_.end()) {
      const double predicted = last->second.first * cost / last->second.second;
      if (predicted > budget_) {
        row.literal = predicted;
        row.extrapolated = true;
        return;
      }
    }
    row.literal = Seconds(work);
    last_[row.stage] = {row.literal, cost};
  }

 private:
  double budget_;
  bool enabled_;
  std::map<std::string, std::pair<double, double>> last_;
};

void PrintRows(const std::vector<Row>& rows) {
  std::printf("%-16s %-11s %14s %12s %10s\n", "stage", "size", "literal (s)", "fast (s)", "ratio");
  for (const Row& r : rows) {
    char literal[32] = "-";
    char ratio[32] = "-";
    if (r.literal >= 0) {
      std::snprintf(literal, sizeof literal, "%s%.3f", r.extrapolated ? "~" : "", r.literal);
      std::snprintf(ratio, sizeof ratio, "%s%.0fx", r.extrapolated ? "~" : "",
                    r.literal / std::max(r.fast, 1e-6));
    }
    std::printf("%-16s %-11s %14s %12.4f %10s\n", r.stage.c_str(), r.size.c_str(), literal, r.fast,
                ratio);
  }
}

// The scaling table of some stages: fast seconds per stage (rows) and size (columns), then
// the same per unit (nanoseconds per pixel or per point), which stays flat where the time grows
// with the size alone.
void PrintScaling(const std::vector<Row>& rows, const std::vector<std::string>& stages,
                  const char* unit) {
  std::vector<std::string> sizes;
  for (const Row& r : rows) {
    if (std::find(stages.begin(), stages.end(), r.stage) == stages.end()) continue;
    if (std::find(sizes.begin(), sizes.end(), r.size) == sizes.end()) sizes.push_back(r.size);
  }
  for (int perUnit = 0; perUnit < 2; ++perUnit) {
    std::printf("%-16s", perUnit ? unit : "fast (s)");
    for (const auto& size : sizes) std::printf(" %11s", size.c_str());
    std::printf("\n");
    for (const auto& stage : stages) {
      std::printf("%-16s", stage.c_str());
      for (const auto& size : sizes) {
        const auto it = std::find_if(rows.begin(), rows.end(), [&](const Row& r) {
          return r.stage == stage && r.size == size;
        });
        if (it == rows.end()) {
          std::printf(" %11s", "-");
        } else if (perUnit) {
          std::printf(" %11.1f", it->fast / it->units * 1e9);
        } else {
          std::printf(" %11.4f", it->fast);
        }
      }
      std::printf("\n");
    }
    std::printf("\n");
  }
}

std::vector<long> ParseList(const char* text) {
  std::vector<long> out;
  for (const char* p = text; *p != '\0';) {
    char* end = nullptr;
    const long v = std::strtol(p, &end, 10);
    if (end == p) break;
    out.push_back(v);
    p = *end == ',' ? end + 1 : end;
  }
  return out;
}

// The state as detection leaves it, to start each tracing run from.
struct SpotList {
  std::vector<double> buffer;
  long count = 0;
};

void RestoreSpots(const SpotList& spots) {
  ProgramState& s = State();
  s.PointsBuffer = spots.buffer;
  s.NumberOfPoints = spots.count;
}

void BenchImage(long size, LiteralRunner& literal, std::vector<Row>& rows) {
  const std::string label = std::to_string(size) + "x" + std::to_string(size);
  GridSpec gridSpec;
  gridSpec.width = gridSpec.height = static_cast<int>(size);
  gridSpec.pitch = std::max(38.0, size / 64.0);
  gridSpec.radius = 13.0 * gridSpec.pitch / 38.0;
  const GridImage grid = GenerateGrid(gridSpec);
  if (grid.width == 0) {
    std::fprintf(stderr, "zmr_bench: cannot generate a %s grid\n", label.c_str());
    return;
  }
  const std::string file = "bench_" + label + ".txt";
  if (!WriteOstrelFile(file, grid, gridSpec.countScale)) {
    std::fprintf(stderr, "zmr_bench: cannot write %s\n", file.c_str());
    return;
  }
  const double pixels = static_cast<double>(size) * size;
  std::fprintf(stderr, "zmr_bench: %s, %zu spots\n", label.c_str(), grid.spots.size());

  ResetProgramState();
  ProgramState& s = State();
  AllocateArrays(State());
  if (AllocateImageArrays(State(), static_cast<int>(size), static_cast<int>(size)) != 1) return;
  s.cxDib = s.cyDib = static_cast<int>(size);
  const int M = static_cast<int>(size);

  // Text read: the count and the read of the Ostrel file.
  Row text{"text read", label};
  text.fast = Seconds([&] {
    CountOstrelArrayChecked(file.c_str(), "%x");
    ReadOstrelArray(file.c_str(), M, M, M, M, 0, 0, s.Msource.data(), "%x");
  });
  const ImageVector<int> source = s.Msource;
  literal.Run(text, pixels, [&] {
    std::FILE* f = std::fopen(file.c_str(), "r");
    oracle::CountTextValuesLiteral(f, "%x");
    std::fclose(f);
    f = std::fopen(file.c_str(), "r");
    oracle::ReadTextValuesLiteral(f, M, M, M, M, 0, 0, s.Msource.data(), "%x");
    std::fclose(f);
  });
  text.units = pixels;
  rows.push_back(text);
  s.Msource = source;
  std::filesystem::remove(file);

  // Spot detection over the image (the label image starts free).
  Row detect{"spot detection", label};
  s.ImageM = s.ImageN = size;
  double* PX = s.PointsBuffer.data();
  double* PY = s.PointsBuffer.data() + s.MAXPoints;
  const int threshold = static_cast<int>(s.Threshold);
  {
    QuietStdout quiet;
    detect.fast = Seconds([&] {
      std::fill(s.Mtarget.begin(), s.Mtarget.end(), kFreeLabel);
      s.NumberOfPoints = FindCenters(State(), size, size, s.Mtarget.data(), s.Msource.data(),
                                     threshold, s.MinPatchSize, PX, PY);
    });
    const SpotList found{s.PointsBuffer, s.NumberOfPoints};
    // Sweeps over the whole image, one per pixel of a spot's width, for every spot.
    const double sweepCost = pixels * pixels * gridSpec.radius / (gridSpec.pitch * gridSpec.pitch);
    literal.Run(detect, sweepCost, [&] {
      std::fill(s.Mtarget.begin(), s.Mtarget.end(), kFreeLabel);
      oracle::FindCentersLiteral(State(), size, size, s.Mtarget.data(), s.Msource.data(), threshold,
                                 s.MinPatchSize, PX, PY);
    });
    RestoreSpots(found);
  }
  detect.units = pixels;
  rows.push_back(detect);

  // Tracing from the spot list.
  const SpotList spots{s.PointsBuffer, s.NumberOfPoints};
  const double n = static_cast<double>(spots.count);
  Row trace{"tracing", label};
  trace.fast = Seconds([] { GetGridShifts(State()); });
  const SpotList traced{s.PointsBuffer, s.NumberOfPoints};
  RestoreSpots(spots);
  literal.Run(trace, n * n, [] { oracle::GetGridShiftsLiteral(); });
  RestoreSpots(traced);
  trace.units = pixels;
  rows.push_back(trace);

  // The mesh for the model stages, as the demo builds it: triangulation, points, extrapolation
  // to the border, triangulation again.
  {
    QuietStdout quiet;
    MakeTriangulation(State(), 0);
    CInitPointArrays(State());
    if (AddBoundaryCalibrationPoints(State(), M, M) == 1) MakeTriangulation(State(), 1);
  }
  const double triangles = static_cast<double>(s.NumberOfTriangles);
  const std::vector<double> points = s.PointsInput;

  Row transform{"transformation", label};
  ImageVector<int> target;
  transform.fast = Seconds([&] { RunTransform(State(), size, size); });
  target = s.Mtarget;
  literal.Run(transform, pixels * triangles, [&] { oracle::RunTransformLiteral(size, size); });
  if (transform.literal >= 0 && !transform.extrapolated && target != s.Mtarget) {
    std::fprintf(stderr, "zmr_bench: %s transformation results differ\n", label.c_str());
  }
  transform.units = pixels;
  rows.push_back(transform);

  Row rotation{"rotation/scale", label};
  double center[2], angle = 0, scale = 0;
  rotation.fast = Seconds([&] {
    ArrayStatistics(State(), center, &angle, &scale, size, size, s.deltaX.data(), s.deltaY.data(),
                    s.Area.data());
  });
  const std::vector<double> adjusted = s.PointsInput;
  s.PointsInput = points;
  literal.Run(rotation, pixels * triangles, [&] {
    oracle::ArrayStatisticsLiteral(center, &angle, &scale, size, size, s.deltaX.data(),
                                   s.deltaY.data(), s.Area.data());
  });
  if (rotation.literal >= 0 && !rotation.extrapolated && adjusted != s.PointsInput) {
    std::fprintf(stderr, "zmr_bench: %s adjusted points differ\n", label.c_str());
  }
  rotation.units = pixels;
  rows.push_back(rotation);

  Row tables{"tables", label};
  const int step = static_cast<int>(s.EdgeGrid);
  tables.fast = Seconds([&] { CalculateReducedGridShifts(State(), size, size, step, 0); });
  const double nodes = static_cast<double>(ReducedGridNodeCount(State(), size, size, step));
  literal.Run(tables, nodes * triangles,
              [&] { oracle::CalculateReducedGridShiftsLiteral(size, size, step, 0); });
  tables.units = pixels;
  rows.push_back(tables);
}

// n points on a slightly jittered lattice of pitch 20, row by row.
void BenchTriangulation(long n, LiteralRunner& literal, std::vector<Row>& rows) {
  ResetProgramState();
  ProgramState& s = State();
  AllocateArrays(State());
  if (!TriangulationCapacityOk(State(), n)) {
    std::fprintf(stderr, "zmr_bench: %ld points do not fit the triangulation\n", n);
    return;
  }
  const long side = static_cast<long>(std::ceil(std::sqrt(static_cast<double>(n))));
  double* PX = s.PointsBuffer.data() + 1;
  double* PY = s.PointsBuffer.data() + s.MAXPoints + 1;
  std::uint32_t state = 12345;
  const auto jitter = [&state] {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) * (1.0 / 16777216.0) - 0.5;
  };
  for (long k = 0; k < n; ++k) {
    PX[k] = 20.0 * (k % side) + 3 * jitter();
    PY[k] = 20.0 * (k / side) + 3 * jitter();
  }
  s.NumberOfPoints = n;
  Row row{"triangulation", std::to_string(n) + " pts"};
  row.fast = Seconds([&] {
    s.NumberOfTriangles = 0;
    Triangulate(State(), PX, PY);
  });
#ifdef ZMR_BENCH_LITERAL_TRIANGULATION
  const double d = static_cast<double>(n);
  literal.Run(row, d * d * d * d, [&] {
    s.NumberOfTriangles = 0;
    oracle::TriangulateLiteral(State(), PX, PY);
  });
#endif
  row.units = static_cast<double>(n);
  rows.push_back(row);
}

int Main(int argc, char** argv) {
  std::vector<long> sizes = {769, 1024, 1536, 2048, 3072, 4096};
  std::vector<long> counts = {100, 200, 500, 1000, 2000, 4999};
  double budget = 20.0;
  bool literals = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--sizes" && i + 1 < argc) {
      sizes = ParseList(argv[++i]);
    } else if (arg == "--points" && i + 1 < argc) {
      counts = ParseList(argv[++i]);
    } else if (arg == "--budget" && i + 1 < argc) {
      budget = std::atof(argv[++i]);
    } else if (arg == "--no-literal") {
      literals = false;
    } else {
      std::fprintf(stderr,
                   "usage: zmr_bench [--sizes 769,1024,...] [--points 100,200,...] "
                   "[--budget SECONDS] [--no-literal]\n");
      return 2;
    }
  }

  // Everything the stages write (logs, point files, the image file) goes to a scratch folder.
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("zmr_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(scratch);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(scratch);

  std::vector<Row> rows;
  LiteralRunner imageLiterals(budget, literals);
  for (long size : sizes) BenchImage(size, imageLiterals, rows);
  LiteralRunner pointLiterals(budget, literals);
  for (long n : counts) BenchTriangulation(n, pointLiterals, rows);

  std::filesystem::current_path(previous);
  std::filesystem::remove_all(scratch);

  std::printf("Literal (oracle) and fast versions, wall time in seconds\n\n");
  PrintRows(rows);
  std::printf(
      "\n~ extrapolated from the last size the literal version ran at, by the cost of its\n"
      "  algorithm (pixels, pixels x triangles, spots^2, points^4): literal runs predicted\n"
      "  to take over %.0f s are not run.\n",
      budget);
#ifndef ZMR_BENCH_LITERAL_TRIANGULATION
  std::printf("  The literal triangulation is not part of this build.\n");
#endif
  std::printf("\nScaling of the fast versions\n\n");
  PrintScaling(
      rows,
      {"text read", "spot detection", "tracing", "transformation", "rotation/scale", "tables"},
      "ns per pixel");
  PrintScaling(rows, {"triangulation"}, "ns per point");
  return 0;
}

}  // namespace
}  // namespace zmr

int main(int argc, char** argv) { return zmr::Main(argc, argv); }
