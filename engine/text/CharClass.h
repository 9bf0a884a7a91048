// Character classes that split and merge translation text.
//
//   separator               end of text (0) , U+3000 U+3001 U+3002 U+FF0C
//                           U+FF0E U+FF61 U+FF64
//   separator or semicolon  the separators, ; and U+FF1B
//   brackets                16 opening and 16 closing, paired by position
//                           (tables below); the last ten (indices 6-15) are
//                           the full-width opening brackets
//
// The tables are kept exactly as the dictionaries' merge rules were written:
// index 3 holds U+FFA2/U+FFA3 (not the half-width corner brackets U+FF62/
// U+FF63), and { } appear twice, at indices 2 and 5. A lookup answers the
// first index, so { and } are found at index 2.
#pragma once
#include <cstdint>

namespace vk {

constexpr int kBracketCount = 16;
constexpr int kFirstFullWidthBracket = 6;

extern const char16_t kOpeningBrackets[kBracketCount];
extern const char16_t kClosingBrackets[kBracketCount];

bool IsSeparator(char16_t c);
bool IsSeparatorOrSemicolon(char16_t c);

// True when c is in the table; *index (when given) receives its first index.
bool FindOpeningBracket(char16_t c, int* index = nullptr);
bool FindClosingBracket(char16_t c, int* index = nullptr);

bool IsFullWidthOpeningBracket(char16_t c);

// The partner of the opening bracket at `index` (0..15).
inline char16_t ClosingBracketFor(int index) { return kClosingBrackets[index]; }

}  // namespace vk
