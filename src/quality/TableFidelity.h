// How faithfully the correction tables hold the model. The ".zmr" table: the error of its
// 1/256 px codes against the node shifts, the nodes whose shift a 16-bit code cannot hold
// (they wrap), and the error of the table as the unit reads it (bilinear between the decoded
// nodes, 32 px apart) against the full model at every pixel of the image that lies inside the
// triangulated zone and inside the table. The same sampling error for the ORBIK ASCII table
// (nodes EdgeGrid apart; its six printed decimals are taken as exact).
//
// Threads: whichever thread runs the report; reads the calibration points and triangles.
#pragma once

#include <atomic>
#include <vector>

namespace zmr {

struct ProgramState;

struct TableSampling {
  long step = 0;
  long nodes = 0;   // table nodes inside the image
  long pixels = 0;  // zone pixels the table covers
  double rms = 0.0;
  double max = 0.0;
};

struct TableFidelity {
  long nodesInImage = 0;
  long wrappedNodes = 0;                   // nodes with a shift component beyond the 16-bit range
  double quantisationMax = 0.0;            // px, over the nodes in the image that do not wrap
  TableSampling zmr;                       // step kZmrNodeStep
  TableSampling ascii;                     // step EdgeGrid
  std::vector<unsigned char> nodeWrapped;  // per node of the ".zmr" table, row by row
  // The ".zmr" sampling error, its largest value over blocks of mapScale x mapScale pixels:
  // mapWidth x mapHeight values, row by row; NaN where no pixel of the block was sampled.
  int mapScale = 1;
  int mapWidth = 0;
  int mapHeight = 0;
  std::vector<float> errorMap;
};

// Largest side of the error map in blocks.
inline constexpr int kFidelityMapSide = 512;

// The fidelity of the tables of the current calibration over an M x N image. Polls *cancel
// (when given) between rows and adds the share of rows done, times progressSpan, to *progress.
// False when cancelled, or when memory for the triangle map ran out (the sums are then left
// as far as they got).
bool AssessTables(const ProgramState& s, long M, long N, TableFidelity& out,
                  const std::atomic<int>* cancel = nullptr, std::atomic<int>* progress = nullptr,
                  int progressSpan = 0);

}  // namespace zmr
