#include "ui/qt/ThresholdDialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "state/ProgramState.h"
#include "ui/Dialogs.h"

namespace zmr {

ThresholdDialog::ThresholdDialog(Platform& platform, QWidget* parent)
    : QDialog(parent), platform_(platform) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  setWindowTitle("Image Thresholding");

  auto* caption = new QLabel("Threshold", this);
  value_ = new QLabel(this);
  value_->setObjectName("thresholdValue");
  value_->setAlignment(Qt::AlignCenter);
  value_->setMinimumWidth(value_->fontMetrics().horizontalAdvance("0000") + 8);

  bar_ = new QScrollBar(Qt::Horizontal, this);
  bar_->setObjectName("thresholdScroll");
  bar_->setRange(0, 255);
  bar_->setSingleStep(1);
  bar_->setPageStep(16);
  bar_->setFocusPolicy(Qt::StrongFocus);
  bar_->setMinimumWidth(280);

  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QWidget::close);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption, 0, Qt::AlignLeft);
  layout->addWidget(value_, 0, Qt::AlignLeft);
  layout->addWidget(bar_);
  layout->addSpacing(12);
  layout->addLayout(buttons);

  ShowThreshold();
  ThresholdDialogInit(platform_);

  // actionTriggered comes after the slider moved its own position and before it takes it as
  // its value, so the value set in OnAction is the one the bar keeps.
  connect(bar_, &QAbstractSlider::actionTriggered, this, &ThresholdDialog::OnAction);
  connect(bar_, &QAbstractSlider::sliderReleased, this, &ThresholdDialog::OnReleased);
  bar_->installEventFilter(this);
}

ThresholdDialog::~ThresholdDialog() { Finish(); }

void ThresholdDialog::OnAction(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      Scroll(ScrollRequest::LineLeft, 0);
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      Scroll(ScrollRequest::LineRight, 0);
      break;
    case QAbstractSlider::SliderPageStepSub:
      Scroll(ScrollRequest::PageLeft, 0);
      break;
    case QAbstractSlider::SliderPageStepAdd:
      Scroll(ScrollRequest::PageRight, 0);
      break;
    case QAbstractSlider::SliderMove:
      Scroll(ScrollRequest::ThumbTrack, bar_->sliderPosition());
      break;
    case QAbstractSlider::SliderToMinimum:
      Scroll(ScrollRequest::LeftEnd, 0);
      break;
    case QAbstractSlider::SliderToMaximum:
      Scroll(ScrollRequest::RightEnd, 0);
      break;
    default:
      break;
  }
}

void ThresholdDialog::OnReleased() { Scroll(ScrollRequest::ThumbPosition, bar_->sliderPosition()); }

void ThresholdDialog::Scroll(ScrollRequest request, int position) {
  if (ThresholdDialogScroll(platform_, request, position)) ShowThreshold();
}

void ThresholdDialog::ShowThreshold() {
  const int threshold = State().iThreshold;
  bar_->setValue(threshold);
  value_->setText(QString::number(static_cast<unsigned>(threshold)));
}

bool ThresholdDialog::eventFilter(QObject* watched, QEvent* event) {
  // A scroll bar's own keys follow its inverted controls (Right would move it left); the
  // threshold bar moves the way the arrows point.
  if (watched != bar_ || event->type() != QEvent::KeyPress)
    return QDialog::eventFilter(watched, event);
  QAbstractSlider::SliderAction action = QAbstractSlider::SliderNoAction;
  switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
      action = QAbstractSlider::SliderSingleStepSub;
      break;
    case Qt::Key_Right:
    case Qt::Key_Down:
      action = QAbstractSlider::SliderSingleStepAdd;
      break;
    case Qt::Key_PageUp:
      action = QAbstractSlider::SliderPageStepSub;
      break;
    case Qt::Key_PageDown:
      action = QAbstractSlider::SliderPageStepAdd;
      break;
    case Qt::Key_Home:
      action = QAbstractSlider::SliderToMinimum;
      break;
    case Qt::Key_End:
      action = QAbstractSlider::SliderToMaximum;
      break;
    default:
      return QDialog::eventFilter(watched, event);
  }
  bar_->triggerAction(action);
  return true;
}

void ThresholdDialog::reject() { close(); }

void ThresholdDialog::closeEvent(QCloseEvent* event) {
  // QDialog's own handler would call reject() again; closing needs nothing more than this.
  Finish();
  event->accept();
}

void ThresholdDialog::Finish() {
  if (finished_) return;
  finished_ = true;
  ThresholdDialogClose(State());
}

}  // namespace zmr
