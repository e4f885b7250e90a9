// Formatted writing to the trace log ("Trace.log", the record's OUT_LOG), always in the C numeric
// locale so that the log reads the same whatever locale the process runs in. Called by the
// thread that runs the traced computation.
#pragma once

#include <cstdarg>
#include <cstdio>

namespace zmr {

struct ProgramState;

// vfprintf to f in the C locale. Returns what vfprintf returns.
int VfprintfInCLocale(std::FILE* f, const char* format, va_list args);

// Writes to the open trace log; nothing when it is not open.
__attribute__((format(printf, 2, 3))) void TraceLog(const ProgramState& s, const char* format, ...);

}  // namespace zmr
