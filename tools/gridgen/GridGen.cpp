#include "gridgen/GridGen.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>

#include "imagefiles/Bitmap.h"
#include "imagefiles/PngImage.h"
#include "imagefiles/TiffImage.h"
#include "state/Array.h"
#include "state/CNumericLocale.h"
#include "state/Numeric.h"
#include "state/ProgramState.h"
#include "state/SafeWrite.h"

namespace zmr {

namespace {

constexpr int kSamplesPerSide = 4;  // anti-aliasing: kSamplesPerSide^2 samples per pixel
constexpr double kEdgeClearance = 2.0;
constexpr double kMinStep = 4.0;
constexpr double kMaxRotation = 360.0;
constexpr int kOstrelValuesPerLine = 16;
constexpr int kMaxCountScale = INT_MAX / 255;
constexpr double kPi = 3.14159265358979323846;

// Random numbers built only on the raw 32-bit output of mt19937, which the language fixes;
// the conversions below are ours so that every library gives the same values.
class GridRandom {
 public:
  explicit GridRandom(std::uint32_t seed) : engine_(seed) {}

  // Uniform in the open interval (0, 1).
  double Uniform() { return (static_cast<double>(engine_()) + 0.5) / 4294967296.0; }

  // Uniform integer in 0..n-1 (n > 0), without the bias of a plain modulo.
  std::uint32_t Below(std::uint32_t n) {
    const std::uint64_t range = 1ULL << 32;
    const std::uint64_t limit = range - range % n;
    std::uint64_t x;
    do {
      x = engine_();
    } while (x >= limit);
    return static_cast<std::uint32_t>(x % n);
  }

  // Standard normal deviate by the polar method (only sqrt and log, no trigonometry).
  double Normal() {
    if (haveSpare_) {
      haveSpare_ = false;
      return spare_;
    }
    double u, v, s;
    do {
      u = 2.0 * Uniform() - 1.0;
      v = 2.0 * Uniform() - 1.0;
      s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double f = std::sqrt(-2.0 * std::log(s) / s);
    spare_ = v * f;
    haveSpare_ = true;
    return u * f;
  }

 private:
  std::mt19937 engine_;
  bool haveSpare_ = false;
  double spare_ = 0.0;
};

bool ImageWellFormed(const GridImage& image) {
  return image.width > 0 && image.height > 0 &&
         image.pixels.size() ==
             static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
}

// Darkness 0..1 of a spot at offset (dx, dy) from its centre; (cosA, sinA) turn the square.
double SpotDarkness(SpotShape shape, double radius, double cosA, double sinA, double dx,
                    double dy) {
  switch (shape) {
    case SpotShape::kDisc:
      return dx * dx + dy * dy <= radius * radius ? 1.0 : 0.0;
    case SpotShape::kSquare: {
      const double u = cosA * dx + sinA * dy;
      const double v = -sinA * dx + cosA * dy;
      return std::fabs(u) <= radius && std::fabs(v) <= radius ? 1.0 : 0.0;
    }
    case SpotShape::kGaussian: {
      // A Gaussian twice as dark as the spot at its centre, clipped to it: the flat core keeps
      // the dark area near that of a disc while neighbours stay apart. Lowered by its value at
      // the reach (1/128) and stretched back, so that it ends there without a step.
      const double q = (dx * dx + dy * dy) / (radius * radius);
      if (q >= 4.0) return 0.0;
      return (std::min(1.0, std::exp2(1.0 - 2.0 * q)) - 1.0 / 128.0) * (128.0 / 127.0);
    }
  }
  return 0.0;
}

void AddSpot(const GridSpec& gridSpec, const GridSpot& spot, double cosA, double sinA,
             std::vector<double>& darkness) {
  const double reach = SpotReach(gridSpec.shape, gridSpec.radius);
  // Pixel i covers [i - 0.5, i + 0.5]; the margin keeps the box inside, the clamp is a guard.
  const double lastX = gridSpec.width - 1.0;
  const double lastY = gridSpec.height - 1.0;
  const int x0 = static_cast<int>(std::clamp(std::ceil(spot.measuredX - reach - 0.5), 0.0, lastX));
  const int x1 = static_cast<int>(std::clamp(std::floor(spot.measuredX + reach + 0.5), 0.0, lastX));
  const int y0 = static_cast<int>(std::clamp(std::ceil(spot.measuredY - reach - 0.5), 0.0, lastY));
  const int y1 = static_cast<int>(std::clamp(std::floor(spot.measuredY + reach + 0.5), 0.0, lastY));
  constexpr double kSampleWeight = 1.0 / (kSamplesPerSide * kSamplesPerSide);
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      double sum = 0.0;
      for (int sy = 0; sy < kSamplesPerSide; ++sy) {
        const double dy = y + (sy + 0.5) / kSamplesPerSide - 0.5 - spot.measuredY;
        for (int sx = 0; sx < kSamplesPerSide; ++sx) {
          const double dx = x + (sx + 0.5) / kSamplesPerSide - 0.5 - spot.measuredX;
          sum += SpotDarkness(gridSpec.shape, gridSpec.radius, cosA, sinA, dx, dy);
        }
      }
      darkness[static_cast<std::size_t>(y) * gridSpec.width + x] += sum * kSampleWeight;
    }
  }
}

// The spots whose measured position keeps the clearance from every border, row by row.
std::vector<GridSpot> ListSpots(const GridSpec& gridSpec, double cosA, double sinA) {
  const double cx = (gridSpec.width - 1) / 2.0;
  const double cy = (gridSpec.height - 1) / 2.0;
  const double halfDiagonal = std::hypot(cx, cy);
  // Beyond the fold radius a barrel mapping turns back on itself; stop short of it.
  double reachLimit = 2.0 * halfDiagonal;
  if (gridSpec.distortion < 0.0) {
    reachLimit = std::min(reachLimit, halfDiagonal / std::sqrt(-3.0 * gridSpec.distortion));
  }
  const double step = gridSpec.pitch * gridSpec.scale;
  const int nMax = TruncateToward0<int>(reachLimit / step) + 1;
  const double margin = SpotReach(gridSpec.shape, gridSpec.radius) + kEdgeClearance;

  std::vector<GridSpot> spots;
  for (int row = -nMax; row <= nMax; ++row) {
    for (int col = -nMax; col <= nMax; ++col) {
      const double ox = col * step;
      const double oy = row * step;
      const double dist = std::hypot(ox, oy);
      if (dist >= reachLimit) continue;
      const double dx = cosA * ox - sinA * oy;
      const double dy = sinA * ox + cosA * oy;
      const double rel = dist / halfDiagonal;
      const double factor = 1.0 + gridSpec.distortion * rel * rel;
      GridSpot spot;
      spot.row = row;
      spot.col = col;
      spot.idealX = cx + dx;
      spot.idealY = cy + dy;
      spot.measuredX = cx + dx * factor;
      spot.measuredY = cy + dy * factor;
      if (spot.measuredX >= margin && spot.measuredX <= gridSpec.width - 1 - margin &&
          spot.measuredY >= margin && spot.measuredY <= gridSpec.height - 1 - margin) {
        spots.push_back(spot);
      }
    }
  }
  return spots;
}

void ChooseMissing(double fraction, GridRandom& random, std::vector<GridSpot>& spots) {
  const auto count = static_cast<std::uint32_t>(spots.size());
  const auto missing = std::min(count, TruncateToward0<std::uint32_t>(fraction * count + 0.5));
  if (missing == 0) return;
  std::vector<std::uint32_t> order(count);
  for (std::uint32_t i = 0; i < count; ++i) order[i] = i;
  // Partial Fisher-Yates shuffle: the first `missing` entries are a uniform random choice.
  for (std::uint32_t i = 0; i < missing; ++i) {
    std::swap(order[i], order[i + random.Below(count - i)]);
    spots[order[i]].present = false;
  }
}

bool ParseInt(const std::string& text, int* value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v < INT_MIN || v > INT_MAX) return false;
  *value = static_cast<int>(v);
  return true;
}

bool ParseDouble(const std::string& text, double* value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  const CNumericLocale cLocale;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool ParseSeed(const std::string& text, std::uint32_t* value) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v > 0xFFFFFFFFULL) return false;
  *value = static_cast<std::uint32_t>(v);
  return true;
}

bool ParseSize(const std::string& text, int* width, int* height) {
  const auto x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  int w = 0, h = 0;
  if (!ParseInt(text.substr(0, x), &w) || !ParseInt(text.substr(x + 1), &h)) return false;
  *width = w;
  *height = h;
  return true;
}

}  // namespace

bool ParseSpotShape(const std::string& text, SpotShape* shape) {
  for (SpotShape s : {SpotShape::kDisc, SpotShape::kGaussian, SpotShape::kSquare}) {
    if (text == SpotShapeName(s)) {
      *shape = s;
      return true;
    }
  }
  return false;
}

const char* SpotShapeName(SpotShape shape) {
  switch (shape) {
    case SpotShape::kDisc:
      return "disc";
    case SpotShape::kGaussian:
      return "gaussian";
    case SpotShape::kSquare:
      return "square";
  }
  return "disc";
}

double SpotReach(SpotShape shape, double radius) {
  switch (shape) {
    case SpotShape::kDisc:
      return radius;
    case SpotShape::kSquare:
      return radius * std::sqrt(2.0);
    case SpotShape::kGaussian:
      return 2.0 * radius;
  }
  return radius;
}

std::string GridSpecProblem(const GridSpec& gridSpec) {
  char text[160];
  if (!ImageSizeAllowed(gridSpec.width, gridSpec.height)) {
    std::snprintf(text, sizeof text,
                  "image size %dx%d is not allowed (1 to %d per side, at most %lld pixels)",
                  gridSpec.width, gridSpec.height, kMaxImageSide, kMaxImagePixels);
    return text;
  }
  if (!std::isfinite(gridSpec.pitch) || !std::isfinite(gridSpec.scale) || gridSpec.pitch <= 0.0 ||
      gridSpec.scale <= 0.0) {
    return "pitch and scale must be finite numbers above 0";
  }
  const double step = gridSpec.pitch * gridSpec.scale;
  if (!(step >= kMinStep)) return "pitch times scale must be at least 4 pixels";
  if (!std::isfinite(gridSpec.radius) || gridSpec.radius <= 0.0 || gridSpec.radius > step) {
    return "radius must be above 0 and at most pitch times scale";
  }
  if (gridSpec.backgroundGrey < 0 || gridSpec.backgroundGrey > 255 || gridSpec.spotGrey < 0 ||
      gridSpec.spotGrey > 255) {
    return "grey levels must be in 0..255";
  }
  if (gridSpec.rampLeft >= 0 &&
      (gridSpec.rampLeft > 255 || gridSpec.rampRight < 0 || gridSpec.rampRight > 255)) {
    return "ramp grey levels must be in 0..255";
  }
  if (!std::isfinite(gridSpec.rotationDegrees) ||
      std::fabs(gridSpec.rotationDegrees) > kMaxRotation) {
    return "rotation must be within -360..360 degrees";
  }
  if (!std::isfinite(gridSpec.distortion)) return "distortion must be a finite number";
  if (!std::isfinite(gridSpec.noiseSigma) || gridSpec.noiseSigma < 0.0) {
    return "noise sigma must be a finite number, 0 or above";
  }
  if (!(gridSpec.missingFraction >= 0.0 && gridSpec.missingFraction <= 1.0)) {
    return "missing fraction must be in 0..1";
  }
  if (gridSpec.countScale < 1 || gridSpec.countScale > kMaxCountScale) {
    std::snprintf(text, sizeof text, "count scale must be in 1..%d", kMaxCountScale);
    return text;
  }
  if (gridSpec.countsScale < 1 || gridSpec.countsScale > kMaxCountsScale) {
    std::snprintf(text, sizeof text, "counts scale must be in 1..%d", kMaxCountsScale);
    return text;
  }
  return "";
}

GridImage GenerateGrid(const GridSpec& gridSpec) {
  if (!GridSpecProblem(gridSpec).empty()) return {};
  try {
    const double angle = gridSpec.rotationDegrees * kPi / 180.0;
    const double cosA = std::cos(angle);
    const double sinA = std::sin(angle);

    GridImage image;
    image.width = gridSpec.width;
    image.height = gridSpec.height;
    image.spots = ListSpots(gridSpec, cosA, sinA);

    // One stream for the whole image: first the missing spots, then the noise in pixel order,
    // so that changing the noise leaves the choice of missing spots as it was.
    GridRandom random(gridSpec.seed);
    ChooseMissing(gridSpec.missingFraction, random, image.spots);

    const std::size_t count = static_cast<std::size_t>(gridSpec.width) * gridSpec.height;
    std::vector<double> darkness(count, 0.0);
    for (const GridSpot& spot : image.spots) {
      if (spot.present) AddSpot(gridSpec, spot, cosA, sinA, darkness);
    }

    image.pixels.resize(count);
    const bool ramp = gridSpec.rampLeft >= 0;
    const int lastColumn = std::max(1, gridSpec.width - 1);
    for (std::size_t k = 0; k < count; ++k) {
      const double column = static_cast<double>(k % static_cast<std::size_t>(gridSpec.width));
      const double background =
          ramp ? gridSpec.rampLeft + (gridSpec.rampRight - gridSpec.rampLeft) * column / lastColumn
               : gridSpec.backgroundGrey;
      double value = background + (gridSpec.spotGrey - background) * std::min(1.0, darkness[k]);
      if (gridSpec.invert) value = 255.0 - value;
      if (gridSpec.noiseSigma > 0.0) value += gridSpec.noiseSigma * random.Normal();
      image.pixels[k] = static_cast<int>(std::clamp(std::floor(value + 0.5), 0.0, 255.0));
    }
    return image;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

bool WriteOstrelFile(const std::string& path, const GridImage& image, int countScale) {
  if (countScale < 1 || countScale > kMaxCountScale || !ImageWellFormed(image)) return false;
  for (int grey : image.pixels) {
    if (grey < 0 || grey > 255) return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  const std::size_t count = image.pixels.size();
  bool ok = true;
  for (std::size_t k = 0; k < count && ok; ++k) {
    const bool lineEnd = (k + 1) % kOstrelValuesPerLine == 0 || k + 1 == count;
    const auto value = static_cast<unsigned>(image.pixels[k] * countScale);
    ok = std::fprintf(file, "%x%c", value, lineEnd ? '\n' : ' ') > 0;
  }
  ok = ok && std::ferror(file) == 0;
  return std::fclose(file) == 0 && ok;
}

namespace {
// The counts grey * countsScale of a well-formed image of greys 0..255; empty otherwise.
std::vector<double> Counts16(const GridImage& image, int countsScale) {
  if (countsScale < 1 || countsScale > kMaxCountsScale || !ImageWellFormed(image)) return {};
  std::vector<double> counts(image.pixels.size());
  for (std::size_t k = 0; k < counts.size(); ++k) {
    const int grey = image.pixels[k];
    if (grey < 0 || grey > 255) return {};
    counts[k] = static_cast<double>(grey) * countsScale;
  }
  return counts;
}

bool WriteEncoded(const std::string& path, const ResultOf<std::vector<std::uint8_t>>& bytes) {
  return bytes.ok() && WriteWholeFileBytes(path.c_str(), bytes.value());
}
}  // namespace

bool WriteTiff16File(const std::string& path, const GridImage& image, int countsScale) {
  const std::vector<double> counts = Counts16(image, countsScale);
  if (counts.empty()) return false;
  return WriteEncoded(path,
                      EncodeTiff(image.width, image.height, counts, TiffSamples::kUnsigned16));
}

bool WritePng16File(const std::string& path, const GridImage& image, int countsScale) {
  const std::vector<double> counts = Counts16(image, countsScale);
  if (counts.empty()) return false;
  return WriteEncoded(path, EncodePng(image.width, image.height, counts, 16));
}

bool WriteAsciiFile(const std::string& path, const GridImage& image) {
  if (!ImageWellFormed(image)) return false;
  return PrintArray(image.pixels.data(), image.width, image.height, path.c_str()) == 0;
}

bool WriteBitmapFile(const std::string& path, const GridImage& image) {
  if (!ImageWellFormed(image)) return false;
  return WriteImage(path.c_str(), image.width, image.height, image.pixels.data()) != 0;
}

bool WriteTruthFile(const std::string& path, const GridImage& image) {
  const CNumericLocale cLocale;
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  bool ok = true;
  for (const GridSpot& s : image.spots) {
    if (!s.present) continue;
    ok = ok && std::fprintf(file, "%d %d %.4f %.4f %.4f %.4f\n", s.row, s.col, s.idealX, s.idealY,
                            s.measuredX, s.measuredY) > 0;
  }
  ok = ok && std::ferror(file) == 0;
  return std::fclose(file) == 0 && ok;
}

bool ParseGridGenArguments(const std::vector<std::string>& args, GridGenOptions* options,
                           std::string* error) {
  const CNumericLocale cLocale;
  GridGenOptions parsed = *options;
  GridSpec& gridSpec = parsed.gridSpec;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--help" || name == "-h") {
      options->help = true;
      return true;
    }
    if (name == "--counts") {
      parsed.counts = true;
      continue;
    }
    if (name == "--invert") {
      gridSpec.invert = true;
      continue;
    }
    if (name.rfind("--", 0) != 0) {
      *error = "unexpected argument '" + name + "'";
      return false;
    }
    if (i + 1 >= args.size()) {
      *error = "option " + name + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    const auto bad = [&](const char* expected) {
      *error = "option " + name + " expects " + expected + ", got '" + value + "'";
      return false;
    };
    if (name == "--size") {
      if (!ParseSize(value, &gridSpec.width, &gridSpec.height)) return bad("WIDTHxHEIGHT");
    } else if (name == "--pitch") {
      if (!ParseDouble(value, &gridSpec.pitch)) return bad("a number");
    } else if (name == "--shape") {
      if (!ParseSpotShape(value, &gridSpec.shape)) return bad("disc, gaussian or square");
    } else if (name == "--radius") {
      if (!ParseDouble(value, &gridSpec.radius)) return bad("a number");
    } else if (name == "--background") {
      if (!ParseInt(value, &gridSpec.backgroundGrey)) return bad("an integer");
    } else if (name == "--ramp") {
      const std::size_t comma = value.find(',');
      if (comma == std::string::npos || !ParseInt(value.substr(0, comma), &gridSpec.rampLeft) ||
          !ParseInt(value.substr(comma + 1), &gridSpec.rampRight) || gridSpec.rampLeft < 0) {
        return bad("LEFT,RIGHT");
      }
    } else if (name == "--spot") {
      if (!ParseInt(value, &gridSpec.spotGrey)) return bad("an integer");
    } else if (name == "--rotation") {
      if (!ParseDouble(value, &gridSpec.rotationDegrees)) return bad("a number");
    } else if (name == "--scale") {
      if (!ParseDouble(value, &gridSpec.scale)) return bad("a number");
    } else if (name == "--distortion") {
      if (!ParseDouble(value, &gridSpec.distortion)) return bad("a number");
    } else if (name == "--noise") {
      if (!ParseDouble(value, &gridSpec.noiseSigma)) return bad("a number");
    } else if (name == "--missing") {
      if (!ParseDouble(value, &gridSpec.missingFraction)) return bad("a number");
    } else if (name == "--seed") {
      if (!ParseSeed(value, &gridSpec.seed)) return bad("an integer in 0..4294967295");
    } else if (name == "--count-scale") {
      if (!ParseInt(value, &gridSpec.countScale)) return bad("an integer");
    } else if (name == "--counts-scale") {
      if (!ParseInt(value, &gridSpec.countsScale)) return bad("an integer");
      parsed.counts = true;
    } else if (name == "--out") {
      if (value.empty()) return bad("a file name prefix");
      parsed.prefix = value;
    } else {
      *error = "unknown option '" + name + "'";
      return false;
    }
  }
  const std::string problem = GridSpecProblem(gridSpec);
  if (!problem.empty()) {
    *error = problem;
    return false;
  }
  *options = parsed;
  return true;
}

std::string GridGenUsage() {
  const GridSpec d;
  const CNumericLocale cLocale;
  char text[4096];
  std::snprintf(
      text, sizeof text,
      "usage: zmr_gridgen [options]\n"
      "Draws a synthetic calibration grid and writes PREFIX.txt (Ostrel counts, hexadecimal),\n"
      "PREFIX.dat (ASCII image), PREFIX.bmp (24-bit bitmap) and PREFIX_truth.txt (one line\n"
      "\"row col idealX idealY measuredX measuredY\" per drawn spot); with --counts also\n"
      "PREFIX.tif and PREFIX.png (16-bit counts).\n"
      "  --size WxH          image size in pixels (%dx%d)\n"
      "  --pitch P           lattice step in pixels (%g)\n"
      "  --shape S           disc, gaussian or square (%s)\n"
      "  --radius R          spot radius in pixels (%g)\n"
      "  --background G      background grey level, 0..255 (%d)\n"
      "  --ramp A,B          background ramp from grey A at the left to B at the right,\n"
      "                      in place of --background (off)\n"
      "  --spot G            spot grey level, 0..255 (%d)\n"
      "  --invert            bright spots on a dark background: every grey g becomes 255 - g\n"
      "  --rotation DEG      grid rotation, clockwise on screen (%g)\n"
      "  --scale S           lattice scale factor (%g)\n"
      "  --distortion K      radial distortion, negative for barrel (%g)\n"
      "  --noise SIGMA       Gaussian pixel noise in grey levels (%g)\n"
      "  --missing FRACTION  fraction of spots left out, 0..1 (%g)\n"
      "  --seed N            seed of the noise and of the missing spots (%u)\n"
      "  --count-scale C     Ostrel counts per grey level (%d)\n"
      "  --counts            also write PREFIX.tif and PREFIX.png, 16-bit, in counts\n"
      "  --counts-scale C    counts per grey level of the 16-bit .tif and .png (%d; implies\n"
      "                      --counts)\n"
      "  --out PREFIX        output file prefix (%s)\n"
      "  --help              show this text\n"
      "The lattice is centred on the image and turned and scaled about the centre; a node at\n"
      "offset d from the centre is drawn at centre + d * (1 + K * (|d| / R)^2), R being the\n"
      "distance from the centre to a corner. The defaults give a clean grid of 19 x 19 disc "
      "spots,\n"
      "slightly turned and with a mild barrel distortion.\n",
      d.width, d.height, d.pitch, SpotShapeName(d.shape), d.radius, d.backgroundGrey, d.spotGrey,
      d.rotationDegrees, d.scale, d.distortion, d.noiseSigma, d.missingFraction,
      static_cast<unsigned>(d.seed), d.countScale, d.countsScale, GridGenOptions{}.prefix.c_str());
  return text;
}

}  // namespace zmr
