#include "ui/ImageFileCommands.h"

#include <span>

#include <string>
#include <vector>

#include "geometry/CountTransform.h"
#include "imagefiles/ImageFormats.h"
#include "state/ProgramState.h"
#include "state/SafeWrite.h"
#include "ui/Commands.h"
#include "ui/ImageLoad.h"

namespace zmr {

namespace {

void SaveImage(Platform& platform, std::span<const int> grey, const std::vector<double>& counts,
               const char* absentText) {
  ProgramState& s = platform.Program();
  if (grey.empty()) {
    platform.Message(absentText, kMessageCaption);
    return;
  }
  if (!platform.AskFileName(FileDialog::Image, s.szImageFile, s.szImageTitle)) return;
  const std::string& name = s.szImageFile;
  ResultOf<std::vector<std::uint8_t>> bytes =
      EncodeImageForName(name, s.cxDib, s.cyDib, grey, counts);
  std::string why;
  if (!bytes) {
    why = bytes.message();
  } else if (!WriteWholeFileBytes(name.c_str(), bytes.value(), &why)) {
    if (why.empty()) why = "the file cannot be written";
  } else {
    return;
  }
  platform.Message("Error - cannot save image " + name + ": " + why, kMessageCaption);
}

}  // namespace

void CmdOpenImage(Platform& platform) {
  ProgramState& s = platform.Program();
  if (!platform.AskFileName(FileDialog::Image, s.szImageFile, s.szImageTitle)) return;
  LoadCountImage(platform, s.szImageFile);
}

void CmdSaveImage(Platform& platform) {
  ProgramState& s = platform.Program();
  SaveImage(platform, s.Msource, s.SourceCounts, kErrorNoSourceData);
}

void CmdSaveTargetImage(Platform& platform) {
  const ProgramState& s = platform.Program();
  SaveImage(platform, s.Mtarget, TargetHoldsCounts(s) ? s.TargetCounts : std::vector<double>{},
            kErrorNoTargetData);
}

}  // namespace zmr
