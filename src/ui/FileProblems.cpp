#include "ui/FileProblems.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "imagefiles/TextImage.h"

namespace zmr {

namespace fs = std::filesystem;

namespace {
std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  if (at + 4 > b.size()) return 0;
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
}  // namespace

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadProblem(const std::string& path) {
  const std::string name = BaseName(path);
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) return name + ": no such file";
  if (fs::is_directory(status)) return name + ": is a folder, not a file";
  if (::access(path.c_str(), R_OK) != 0) return name + ": cannot be read (permission denied)";
  if (fs::is_regular_file(status) && fs::file_size(path, error) == 0 && !error) {
    return name + ": the file is empty";
  }
  return {};
}

std::string TextImageProblem(const std::string& path, const TextCount& counted) {
  if (std::string problem = ReadProblem(path); !problem.empty()) return problem;
  const std::string name = BaseName(path);
  if (!counted.opened) return name + ": cannot be opened";
  if (counted.badToken) {
    return name + ": holds something that is not a number after " + std::to_string(counted.count) +
           " values";
  }
  if (counted.count <= 0) return name + ": holds no values";
  return name + ": " + std::to_string(counted.count) +
         " values make no width x height (a prime number of values)";
}

std::string BitmapProblem(const std::string& path, const std::string& decoderReason) {
  if (std::string problem = ReadProblem(path); !problem.empty()) return problem;
  const std::string name = BaseName(path);
  std::error_code error;
  // A FIFO or a device is not opened: it could hold the program until someone writes.
  if (!fs::is_regular_file(path, error)) return name + ": not a regular file";
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) return {};
  // Only the headers are read again, whatever the file's size.
  std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<std::uintmax_t>(size, 64)));
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()))) {
    return name + ": cannot be read";
  }
  if (head.size() < 2 || head[0] != 'B' || head[1] != 'M') {
    return name + ": not a bitmap (no BM signature)";
  }
  const std::string holds = "the file holds " + std::to_string(size) + " bytes";
  // The sides and depth as the information header states them (core and later headers).
  const std::uint32_t headerSize = U32(head, 14);
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  std::uint64_t bits = 0;
  if (headerSize == 12 && head.size() >= 26) {
    width = head[18] | (head[19] << 8);
    height = head[20] | (head[21] << 8);
    bits = head[24] | (head[25] << 8);
  } else if (headerSize >= 40 && head.size() >= 30) {
    const auto w = static_cast<std::int32_t>(U32(head, 18));
    const auto h = static_cast<std::int32_t>(U32(head, 22));
    width = w > 0 ? static_cast<std::uint64_t>(w) : 0;
    height = h == INT32_MIN ? 0 : static_cast<std::uint64_t>(h < 0 ? -h : h);
    bits = head[28] | (head[29] << 8);
  }
  if (width > 0 && height > 0 && bits > 0 && bits <= 32 && width < (1u << 30) &&
      height < (1u << 30)) {
    const std::uint64_t rowBytes = (width * bits + 31) / 32 * 4;
    if (U32(head, 10) + rowBytes * height > size) {
      return name + ": header says " + std::to_string(width) + " \u00d7 " + std::to_string(height) +
             " but " + holds;
    }
  }
  if (const std::uint32_t stated = U32(head, 2); stated != size) {
    return name + ": header says " + std::to_string(stated) + " bytes but " + holds;
  }
  return decoderReason.empty() ? std::string() : name + ": " + decoderReason;
}

std::string WriteProblem(const std::string& path) {
  const std::string name = BaseName(path);
  std::error_code error;
  const fs::path file(path);
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, error)) return "the folder " + folder.string() + " does not exist";
  if (fs::is_directory(file, error)) return name + ": is a folder, not a file";
  if (fs::exists(file, error)) {
    if (::access(path.c_str(), W_OK) != 0) return name + ": the file is read-only";
  } else if (::access(folder.c_str(), W_OK) != 0) {
    return "the folder " + folder.string() + " is not writable";
  }
  return {};
}

}  // namespace zmr
