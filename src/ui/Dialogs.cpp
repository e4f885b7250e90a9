#include "ui/Dialogs.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "detection/Preprocess.h"
#include "state/CNumericLocale.h"
#include "state/OptionTable.h"
#include "state/ProgramState.h"
#include "ui/Display.h"

namespace zmr {

namespace {
bool ParseSigned(const std::string& text, long long lo, long long hi, long long& out) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const std::size_t digitsStart = i;
  long long v = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') {
    v = v * 10 + (text[i] - '0');
    if (v > hi + 1) return false;  // far out of range; stop before overflow
    ++i;
  }
  if (i == digitsStart) return false;
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i != n) return false;
  if (negative) v = -v;
  if (v < lo || v > hi) return false;
  out = v;
  return true;
}

std::string Format(const char* fmt, long long a) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, a);
  return buf;
}

std::string FormatPair(int a, int b) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%i x %i", a, b);
  return buf;
}
}  // namespace

bool ConvertSignedField(const std::string& text, int& value) {
  long long v = 0;
  if (!ParseSigned(text, INT_MIN, INT_MAX, v)) return false;
  value = static_cast<int>(v);
  return true;
}

bool ConvertSignedField(const std::string& text, long& value) {
  // Dialog fields hold 32-bit values, whatever the width of long.
  int v = 0;
  if (!ConvertSignedField(text, v)) return false;
  value = v;
  return true;
}

OptionsDialogData OptionsDialogInit(const ProgramState& s) {
  OptionsDialogData d;
  const auto options = Options();
  for (int i = 0; i < kDialogOptionCount; ++i) {
    const OptionSpec& option = options[static_cast<std::size_t>(i)];
    std::string& field = d.fields[static_cast<std::size_t>(i)];
    switch (option.kind) {
      case OptionKind::kInteger:
        field = Format("%lld",
                       s.*(option.dialogShows != nullptr ? option.dialogShows : option.intValue));
        break;
      case OptionKind::kLong:
        field = Format("%lld", s.*option.longValue);
        break;
      case OptionKind::kDouble: {
        char buf[64];
        CNumericLocale cLocale;
        std::snprintf(buf, sizeof buf, "%g", s.*option.doubleValue);
        field = buf;
        break;
      }
    }
  }
  return d;
}

void OptionsDialogApply(ProgramState& s, const OptionsDialogData& d) {
  const auto options = Options();
  for (int i = 0; i < kDialogOptionCount; ++i) {
    const OptionSpec& option = options[static_cast<std::size_t>(i)];
    const std::string& field = d.fields[static_cast<std::size_t>(i)];
    switch (option.kind) {
      case OptionKind::kInteger:
        ConvertSignedField(field, s.*option.intValue);
        break;
      case OptionKind::kLong:
        ConvertSignedField(field, s.*option.longValue);
        break;
      case OptionKind::kDouble: {
        // The field holds at most 100 characters; strtod gives 0 when there is no number.
        const std::string text = field.substr(0, 100);
        CNumericLocale cLocale;
        s.*option.doubleValue = std::strtod(text.c_str(), nullptr);
        break;
      }
    }
  }
}

Result OptionsDialogCheck(const OptionsDialogData& d) {
  const auto options = Options();
  for (int i = 0; i < kDialogOptionCount; ++i) {
    const OptionSpec& option = options[static_cast<std::size_t>(i)];
    if (option.problem == nullptr) continue;
    const std::string& field = d.fields[static_cast<std::size_t>(i)];
    double value = 0;
    if (option.kind == OptionKind::kDouble) {
      CNumericLocale cLocale;
      value = std::strtod(field.substr(0, 100).c_str(), nullptr);
    } else if (int v = 0; ConvertSignedField(field, v)) {
      value = v;
    } else {
      continue;  // a field that does not convert keeps its variable
    }
    if (const char* problem = option.problem(value)) {
      return Result::Fail(std::string("Error - ") + problem);
    }
  }
  return Result::Ok();
}

int OptionsFieldOfKeyword(const std::string& keyword) {
  const int option = FindOption(keyword);
  return option < kDialogOptionCount ? option : -1;
}

ImageFormatDialogData ImageFormatDialogInit(ProgramState& s) {
  ImageFormatDialogData d;
  s.FormatBuffer.clear();
  for (int i = 0; i < s.NFormats; ++i) {
    s.FormatBuffer.push_back(FormatPair(s.ImageFormat[2 * i], s.ImageFormat[2 * i + 1]));
  }
  d.formats = s.FormatBuffer;
  d.selection = s.FormatIndex;
  d.xOffset = Format("%lld", s.imxoff);
  d.yOffset = Format("%lld", s.imyoff);
  d.defaultFormat = FormatPair(s.cxDib, s.cyDib);
  d.defaultPixels = Format("%lld pixels", static_cast<long long>(s.cxDib) * s.cyDib);
  long long loaded = 0;
  if (s.FormatIndex >= 0 && s.FormatIndex < s.NFormats) {
    loaded = static_cast<long long>(s.ImageFormat[2 * s.FormatIndex]) *
             s.ImageFormat[2 * s.FormatIndex + 1];
  }
  d.loadedPixels = Format("%lld pixels", loaded);
  return d;
}

namespace {
void ApplyThresholdAndShow(Platform& platform) {
  ProgramState& s = platform.Program();
  s.TargetCounts = {};  // the target shows the thresholded source now
  ApplyThresholdView(s);
  TargetArrayInt2Bitmap(s, s.fBitmap[1]);
  platform.Redraw();
}
}  // namespace

void ThresholdDialogInit(Platform& platform) { ApplyThresholdAndShow(platform); }

bool ThresholdDialogScroll(Platform& platform, ScrollRequest request, int position) {
  int& t = platform.Program().iThreshold;
  switch (request) {
    case ScrollRequest::LineLeft:
      t = std::max(t - 1, 0);
      break;
    case ScrollRequest::LineRight:
      t = std::min(t + 1, 255);
      break;
    case ScrollRequest::PageLeft:
      t = std::max(t - 16, 0);
      break;
    case ScrollRequest::PageRight:
      t = std::min(t + 16, 255);
      break;
    case ScrollRequest::ThumbPosition:
    case ScrollRequest::ThumbTrack:
      t = std::clamp(position, 0, 255);
      break;
    case ScrollRequest::LeftEnd:
      t = 0;
      break;
    case ScrollRequest::RightEnd:
      t = 255;
      break;
    case ScrollRequest::EndScroll:
      return false;
  }
  ApplyThresholdAndShow(platform);
  return true;
}

void ThresholdDialogClose(ProgramState& s) { s.hDlgModeless = nullptr; }

void ImageFormatDialogApply(ProgramState& s, const ImageFormatDialogData& d) {
  if (d.selection >= 0 && d.selection < s.NFormats) s.FormatIndex = d.selection;
  ConvertSignedField(d.xOffset, s.imxoff);
  ConvertSignedField(d.yOffset, s.imyoff);
}

}  // namespace zmr
