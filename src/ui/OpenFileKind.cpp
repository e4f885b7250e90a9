#include "ui/OpenFileKind.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "state/CNumericLocale.h"
#include "ui/resource.h"

namespace zmr {

namespace {
std::string LowerEnding(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ending = path.substr(dot);
  std::transform(ending.begin(), ending.end(), ending.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ending;
}

// A points file's line: four numbers, at least one written with a decimal point.
bool IsPointsLine(const std::string& line) {
  CNumericLocale cLocale;  // the window runs in the user's locale; points files are in C's
  std::istringstream in(line);
  std::string token;
  int numbers = 0;
  bool decimals = false;
  while (in >> token) {
    char* end = nullptr;
    std::strtod(token.c_str(), &end);
    if (end == token.c_str() || *end != '\0') return false;
    decimals = decimals || token.find('.') != std::string::npos;
    ++numbers;
  }
  return numbers == 4 && decimals;
}
}  // namespace

int OpenCommandForFile(const std::string& path) {
  const std::string ending = LowerEnding(path);
  if (ending == ".bmp") return IDM_OPEN_BITMAP;
  for (const char* image :
       {".tif", ".tiff", ".png", ".jpg", ".jpeg", ".pgm", ".ppm", ".pnm", ".edf"}) {
    if (ending == image) return IDM_OPEN_IMAGE;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  std::vector<char> head(64 * 1024);
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  const std::string text(head.begin(), head.end());
  const std::size_t firstLine = text.find_first_not_of(" \t\r\n");
  if (firstLine != std::string::npos) {
    const std::size_t end = text.find_first_of("\r\n", firstLine);
    if (IsPointsLine(text.substr(firstLine, end - firstLine))) return IDM_POINTS_OPEN;
  }
  const bool hex = std::any_of(text.begin(), text.end(), [](char c) {
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f';
  });
  return hex ? IDM_OPEN_OSTREL : IDM_OPEN_ASCII;
}

}  // namespace zmr
