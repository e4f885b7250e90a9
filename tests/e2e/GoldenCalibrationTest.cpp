// Whole calibrations frozen byte for byte. Each case runs zmr_gridgen and zmrcal one after
// another in a temporary folder; every file the folder then holds, and RUNS (each command with
// its exit status and output), must equal the goldens in tests/golden/CASE/. Its MANIFEST
// lists every file's name, size and SHA-256; files up to 64 KiB are also kept whole beside it.
// With ZMR_UPDATE_GOLDENS=1 the test writes the goldens into the source tree instead.
#include <gtest/gtest.h>
#include <QCryptographicHash>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
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

std::string Manifest(const Files& files) {
  std::string manifest =
      "# NAME SIZE SHA-256. Files up to 65536 bytes are kept whole beside this manifest.\n"
      "# Written by GoldenCalibrationTest with ZMR_UPDATE_GOLDENS=1.\n";
  for (const auto& [name, bytes] : files) {
    manifest += name + ' ' + std::to_string(bytes.size()) + ' ' + Sha256Hex(bytes) + '\n';
  }
  return manifest;
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
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const auto& [name, bytes] : files) {
      if (bytes.size() <= kKeptWhole) test::WriteFile((dir / name).string(), bytes);
    }
    test::WriteFile((dir / "MANIFEST").string(), Manifest(files));
    std::printf("note: ZMR_UPDATE_GOLDENS=1: goldens of %s written to %s\n", c.name,
                dir.string().c_str());
    return;
  }
  // The manifest names every file with its size and hash; the files kept whole are compared
  // byte for byte, so that a difference can be located.
  EXPECT_EQ(ReadFile((dir / "MANIFEST").string()), Manifest(files))
      << c.name << ": the files written differ from the golden (freeze on purpose with "
      << "ZMR_UPDATE_GOLDENS=1)";
  for (const auto& [name, bytes] : files) {
    if (bytes.size() > kKeptWhole || !fs::exists(dir / name)) continue;
    const std::string old = ReadFile((dir / name).string());
    const std::size_t common = std::min(old.size(), bytes.size());
    const auto at = std::mismatch(old.begin(), old.begin() + common, bytes.begin()).first;
    EXPECT_TRUE(old == bytes) << c.name << '/' << name << ": first difference at byte "
                              << at - old.begin() << " (golden " << old.size() << " bytes, now "
                              << bytes.size() << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenCalibrationTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zmr
