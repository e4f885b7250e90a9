#include "state/ProgramState.h"

#include <memory>
#include <new>
#include <utility>

#include "state/Numeric.h"

namespace zmr {

namespace {
std::unique_ptr<ProgramState>& Instance() {
  static std::unique_ptr<ProgramState> instance = std::make_unique<ProgramState>();
  return instance;
}
}  // namespace

ProgramState& State() { return *Instance(); }

void ResetProgramState() { Instance() = std::make_unique<ProgramState>(); }

ProgramState::~ProgramState() {
  if (OUT_LOG != nullptr) std::fclose(OUT_LOG);
}

void AddNote(ProgramState& s, std::string text) { s.notes.push_back(std::move(text)); }

std::string WorkFile(const ProgramState& s, const char* name) {
  if (s.workFolder.empty()) return name;
  return s.workFolder + (s.workFolder.back() == '/' ? "" : "/") + name;
}

int AllocateArrays(ProgramState& s) {
  const auto n = static_cast<std::size_t>(s.MAXPoints);
  try {
    // Build all nine first so that a failure leaves the previous arrays in place.
    std::vector<double> pointsInput(4 * n), pointsOutput(4 * n), pointsBuffer(2 * n);
    std::vector<int> tpoints(6 * n);
    std::vector<double> sx(n), sy(n);
    std::vector<int> pi(n), pj(n), pflag(n);
    s.PointsInput.swap(pointsInput);
    s.PointsOutput.swap(pointsOutput);
    s.PointsBuffer.swap(pointsBuffer);
    s.Tpoints.swap(tpoints);
    s.SX.swap(sx);
    s.SY.swap(sy);
    s.Pi.swap(pi);
    s.Pj.swap(pj);
    s.Pflag.swap(pflag);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

void ReleaseArrays(ProgramState& s) {
  s.PointsInput = {};
  s.PointsOutput = {};
  s.PointsBuffer = {};
  s.Tpoints = {};
  s.SX = {};
  s.SY = {};
  s.Pi = {};
  s.Pj = {};
  s.Pflag = {};
}

bool ImageSizeAllowed(long long width, long long height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= kMaxImagePixels;
}

int AllocateImageArrays(ProgramState& s, int cx, int cy) {
  if (!ImageSizeAllowed(cx, cy)) return 0;
  const auto n = static_cast<std::size_t>(cx) * static_cast<std::size_t>(cy);
  try {
    // Zero-filled by the system: nothing is written here (see ImageAllocator.h).
    ImageVector<int> msource(n), mtarget(n);
    ImageVector<double> dx(n), dy(n), signal(n);
    ImageVector<int> area(n);
    ReleaseImageArrays(s);
    s.Msource.swap(msource);
    s.Mtarget.swap(mtarget);
    s.deltaX.swap(dx);
    s.deltaY.swap(dy);
    s.Signal.swap(signal);
    s.Area.swap(area);
    s.SourceCounts = {};
    s.TargetCounts = {};
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

void ReleaseImageArrays(ProgramState& s) {
  s.Msource = {};
  s.Mtarget = {};
  s.deltaX = {};
  s.deltaY = {};
  s.Signal = {};
  s.Area = {};
  s.SourceCounts = {};
  s.TargetCounts = {};
}

WindowPoint ImageToWindow(double x, double y, int clientWidth, int clientHeight, int cxDib,
                          int cyDib) {
  // Computed in floating point and truncated toward zero, as the overlay drawing expects.
  return {TruncateToward0<long>((static_cast<double>(clientWidth) * x) / cxDib),
          TruncateToward0<long>((static_cast<double>(clientHeight) * y) / cyDib)};
}

void Coor_double2long(const ProgramState& s, WindowPoint& Target, const double* Source) {
  Target = ImageToWindow(Source[0], Source[1], s.cxClient, s.cyClient, s.cxDib, s.cyDib);
}

}  // namespace zmr
