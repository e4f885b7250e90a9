#include "state/ParameterScan.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "state/CNumericLocale.h"
#include "state/FileOpen.h"
#include "state/OptionTable.h"
#include "state/ProgramState.h"

namespace zmr {

namespace {

constexpr int kMaxText = kParamTextBuffer - 1;

bool IsAsciiAlnum(int c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Entries in use, never beyond the table whatever ParamTableSize holds.
int EntriesInUse(const ProgramState& s) {
  const int size = s.ParamTableSize;
  if (size < 0) return 0;
  return size < kParamTableCapacity ? size : kParamTableCapacity;
}

ParameterEntry* AppendEntry(ProgramState& s, const char* name, int type) {
  if (s.ParamTableSize < 0 || s.ParamTableSize >= kParamTableCapacity) return nullptr;
  ParameterEntry& entry = s.Param[static_cast<std::size_t>(s.ParamTableSize)];
  entry.Name = name;
  entry.Type = type;
  entry.ReadFLG = 0;
  return &entry;
}

// "%i" into an int: read as long (same prefixes and end of number), narrow modulo 2^32.
bool ReadInteger(std::FILE* in, int& value) {
  long wide = 0;
  if (std::fscanf(in, "%li", &wide) != 1) return false;
  value = static_cast<int>(wide);  // modulo 2^32, as the library's own "%i" store does
  return true;
}

// Number of elements of an ARRAYD value; 0 for a missing or negative size, saturated at the
// long range (the loop stops at the first failed conversion anyway).
long ArrayElements(const ParameterEntry& entry) {
  if (entry.SizeI == nullptr || entry.SizeJ == nullptr) return 0;
  const long rows = *entry.SizeI;
  const long cols = *entry.SizeJ;
  if (rows <= 0 || cols <= 0) return 0;
  long n = 0;
  if (__builtin_mul_overflow(rows, cols, &n)) return std::numeric_limits<long>::max();
  return n;
}

void ReadValue(ParameterEntry& entry, std::FILE* FINP, std::FILE* FERR) {
  switch (entry.Type) {
    case LONG: {
      int value = 0;
      if (ReadInteger(FINP, value)) {
        *entry.P.Lnum = value;
        std::fprintf(FERR, "= %i\n", value);
        entry.ReadFLG = 1;
      } else {
        std::fprintf(FERR, "cannot read parameter value (long)");
      }
      break;
    }
    case DOUBLE: {
      float value = 0.0f;
      if (std::fscanf(FINP, "%g", &value) == 1) {
        *entry.P.Dnum = static_cast<double>(value);
        std::fprintf(FERR, "= %f\n", static_cast<double>(value));
        entry.ReadFLG = 1;
      } else {
        std::fprintf(FERR, "cannot read parameter value");
      }
      break;
    }
    case VECT: {
      float v[3] = {0.0f, 0.0f, 0.0f};
      if (std::fscanf(FINP, "%g %g %g", &v[0], &v[1], &v[2]) == 3) {
        for (int k = 0; k < 3; ++k) entry.P.Dnum[k] = static_cast<double>(v[k]);
        std::fprintf(FERR, "=(%f,%f,%f)\n", entry.P.Dnum[0], entry.P.Dnum[1], entry.P.Dnum[2]);
        entry.ReadFLG = 1;
      } else {
        std::fprintf(FERR, "cannot read parameter value (vector)");
      }
      break;
    }
    case ARRAYD: {
      const long n = ArrayElements(entry);
      long k = 0;
      for (; k < n; ++k) {
        float value = 0.0f;
        // The blank after %g also swallows the white space after each number.
        if (std::fscanf(FINP, "%g ", &value) != 1) break;
        entry.P.Dnum[k] = static_cast<double>(value);
        std::fprintf(FERR, "%f ", entry.P.Dnum[k]);
      }
      if (k < n) {
        std::fprintf(FERR, "<-Error - not enough data");
      } else {
        entry.ReadFLG = 1;
      }
      break;
    }
    case INTEGER: {
      int value = 0;
      if (ReadInteger(FINP, value)) {
        *entry.P.Inum = value;
        std::fprintf(FERR, "= %i\n", value);
        entry.ReadFLG = 1;
      } else {
        std::fprintf(FERR, "cannot read parameter value (integer)");
      }
      break;
    }
    case FLAG:
      *entry.P.Inum = ON;
      std::fprintf(FERR, "= ON\n");
      entry.ReadFLG = 1;
      break;
    case STRING: {
      char text[kParamTextBuffer];
      if (ReadString(FINP, text) == 1) {
        std::strcpy(entry.P.Str, text);
        std::fprintf(FERR, "= %s\n", text);
        entry.ReadFLG = 1;
      } else {
        std::fprintf(FERR, "cannot read parameter value (string)");
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace

int AddParameterInteger(ProgramState& s, const char* Pname, int* Ppointer) {
  ParameterEntry* entry = AppendEntry(s, Pname, INTEGER);
  if (entry == nullptr) return -1;
  entry->P.Inum = Ppointer;
  return s.ParamTableSize++;
}

int AddParameterLong(ProgramState& s, const char* Pname, long* Ppointer) {
  ParameterEntry* entry = AppendEntry(s, Pname, LONG);
  if (entry == nullptr) return -1;
  entry->P.Lnum = Ppointer;
  return s.ParamTableSize++;
}

int AddParameterDouble(ProgramState& s, const char* Pname, double* Ppointer) {
  ParameterEntry* entry = AppendEntry(s, Pname, DOUBLE);
  if (entry == nullptr) return -1;
  entry->P.Dnum = Ppointer;
  return s.ParamTableSize++;
}

int ReadParameters(ProgramState& s, const char* FnameIN, const char* FnameER) {
  std::FILE* in = OpenFile(FnameIN, "r");
  std::FILE* log = OpenFile(FnameER, "w");
  if (in == nullptr || log == nullptr) {
    if (in != nullptr) std::fclose(in);
    if (log != nullptr) std::fclose(log);
    return 1;
  }
  ReadParametersFromStream(s, in, log);
  std::fclose(in);
  std::fclose(log);
  return 0;
}

int ReadParametersFromStream(ProgramState& s, std::FILE* FINP, std::FILE* FERR) {
  CNumericLocale cLocale;
  char word[kParamTextBuffer];
  int length = 0;
  int commentFLG = 0;
  int oneLineFLG = 0;
  int current = ' ';
  // A read error must end the loop as well as the end of file, or a stream that keeps failing
  // (a folder opened as a file) would never reach its end.
  while (!std::feof(FINP) && !std::ferror(FINP)) {
    const int previous = current;
    current = std::fgetc(FINP);
    switch (current) {
      case '*':
        if (previous == '/' && commentFLG == 0) commentFLG = 1;
        break;
      case '/':
        if (previous == '*' && commentFLG == 1 && oneLineFLG == 0) commentFLG = 0;
        if (previous == '/' && commentFLG == 0) {
          commentFLG = 1;
          oneLineFLG = 1;
        }
        break;
      case ' ':
      case '\n':
        if (length > 0 && commentFLG == 0) {
          word[length] = '\0';
          AnalyseKeyword(s, word, FINP, FERR);
          length = 0;
        }
        if (current == '\n' && oneLineFLG == 1) {
          commentFLG = 0;
          oneLineFLG = 0;
        }
        break;
      default:
        if (commentFLG == 0 && IsAsciiAlnum(current) && length < kMaxText) {
          word[length++] = static_cast<char>(current);
        }
        break;
    }
  }
  if (length > 0) {
    word[length] = '\0';
    AnalyseKeyword(s, word, FINP, FERR);
  }
  return 0;
}

int ReadParametersFromBuffer(ProgramState& s, const std::string& options, std::FILE* FERR) {
  if (FERR == nullptr) return 1;
  // Read-only stream: fmemopen needs a non-const pointer but never writes through it here.
  std::FILE* in = fmemopen(const_cast<char*>(options.data()), options.size(), "r");
  if (in == nullptr) return 1;
  ReadParametersFromStream(s, in, FERR);
  std::fclose(in);
  return 0;
}

std::string ReadParametersToLog(ProgramState& s, const std::string& options) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* log = open_memstream(&buffer, &size);
  if (log == nullptr) return {};
  ReadParametersFromBuffer(s, options, log);
  std::fclose(log);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

int AnalyseKeyword(ProgramState& s, const char* Keywordstr, std::FILE* FINP, std::FILE* FERR) {
  CNumericLocale cLocale;
  const int index = FindParam(s, Keywordstr);
  if (index < 0 || index >= EntriesInUse(s)) {
    std::fprintf(FERR, "\nError - %s keyword not recognized !", Keywordstr);
    return 0;
  }
  ParameterEntry& entry = s.Param[static_cast<std::size_t>(index)];
  std::fprintf(FERR, "%s (%i)", entry.Name, index);
  ReadValue(entry, FINP, FERR);
  return 0;
}

int ReadString(std::FILE* FINP, char* Ret) {
  int quotes = 0;
  int length = 0;
  while (quotes < 2) {
    const int c = std::fgetc(FINP);
    if (c == EOF) {
      Ret[length] = '\0';
      return 0;
    }
    if (c == '"') {
      ++quotes;
    } else if (quotes == 1 && length < kMaxText) {
      Ret[length++] = static_cast<char>(c);
    }
  }
  Ret[length] = '\0';
  return 1;
}

void InitParameters(ProgramState& s) {
  RegisterOptions(s);
  // A missing options file is normal: the defaults stay.
  const std::string options = WorkFile(s, "ProgramOptions.TXT");
  if (ReadParameters(s, options.c_str(), WorkFile(s, "SCAN.LOG").c_str()) != 0) {
    // The file is read only when its log can be written; say so when that kept a file unread.
    if (std::FILE* exists = OpenFile(options.c_str(), "r")) {
      std::fclose(exists);
      AddNote(s, "ProgramOptions.TXT was not read: SCAN.LOG cannot be created here");
    }
    return;
  }
  for (const OptionSpec& option : Options()) {
    if (CheckParam(s, option.keyword) == 0) continue;
    const double value = OptionValue(s, option);
    if (CheckOptionValue(option, value)) continue;
    char shown[64];
    {
      CNumericLocale cLocale;
      std::snprintf(shown, sizeof shown, "%g", value);
    }
    AddNote(s, std::string("ProgramOptions.TXT sets ") + option.keyword + " to " + shown + ": " +
                   option.problem(value));
  }
}

int FindParam(const ProgramState& s, const char* ParName) {
  const int used = EntriesInUse(s);
  for (int k = 0; k < used; ++k) {
    const char* name = s.Param[static_cast<std::size_t>(k)].Name;
    if (name != nullptr && std::strcmp(name, ParName) == 0) return k;
  }
  return s.ParamTableSize;
}

int CheckParam(const ProgramState& s, const char* ParName) {
  const int index = FindParam(s, ParName);
  if (index < 0 || index >= EntriesInUse(s)) return 0;
  return s.Param[static_cast<std::size_t>(index)].ReadFLG;
}

int WriteParameters(const ProgramState& s, const char* FnameOUT) {
  CNumericLocale cLocale;
  std::FILE* out = OpenFile(FnameOUT, "w");
  if (out == nullptr) return 1;
  const int used = EntriesInUse(s);
  for (int k = 0; k < used; ++k) {
    const ParameterEntry& entry = s.Param[static_cast<std::size_t>(k)];
    std::fprintf(out, "%s ", entry.Name != nullptr ? entry.Name : "");
    switch (entry.Type) {
      case LONG:
        std::fprintf(out, "%li", *entry.P.Lnum);
        break;
      case INTEGER:
        std::fprintf(out, "%i", *entry.P.Inum);
        break;
      case DOUBLE:
        std::fprintf(out, "%g", *entry.P.Dnum);
        break;
      default:
        std::fprintf(out, " ERROR -this type has not been implemented yet!\n");
        break;
    }
    std::fprintf(out, "\n");
  }
  std::fclose(out);
  return 0;
}

int ParamTableInit(ProgramState& s, int& Psize) {
  if (Psize < 0 || Psize > kParamTableCapacity - 2) return 0;
  ParameterEntry& imagex = s.Param[static_cast<std::size_t>(Psize)];
  imagex.Name = "IMAGEX";
  imagex.Type = INTEGER;
  imagex.P.Inum = &s.IMAGEX;
  ParameterEntry& maxSlope = s.Param[static_cast<std::size_t>(Psize) + 1];
  maxSlope.Name = "MAXSLOPE";
  maxSlope.Type = DOUBLE;
  maxSlope.P.Dnum = &s.MaxSlope;
  Psize += 2;
  for (int k = 0; k < Psize; ++k) s.Param[static_cast<std::size_t>(k)].ReadFLG = 0;
  return 1;
}

}  // namespace zmr
