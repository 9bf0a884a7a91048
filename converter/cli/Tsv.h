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

// Parses one line (without its end). False, with *error set, for an empty
// headword or a level that is not a number 0-15. The attribute becomes
// 0x80 (a fresh entry's bit) with the level.
bool ParseTsvLine(const std::string& line, TToolEntry* entry, std::string* error);

}  // namespace vk
