#include "export/OrbikExport.h"

#include <cstdint>
#include <vector>

#include "export/GridShifts.h"
#include "geometry/TriangleLocation.h"
#include "geometry/TriangleMap.h"
#include "state/Numeric.h"
#include "state/ProgramState.h"
#include "state/SafeWrite.h"

namespace zmr {
namespace {

void PutUInt16BigEndian(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value & 0xFF);
}

// Node shifts in node order (row by row), as the two components of each record.
struct NodeShifts {
  double dx[kZmrNodeCount];
  double dy[kZmrNodeCount];
};

std::vector<std::uint8_t> EncodeRecords(const NodeShifts& shifts) {
  std::vector<std::uint8_t> bytes(kZmrFileSize);
  for (int r = 0; r < kZmrNodeCount; ++r) {
    std::uint8_t* record = bytes.data() + r * kZmrRecordSize;
    PutUInt16BigEndian(record + kZmrDyOffset, ZmrShiftCode(shifts.dy[r]));
    PutUInt16BigEndian(record + kZmrDxOffset, ZmrShiftCode(shifts.dx[r]));
  }
  return bytes;
}

int WriteZmrFile(const char* Fname, const std::vector<std::uint8_t>& bytes) {
  return WriteWholeFileBytes(Fname, bytes) ? kZmrWritten : kZmrNotCreated;
}

// Image position of the node coordinate k on an axis with this ORBIK offset.
double NodePosition(int k, int offset) {
  return static_cast<double>(static_cast<long long>(k) * kZmrNodeStep - offset);
}

}  // namespace

std::uint16_t ZmrShiftCode(double shift) {
  const long long units = TruncateToward0<long long>(shift * kZmrUnitsPerPixel);
  return static_cast<std::uint16_t>(static_cast<unsigned long long>(units) & 0xFFFFu);
}

namespace {
void ComputeNodeShifts(const ProgramState& s, int xmax, int ymax, NodeShifts& shifts) {
  // The triangle of every node from one pass over the triangles (the same as the search of
  // CalculateGridShifts at each node); without memory for the map each node searches itself.
  std::vector<double> xs(kZmrNodesPerAxis);
  std::vector<double> ys(kZmrNodesPerAxis);
  for (int k = 0; k < kZmrNodesPerAxis; ++k) {
    xs[k] = NodePosition(k, s.xoffset);
    ys[k] = NodePosition(k, s.yoffset);
  }
  std::vector<int> map;
  if (MapTriangles(s, xs, ys, map)) {
    for (int r = 0; r < kZmrNodeCount; ++r) {
      const long t = map[r];
      const double p0[2] = {xs[r % kZmrNodesPerAxis], ys[r / kZmrNodesPerAxis]};
      double d0[2] = {0.0, 0.0};
      if (t != -1) ApproximateShiftsT(s, p0, d0, t);
      shifts.dx[r] = d0[0];
      shifts.dy[r] = d0[1];
    }
    return;
  }
  for (int y = 0; y < kZmrNodesPerAxis; ++y) {
    for (int x = 0; x < kZmrNodesPerAxis; ++x) {
      const int r = y * kZmrNodesPerAxis + x;
      CalculateGridShifts(s, xmax, ymax, NodePosition(x, s.xoffset), NodePosition(y, s.yoffset),
                          shifts.dx[r], shifts.dy[r]);
    }
  }
}
}  // namespace

std::vector<std::uint8_t> ZmrFileBytes(const ProgramState& s, int xmax, int ymax) {
  NodeShifts shifts;
  ComputeNodeShifts(s, xmax, ymax, shifts);
  return EncodeRecords(shifts);
}

int WrappedZmrShifts(const ProgramState& s, int xmax, int ymax) {
  NodeShifts shifts;
  ComputeNodeShifts(s, xmax, ymax, shifts);
  int wrapped = 0;
  for (int r = 0; r < kZmrNodeCount; ++r) {
    for (double shift : {shifts.dx[r], shifts.dy[r]}) {
      const long long units = TruncateToward0<long long>(shift * kZmrUnitsPerPixel);
      if (units < INT16_MIN || units > INT16_MAX) ++wrapped;
    }
  }
  return wrapped;
}

int ORBIKExportNew(const ProgramState& s, const char* Fname, int xmax, int ymax) {
  return WriteZmrFile(Fname, ZmrFileBytes(s, xmax, ymax));
}

int ORBIKExport(ProgramState& s, const char* Fname, int xmax, int ymax) {
  s.ORBIKPoints = CalculateReducedGridShifts(s, xmax, ymax, kZmrNodeStep, 0);
  const double* table = s.PointsOutput.data();
  NodeShifts shifts;
  for (int y = 0; y < kZmrNodesPerAxis; ++y) {
    for (int x = 0; x < kZmrNodesPerAxis; ++x) {
      const int r = y * kZmrNodesPerAxis + x;
      if (r >= s.ORBIKPoints) return r;
      const double* record = table + 4 * r;
      if (record[0] != NodePosition(x, s.xoffset) || record[1] != NodePosition(y, s.yoffset)) {
        return r;
      }
      shifts.dx[r] = record[2] - record[0];
      shifts.dy[r] = record[3] - record[1];
    }
  }
  return WriteZmrFile(Fname, EncodeRecords(shifts));
}

}  // namespace zmr
