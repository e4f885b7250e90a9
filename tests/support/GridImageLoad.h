// Puts a generated grid into the program state as its loaded image, as an image load would:
// the working size, the image arrays and the source pixels.
#pragma once

#include "gridgen/GridGen.h"
#include "state/ProgramState.h"

namespace zmr::test {

// Returns false when the image arrays could not be allocated.
inline bool PutGridImage(const GridImage& grid) {
  if (AllocateImageArrays(State(), grid.width, grid.height) != 1) return false;
  ProgramState& s = State();
  s.cxDib = grid.width;
  s.cyDib = grid.height;
  s.Msource.assign(grid.pixels.begin(), grid.pixels.end());
  return true;
}

}  // namespace zmr::test
