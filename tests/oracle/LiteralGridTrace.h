// Grid tracing written out literally, as the oracle for the indexed nearest-spot search and the
// explicit walk stack: every prediction scans the whole spot list, the walk is a plain
// recursion, the ideal positions are computed here, and the unassigned spots are removed one at
// a time, each by moving the rest of the list down. Slow (spots x spots) and as deep as the
// spots it assigns: keep the lists to a few thousand spots.
//
// Threads: the caller's thread; reads and writes the program state as GetGridShifts does.
#pragma once

namespace zmr::oracle {

// GetGridShifts (point arrays allocated) written out: the same log, console text, node matrix,
// spot arrays, counts and ideal grid.
int GetGridShiftsLiteral();

}  // namespace zmr::oracle
