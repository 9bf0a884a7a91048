// UTF-8 helpers for the converter's own narrow text (paths, messages, log
// lines), which is UTF-8 on this platform.
//
// Text made here is always well-formed UTF-8: an unpaired surrogate from
// UTF-16 input becomes U+FFFD, and cutting a text to a byte budget never
// splits a character. Decoding is lenient: a byte that does not start a
// well-formed sequence decodes alone, as kStrayByte + the byte, so that
// such bytes still compare equal only to themselves.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace vk {

constexpr char32_t kStrayByte = 0x110000;

void AppendUtf8(std::string* out, char32_t c);

// The UTF-8 form of zero-terminated UTF-16 text (null reads as empty). Named
// apart from the engine's converters, which skip rather than substitute.
std::string ToUtf8Text(const char16_t* s);
std::u16string FromUtf8Text(std::string_view s);

// Decodes the character at *pos and advances *pos past it. *pos < s.size().
char32_t NextUtf8(std::string_view s, size_t* pos);

// Shortens s to at most maxBytes bytes, dropping whole characters only.
void CutUtf8(std::string* s, size_t maxBytes);

}  // namespace vk
