#include "quality/Closure.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

void ClosureOfCorrectedImage(ProgramState& corrected, const ProgramState& calibration,
                             long measured, Closure& out) {
  out = Closure{};
  if (corrected.Msource.empty()) {
    out.reason = "the corrected image is empty";
    return;
  }
  corrected.fTerminated.store(0);
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
  out.zone.assign(static_cast<std::size_t>(n), ClosureZone::kOutside);
  for (long k = 0; k < n; ++k) {
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

void RunClosure(const ProgramState& s, long /*measured*/, Closure& out,
                const std::atomic<int>* /*cancel*/) {
  out = Closure{};
  if (s.Msource.empty()) {
    out.reason = "there is no source image to correct";
    return;
  }
  out.reason =
      "the correction of the source image in counts (TransformMode 1) is not available in this "
      "build";
}

}  // namespace zmr
