#include "ui/qt/ProgressDialog.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "state/ProgramState.h"

namespace zmr {

namespace {

// The label of each counter line of a kind (nullptr: the kind has no such line). Line 0 shows
// iDetectedAreas, line 1 iAssignedPoints, line 2 iTriangles.
struct CounterLabels {
  const char* text[3];
};

CounterLabels LabelsOf(ProgressDialog kind) {
  switch (kind) {
    case ProgressDialog::AutoDetection:
      return {{"Detected Areas:", "Assigned Points:", "Triangles:"}};
    case ProgressDialog::Transformation:
      return {{"Lines Completed:", "Points:", "Triangles:"}};
    case ProgressDialog::AutoTriangulation:
    case ProgressDialog::Extrapolation:
    case ProgressDialog::Adjustment:
    case ProgressDialog::QualityReport:
      break;
  }
  return {{nullptr, "Points:", "Triangles:"}};
}

QString Unsigned(int value) { return QString::number(static_cast<unsigned>(value)); }

int Percent(int status) { return std::clamp(status, 0, 100); }

// How long the final counters show before the dialog closes (at most one poll period).
constexpr int kLastValuesMilliseconds = 400;

}  // namespace

WorkerProgressDialog::WorkerProgressDialog(ProgressDialog kind, QWidget* parent,
                                           int pollMilliseconds)
    : QDialog(parent) {
  const QString title = ProgressDialogTitle(kind);
  setWindowTitle(title);
  setModal(true);

  auto* titleLabel = new QLabel(title, this);
  titleLabel->setAlignment(Qt::AlignCenter);

  auto* grid = new QGridLayout;
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(3, 1);
  grid->setColumnMinimumWidth(2, fontMetrics().horizontalAdvance("0000000000"));
  const CounterLabels labels = LabelsOf(kind);
  int row = 0;
  for (int i = 0; i < 3; ++i) {
    if (labels.text[i] == nullptr) continue;
    auto* label = new QLabel(labels.text[i], this);
    counters_[i] = new QLabel("0", this);
    counters_[i]->setObjectName(QString("counter%1").arg(15 + i));
    counters_[i]->setAlignment(Qt::AlignCenter);
    grid->addWidget(label, row, 1);
    grid->addWidget(counters_[i], row, 2);
    ++row;
  }

  bar_ = new QProgressBar(this);
  bar_->setObjectName("bar1000");
  bar_->setRange(0, 100);
  bar_->setTextVisible(false);
  bar_->setValue(Percent(State().iProgressStatus.load()));

  auto* cancel = new QPushButton("Cancel", this);
  cancel->setDefault(true);
  connect(cancel, &QPushButton::clicked, this, &WorkerProgressDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 14, 20, 14);
  layout->addWidget(titleLabel);
  layout->addSpacing(6);
  layout->addLayout(grid);
  layout->addSpacing(6);
  layout->addWidget(bar_);
  layout->addSpacing(10);
  layout->addLayout(buttons);
  // Wide enough that the window manager's title bar shows the whole title beside its
  // buttons: its font is often larger and bolder than the dialog's.
  QFont titleFont = font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
  setMinimumWidth(std::max(360, QFontMetrics(titleFont).horizontalAdvance(title) + 160));

  timer_ = new QTimer(this);
  timer_->setInterval(std::max(1, pollMilliseconds));
  connect(timer_, &QTimer::timeout, this, &WorkerProgressDialog::Tick);
}

void WorkerProgressDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!timer_->isActive()) timer_->start();
}

void WorkerProgressDialog::Tick() {
  const ProgramState& s = State();
  bar_->setValue(Percent(s.iProgressStatus.load()));
  const int values[3] = {s.iDetectedAreas.load(), s.iAssignedPoints.load(), s.iTriangles.load()};
  for (int i = 0; i < 3; ++i) {
    if (counters_[i] != nullptr) counters_[i]->setText(Unsigned(values[i]));
  }
  if (s.fTerminated.load() == 1) {
    // The last values stay in sight a moment before the dialog closes.
    timer_->stop();
    QTimer::singleShot(std::min(timer_->interval(), kLastValuesMilliseconds), this,
                       &WorkerProgressDialog::accept);
  }
}

void WorkerProgressDialog::reject() {
  State().fTerminated = 1;
  timer_->stop();
  QDialog::reject();
}

}  // namespace zmr
