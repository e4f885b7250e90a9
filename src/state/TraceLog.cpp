#include "state/TraceLog.h"

#include "state/CNumericLocale.h"
#include "state/ProgramState.h"

namespace zmr {

int VfprintfInCLocale(std::FILE* f, const char* format, va_list args) {
  CNumericLocale cLocale;
  return std::vfprintf(f, format, args);
}

void TraceLog(const ProgramState& s, const char* format, ...) {
  std::FILE* log = s.OUT_LOG;
  if (log == nullptr) return;
  va_list args;
  va_start(args, format);
  VfprintfInCLocale(log, format, args);
  va_end(args);
}

}  // namespace zmr
