// Conversion between UTF-16 and UTF-8.
//
// Every converter takes an input pointer and a length in units, or -1 for
// "up to the terminator"; with a length it also stops early at a zero unit, so
// it never reads past the terminator nor past the given length. A null input
// is an empty text. The output is a buffer with its capacity in units, the
// terminator included: the output is always terminated when the capacity is
// at least 1, nothing is written at or past the capacity, and a character
// whose whole sequence does not fit ends the conversion (no partial
// sequences). The result is the number of units written, terminator not
// counted.
//
// UTF-16 -> UTF-8: a surrogate pair becomes one 4-byte sequence; a high
// surrogate not followed by a low one is skipped; a lone low surrogate is
// written as the 3-byte sequence of its value, so that it survives the way
// back.
//
// UTF-8 -> UTF-16: continuation bytes are taken as they come, without
// checking their top bits; a lead byte 0xC0-0xDF opens 2 bytes, 0xE0-0xEF 3,
// 0xF0-0xF7 4 (a surrogate pair, or one unit when the value is below
// 0x10000). A stray continuation byte (0x80-0xBF) or a byte 0xF8-0xFF in lead
// position, and a 4-byte value above U+10FFFF, are dropped. A sequence cut
// short by the terminator or the end of the input is dropped and ends the
// text.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vk {

int32_t Utf16ToUtf8(const char16_t* src, int32_t len, char* dst, int32_t cap);
int32_t Utf8ToUtf16(const char* src, int32_t len, char16_t* dst, int32_t cap);

// Units the whole conversion produces, terminator not counted.
int32_t Utf8LengthOf(const char16_t* src, int32_t len = -1);
int32_t Utf16LengthOf(const char* src, int32_t len = -1);

std::string Utf16ToUtf8(const char16_t* src, int32_t len = -1);
std::string Utf16ToUtf8(std::u16string_view src);
std::u16string Utf8ToUtf16(const char* src, int32_t len = -1);
std::u16string Utf8ToUtf16(std::string_view src);

inline bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace vk
