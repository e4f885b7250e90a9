// The Options dialog (eight tunable values as text) and the digits-only edit field that it
// shares with the image-format dialog. Main (GUI) thread only.
#pragma once

#include <QDialog>
#include <QString>
#include <QValidator>
#include <array>

#include "ui/Platform.h"

class QHBoxLayout;
class QLineEdit;

namespace zmr {

// Lets the user type digits only into its field, while text that the program set (a minus
// sign, a decimal point) is shown and read back unchanged: an edit is accepted when its
// non-digit characters are, in order, a selection of those the field holds now. So "-5" may
// become "-53" or "53", never "-5a", and a deleted sign cannot be typed back.
class DigitsOnlyValidator : public QValidator {
  Q_OBJECT
 public:
  // Installs itself on the field (as its child).
  explicit DigitsOnlyValidator(QLineEdit* field);
  State validate(QString& input, int& pos) const override;

 private:
  QString allowed_;  // the non-digit characters of the field's text, in order
};

// A new digits-only field showing the program's text. Later text from the program goes in
// with setText(), which the validator does not check.
QLineEdit* NewDigitsOnlyEdit(const QString& text, QWidget* parent);

// The centred "Cancel" / "OK" row of the modal dialogs (OK is the default button).
QHBoxLayout* NewOkCancelRow(QDialog* dialog);

// "Setting Values of Program Parameters": the eight labelled fields in the order of
// OptionsDialogData (object names "field500" .. "field507"), Cancel and OK.
class OptionsDialog : public QDialog {
  Q_OBJECT
 public:
  OptionsDialog(const OptionsDialogData& data, QWidget* parent);
  // The eight field texts as they are now.
  OptionsDialogData Data() const;

 private:
  std::array<QLineEdit*, 8> fields_{};
};

// Runs the dialog modally. True on OK: data then holds the eight texts as the user left them;
// on Cancel (or Escape) false and data is unchanged.
bool RunOptionsDialogQt(QWidget* parent, OptionsDialogData& data);

}  // namespace zmr
