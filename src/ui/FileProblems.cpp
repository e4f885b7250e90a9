#include "ui/FileProblems.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "imagefiles/Bitmap.h"
#include "imagefiles/TextImage.h"

namespace zmr {

namespace fs = std::filesystem;

namespace {
// Bitmaps larger than this are not read again to find what is wrong with them.
constexpr std::uintmax_t kLargestBitmapExamined = 512u << 20;

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

std::string BitmapProblem(const std::string& path) {
  if (std::string problem = ReadProblem(path); !problem.empty()) return problem;
  const std::string name = BaseName(path);
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error || size > kLargestBitmapExamined) return {};
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
    return name + ": cannot be read";
  }
  if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') {
    return name + ": not a bitmap (no BM signature)";
  }
  // The sides as the information header states them (core and later headers).
  const std::uint32_t headerSize = U32(bytes, 14);
  long width = 0;
  long height = 0;
  if (headerSize == 12 && bytes.size() >= 22) {
    width = bytes[18] | (bytes[19] << 8);
    height = bytes[20] | (bytes[21] << 8);
  } else if (bytes.size() >= 26) {
    width = static_cast<std::int32_t>(U32(bytes, 18));
    height = static_cast<std::int32_t>(U32(bytes, 22));
    if (height < 0) height = -height;
  }
  const std::string holds = "the file holds " + std::to_string(size) + " bytes";
  const std::uint32_t stated = U32(bytes, 2);
  DecodedBitmap decoded;
  std::string why;
  const bool decodes = DecodeBitmap(bytes, decoded, &why);
  if (width > 0 && height > 0 &&
      (!decodes && (why == "pixel data truncated" || why == "file too short for the headers"))) {
    return name + ": header says " + std::to_string(width) + " \u00d7 " + std::to_string(height) +
           " but " + holds;
  }
  if (!decodes) return name + ": " + why;
  if (stated != size) {
    return name + ": header says " + std::to_string(stated) + " bytes but " + holds;
  }
  return {};
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
