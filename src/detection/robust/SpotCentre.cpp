#include "detection/robust/SpotCentre.h"

#include <algorithm>
#include <array>
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
constexpr double kGatherSlack = 1.0;      // pixels the centre may move before a new read

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
  static const auto ray = [] {
    std::array<std::array<double, 2>, kRays> directions{};
    for (int r = 0; r < kRays; ++r) {
      directions[r] = {std::cos(2.0 * M_PI * r / kRays), std::sin(2.0 * M_PI * r / kRays)};
    }
    return directions;
  }();
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
  // The pixels about the centre are read from the image once, into a list of the disc a
  // little larger than the ring's outer edge; the passes then run over the list while the
  // centre stays within kGatherSlack of where it was read (and read it again otherwise).
  struct Pixel {
    float dx, dy;  // position relative to the gathering centre
    float v;       // value less the background's slope
    bool own;      // of this region (kept out of the ring)
  };
  // Kept from call to call (one list per thread), so that the many spots of an image do not
  // each grow their own.
  thread_local std::vector<Pixel> pixels;
  double gatherX = 0.0, gatherY = 0.0;
  auto gatherFrom = [&](const auto* values) {
    pixels.clear();
    gatherX = centre.x;
    gatherY = centre.y;
    const double reach = outer + kGatherSlack;
    const int y0 = std::max(0, static_cast<int>(std::ceil(gatherY - reach)));
    const int y1 = std::min(image.height - 1, static_cast<int>(std::floor(gatherY + reach)));
    for (int j = y0; j <= y1; ++j) {
      const double dy = j - gatherY;
      const double half = std::sqrt(std::max(0.0, reach * reach - dy * dy));
      const int x0 = std::max(0, static_cast<int>(std::ceil(gatherX - half)));
      const int x1 = std::min(image.width - 1, static_cast<int>(std::floor(gatherX + half)));
      const std::size_t row = static_cast<std::size_t>(j) * image.width;
      for (int i = x0; i <= x1; ++i) {
        const int owner = labels[row + i];
        if (owner != label && owner != kNoRegion) continue;  // another region's pixel
        const double dx = i - gatherX;
        const double v = values[row + i] - slopeX * dx - slopeY * dy;
        if (std::isfinite(v)) {
          pixels.push_back({static_cast<float>(dx), static_cast<float>(dy), static_cast<float>(v),
                            owner == label});
        }
      }
    }
  };
  auto gather = [&] {
    if (image.counts != nullptr) {
      gatherFrom(image.counts);
    } else {
      gatherFrom(image.grey);
    }
  };
  thread_local std::vector<double> ring;
  // One pass over the list: the weights of the window with the ring level found so far, and
  // the ring's values for the next level.
  auto pass = [&](double level, double* sw, double* swx, double* swy) {
    if (std::hypot(centre.x - gatherX, centre.y - gatherY) > kGatherSlack) gather();
    ring.clear();
    const double offsetX = centre.x - gatherX;
    const double offsetY = centre.y - gatherY;
    const double window2 = window * window;
    const double outer2 = outer * outer;
    const double base = polarity * level - floor;
    for (const Pixel& p : pixels) {
      const double dx = p.dx - offsetX;
      const double dy = p.dy - offsetY;
      const double d2 = dx * dx + dy * dy;
      if (d2 > window2) {
        // The ring's values, brought to the window centre along the background's slope.
        if (d2 <= outer2 && !p.own) ring.push_back(p.v + slopeX * offsetX + slopeY * offsetY);
        continue;
      }
      const double w = base - polarity * (p.v + slopeX * offsetX + slopeY * offsetY);
      if (!(w > 0.0)) continue;
      *sw += w;
      *swx += w * dx;
      *swy += w * dy;
    }
  };
  gather();
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
