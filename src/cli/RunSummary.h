// The summary zmrcal prints at the end of a successful run on a terminal: the calibration
// points and triangles, the rotation and scale when the run adjusted them, and the files the
// run wrote. Main thread only, once the steps have ended.
#pragma once

#include <string>
#include <vector>

namespace zmr {

struct ProgramState;

// The summary's lines, each ending in a newline. The points line appears once there are
// calibration points, the adjustment line once an Adjustment has completed on s.
std::string RunSummary(const ProgramState& s, const std::vector<std::string>& written);

}  // namespace zmr
