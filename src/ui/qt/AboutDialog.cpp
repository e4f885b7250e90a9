#include "ui/qt/AboutDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/Commands.h"

// The resources live in a static library: nothing refers to their initialiser, so the linker
// would drop it unless it is called. Q_INIT_RESOURCE must be used outside any namespace; a
// repeated call registers nothing twice.
static void InitProgramResources() { Q_INIT_RESOURCE(zmrcalibration); }

namespace zmr {

QIcon ProgramIcon() {
  InitProgramResources();
  return QIcon(":/zmrcalibration.svg");
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About ZMRCalibration");

  // Without an SVG image plugin the icon is empty; the box then shows its texts only.
  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(48, 48));
  icon->setAlignment(Qt::AlignCenter);
  icon->setVisible(!icon->pixmap().isNull());

  auto* about = new QLabel("About", this);
  about->setAlignment(Qt::AlignCenter);
  auto* product = new QLabel(kProductLine, this);
  product->setAlignment(Qt::AlignCenter);

  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  ok->setAutoDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 16, 24, 16);
  layout->addWidget(icon);
  layout->addWidget(about);
  layout->addSpacing(12);
  layout->addWidget(product);
  layout->addSpacing(16);
  layout->addLayout(buttons);
  ok->setFocus();
}

void RunAboutDialogQt(QWidget* parent) {
  AboutDialog dialog(parent);
  dialog.exec();
}

}  // namespace zmr
