// The About box (the product line and OK) and the program's icon. Main (GUI) thread only.
#pragma once

#include <QDialog>
#include <QIcon>

namespace zmr {

// The program icon from the resources (":/zmrcalibration.svg").
QIcon ProgramIcon();

// "About" and the product line, centred, above an OK button; OK or Escape closes it.
class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* parent);
};

// Runs the About box modally.
void RunAboutDialogQt(QWidget* parent);

}  // namespace zmr
