#include "ui/qt/DisplayWidget.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include "state/ProgramState.h"
#include "ui/qt/DisplayPainter.h"

namespace zmr {

DisplayWidget::DisplayWidget(QWidget* parent) : QWidget(parent) {
  // The painter covers the whole area (white first), so Qt need not erase it.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(16, 16);
}

void DisplayWidget::Freeze() { frozen_ = TakeDisplaySnapshot(State()); }

void DisplayWidget::Thaw() {
  frozen_.reset();
  update();
}

void DisplayWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  if (frozen_) {
    PaintDisplayList(painter, BuildDisplayList(*frozen_, width(), height()));
    return;
  }
  const DisplaySnapshot snapshot = TakeDisplaySnapshot(State());
  PaintDisplayList(painter, BuildDisplayList(snapshot, width(), height()));
}

void DisplayWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ProgramState& s = State();
  s.cxClient = event->size().width();
  s.cyClient = event->size().height();
}

}  // namespace zmr
