#include "detection/PointChecks.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <set>
#include <utility>

#include "state/CNumericLocale.h"

namespace zmr {

namespace {
std::string Shown(double v) {
  CNumericLocale cLocale;
  char text[64];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

Result CheckPointRecords(std::vector<double>& records, long& count, const std::string& fileName,
                         std::vector<std::string>& notes) {
  if (count <= 0) return Result::Fail(kErrorNoPointsInFile);
  for (long k = 0; k < count; ++k) {
    for (int c = 0; c < 4; ++c) {
      const double v = records[static_cast<std::size_t>(4 * k + c)];
      if (!std::isfinite(v) || std::fabs(v) > kMaxPointCoordinate) {
        return Result::Fail("Error - record " + std::to_string(k + 1) + " of " +
                            BaseName(fileName) + " holds " + Shown(v) +
                            ", which is not a pixel coordinate");
      }
    }
  }
  long kept = 0;
  std::set<std::pair<double, double>> seen;
  for (long k = 0; k < count; ++k) {
    double* row = &records[static_cast<std::size_t>(4 * k)];
    for (int c = 0; c < 4; ++c) {
      if (std::fabs(row[c]) < FLT_MIN) row[c] = 0.0;
    }
    if (!seen.insert({row[0], row[1]}).second) continue;
    if (kept != k) std::copy(row, row + 4, &records[static_cast<std::size_t>(4 * kept)]);
    ++kept;
  }
  if (kept < count) {
    notes.push_back(BaseName(fileName) + ": " + std::to_string(count - kept) +
                    " points at the measured position of an earlier one were left out");
  }
  count = kept;
  return Result::Ok();
}

}  // namespace zmr
