// The client area of the main window: the selected display bitmap with the overlays of the
// calibration points, fitted to the window (aspect ratio kept), stretched over it, or at a
// chosen zoom with scroll bars, the mouse wheel zooming about the cursor and a drag panning.
// It paints from a copy of the display state, so a paint never reads arrays that a worker
// thread is writing. Main (GUI) thread only.
#pragma once

#include <QAbstractScrollArea>
#include <QPoint>
#include <optional>

#include "ui/DisplayList.h"
#include "ui/ViewDisplayList.h"
#include "ui/ViewTransform.h"

namespace zmr {

class DisplayWidget : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit DisplayWidget(QWidget* parent = nullptr);

  // While a worker runs: paint from a copy of the display state taken now, until Thaw. Paints
  // otherwise take a fresh copy each time (the display bitmaps themselves are rebuilt by the
  // commands, not here).
  void Freeze();
  void Thaw();
  bool frozen() const { return frozen_.has_value(); }

  // The record changed (a new image, overlays, the shown slot): repaint, with the scroll
  // bars brought in line with the image's size.
  void Refresh();

  const ViewTransform& view() const { return view_; }
  void FitToWindow();
  void StretchToWindow();
  void ActualPixels();
  // Zooms by a factor about the window point (the view's centre when none is given).
  void ZoomBy(double factor, std::optional<QPointF> about = std::nullopt);

  int vectorScale() const { return style_.vectorScale; }
  void SetVectorScale(int factor);
  bool legendShown() const { return style_.legend; }
  void SetLegendShown(bool shown);

  // The status text of the window point: pixel, grey level, counts and nearest point (empty
  // outside the image, and without the record while frozen).
  QString StatusAt(QPointF windowPoint) const;

 signals:
  // The placement changed (mode, zoom or pan).
  void viewChanged();
  // The cursor moved over the picture (the text is StatusAt of its position).
  void cursorStatus(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  // Brings the scroll bars in line with the view and repaints.
  void Changed();
  void SyncImageSize();

  std::optional<DisplaySnapshot> frozen_;
  ViewTransform view_;
  ViewOverlayStyle style_;
  std::optional<QPointF> dragFrom_;
  bool syncingBars_ = false;
};

}  // namespace zmr
