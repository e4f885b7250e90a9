// What the main window shows, as a list of drawing operations in window coordinates: the
// selected display bitmap stretched over the client area (or the no-image text), the point
// numbers, the displacement vectors with their marks, and the triangles. Qt-free; the Qt
// painter (ui/qt/DisplayPainter.h) draws it for the window and for zmrcal render.
// Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "state/ProgramState.h"

namespace zmr {

struct ProgramState;

inline constexpr const char* kNoImageText = "There is no image available!";
inline constexpr std::uint32_t kVectorColour = 0xFF00FF00u;    // pure green
inline constexpr std::uint32_t kTriangleColour = 0xFF0000FFu;  // pure blue

// A copy of everything the display reads, so that a paint never touches arrays that a worker
// thread is writing: take it on the main thread while no worker runs, and paint from it.
struct DisplaySnapshot {
  int cxDib = 0;
  int cyDib = 0;
  int cfDrawMode = 0;
  int RectangleMarkWidth = 2;
  DisplayBitmap bitmap;  // the selected slot's picture; empty when no image is available
  bool hasImage = false;
  std::vector<double> points;  // NumberOfPoints rows of (x, y, X, Y)
  std::vector<int> triangles;  // NumberOfTriangles triples of point indices
  // Per point, the leave-one-out error of the last quality report (NaN: none); empty when the
  // report is not of the current points.
  std::vector<double> residuals;
};

DisplaySnapshot TakeDisplaySnapshot(const ProgramState& s);

struct DisplayList {
  struct Label {
    WindowPoint at;  // top-left corner of the text
    std::string text;
  };
  struct Segment {
    WindowPoint from;
    WindowPoint to;
  };
  struct Mark {
    WindowPoint topLeft;  // Rectangle(left, top, right, bottom): right and bottom excluded
    WindowPoint bottomRight;
  };

  int clientWidth = 0;
  int clientHeight = 0;
  const DisplayBitmap* bitmap = nullptr;  // null: show kNoImageText centred
  std::vector<Label> numbers;             // drawn first
  std::vector<Mark> marks;                // then each mark with its vector, in point order
  std::vector<Segment> vectors;
  std::vector<Segment> triangleEdges;  // then three closed edges per triangle
  struct Dot {
    WindowPoint at;
    std::uint32_t colour;  // 0xAARRGGBB
  };
  std::vector<Dot> residualDots;  // last: a filled dot per point coloured by its error
};

inline constexpr int kResidualDotRadius = 4;

// The list for a client area of the given size. The snapshot must outlive the list (the list
// points at its bitmap).
DisplayList BuildDisplayList(const DisplaySnapshot& snapshot, int clientWidth, int clientHeight);

}  // namespace zmr
