// zmrcal report end to end: the two files, byte for byte the same for the same calibration,
// with the documented keys, a null figure with its reason, a calibration left as it was, and a
// clear message without a calibration.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::ReadFile;
using test::RunProgram;
using test::RunResult;

RunResult Zmrcal(const std::string& line) { return RunProgram(ZMRCAL_PATH, line); }

TEST(QualityReport, SameCalibrationSameBytesDocumentedKeysAndTheCalibrationUntouched) {
  test::TempDir dir;
  ASSERT_EQ(RunProgram(ZMR_GRIDGEN_PATH, "--out grid").status, 0);
  const std::string calibrate = "open-ostrel grid.txt detect extrapolate ";
  RunResult r = Zmrcal(calibrate + "save-points before.txt report first save-points after.txt");
  ASSERT_EQ(r.status, 0) << r.err;
  r = Zmrcal(calibrate + "report second");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile("before.txt"), ReadFile("after.txt"));
  const std::string json = ReadFile("first.json");
  EXPECT_EQ(json, ReadFile("second.json"));
  EXPECT_EQ(ReadFile("first.html"), ReadFile("second.html"));
  std::istringstream keys(
      "points measured extrapolated closure pitch_px rms_px p95_px max_px leave_one_out table "
      "nodes_in_image wrapped_nodes quantisation_max_px sampling_rms_px sampling_max_px mesh "
      "triangles foldovers area_change_min area_change_max reasons");
  for (std::string key; keys >> key;) {
    EXPECT_NE(json.find("\"" + key + "\": "), std::string::npos) << key;
  }
  EXPECT_NE(json.find("\"wrapped_nodes\": 0"), std::string::npos);
  EXPECT_NE(json.find("\"foldovers\": 0"), std::string::npos);
  // A figure that is not computed is null and says why.
  const bool closureNull =
      json.find("\"closure\": {\n    \"points\": 0,\n    \"pitch_px\": null") != std::string::npos;
  EXPECT_EQ(closureNull, json.find("\"closure\": \"") != std::string::npos);
  EXPECT_NE(r.err.find("zmrcal: note: Quality: "), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("Leave-one-out RMS / max"), std::string::npos) << r.out;
  // The corrected copy's detection works out of sight: no file of it is announced.
  EXPECT_EQ(r.out.find("zmrcal-closure"), std::string::npos) << r.out;
  const std::string html = ReadFile("first.html");
  EXPECT_NE(html.find("data:image/png;base64,iVBORw0KGgo"), std::string::npos);
  EXPECT_EQ(html.find("src=\"http"), std::string::npos);
}

TEST(QualityReport, WithoutACalibrationSaysSoAndWritesNothing) {
  test::TempDir dir;
  const RunResult r = Zmrcal("report q");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the quality report needs a calibration"), std::string::npos) << r.err;
  EXPECT_FALSE(test::FileExists("q.json"));
}

}  // namespace
}  // namespace zmr
