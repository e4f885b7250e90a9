#include "ui/ViewDisplayList.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "ui/Commands.h"

namespace zmr {

namespace {

long ToWindow(double v) { return std::lround(std::clamp(v, -1.0e7, 1.0e7)); }

// Labels placed so far, bucketed by cells of the largest label's size: a new label need only
// be checked against the labels of the nine cells around it.
class LabelSpace {
 public:
  LabelSpace(long cellWidth, long cellHeight)
      : cellWidth_(std::max(cellWidth, 1L)), cellHeight_(std::max(cellHeight, 1L)) {}

  // Takes the rectangle when it overlaps none taken before.
  bool Take(long x, long y, long w, long h) {
    const long cx = FloorDiv(x, cellWidth_);
    const long cy = FloorDiv(y, cellHeight_);
    for (long j = cy - 1; j <= cy + 1; ++j) {
      for (long i = cx - 1; i <= cx + 1; ++i) {
        const auto found = cells_.find(Key(i, j));
        if (found == cells_.end()) continue;
        for (const Box& b : found->second) {
          if (x < b.x + b.w && b.x < x + w && y < b.y + b.h && b.y < y + h) return false;
        }
      }
    }
    cells_[Key(cx, cy)].push_back({x, y, w, h});
    return true;
  }

 private:
  struct Box {
    long x, y, w, h;
  };
  static long FloorDiv(long a, long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
  static long long Key(long i, long j) {
    return (static_cast<long long>(i) << 32) ^ static_cast<long long>(j & 0xFFFFFFFFL);
  }
  long cellWidth_;
  long cellHeight_;
  std::unordered_map<long long, std::vector<Box>> cells_;
};

bool SegmentOutside(const WindowPoint& a, const WindowPoint& b, long w, long h, long margin) {
  return std::max(a.x, b.x) < -margin || std::min(a.x, b.x) > w + margin ||
         std::max(a.y, b.y) < -margin || std::min(a.y, b.y) > h + margin;
}

void PlaceBitmap(DisplayList& list, const DisplaySnapshot& snap, const ViewTransform& view) {
  const DisplayBitmap& b = ShownBitmap(snap);
  const double zx = view.zoomX();
  const double zy = view.zoomY();
  // The pixels in sight, whole: from the first one the view's left edge cuts to the last.
  const int x0 = std::clamp(static_cast<int>(std::floor(-view.left() / zx)), 0, b.width);
  const int y0 = std::clamp(static_cast<int>(std::floor(-view.top() / zy)), 0, b.height);
  const int x1 =
      std::clamp(static_cast<int>(std::ceil((view.viewWidth() - view.left()) / zx)), x0, b.width);
  const int y1 =
      std::clamp(static_cast<int>(std::ceil((view.viewHeight() - view.top()) / zy)), y0, b.height);
  DisplayList::Placement& p = list.placement;
  p.placed = true;
  p.sourceX = x0;
  p.sourceY = y0;
  p.sourceWidth = x1 - x0;
  p.sourceHeight = y1 - y0;
  p.x = view.left() + x0 * zx;
  p.y = view.top() + y0 * zy;
  p.width = p.sourceWidth * zx;
  p.height = p.sourceHeight * zy;
  p.smooth = zx < 1.0;
}

void AddScaleBar(DisplayList& list, const ViewTransform& view, int factor) {
  const double perPixel = factor * std::sqrt(view.zoomX() * view.zoomY());
  const double length = RoundBarLength(perPixel, 80.0);
  DisplayList::ScaleBar bar;
  bar.length = ToWindow(length * perPixel);
  bar.from = {view.viewWidth() - 12 - bar.length, view.viewHeight() - 12};
  char text[64];
  std::snprintf(text, sizeof text, "%g px displacement (\u00d7%d)", length, factor);
  bar.text = text;
  list.scaleBars.push_back(bar);
}

}  // namespace

double RoundBarLength(double pixelsPerUnit, double target) {
  if (!(pixelsPerUnit > 0.0) || !std::isfinite(pixelsPerUnit)) return 1.0;
  const double ideal = target / pixelsPerUnit;
  double decade = std::pow(10.0, std::floor(std::log10(ideal)));
  double best = decade;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * decade <= ideal) best = m * decade;
  }
  return best;
}

DisplayList BuildViewDisplayList(const DisplaySnapshot& snap, const ViewTransform& view,
                                 const ViewOverlayStyle& style) {
  const bool stretched = view.mode() == ViewMode::kStretch;
  const int factor = std::clamp(style.vectorScale, 1, 1000);
  if (stretched && factor == 1 && !style.legend) {
    return BuildDisplayList(snap, view.viewWidth(), view.viewHeight());
  }
  DisplayList list;
  list.clientWidth = view.viewWidth();
  list.clientHeight = view.viewHeight();
  if (snap.hasImage) {
    list.bitmap = &ShownBitmap(snap);
    if (!stretched) PlaceBitmap(list, snap, view);
  }
  if (snap.cxDib <= 0 || snap.cyDib <= 0) return list;

  auto window = [&](double x, double y) -> WindowPoint {
    if (stretched) {
      return ImageToWindow(x, y, list.clientWidth, list.clientHeight, snap.cxDib, snap.cyDib);
    }
    const ViewPoint p = view.ImageToWindow({x, y});
    return {ToWindow(p.x), ToWindow(p.y)};
  };
  const long w = list.clientWidth;
  const long h = list.clientHeight;
  const std::size_t n = snap.points.size() / 4;
  const bool numbers = (snap.cfDrawMode & kDrawNumbers) != 0;
  const bool vectors = (snap.cfDrawMode & kDrawVectors) != 0;
  const bool triangles = (snap.cfDrawMode & kDrawTriangles) != 0;

  if (numbers) {
    // Beside the mark rather than over the spot; a label that would cover one already placed
    // is left out, so the numbers stay readable however small the picture.
    const long gap = snap.RectangleMarkWidth + 2;
    const long maxWidth = static_cast<long>(std::to_string(n).size()) * style.labelCharWidth;
    LabelSpace space(maxWidth, style.labelHeight);
    for (std::size_t i = 0; i < n; ++i) {
      const WindowPoint at = window(snap.points[4 * i], snap.points[4 * i + 1]);
      std::string text = std::to_string(i);
      const long tw = static_cast<long>(text.size()) * style.labelCharWidth;
      const WindowPoint corner{at.x + gap, at.y + gap};
      if (corner.x > w || corner.y > h || corner.x + tw < 0 || corner.y + style.labelHeight < 0) {
        continue;
      }
      if (!space.Take(corner.x, corner.y, tw, style.labelHeight)) continue;
      list.numbers.push_back({corner, std::move(text)});
    }
  }
  if (vectors) {
    const long m = snap.RectangleMarkWidth;
    for (std::size_t i = 0; i < n; ++i) {
      const double x = snap.points[4 * i];
      const double y = snap.points[4 * i + 1];
      const WindowPoint o = window(x, y);
      const WindowPoint t = window(x + factor * (snap.points[4 * i + 2] - x),
                                   y + factor * (snap.points[4 * i + 3] - y));
      if (SegmentOutside(o, t, w, h, m + 1)) continue;
      list.marks.push_back({{o.x - m, o.y - m}, {o.x + m, o.y + m}});
      list.vectors.push_back({o, t});
    }
    if (n > 0) AddScaleBar(list, view, factor);
  }
  if (triangles) {
    for (std::size_t t = 0; t + 2 < snap.triangles.size(); t += 3) {
      WindowPoint p[3];
      bool valid = true;
      for (std::size_t v = 0; v < 3 && valid; ++v) {
        const int k = snap.triangles[t + v];
        valid = k >= 0 && static_cast<std::size_t>(k) < n;
        if (valid) {
          const auto row = 4 * static_cast<std::size_t>(k);
          p[v] = window(snap.points[row], snap.points[row + 1]);
        }
      }
      if (!valid) continue;
      for (std::size_t e = 0; e < 3; ++e) {
        const WindowPoint& a = p[e];
        const WindowPoint& b = p[(e + 1) % 3];
        if (!SegmentOutside(a, b, w, h, 1)) list.triangleEdges.push_back({a, b});
      }
    }
  }
  AddResidualDots(snap, list, window);
  if (style.legend && n > 0) {
    if (vectors) {
      list.legend.push_back(
          {kVectorColour, "displacement" + (factor > 1 ? " \u00d7" + std::to_string(factor) : "")});
    }
    if (triangles) list.legend.push_back({kTriangleColour, "triangles"});
    if (numbers) list.legend.push_back({0u, "point numbers"});
    if (!list.residualDots.empty()) list.legend.push_back({0xFFFF0000u, "largest residual"});
  }
  return list;
}

}  // namespace zmr
