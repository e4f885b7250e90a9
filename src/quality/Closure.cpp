#include "quality/Closure.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <new>
#include <numbers>
#include <system_error>
#include <thread>

#include "geometry/CountTransform.h"
#include "geometry/TriangleLocation.h"
#include "state/ProgramState.h"
#include "ui/Workers.h"

namespace zmr {

void SummariseClosure(Closure& out) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> inside(out.fit.residual.size(), nan);
  std::vector<double> outside(out.fit.residual.size(), nan);
  for (std::size_t k = 0; k < out.fit.residual.size(); ++k) {
    const ClosureZone z = k < out.zone.size() ? out.zone[k] : ClosureZone::kOutside;
    if (z == ClosureZone::kMeasured) inside[k] = out.fit.residual[k];
    if (z == ClosureZone::kExtrapolated) outside[k] = out.fit.residual[k];
  }
  out.all = SummariseResiduals(out.fit.residual);
  out.measuredZone = SummariseResiduals(inside);
  out.extrapolatedZone = SummariseResiduals(outside);
}

long KeepAwayFromBorder(Closure& c, long width, long height, double margin,
                        const std::vector<unsigned char>* unreached) {
  const auto away = [&](double x, double y) {
    if (!(x >= margin && y >= margin && x <= width - 1 - margin && y <= height - 1 - margin)) {
      return false;
    }
    if (unreached == nullptr) return true;
    // The centre and eight points around it at the margin's distance must all have been reached
    // by the correction.
    for (int k = -1; k < 8; ++k) {
      const double a = k * std::numbers::pi / 4;
      const double r = k < 0 ? 0.0 : margin;
      const auto i = std::clamp(std::lround(x + r * std::cos(a)), 0L, width - 1);
      const auto j = std::clamp(std::lround(y + r * std::sin(a)), 0L, height - 1);
      if ((*unreached)[static_cast<std::size_t>(j * width + i)] != 0) return false;
    }
    return true;
  };
  std::size_t kept = 0;
  for (std::size_t k = 0; k < c.x.size(); ++k) {
    if (!away(c.x[k], c.y[k])) continue;
    c.x[kept] = c.x[k];
    c.y[kept] = c.y[k];
    c.row[kept] = c.row[k];
    c.col[kept] = c.col[k];
    ++kept;
  }
  const auto dropped = static_cast<long>(c.x.size() - kept);
  c.x.resize(kept);
  c.y.resize(kept);
  c.row.resize(kept);
  c.col.resize(kept);
  return dropped;
}

void ClosureOfCorrectedImage(ProgramState& corrected, const ProgramState& calibration,
                             long measured, Closure& out, bool clearCancel,
                             const std::vector<unsigned char>* unreached) {
  out = Closure{};
  if (corrected.Msource.empty()) {
    out.reason = "the corrected image is empty";
    return;
  }
  if (clearCancel) corrected.fTerminated.store(0);
  Thread(&corrected);
  const long n =
      std::min<long>(corrected.NumberOfPoints, static_cast<long>(corrected.PointsInput.size() / 4));
  if (n < 3) {
    out.reason = "the detection found " + std::to_string(std::max<long>(n, 0)) +
                 " spots on the grid in the corrected image; a lattice needs at least 3";
    return;
  }
  std::vector<double> idealX(static_cast<std::size_t>(n));
  std::vector<double> idealY(static_cast<std::size_t>(n));
  out.x.resize(static_cast<std::size_t>(n));
  out.y.resize(static_cast<std::size_t>(n));
  for (long k = 0; k < n; ++k) {
    const double* r = corrected.PointsInput.data() + 4 * k;
    out.x[static_cast<std::size_t>(k)] = r[0];
    out.y[static_cast<std::size_t>(k)] = r[1];
    idealX[static_cast<std::size_t>(k)] = r[2];
    idealY[static_cast<std::size_t>(k)] = r[3];
  }
  std::string problem;
  if (!LatticeIndices(idealX, idealY, out.row, out.col, problem) ||
      !FitSquareLattice(out.x, out.y, out.row, out.col, out.fit, problem)) {
    out.reason = "corrected image: " + problem;
    return;
  }
  // A spot within half a pitch of the image's border may be cut off by it, and its centre then
  // says more about the border than about the calibration: such spots are left out.
  out.borderExcluded =
      KeepAwayFromBorder(out, corrected.cxDib, corrected.cyDib, out.fit.pitch / 2, unreached);
  if (out.borderExcluded > 0 &&
      !FitSquareLattice(out.x, out.y, out.row, out.col, out.fit, problem)) {
    out.reason = "corrected image: " + problem;
    return;
  }
  // The corrected image shows each spot at its ideal position: the mesh at the ideal positions
  // tells which points the spot's correction came from.
  const long points = std::min<long>(calibration.NumberOfPoints,
                                     static_cast<long>(calibration.PointsInput.size() / 4));
  std::vector<double> meshX(static_cast<std::size_t>(std::max<long>(points, 0)));
  std::vector<double> meshY(meshX.size());
  for (long k = 0; k < points; ++k) {
    meshX[static_cast<std::size_t>(k)] = calibration.PointsInput[4 * k + 2];
    meshY[static_cast<std::size_t>(k)] = calibration.PointsInput[4 * k + 3];
  }
  out.zone.assign(out.x.size(), ClosureZone::kOutside);
  for (long k = 0; k < static_cast<long>(out.x.size()); ++k) {
    const long t = FindTriangle(calibration, out.x[static_cast<std::size_t>(k)],
                                out.y[static_cast<std::size_t>(k)], meshX.data(), meshY.data());
    if (t < 0) continue;
    const int* v = calibration.Tpoints.data() + 3 * t;
    const bool allMeasured = v[0] < measured && v[1] < measured && v[2] < measured;
    out.zone[static_cast<std::size_t>(k)] =
        allMeasured ? ClosureZone::kMeasured : ClosureZone::kExtrapolated;
  }
  SummariseClosure(out);
  out.computed = true;
}

namespace {

constexpr int kClosureDetectionMode = 1;

// A temporary folder for the fixed-name files of the second record, removed with everything
// in it at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) return;
    std::string pattern = (base / "zmrcal-closure-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The options the correction and the detection read.
void CopySettings(const ProgramState& from, ProgramState& to) {
  to.cxDib = from.cxDib;
  to.cyDib = from.cyDib;
  to.IMAGE_X = from.IMAGE_X;
  to.IMAGE_Y = from.IMAGE_Y;
  to.FilterSize = from.FilterSize;
  to.MinPatchSize = from.MinPatchSize;
  to.EdgeGrid = from.EdgeGrid;
  to.Ethresh = from.Ethresh;
  to.xoffset = from.xoffset;
  to.yoffset = from.yoffset;
  // The corrected grid is detected with the robust detection, whatever the calibration used.
  to.DetectionMode = kClosureDetectionMode;
  // Spots off the lattice are what the closure measures: none is left out for it.
  to.keepOffLatticeSpots = true;
  to.ORBIKE = from.ORBIKE;
  to.Threshold = from.Threshold;
  to.iThreshold = from.iThreshold;
  to.Centering = from.Centering;
  to.InpCoor[0] = from.InpCoor[0];
  to.InpCoor[1] = from.InpCoor[1];
  to.MaxSlope = from.MaxSlope;
  to.MAXPoints = from.MAXPoints;
  to.CenterLimit = from.CenterLimit;
  to.keepDisplayBitmaps = false;
}

// Pixels the correction did not reach hold no counts; left black they would be one large dark
// patch for the detection, and one level for all of them stands out against a background that
// varies (vignetting: the interior then reads as one large dark region). They get the local
// background instead: the 90th percentile of the reached pixels of their block, blocks of two
// pitches (so that spots never fill one), and blocks reached nowhere that of the nearest block
// that was. (A reached pixel whose counts are exactly 0 is taken as not reached; its
// neighbours keep the spot.)
std::vector<unsigned char> FillUnreached(ProgramState& c, double pitch) {
  const int width = c.cxDib;
  const int height = c.cyDib;
  const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<unsigned char> unreached(c.Mtarget.size(), 0);
  if (pixels == 0 || c.TargetCounts.size() != pixels || c.Mtarget.size() != pixels) {
    return unreached;
  }
  bool any = false;
  for (std::size_t k = 0; k < pixels; ++k) {
    unreached[k] = c.TargetCounts[k] == 0.0;
    any = any || unreached[k] != 0;
  }
  if (!any) return unreached;
  const int side = std::max(16, static_cast<int>(std::lround(2.0 * (pitch > 0.0 ? pitch : 32.0))));
  const int columns = (width + side - 1) / side;
  const int rows = (height + side - 1) / side;
  // Each block's level: the pixel of its 90th percentile (-1: no reached pixel).
  std::vector<long> level(static_cast<std::size_t>(columns) * rows, -1);
  std::vector<std::size_t> reached;
  for (int by = 0; by < rows; ++by) {
    for (int bx = 0; bx < columns; ++bx) {
      reached.clear();
      for (int y = by * side; y < std::min(height, (by + 1) * side); ++y) {
        for (int x = bx * side; x < std::min(width, (bx + 1) * side); ++x) {
          const std::size_t k = static_cast<std::size_t>(y) * width + x;
          if (unreached[k] == 0) reached.push_back(k);
        }
      }
      if (reached.empty()) continue;
      const auto at = reached.begin() + static_cast<long>(reached.size() * 9 / 10);
      std::nth_element(reached.begin(), at, reached.end(), [&c](std::size_t a, std::size_t b) {
        return c.TargetCounts[a] < c.TargetCounts[b];
      });
      level[static_cast<std::size_t>(by) * columns + bx] = static_cast<long>(*at);
    }
  }
  // Blocks reached nowhere take a neighbour's level, ring after ring.
  for (bool changed = true; changed;) {
    changed = false;
    std::vector<long> next = level;
    for (int by = 0; by < rows; ++by) {
      for (int bx = 0; bx < columns; ++bx) {
        long& here = next[static_cast<std::size_t>(by) * columns + bx];
        if (here >= 0) continue;
        const int around[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
        for (const auto& d : around) {
          const int nx = bx + d[0], ny = by + d[1];
          if (nx < 0 || ny < 0 || nx >= columns || ny >= rows) continue;
          const long there = level[static_cast<std::size_t>(ny) * columns + nx];
          if (there >= 0) {
            here = there;
            changed = true;
            break;
          }
        }
      }
    }
    level.swap(next);
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t k = static_cast<std::size_t>(y) * width + x;
      if (unreached[k] == 0) continue;
      const long from = level[static_cast<std::size_t>(y / side) * columns + x / side];
      if (from < 0) continue;  // nothing was reached at all
      c.Mtarget[k] = c.Mtarget[static_cast<std::size_t>(from)];
      c.TargetCounts[k] = c.TargetCounts[static_cast<std::size_t>(from)];
    }
  }
  return unreached;
}

}  // namespace

void RunClosure(const ProgramState& s, long measured, Closure& out,
                const std::atomic<int>* cancel) {
  out = Closure{};
  const auto pixels = static_cast<std::size_t>(s.cxDib) * static_cast<std::size_t>(s.cyDib);
  if (s.Msource.empty() || s.Msource.size() != pixels) {
    out.reason = "there is no source image of the working size to correct";
    return;
  }
  if (cancel != nullptr && cancel->load() != 0) {
    out.reason = "the report was cancelled before this was computed";
    return;
  }
  ScratchFolder folder;
  if (folder.path().empty()) {
    out.reason = "no temporary folder for the detection's files";
    return;
  }
  ProgramState c;
  CopySettings(s, c);
  c.workFolder = folder.path();
  c.announceFiles = false;
  try {
    if (AllocateArrays(c) != 1) throw std::bad_alloc();
    const long points = std::min<long>(s.NumberOfPoints, c.MAXPoints);
    std::copy(s.PointsInput.begin(), s.PointsInput.begin() + 4 * points, c.PointsInput.begin());
    const long triangles =
        std::min<long>(s.NumberOfTriangles, static_cast<long>(c.Tpoints.size() / 3));
    std::copy(s.Tpoints.begin(), s.Tpoints.begin() + 3 * triangles, c.Tpoints.begin());
    c.NumberOfPoints = points;
    c.NumberOfTriangles = triangles;
    c.Msource = s.Msource;
    c.SourceCounts = s.SourceCounts;
    c.Mtarget.assign(pixels, 0);
  } catch (const std::bad_alloc&) {
    out.reason = "not enough memory for a second copy of the image";
    return;
  }
  // A cancel of the report reaches the correction and the detection through the second
  // record's own flag, which a watcher sets while they run.
  std::atomic<bool> done{false};
  std::thread watcher;
  if (cancel != nullptr) {
    try {
      watcher = std::thread([&] {
        while (!done.load()) {
          if (cancel->load() != 0) {
            c.fTerminated.store(1);
            return;
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      });
    } catch (const std::system_error&) {
    }
  }
  const auto stopWatching = [&] {
    done.store(true);
    if (watcher.joinable()) watcher.join();
  };
  const Result corrected = RunCountTransform(c, kTransformFlatField);
  if (!corrected) {
    stopWatching();
    out.reason = cancel != nullptr && cancel->load() != 0
                     ? "the report was cancelled before this was computed"
                     : "the correction of the source image failed: " + corrected.message();
    return;
  }
  const std::vector<unsigned char> unreached = FillUnreached(c, s.Edge);
  // The corrected image becomes the second record's source image; its counts go with it.
  c.Msource.swap(c.Mtarget);
  c.SourceCounts = std::move(c.TargetCounts);
  c.TargetCounts = {};
  std::fill(c.Mtarget.begin(), c.Mtarget.end(), 0);
  c.NumberOfPoints = 0;
  c.NumberOfTriangles = 0;
  c.notes.clear();
  if (c.fTerminated.load() != 0) {
    stopWatching();
    out.reason = "the report was cancelled before this was computed";
    return;
  }
  ClosureOfCorrectedImage(c, s, measured, out, false, &unreached);
  stopWatching();
  if (cancel != nullptr && cancel->load() != 0 && out.computed) {
    out = Closure{};
    out.reason = "the report was cancelled before this was computed";
  }
}

}  // namespace zmr
