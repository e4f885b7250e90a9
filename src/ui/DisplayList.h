// What the main window shows, as a list of drawing operations in window coordinates: the
// selected display bitmap stretched over the client area (or the no-image text), the point
// numbers, the displacement vectors with their marks, and the triangles. Qt-free; the Qt
// painter (ui/qt/DisplayPainter.h) draws it for the window and for zmrcal render.
// Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
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
  // Set instead of the copy by a snapshot taken without one: the record's own picture, to be
  // drawn at once while no worker runs.
  const DisplayBitmap* shared = nullptr;
  std::vector<double> points;  // NumberOfPoints rows of (x, y, X, Y)
  std::vector<int> triangles;  // NumberOfTriangles triples of point indices
  // Per point, the leave-one-out error of the last quality report (NaN: none); empty when the
  // report is not of the current points.
  std::vector<double> residuals;
};

// copyBitmap false: the snapshot points at the record's picture instead of copying it.
DisplaySnapshot TakeDisplaySnapshot(const ProgramState& s, bool copyBitmap = true);

// The picture a snapshot shows: its copy or the record's own.
inline const DisplayBitmap& ShownBitmap(const DisplaySnapshot& snap) {
  return snap.shared != nullptr ? *snap.shared : snap.bitmap;
}

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
  std::vector<Dot> residualDots;  // after the triangles: a filled dot per point by its error

  // The zoomable window view (ui/ViewDisplayList.h) only; the stretched picture leaves these
  // empty. Where the bitmap goes, in window pixels, and the pixels of it drawn there.
  struct Placement {
    bool placed = false;  // false: the bitmap stretched over the client area
    double x = 0.0, y = 0.0, width = 0.0, height = 0.0;
    int sourceX = 0, sourceY = 0, sourceWidth = 0, sourceHeight = 0;
    bool smooth = false;  // filtered when shrunk, nearest pixel when enlarged
  };
  struct ScaleBar {
    WindowPoint from;  // left end; the bar runs right by length
    long length = 0;
    std::string text;
  };
  struct LegendEntry {
    std::uint32_t colour;  // ARGB; 0 for the point-number sample
    std::string text;
  };
  Placement placement;
  std::vector<ScaleBar> scaleBars;  // at most one: the vector scale
  std::vector<LegendEntry> legend;  // drawn in a box at the bottom left
};

inline constexpr int kResidualDotRadius = 4;

// Appends the Residuals overlay's dots (when it is on and the snapshot holds the errors), each
// point at place(x, y): green for no error through yellow to red for the largest, grey for
// a point without one.
void AddResidualDots(const DisplaySnapshot& snap, DisplayList& list,
                     const std::function<WindowPoint(double, double)>& place);

// The list for a client area of the given size. The snapshot must outlive the list (the list
// points at its bitmap).
DisplayList BuildDisplayList(const DisplaySnapshot& snapshot, int clientWidth, int clientHeight);

}  // namespace zmr
