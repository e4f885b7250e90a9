// Fuzz target: the options-file reader, with the program's eight options and one entry of each
// other value kind (vector, array, flag, string), so every branch of the tokeniser is reachable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "state/OptionTable.h"
#include "state/ParameterScan.h"
#include "state/ProgramState.h"

namespace {

void AddEntry(zmr::ProgramState& s, const char* name, int type, void* target, long* sizeI = nullptr,
              long* sizeJ = nullptr) {
  zmr::ParameterEntry& e = s.Param[static_cast<std::size_t>(s.ParamTableSize++)];
  e.Name = name;
  e.Type = type;
  e.SizeI = sizeI;
  e.SizeJ = sizeJ;
  e.P.Dnum = static_cast<double*>(target);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zmr::ProgramState s;
  zmr::RegisterOptions(s);

  double vect[3] = {};
  double grid[6] = {};
  long rows = 2;
  long cols = 3;
  int flag = 0;
  char title[zmr::kParamTextBuffer] = {};
  AddEntry(s, "Offset", zmr::VECT, vect);
  AddEntry(s, "Grid", zmr::ARRAYD, grid, &rows, &cols);
  AddEntry(s, "Verbose", zmr::FLAG, &flag);
  AddEntry(s, "Title", zmr::STRING, title);

  const std::string options(reinterpret_cast<const char*>(data), size);
  const std::string log = zmr::ReadParametersToLog(s, options);
  // The string value is always terminated within its buffer.
  if (std::memchr(title, '\0', sizeof title) == nullptr) std::abort();
  // The log echoes at most a bounded amount per input byte: nothing runs away.
  if (log.size() > 64 * (options.size() + 1) + 4096) std::abort();
  return 0;
}
