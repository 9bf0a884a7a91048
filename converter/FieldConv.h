// Field text conversion between a Win32 (ANSI) dictionary and a Unicode one,
// character by character through a conversion table (Tablerw.h).
//
// ConvertFieldToUnicode walks the ANSI bytes: a byte flagged as a lead byte
// takes the next byte with it as a two-byte code (the trail byte is not
// checked); every other byte is a code by itself. A code whose entry is
// non-zero adds that UTF-16 unit; entry 0 adds nothing, counts one undefined
// character and logs
//     "<record> : <field> : UndefChar [0x<code>] : [<headword>]"
// A lead byte right before the terminator counts one multi-byte error, logs
//     "<record> : <field> : MultiByte Error [0x<byte>] : [<headword>]"
// and ends the field; what was converted before it stays.
//
// ConvertFieldToAnsi walks the UTF-16 units through an inverted table: an
// entry above 255 adds two bytes, high byte first; 1 to 255 one byte; 0
// nothing, with one undefined character counted and the UndefChar line
// logged with the unit.
//
// Codes print as "%02X": upper case, at least two digits, so two-byte codes
// and units above 0xFF show four. Log lines are UTF-8. The headword shown
// in a line is the record's source headword: UTF-16 headwords as UTF-8 cut
// to 199 bytes, the whole line then cut to 199 bytes; ANSI headwords
// decoded through the Word table (AnsiForLog), the whole line cut to 299
// bytes. Cuts never split a character.
#pragma once
#include <string>

#include "Tablerw.h"
#include "util/DumpLog.h"

namespace vk {

// Field names as the log lines show them.
extern const char kFieldWord[];  // headword
extern const char kFieldPron[];  // pronunciation
extern const char kFieldJapa[];  // translation
extern const char kFieldExp[];   // example

// What the field routines use of the conversion's state.
struct TFieldConvState {
  int recordNumber = 0;        // the record being converted, the first is 1
  int undefCount = 0;          // characters without a mapping
  int multiByteErrorCount = 0; // lead bytes without a trail byte
  TDumpLog* log = nullptr;     // the dump log; lines are dropped when null
  // The headword's table, which shows ANSI headwords in log lines; the
  // field's own table stands in while it is null.
  const TConvTable* wordTable = nullptr;
};

// Room for a log line, terminator included, in each direction.
constexpr size_t kAnsiLogLineSize = 300;
constexpr size_t kUnicodeLogLineSize = 200;
// Room for the headword shown in a Unicode-to-Win32 line, terminator included.
constexpr size_t kUnicodeLogWordSize = 200;

void ConvertFieldToUnicode(TFieldConvState& state, const TConvTable& table, const char* src,
                           std::u16string* dst, const char* srcWord, const char* fieldName);

void ConvertFieldToAnsi(TFieldConvState& state, const TConvTable& inverted, const char16_t* src,
                        std::string* dst, const char16_t* srcWord, const char* fieldName);

// ANSI text made readable for the dump log: each code decoded through
// `table` (not inverted) and written as UTF-8; every byte of a code that has
// no mapping, and a lead byte at the end, as "\xNN" (upper-case hex).
std::string AnsiForLog(const TConvTable& table, const char* text);

}  // namespace vk
