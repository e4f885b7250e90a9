#include "state/OptionTable.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "state/CNumericLocale.h"
#include "state/ParameterScan.h"
#include "state/ProgramState.h"

namespace zmr {

namespace {
using Problem = const char* (*)(double);
constexpr OptionSpec Int(const char* keyword, const char* label, int ProgramState::*value,
                         int ProgramState::*shows = nullptr, Problem problem = nullptr) {
  return {keyword, label, OptionKind::kInteger, value, nullptr, nullptr, shows, problem};
}
constexpr OptionSpec Long(const char* keyword, const char* label, long ProgramState::*value,
                          Problem problem = nullptr) {
  return {keyword, label, OptionKind::kLong, nullptr, value, nullptr, nullptr, problem};
}
constexpr OptionSpec Double(const char* keyword, const char* label, double ProgramState::*value,
                            Problem problem = nullptr) {
  return {keyword, label, OptionKind::kDouble, nullptr, nullptr, value, nullptr, problem};
}

// A negative size makes every background pixel a spot.
const char* NegativePatchSize(double v) {
  return v < 0 ? "the minimum patch size must not be negative" : nullptr;
}
// The walk accepts a spot closer than Edge times the slope: nothing for 0 or less, everything
// for infinity, and nothing it can compare for NaN.
const char* SlopeNotPositive(double v) {
  return v > 0 && std::isfinite(v) ? nullptr : "the maximum slope must be a positive number";
}

const char* NotTransformMode(double v) {
  return v == 0 || v == 1 || v == 2 ? nullptr : "the transform mode must be 0, 1 or 2";
}
const char* NotDetectionMode(double v) {
  return v == 0 || v == 1 ? nullptr : "the detection mode must be 0 or 1";
}
const char* NotAdjustMode(double v) {
  return v == 0 || v == 1 ? nullptr : "the adjust mode must be 0 or 1";
}

// The dialog shows the working size in the image width and height fields, and OK stores them
// into the size of the next image.
constexpr std::array kOptions = {
    Int("ImageWidth", "Image width:", &ProgramState::IMAGE_X, &ProgramState::cxDib),
    Int("ImageHeight", "Image height:", &ProgramState::IMAGE_Y, &ProgramState::cyDib),
    Long("FilterSize", "Filter size:", &ProgramState::FilterSize),
    Long("MinPatchSize", "Min. patch size:", &ProgramState::MinPatchSize, NegativePatchSize),
    Long("Edge", "Edge :", &ProgramState::EdgeGrid),
    Double("MaxSlope", "Max. slope:", &ProgramState::Ethresh, SlopeNotPositive),
    Int("ORBIKxoffset", "ORBIK xoffset:", &ProgramState::xoffset),
    Int("ORBIKyoffset", "ORBIK yoffset:", &ProgramState::yoffset),
    Int("TransformMode", "Transform mode (0 grey levels, 1 flat field, 2 conserving):",
        &ProgramState::TransformMode, nullptr, NotTransformMode),
    Int("DetectionMode", "Detection mode (0 threshold and walk, 1 robust):",
        &ProgramState::DetectionMode, nullptr, NotDetectionMode),
    Int("AdjustMode", "Adjust mode (0 per point, 1 lattice moved whole):",
        &ProgramState::AdjustMode, nullptr, NotAdjustMode),
};
static_assert(kOptions.size() >= kDialogOptionCount);
Result Sensible(const OptionSpec& option, const std::string& text, double value) {
  const char* problem = option.problem != nullptr ? option.problem(value) : nullptr;
  if (problem == nullptr) return Result::Ok();
  return Result::Fail(std::string("set ") + option.keyword + " " + text + ": " + problem);
}
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

Result CheckOptionText(const OptionSpec& option, const std::string& text) {
  const Result refused =
      Result::Fail(std::string("set ") + option.keyword + ": '" + text + "' does not convert");
  CNumericLocale cLocale;
  char* end = nullptr;
  if (option.kind == OptionKind::kDouble) {
    if (text.empty() || text.size() > 100) return refused;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) return refused;
    return Sensible(option, text, v);
  }
  // Blanks around the number, an optional sign and decimal digits, as the dialog's fields.
  std::size_t first = text.find_first_not_of(" \t");
  std::size_t last = text.find_last_not_of(" \t");
  if (first == std::string::npos) return refused;
  const std::string number = text.substr(first, last - first + 1);
  std::size_t digits = number[0] == '+' || number[0] == '-' ? 1 : 0;
  if (digits == number.size() ||
      number.find_first_not_of("0123456789", digits) != std::string::npos) {
    return refused;
  }
  errno = 0;
  const long long v = std::strtoll(number.c_str(), &end, 10);
  if (errno != 0 || v < INT_MIN || v > INT_MAX) return refused;
  return Sensible(option, text, static_cast<double>(v));
}

Result CheckOptionValue(const OptionSpec& option, double value) {
  const char* problem = option.problem != nullptr ? option.problem(value) : nullptr;
  if (problem == nullptr) return Result::Ok();
  return Result::Fail(std::string(option.keyword) + ": " + problem);
}

void SetOptionText(ProgramState& s, const OptionSpec& option, const std::string& text) {
  CNumericLocale cLocale;
  switch (option.kind) {
    case OptionKind::kInteger:
      s.*option.intValue = static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
      break;
    case OptionKind::kLong:
      s.*option.longValue = std::strtol(text.c_str(), nullptr, 10);
      break;
    case OptionKind::kDouble:
      s.*option.doubleValue = std::strtod(text.c_str(), nullptr);
      break;
  }
}

double OptionValue(const ProgramState& s, const OptionSpec& option) {
  switch (option.kind) {
    case OptionKind::kInteger:
      return s.*option.intValue;
    case OptionKind::kLong:
      return static_cast<double>(s.*option.longValue);
    case OptionKind::kDouble:
      return s.*option.doubleValue;
  }
  return 0;
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
