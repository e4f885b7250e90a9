// The client area of the main window: the selected display bitmap stretched over the widget
// with the overlays of the calibration points. It paints from a copy of the display state, so a
// paint never reads arrays that a worker thread is writing. Main (GUI) thread only.
#pragma once

#include <QWidget>
#include <optional>

#include "ui/DisplayList.h"

namespace zmr {

class DisplayWidget : public QWidget {
  Q_OBJECT
 public:
  explicit DisplayWidget(QWidget* parent = nullptr);

  // While a worker runs: paint from a copy of the display state taken now, until Thaw. Paints
  // otherwise take a fresh copy each time (the display bitmaps themselves are rebuilt by the
  // commands, not here).
  void Freeze();
  void Thaw();
  bool frozen() const { return frozen_.has_value(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::optional<DisplaySnapshot> frozen_;
};

}  // namespace zmr
