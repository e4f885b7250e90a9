// Start-up and end of the program, shared by the window and zmrcal: the options, the working
// size, the point arrays and the initial display state. Main thread only.
#pragma once

#include "ui/Platform.h"

namespace zmr {

struct ProgramState;

inline constexpr const char* kOptionsFileName = "ProgramOptions.TXT";
inline constexpr const char* kOptionsLogName = "SCAN.LOG";

// Registers the options and reads "ProgramOptions.TXT" (writing "SCAN.LOG") in the current
// folder, takes the working size from IMAGE_X x IMAGE_Y, sets up the display state and
// allocates the point arrays ("Not enough memmory!" when that fails; the program goes on).
void StartProgram(Platform& platform);

// Releases the point arrays.
void EndProgram(ProgramState& s);

}  // namespace zmr
