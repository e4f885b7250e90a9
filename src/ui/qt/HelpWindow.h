// The help file and its window. Main (GUI) thread only.
#pragma once

#include <string>

class QWidget;

namespace zmr {

// The help file to open: the first that exists of ./ZMRCalibration.html (the current folder),
// the installed copy and the copy in the source tree (where the build knows them), as an
// absolute path; empty when there is none.
std::string HelpFilePath();

// Shows the file in the window "ZMRCalibration Help" (a non-modal text browser, reused while it
// is open, deleted when closed). An empty or unreadable path shows a short note saying so
// instead.
void ShowHelpWindow(QWidget* parent, const std::string& path);

}  // namespace zmr
