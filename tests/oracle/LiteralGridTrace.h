// Grid tracing written out literally, as the oracle for the indexed nearest-spot search: every
// prediction scans the whole spot list, and the walk is a plain recursion. Slow (spots x spots)
// and as deep as the spots it assigns: keep the lists to a few thousand spots.
//
// Threads: the caller's thread; reads and writes the program state as GetGridShifts does.
#pragma once

namespace zmr::oracle {

// The nearest spot among the first Npoints with Dvect[k] == 0 strictly closer than *Dmin, by a
// scan in index order (the first of equal distances wins); *Dmin becomes its distance. -1, with
// *Dmin unchanged, when there is none.
int FindClosestPointLiteral(double x, double y, const double* Xvect, const double* Yvect,
                            const int* Dvect, int Npoints, double* Dmin);

// GetGridShifts with the recursive walk over FindClosestPointLiteral: the same log, console
// text, node matrix, spot arrays, counts and ideal grid.
int GetGridShiftsLiteral();

}  // namespace zmr::oracle
