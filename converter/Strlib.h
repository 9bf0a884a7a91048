// Small parsing helpers for conversion table files and file names.
//
// Numbers, as table files write them:
//   "0x" (lower-case x) and then hexadecimal digits in either case: base 16.
//   Otherwise a run of the digits 0-9, also read in base 16 ("8140" is
//   0x8140), ending at the first character that is not 0-9.
//   A number that starts with a letter A-F or a-f reads as nothing: the
//   caller's default comes back and nothing is consumed.
// Values wider than 32 bits keep their low 32 bits and say so through
// *tooWide, so that a caller can refuse them while the low bits of a
// 16-bit value stay right.
#pragma once
#include <cstdint>

namespace vk {

inline bool IsHexDigitChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The first character at or after p that is neither a space nor a tab.
const char* SkipSpaces(const char* p);

// Reads a number at p. Answers `def` when no digit was read; *end (when not
// null) receives where reading stopped.
uint32_t ReadNumber(const char* p, uint32_t def, const char** end, bool* tooWide = nullptr);

// The extension of a file name: the text after its last "." when no path
// separator ("\" or "/") follows that dot; null when there is none. The
// name is UTF-8, whose multi-byte characters never hold these bytes, so
// walking it byte by byte walks it character by character.
const char* FindExtension(const char* name);

}  // namespace vk
