#include "detection/robust/SpotCentre.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "detection/robust/SpotFinder.h"

namespace zmr {

namespace {

constexpr double kRingWidth = 2.0;
constexpr int kIterations = 8;
constexpr double kSettled = 1e-3;         // pixels
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

// How far the spot reaches from (x, y): the radius where the mean contrast of a one-pixel ring
// falls below the noise floor or 15 % of the contrast at the centre, searched from the region's
// radius up to limit - kWindowMargin. A sharp spot ends about a pixel beyond its region, a
// soft one (a Gaussian) much further; cutting off a soft spot where it still weighs would let
// the centre jump as pixels enter and leave the window.
double SpotExtent(const PixelView& image, const int* labels, int label, int polarity, double x,
                  double y, double radius, double limit, double level, double slopeX, double slopeY,
                  double floor) {
  const double reach = std::max(radius + 1.0, limit - kWindowMargin);
  const int bins = static_cast<int>(std::ceil(reach)) + 1;
  std::vector<double> sum(static_cast<std::size_t>(bins), 0.0);
  std::vector<int> count(static_cast<std::size_t>(bins), 0);
  const int x0 = std::max(0, static_cast<int>(std::floor(x - reach)));
  const int x1 = std::min(image.width - 1, static_cast<int>(std::ceil(x + reach)));
  const int y0 = std::max(0, static_cast<int>(std::floor(y - reach)));
  const int y1 = std::min(image.height - 1, static_cast<int>(std::ceil(y + reach)));
  for (int j = y0; j <= y1; ++j) {
    const std::size_t row = static_cast<std::size_t>(j) * image.width;
    for (int i = x0; i <= x1; ++i) {
      const double dx = i - x;
      const double dy = j - y;
      const int bin = static_cast<int>(std::sqrt(dx * dx + dy * dy));
      if (bin >= bins) continue;
      const int owner = labels[row + i];
      if (owner != label && owner != kNoRegion) continue;
      sum[bin] += polarity * (level + slopeX * dx + slopeY * dy - image.At(row + i));
      ++count[bin];
    }
  }
  const double centre = count[0] > 0 ? sum[0] / count[0] : 0.0;
  const double end = std::max(floor, kExtentFraction * centre);
  for (int bin = static_cast<int>(std::ceil(radius)); bin < bins; ++bin) {
    if (count[bin] > 0 && sum[bin] / count[bin] < end) return bin;
  }
  return reach;
}

}  // namespace

SpotCentre RefineSpotCentre(const PixelView& image, const int* labels, int label, int polarity,
                            double noise, double x, double y, double radius, double maxWindow,
                            double fallbackLevel, double slopeX, double slopeY) {
  const double floor = kNoiseFloor * noise;
  SpotCentre centre{x, y, false};
  const double windowRadius = SpotExtent(image, labels, label, polarity, x, y, radius, maxWindow,
                                         fallbackLevel, slopeX, slopeY, floor) +
                              kWindowMargin;
  const double outer = windowRadius + kRingWidth;
  std::vector<double> ring;
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    const int x0 = std::max(0, static_cast<int>(std::floor(centre.x - outer)));
    const int x1 = std::min(image.width - 1, static_cast<int>(std::ceil(centre.x + outer)));
    const int y0 = std::max(0, static_cast<int>(std::floor(centre.y - outer)));
    const int y1 = std::min(image.height - 1, static_cast<int>(std::ceil(centre.y + outer)));
    ring.clear();
    for (int j = y0; j <= y1; ++j) {
      const std::size_t row = static_cast<std::size_t>(j) * image.width;
      for (int i = x0; i <= x1; ++i) {
        const double dx = i - centre.x;
        const double dy = j - centre.y;
        const double d2 = dx * dx + dy * dy;
        if (d2 <= windowRadius * windowRadius || d2 > outer * outer) continue;
        if (labels[row + i] != kNoRegion) continue;
        // The ring's values brought to the window centre along the background's slope.
        ring.push_back(image.At(row + i) - slopeX * dx - slopeY * dy);
      }
    }
    double level = 0.0;
    if (!RingLevel(ring, &level)) level = fallbackLevel;

    double sw = 0.0, swx = 0.0, swy = 0.0;
    for (int j = y0; j <= y1; ++j) {
      const std::size_t row = static_cast<std::size_t>(j) * image.width;
      for (int i = x0; i <= x1; ++i) {
        const double dx = i - centre.x;
        const double dy = j - centre.y;
        if (dx * dx + dy * dy > windowRadius * windowRadius) continue;
        const int owner = labels[row + i];
        if (owner != label && owner != kNoRegion) continue;
        const double background = level + slopeX * dx + slopeY * dy;
        const double w = polarity * (background - image.At(row + i)) - floor;
        if (w <= 0.0) continue;
        sw += w;
        swx += w * dx;
        swy += w * dy;
      }
    }
    if (!(sw > 0.0)) return centre;
    const double shiftX = swx / sw;
    const double shiftY = swy / sw;
    centre.x += shiftX;
    centre.y += shiftY;
    centre.valid = true;
    if (shiftX * shiftX + shiftY * shiftY < kSettled * kSettled) break;
  }
  return centre;
}

}  // namespace zmr
