#include "state/OptionTable.h"

#include <array>

#include "state/ParameterScan.h"
#include "state/ProgramState.h"

namespace zmr {

namespace {
constexpr OptionSpec Int(const char* keyword, const char* label, int ProgramState::*value,
                         int ProgramState::*shows = nullptr) {
  return {keyword, label, OptionKind::kInteger, value, nullptr, nullptr, shows};
}
constexpr OptionSpec Long(const char* keyword, const char* label, long ProgramState::*value) {
  return {keyword, label, OptionKind::kLong, nullptr, value, nullptr, nullptr};
}
constexpr OptionSpec Double(const char* keyword, const char* label, double ProgramState::*value) {
  return {keyword, label, OptionKind::kDouble, nullptr, nullptr, value, nullptr};
}

// The dialog shows the working size in the image width and height fields, and OK stores them
// into the size of the next image.
constexpr std::array kOptions = {
    Int("ImageWidth", "Image width:", &ProgramState::IMAGE_X, &ProgramState::cxDib),
    Int("ImageHeight", "Image height:", &ProgramState::IMAGE_Y, &ProgramState::cyDib),
    Long("FilterSize", "Filter size:", &ProgramState::FilterSize),
    Long("MinPatchSize", "Min. patch size:", &ProgramState::MinPatchSize),
    Long("Edge", "Edge :", &ProgramState::EdgeGrid),
    Double("MaxSlope", "Max. slope:", &ProgramState::Ethresh),
    Int("ORBIKxoffset", "ORBIK xoffset:", &ProgramState::xoffset),
    Int("ORBIKyoffset", "ORBIK yoffset:", &ProgramState::yoffset),
};
static_assert(kOptions.size() >= kDialogOptionCount);
}  // namespace

std::span<const OptionSpec> Options() { return kOptions; }

int FindOption(const std::string& keyword) {
  for (std::size_t k = 0; k < kOptions.size(); ++k) {
    if (keyword == kOptions[k].keyword) return static_cast<int>(k);
  }
  return -1;
}

std::string OptionKeywordList() {
  std::string list;
  for (const OptionSpec& option : kOptions) {
    if (!list.empty()) list += ", ";
    list += option.keyword;
  }
  return list;
}

bool RegisterOptions(ProgramState& s) {
  for (const OptionSpec& option : kOptions) {
    int index = -1;
    switch (option.kind) {
      case OptionKind::kInteger:
        index = AddParameterInteger(s, option.keyword, &(s.*option.intValue));
        break;
      case OptionKind::kLong:
        index = AddParameterLong(s, option.keyword, &(s.*option.longValue));
        break;
      case OptionKind::kDouble:
        index = AddParameterDouble(s, option.keyword, &(s.*option.doubleValue));
        break;
    }
    if (index < 0) return false;
  }
  return true;
}

}  // namespace zmr
