#include "state/TraceLog.h"

#include <cerrno>
#include <cstring>

#include "state/CNumericLocale.h"
#include "state/FileOpen.h"
#include "state/ProgramState.h"

namespace zmr {

int VfprintfInCLocale(std::FILE* f, const char* format, va_list args) {
  CNumericLocale cLocale;
  return std::vfprintf(f, format, args);
}

void OpenTraceLog(ProgramState& s, const char* mode) {
  CloseTraceLog(s);
  s.OUT_LOG = OpenFile(WorkFile(s, kTraceLogName).c_str(), mode);
  if (s.OUT_LOG == nullptr) {
    AddNote(s, std::string(kTraceLogName) + " cannot be written: " + FileErrorText(errno));
  }
}

void CloseTraceLog(ProgramState& s) {
  if (s.OUT_LOG == nullptr) return;
  const bool failed = std::ferror(s.OUT_LOG) != 0;
  const int error = errno;
  const bool closed = std::fclose(s.OUT_LOG) == 0;
  s.OUT_LOG = nullptr;
  NoteIncompleteFile(s, kTraceLogName, failed, closed, closed ? error : errno);
}

bool NoteIncompleteFile(ProgramState& s, const std::string& name, bool failed, bool closed,
                        int error) {
  if (!failed && closed) return true;
  AddNote(s, name + " is incomplete: " + (error != 0 ? FileErrorText(error) : "write error"));
  return false;
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
