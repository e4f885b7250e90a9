#include "ui/Startup.h"

#include "state/ParameterScan.h"
#include "state/ProgramState.h"
#include "ui/Display.h"

namespace zmr {

void StartProgram(Platform& platform) {
  ProgramState& s = platform.Program();
  InitParameters(s);
  s.cxDib = s.IMAGE_X;
  s.cyDib = s.IMAGE_Y;
  // What the main window does when it is created.
  s.Msource.clear();
  ChangeSelectedBitmap(s);
  ClearBitmaps(s);
  if (AllocateArrays(s) == 0) platform.Message("Not enough memmory!", "HelloMsg");
  DeliverNotes(platform);
}

void EndProgram(ProgramState& s) { ReleaseArrays(s); }

}  // namespace zmr
