// Checks of the calibration points a file held, before they replace the current ones: every
// value a pixel coordinate, at least one point, and no two points at the same measured position.
//
// Threads: works on its arguments only; any thread.
#pragma once

#include <string>
#include <vector>

#include "state/Result.h"

namespace zmr {

// Largest magnitude a coordinate of a calibration point may have, in pixels.
inline constexpr double kMaxPointCoordinate = 1e6;

inline constexpr const char* kErrorNoPointsInFile = "Error - no calibration points in the file";

// records holds count rows of (x, y, X, Y) as read from the file named fileName. Fails, naming
// the file and the record (counted from 1), when a value is not finite or beyond
// kMaxPointCoordinate, or when count is 0; records is then unchanged. Otherwise values smaller
// than the smallest normal float (read from denormal text such as 1e-42) become 0, and rows
// whose measured position repeats an earlier row's are removed (the first one stays), with a
// note in notes; count becomes the number of rows kept.
Result CheckPointRecords(std::vector<double>& records, long& count, const std::string& fileName,
                         std::vector<std::string>& notes);

}  // namespace zmr
