#include "detection/robust/Background.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zmr {

namespace {

// Samples per block side at most: a block's statistics come from at most 24 x 24 values.
constexpr int kSamplesPerSide = 24;
// A block shows spots when its two classes lie this many noise deviations apart.
constexpr double kClearSeparation = 3.0;
// The least contrast of a spot pixel's 3 x 3 mean, in pixel noise deviations.
constexpr double kLeastCut = 1.5;

struct BlockClasses {
  double lowMedian = 0.0;
  double highMedian = 0.0;
  double lowMean = 0.0;
  double highMean = 0.0;
  std::size_t lowCount = 0;
  std::size_t highCount = 0;
  double median = 0.0;
};

double Median(const std::vector<double>& sorted, std::size_t begin, std::size_t end) {
  if (end <= begin) return 0.0;
  const std::size_t n = end - begin;
  const std::size_t mid = begin + n / 2;
  return n % 2 == 1 ? sorted[mid] : 0.5 * (sorted[mid - 1] + sorted[mid]);
}

double Mean(const std::vector<double>& values, std::size_t begin, std::size_t end) {
  if (end <= begin) return 0.0;
  double sum = 0.0;
  for (std::size_t k = begin; k < end; ++k) sum += values[k];
  return sum / static_cast<double>(end - begin);
}

// Interpolation weights along one axis: for coordinate p, the two block centres around it
// (or the two outer ones beyond the ends) and the weight of the second.
struct AxisWeight {
  int first = 0;
  int second = 0;
  double t = 0.0;
};

AxisWeight Locate(double p, int count, int block, int extent) {
  auto centre = [&](int b) {
    const int begin = b * block;
    const int end = std::min(extent, begin + block);
    return 0.5 * (begin + end - 1);
  };
  if (count == 1) return {0, 0, 0.0};
  int b = static_cast<int>(std::floor((p - centre(0)) / block));
  b = std::clamp(b, 0, count - 2);
  const double c0 = centre(b);
  const double c1 = centre(b + 1);
  return {b, b + 1, (p - c0) / (c1 - c0)};
}

}  // namespace

std::size_t OtsuSplit(const std::vector<double>& sorted) {
  const std::size_t n = sorted.size();
  if (n < 2 || sorted.front() == sorted.back()) return 0;
  double total = 0.0;
  for (double v : sorted) total += v;
  double lowSum = 0.0;
  double best = -1.0;
  std::size_t split = 0;
  for (std::size_t k = 1; k < n; ++k) {
    lowSum += sorted[k - 1];
    if (sorted[k] == sorted[k - 1]) continue;  // a split falls between distinct values only
    const double w0 = static_cast<double>(k);
    const double w1 = static_cast<double>(n - k);
    const double difference = lowSum / w0 - (total - lowSum) / w1;
    const double between = w0 * w1 * difference * difference;
    if (between > best) {
      best = between;
      split = k;
    }
  }
  return split;
}

namespace {
// The value of rank k of non-negative values, as std::nth_element would place it. Grey levels
// and most counts differ by whole numbers: those are counted in a histogram, in one pass.
double MiddleValue(std::vector<double>& values, std::size_t k) {
  constexpr double kCounted = 4096.0;
  bool whole = true;
  for (const double v : values) {
    // The cast is taken only within range; a compare of it costs far less than floor().
    if (!(v >= 0.0 && v < kCounted) || static_cast<double>(static_cast<int>(v)) != v) {
      whole = false;
      break;
    }
  }
  if (!whole) {
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
  }
  std::vector<std::size_t> histogram(static_cast<std::size_t>(kCounted), 0);
  for (const double v : values) ++histogram[static_cast<std::size_t>(v)];
  std::size_t below = 0;
  for (std::size_t v = 0; v < histogram.size(); ++v) {
    below += histogram[v];
    if (below > k) return static_cast<double>(v);
  }
  return kCounted - 1.0;  // not reached: the histogram holds every value
}
}  // namespace

double EstimatePixelNoise(const PixelView& image) {
  if (image.width < 2 || image.height < 1) return 0.0;
  const int rowStep = std::max(1, image.height / 64);
  const int columnStep = std::max(1, image.width / 512);
  std::vector<double> differences;
  for (int y = 0; y < image.height; y += rowStep) {
    const std::size_t row = image.RowStart(y);
    for (int x = 0; x + 1 < image.width; x += columnStep) {
      const double d = std::fabs(image.At(row + x + 1) - image.At(row + x));
      if (std::isfinite(d)) differences.push_back(d);
    }
  }
  if (differences.empty()) return 0.0;
  const std::size_t mid = differences.size() / 2;
  return MiddleValue(differences, mid) / (0.6745 * std::sqrt(2.0));
}

namespace {
double Interpolate(const BackgroundModel& m, const std::vector<double>& values, double x,
                   double y) {
  const AxisWeight wx = Locate(x, m.columns, m.blockX, m.width);
  const AxisWeight wy = Locate(y, m.rows, m.blockY, m.height);
  auto at = [&](int c, int r) { return values[static_cast<std::size_t>(r) * m.columns + c]; };
  const double top =
      at(wx.first, wy.first) + wx.t * (at(wx.second, wy.first) - at(wx.first, wy.first));
  const double bottom =
      at(wx.first, wy.second) + wx.t * (at(wx.second, wy.second) - at(wx.first, wy.second));
  return top + wy.t * (bottom - top);
}
}  // namespace

double BackgroundModel::LevelAt(double x, double y) const {
  return Interpolate(*this, level, x, y);
}

double BackgroundModel::DepthAt(double x, double y) const {
  return std::max(0.0, Interpolate(*this, depth, x, y));
}

namespace {
// Walks row y of the model, interpolated between block centres: put(from, to, c0, level0,
// levelStep, depth0, depthStep) takes each stretch of the row between two block centres: at pixel x
// of from..to the level is level0 + (x - c0) levelStep, the depth depth0 + (x - c0) depthStep.
template <class Put>
void WalkRow(const BackgroundModel& m, int y, Put put) {
  const AxisWeight wy = Locate(y, m.rows, m.blockY, m.height);
  // The vertical interpolation once per block column, then along the row between block
  // centres. The two tables are kept from row to row (a thread's own).
  thread_local std::vector<double> levelAt, depthAt;
  levelAt.resize(static_cast<std::size_t>(m.columns));
  depthAt.resize(static_cast<std::size_t>(m.columns));
  for (int c = 0; c < m.columns; ++c) {
    const std::size_t a = static_cast<std::size_t>(wy.first) * m.columns + c;
    const std::size_t b = static_cast<std::size_t>(wy.second) * m.columns + c;
    levelAt[c] = m.level[a] + wy.t * (m.level[b] - m.level[a]);
    depthAt[c] = m.depth[a] + wy.t * (m.depth[b] - m.depth[a]);
  }
  const int width = m.width;
  const int block = m.blockX;
  int x = 0;
  for (int c = 0; c < m.columns && x < width; ++c) {
    // Pixels up to the next block centre use the pair (c, c + 1); the outer pairs reach on to
    // the image borders.
    const AxisWeight pair = Locate(x, m.columns, block, width);
    const int last = (pair.second == m.columns - 1 || m.columns == 1)
                         ? width - 1
                         : static_cast<int>(std::floor((pair.second + 0.5) * block - 0.5));
    const double c0 = 0.5 * (pair.first * block + std::min(width, (pair.first + 1) * block) - 1);
    const double c1 = 0.5 * (pair.second * block + std::min(width, (pair.second + 1) * block) - 1);
    const double inverseSpan = m.columns == 1 ? 0.0 : 1.0 / (c1 - c0);
    const double level0 = levelAt[pair.first];
    const double levelStep = (levelAt[pair.second] - level0) * inverseSpan;
    const double depth0 = depthAt[pair.first];
    const double depthStep = (depthAt[pair.second] - depth0) * inverseSpan;
    const int end = std::min(last, width - 1);
    put(x, end, c0, level0, levelStep, depth0, depthStep);
    x = end + 1;
  }
}
}  // namespace

void BackgroundModel::Row(int y, double* background, double* spotDepth) const {
  WalkRow(*this, y,
          [&](int from, int to, double c0, double level0, double levelStep, double depth0,
              double depthStep) {
            for (int x = from; x <= to; ++x) {
              const double offset = x - c0;
              background[x] = level0 + offset * levelStep;
              spotDepth[x] = std::max(0.0, depth0 + offset * depthStep);
            }
          });
}

void BackgroundModel::RowCut(int y, float* signedLevel, float* cut) const {
  const double sign = polarity;
  // Never closer to the background than 1.5 noise deviations (4.5 of the 3 x 3 mean's): where
  // a block took noise for spots, its depth would let the noise join the spots.
  const double least = kLeastCut * noise;
  // Captured by value: a captured reference could alias the stores, and keep the loop off
  // vectors.
  // In single precision, four pixels to a vector: the cut only decides which pixels pass, and
  // the level and the depth are smooth over the row.
  const float leastF = static_cast<float>(least);
  WalkRow(*this, y,
          [sign, leastF, signedLevel, cut](int from, int to, double c0, double level0,
                                           double levelStep, double depth0, double depthStep) {
            const float level0F = static_cast<float>(sign * (level0 + (from - c0) * levelStep));
            const float levelStepF = static_cast<float>(sign * levelStep);
            const float depth0F = static_cast<float>(depth0 + (from - c0) * depthStep);
            const float depthStepF = static_cast<float>(depthStep);
            float* levels = signedLevel + from;
            float* cuts = cut + from;
            const int n = to - from + 1;
            for (int k = 0; k < n; ++k) {
              const float step = static_cast<float>(k);
              const float signedHere = level0F + step * levelStepF;
              const float depth = depth0F + step * depthStepF;
              const float half = 0.5f * depth;
              levels[k] = signedHere;
              // Written this way (a store, then a conditional store) the compiler turns it
              // into a blend; the one-line select keeps the loop off vectors.
              cuts[k] = signedHere - (half > leastF ? half : leastF);
              if (!(depth > 0.0f)) cuts[k] = -HUGE_VALF;
            }
          });
}

BackgroundModel EstimateBackground(const PixelView& image, int block, double noise, int polarity) {
  BackgroundModel model;
  block = std::max(8, block);
  model.block = block;
  model.width = image.width;
  model.height = image.height;
  model.noise = noise;
  // Whole blocks of about the size asked for, so that the last one is no sliver.
  model.columns =
      std::max(1, static_cast<int>(std::lround(static_cast<double>(image.width) / block)));
  model.rows =
      std::max(1, static_cast<int>(std::lround(static_cast<double>(image.height) / block)));
  model.blockX = (image.width + model.columns - 1) / model.columns;
  model.blockY = (image.height + model.rows - 1) / model.rows;
  model.columns = (image.width + model.blockX - 1) / model.blockX;  // none left empty
  model.rows = (image.height + model.blockY - 1) / model.blockY;
  const std::size_t blocks = static_cast<std::size_t>(model.columns) * model.rows;
  std::vector<BlockClasses> classes(blocks);
  std::vector<char> clear(blocks, 0);
  const int step = std::max(1, std::max(model.blockX, model.blockY) / kSamplesPerSide);
  const double separation = std::max(kClearSeparation * noise, 1e-9);

  double vote = 0.0;
  std::vector<double> samples;
  for (int by = 0; by < model.rows; ++by) {
    for (int bx = 0; bx < model.columns; ++bx) {
      samples.clear();
      const int x1 = std::min(image.width, (bx + 1) * model.blockX);
      const int y1 = std::min(image.height, (by + 1) * model.blockY);
      for (int y = by * model.blockY + step / 2; y < y1; y += step) {
        const std::size_t row = image.RowStart(y);
        for (int x = bx * model.blockX + step / 2; x < x1; x += step) {
          const double v = image.At(row + x);
          if (std::isfinite(v)) samples.push_back(v);  // a value without meaning votes for nothing
        }
      }
      std::sort(samples.begin(), samples.end());
      BlockClasses& c = classes[static_cast<std::size_t>(by) * model.columns + bx];
      c.median = Median(samples, 0, samples.size());
      const std::size_t split = OtsuSplit(samples);
      if (split == 0) continue;
      c.lowCount = split;
      c.highCount = samples.size() - split;
      c.lowMedian = Median(samples, 0, split);
      c.highMedian = Median(samples, split, samples.size());
      c.lowMean = Mean(samples, 0, split);
      c.highMean = Mean(samples, split, samples.size());
      const double apart = c.highMean - c.lowMean;
      if (apart < separation) continue;
      clear[static_cast<std::size_t>(by) * model.columns + bx] = 1;
      // The minority class of a block holds its spots.
      vote += c.lowCount < c.highCount ? apart : -apart;
    }
  }
  model.polarity = polarity != 0 ? (polarity > 0 ? 1 : -1) : (vote >= 0.0 ? 1 : -1);

  model.level.assign(blocks, 0.0);
  model.depth.assign(blocks, 0.0);
  std::vector<char> known(blocks, 0);
  for (std::size_t b = 0; b < blocks; ++b) {
    const BlockClasses& c = classes[b];
    if (clear[b] == 0) {
      model.level[b] = c.median;
      continue;
    }
    ++model.clearBlocks;
    known[b] = 1;
    if (model.polarity > 0) {
      model.level[b] = c.highMedian;
      model.depth[b] = c.highMedian - c.lowMean;
    } else {
      model.level[b] = c.lowMedian;
      model.depth[b] = c.highMean - c.lowMedian;
    }
  }
  if (model.clearBlocks == 0) return model;
  // The blocks without spots of their own take the mean depth of their known neighbours,
  // ring after ring, so that a stray pixel there meets the same threshold as near the spots.
  std::size_t unknown = blocks - static_cast<std::size_t>(model.clearBlocks);
  while (unknown > 0) {
    std::vector<char> next = known;
    for (int by = 0; by < model.rows; ++by) {
      for (int bx = 0; bx < model.columns; ++bx) {
        const std::size_t b = static_cast<std::size_t>(by) * model.columns + bx;
        if (known[b] != 0) continue;
        double sum = 0.0;
        int count = 0;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = bx + dx;
            const int ny = by + dy;
            if (nx < 0 || ny < 0 || nx >= model.columns || ny >= model.rows) continue;
            const std::size_t nb = static_cast<std::size_t>(ny) * model.columns + nx;
            if (known[nb] == 0) continue;
            sum += model.depth[nb];
            ++count;
          }
        }
        if (count == 0) continue;
        model.depth[b] = sum / count;
        next[b] = 1;
        --unknown;
      }
    }
    known.swap(next);
  }
  return model;
}

}  // namespace zmr
