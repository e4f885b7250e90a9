// The zoomable view: image <-> window arithmetic at several placements and zooms, the
// display list it draws (exaggerated vectors, numbers that never overlap, the stretched
// picture unchanged), and the status text under the cursor in the running window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <cmath>

#include "gui/WindowTest.h"
#include "ui/Commands.h"
#include "ui/Display.h"
#include "ui/ViewDisplayList.h"
#include "ui/ViewTransform.h"
#include "ui/qt/DisplayWidget.h"
#include "ui/resource.h"

namespace zmr {
namespace {

// A 769 x 769 image in an 800 x 600 view.
ViewTransform View(ViewMode mode, double zoom = 1.0) {
  ViewTransform view;
  view.SetImageSize(769, 769);
  view.SetViewSize(800, 600);
  if (mode == ViewMode::kStretch) view.StretchToWindow();
  if (mode == ViewMode::kZoom) view.SetZoom(zoom);
  return view;
}

TEST(ViewTransformTest, ImageAndWindowCoordinatesAtSeveralPlacements) {
  const double fit = 600.0 / 769.0;
  const struct {
    ViewTransform view;
    double zoomX, zoomY;
    ViewPoint image, window;  // a pair that maps onto each other
  } cases[] = {
      // Fitted: aspect kept, centred across; pixel centres at half a pixel.
      {View(ViewMode::kFit), fit, fit, {0, 0}, {(800 - 769 * fit) / 2 + 0.5 * fit, 0.5 * fit}},
      // Stretched: the rendered picture's rule, no half pixel.
      {View(ViewMode::kStretch), 800.0 / 769, 600.0 / 769, {769, 769}, {800, 600}},
      // 1:1 and x4 about the view's centre: the image centre pixel stays in the middle.
      {View(ViewMode::kZoom, 1.0), 1, 1, {384, 384}, {400, 300}},
      {View(ViewMode::kZoom, 4.0), 4, 4, {384, 384}, {400, 300}},
      {View(ViewMode::kZoom, 4.0), 4, 4, {385, 384.25}, {404, 301}},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(c.view.zoomX(), c.zoomX);
    EXPECT_DOUBLE_EQ(c.view.zoomY(), c.zoomY);
    const ViewPoint w = c.view.ImageToWindow(c.image);
    EXPECT_NEAR(w.x, c.window.x, 1e-9);
    EXPECT_NEAR(w.y, c.window.y, 1e-9);
    const ViewPoint back = c.view.WindowToImage(c.window);
    EXPECT_NEAR(back.x, c.image.x, 1e-9);
    EXPECT_NEAR(back.y, c.image.y, 1e-9);
  }
}

TEST(ViewTransformTest, ZoomKeepsThePointUnderTheCursorAndPanStaysOnTheImage) {
  ViewTransform view = View(ViewMode::kFit);
  const ViewPoint cursor{300.0, 250.0};
  const ViewPoint under = view.WindowToImage(cursor);
  for (double factor : {2.0, 2.0, 0.5, 8.0}) {
    view.ZoomAbout(factor, cursor.x, cursor.y);
    const ViewPoint again = view.ImageToWindow(under);
    EXPECT_NEAR(again.x, cursor.x, 1e-6) << view.zoomX();
    EXPECT_NEAR(again.y, cursor.y, 1e-6) << view.zoomX();
  }
  EXPECT_EQ(view.zoomX(), view.zoomY());
  // However far it is dragged, the picture covers the view; the pixel under a corner is the
  // image's corner pixel then.
  int px = -1, py = -1;
  view.PanBy(1e6, 1e6);
  EXPECT_TRUE(view.PixelAt(0, 0, px, py));
  EXPECT_EQ(px, 0);
  EXPECT_EQ(py, 0);
  view.PanBy(-1e7, -1e7);
  EXPECT_TRUE(view.PixelAt(799.9, 599.9, px, py));
  EXPECT_EQ(px, 768);
  EXPECT_EQ(py, 768);
  EXPECT_DOUBLE_EQ(view.ScrollX(), view.width() - 800);
  // Zoom is bounded, and a picture smaller than the view is centred, not panned.
  view.ZoomAbout(1e9, 0, 0);
  EXPECT_DOUBLE_EQ(view.zoomX(), ViewTransform::kMaxZoom);
  view.ZoomAbout(1e-9, 0, 0);
  EXPECT_DOUBLE_EQ(view.zoomX(), view.MinZoom());
  view.PanBy(50, 50);
  EXPECT_DOUBLE_EQ(view.left(), (800 - view.width()) / 2);
  EXPECT_FALSE(view.PixelAt(1, 1, px, py));
}

DisplaySnapshot Points(std::vector<double> rows, int drawMode) {
  DisplaySnapshot snap;
  snap.cxDib = snap.cyDib = 769;
  snap.cfDrawMode = drawMode;
  snap.points = std::move(rows);
  return snap;
}

TEST(ViewDisplayListTest, VectorsExaggeratedNumbersApartStretchedPictureUnchanged) {
  // Vectors: the tip at measured + factor x shift, in window pixels at x4.
  const DisplaySnapshot one = Points({380, 380, 381.5, 379.5}, kDrawVectors);
  const ViewTransform zoomed = View(ViewMode::kZoom, 4.0);
  const DisplayList list = BuildViewDisplayList(one, zoomed, {.vectorScale = 10, .legend = true});
  const ViewPoint from = zoomed.ImageToWindow({380, 380});
  const ViewPoint tip = zoomed.ImageToWindow({395, 375});
  ASSERT_EQ(list.vectors.size(), 1u);  // in sight about the view's centre
  EXPECT_EQ(list.vectors[0].to.x, std::lround(tip.x));
  EXPECT_EQ(list.vectors[0].to.y, std::lround(tip.y));
  EXPECT_EQ(list.vectors[0].from.x, std::lround(from.x));
  const DisplayList fitted =
      BuildViewDisplayList(one, View(ViewMode::kFit), {.vectorScale = 20, .legend = true});
  ASSERT_EQ(fitted.vectors.size(), 1u);
  ASSERT_EQ(fitted.scaleBars.size(), 1u);
  EXPECT_NE(fitted.scaleBars[0].text.find("(\u00d720)"), std::string::npos);
  EXPECT_EQ(fitted.legend.size(), 1u);

  // A 40 x 40 grid of points 3 image pixels apart, fitted: the labels left never overlap.
  std::vector<double> rows;
  for (int j = 0; j < 40; ++j) {
    for (int i = 0; i < 40; ++i) rows.insert(rows.end(), {i * 3.0, j * 3.0, i * 3.0, j * 3.0});
  }
  const DisplayList numbers =
      BuildViewDisplayList(Points(rows, kDrawNumbers), View(ViewMode::kFit), {});
  ASSERT_FALSE(numbers.numbers.empty());
  EXPECT_LT(numbers.numbers.size(), 1600u);
  for (std::size_t a = 0; a < numbers.numbers.size(); ++a) {
    for (std::size_t b = a + 1; b < numbers.numbers.size(); ++b) {
      const auto& p = numbers.numbers[a];
      const auto& q = numbers.numbers[b];
      const long pw = static_cast<long>(p.text.size()) * 7,
                 qw = static_cast<long>(q.text.size()) * 7;
      const bool overlap = p.at.x < q.at.x + qw && q.at.x < p.at.x + pw && p.at.y < q.at.y + 14 &&
                           q.at.y < p.at.y + 14;
      ASSERT_FALSE(overlap) << p.text << " " << q.text;
    }
  }

  // Stretched, x1, no legend: the list of the rendered picture, item for item.
  const DisplaySnapshot all = Points(rows, kDrawNumbers | kDrawVectors);
  const DisplayList plain = BuildDisplayList(all, 800, 600);
  const DisplayList view =
      BuildViewDisplayList(all, View(ViewMode::kStretch), {.vectorScale = 1, .legend = false});
  ASSERT_EQ(view.numbers.size(), plain.numbers.size());
  ASSERT_EQ(view.vectors.size(), plain.vectors.size());
  for (std::size_t i = 0; i < plain.vectors.size(); ++i) {
    EXPECT_EQ(view.vectors[i].to.x, plain.vectors[i].to.x);
    EXPECT_EQ(view.numbers[i].at.y, plain.numbers[i].at.y);
  }
  EXPECT_FALSE(view.placement.placed);
}

TEST(ViewDisplayListTest, ScaleBarLengthsAreRoundNumbers) {
  const std::pair<double, double> cases[] = {{1.0, 50.0}, {4.0, 20.0},  {80.0, 1.0},
                                             {30.0, 2.0}, {0.6, 100.0}, {1000.0, 0.05}};
  for (const auto& [perPixel, expected] : cases) {
    EXPECT_DOUBLE_EQ(RoundBarLength(perPixel, 80.0), expected) << perPixel;
  }
}

using ViewerWindowTest = test::WindowTest;

TEST_F(ViewerWindowTest, StatusBarTellsPixelGreyCountsAndNearestPoint) {
  ProgramState& s = State();
  ASSERT_EQ(AllocateImageArrays(s, 769, 769), 1);
  s.Msource[100 * 769 + 200] = 77;
  s.SourceCounts.assign(769 * 769, 0.0);
  s.SourceCounts[100 * 769 + 200] = 1520.5;
  SourceArrayInt2Bitmap(s, 0);
  const double rows[] = {10, 10, 11, 10, 199.8, 100.3, 200.5, 100.0};
  std::copy(std::begin(rows), std::end(rows), s.PointsInput.begin());
  s.NumberOfPoints = 2;

  DisplayWidget* display = window_->display();
  for (int id : {IDM_VIEW_FIT, IDM_VIEW_ACTUAL, IDM_VIEW_ZOOM_IN, IDM_VIEW_ZOOM_IN}) {
    window_->RunMenuCommand(id);
    const ViewPoint at = display->view().ImageToWindow({200.0, 100.0});
    QWidget* viewport = display->viewport();
    if (at.x < 0 || at.y < 0 || at.x >= viewport->width() || at.y >= viewport->height()) {
      // Zoomed past the point: bring it into sight with the scroll bars.
      display->horizontalScrollBar()->setValue(display->horizontalScrollBar()->value() +
                                               static_cast<int>(at.x) - 100);
      display->verticalScrollBar()->setValue(display->verticalScrollBar()->value() +
                                             static_cast<int>(at.y) - 100);
    }
    const ViewPoint moved = display->view().ImageToWindow({200.0, 100.0});
    // The pixel's centre, where a pointer over it reports it at every zoom.
    const QPointF mouse(moved.x, moved.y);
    QMouseEvent move(QEvent::MouseMove, mouse, viewport->mapToGlobal(mouse), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    EXPECT_EQ(window_->CursorStatus().toStdString(),
              "x 200, y 100  grey 77  counts 1520.5    point 1 (199.80, 100.30) \u2192 ideal "
              "(200.50, 100.00) \u0394 +0.70, -0.30")
        << id;
  }
  EXPECT_NEAR(display->view().zoomX(), 2.0, 1e-9);
  // A report's leave-one-out error shows while the point is where the report found it.
  s.residualPoints = {10, 10, 199.8, 100.3};
  s.pointResiduals = {0.5, 0.125};
  const ViewPoint at = display->view().ImageToWindow({200.0, 100.0});
  const std::string withResidual = display->StatusAt(QPointF(at.x, at.y)).toStdString();
  EXPECT_NE(withResidual.find("\u0394 +0.70, -0.30  residual 0.125 px"), std::string::npos)
      << withResidual;
  s.pointResiduals[1] = NAN;  // a point the report could not predict
  EXPECT_EQ(display->StatusAt(QPointF(at.x, at.y)).toStdString().find("residual"),
            std::string::npos);
  s.pointResiduals[1] = 0.125;
  s.PointsInput[4] = 199.9;
  EXPECT_EQ(display->StatusAt(QPointF(at.x, at.y)).toStdString().find("residual"),
            std::string::npos);
  window_->RunMenuCommand(IDM_VIEW_FIT);
  EXPECT_TRUE(display->StatusAt(QPointF(2, 2)).isEmpty());  // beside the fitted image
}

}  // namespace
}  // namespace zmr
