// Formatted writing to the trace log ("Trace.log", the record's OUT_LOG), always in the C numeric
// locale so that the log reads the same whatever locale the process runs in. Called by the
// thread that runs the traced computation.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace zmr {

struct ProgramState;

// vfprintf to f in the C locale. Returns what vfprintf returns.
int VfprintfInCLocale(std::FILE* f, const char* format, va_list args);

// Opens the record's trace log (kTraceLogName in its work folder) with fopen mode "w" or "a",
// closing a stream still open first. When the file cannot be opened OUT_LOG stays null (the
// run goes on unlogged) and a note says why.
void OpenTraceLog(ProgramState& s, const char* mode);

// Closes the open trace log (nothing when none is open) and sets OUT_LOG to null; a note says
// so when some of its lines could not be written (a full disk).
void CloseTraceLog(ProgramState& s);

// After fclose-ing a stream of name that had ferror() == failed and closed with closed: a note
// when anything of it was lost. Returns true when the file is complete.
bool NoteIncompleteFile(ProgramState& s, const std::string& name, bool failed, bool closed,
                        int error);

// Writes to the open trace log; nothing when it is not open.
__attribute__((format(printf, 2, 3))) void TraceLog(const ProgramState& s, const char* format, ...);

}  // namespace zmr
