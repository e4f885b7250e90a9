// Types of the options table: the seven value kinds an option can have and one table entry.
// The table itself lives in ProgramState; the reader is in ParameterScan.h.
#pragma once

namespace zmr {

enum ParameterType : int {
  LONG = 0,     // one integer into a long
  DOUBLE = 1,   // one real number
  VECT = 2,     // three real numbers
  ARRAYD = 3,   // (*SizeI) x (*SizeJ) real numbers
  INTEGER = 4,  // one integer into an int
  FLAG = 5,     // the keyword alone sets the int to ON
  STRING = 6,   // one text between double quotes
};

enum Boolean : int { OFF = 0, ON = 1 };

// One registered option. Name is not copied: it must outlive the table (string constants).
struct ParameterEntry {
  const char* Name = nullptr;
  int Type = 0;
  char ReadFLG = 0;  // 1 once the options file gave a value
  long* SizeI = nullptr;
  long* SizeJ = nullptr;
  union {
    double* Dnum;
    long* Lnum;
    int* Inum;
    char* Str;
    int (*Ifun)();
  } P = {nullptr};
};

inline constexpr int kParamTableCapacity = 1000;
inline constexpr int kParamTextBuffer = 250;  // keyword and string value buffers (249 chars + 0)

}  // namespace zmr
