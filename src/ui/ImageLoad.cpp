#include "ui/ImageLoad.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "imagefiles/Bitmap.h"
#include "imagefiles/CountImage.h"
#include "imagefiles/ImageFormats.h"
#include "imagefiles/TextImage.h"
#include "state/ProgramState.h"
#include "ui/Dialogs.h"
#include "ui/Display.h"
#include "ui/FileProblems.h"

namespace zmr {

namespace {
// The working size, ORBIK offsets and format list that an image load changes before it
// allocates; kept so that a refused allocation leaves them as they were.
auto Geometry(ProgramState& s) {
  return std::tie(s.cxDib, s.cyDib, s.xoffset, s.yoffset, s.imxoff, s.imyoff, s.ImageArea,
                  s.NFormats, s.FormatIndex, s.ImageFormat);
}
// A copy of the values the members hold.
template <typename... T>
std::tuple<T...> Values(const std::tuple<T&...>& members) {
  return members;
}
using GeometrySnapshot = decltype(Values(Geometry(std::declval<ProgramState&>())));

// Allocates the image arrays for the working size, with a message when that cannot be done.
bool AllocateForLoad(Platform& platform, const GeometrySnapshot& before) {
  ProgramState& s = platform.Program();
  if (!ImageSizeAllowed(s.cxDib, s.cyDib)) {
    Geometry(s) = before;
    platform.Message(kErrorImageTooLarge, kMessageCaption);
    return false;
  }
  if (AllocateImageArrays(s, s.cxDib, s.cyDib) == 0) {
    Geometry(s) = before;
    platform.Message(kErrorNoMemory, kMessageCaption);
    return false;
  }
  return true;
}

// Makes an image file's size the working size: image arrays of that size and its ORBIK offsets.
// False, with the message shown and everything as it was, when that cannot be done.
bool TakeImageSize(Platform& platform, int width, int height) {
  ProgramState& s = platform.Program();
  const GeometrySnapshot before = Geometry(s);
  s.cxDib = width;
  s.cyDib = height;
  if (!AllocateForLoad(platform, before)) return false;
  InitImageOffsetTable(s.ORBIKE, s.cxDib, s.xoffset);
  InitImageOffsetTable(s.ORBIKE, s.cyDib, s.yoffset);
  return true;
}

// A text image whose value count is not the working size is placed into it as a format and
// offsets say (the format dialog's choice); the note tells both sizes, and what was cut off.
void NotePlacement(ProgramState& s, const std::string& fileName, long long count, int w, int h) {
  const std::size_t slash = fileName.find_last_of('/');
  std::string note = (slash == std::string::npos ? fileName : fileName.substr(slash + 1)) +
                     ": its " + std::to_string(count) + " values were placed as " +
                     std::to_string(w) + " x " + std::to_string(h) + " at offset (" +
                     std::to_string(s.imxoff) + ", " + std::to_string(s.imyoff) +
                     ") into the working size " + std::to_string(s.cxDib) + " x " +
                     std::to_string(s.cyDib);
  if (s.imxoff < 0 || s.imyoff < 0 || static_cast<long long>(s.imxoff) + w > s.cxDib ||
      static_cast<long long>(s.imyoff) + h > s.cyDib) {
    note += "; the part outside was cut off (set ImageWidth and ImageHeight to keep it)";
  }
  AddNote(s, note);
}

}  // namespace

bool LoadTextImage(Platform& platform, const std::string& fileName, const char* mode) {
  // The count reads hexadecimal values; an Ostrel image (read in the same mode) keeps up to a
  // working image of them, so that the file is parsed once. Otherwise the file is read again.
  ProgramState& state = platform.Program();
  const bool sameMode = std::strcmp(mode, "%x") == 0;
  std::vector<int> values;
  const long long keepAtMost =
      static_cast<long long>(std::max(state.IMAGE_X, 0)) * std::max(state.IMAGE_Y, 0);
  const TextCount counted =
      sameMode ? CountOstrelArrayKeeping(fileName.c_str(), "%x", keepAtMost, values)
               : CountOstrelArrayChecked(fileName.c_str(), "%x");
  const bool kept = sameMode && static_cast<long long>(values.size()) == counted.count;
  if (!counted.opened || counted.badToken || counted.count <= 0) {
    platform.MessageWithReason(kErrorInImageFile, kMessageCaption,
                               TextImageProblem(fileName, counted));
    return false;
  }
  ProgramState& s = state;
  // More values than any image holds, or a working size beyond the cap: refused before the
  // format list, the offsets or the dialog are touched.
  if (s.IMAGE_X < 1 || s.IMAGE_Y < 1) {
    platform.Message(kErrorImageSizeNotPositive, kMessageCaption);
    return false;
  }
  if (counted.tooMany || !ImageSizeAllowed(s.IMAGE_X, s.IMAGE_Y)) {
    platform.Message(kErrorImageTooLarge, kMessageCaption);
    return false;
  }
  const bool matchesDefault =
      static_cast<long long>(counted.count) == static_cast<long long>(s.IMAGE_X) * s.IMAGE_Y;
  int formats[2 * kMaxImageFormats] = {};
  const int nFormats = matchesDefault ? 1 : GetImageFormats(counted.count, formats);
  if (nFormats <= 0) {
    // A count with no width x height (a prime number of values) gives no image.
    platform.MessageWithReason(kErrorInImageFile, kMessageCaption,
                               TextImageProblem(fileName, counted));
    return false;
  }

  const GeometrySnapshot before = Geometry(s);
  s.ImageArea = counted.count;
  s.cxDib = s.IMAGE_X;
  s.cyDib = s.IMAGE_Y;
  InitImageOffsetTable(s.ORBIKE, s.cxDib, s.xoffset);
  InitImageOffsetTable(s.ORBIKE, s.cyDib, s.yoffset);
  if (matchesDefault) {
    s.NFormats = 1;
    s.FormatIndex = 0;
    s.ImageFormat[0] = s.cxDib;
    s.ImageFormat[1] = s.cyDib;
    s.imxoff = (s.cxDib - s.ImageFormat[0]) / 2;
    s.imyoff = (s.cyDib - s.ImageFormat[1]) / 2;
  } else {
    s.NFormats = nFormats;
    for (int i = 0; i < 2 * nFormats; ++i) s.ImageFormat[static_cast<std::size_t>(i)] = formats[i];
    s.FormatIndex = FindOptimumFormat(s.NFormats, s.ImageFormat.data());
    const int w = s.ImageFormat[2 * s.FormatIndex];
    const int h = s.ImageFormat[2 * s.FormatIndex + 1];
    if (w == 724 && (s.cxDib == 768 || s.cyDib == 769)) {
      s.imxoff = 32;
      s.imyoff = 32;
    } else if (w == 768 && s.cxDib == 769) {
      s.imxoff = 0;
      s.imyoff = 0;
    } else {
      s.imxoff = (s.cxDib - w) / 2;
      s.imyoff = (s.cyDib - h) / 2;
      ImageFormatDialogData dialog = ImageFormatDialogInit(s);
      if (platform.RunImageFormatDialog(dialog)) ImageFormatDialogApply(s, dialog);
    }
  }

  if (!AllocateForLoad(platform, before)) return false;
  platform.SetWaitCursor(true);
  const int w = s.ImageFormat[2 * s.FormatIndex];
  const int h = s.ImageFormat[2 * s.FormatIndex + 1];
  if (kept) {
    PlaceTextValues(values, s.cxDib, s.cyDib, w, h, s.imxoff, s.imyoff, s.Msource.data());
    std::vector<int>().swap(values);
  } else {
    ReadOstrelArray(fileName.c_str(), s.cxDib, s.cyDib, w, h, s.imxoff, s.imyoff, s.Msource.data(),
                    mode);
  }
  if (!matchesDefault) NotePlacement(s, fileName, counted.count, w, h);
  ClearBitmaps(s);
  SourceArrayInt2Bitmap(s, s.fBitmap[0]);
  platform.SetWaitCursor(false);
  platform.Redraw();
  return true;
}

bool LoadBitmapImage(Platform& platform, const std::string& fileName) {
  platform.SetWaitCursor(true);
  BitmapLoadFailure failure = BitmapLoadFailure::kNone;
  std::vector<std::uint8_t> file = DibLoadImage(fileName.c_str(), &failure);
  DecodedBitmap decoded;
  std::string why;
  const bool valid = !file.empty() && DecodeBitmap(file, decoded, &why);
  platform.SetWaitCursor(false);
  if (!valid) {
    if (why == kBitmapOutOfMemory) failure = BitmapLoadFailure::kOutOfMemory;
    const char* message = failure == BitmapLoadFailure::kTooLarge      ? kErrorImageTooLarge
                          : failure == BitmapLoadFailure::kOutOfMemory ? kErrorNoMemory
                                                                       : kErrorInImageFile;
    const std::string reason = message == kErrorInImageFile ? BitmapProblem(fileName, why) : "";
    platform.MessageWithReason(message, kMessageCaption, reason);
    return false;
  }

  if (!TakeImageSize(platform, decoded.width, decoded.height)) return false;
  ProgramState& s = platform.Program();
  s.pbmfh.swap(file);

  // The source display shows the file in its own colours; Msource holds their grey levels.
  ClearBitmaps(s);
  DisplayBitmap& slot0 = s.hBitmap[0];
  slot0.width = decoded.width;
  slot0.height = decoded.height;
  if (s.keepDisplayBitmaps) slot0.pixels = decoded.pixels;
  s.fBitmap[0] = 1;
  s.IMAGE_X = s.cxDib;
  s.IMAGE_Y = s.cyDib;
  for (int x = 0; x < s.cxDib; ++x) {
    for (int y = 0; y < s.cyDib; ++y) {
      const std::size_t i = static_cast<std::size_t>(y) * s.cxDib + x;
      s.Msource[i] = GreyOf(decoded.pixels[i]);
    }
  }
  platform.Redraw();
  return true;
}

bool LoadCountImage(Platform& platform, const std::string& fileName) {
  platform.SetWaitCursor(true);
  ResultOf<CountImage> read = ReadImageFile(fileName);
  platform.SetWaitCursor(false);
  if (!read) {
    platform.Message("Error - cannot open image " + fileName + ": " + read.message(),
                     kMessageCaption);
    return false;
  }
  CountImage& image = read.value();
  if (!TakeImageSize(platform, image.width, image.height)) return false;
  ProgramState& s = platform.Program();
  s.IMAGE_X = s.cxDib;
  s.IMAGE_Y = s.cyDib;

  // The grey levels as a text image's: scaled by the largest value when one is positive.
  CountsToGrey(image.values, s.Msource);
  s.SourceCounts.swap(image.values);
  ClearBitmaps(s);
  SourceArrayInt2Bitmap(s, s.fBitmap[0]);
  for (const std::string& note : image.notes) AddNote(s, fileName + ": " + note);
  platform.Redraw();
  return true;
}

}  // namespace zmr
