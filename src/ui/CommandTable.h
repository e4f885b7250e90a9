// The command table: each menu command's id, menu place and text, the zmrcal step that runs it
// (if any) and its handler. The Qt menu and zmrcal are both built from it.
#pragma once

#include <span>

#include "ui/Platform.h"

namespace zmr {

struct ProgramState;

enum class StepArgument {
  None,      // the step takes no argument
  FileName,  // the step's argument answers the command's file dialog
  Special,   // the step parses its own arguments (view, overlay, set)
};

struct CommandEntry {
  int id;
  const char* menuPath;  // popup path, e.g. "&File/Image Data"
  const char* menuText;  // the item's text with its & mnemonic
  const char* step;      // zmrcal step name, or nullptr when there is none
  StepArgument argument;
  const char* help;  // one line for zmrcal --help
  void (*handler)(Platform&);
};

std::span<const CommandEntry> CommandTable();

// The entry of a command id or of a step name; nullptr when there is none.
const CommandEntry* FindCommand(int id);
const CommandEntry* FindStep(const char* step);

// The check mark of a View item: 1 checked, 0 unchecked, -1 for items without a check mark.
int MenuCheckState(const ProgramState& s, int id);

// Runs the command of an id; false when the id has no command (default handling).
bool RunCommand(int id, Platform& platform);

}  // namespace zmr
