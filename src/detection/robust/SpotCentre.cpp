#include "detection/robust/SpotCentre.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "detection/robust/RankSelection.h"
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
constexpr float kBin = 0.5f;              // pixels, the width of the profile's rings
constexpr float kFlatSteps = 1.5f;        // noise deviations of a step between rings
constexpr int kProfileSteps = 2;
constexpr double kProfileSettled = 0.05;  // pixels: a smaller step is not repeated
constexpr double kProfileFarthest = 1.0;  // pixels: a longer step is no fit
// A pixel's weight rises from 0 to 1 between two shares of the spot's depth; these keep the two
// apart on a spot hardly deeper than the noise floor.
constexpr float kMostFloorShare = 0.45f;
constexpr float kLeastShareSpan = 0.1f;

// The ring's level: its median, robust to a neighbour's halo or a speck in it.
bool RingLevel(float* values, std::size_t count, double* level) {
  if (count < 8) return false;
  *level = ValueOfRank(values, count, count / 2);
  return true;
}

// Four single-precision lanes (the compiler maps them to the machine's vector registers, or to
// scalar code where it has none).
using Float4 = float __attribute__((vector_size(16)));
using Int4 = std::int32_t __attribute__((vector_size(16)));
Float4 Load4(const float* p) {
  Float4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
Float4 Larger(Float4 v, float least) {
  const Int4 keep = v > least;
  const Float4 floor4 = Float4{} + least;
  return reinterpret_cast<Float4>((reinterpret_cast<Int4>(v) & keep) |
                                  (reinterpret_cast<Int4>(floor4) & ~keep));
}
Float4 Smaller(Float4 a, Float4 b) {
  const Int4 keep = a < b;
  return reinterpret_cast<Float4>((reinterpret_cast<Int4>(a) & keep) |
                                  (reinterpret_cast<Int4>(b) & ~keep));
}
double Total(Float4 v) {
  return static_cast<double>(v[0]) + static_cast<double>(v[1]) + static_cast<double>(v[2]) +
         static_cast<double>(v[3]);
}
constexpr float kFarAway = 1e6f;
Float4 SquareRoot(Float4 v) {
#if defined(__SSE__)
  return reinterpret_cast<Float4>(_mm_sqrt_ps(reinterpret_cast<__m128>(v)));
#else
  Float4 r;
  for (int l = 0; l < 4; ++l) r[l] = std::sqrt(v[l]);
  return r;
#endif
}

// The pixels of a disc about a centre, as lists: position relative to the centre and value
// less the background's slope and a reference level. A pixel of another region, or a value
// without meaning, is moved far outside (it weighs nothing). (The ring about the window is
// read from the image apart: see RingValues.)
struct GatheredPixels {
  std::vector<float> dx, dy, value;
  std::size_t count = 0;
};

// Branch-free choices by a mask of all ones or all zeros, which keep the loops below on
// vectors where a conditional would not.
inline float Pick(std::int32_t mask, float a, float b) {
  return std::bit_cast<float>((std::bit_cast<std::int32_t>(a) & mask) |
                              (std::bit_cast<std::int32_t>(b) & ~mask));
}
inline std::int32_t FiniteMask(float v) {
  return -static_cast<std::int32_t>((std::bit_cast<std::uint32_t>(v) & 0x7f800000u) != 0x7f800000u);
}

// One row of the disc, from its first pixel, in single precision: the offsets are small and
// the values relative to the reference level (firstLevel is that level, sloped, at the first
// pixel).
template <class T>
void GatherRow(const T* __restrict from, const int* __restrict owners, int length, int label,
               float firstX, float firstLevel, float stepX, float rowY, float* __restrict dxs,
               float* __restrict dys, float* __restrict vs) {
  for (int i = 0; i < length; ++i) {
    const float step = static_cast<float>(i);
    const float v = static_cast<float>(from[i]) - (firstLevel + stepX * step);
    const std::int32_t ours = -static_cast<std::int32_t>(owners[i] == label);
    const std::int32_t usable =
        (ours | -static_cast<std::int32_t>(owners[i] == kNoRegion)) & FiniteMask(v);
    dxs[i] = Pick(usable, firstX + step, kFarAway);
    dys[i] = rowY;
    vs[i] = Pick(usable, v, 0.0f);
  }
}

template <class T>
void Gather(const T* values, const PixelView& image, const int* labels, int label, double cx,
            double cy, double reach, double reference, double slopeX, double slopeY,
            GatheredPixels& out) {
  const int y0 = std::max(0, static_cast<int>(std::ceil(cy - reach)));
  const int y1 = std::min(image.height - 1, static_cast<int>(std::floor(cy + reach)));
  const int side = static_cast<int>(2.0 * reach) + 3;
  const std::size_t most = static_cast<std::size_t>(side) * static_cast<std::size_t>(side) + 4;
  if (out.dx.size() < most) {
    out.dx.resize(most);
    out.dy.resize(most);
    out.value.resize(most);
  }
  std::size_t n = 0;
  for (int j = y0; j <= y1; ++j) {
    const double dy = j - cy;
    const double half = std::sqrt(std::max(0.0, reach * reach - dy * dy));
    const int x0 = std::max(0, static_cast<int>(std::ceil(cx - half)));
    const int x1 = std::min(image.width - 1, static_cast<int>(std::floor(cx + half)));
    if (x1 < x0) continue;
    // The label image has the image's own rows (a centre is refined on a whole image only).
    const std::size_t row = static_cast<std::size_t>(j) * image.width + x0;
    const int length = x1 - x0 + 1;
    GatherRow(values + row, labels + row, length, label, static_cast<float>(x0 - cx),
              static_cast<float>(reference + slopeY * dy + slopeX * (x0 - cx)),
              static_cast<float>(slopeX), static_cast<float>(dy), out.dx.data() + n,
              out.dy.data() + n, out.value.data() + n);
    n += static_cast<std::size_t>(length);
  }
  // Padding to a whole four: far outside the window and the ring.
  for (; n % 4 != 0; ++n) {
    out.dx[n] = out.dy[n] = kFarAway;
    out.value[n] = 0.0f;
  }
  out.count = n;
}

// The values of the ring window < d <= outer about (cx, cy), less the background's slope from
// the centre and the reference level, into ring; pixels of any region and values without
// meaning are left out. Returns the count.
template <class T>
std::size_t GatherRing(const T* values, const PixelView& image, const int* labels, double cx,
                       double cy, double window, double outer, double reference, double slopeX,
                       double slopeY, std::vector<float>& ring) {
  const int y0 = std::max(0, static_cast<int>(std::ceil(cy - outer)));
  const int y1 = std::min(image.height - 1, static_cast<int>(std::floor(cy + outer)));
  const std::size_t side = static_cast<std::size_t>(2.0 * outer) + 3;
  if (ring.size() < 2 * side * side) ring.resize(2 * side * side);
  const double window2 = window * window;
  const double outer2 = outer * outer;
  std::size_t n = 0;
  // Each row of the ring is one stretch, or two either side of the window.
  auto take = [&](int j, int from, int to) {
    const double dy = j - cy;
    const std::size_t row = static_cast<std::size_t>(j) * image.width;
    for (int i = std::max(0, from); i <= std::min(image.width - 1, to); ++i) {
      const double dx = i - cx;
      const double d2 = dx * dx + dy * dy;
      if (d2 <= window2 || d2 > outer2 || labels[row + i] != kNoRegion) continue;
      const double v =
          static_cast<double>(values[row + i]) - (reference + slopeX * dx + slopeY * dy);
      if (std::isfinite(v)) ring[n++] = static_cast<float>(v);
    }
  };
  for (int j = y0; j <= y1; ++j) {
    const double dy = j - cy;
    const double outerHalf = std::sqrt(std::max(0.0, outer2 - dy * dy));
    const int left = static_cast<int>(std::ceil(cx - outerHalf));
    const int right = static_cast<int>(std::floor(cx + outerHalf));
    if (dy * dy >= window2) {
      take(j, left, right);
    } else {
      const double windowHalf = std::sqrt(window2 - dy * dy);
      // Where the window's chord holds no pixel the two stretches meet: each pixel once.
      const int leftEnd = static_cast<int>(std::ceil(cx - windowHalf));
      take(j, left, leftEnd);
      take(j, std::max(static_cast<int>(std::floor(cx + windowHalf)), leftEnd + 1), right);
    }
  }
  return n;
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

// The frame of one profile fit: the centre relative to the gathering centre, the window,
// and what turns a gathered value into its share of the spot's depth.
struct ProfileFrame {
  float ox = 0.0f, oy = 0.0f;
  float window2 = 0.0f;
  int bins = 2;       // rings of kBin pixels, the last for the pixels outside the window
  float base = 0.0f;  // polarity x (background - reference level) at the centre
  float sign = 1.0f;  // polarity
  float depthAtCentre = 1.0f, leastDepth = 1.0f, gradientX = 0.0f, gradientY = 0.0f;
};

struct ProfileShift {
  double x = 0.0, y = 0.0;
  double roundness = 0.0;  // the fit's residual on the rim, in units of the noise
};

// One step of the profile fit. The spot's mean share of its depth in rings of kBin pixels
// about the centre is its radial profile; the step is the least-squares shift of that profile
// towards the pixels (one Gauss-Newton step). Each pixel weighs by the profile's slope at its
// distance: the rim's pixels tell where the spot lies, the core's and the outside's nothing,
// so their noise stays out of the centre. A shape that is point-symmetric but not round (a
// square) is fitted with a bias; its large residual on the rim (roundness) tells so.
// noiseShare is the pixel noise as a share of the depth. False when the profile is flat.
bool FitProfile(const GatheredPixels& pixels, const ProfileFrame& frame, double noiseShare,
                ProfileShift* out) {
  thread_local std::vector<float> sums, means, slopes, radii, shares, offX, offY, binOf;
  thread_local std::vector<char> ringFilled;
  const std::size_t n = pixels.count;
  const int bins = frame.bins;
  if (radii.size() < n) {
    radii.resize(n);
    shares.resize(n);
    offX.resize(n);
    offY.resize(n);
    binOf.resize(n);
  }
  const float perBin = 1.0f / kBin;
  const float lastBin = static_cast<float>(bins - 1);
  const float* dxs = pixels.dx.data();
  const float* dys = pixels.dy.data();
  const float* values = pixels.value.data();
  // Distances and shares, four at a time; a pixel outside the window goes to the last ring,
  // which is no part of the profile.
  for (std::size_t k = 0; k < n; k += 4) {
    const Float4 dx = Load4(dxs + k) - frame.ox, dy = Load4(dys + k) - frame.oy;
    const Float4 r2 = dx * dx + dy * dy;
    const Float4 depth =
        Larger(frame.depthAtCentre + frame.gradientX * dx + frame.gradientY * dy, frame.leastDepth);
    const Float4 share = (frame.base - frame.sign * Load4(values + k)) / depth;
    const Float4 r = SquareRoot(r2);
    const Int4 inside = r2 <= frame.window2;
    const Float4 bin = Smaller(r * perBin, Float4{} + lastBin);
    const Float4 beyond = Float4{} + lastBin;
    const Float4 ringOf = reinterpret_cast<Float4>((reinterpret_cast<Int4>(bin) & inside) |
                                                   (reinterpret_cast<Int4>(beyond) & ~inside));
    std::memcpy(radii.data() + k, &r, sizeof r);
    std::memcpy(shares.data() + k, &share, sizeof share);
    std::memcpy(offX.data() + k, &dx, sizeof dx);
    std::memcpy(offY.data() + k, &dy, sizeof dy);
    std::memcpy(binOf.data() + k, &ringOf, sizeof ringOf);
  }
  // Two sums per ring, for the even and the odd pixels: neighbours in a row often fall in one
  // ring, and one sum would make each addition wait for the last.
  sums.assign(4 * static_cast<std::size_t>(bins), 0.0f);
  for (std::size_t k = 0; k < n; k += 2) {
    const std::size_t even = 4 * static_cast<std::size_t>(binOf[k]);
    const std::size_t odd = 4 * static_cast<std::size_t>(binOf[k + 1]) + 2;
    sums[even] += shares[k];
    sums[even + 1] += 1.0f;
    sums[odd] += shares[k + 1];
    sums[odd + 1] += 1.0f;
  }
  // The mean per ring. A ring can be empty: the innermost (no pixel lies that close to the
  // centre) and any whose pixels belong to other regions or hold no value. An empty ring takes
  // the mean of the next filled ring outwards, past the last filled one that one's: a flat
  // profile there, which weighs nothing.
  means.assign(static_cast<std::size_t>(bins), 0.0f);
  slopes.assign(static_cast<std::size_t>(bins), 0.0f);
  std::vector<char>& filled = ringFilled;
  filled.assign(static_cast<std::size_t>(bins), 0);
  int last = -1;
  for (int b = 0; b + 1 < bins; ++b) {
    const float count = sums[4 * b + 1] + sums[4 * b + 3];
    if (count > 0.0f) {
      means[b] = (sums[4 * b] + sums[4 * b + 2]) / count;
      filled[b] = 1;
      last = b;
    }
  }
  int next = -1;
  for (int b = bins - 2; b >= 0; --b) {
    if (filled[b] != 0) {
      next = b;
    } else if (next >= 0) {
      means[b] = means[next];
    } else if (last >= 0) {
      means[b] = means[last];
    }
  }
  // The profile between ring centres: its value at the inner centre and its slope (none past
  // the last ring of the window).
  // A step between two rings no larger than their means' noise is taken as flat: the core's
  // and the outside's pixels would weigh with their noise only.
  for (int b = 0; b + 2 < bins; ++b) {
    const float step = means[b + 1] - means[b];
    const float inner = sums[4 * b + 1] + sums[4 * b + 3];
    const float outer = sums[4 * b + 5] + sums[4 * b + 7];
    const float spread = kFlatSteps * static_cast<float>(noiseShare) *
                         std::sqrt(1.0f / std::max(inner, 1.0f) + 1.0f / std::max(outer, 1.0f));
    slopes[b] = std::fabs(step) > spread ? step * perBin : 0.0f;
  }
  Float4 sxx{}, sxy{}, syy{}, sex{}, sey{}, see{};
  for (std::size_t k = 0; k < n; k += 4) {
    const Float4 r = Load4(radii.data() + k);
    const Float4 t = Larger(r * perBin - 0.5f, 0.0f);
    const Int4 ringIndex = __builtin_convertvector(Smaller(t, Float4{} + (lastBin - 1.0f)), Int4);
    Float4 mean, slope;
    for (int l = 0; l < 4; ++l) {
      mean[l] = means[static_cast<std::size_t>(ringIndex[l])];
      slope[l] = slopes[static_cast<std::size_t>(ringIndex[l])];
    }
    const Int4 inside = Load4(binOf.data() + k) < lastBin;
    const Float4 profile = mean + (t - __builtin_convertvector(ringIndex, Float4)) * slope * kBin;
    const Float4 perRadius = slope / Larger(r, 1e-3f);
    const Float4 g = reinterpret_cast<Float4>(reinterpret_cast<Int4>(perRadius) & inside);
    const Float4 gx = -g * Load4(offX.data() + k), gy = -g * Load4(offY.data() + k);
    const Float4 e = Load4(shares.data() + k) - profile;
    see += (gx * gx + gy * gy) * e * e;
    sxx += gx * gx;
    sxy += gx * gy;
    syy += gy * gy;
    sex += gx * e;
    sey += gy * e;
  }
  const double jxx = Total(sxx), jxy = Total(sxy), jyy = Total(syy), ex = Total(sex),
               ey = Total(sey);
  const double det = jxx * jyy - jxy * jxy;
  if (!(det > 1e-12) || !(noiseShare > 0.0)) return false;
  out->x = (jyy * ex - jxy * ey) / det;
  out->y = (jxx * ey - jxy * ex) / det;
  out->roundness = Total(see) / (jxx + jyy) / (noiseShare * noiseShare);
  return std::isfinite(out->x) && std::isfinite(out->y);
}

}  // namespace

std::size_t RingValues(const PixelView& image, const int* labels, double cx, double cy,
                       double window, double outer, double reference, double slopeX, double slopeY,
                       std::vector<float>& ring) {
  return image.counts != nullptr ? GatherRing(image.counts, image, labels, cx, cy, window, outer,
                                              reference, slopeX, slopeY, ring)
                                 : GatherRing(image.grey, image, labels, cx, cy, window, outer,
                                              reference, slopeX, slopeY, ring);
}

void PrefetchSpotArea(const PixelView& image, const int* labels, int x0, int y0, int x1, int y1) {
  x0 = std::max(0, x0);
  y0 = std::max(0, y0);
  x1 = std::min(image.width - 1, x1);
  y1 = std::min(image.height - 1, y1);
  if (x1 < x0) return;
  constexpr std::size_t kLine = 64;
  auto touch = [](const void* from, const void* to) {
    const char* p = static_cast<const char*>(from);
    const std::size_t bytes = static_cast<std::size_t>(static_cast<const char*>(to) - p);
    for (std::size_t offset = 0; offset < bytes; offset += kLine) {
      __builtin_prefetch(p + offset, 0, 2);
    }
    __builtin_prefetch(p + bytes - 1, 0, 2);
  };
  for (int j = y0; j <= y1; ++j) {
    const std::size_t row = image.RowStart(j);
    if (image.counts != nullptr) {
      touch(image.counts + row + x0, image.counts + row + x1 + 1);
    } else {
      touch(image.grey + row + x0, image.grey + row + x1 + 1);
    }
    const std::size_t labelRow = static_cast<std::size_t>(j) * image.width;
    touch(labels + labelRow + x0, labels + labelRow + x1 + 1);
  }
}

SpotCentre RefineSpotCentre(const PixelView& image, const int* labels, int label, int polarity,
                            double noise, double x, double y, double radius, double maxWindow,
                            double fallbackLevel, double slopeX, double slopeY, double spotDepth,
                            CentreFit fit) {
  if (!(spotDepth > 0.0)) fit = CentreFit::kWeighted;
  const double floor = kNoiseFloor * noise;
  SpotCentre centre{x, y, false};
  const double window = SpotExtent(image, labels, label, polarity, x, y, radius, maxWindow,
                                   fallbackLevel, slopeX, slopeY, floor) +
                        kWindowMargin;
  const double outer = window + kRingWidth;
  // The profile fit reads no ring.
  const double reach = window + kGatherSlack;
  // The pixels about the centre are read from the image once, into lists over the disc a
  // little larger than the window; the passes then run over the lists while the centre stays
  // within kGatherSlack of where it was read (and read them again otherwise). The ring is read
  // from the image when its level is wanted.
  // Values are kept relative to the fallback level, so that single precision holds them to
  // well below the noise however large the image's counts are.
  thread_local GatheredPixels pixels;
  double gatherX = 0.0, gatherY = 0.0;
  auto gather = [&] {
    gatherX = centre.x;
    gatherY = centre.y;
    if (image.counts != nullptr) {
      Gather(image.counts, image, labels, label, gatherX, gatherY, reach, fallbackLevel, slopeX,
             slopeY, pixels);
    } else {
      Gather(image.grey, image, labels, label, gatherX, gatherY, reach, fallbackLevel, slopeX,
             slopeY, pixels);
    }
  };
  thread_local std::vector<float> ring;
  const float sign = static_cast<float>(polarity);
  const float window2 = static_cast<float>(window * window);
  // The window centre of the last pass relative to the gathering centre, and the background's
  // slope carried from the one to the other.
  float ox = 0.0f, oy = 0.0f;
  double carried = 0.0;
  // One pass over the lists: the weights of the window with the given ring level.
  auto pass = [&](double level, double* sw, double* swx, double* swy) {
    const double movedX = centre.x - gatherX;
    const double movedY = centre.y - gatherY;
    if (movedX * movedX + movedY * movedY > kGatherSlack * kGatherSlack) gather();
    const double offsetX = centre.x - gatherX;
    const double offsetY = centre.y - gatherY;
    carried = slopeX * offsetX + slopeY * offsetY;
    ox = static_cast<float>(offsetX);
    oy = static_cast<float>(offsetY);
    // The weight of a pixel: polarity x (level - value) less the floor, with the value
    // relative to the fallback level and brought to the window centre.
    const float base = static_cast<float>(polarity * (level - fallbackLevel - carried) - floor);
    // Each weight is taken relative to the spot's depth at the pixel: the distance from the
    // background there (sloped) to the spot's core. Where the background slopes under a spot of
    // one core level, its depth, and so its contrast, grows towards the brighter side; the
    // plain contrast would pull the centre that way, its fraction of the depth does not.
    // That fraction is mapped to a weight the same way all over the spot: 0 up to the noise
    // floor's share of the depth at the centre, 1 from as far below full depth (the core, whose
    // noise tells nothing of where the spot lies), linear between. A floor and a core cut taken
    // in grey levels instead would weigh the core of the shallower side less, and pull the
    // centre to the deeper side by as much as the noise is large (0.17 px at noise 10 where
    // the depth is 40).
    const bool relative = spotDepth > 0.0;
    const double atCentre = polarity * (level - fallbackLevel) + spotDepth;
    const float depthAtCentre = relative ? static_cast<float>(atCentre) : 1.0f;
    const float leastDepth =
        relative ? static_cast<float>(0.25 * std::max(atCentre, spotDepth)) : 1.0f;
    const float gradientX = relative ? static_cast<float>(polarity * slopeX) : 0.0f;
    const float gradientY = relative ? static_cast<float>(polarity * slopeY) : 0.0f;
    const float floorF = static_cast<float>(floor);
    const float lowShare = std::min(kMostFloorShare, floorF / depthAtCentre);
    const float highShare = std::max(1.0f - lowShare, lowShare + kLeastShareSpan);
    const float perShare = 1.0f / (highShare - lowShare);
    const float* dxs = pixels.dx.data();
    const float* dys = pixels.dy.data();
    const float* values = pixels.value.data();
    // Four pixels at a time (the lists are padded to whole fours with pixels far outside).
    Float4 sumW{}, sumWX{}, sumWY{};
    for (std::size_t k = 0; k < pixels.count; k += 4) {
      const Float4 dx = Load4(dxs + k) - ox;
      const Float4 dy = Load4(dys + k) - oy;
      const Float4 w = base - sign * Load4(values + k);
      Float4 weight = w;
      if (relative) {
        const Float4 depth = Larger(depthAtCentre + gradientX * dx + gradientY * dy, leastDepth);
        const Float4 share = (w + floorF) / depth;
        weight = Smaller(Larger((share - lowShare) * perShare, 0.0f), Float4{} + 1.0f);
      }
      const Int4 inside = (dx * dx + dy * dy <= window2) & (weight > 0.0f);
      weight = reinterpret_cast<Float4>(reinterpret_cast<Int4>(weight) & inside);
      sumW += weight;
      sumWX += weight * dx;
      sumWY += weight * dy;
    }
    *sw = Total(sumW);
    *swx = Total(sumWX);
    *swy = Total(sumWY);
  };
  // The level of the ring about the last pass's window (its values brought to the window
  // centre along the background's slope), relative to the fallback level; false when the
  // ring holds too few pixels. Taken only when another pass follows.
  auto ringLevel = [&](double* level) {
    const double cx = gatherX + ox;
    const double cy = gatherY + oy;
    const std::size_t kept =
        RingValues(image, labels, cx, cy, window, outer, fallbackLevel, slopeX, slopeY, ring);
    return RingLevel(ring.data(), kept, level);
  };
  gather();
  double sw = 0.0, swx = 0.0, swy = 0.0;
  if (fit == CentreFit::kProfile) {
    // One weighted pass brings the centre near enough for the profile fit, which needs no
    // background level of its own (a constant added to every share moves no centre).
    pass(fallbackLevel, &sw, &swx, &swy);
    if (!(sw > 0.0)) return centre;
    centre.x += swx / sw;
    centre.y += swy / sw;
    centre.valid = true;
    ProfileFrame frame;
    frame.window2 = window2;
    frame.bins = static_cast<int>(window / kBin) + 2;
    frame.sign = sign;
    frame.depthAtCentre = static_cast<float>(spotDepth);
    frame.leastDepth = static_cast<float>(0.25 * spotDepth);
    frame.gradientX = static_cast<float>(polarity * slopeX);
    frame.gradientY = static_cast<float>(polarity * slopeY);
    bool fitted = false;
    for (int step = 0; step < kProfileSteps; ++step) {
      const double offsetX = centre.x - gatherX;
      const double offsetY = centre.y - gatherY;
      if (offsetX * offsetX + offsetY * offsetY > kGatherSlack * kGatherSlack) gather();
      frame.ox = static_cast<float>(centre.x - gatherX);
      frame.oy = static_cast<float>(centre.y - gatherY);
      frame.base = static_cast<float>(
          -polarity * (slopeX * (centre.x - gatherX) + slopeY * (centre.y - gatherY)));
      ProfileShift shift;
      if (!FitProfile(pixels, frame, noise / spotDepth, &shift)) break;
      const double moved = std::hypot(shift.x, shift.y);
      if (moved > kProfileFarthest) break;
      centre.x += shift.x;
      centre.y += shift.y;
      centre.roundness = shift.roundness;
      fitted = true;
      if (moved < kProfileSettled) break;
    }
    if (fitted) return centre;
    // No profile to fit (too flat, or its step beyond reach): the weighted centroid, from the
    // start.
    centre = SpotCentre{x, y, false};
  }
  // The first pass weighs with the background model's level; each later one with the ring
  // of the pass before.
  double level = fallbackLevel;
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    pass(level, &sw, &swx, &swy);
    if (!(sw > 0.0)) return centre;
    const double shiftX = swx / sw;
    const double shiftY = swy / sw;
    centre.x += shiftX;
    centre.y += shiftY;
    centre.valid = true;
    if (shiftX * shiftX + shiftY * shiftY < kSettled * kSettled) break;
    // The ring about the centre just left gives the level of the next pass.
    double relative = 0.0;
    level = ringLevel(&relative) ? fallbackLevel + relative : fallbackLevel;
  }
  return centre;
}

}  // namespace zmr
