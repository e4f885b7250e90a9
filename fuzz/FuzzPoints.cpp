// Fuzz target: the two points-file readers (four-number calibration records and the "x y"
// pairs of the spot list). Neither may store more than the arrays hold, and a second read of
// the same bytes gives the same numbers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "detection/PointFiles.h"
#include "state/ProgramState.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const zmr::ProgramState s;
  const long capacity = s.MAXPoints;
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // Kept between runs: filling fresh arrays of this size would cost more than the reads.
  static std::vector<double> records(static_cast<std::size_t>(4 * capacity));
  static std::vector<double> again(records.size());
  static std::vector<double> px(static_cast<std::size_t>(capacity));
  static std::vector<double> py(px.size());

  const long n = zmr::ReadPointsInBuffer(s, bytes, records.data());
  if (n < 0 || n > capacity) std::abort();
  if (zmr::ReadPointsInBuffer(s, bytes, again.data()) != n) std::abort();
  if (std::memcmp(records.data(), again.data(), static_cast<std::size_t>(4 * n) * sizeof(double)) !=
      0) {
    std::abort();
  }

  const int pairs = zmr::LoadPointsInBuffer(s, bytes, px.data(), py.data());
  if (pairs < 0 || pairs > capacity) std::abort();
  // A file of complete records is also a file of complete pairs, twice as many of them.
  if (pairs < 2 * n && 2 * n <= capacity) std::abort();
  return 0;
}
