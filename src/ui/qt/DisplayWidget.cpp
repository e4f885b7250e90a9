#include "ui/qt/DisplayWidget.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>

#include "state/ProgramState.h"
#include "ui/StatusText.h"
#include "ui/qt/DisplayPainter.h"

namespace zmr {

DisplayWidget::DisplayWidget(QWidget* parent) : QAbstractScrollArea(parent) {
  setFrameShape(QFrame::NoFrame);
  // The painter covers the whole area (white first), so Qt need not erase it.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  setMinimumSize(16, 16);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  const QFontMetrics metrics(font());
  style_.labelCharWidth = metrics.horizontalAdvance('0');
  style_.labelHeight = metrics.height();
  SyncImageSize();
}

void DisplayWidget::Freeze() { frozen_ = TakeDisplaySnapshot(State()); }

void DisplayWidget::Thaw() {
  frozen_.reset();
  SyncImageSize();
  Changed();
}

void DisplayWidget::SyncImageSize() {
  const ProgramState& s = State();
  if (frozen_) {
    view_.SetImageSize(frozen_->cxDib, frozen_->cyDib);
  } else {
    view_.SetImageSize(s.cxDib, s.cyDib);
  }
}

void DisplayWidget::Refresh() {
  SyncImageSize();
  Changed();
}

void DisplayWidget::FitToWindow() {
  view_.FitToWindow();
  Changed();
}

void DisplayWidget::StretchToWindow() {
  view_.StretchToWindow();
  Changed();
}

void DisplayWidget::ActualPixels() {
  SyncImageSize();
  view_.ActualPixels();
  Changed();
}

void DisplayWidget::ZoomBy(double factor, std::optional<QPointF> about) {
  SyncImageSize();
  const QPointF at = about.value_or(QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0));
  view_.ZoomAbout(factor, at.x(), at.y());
  Changed();
}

void DisplayWidget::SetVectorScale(int factor) {
  style_.vectorScale = std::max(factor, 1);
  viewport()->update();
}

void DisplayWidget::SetLegendShown(bool shown) {
  style_.legend = shown;
  viewport()->update();
}

void DisplayWidget::Changed() {
  // The bars may appear or vanish, which resizes the viewport: settle that first.
  for (int round = 0; round < 3; ++round) {
    syncingBars_ = true;
    const auto setBar = [](QScrollBar* bar, double picture, int page, double position) {
      const int range = std::max(0, static_cast<int>(std::ceil(picture)) - page);
      bar->setRange(0, range);
      bar->setPageStep(page);
      bar->setSingleStep(std::max(page / 20, 1));
      bar->setValue(static_cast<int>(std::lround(position)));
    };
    const bool zoomed = view_.mode() == ViewMode::kZoom;
    setBar(horizontalScrollBar(), zoomed ? view_.width() : 0.0, viewport()->width(),
           view_.ScrollX());
    setBar(verticalScrollBar(), zoomed ? view_.height() : 0.0, viewport()->height(),
           view_.ScrollY());
    syncingBars_ = false;
    if (view_.viewWidth() == viewport()->width() && view_.viewHeight() == viewport()->height()) {
      break;
    }
    view_.SetViewSize(viewport()->width(), viewport()->height());
  }
  viewport()->update();
  emit viewChanged();
}

void DisplayWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(viewport());
  SyncImageSize();
  if (frozen_) {
    PaintDisplayList(painter, BuildViewDisplayList(*frozen_, view_, style_));
    return;
  }
  // No worker runs: the record's picture is drawn as it stands, without a copy (a drag
  // repaints at every move).
  const DisplaySnapshot snapshot = TakeDisplaySnapshot(State(), false);
  PaintDisplayList(painter, BuildViewDisplayList(snapshot, view_, style_));
}

void DisplayWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  ProgramState& s = State();
  s.cxClient = viewport()->width();
  s.cyClient = viewport()->height();
  view_.SetViewSize(viewport()->width(), viewport()->height());
  Changed();
}

void DisplayWidget::scrollContentsBy(int /*dx*/, int /*dy*/) {
  if (syncingBars_) return;
  view_.ScrollTo(horizontalScrollBar()->value(), verticalScrollBar()->value());
  viewport()->update();
  emit viewChanged();
}

void DisplayWidget::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches == 0.0) return QAbstractScrollArea::wheelEvent(event);
  ZoomBy(std::pow(ViewTransform::kZoomStep, notches), event->position());
  event->accept();
}

void DisplayWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && view_.mode() == ViewMode::kZoom) {
    dragFrom_ = event->position();
    viewport()->setCursor(Qt::ClosedHandCursor);
  }
}

void DisplayWidget::mouseMoveEvent(QMouseEvent* event) {
  if (dragFrom_) {
    const QPointF moved = event->position() - *dragFrom_;
    dragFrom_ = event->position();
    view_.PanBy(moved.x(), moved.y());
    Changed();
  }
  emit cursorStatus(StatusAt(event->position()));
}

void DisplayWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && dragFrom_) {
    dragFrom_.reset();
    viewport()->unsetCursor();
  }
}

void DisplayWidget::leaveEvent(QEvent* event) {
  QAbstractScrollArea::leaveEvent(event);
  emit cursorStatus(QString());
}

QString DisplayWidget::StatusAt(QPointF windowPoint) const {
  if (frozen_) return {};
  const ProgramState& s = State();
  if (s.fBitmap[static_cast<std::size_t>(s.cCurrentBitmap == 1 ? 1 : 0)] != 1) return {};
  int px = 0;
  int py = 0;
  if (!view_.PixelAt(windowPoint.x(), windowPoint.y(), px, py)) return {};
  std::string text = PixelStatusText(s, px, py);
  // The nearest point to the cursor's image position, in the convention of the overlays.
  const ViewPoint at = view_.WindowToImage({windowPoint.x(), windowPoint.y()});
  if (const std::string point = NearestPointText(s, at.x, at.y); !point.empty()) {
    text += "    " + point;
  }
  return QString::fromStdString(text);
}

}  // namespace zmr
