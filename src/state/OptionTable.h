// The table of the program's options: the eight of the options file and the Options dialog,
// in their fixed order, then those added after them. The options-file registration, the
// Options dialog's fields, zmrcal's `set` and its help are all made from this one table.
//
// Threads: the table is constant; RegisterOptions writes the record it is given (the thread
// that owns the record).
#pragma once

#include <span>
#include <string>

#include "state/Result.h"

namespace zmr {

struct ProgramState;

enum class OptionKind { kInteger, kLong, kDouble };

struct OptionSpec {
  const char* keyword;      // options-file keyword and `zmrcal set` name
  const char* dialogLabel;  // label of the Options dialog field; null: not in that dialog
  OptionKind kind;
  int ProgramState::*intValue;        // kInteger: the variable bound to the keyword
  long ProgramState::*longValue;      // kLong
  double ProgramState::*doubleValue;  // kDouble
  int ProgramState::*dialogShows;     // the value the dialog shows instead, if not null
  // Why a value makes no sense for the option ("the ... must ..."), or null when it does.
  const char* (*problem)(double value);
};

// Every option, the eight of the Options dialog first (field k is option k).
std::span<const OptionSpec> Options();
inline constexpr int kDialogOptionCount = 8;

// Index of the option named keyword (case-sensitive), or -1.
int FindOption(const std::string& keyword);

// "ImageWidth, ImageHeight, ..." for help texts.
std::string OptionKeywordList();

// Whether text is a value the option takes when it is typed (zmrcal set, the dialog): a whole
// number in the int range (blanks around it allowed) for integer options, a finite real number
// written out in full (at most 100 characters) for real ones, and one that makes sense for the
// option (CheckOptionValue). The failure names the keyword and the
// text.
Result CheckOptionText(const OptionSpec& option, const std::string& text);

// Whether value makes sense for the option: the failure says why, naming the keyword.
Result CheckOptionValue(const OptionSpec& option, double value);

// Stores text, which CheckOptionText accepted, into the option's variable in s.
void SetOptionText(ProgramState& s, const OptionSpec& option, const std::string& text);

// The value the option's variable holds in s, widened to double.
double OptionValue(const ProgramState& s, const OptionSpec& option);

// Registers every option of the table in the record's options table, in table order. Returns
// false when the table ran out of room (the options registered so far stay).
bool RegisterOptions(ProgramState& s);

}  // namespace zmr
