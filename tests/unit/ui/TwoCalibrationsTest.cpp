// Two whole calibrations on two records at once: each record reads its options from and writes
// its logs into its own folder, and running both in two threads gives every file byte for byte
// as running them one after the other.
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "gridgen/GridGen.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Startup.h"
#include "ui/resource.h"

namespace zmr {
namespace {

namespace fs = std::filesystem;

struct Calibration {
  GridSpec grid;
  std::string options = {};  // ProgramOptions.TXT of its folder
};

// Writes the grid into folder and runs open, detection, extrapolation, adjustment,
// transformation and every save on a record of its own. Returns the messages shown.
std::string Calibrate(const Calibration& c, const fs::path& folder) {
  fs::create_directories(folder);
  const std::string image = (folder / "grid.txt").string();
  if (!WriteOstrelFile(image, GenerateGrid(c.grid), c.grid.countScale)) return "no grid file";
  test::WriteFile((folder / "ProgramOptions.TXT").string(), c.options);

  ProgramState s;
  s.workFolder = folder.string();
  test::FakePlatform platform(s);
  StartProgram(platform);
  const auto out = [&](const char* name) { return (folder / name).string(); };
  platform.fileAnswers = {image, out("table.zmr"), out("points.txt"), out("orbik.txt"),
                          out("target.txt")};
  for (int id :
       {IDM_OPEN_OSTREL, IDM_AUTODETECT, IDM_EXTRAPOLATE, IDM_ADJUST, IDM_TRANSFORM,
        IDM_ORBIK_SAVE_ZMR, IDM_POINTS_SAVE, IDM_ORBIK_SAVE_ASCII, IDM_SAVE_TARGET_ASCII}) {
    RunCommand(id, platform);
  }
  EndProgram(s);
  std::string messages;
  for (const auto& m : platform.MessageTexts()) messages += m + "\n";
  return messages;
}

std::map<std::string, std::string> FilesIn(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] = test::ReadFile(entry.path().string());
  }
  return files;
}

TEST(TwoCalibrations, OnTwoRecordsInTwoThreadsGiveTheBytesOfOneAtATime) {
  test::TempDir dir;
  Calibration a{.grid = {.rotationDegrees = 1.5, .distortion = -0.03}, .options = ""};
  Calibration b{.grid = {.width = 640, .height = 512, .pitch = 32, .radius = 10},
                .options = "ImageWidth 640 ImageHeight 512 MinPatchSize 200 Edge 16"};
  b.grid.rotationDegrees = -2, b.grid.distortion = 0.02, b.grid.seed = 7;

  ASSERT_EQ(Calibrate(a, dir.path() / "a1"), "");
  ASSERT_EQ(Calibrate(b, dir.path() / "b1"), "");
  std::string messagesA, messagesB;
  std::thread threadA([&] { messagesA = Calibrate(a, dir.path() / "a2"); });
  std::thread threadB([&] { messagesB = Calibrate(b, dir.path() / "b2"); });
  threadA.join();
  threadB.join();
  EXPECT_EQ(messagesA, "");
  EXPECT_EQ(messagesB, "");

  const std::map<std::string, std::string> filesA = FilesIn(dir.path() / "a1");
  const std::map<std::string, std::string> filesB = FilesIn(dir.path() / "b1");
  for (const char* name : {"SCAN.LOG", "Trace.log", "PointsFit.txt", "CorrectedPoints.txt",
                           "table.zmr", "points.txt", "orbik.txt", "target.txt"}) {
    ASSERT_TRUE(filesA.count(name) == 1 && filesB.count(name) == 1) << name;
    EXPECT_NE(filesA.at(name), filesB.at(name)) << name << ": the two calibrations agree";
  }
  EXPECT_GT(filesA.at("points.txt").size(), 300 * 20u) << "too few points detected in a";
  EXPECT_GT(filesB.at("points.txt").size(), 200 * 20u) << "too few points detected in b";
  for (const auto& [one, other, files] :
       {std::tuple{"a1", "a2", filesA}, std::tuple{"b1", "b2", filesB}}) {
    const std::map<std::string, std::string> concurrent = FilesIn(dir.path() / other);
    ASSERT_EQ(concurrent.size(), files.size()) << other;
    for (const auto& [name, bytes] : files) {
      EXPECT_TRUE(concurrent.count(name) == 1 && concurrent.at(name) == bytes)
          << one << " and " << other << " differ in " << name;
    }
  }
  // Nothing went to the current folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 4);
}

}  // namespace
}  // namespace zmr
