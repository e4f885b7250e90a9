// Opening files by name without ever waiting: a FIFO is opened non-blocking, so that one with no
// writer reads as empty at once and one with no reader is refused at once (errno ENXIO) instead
// of holding the program until somebody opens the other end. Everything else opens as fopen
// opens it.
//
// Threads: any thread.
#pragma once

#include <cstdio>
#include <string>

namespace zmr {

// fopen(path, mode) for the modes "r", "w" and "a" (each with an optional "b"), as above.
// Null with errno set when the file cannot be opened.
std::FILE* OpenFile(const char* path, const char* mode);

// The reason of an open or write failure for a message: the system's description of the error
// (in English, whatever the locale), but "nothing reads from it" for a FIFO without a reader.
std::string FileErrorText(int error);

}  // namespace zmr
