// Which Open command takes a file given without a dialog (dropped on the window, named on the
// command line, picked from the recent files): by its ending, and for text files by what the
// first lines hold. Qt-free; main thread only.
#pragma once

#include <string>

namespace zmr {

// IDM_OPEN_BITMAP for ".bmp"; IDM_OPEN_IMAGE for the image files of Open Image; for a text
// file (any other ending): IDM_POINTS_OPEN when its first line holds four numbers with
// decimals (a points file), IDM_OPEN_OSTREL when its values are hexadecimal (a letter a-f
// among the first 64 KiB), IDM_OPEN_ASCII otherwise. 0 for a file that cannot be read.
int OpenCommandForFile(const std::string& path);

}  // namespace zmr
