// The dialog that shows a report (the quality summary) as fixed-width text with an OK button.
// Main (GUI) thread only.
#pragma once

#include <QWidget>
#include <string>

namespace zmr {

// Shows title and text modally until OK or Escape.
void RunReportDialogQt(QWidget* parent, const std::string& title, const std::string& text);

}  // namespace zmr
