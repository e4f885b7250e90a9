// The Further Options dialog: one field for each option after the Options dialog's eight
// (TransformMode, DetectionMode, AdjustMode and any added later), made from the option table.
// Main (GUI) thread only.
#pragma once

#include <string>
#include <vector>

#include "state/Result.h"

class QWidget;

namespace zmr {

struct ProgramState;

// The fields' texts as the dialog opens: each option's current value.
std::vector<std::string> FurtherOptionTexts(const ProgramState& s);

// Checks every text against its option and, only when all pass, stores them all; a failure
// names the first bad one (the check's message) and changes nothing.
Result ApplyFurtherOptions(ProgramState& s, const std::vector<std::string>& texts);

// Shows the dialog; OK applies the fields, and a refused value is told in a message box with
// the dialog left open to correct it. True when the values were stored.
bool RunFurtherOptionsDialogQt(QWidget* parent, ProgramState& s);

}  // namespace zmr
