#include "ui/Platform.h"

#include "state/ProgramState.h"

namespace zmr {

ProgramState& Platform::Program() { return State(); }

void DeliverNotes(Platform& platform) {
  std::vector<std::string> notes;
  notes.swap(platform.Program().notes);
  for (const std::string& note : notes) platform.Note(note);
}

}  // namespace zmr
