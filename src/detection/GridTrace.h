// Grid tracing: assigns the detected spots to the nodes of a square grid by walking from the
// spot nearest a start point to its neighbours, gives every assigned spot its position on a
// perfect square lattice (the ideal grid), removes the spots the walk did not reach, and copies
// the pairs (measured, ideal) into PointsInput. The walk is reported in "Trace.log" (OUT_LOG);
// with DebugSwitch set it is reported step by step and a node map goes to standard output.
//
// Threads: the detection worker, or the main thread while no worker runs. Writes the point
// arrays, the grid bookkeeping and iAssignedPoints without locks; never looks at fTerminated.
//
// The spot list is PX = PointsBuffer + 1, PY = PointsBuffer + MAXPoints + 1 (slot 0, the mean
// of the spots, is not part of it), with NumberOfPoints entries; PD (Pflag), Pi, Pj, SX and SY
// are indexed by the same spot number from 0.
//
// Grid bookkeeping: PMatrix holds 100 x 100 nodes, node (i, j) at element i * 100 + j, each the
// number of its spot or kFreeNode. The start spot sits at node (50, 50), the second spot at
// (50, 51). A node outside 0..99 has no room in PMatrix: the walk passes over it like an
// occupied node (in the debug log it is still listed as " | k [i j]").
//
// Starting conditions: the walk needs a start spot within 1000 pixels of the start point and a
// second unassigned spot within ImageM pixels of it, so at least two spots. When it cannot
// start, no spot is assigned (OccupiedPoints = iAssignedPoints = 0), the "Starting to trace"
// line is left out of the log, Origin, ug and vg are set to (0, 0), and everything else runs
// as usual: the totals line, the ideal positions, and the deletion, which removes every spot.
#pragma once

#include <vector>

namespace zmr {

struct ProgramState;

// Number of grid nodes along each index, and the PMatrix value of a node without a spot.
inline constexpr int kGridNodes = 100;
inline constexpr int kFreeNode = -1;

// Traces the spot list left by the spot detection. Appends to "Trace.log" (opened here and
// closed at the end; a stream still open in OUT_LOG is closed first; without the file the run
// goes on unlogged). Chooses the start point Pg by Centering & 0xF0 (0x20: InpCoor, else the
// image centre ImageM / 2, ImageN / 2) and Pc by Centering & 0x0F (1: InpCoor, else the image
// centre). Takes slot 0 out of NumberOfPoints (a count of 0 stays 0, a count above MAXPoints
// is first cut to MAXPoints), runs GenerateShifts and DeleteNotAssignedPoints. Returns 0; when
// the point arrays are not allocated it does nothing at all.
int GetGridShifts(ProgramState& s);

// GetGridShifts with another generator in place of GenerateShifts (same parameters), such as a
// literal one to compare against. Returns what GetGridShifts returns.
using ShiftGenerator = int (*)(ProgramState& s, double* PX, double* PY, int* PD, double* SX,
                               double* SY, const double* Pg);
int GetGridShiftsWith(ProgramState& s, ShiftGenerator generate);

// Clears the node matrix and PD, Pi, Pj (MAXPoints entries each), seeds the walk with the spot
// nearest Pg and its nearest neighbour (Edge becomes their distance, the grid pitch), walks,
// logs the totals, prints TestDisplay with DebugSwitch, sets Origin, ug, vg and computes SX,
// SY for every spot. Returns 0.
int GenerateShifts(ProgramState& s, double* PX, double* PY, int* PD, double* SX, double* SY,
                   const double* Pg);

// The walk from spot nind at node (in, jn), reached from spot oind at node (is, js): tries the
// four neighbour nodes in the order (-1, 0), (0, -1), (+1, 0), (0, +1), predicts each free
// node's position from the last step, and assigns the nearest unassigned spot closer than
// Edge * Ethresh, walking on from it before the next neighbour is tried (depth first). Stops at
// entry when every spot is assigned. Uses an explicit stack, so no depth limit. oind and nind
// must be spots of the list. Returns 0.
int Trace(ProgramState& s, int oind, int nind, double* PX, double* PY, int* PD, int is, int js,
          int in, int jn);

// Index of the spot nearest (x, y) among the first Npoints with Dvect[index] == 0 whose
// distance is strictly below *Dmin; equal distances keep the lower index. On success *Dmin
// becomes that distance; returns -1 and leaves *Dmin unchanged when there is none. A linear
// scan, for single searches; the walk searches through a SpotIndex.
int FindClosestPoint(double x, double y, const double* Xvect, const double* Yvect, const int* Dvect,
                     int Npoints, double* Dmin);

// The spots of a list in a uniform grid of cells (about one spot per cell), so that a nearest-
// spot search looks only at the cells within its radius. Built once per walk over positions
// that do not move; which spots are still free (Dvect) is read at each search.
class SpotIndex {
 public:
  // Indexes spots 0 .. Npoints - 1 of Xvect, Yvect, which must outlive the index unchanged.
  SpotIndex(const double* Xvect, const double* Yvect, int Npoints);

  // FindClosestPoint(x, y, Xvect, Yvect, Dvect, Npoints, Dmin) over the indexed list: the same
  // result, the same *Dmin, from the same distance expression and the same tie rule.
  int FindClosest(double x, double y, const int* Dvect, double* Dmin) const;

 private:
  long CellX(double x) const;
  long CellY(double y) const;

  const double* x_;
  const double* y_;
  double minX_ = 0.0;
  double minY_ = 0.0;
  double inverseCell_ = 0.0;  // cells per unit of length; 0 puts everything in one cell
  long columns_ = 1;
  long rows_ = 1;
  std::vector<int> cellStart_;  // spots of cell c: spots_[cellStart_[c] .. cellStart_[c + 1])
  std::vector<int> spots_;      // ascending spot numbers within each cell
};

// Ideal positions of spots 0 .. NumberOfPoints - 1 from Origin, ug, vg and Pi, Pj:
// S = Origin - Pi * vg + Pj * ug. Unassigned spots (Pi = Pj = 0) get Origin. Returns 0.
int CalculateShifts(const ProgramState& s, const double* PX, const double* PY, double* SX,
                    double* SY);

// Logs which spots are assigned (" +k  |") and which not (" -k  |"), removes the unassigned
// ones from PX, PY, PD, SX and SY keeping the order, lowers NumberOfPoints accordingly and logs
// "<n> points left". Pi and Pj are not moved. Returns 0.
int DeleteNotAssignedPoints(ProgramState& s, double* PX, double* PY, double* SX, double* SY,
                            int* PD);

// Prints the spot numbers of nodes i = 40..59 (one line each), j = 40..59 (0 for a free
// node), then "k -> [Pi Pj]" for every spot, on standard output. Returns 0.
int TestDisplay(const ProgramState& s);

// Fills rows 0 .. NumberOfPoints - 1 of PointsInput with (PX, PY, SX, SY); rows beyond the
// allocated PointsInput are not written. Returns 1.
int InitPointArrays(ProgramState& s, const double* PX, const double* PY, const double* SX,
                    const double* SY);

// InitPointArrays over the spot list, SX and SY. Returns 1 (nothing written when the point
// arrays are not allocated).
int CInitPointArrays(ProgramState& s);

}  // namespace zmr
