// The modeless thresholding dialog: a scroll bar that sets iThreshold and shows the source
// binarised at it as the target image, live. Main (GUI) thread only; not to be used while a
// worker writes Mtarget (the modal progress dialog prevents it).
#pragma once

#include <QDialog>

#include "ui/Dialogs.h"
#include "ui/Platform.h"

class QLabel;
class QScrollBar;

namespace zmr {

// "Image Thresholding": the "Threshold" text, the value text (object name "thresholdValue"),
// the scroll bar "thresholdScroll" (0..255 at iThreshold) and OK. Construction runs
// ThresholdDialogInit; every scroll action runs ThresholdDialogScroll and then shows
// iThreshold on the bar and in the text. OK, Escape or closing the window run
// ThresholdDialogClose and delete the dialog (WA_DeleteOnClose). The keyboard on the bar: Left
// and Up a line left, Right and Down a line right, Page Up and Page Down a page, Home and End
// to the ends. Show it with show().
class ThresholdDialog : public QDialog {
  Q_OBJECT
 public:
  ThresholdDialog(Platform& platform, QWidget* parent);
  ~ThresholdDialog() override;

  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnAction(int action);
  void OnReleased();
  void Scroll(ScrollRequest request, int position);
  void ShowThreshold();
  void Finish();

  Platform& platform_;
  QScrollBar* bar_ = nullptr;
  QLabel* value_ = nullptr;
  bool finished_ = false;
};

}  // namespace zmr
