// The logic of the Options and image-format dialogs: what they show, and how the texts the
// user leaves in them convert back into the program state. Main thread only.
#pragma once

#include <string>

#include "state/Result.h"
#include "ui/Platform.h"

namespace zmr {

struct ProgramState;

// Converts a field's text as a signed decimal integer (optional blanks around it, an optional
// sign, digits, within the int range). False leaves value unchanged.
bool ConvertSignedField(const std::string& text, int& value);
bool ConvertSignedField(const std::string& text, long& value);

// The eight option fields as the dialog shows them at start.
OptionsDialogData OptionsDialogInit(const ProgramState& s);
// OK pressed: the integer fields that convert are stored, the others keep their variables;
// "Max. slope:" is stored as its strtod conversion of up to 100 characters (no number: 0).
void OptionsDialogApply(ProgramState& s, const OptionsDialogData& data);

// Whether the values OK would store make sense (see OptionTable.h); the failure is the message
// to show, and then nothing is stored.
Result OptionsDialogCheck(const OptionsDialogData& data);

// The Options dialog field of an options-file keyword (see OptionTable.h).
int OptionsFieldOfKeyword(const std::string& keyword);  // -1 when no field has it

// The image-format dialog as it is shown for the current format list.
ImageFormatDialogData ImageFormatDialogInit(ProgramState& s);
// OK pressed: FormatIndex from the selection (kept when out of range), offsets that convert.
void ImageFormatDialogApply(ProgramState& s, const ImageFormatDialogData& data);

// Scroll requests of the thresholding dialog's scroll bar.
enum class ScrollRequest {
  LineLeft,
  LineRight,
  PageLeft,
  PageRight,
  ThumbPosition,
  ThumbTrack,
  LeftEnd,
  RightEnd,
  EndScroll,
};

// The thresholding dialog: at start it binarises the source at iThreshold into the target
// image and redraws; each handled scroll request moves iThreshold (0..255) and does the same.
// Returns false for a request that is not handled (the end of scrolling).
void ThresholdDialogInit(Platform& platform);
bool ThresholdDialogScroll(Platform& platform, ScrollRequest request, int position);
void ThresholdDialogClose(ProgramState& s);

}  // namespace zmr
