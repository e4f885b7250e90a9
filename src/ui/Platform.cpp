#include "ui/Platform.h"

#include "state/ProgramState.h"

namespace zmr {

ProgramState& Platform::Program() { return State(); }

}  // namespace zmr
