// The spot detection written out literally, as the oracle for the fast one: regions grown by
// repeated whole-image sweeps (every sweep visits all rows, and all columns in each, labelling
// each free dark pixel that has an edge neighbour already carrying the label, until a sweep adds
// nothing), and the raster scan with its label counter, spot list, weighted mean and log lines.
// Each whole-image sweep is slow: keep the images small (about 200 x 200 at most).
//
// Two points where the direct formulas divide 0 by 0 follow the decisions of the fast version,
// so that the two can be compared on every input: a region whose weights sum to 0 keeps its
// start position as centre, and slot 0 becomes the image centre (M / 2.0, N / 2.0) when no
// region entered the weighted mean.
//
// Threads: the caller's thread; reads State().MAXPoints, DebugSwitch, OUT_LOG and
// fTerminated, writes iProgressStatus and iDetectedAreas.
#pragma once

#include "state/ProgramState.h"

namespace zmr::oracle {

// Region growth by sweeps (with its own pixel and neighbour tests) from the start pixel (*CenterX,
// *CenterY truncated), labelling with Mark (which must not be 255); the centre weighted by Signal +
// 1 replaces *CenterX, *CenterY. Returns the area; 0 with nothing changed when the start pixel is
// not free and dark. The sweeps stop early when fTerminated is set. The start must lie inside the
// image.
long DijkstraLiteral(long M, long N, int* Table, const int* Signal, double* CenterX,
                     double* CenterY, int Threshold, int Mark);

// The raster scan over every pixel with DijkstraLiteral, storing regions larger than MinArea
// while fewer than MAXPoints are stored, then slot 0 = the weighted mean. Returns the count.
int FindCentersLiteral(ProgramState& /*s*/, long M, long N, int* Table, const int* Signal,
                       int Threshold, long MinArea, double* PointsX, double* PointsY);

}  // namespace zmr::oracle
