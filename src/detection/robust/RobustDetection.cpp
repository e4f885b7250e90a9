#include "detection/robust/RobustDetection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "detection/PointFiles.h"
#include "detection/SpotDetection.h"
#include "detection/robust/Background.h"
#include "detection/robust/LatticeAssignment.h"
#include "detection/robust/NodeOutliers.h"
#include "detection/robust/SpotCentre.h"
#include "detection/robust/SpotFinder.h"
#include "geometry/LeastSquare.h"
#include "state/CNumericLocale.h"
#include "state/ProgramState.h"
#include "state/TraceLog.h"

namespace zmr {

namespace {

// A block of the background holds about this many spot pitches along each side; between
// kMinBlockPitches and kMaxBlockPitches the first look's blocks are kept.
constexpr double kBlockPitches = 5.0;
constexpr double kMinBlockPitches = 3.5;
constexpr double kMaxBlockPitches = 8.0;
// The first look at a large image takes its middle, at most this many pixels each way.
constexpr int kFirstLookSide = 1024;
// The largest window of a centre: the region's equivalent radius times this, plus the margin
// (pixels).
constexpr double kWindowScale = 2.2;
constexpr double kWindowMargin = 3.0;
// Pixels beyond a region's box that its centre's window and ring usually read, and how many
// spots ahead their pixels are asked for.
constexpr int kPrefetchMargin = 6;
constexpr std::size_t kPrefetchAhead = 2;
// Regions listed one by one in the log at most; the rest are counted.
constexpr long kLoggedRejects = 2000;
// A spot whose sub-pixel centre lies further than both of these from its region's centroid
// has lopsided surroundings (a smudge, a shadow or a neighbour's halo weighs on one side):
// clean spots keep the two within a few tenths of a pixel, on a sloping background too.
constexpr double kLopsidedLeast = 1.5;  // pixels
constexpr double kLopsidedShare = 0.3;  // of the region's equivalent radius

bool IsLopsided(double dx, double dy, double radius) {
  return std::hypot(dx, dy) > std::max(kLopsidedLeast, kLopsidedShare * radius);
}

// The centres are fitted to the spots' radial profile when the median roundness (see
// SpotCentre.h) of a sample of them is at most kRoundEnough. That is a switch on the noise as
// much as on the shape: discs 160 levels deep give 1.7 at noise 10, 3.8 at noise 5 and 9 at
// noise 3 (where the weighted centroid is as close), squares 10 and more unless the noise
// is a fifth of their depth or more (and there the two fits come out alike).
constexpr double kRoundEnough = 2.5;
constexpr std::size_t kRoundnessSample = 31;

struct CentreFitChoice {
  CentreFit fit = CentreFit::kWeighted;
  double medianRoundness = 0.0;
  int sampled = 0;
};

// The profile fit is tried on up to kRoundnessSample spots spread evenly over the list;
// refine(k, fit) gives spot k's centre.
template <class Refine>
CentreFitChoice ChooseCentreFit(std::size_t spots, const Refine& refine) {
  CentreFitChoice choice;
  std::vector<double> roundness;
  const std::size_t sample = std::min(spots, kRoundnessSample);
  for (std::size_t i = 0; i < sample; ++i) {
    const std::size_t k = (2 * i + 1) * spots / (2 * sample);
    const SpotCentre centre = refine(k, CentreFit::kProfile);
    if (centre.valid && centre.roundness > 0.0) roundness.push_back(centre.roundness);
  }
  // Too few to tell: the weighted centroids, right for any shape.
  if (roundness.size() < 5) return choice;
  const auto middle = roundness.begin() + static_cast<std::ptrdiff_t>(roundness.size() / 2);
  std::nth_element(roundness.begin(), middle, roundness.end());
  choice.medianRoundness = *middle;
  choice.sampled = static_cast<int>(roundness.size());
  if (choice.medianRoundness <= kRoundEnough) choice.fit = CentreFit::kProfile;
  return choice;
}

bool Cancelled(const ProgramState& s) { return s.fTerminated.load(std::memory_order_acquire) != 0; }

void Progress(ProgramState& s, int percent) {
  s.iProgressStatus.store(percent, std::memory_order_relaxed);
}

struct Found {
  BackgroundModel model;
  SpotSearch search;
  std::vector<int> kept;  // region numbers of the kept spots
  double pitch = 0.0;     // median nearest-neighbour distance of the kept spots
};

// The spots for blocks of `block` pixels and the given polarity, labelled into labels when
// given; the progress goes from progressFrom to progressTo on the way.
Found FindSpots(ProgramState& s, const PixelView& image, int block, double noise, int polarity,
                int* labels, int progressFrom, int progressTo) {
  Found found;
  found.model = EstimateBackground(image, block, noise, polarity);
  found.search = FindSpotRegions(image, found.model, labels, &s.fTerminated, &s.iProgressStatus,
                                 progressFrom, progressTo);
  ClassifySpotRegions(found.search, image.width, image.height);
  std::vector<double> x, y;
  for (std::size_t r = 0; r < found.search.regions.size(); ++r) {
    const SpotRegion& region = found.search.regions[r];
    if (region.verdict != SpotVerdict::kKept) continue;
    found.kept.push_back(static_cast<int>(r));
    x.push_back(region.x);
    y.push_back(region.y);
  }
  std::vector<double> nearest = NearestNeighbourDistances(x, y);
  if (!nearest.empty()) {
    const std::size_t mid = nearest.size() / 2;
    std::nth_element(nearest.begin(), nearest.begin() + mid, nearest.end());
    found.pitch = nearest[mid];
  }
  return found;
}

// True when the kept spots of a search hold most of the pixels of its regions off the border
// and are at least 20.
bool DarkSpotsDominate(const SpotSearch& search) {
  double kept = 0.0, inside = 0.0;
  long count = 0;
  for (const SpotRegion& region : search.regions) {
    if (region.verdict == SpotVerdict::kBorder) continue;
    inside += static_cast<double>(region.area);
    if (region.verdict == SpotVerdict::kKept) {
      kept += static_cast<double>(region.area);
      ++count;
    }
  }
  return count >= 20 && kept >= 0.5 * inside;
}

// Room for the assigned spots, slot 0 and the nodes the boundary extrapolation may add.
long NeededCapacity(const ProgramState& s, long spots) {
  const long step = std::max(1L, s.EdgeGrid > 0 ? s.EdgeGrid * kExtrapolationStepFactor : 1L);
  const long nodes = (s.cxDib / step + 2) * (s.cyDib / step + 2);
  return spots + nodes + 2;
}

void LogRegions(const ProgramState& s, const SpotSearch& search) {
  long logged = 0;
  for (std::size_t r = 0; r < search.regions.size(); ++r) {
    const SpotRegion& region = search.regions[r];
    if (region.verdict == SpotVerdict::kKept) continue;
    if (++logged > kLoggedRejects) continue;
    TraceLog(s, "  rejected (%7.2f %7.2f) area %ld elongation %.2f fill %.2f contrast %.1f: %s\n",
             region.x, region.y, region.area, region.elongation, region.fill, region.peak,
             SpotVerdictName(region.verdict));
  }
  if (logged > kLoggedRejects) {
    TraceLog(s, "  ... %ld further rejected regions not listed\n", logged - kLoggedRejects);
  }
}

}  // namespace

int RunRobustDetection(ProgramState& s) {
  if (s.cxDib <= 0 || s.cyDib <= 0) return -1;
  const std::size_t pixels = static_cast<std::size_t>(s.cxDib) * static_cast<std::size_t>(s.cyDib);
  if (s.Msource.size() != pixels || s.Mtarget.size() != pixels) return -1;
  CNumericLocale cLocale;

  PixelView image;
  image.width = s.cxDib;
  image.height = s.cyDib;
  image.grey = s.Msource.data();
  const bool counts = s.SourceCounts.size() == pixels;
  if (counts) image.counts = s.SourceCounts.data();

  s.ImageM = s.cxDib;
  s.ImageN = s.cyDib;
  s.NumberOfPoints = 0;
  OpenTraceLog(s, "w");
  TraceLog(s, "Robust detection on the %s of the %dx%d image\n", counts ? "counts" : "grey levels",
           s.cxDib, s.cyDib);

  Progress(s, 0);
  const double noise = EstimatePixelNoise(image);
  // A first look decides which side the spots lie on (the side that gives more spots of one
  // kind: the other side sees the background between the spots as one large region, or a
  // few, however a dark frame or a glare sways the blocks) and the pitch. It looks at the
  // middle of a large image only. The spots are then found with blocks of about
  // kBlockPitches pitches, unless the first look's blocks already were of a fitting size.
  const bool whole = s.cxDib <= kFirstLookSide && s.cyDib <= kFirstLookSide;
  PixelView first = image;
  if (!whole) {
    // The middle, viewed in place.
    first.width = std::min(s.cxDib, kFirstLookSide);
    first.height = std::min(s.cyDib, kFirstLookSide);
    const int left = (s.cxDib - first.width) / 2;
    const int top = (s.cyDib - first.height) / 2;
    const std::size_t offset = image.RowStart(top) + static_cast<std::size_t>(left);
    if (first.counts != nullptr) first.counts += offset;
    first.grey += offset;
    first.stride = static_cast<std::size_t>(s.cxDib);
  }
  int* firstLabels = whole ? s.Mtarget.data() : nullptr;
  int block = std::clamp(std::min(first.width, first.height) / 4, 32, 256);
  // Dark spots first, the more common. When they hold most of the pixels of the regions off
  // the border, the image has dark spots and the other side is not looked at: bright spots
  // on a dark background leave the dark side one large region between them (or a few).
  Found found = FindSpots(s, first, block, noise, 1, firstLabels, 0, 15);
  bool labelled = whole;
  if (!Cancelled(s) && !DarkSpotsDominate(found.search)) {
    Found bright = FindSpots(s, first, block, noise, -1, nullptr, 15, 30);
    if (bright.kept.size() > found.kept.size()) {
      found = std::move(bright);
      labelled = false;
    }
  }
  const int polarity = found.model.polarity;
  Progress(s, 30);
  const bool blockFits = found.pitch > 0.0 && block >= kMinBlockPitches * found.pitch &&
                         block <= kMaxBlockPitches * found.pitch;
  if (!Cancelled(s) && !(labelled && (blockFits || found.pitch <= 0.0))) {
    if (!blockFits && found.pitch > 0.0) {
      block = std::max(16, static_cast<int>(std::lround(kBlockPitches * found.pitch)));
    }
    found = FindSpots(s, image, block, noise, polarity, s.Mtarget.data(), 30, 50);
  }
  Progress(s, 50);
  const BackgroundModel& model = found.model;
  const SpotSearch& search = found.search;
  TraceLog(s, "Background: blocks of %d pixels (%dx%d), %d showing spots; pixel noise %.3f\n",
           model.block, model.columns, model.rows, model.clearBlocks, noise);
  TraceLog(s, "Spots: %s on a %s background\n", model.polarity > 0 ? "dark" : "bright",
           model.polarity > 0 ? "bright" : "dark");
  TraceLog(s, "Threshold: half the local spot depth below the local background\n");

  std::array<long, kSpotVerdicts> verdicts{};
  for (const SpotRegion& region : search.regions) ++verdicts[static_cast<int>(region.verdict)];
  TraceLog(s,
           "Regions: %zu (and %ld specks under %ld pixels); typical area %.1f, elongation %.2f\n",
           search.regions.size(), search.specks, kSpeckArea, search.typicalArea,
           search.typicalElongation);
  for (int v = 0; v < kSpotVerdicts; ++v) {
    TraceLog(s, "  %-20s %ld\n", SpotVerdictName(static_cast<SpotVerdict>(v)), verdicts[v]);
  }
  if (search.likeNeighbours > 0) {
    TraceLog(s,
             "  (kept though smaller or flatter than the typical spot, as their neighbours: %ld)\n",
             search.likeNeighbours);
  }
  LogRegions(s, search);

  // Sub-pixel centres.
  std::vector<double> x, y;
  for (int r : found.kept) {
    x.push_back(search.regions[r].x);
    y.push_back(search.regions[r].y);
  }
  const std::vector<double> nearest = NearestNeighbourDistances(x, y);
  std::vector<char> lopsided(found.kept.size(), 0);
  long lopsidedCount = 0;
  auto refine = [&](std::size_t k, CentreFit fit) {
    const SpotRegion& region = search.regions[found.kept[k]];
    const double radius = std::sqrt(static_cast<double>(region.area) / M_PI);
    // The window may reach to about the neighbour's rim, and no further than twice the radius
    // and a little (a Gaussian spot fades out there).
    double window = kWindowScale * radius + kWindowMargin;
    if (nearest[k] > 0.0) {
      window = std::min(window, std::max(radius + 1.5, nearest[k] - radius - 1.0));
    }
    const double h = 0.5 * model.block;
    const double slopeX =
        (model.LevelAt(region.x + h, region.y) - model.LevelAt(region.x - h, region.y)) / (2 * h);
    const double slopeY =
        (model.LevelAt(region.x, region.y + h) - model.LevelAt(region.x, region.y - h)) / (2 * h);
    return RefineSpotCentre(image, s.Mtarget.data(), RegionLabel(found.kept[k]), model.polarity,
                            noise, region.x, region.y, radius, window,
                            model.LevelAt(region.x, region.y), slopeX, slopeY, region.peak, fit);
  };
  const CentreFitChoice choice = ChooseCentreFit(found.kept.size(), refine);
  if (choice.sampled > 0) {
    TraceLog(s, "Centres: %s (median roundness %.2f over %d spots; %.1f or less is round)\n",
             choice.fit == CentreFit::kProfile ? "fitted to the spots' radial profile"
                                               : "weighted centroids (the spots are not round)",
             choice.medianRoundness, choice.sampled, kRoundEnough);
  } else {
    TraceLog(s,
             "Centres: weighted centroids (too few spots, or no pixel noise, to tell whether "
             "the spots are round)\n");
  }
  for (std::size_t k = 0; k < found.kept.size() && !Cancelled(s); ++k) {
    const SpotRegion& region = search.regions[found.kept[k]];
    const double radius = std::sqrt(static_cast<double>(region.area) / M_PI);
    if (k + kPrefetchAhead < found.kept.size()) {
      const SpotRegion& next = search.regions[found.kept[k + kPrefetchAhead]];
      PrefetchSpotArea(image, s.Mtarget.data(), next.minX - kPrefetchMargin,
                       next.minY - kPrefetchMargin, next.maxX + kPrefetchMargin,
                       next.maxY + kPrefetchMargin);
    }
    const SpotCentre centre = refine(k, choice.fit);
    if (centre.valid && std::hypot(centre.x - region.x, centre.y - region.y) < radius + 1.0) {
      x[k] = centre.x;
      y[k] = centre.y;
    }
    if (centre.valid && IsLopsided(centre.x - region.x, centre.y - region.y, radius)) {
      lopsided[k] = 1;
      ++lopsidedCount;
    }
    if ((k & 255) == 0) Progress(s, 50 + static_cast<int>(30 * k / found.kept.size()));
  }
  Progress(s, 80);
  if (lopsidedCount > 0) {
    // Out of the grid, as a spot cut by the border is: its centre would be wrong.
    std::size_t to = 0;
    for (std::size_t k = 0; k < found.kept.size(); ++k) {
      if (lopsided[k] != 0) continue;
      x[to] = x[k];
      y[to] = y[k];
      found.kept[to] = found.kept[k];
      ++to;
    }
    x.resize(to);
    y.resize(to);
    found.kept.resize(to);
    TraceLog(s,
             "Left out: %ld spots whose centre lies more than %.1f px or %.0f %% of the radius "
             "from their region's (a smudge or a neighbour's halo beside the spot)\n",
             lopsidedCount, kLopsidedLeast, 100.0 * kLopsidedShare);
  }

  LatticeAssignment lattice =
      Cancelled(s) ? LatticeAssignment{} : AssignLattice(x, y, s.cxDib, s.cyDib, &s.fTerminated);
  if (Cancelled(s)) {
    TraceLog(s, "Cancelled\n");
    CloseTraceLog(s);
    AddNote(s, "Auto-detection (robust) was cancelled: no spot was kept");
    return 0;
  }
  // A spot whose centre lies off the lattice its neighbours draw leaves its node empty.
  long offLattice = 0;
  const NodeOutliers outliers =
      s.keepOffLatticeSpots ? NodeOutliers{} : FindNodeOutliers(x, y, lattice);
  for (std::size_t k = 0; k < outliers.outlier.size(); ++k) {
    if (outliers.outlier[k] == 0) continue;
    if (static_cast<int>(k) == lattice.start && outliers.startPredicted) {
      // The ideal lattice, drawn through the start spot, goes through its prediction instead.
      const double dx = outliers.startX - x[k], dy = outliers.startY - y[k];
      for (std::size_t m = 0; m < x.size(); ++m) {
        lattice.idealX[m] += dx;
        lattice.idealY[m] += dy;
      }
      x[k] = outliers.startX;
      y[k] = outliers.startY;
    }
    lattice.assigned[k] = 0;
    --lattice.assignedCount;
    ++offLattice;
  }
  if (offLattice > 0) {
    TraceLog(s,
             "Left out: %ld assigned spots whose centre lies off the lattice through their "
             "neighbours (by more than %.1f px and %.0f %% of the pitch: a speck or a smudge "
             "merged into the spot)\n",
             offLattice, kNodeOutlierLeast, 100.0 * kNodeOutlierPitchShare);
  }
  if (lattice.start < 0) {
    TraceLog(s, "No grid: %s\n", lattice.failure.c_str());
  } else {
    TraceLog(s, "Start spot: (%.2f %.2f), nearest-neighbour distance %.3f\n", x[lattice.start],
             y[lattice.start], lattice.startPitch);
    TraceLog(s, "Ideal lattice: pitch %.4f, angle %.4f deg\n", lattice.pitch,
             lattice.angle * 180.0 / M_PI);
    TraceLog(s, "Assigned: %ld of %zu spots; bridged: %ld missing spots\n", lattice.assignedCount,
             x.size(), lattice.bridged);
  }

  // Room for the lattice in the point arrays.
  long assigned = lattice.assignedCount;
  const long needed = NeededCapacity(s, assigned);
  if (needed > s.MAXPoints) {
    const long previous = s.MAXPoints;
    s.MAXPoints = needed;
    if (AllocateArrays(s) == 0) {
      s.MAXPoints = previous;
      AddNote(s, "Auto-detection (robust): no memory for " + std::to_string(needed) +
                     " calibration points; the first " + std::to_string(previous - 2) +
                     " assigned spots are kept");
      assigned = std::min(assigned, previous - 2);
    }
  }
  double* px = s.PointsBuffer.data() + 1;
  double* py = s.PointsBuffer.data() + s.MAXPoints + 1;
  std::fill(s.Pflag.begin(), s.Pflag.end(), 0);
  long count = 0;
  double meanX = 0.0, meanY = 0.0;
  std::vector<int> labelOf(search.regions.size(), 0);
  for (std::size_t k = 0; k < x.size() && count < assigned; ++k) {
    if (lattice.assigned[k] == 0) continue;
    px[count] = x[k];
    py[count] = y[k];
    s.SX[count] = lattice.idealX[k];
    s.SY[count] = lattice.idealY[k];
    s.Pi[count] = lattice.nodeI[k];
    s.Pj[count] = lattice.nodeJ[k];
    s.Pflag[count] = 1;
    meanX += x[k];
    meanY += y[k];
    labelOf[found.kept[k]] = 1 + static_cast<int>(count % 254);
    ++count;
  }
  s.PointsBuffer[0] = count > 0 ? meanX / count : 0.5 * s.cxDib;
  s.PointsBuffer[s.MAXPoints] = count > 0 ? meanY / count : 0.5 * s.cyDib;
  s.NumberOfPoints = count;
  s.OccupiedPoints = static_cast<int>(count);
  if (lattice.start >= 0) {
    s.Edge = lattice.pitch;
    s.Origin[0] = x[lattice.start];
    s.Origin[1] = y[lattice.start];
  }
  s.iDetectedAreas.store(static_cast<int>(found.kept.size()), std::memory_order_relaxed);
  s.iAssignedPoints.store(static_cast<int>(count), std::memory_order_relaxed);

  // The target image shows the assigned spots, and the regions left out in black; the rest
  // of it already holds the free value.
  for (const RegionRun& run : search.runs) {
    int* row = s.Mtarget.data() + static_cast<std::size_t>(run.y) * s.cxDib;
    std::fill(row + run.x0, row + run.x1 + 1, labelOf[run.region]);
  }

  PrintPoints(s, px, py, WorkFile(s, kPointsFitName).c_str());
  s.TraceFlag = 1;
  CloseTraceLog(s);
  Progress(s, 100);

  char summary[400];
  std::snprintf(summary, sizeof summary,
                "Auto-detection (robust): %s spots; %zu of %zu regions kept; %ld assigned to the "
                "grid (pitch %.2f px, angle %.2f deg), %ld missing spots bridged; see %s",
                model.polarity > 0 ? "dark" : "bright", found.kept.size(), search.regions.size(),
                count, lattice.pitch, lattice.angle * 180.0 / M_PI, lattice.bridged, kTraceLogName);
  if (lattice.start < 0) {
    std::snprintf(summary, sizeof summary,
                  "Auto-detection (robust): %zu of %zu regions kept as spots, but no grid: %s; "
                  "see %s",
                  found.kept.size(), search.regions.size(), lattice.failure.c_str(), kTraceLogName);
  }
  AddNote(s, summary);
  return 0;
}

}  // namespace zmr
