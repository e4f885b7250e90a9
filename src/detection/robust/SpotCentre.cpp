#include "detection/robust/SpotCentre.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "detection/robust/SpotFinder.h"

namespace zmr {

namespace {

constexpr double kRingWidth = 2.0;
constexpr int kIterations = 8;
constexpr double kSettled = 3e-3;         // pixels
constexpr double kNoiseFloor = 2.0;       // noise deviations
constexpr double kWindowMargin = 1.5;     // pixels beyond the spot's reach
constexpr double kExtentFraction = 0.15;  // of the contrast at the centre

// The ring's level: its median, robust to a neighbour's halo or a speck in it.
bool RingLevel(std::vector<double>& values, double* level) {
  if (values.size() < 8) return false;
  const std::size_t mid = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + mid, values.end());
  *level = values[mid];
  return true;
}

// How far the spot reaches from (x, y): the radius where the mean contrast along 16 rays
// from the centre falls below the noise floor or 15 % of the contrast at the centre, searched
// from the region's radius up to limit - kWindowMargin. A sharp spot ends about a pixel beyond
// its region, a soft one (a Gaussian) much further; cutting off a soft spot where it still
// weighs would let the centre jump as pixels enter and leave the window.
double SpotExtent(const PixelView& image, const int* labels, int label, int polarity, double x,
                  double y, double radius, double limit, double level, double slopeX, double slopeY,
                  double floor) {
  const double reach = std::max(radius + 1.0, limit - kWindowMargin);
  auto contrastAt = [&](double dx, double dy, double* contrast) {
    const long i = std::lround(x + dx);
    const long j = std::lround(y + dy);
    if (i < 0 || j < 0 || i >= image.width || j >= image.height) return false;
    const std::size_t k = static_cast<std::size_t>(j) * image.width + static_cast<std::size_t>(i);
    if (labels[k] != label && labels[k] != kNoRegion) return false;
    *contrast = polarity * (level + slopeX * dx + slopeY * dy - image.At(k));
    return std::isfinite(*contrast);
  };
  constexpr int kRays = 16;
  double ray[kRays][2];
  for (int r = 0; r < kRays; ++r) {
    ray[r][0] = std::cos(2.0 * M_PI * r / kRays);
    ray[r][1] = std::sin(2.0 * M_PI * r / kRays);
  }
  double centre = 0.0;
  if (!contrastAt(0.0, 0.0, &centre)) return reach;
  const double end = std::max(floor, kExtentFraction * centre);
  for (double d = std::ceil(radius); d < reach; d += 1.0) {
    double sum = 0.0;
    int count = 0;
    for (const auto& direction : ray) {
      double contrast = 0.0;
      if (contrastAt(d * direction[0], d * direction[1], &contrast)) {
        sum += contrast;
        ++count;
      }
    }
    if (count > 0 && sum / count < end) return d;
  }
  return reach;
}

}  // namespace

SpotCentre RefineSpotCentre(const PixelView& image, const int* labels, int label, int polarity,
                            double noise, double x, double y, double radius, double maxWindow,
                            double fallbackLevel, double slopeX, double slopeY) {
  const double floor = kNoiseFloor * noise;
  SpotCentre centre{x, y, false};
  const double window = SpotExtent(image, labels, label, polarity, x, y, radius, maxWindow,
                                   fallbackLevel, slopeX, slopeY, floor) +
                        kWindowMargin;
  const double outer = window + kRingWidth;
  std::vector<double> ring;
  // One pass over the disc of radius `outer` about the current centre: the weights of the
  // window with the ring level found so far, and the ring's values for the next level.
  auto passOver = [&](const auto* values, double level, double* sw, double* swx, double* swy) {
    ring.clear();
    const int y0 = std::max(0, static_cast<int>(std::ceil(centre.y - outer)));
    const int y1 = std::min(image.height - 1, static_cast<int>(std::floor(centre.y + outer)));
    for (int j = y0; j <= y1; ++j) {
      const double dy = j - centre.y;
      const double half = std::sqrt(std::max(0.0, outer * outer - dy * dy));
      const int x0 = std::max(0, static_cast<int>(std::ceil(centre.x - half)));
      const int x1 = std::min(image.width - 1, static_cast<int>(std::floor(centre.x + half)));
      const std::size_t row = static_cast<std::size_t>(j) * image.width;
      for (int i = x0; i <= x1; ++i) {
        const double dx = i - centre.x;
        const int owner = labels[row + i];
        if (dx * dx + dy * dy > window * window) {
          if (owner != kNoRegion) continue;
          // The ring's values brought to the window centre along the background's slope.
          const double v = values[row + i] - slopeX * dx - slopeY * dy;
          if (std::isfinite(v)) ring.push_back(v);
          continue;
        }
        if (owner != label && owner != kNoRegion) continue;
        const double background = level + slopeX * dx + slopeY * dy;
        const double w = polarity * (background - values[row + i]) - floor;
        if (!(w > 0.0) || !std::isfinite(w)) continue;
        *sw += w;
        *swx += w * dx;
        *swy += w * dy;
      }
    }
  };
  auto pass = [&](double level, double* sw, double* swx, double* swy) {
    if (image.counts != nullptr) {
      passOver(image.counts, level, sw, swx, swy);
    } else {
      passOver(image.grey, level, sw, swx, swy);
    }
  };
  // The first pass weighs with the background model's level; each later one with the ring
  // of the pass before.
  double sw = 0.0, swx = 0.0, swy = 0.0;
  double level = fallbackLevel;
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    sw = swx = swy = 0.0;
    pass(level, &sw, &swx, &swy);
    if (!(sw > 0.0)) return centre;
    const double shiftX = swx / sw;
    const double shiftY = swy / sw;
    centre.x += shiftX;
    centre.y += shiftY;
    centre.valid = true;
    // The ring about the centre just left gives the level of the next pass.
    if (!RingLevel(ring, &level)) level = fallbackLevel;
    if (shiftX * shiftX + shiftY * shiftY < kSettled * kSettled) break;
  }
  return centre;
}

}  // namespace zmr
