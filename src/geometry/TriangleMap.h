// Triangle location for many positions at once: the first triangle that holds each position of
// a lattice (every pixel of an image, or the nodes of a coarse mesh), exactly as FindTrianglePI
// finds it, in one pass over the triangles instead of one search over all triangles per
// position.
//
// Each triangle is tested, with the arithmetic of CheckTriangle, only at the lattice positions
// inside its bounding box (widened by a margin) that no triangle of lower index holds, so the
// lowest index wins as in the linear search. The margin covers rounding in the side tests: a
// position that CheckTriangle admits lies within a tiny fraction of a pixel of a well-shaped
// triangle. A flat or nearly flat triangle (which the triangulation never stores) holds
// positions all along its line and is tested everywhere. Positions at least half a pixel inside
// all three sides of a well-shaped triangle are held beyond any rounding: along each row those
// are taken without the test, and only the few near the sides are tested.
//
// Threads: whichever thread runs the calling operation; like FindTrianglePI they read
// PointsInput, Tpoints and NumberOfTriangles, which must not change while they are used.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

namespace zmr {

struct ProgramState;

// The lattice (xs[a], ys[b]) row by row: a row of the map at a time, so that an image needs
// memory for one row and the triangles, not for every pixel. xs and ys must be ascending and
// must outlive the object; the triangles are taken as they are at construction.
class TriangleRowMap {
 public:
  // The triangles of the record s, as they are now.
  TriangleRowMap(const ProgramState& s, const std::vector<double>& xs,
                 const std::vector<double>& ys);

  // False when memory for the triangles ran out; FillRow must not be called then.
  bool Ready() const { return ready_; }

  // row[a] = FindTrianglePI(xs[a], ys[b]) (a triangle index or -1) for a = 0 .. xs.size() - 1.
  // b must be below ys.size() and must not decrease from one call to the next.
  void FillRow(std::size_t b, int* row);

 private:
  struct Box {
    std::size_t a0, a1, b0, b1;  // lattice positions [a0, a1) x [b0, b1) to test
  };

  const std::vector<double>& xs_;
  const std::vector<double>& ys_;
  bool unitXs_ = false;  // xs_ (ys_) is 0, 1, 2, ...: positions found without a search
  bool unitYs_ = false;
  bool ready_ = false;
  std::vector<double> vertices_;  // x1 y1 x2 y2 x3 y3 per triangle, measured coordinates
  std::vector<Box> boxes_;
  // Per triangle: whether the rows may take an untested inner span (well shaped, coordinates
  // small enough that the side tests' rounding stays far below half a pixel).
  std::vector<unsigned char> spanned_;
  std::vector<double> sideLengths_;  // per triangle, of the sides from vertex 1, 2 and 3
  std::vector<int> byFirstRow_;      // triangles ordered by first row, then index
  std::size_t nextStart_ = 0;        // next entry of byFirstRow_ to enter the active list
  std::vector<int> active_;          // triangles whose rows include the current one, by index
  std::vector<int> merged_;
};

// Fills map with xs.size() * ys.size() elements, element b * xs.size() + a being
// FindTrianglePI(xs[a], ys[b]). xs and ys must be ascending. Returns false, with map empty,
// when memory runs out or when *cancel (if given) becomes nonzero before the map is complete.
bool MapTriangles(const ProgramState& s, const std::vector<double>& xs,
                  const std::vector<double>& ys, std::vector<int>& map,
                  const std::atomic<int>* cancel = nullptr);

// The coordinates 0, 1, ..., count - 1 as doubles: the lattice of the pixels along one axis.
std::vector<double> PixelCoordinates(long count);

}  // namespace zmr
