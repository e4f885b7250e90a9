#include "detection/robust/SpotFinder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "detection/robust/LatticeAssignment.h"

namespace zmr {

namespace {

// A horizontal run of spot pixels of one row, with the union-find link of its region.
struct Run {
  int y = 0;
  int x0 = 0;  // first pixel
  int x1 = 0;  // last pixel
  std::size_t parent = 0;
  double peak = 0.0;
};

std::size_t Root(std::vector<Run>& runs, std::size_t k) {
  while (runs[k].parent != k) {
    runs[k].parent = runs[runs[k].parent].parent;
    k = runs[k].parent;
  }
  return k;
}

void Join(std::vector<Run>& runs, std::size_t a, std::size_t b) {
  a = Root(runs, a);
  b = Root(runs, b);
  if (a == b) return;
  if (a < b) {
    runs[b].parent = a;
  } else {
    runs[a].parent = b;
  }
}

// Running sums of a region; moments about the first pixel's row and column keep them small.
struct Sums {
  double n = 0.0, sx = 0.0, sy = 0.0, sxx = 0.0, syy = 0.0, sxy = 0.0;
  double peak = 0.0;
  int minX = 0, minY = 0, maxX = 0, maxY = 0;
  bool any = false;
};

// Sums of each value and its two horizontal neighbours (one neighbour at the row's ends).
template <class T>
void HorizontalSums(const T* v, std::size_t w, float* out) {
  if (w == 1) {
    out[0] = static_cast<float>(v[0]);
    return;
  }
  out[0] = static_cast<float>(v[0]) + static_cast<float>(v[1]);
  for (std::size_t x = 1; x + 1 < w; ++x) {
    out[x] = static_cast<float>(v[x - 1]) + static_cast<float>(v[x]) + static_cast<float>(v[x + 1]);
  }
  out[w - 1] = static_cast<float>(v[w - 2]) + static_cast<float>(v[w - 1]);
}

// The largest a[x] - b[x] for x in first..last, with four running maxima, so that each does
// not wait for the one before.
double LargestDifference(const float* a, const float* b, int first, int last) {
  float best[4] = {a[first] - b[first], a[first] - b[first], a[first] - b[first],
                   a[first] - b[first]};
  int x = first + 1;
  for (; x + 3 <= last; x += 4) {
    for (int lane = 0; lane < 4; ++lane) {
      best[lane] = std::max(best[lane], a[x + lane] - b[x + lane]);
    }
  }
  for (; x <= last; ++x) best[0] = std::max(best[0], a[x] - b[x]);
  return std::max(std::max(best[0], best[1]), std::max(best[2], best[3]));
}

double SumOfRange(int a, int b) { return 0.5 * (static_cast<double>(a) + b) * (b - a + 1); }
double SumOfSquares(int a, int b) {
  auto upTo = [](double m) { return m * (m + 1) * (2 * m + 1) / 6.0; };
  // Sum of k^2 for k in a..b (a may be negative only in principle; pixels are never).
  return upTo(b) - upTo(a - 1.0);
}

}  // namespace

const char* SpotVerdictName(SpotVerdict verdict) {
  switch (verdict) {
    case SpotVerdict::kKept:
      return "kept";
    case SpotVerdict::kBorder:
      return "cut by the border";
    case SpotVerdict::kSmall:
      return "too small";
    case SpotVerdict::kLarge:
      return "too large";
    case SpotVerdict::kMerged:
      return "merged with another";
    case SpotVerdict::kElongated:
      return "elongated";
    case SpotVerdict::kRagged:
      return "ragged";
    case SpotVerdict::kFaint:
      return "faint";
  }
  return "?";
}

SpotSearch FindSpotRegions(const PixelView& image, const BackgroundModel& model, int* labels,
                           const std::atomic<int>* cancel, std::atomic<int>* progress,
                           int progressFrom, int progressTo) {
  SpotSearch search;
  const int width = image.width;
  const int height = image.height;
  const std::size_t w = static_cast<std::size_t>(width);
  if (width <= 0 || height <= 0) return search;
  // Horizontal 3-sums of the values of three rows (y - 1, y, y + 1), in a ring: the mask is
  // taken on the contrast of the 3 x 3 mean, which cuts the noise by 3 and keeps a faint spot
  // in one piece (the background, linear between block centres, has the same mean as its
  // value at the centre); at the image edges the mean is over the pixels there are.
  // The row buffers and their sums are single precision: sums of grey levels and of 16-bit
  // counts are whole numbers it holds exactly (other counts to about seven digits, more than
  // the cut needs), four go to a vector, and half the bytes keep the rows of a wide image in
  // the first-level cache.
  std::vector<float> sums3[3];
  for (auto& r : sums3) r.assign(w, 0.0f);
  const std::vector<float> zeros(w, 0.0f);
  auto sumRow = [&](int y, std::vector<float>& out) {
    const std::size_t row = image.RowStart(y);
    if (image.counts != nullptr) {
      HorizontalSums(image.counts + row, w, out.data());
    } else {
      HorizontalSums(image.grey + row, w, out.data());
    }
  };
  std::vector<float> signedLevel(w);
  std::vector<float> cut(w);
  std::vector<float> mean(w);  // polarity x the 3 x 3 mean of one row
  std::vector<Run> runs;
  std::size_t previousBegin = 0;
  std::size_t previousEnd = 0;
  if (height > 0) sumRow(0, sums3[0]);
  const double polarity = model.polarity;
  for (int y = 0; y < height; ++y) {
    if ((y & 63) == 0) {
      if (cancel != nullptr && cancel->load(std::memory_order_acquire) != 0) {
        search.cancelled = true;
        return search;
      }
      if (progress != nullptr) {
        progress->store(
            progressFrom +
                static_cast<int>(static_cast<long long>(progressTo - progressFrom) * y / height),
            std::memory_order_relaxed);
      }
    }
    if (y + 1 < height) sumRow(y + 1, sums3[(y + 1) % 3]);
    model.RowCut(y, signedLevel.data(), cut.data());
    if (labels != nullptr) std::fill(labels + y * w, labels + (y + 1) * w, kNoRegion);
    const int rowsAround = 1 + (y > 0 ? 1 : 0) + (y + 1 < height ? 1 : 0);
    const float* here = sums3[y % 3].data();
    const float* above = y > 0 ? sums3[(y + 2) % 3].data() : zeros.data();
    const float* below = y + 1 < height ? sums3[(y + 1) % 3].data() : zeros.data();
    const float inner = static_cast<float>(polarity / (3.0 * rowsAround));
    const float edge = static_cast<float>(polarity / ((width > 1 ? 2.0 : 1.0) * rowsAround));
    // The means first, in one loop the compiler can run on vectors; the edge columns average
    // fewer pixels.
    float* m = mean.data();
    for (std::size_t x = 0; x < w; ++x) m[x] = (here[x] + above[x] + below[x]) * inner;
    m[0] = (here[0] + above[0] + below[0]) * edge;
    m[w - 1] = (here[w - 1] + above[w - 1] + below[w - 1]) * edge;
    const std::size_t rowBegin = runs.size();
    // A pixel belongs to a spot when the contrast of its 3 x 3 mean passes half the local
    // depth. Most pixels do not: the scan skips them with one comparison each.
    const float* c = cut.data();
    std::size_t x = 0;
    while (x < w) {
      // Eight pixels at a time while none of them passes (the comparisons of a group are
      // independent, so they run side by side), then one at a time.
      while (x + 8 <= w && !((m[x] < c[x]) | (m[x + 1] < c[x + 1]) | (m[x + 2] < c[x + 2]) |
                             (m[x + 3] < c[x + 3]) | (m[x + 4] < c[x + 4]) | (m[x + 5] < c[x + 5]) |
                             (m[x + 6] < c[x + 6]) | (m[x + 7] < c[x + 7]))) {
        x += 8;
      }
      while (x < w && !(m[x] < c[x])) ++x;
      if (x == w) break;
      Run run;
      run.y = y;
      run.x0 = static_cast<int>(x);
      run.parent = runs.size();
      ++x;
      while (x < w && m[x] < c[x]) ++x;
      run.x1 = static_cast<int>(x) - 1;
      run.peak = LargestDifference(signedLevel.data(), m, run.x0, run.x1);
      runs.push_back(run);
    }
    const std::size_t rowEnd = runs.size();
    // Runs of this row that overlap runs of the row above share their region.
    std::size_t p = previousBegin;
    for (std::size_t k = rowBegin; k < rowEnd; ++k) {
      while (p < previousEnd && runs[p].x1 < runs[k].x0) ++p;
      for (std::size_t q = p; q < previousEnd && runs[q].x0 <= runs[k].x1; ++q) Join(runs, q, k);
    }
    previousBegin = rowBegin;
    previousEnd = rowEnd;
  }

  // Sums per region (indexed by root run).
  std::vector<Sums> sums(runs.size());
  for (std::size_t k = 0; k < runs.size(); ++k) {
    const Run& run = runs[k];
    Sums& s = sums[Root(runs, k)];
    const double count = run.x1 - run.x0 + 1;
    const double y = run.y;
    s.n += count;
    s.sx += SumOfRange(run.x0, run.x1);
    s.sy += count * y;
    s.sxx += SumOfSquares(run.x0, run.x1);
    s.syy += count * y * y;
    s.sxy += SumOfRange(run.x0, run.x1) * y;
    s.peak = std::max(s.peak, run.peak);
    if (!s.any) {
      s.any = true;
      s.minX = run.x0;
      s.maxX = run.x1;
      s.minY = s.maxY = run.y;
    } else {
      s.minX = std::min(s.minX, run.x0);
      s.maxX = std::max(s.maxX, run.x1);
      s.minY = std::min(s.minY, run.y);
      s.maxY = std::max(s.maxY, run.y);
    }
  }

  // Regions in raster order of their first run (the roots are the lowest run of each region).
  std::vector<int> regionOf(runs.size(), kNoRegion);
  for (std::size_t k = 0; k < runs.size(); ++k) {
    if (runs[k].parent != k) continue;
    const Sums& s = sums[k];
    if (s.n < kSpeckArea) {
      regionOf[k] = kNoRegion;
      ++search.specks;
      continue;
    }
    SpotRegion region;
    region.area = static_cast<long>(s.n);
    region.x = s.sx / s.n;
    region.y = s.sy / s.n;
    // Second moments of the pixels taken as unit squares (1/12 each way).
    const double cxx = s.sxx / s.n - region.x * region.x + 1.0 / 12.0;
    const double cyy = s.syy / s.n - region.y * region.y + 1.0 / 12.0;
    const double cxy = s.sxy / s.n - region.x * region.y;
    const double half = 0.5 * (cxx + cyy);
    const double root = std::sqrt(std::max(0.0, 0.25 * (cxx - cyy) * (cxx - cyy) + cxy * cxy));
    const double major = half + root;
    const double minor = std::max(half - root, 1e-12);
    region.elongation = std::sqrt(major / minor);
    region.fill = s.n / (4.0 * M_PI * std::sqrt(major * minor));
    region.peak = s.peak;
    region.depth = model.DepthAt(region.x, region.y);
    region.minX = s.minX;
    region.maxX = s.maxX;
    region.minY = s.minY;
    region.maxY = s.maxY;
    regionOf[k] = RegionLabel(static_cast<int>(search.regions.size()));
    search.regions.push_back(region);
  }

  if (labels != nullptr) {
    // The rows were cleared during the scan; the runs get their region.
    for (std::size_t k = 0; k < runs.size(); ++k) {
      const int region = regionOf[Root(runs, k)];
      if (region == kNoRegion) continue;  // a speck: its pixels keep the free value
      int* row = labels + static_cast<std::size_t>(runs[k].y) * width;
      std::fill(row + runs[k].x0, row + runs[k].x1 + 1, region);
      search.runs.push_back({runs[k].y, runs[k].x0, runs[k].x1, -region - 1});
    }
  }
  return search;
}

namespace {

// Candidates for KeepSpotsLikeTheirNeighbours: refused as small or elongated only, and
// otherwise a spot (filled, deep enough, not a speck).
bool LikeASpotButForItsShape(const SpotRegion& r, double typicalArea) {
  return (r.verdict == SpotVerdict::kSmall || r.verdict == SpotVerdict::kElongated) &&
         r.fill >= 0.6 && r.peak >= 0.6 * r.depth &&
         static_cast<double>(r.area) >= std::max(4.0 * kSpeckArea, 0.05 * typicalArea);
}

// Keeps, ring after ring, the candidates that have a kept spot within reach whose area is at
// most 1 / kNeighbourArea times theirs and whose elongation is at least 1 / kNeighbourElongation
// times theirs: spots that change gradually from their kept neighbours.
constexpr double kNeighbourArea = 0.55;
constexpr double kNeighbourElongation = 1.35;
constexpr double kNeighbourReach = 1.5;  // typical spacings

void KeepSpotsLikeTheirNeighbours(SpotSearch& search) {
  std::vector<SpotRegion>& regions = search.regions;
  std::vector<std::size_t> candidates;
  std::vector<double> keptX, keptY;
  for (std::size_t k = 0; k < regions.size(); ++k) {
    if (LikeASpotButForItsShape(regions[k], search.typicalArea)) candidates.push_back(k);
    if (regions[k].verdict == SpotVerdict::kKept) {
      keptX.push_back(regions[k].x);
      keptY.push_back(regions[k].y);
    }
  }
  if (candidates.empty() || keptX.size() < 2) return;
  std::vector<double> spacing = NearestNeighbourDistances(keptX, keptY);
  std::nth_element(spacing.begin(), spacing.begin() + spacing.size() / 2, spacing.end());
  const double reach = kNeighbourReach * spacing[spacing.size() / 2];
  if (!(reach > 0.0)) return;
  // Kept spots in square cells of the reach, so that each look covers 3 x 3 cells.
  std::unordered_map<std::int64_t, std::vector<std::size_t>> cells;
  const auto cellOf = [reach](double x, double y) {
    return (static_cast<std::int64_t>(std::floor(x / reach)) << 32) ^
           static_cast<std::uint32_t>(static_cast<std::int32_t>(std::floor(y / reach)));
  };
  for (std::size_t k = 0; k < regions.size(); ++k) {
    if (regions[k].verdict == SpotVerdict::kKept)
      cells[cellOf(regions[k].x, regions[k].y)].push_back(k);
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (std::size_t& c : candidates) {
      if (c == regions.size()) continue;  // kept in an earlier round
      SpotRegion& r = regions[c];
      bool like = false;
      const auto cx = static_cast<std::int64_t>(std::floor(r.x / reach));
      const auto cy = static_cast<std::int64_t>(std::floor(r.y / reach));
      for (std::int64_t dy = -1; dy <= 1 && !like; ++dy) {
        for (std::int64_t dx = -1; dx <= 1 && !like; ++dx) {
          const auto it = cells.find(
              ((cx + dx) << 32) ^ static_cast<std::uint32_t>(static_cast<std::int32_t>(cy + dy)));
          if (it == cells.end()) continue;
          for (std::size_t n : it->second) {
            const SpotRegion& q = regions[n];
            if (std::hypot(q.x - r.x, q.y - r.y) <= reach &&
                static_cast<double>(r.area) >= kNeighbourArea * static_cast<double>(q.area) &&
                r.elongation <= kNeighbourElongation * q.elongation) {
              like = true;
              break;
            }
          }
        }
      }
      if (!like) continue;
      r.verdict = SpotVerdict::kKept;
      cells[cellOf(r.x, r.y)].push_back(c);
      ++search.likeNeighbours;
      c = regions.size();
      changed = true;
    }
  }
}

}  // namespace

void ClassifySpotRegions(SpotSearch& search, int width, int height) {
  std::vector<SpotRegion>& regions = search.regions;
  for (SpotRegion& r : regions) {
    r.verdict = (r.minX == 0 || r.minY == 0 || r.maxX == width - 1 || r.maxY == height - 1)
                    ? SpotVerdict::kBorder
                    : SpotVerdict::kKept;
  }
  // The typical area: half of the pixels of the regions off the border lie in regions at
  // most this large. Specks of noise are many but hold few pixels, so they do not decide it.
  std::vector<std::pair<long, long>> areas;  // (area, area)
  double total = 0.0;
  for (const SpotRegion& r : regions) {
    if (r.verdict != SpotVerdict::kKept) continue;
    areas.emplace_back(r.area, r.area);
    total += static_cast<double>(r.area);
  }
  if (areas.empty()) return;
  std::sort(areas.begin(), areas.end());
  double running = 0.0;
  search.typicalArea = static_cast<double>(areas.back().first);
  for (const auto& [area, weight] : areas) {
    running += static_cast<double>(weight);
    if (running >= 0.5 * total) {
      search.typicalArea = static_cast<double>(area);
      break;
    }
  }
  std::vector<double> elongations;
  for (const SpotRegion& r : regions) {
    if (r.verdict == SpotVerdict::kKept && r.area >= 0.5 * search.typicalArea &&
        r.area <= 2.0 * search.typicalArea) {
      elongations.push_back(r.elongation);
    }
  }
  if (!elongations.empty()) {
    const std::size_t mid = elongations.size() / 2;
    std::nth_element(elongations.begin(), elongations.begin() + mid, elongations.end());
    search.typicalElongation = elongations[mid];
  }
  const double maxElongation = std::max(1.6, 1.4 * search.typicalElongation);
  for (SpotRegion& r : regions) {
    if (r.verdict != SpotVerdict::kKept) continue;
    const double area = static_cast<double>(r.area);
    if (area > 1.6 * search.typicalArea && r.elongation > 0.8 * maxElongation) {
      r.verdict = SpotVerdict::kMerged;
    } else if (area < 0.25 * search.typicalArea) {
      r.verdict = SpotVerdict::kSmall;
    } else if (area > 3.0 * search.typicalArea) {
      r.verdict = SpotVerdict::kLarge;
    } else if (r.elongation > maxElongation) {
      r.verdict = SpotVerdict::kElongated;
    } else if (r.fill < 0.6) {
      r.verdict = SpotVerdict::kRagged;
    } else if (r.peak < 0.6 * r.depth) {
      r.verdict = SpotVerdict::kFaint;
    }
  }
  KeepSpotsLikeTheirNeighbours(search);
}

}  // namespace zmr
