#include "cli/RunSummary.h"

#include <cmath>
#include <cstdio>

#include "state/ProgramState.h"

namespace zmr {

std::string RunSummary(const ProgramState& s, const std::vector<std::string>& written) {
  std::string text;
  char line[256];
  if (s.NumberOfPoints > 0) {
    std::snprintf(line, sizeof line, "Calibration points: %ld, triangles: %ld\n", s.NumberOfPoints,
                  s.NumberOfTriangles);
    text += line;
  }
  if (s.adjusted) {
    if (s.adjustedScale != 0.0) {
      const double degrees = s.adjustedRotation * 180.0 / std::acos(-1.0);
      std::snprintf(line, sizeof line,
                    "Adjustment: rotation %.3f\u00b0, scale %.4f about (%.0f, %.0f)\n", degrees,
                    s.adjustedScale, s.adjustedCenter[0], s.adjustedCenter[1]);
    } else {
      std::snprintf(line, sizeof line,
                    "Adjustment: rotation and scale not estimated, the points left unchanged\n");
    }
    text += line;
  }
  text += "Files written:";
  if (written.empty()) text += " none";
  for (std::size_t i = 0; i < written.size(); ++i) {
    text += i == 0 ? " " : ", ";
    text += written[i];
  }
  text += '\n';
  return text;
}

}  // namespace zmr
