#include "ui/qt/FurtherOptionsDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>
#include <cstdio>
#include <span>

#include "state/CNumericLocale.h"
#include "state/OptionTable.h"
#include "ui/Platform.h"

namespace zmr {

namespace {
std::span<const OptionSpec> FurtherOptions() {
  const std::span<const OptionSpec> all = Options();
  return all.size() > kDialogOptionCount ? all.subspan(kDialogOptionCount)
                                         : std::span<const OptionSpec>();
}

std::string ValueText(const ProgramState& s, const OptionSpec& option) {
  CNumericLocale cLocale;
  char text[64];
  const double value = OptionValue(s, option);
  if (option.kind == OptionKind::kDouble) {
    std::snprintf(text, sizeof text, "%g", value);
  } else {
    std::snprintf(text, sizeof text, "%.0f", value);
  }
  return text;
}
}  // namespace

std::vector<std::string> FurtherOptionTexts(const ProgramState& s) {
  std::vector<std::string> texts;
  for (const OptionSpec& option : FurtherOptions()) texts.push_back(ValueText(s, option));
  return texts;
}

Result ApplyFurtherOptions(ProgramState& s, const std::vector<std::string>& texts) {
  const std::span<const OptionSpec> options = FurtherOptions();
  if (texts.size() != options.size()) return Result::Fail("the number of fields is wrong");
  for (std::size_t i = 0; i < options.size(); ++i) {
    if (Result checked = CheckOptionText(options[i], texts[i]); !checked) return checked;
  }
  for (std::size_t i = 0; i < options.size(); ++i) SetOptionText(s, options[i], texts[i]);
  return Result::Ok();
}

bool RunFurtherOptionsDialogQt(QWidget* parent, ProgramState& s) {
  QDialog dialog(parent);
  dialog.setObjectName("furtherOptionsDialog");
  dialog.setWindowTitle("Further Options");
  auto* form = new QFormLayout;
  std::vector<QLineEdit*> fields;
  const std::vector<std::string> texts = FurtherOptionTexts(s);
  const std::span<const OptionSpec> options = FurtherOptions();
  for (std::size_t i = 0; i < options.size(); ++i) {
    auto* field = new QLineEdit(QString::fromStdString(texts[i]), &dialog);
    field->setObjectName(options[i].keyword);
    form->addRow(QString(options[i].keyword) + ":", field);
    fields.push_back(field);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel("The options after the eight of the Options dialog:", &dialog));
  layout->addLayout(form);
  layout->addWidget(buttons);
  bool stored = false;
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    std::vector<std::string> entered;
    for (QLineEdit* field : fields) entered.push_back(field->text().toStdString());
    const Result applied = ApplyFurtherOptions(s, entered);
    if (!applied) {
      QMessageBox box(QMessageBox::Warning, kMessageCaption,
                      QString::fromStdString(applied.message()), QMessageBox::Ok, &dialog);
      box.exec();
      return;
    }
    stored = true;
    dialog.accept();
  });
  dialog.exec();
  return stored;
}

}  // namespace zmr
