// The tab-separated entry lines that vkdic reads and writes.
//
// One entry a line: headword, translation, example, pronunciation, level,
// separated by tabs. Inside a field "\\", "\t", "\n" and "\r" stand for a
// backslash, a tab, a line feed and a carriage return (a merged translation
// holds CR LF); a backslash before any other character stands for itself.
// Trailing fields may be left out (empty texts, level 0). The level is a
// decimal number 0-15. Texts are bytes: UTF-8, or the bytes a VKC620
// dictionary stores.
#pragma once
#include <string>

#include "cli/ToolDic.h"

namespace vk {

std::string TsvEscape(const std::string& field);
std::string TsvUnescape(const std::string& field);

// The line of an entry, without a line end. The level is attr's low four bits.
std::string FormatTsvLine(const TToolEntry& entry);

// Splits one line (without its end) into its four texts, escapes kept as
// written (cli/DicText.h reads them), and its level. False, with *error set,
// for more than five fields or a level that is not a number 0-15. A tab is
// never the second byte of a two-byte Shift-JIS code, so splitting at tabs
// is right for stored bytes too.
bool SplitTsvLine(const std::string& line, std::string texts[4], int* level, std::string* error);

// Parses one line (without its end). False, with *error set, for an empty
// headword or a level that is not a number 0-15. The attribute becomes
// 0x80 (a fresh entry's bit) with the level.
bool ParseTsvLine(const std::string& line, TToolEntry* entry, std::string* error);

}  // namespace vk
