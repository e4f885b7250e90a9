// Formatted writing to the trace log ("Trace.log", State().OUT_LOG), always in the C numeric
// locale so that the log reads the same whatever locale the process runs in. Called by the
// thread that runs the traced computation.
#pragma once

#include <cstdarg>
#include <cstdio>

namespace zmr {

// vfprintf to f in the C locale. Returns what vfprintf returns.
int VfprintfInCLocale(std::FILE* f, const char* format, va_list args);

// Writes to the open trace log; nothing when it is not open.
__attribute__((format(printf, 1, 2))) void TraceLog(const char* format, ...);

}  // namespace zmr
