#include "ui/qt/OptionsDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "state/OptionTable.h"

namespace zmr {

namespace {

QString NonDigits(const QString& text) {
  QString out;
  for (const QChar c : text) {
    if (c < u'0' || c > u'9') out += c;
  }
  return out;
}

}  // namespace

DigitsOnlyValidator::DigitsOnlyValidator(QLineEdit* field)
    : QValidator(field), allowed_(NonDigits(field->text())) {
  // Called for text set by the program and for accepted edits alike; a refused edit never
  // reaches the field.
  connect(field, &QLineEdit::textChanged, this,
          [this](const QString& text) { allowed_ = NonDigits(text); });
  field->setValidator(this);
}

QValidator::State DigitsOnlyValidator::validate(QString& input, int& /*pos*/) const {
  qsizetype next = 0;
  for (const QChar c : input) {
    if (c >= u'0' && c <= u'9') continue;
    while (next < allowed_.size() && allowed_[next] != c) ++next;
    if (next == allowed_.size()) return Invalid;
    ++next;
  }
  return Acceptable;
}

QLineEdit* NewDigitsOnlyEdit(const QString& text, QWidget* parent) {
  auto* edit = new QLineEdit(text, parent);
  new DigitsOnlyValidator(edit);
  return edit;
}

OptionsDialog::OptionsDialog(const OptionsDialogData& data, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Options");

  auto* title = new QLabel("Setting Values of Program Parameters", this);

  auto* grid = new QGridLayout;
  grid->setColumnStretch(1, 1);
  for (int i = 0; i < 8; ++i) {
    auto* label = new QLabel(Options()[static_cast<std::size_t>(i)].dialogLabel, this);
    fields_[i] = NewDigitsOnlyEdit(QString::fromStdString(data.fields[i]), this);
    fields_[i]->setObjectName(QString("field%1").arg(500 + i));
    label->setBuddy(fields_[i]);
    grid->addWidget(label, i, 0);
    grid->addWidget(fields_[i], i, 1);
  }

  QHBoxLayout* buttons = NewOkCancelRow(this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addLayout(grid);
  layout->addSpacing(6);
  layout->addLayout(buttons);
  setSizeGripEnabled(false);
}

QHBoxLayout* NewOkCancelRow(QDialog* dialog) {
  auto* cancel = new QPushButton("Cancel", dialog);
  auto* ok = new QPushButton("OK", dialog);
  ok->setDefault(true);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  buttons->addWidget(ok);
  buttons->addStretch(1);
  return buttons;
}

OptionsDialogData OptionsDialog::Data() const {
  OptionsDialogData data;
  for (int i = 0; i < 8; ++i) data.fields[i] = fields_[i]->text().toStdString();
  return data;
}

bool RunOptionsDialogQt(QWidget* parent, OptionsDialogData& data) {
  OptionsDialog dialog(data, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  data = dialog.Data();
  return true;
}

}  // namespace zmr
