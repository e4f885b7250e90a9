// The progress dialog of a long computation: it polls the worker's counters and offers
// Cancel. Main (GUI) thread only; the worker only writes the atomic counters it reads.
#pragma once

#include <QDialog>

#include "ui/Platform.h"

class QLabel;
class QProgressBar;
class QTimer;

namespace zmr {

// Shows the title text of its kind, its counter lines (object names "counter15", "counter16",
// "counter17" for iDetectedAreas, iAssignedPoints and iTriangles, as unsigned decimals from
// "0"; a kind without a line lacks that label) and the progress bar "bar1000" (0..100, set from
// iProgressStatus at start and at every tick). Every poll period it updates them and, when
// fTerminated is 1, closes itself (exec() returns Accepted). Cancel, Escape or closing the
// window set fTerminated to 1 and close at once (exec() returns Rejected), without waiting for
// the worker.
class WorkerProgressDialog : public QDialog {
  Q_OBJECT
 public:
  WorkerProgressDialog(ProgressDialog kind, QWidget* parent, int pollMilliseconds = 1000);

  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Tick();

  QTimer* timer_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QLabel* counters_[3] = {nullptr, nullptr, nullptr};
};

}  // namespace zmr
