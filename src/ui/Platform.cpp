#include "ui/Platform.h"

#include <algorithm>

#include "state/ProgramState.h"

namespace zmr {

ProgramState& Platform::Program() { return State(); }

void DeliverNotes(Platform& platform) {
  std::vector<std::string> notes;
  notes.swap(platform.Program().notes);
  // Stage after stage that could not write the same file says so once.
  for (std::size_t k = 0; k < notes.size(); ++k) {
    if (std::find(notes.begin(), notes.begin() + static_cast<long>(k), notes[k]) ==
        notes.begin() + static_cast<long>(k)) {
      platform.Note(notes[k]);
    }
  }
}

}  // namespace zmr
