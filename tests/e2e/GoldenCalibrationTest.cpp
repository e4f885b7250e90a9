// Whole calibrations frozen byte for byte. Each case runs zmr_gridgen and zmrcal one after
// another in a temporary folder; every file the folder then holds, and RUNS (each command with
// its exit status and output), must equal the goldens in tests/golden/CASE/. Its MANIFEST
// lists every file's name, size and SHA-256; files up to 64 KiB are kept whole beside it,
// larger ones only as hashes: of the whole file and of each block, which locate a difference.
// With ZMR_UPDATE_GOLDENS=1 the test writes the goldens into the source tree instead.
#include <gtest/gtest.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace zmr {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

// The SHA-256 of bytes as 64 lowercase hexadecimal digits.
std::string Sha256Hex(std::string_view bytes) {
  return QCryptographicHash::hash(
             QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
             QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}

struct GoldenCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> inputs;  // files written before the runs
  std::vector<std::string> runs;  // "zmr_gridgen ARGS" or "zmrcal ARGS", in order
};

// Every option in one of the three notations the options file takes; the offsets do not
// survive the image load, which sets them from the image size.
const char kOptionsFile[] =
    "/* 769 x 769, box filter 7 */ ImageWidth 0x301 ImageHeight 01401 FilterSize 7\n"
    "MinPatchSize 300 // the spots cover about 530 pixels\n"
    "Edge 48 MaxSlope 0.3 ORBIKxoffset 96 ORBIKyoffset 0240\n";

// 5 x 4 points by hand: blanks and a tab between the values, a last record cut short.
const char kHandPoints[] =
    "201.5 198.0 200.0 200.0\n300.0 197.5 300.0 200.0\n400.0 197.0 400.0 200.0\n"
    "499.0 198.0\t500.0 200.0\n598.0  199.5 600.0 200.0\n202.0 320.0 200.0 320.0\n"
    "300.5 319.5 300.0 320.0\n400.0 320.0 400.0 320.0\n499.5 319.0 500.0 320.0\n"
    "597.5 320.5 600.0 320.0\n202.5 441.0 200.0 440.0\n301.0 440.5 300.0 440.0\n"
    "400.0 440.0 400.0 440.0\n499.0 440.5 500.0 440.0\n597.0 441.5 600.0 440.0\n"
    "203.0 562.5 200.0 560.0\n301.5 561.0 300.0 560.0\n400.5 560.5 400.0 560.0\n"
    "498.5 561.5 500.0 560.0\n596 563 600 5.6e2\n1e2 5\n";

const GoldenCase kCases[] = {
    {"Barrel769OptionsFile",
     {{"ProgramOptions.TXT", kOptionsFile}},
     {"zmr_gridgen --size 769x769 --rotation 1.5 --distortion -0.05 --seed 11 --out grid",
      "zmrcal open-ostrel grid.txt box-filter target-to-source detect center-mesh save-points "
      "points.txt extrapolate adjust save-zmr detector.zmr save-orbik-ascii orbik.txt transform "
      "overlay numbers on overlay triangles on view source render overlays.png view target "
      "render corrected.bmp"}},
    {"Pincushion640x480",
     {},
     {"zmr_gridgen --size 640x480 --pitch 34 --shape gaussian --radius 11 --rotation -2 "
      "--scale 0.92 --distortion 0.03 --noise 6 --missing 0.05 --seed 7 --out grid",
      "zmrcal set ImageWidth 640 ImageHeight 480 FilterSize 3 open-ostrel grid.txt box-filter "
      "target-to-source set MinPatchSize 150 MaxSlope 0.35 Edge 40 ORBIKxoffset 96 ORBIKyoffset "
      "160 detect save-points points.txt extrapolate adjust save-zmr detector.zmr "
      "save-orbik-ascii orbik.txt transform save-target-ascii corrected.dat render vectors.png"}},
    // The second run opens the first run's points over its saved image.
    {"Square513x700TwoRuns",
     {},
     {"zmr_gridgen --size 513x700 --pitch 40 --shape square --radius 10 --rotation 3 --scale 1.1 "
      "--distortion -0.03 --background 180 --spot 60 --seed 5 --out grid",
      "zmrcal set ImageWidth 513 ImageHeight 700 MinPatchSize 250 open-ascii grid.dat threshold "
      "150 save-target-ascii threshold.dat detect center-mesh save-points points.txt save-bitmap "
      "source.bmp",
      "zmrcal open-bitmap source.bmp open-points points.txt extrapolate adjust transform save-zmr "
      "detector.zmr save-orbik-ascii orbik.txt overlay vectors off overlay triangles on render "
      "triangles.bmp"}},
    // No image: the working size stays 769 x 769. The last run stops at a message.
    {"HandWrittenPoints",
     {{"hand.txt", kHandPoints}},
     {"zmrcal set ORBIKxoffset 100 ORBIKyoffset 170 Edge 64 open-points hand.txt save-points "
      "echo.txt extrapolate save-points extrapolated.txt adjust save-orbik-ascii orbik.txt "
      "save-zmr detector.zmr",
      "zmrcal open-points extrapolated.txt center-mesh"}},
    // 320 x 240 values in a 300 x 260 working image: the format and offset chosen, or proposed.
    {"FormatAndOffset",
     {},
     {"zmr_gridgen --size 320x240 --pitch 30 --radius 9 --rotation 0.8 --distortion -0.01 "
      "--seed 9 --out grid",
      "zmrcal set ImageWidth 300 ImageHeight 260 open-ascii grid.dat --format 320x240 save-ascii "
      "ascii.dat open-ostrel grid.txt --format 320x240 --offset -20,5 save-ascii ostrel.dat set "
      "MinPatchSize 150 detect save-points points.txt overlay vectors off overlay numbers on "
      "render numbers.png"}},
    {"NoisyBitmap769",
     {},
     {"zmr_gridgen --size 769x769 --pitch 45 --radius 14 --shape gaussian --rotation -4 --scale "
      "0.9 --distortion 0.04 --noise 10 --missing 0.08 --seed 23 --out grid",
      "zmrcal open-bitmap grid.bmp set FilterSize 2 box-filter target-to-source threshold detect "
      "save-points points.txt extrapolate adjust save-zmr detector.zmr transform "
      "target-to-source save-bitmap corrected.bmp"}},
    // A 724 x 724 file in the default 769 x 769 image takes the fixed place (32, 32). The
    // strong barrel and the small MaxSlope leave some spots unassigned.
    {"Legacy724",
     {},
     {"zmr_gridgen --size 724x724 --pitch 36 --radius 12 --rotation 6 --scale 1.15 --distortion "
      "-0.08 --seed 3 --out grid",
      "zmrcal set MaxSlope 0.1 open-ostrel grid.txt detect extrapolate adjust save-zmr "
      "detector.zmr save-orbik-ascii orbik.txt save-points points.txt"}},
};

using Files = std::map<std::string, std::string>;  // name -> bytes

constexpr std::size_t kKeptWhole = 64 * 1024;

// Runs the case in the current folder; returns every file left there, and RUNS.
Files RunCase(const GoldenCase& c) {
  for (const auto& [name, content] : c.inputs) test::WriteFile(name, content);
  std::string runs;
  for (const std::string& line : c.runs) {
    const std::size_t blank = line.find(' ');
    const bool zmrcal = line.compare(0, blank, "zmrcal") == 0;
    const test::RunResult r =
        test::RunProgram(zmrcal ? ZMRCAL_PATH : ZMR_GRIDGEN_PATH, line.substr(blank + 1));
    runs += "$ " + line + "\nexit " + std::to_string(r.status) + "\n" + r.out;
    if (!r.err.empty()) runs += "stderr:\n" + r.err;
  }
  Files files{{"RUNS", runs}};
  for (const fs::directory_entry& e : fs::directory_iterator(".")) {
    files[e.path().filename().string()] = ReadFile(e.path().string());
  }
  return files;
}

// A file kept as hashes has at most 256 blocks of a multiple of 1 KiB, at least 4 KiB.
std::size_t BlockSize(std::size_t size) {
  return std::max<std::size_t>(4096, ((size + 255) / 256 + 1023) / 1024 * 1024);
}

// The first 8 hex digits of each block's SHA-256.
std::vector<std::string> BlockHashes(const std::string& bytes, std::size_t block) {
  std::vector<std::string> hashes;
  for (std::size_t at = 0; at < bytes.size(); at += block) {
    hashes.push_back(Sha256Hex(std::string_view(bytes).substr(at, block)).substr(0, 8));
  }
  return hashes;
}

// The build tree keeps the large files that matched their golden, named by their SHA-256, so
// that a later difference shows the golden bytes too.
fs::path CachePath(const std::string& sha) { return fs::path(ZMR_GOLDEN_CACHE_DIR) / sha; }

void Cache(const std::string& sha, const std::string& bytes) {
  const fs::path path = CachePath(sha);
  if (fs::exists(path)) return;
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  const std::string part = path.string() + ".part" + std::to_string(::getpid());
  test::WriteFile(part, bytes);
  fs::rename(part, path, ec);
}

void Freeze(const fs::path& dir, const Files& files) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::string manifest =
      "# NAME SIZE SHA-256, for a file over 65536 bytes also BLOCKSIZE and then the first 8 hex\n"
      "# digits of each block's SHA-256. Smaller files are kept whole beside this manifest.\n"
      "# Written by GoldenCalibrationTest with ZMR_UPDATE_GOLDENS=1.\n";
  for (const auto& [name, bytes] : files) {
    const std::string sha = Sha256Hex(bytes);
    manifest += name + ' ' + std::to_string(bytes.size()) + ' ' + sha;
    if (bytes.size() <= kKeptWhole) {
      test::WriteFile((dir / name).string(), bytes);
    } else {
      Cache(sha, bytes);
      const std::size_t block = BlockSize(bytes.size());
      manifest += ' ' + std::to_string(block);
      const std::vector<std::string> hashes = BlockHashes(bytes, block);
      for (std::size_t i = 0; i < hashes.size(); ++i)
        manifest += (i % 16 ? " " : "\n ") + hashes[i];
    }
    manifest += '\n';
  }
  test::WriteFile((dir / "MANIFEST").string(), manifest);
}

struct Golden {
  std::size_t size = 0;
  std::string sha;
  std::size_t block = 0;  // 0: kept whole
  std::vector<std::string> blocks;
};

std::map<std::string, Golden> ReadManifest(const std::string& text) {
  std::map<std::string, Golden> manifest;
  Golden* last = nullptr;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == ' ' && last != nullptr) {
      for (std::string hash; words >> hash;) last->blocks.push_back(hash);
      continue;
    }
    std::string name;
    Golden g;
    words >> name >> g.size >> g.sha;
    if (!(words >> g.block)) g.block = 0;
    last = &(manifest[name] = g);
  }
  return manifest;
}

bool IsText(const std::string& b) {
  return std::all_of(b.begin(), b.end(), [](char c) {
    return c == '\n' || c == '\r' || c == '\t' || (c >= ' ' && c < 127);
  });
}

std::string Hex(unsigned v, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*x", digits, v);
  return buf;
}

enum class Kind { kText, kZmr, kBinary };

Kind KindOf(const std::string& name, const std::string& a, const std::string& b) {
  if (IsText(a) && IsText(b)) return Kind::kText;
  const bool zmr = name.size() > 4 && name.compare(name.size() - 4, 4, ".zmr") == 0;
  return zmr && a.size() == 4356 && b.size() == 4356 ? Kind::kZmr : Kind::kBinary;
}

// What lies at byte `at`: its line (at most 100 characters of it), its .zmr record (33 x 33
// nodes of dy, dx: big-endian int16 in 1/256 pixel), or 16 bytes in hexadecimal.
std::string Excerpt(const std::string& b, std::size_t at, Kind kind) {
  at = std::min(at, b.size());
  if (kind == Kind::kText) {
    const std::size_t nl = at == 0 ? std::string::npos : b.rfind('\n', at - 1);
    const std::size_t start = nl == std::string::npos ? 0 : nl + 1;
    const std::size_t end = std::min(b.find('\n', start), b.size());
    const std::size_t from = std::max(start, at < 40 ? 0 : at - 40);
    const std::size_t to = std::min(end, from + 100);
    return "line " + std::to_string(1 + std::count(b.begin(), b.begin() + start, '\n')) +
           ", column " + std::to_string(at - start + 1) + ": '" + (from > start ? "..." : "") +
           b.substr(from, to - from) + (to < end ? "..." : "") + "'";
  }
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(b[i]); };
  if (kind == Kind::kZmr && at < b.size()) {
    const std::size_t r = at / 4;
    const auto value = [&](std::size_t i) {
      return std::to_string(static_cast<std::int16_t>(byte(i) << 8 | byte(i + 1)));
    };
    return "record " + std::to_string(r) + " (node x " + std::to_string(r % 33) + ", y " +
           std::to_string(r / 33) + "): dy " + value(4 * r) + "/256, dx " + value(4 * r + 2) +
           "/256";
  }
  const std::size_t from = at < 8 ? 0 : at - 8;
  std::string bytes = "bytes from " + std::to_string(from) + ":";
  for (std::size_t i = from; i < std::min(from + 16, b.size()); ++i) bytes += ' ' + Hex(byte(i), 2);
  return bytes;
}

// 8 x 8 pixels (RRGGBB) around (x, y), which is marked with '>'.
std::string Crop(const QImage& image, int x, int y) {
  const int x0 = std::clamp(x - 3, 0, std::max(image.width() - 8, 0));
  const int y0 = std::clamp(y - 3, 0, std::max(image.height() - 8, 0));
  std::string crop = "pixels from (" + std::to_string(x0) + ", " + std::to_string(y0) + "):";
  for (int j = y0; j < std::min(y0 + 8, image.height()); ++j) {
    crop += "\n   ";
    for (int i = x0; i < std::min(x0 + 8, image.width()); ++i) {
      crop += (i == x && j == y ? " >" : " ") + Hex(image.pixel(i, j) & 0xffffffu, 6);
    }
  }
  return crop;
}

// The first differing pixel of two images (PNG, BMP) with both crops; empty when either is
// not an image.
std::string PixelDifference(const std::string& old, const std::string& now) {
  QImage a;
  QImage b;
  if (!a.loadFromData(reinterpret_cast<const uchar*>(old.data()), static_cast<int>(old.size())) ||
      !b.loadFromData(reinterpret_cast<const uchar*>(now.data()), static_cast<int>(now.size()))) {
    return "";
  }
  const auto size = [](const QImage& i) {
    return std::to_string(i.width()) + "x" + std::to_string(i.height());
  };
  if (a.size() != b.size()) return "image size golden " + size(a) + ", now " + size(b);
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) == b.pixel(x, y)) continue;
      return "first differing pixel (" + std::to_string(x) + ", " + std::to_string(y) +
             ")\n  golden: " + Crop(a, x, y) + "\n  now:    " + Crop(b, x, y);
    }
  }
  return "the same pixels, encoded differently";
}

// How the file differs from its golden; empty when it does not.
std::string Difference(const fs::path& dir, const std::string& name, const Golden& g,
                       const std::string& now) {
  const std::string sizes =
      "golden " + std::to_string(g.size) + " bytes, now " + std::to_string(now.size()) + "; ";
  if (g.block != 0 && now.size() == g.size && Sha256Hex(now) == g.sha) {
    Cache(g.sha, now);
    return "";
  }
  const fs::path kept = g.block == 0 ? dir / name : CachePath(g.sha);
  const std::string old = ReadFile(kept.string());
  const bool oldValid = old.size() == g.size && Sha256Hex(old) == g.sha;
  if (g.block == 0) {
    if (!fs::exists(kept)) return "its golden copy " + kept.string() + " is missing";
    if (!oldValid) return "its golden copy " + kept.string() + " disagrees with MANIFEST";
    if (old == now) return "";
  } else if (!oldValid) {
    // Only the hashes: the first block that differs.
    const std::vector<std::string> blocks = BlockHashes(now, g.block);
    std::size_t k = 0;
    while (k < g.blocks.size() && k < blocks.size() && g.blocks[k] == blocks[k]) ++k;
    const std::size_t at = k * g.block;
    return sizes + "only hashes of the golden are kept, and " + ZMR_GOLDEN_CACHE_DIR +
           " (filled by runs that match) does not hold it: bytes before " + std::to_string(at) +
           " are equal, the first difference lies in [" + std::to_string(at) + ", " +
           std::to_string(at + g.block) + ")\n  now at " + std::to_string(at) + ": " +
           Excerpt(now, at, IsText(now) ? Kind::kText : Kind::kBinary);
  }
  const Kind kind = KindOf(name, old, now);
  const std::string pixels = kind == Kind::kBinary ? PixelDifference(old, now) : "";
  if (!pixels.empty()) return sizes + pixels;
  const std::size_t common = std::min(old.size(), now.size());
  const auto at = static_cast<std::size_t>(
      std::mismatch(old.begin(), old.begin() + common, now.begin()).first - old.begin());
  return sizes + "first difference at byte " + std::to_string(at) +
         "\n  golden: " + Excerpt(old, at, kind) + "\n  now:    " + Excerpt(now, at, kind);
}

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

class GoldenCalibrationTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenCalibrationTest, EveryFileEqualsItsGolden) {
  const GoldenCase& c = GetParam();
  const fs::path dir = fs::path(ZMR_GOLDEN_DIR) / c.name;
  Files files;
  {
    test::TempDir folder;
    files = RunCase(c);
  }
  const char* update = std::getenv("ZMR_UPDATE_GOLDENS");
  if (update != nullptr && std::string(update) == "1") {
    Freeze(dir, files);
    std::printf("note: ZMR_UPDATE_GOLDENS=1: goldens of %s written to %s\n", c.name,
                dir.string().c_str());
    return;
  }
  const fs::path manifestPath = dir / "MANIFEST";
  ASSERT_TRUE(fs::exists(manifestPath)) << c.name << ": no golden " << manifestPath.string()
                                        << " (freeze it on purpose: ZMR_UPDATE_GOLDENS=1)";
  const std::map<std::string, Golden> manifest = ReadManifest(ReadFile(manifestPath.string()));
  for (const auto& [name, golden] : manifest) {
    const auto now = files.find(name);
    if (now == files.end()) {
      ADD_FAILURE() << c.name << '/' << name << ": in the golden but not written";
      continue;
    }
    const std::string why = Difference(dir, name, golden, now->second);
    if (!why.empty()) ADD_FAILURE() << c.name << '/' << name << " differs: " << why;
  }
  for (const auto& [name, bytes] : files) {
    if (manifest.count(name) == 0) {
      ADD_FAILURE() << c.name << '/' << name << ": written (" << bytes.size()
                    << " bytes) but not in the golden (freeze it on purpose: "
                       "ZMR_UPDATE_GOLDENS=1)";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenCalibrationTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A case left out of the table must not leave its goldens behind.
TEST(GoldenFoldersTest, EachIsACase) {
  for (const fs::directory_entry& e : fs::directory_iterator(ZMR_GOLDEN_DIR)) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(std::any_of(std::begin(kCases), std::end(kCases),
                            [&](const GoldenCase& c) { return name == c.name; }))
        << e.path().string() << " belongs to no case";
  }
}

}  // namespace
}  // namespace zmr
