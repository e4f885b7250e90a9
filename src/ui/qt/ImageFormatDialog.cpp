#include "ui/qt/ImageFormatDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/qt/OptionsDialog.h"

namespace zmr {

namespace {
QLabel* Centred(const QString& text, QWidget* parent, const char* objectName = nullptr) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(Qt::AlignCenter);
  if (objectName != nullptr) label->setObjectName(objectName);
  return label;
}
}  // namespace

ImageFormatDialog::ImageFormatDialog(const ImageFormatDialogData& data, QWidget* parent)
    : QDialog(parent), data_(data) {
  setWindowTitle("Image Format");

  list_ = new QListWidget(this);
  list_->setObjectName("list1001");
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  for (const std::string& line : data.formats) list_->addItem(QString::fromStdString(line));
  if (data.selection >= 0 && data.selection < list_->count()) {
    list_->setCurrentRow(data.selection);
    list_->scrollToItem(list_->currentItem(), QAbstractItemView::PositionAtCenter);
  }
  int widest = list_->fontMetrics().horizontalAdvance("0000 x 0000");
  for (int i = 0; i < list_->count(); ++i) {
    widest = std::max(widest, list_->fontMetrics().horizontalAdvance(list_->item(i)->text()));
  }
  list_->setFixedWidth(widest + 2 * list_->frameWidth() +
                       list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16);
  list_->setMinimumHeight(220);

  xOffset_ = NewDigitsOnlyEdit(QString::fromStdString(data.xOffset), this);
  xOffset_->setObjectName("field510");
  yOffset_ = NewDigitsOnlyEdit(QString::fromStdString(data.yOffset), this);
  yOffset_->setObjectName("field511");
  const int fieldWidth = xOffset_->fontMetrics().horizontalAdvance("-000000") + 16;
  xOffset_->setMaximumWidth(fieldWidth);
  yOffset_->setMaximumWidth(fieldWidth);

  auto* offsets = new QFormLayout;
  offsets->setFormAlignment(Qt::AlignHCenter);
  offsets->addRow("x offset:", xOffset_);
  offsets->addRow("y offset:", yOffset_);

  auto* info = new QVBoxLayout;
  info->addWidget(Centred("Default Image Format:", this));
  info->addWidget(Centred(QString::fromStdString(data.defaultFormat), this, "text531"));
  info->addWidget(Centred(QString::fromStdString(data.defaultPixels), this, "text532"));
  info->addSpacing(8);
  info->addWidget(Centred("Loaded image:", this));
  info->addWidget(Centred(QString::fromStdString(data.loadedPixels), this, "text533"));
  info->addSpacing(8);
  info->addWidget(Centred("Please select image ", this));
  info->addWidget(Centred("format and offset. ", this));
  info->addStretch(1);
  info->addLayout(offsets);

  auto* middle = new QHBoxLayout;
  middle->addWidget(list_);
  middle->addSpacing(12);
  middle->addLayout(info, 1);

  QHBoxLayout* buttons = NewOkCancelRow(this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Centred("Warning!", this));
  layout->addWidget(Centred("Loaded image format differs from default!", this));
  layout->addSpacing(8);
  layout->addLayout(middle, 1);
  layout->addSpacing(8);
  layout->addLayout(buttons);
}

ImageFormatDialogData ImageFormatDialog::Data() const {
  ImageFormatDialogData data = data_;
  data.selection = list_->currentRow();
  data.xOffset = xOffset_->text().toStdString();
  data.yOffset = yOffset_->text().toStdString();
  return data;
}

bool RunImageFormatDialogQt(QWidget* parent, ImageFormatDialogData& data) {
  ImageFormatDialog dialog(data, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  data = dialog.Data();
  return true;
}

}  // namespace zmr
