// The options table and the options-file reader: registration of named options bound to
// program-state variables (the record's Param and ParamTableSize), the keyword tokeniser of
// "ProgramOptions.TXT", the per-type value reads and the echo log "SCAN.LOG".
//
// Threads: main thread only, at start-up, before any worker thread exists.
//
// File syntax in short: words are runs of ASCII letters and digits ended by a blank or a
// newline outside a comment; every other byte is dropped without ending the word. "/*...*/"
// and "//...\n" are comments. A word that names a registered option is followed by its value,
// read with the C library's formatted input, which skips white space first.
//
// Limits and hostile input:
// - A keyword keeps its first 249 characters; further letters and digits of the same word are
//   dropped (the word still ends only at a blank or newline).
// - A quoted string value keeps its first 249 characters; the rest up to the closing quote is
//   read and dropped.
// - Integer values are read with the "%li" conversion (same prefixes as "%i": sign, octal 0,
//   hex 0x/0X; on this platform strtol semantics, saturating at the long range) and narrowed
//   to int modulo 2^32. This is exactly what "%i" into an int gives on this platform for every
//   value, in range or not, without relying on an out-of-range store.
// - Real values are read with "%g" into a float, so "nan", "inf" and out-of-range values
//   (stored as infinity) are accepted as the C library accepts them.
// - End of file (or a read error) ends a comment, a string and the whole read: any bytes,
//   including NUL bytes and binary junk, are read to the end without hang or overflow.
#pragma once

#include <cstdio>
#include <string>

#include "state/ParameterTypes.h"

namespace zmr {

struct ProgramState;

// Append an option of type INTEGER, LONG or DOUBLE bound to *Ppointer, named by the string
// constant Pname (not copied). Returns the new entry's index, or -1 when the table is full
// (nothing changes then). SizeI and SizeJ of the entry are left as they were.
int AddParameterInteger(ProgramState& s, const char* Pname, int* Ppointer);
int AddParameterLong(ProgramState& s, const char* Pname, long* Ppointer);
int AddParameterDouble(ProgramState& s, const char* Pname, double* Ppointer);

// Reads the options file FnameIN and writes the echo log FnameER (created or truncated first).
// Returns 0 when the options file was read to its end (a read error counts as the end), 1 when
// either file could not be opened (then nothing is assigned; a log that opened is left empty).
int ReadParameters(ProgramState& s, const char* FnameIN, const char* FnameER);

// The reader over open streams: tokenises FINP to its end (or to a read error), assigning the
// options it names and logging to FERR. Returns 0.
int ReadParametersFromStream(ProgramState& s, std::FILE* FINP, std::FILE* FERR);

// The reader over a memory buffer holding the options file's bytes, logging to FERR. Returns
// 0, or 1 when FERR is null or the buffer could not be opened as a stream.
int ReadParametersFromBuffer(ProgramState& s, const std::string& options, std::FILE* FERR);

// Same as ReadParametersFromBuffer, returning the log text (empty when nothing was logged or
// no log stream could be made).
std::string ReadParametersToLog(ProgramState& s, const std::string& options);

// Looks the word Keywordstr up (case-sensitive, first match), reads its value from FINP at the
// current position and logs the echo or the error to FERR. On a failed value read the bound
// variable and ReadFLG are unchanged and FINP stays at the first character not consumed.
// Unknown words read nothing. An ARRAYD entry whose SizeI or SizeJ is null or not positive
// expects no values. Always returns 0.
int AnalyseKeyword(ProgramState& s, const char* Keywordstr, std::FILE* FINP, std::FILE* FERR);

// Skips to the first double quote and copies what follows up to the second one into Ret
// (at most 249 characters plus the terminating zero; Ret must hold 250). Returns 1 when the
// closing quote was read, 0 when the file ended first (Ret then holds the characters copied
// so far, zero-terminated).
int ReadString(std::FILE* FINP, char* Ret);

// Registers the options of the option table (OptionTable.h) in their fixed order, then reads
// "ProgramOptions.TXT" writing "SCAN.LOG" in the record's work folder (the current directory
// by default). A missing or unreadable options file leaves defaults.
void InitParameters(ProgramState& s);

// Index of the first entry named ParName, or ParamTableSize when there is none.
int FindParam(const ProgramState& s, const char* ParName);

// ReadFLG of the entry named ParName (1 when the options file set it), 0 when not registered.
int CheckParam(const ProgramState& s, const char* ParName);

// Writes the table as text, one "keyword value" line per entry. Returns 0, or 1 when the file
// could not be opened for writing.
int WriteParameters(const ProgramState& s, const char* FnameOUT);

// Writes the entries "IMAGEX" (INTEGER, bound to the record's IMAGEX) and "MAXSLOPE" (DOUBLE,
// bound to its MaxSlope) at indices Psize and Psize + 1, advances Psize by two and clears
// ReadFLG of entries 0 .. Psize - 1. Returns 1; returns 0 and changes nothing when Psize is
// negative or fewer than two table entries are left at Psize. ParamTableSize is not changed.
int ParamTableInit(ProgramState& s, int& Psize);

}  // namespace zmr
