// The image-format dialog: confirms the format and the placement offsets of a text image whose
// value count differs from the default format. Main (GUI) thread only.
#pragma once

#include <QDialog>

#include "ui/Platform.h"

class QLineEdit;
class QListWidget;

namespace zmr {

// The format list (object name "list1001") with the proposal selected, the default format and
// its pixel count ("text531", "text532"), the loaded image's pixel count ("text533"), and the
// digits-only offset fields ("field510", "field511"). Changing the selection recomputes nothing.
class ImageFormatDialog : public QDialog {
  Q_OBJECT
 public:
  ImageFormatDialog(const ImageFormatDialogData& data, QWidget* parent);
  // data with the list selection (-1 when nothing is selected) and the two offset texts as
  // they are now.
  ImageFormatDialogData Data() const;

 private:
  ImageFormatDialogData data_;
  QListWidget* list_ = nullptr;
  QLineEdit* xOffset_ = nullptr;
  QLineEdit* yOffset_ = nullptr;
};

// Runs the dialog modally. True on OK: data.selection, data.xOffset and data.yOffset then hold
// what the user left; on Cancel (or Escape) false and data is unchanged.
bool RunImageFormatDialogQt(QWidget* parent, ImageFormatDialogData& data);

}  // namespace zmr
