// The five file dialogs: each with its own filters and default suffix, opening at the last
// name chosen in its group, and used both to open and to save. Main (GUI) thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "ui/Platform.h"

class QWidget;

namespace zmr {

// A dialog's filters as Qt name filters, ";;"-separated, each "DESCRIPTION (PATTERNS)": the
// description is what the list shows, the last parenthesis the patterns matched. The second
// filter of every dialog is "All files (*.*)", matching every file.
struct FileDialogSpec {
  QString filter;
  QString defaultSuffix;
};

FileDialogSpec FileDialogSpecOf(FileDialog which);

// Asks for a file name, starting from fileName (the group's last choice; empty: the current
// folder). Names of files that do not exist yet are accepted, and a name typed without a
// suffix gets the default one. True when the user chose a name: fileName is then the full path
// and titleName the name without its folder; false (both unchanged) when cancelled.
// save: a save dialog (its button saves, and it asks before replacing a file); title: the
// dialog's title (empty: Qt's own). With no name yet the dialog opens in the folder last used
// by its group, also in an earlier run (kept in the settings).
bool AskFileNameQt(QWidget* parent, FileDialog which, std::string& fileName, std::string& titleName,
                   bool save = false, const QString& title = {});

}  // namespace zmr
