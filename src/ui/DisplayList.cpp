#include "ui/DisplayList.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "ui/Commands.h"

namespace zmr {

DisplaySnapshot TakeDisplaySnapshot(const ProgramState& s, bool copyBitmap) {
  DisplaySnapshot snap;
  snap.cxDib = s.cxDib;
  snap.cyDib = s.cyDib;
  snap.cfDrawMode = s.cfDrawMode;
  snap.RectangleMarkWidth = s.RectangleMarkWidth;
  const int slot = s.cCurrentBitmap == 1 ? 1 : 0;
  if (s.fBitmap[static_cast<std::size_t>(slot)] == 1) {
    if (copyBitmap) {
      snap.bitmap = s.hBitmap[static_cast<std::size_t>(slot)];
    } else {
      snap.shared = &s.hBitmap[static_cast<std::size_t>(slot)];
    }
    snap.hasImage = true;
  }
  const auto points = static_cast<std::size_t>(
      std::clamp<long>(s.NumberOfPoints, 0, static_cast<long>(s.PointsInput.size() / 4)));
  snap.points.assign(s.PointsInput.begin(), s.PointsInput.begin() + 4 * points);
  const auto triangles = static_cast<std::size_t>(
      std::clamp<long>(s.NumberOfTriangles, 0, static_cast<long>(s.Tpoints.size() / 3)));
  snap.triangles.assign(s.Tpoints.begin(), s.Tpoints.begin() + 3 * triangles);
  if ((s.cfDrawMode & kDrawResiduals) != 0 && s.pointResiduals.size() == points &&
      s.residualPoints.size() == 2 * points) {
    bool same = true;
    for (std::size_t k = 0; k < points && same; ++k) {
      same = s.residualPoints[2 * k] == snap.points[4 * k] &&
             s.residualPoints[2 * k + 1] == snap.points[4 * k + 1];
    }
    if (same) snap.residuals = s.pointResiduals;
  }
  return snap;
}

void AddResidualDots(const DisplaySnapshot& snap, DisplayList& list,
                     const std::function<WindowPoint(double, double)>& place) {
  const std::size_t n = snap.points.size() / 4;
  if ((snap.cfDrawMode & kDrawResiduals) != 0 && snap.residuals.size() == n) {
    // Green for no error through yellow to red for the largest; grey for a point without one.
    double largest = 0.0;
    for (double r : snap.residuals) {
      if (std::isfinite(r)) largest = std::max(largest, r);
    }
    for (std::size_t i = 0; i < n; ++i) {
      const double r = snap.residuals[i];
      std::uint32_t colour = 0xFF808080u;
      if (std::isfinite(r)) {
        const double f = largest > 0 ? std::clamp(r / largest, 0.0, 1.0) : 0.0;
        const auto red = static_cast<std::uint32_t>(std::lround(255 * std::min(1.0, 2 * f)));
        const auto green = static_cast<std::uint32_t>(std::lround(255 * std::min(1.0, 2 - 2 * f)));
        colour = 0xFF000000u | (red << 16) | (green << 8);
      }
      list.residualDots.push_back({place(snap.points[4 * i], snap.points[4 * i + 1]), colour});
    }
  }
}

DisplayList BuildDisplayList(const DisplaySnapshot& snap, int clientWidth, int clientHeight) {
  DisplayList list;
  list.clientWidth = clientWidth;
  list.clientHeight = clientHeight;
  if (snap.hasImage) list.bitmap = &ShownBitmap(snap);
  if (snap.cxDib <= 0 || snap.cyDib <= 0) return list;

  const std::size_t n = snap.points.size() / 4;
  auto window = [&](double x, double y) {
    return ImageToWindow(x, y, clientWidth, clientHeight, snap.cxDib, snap.cyDib);
  };
  if ((snap.cfDrawMode & kDrawNumbers) != 0) {
    for (std::size_t i = 0; i < n; ++i) {
      char text[24];
      std::snprintf(text, sizeof text, "%d", static_cast<int>(i));
      list.numbers.push_back({window(snap.points[4 * i], snap.points[4 * i + 1]), text});
    }
  }
  if ((snap.cfDrawMode & kDrawVectors) != 0) {
    const long w = snap.RectangleMarkWidth;
    for (std::size_t i = 0; i < n; ++i) {
      const WindowPoint o = window(snap.points[4 * i], snap.points[4 * i + 1]);
      const WindowPoint t = window(snap.points[4 * i + 2], snap.points[4 * i + 3]);
      list.marks.push_back({{o.x - w, o.y - w}, {o.x + w, o.y + w}});
      list.vectors.push_back({o, t});
    }
  }
  if ((snap.cfDrawMode & kDrawTriangles) != 0) {
    for (std::size_t t = 0; t + 2 < snap.triangles.size(); t += 3) {
      WindowPoint p[3];
      bool valid = true;
      for (std::size_t v = 0; v < 3; ++v) {
        const int k = snap.triangles[t + v];
        if (k < 0 || static_cast<std::size_t>(k) >= n) {
          valid = false;
          break;
        }
        p[v] = window(snap.points[4 * static_cast<std::size_t>(k)],
                      snap.points[4 * static_cast<std::size_t>(k) + 1]);
      }
      if (!valid) continue;
      list.triangleEdges.push_back({p[0], p[1]});
      list.triangleEdges.push_back({p[1], p[2]});
      list.triangleEdges.push_back({p[2], p[0]});
    }
  }
  AddResidualDots(snap, list, window);
  return list;
}

}  // namespace zmr
