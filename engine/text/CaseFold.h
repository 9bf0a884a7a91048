// Case mapping of single UTF-16 units and stepping through UTF-16 text by
// characters: the engine's own small stand-in for the platform's lower-casing
// of one character and its "next character" step.
//
// The table follows Unicode's simple (one-to-one) case mappings for ASCII,
// Latin-1, Latin Extended-A, Greek and Coptic, Cyrillic and the full-width
// Latin letters; every other unit maps to itself. A mapping may leave the
// block it starts from (U+00FF upper is U+0178, U+0130 lower is 'i', U+00B5
// upper is U+039C); units without a simple mapping (U+00DF, U+0149, U+0390)
// map to themselves.
//
// In UTF-8 text the engine folds every byte as if it were a character by
// itself; only A-Z and a-z have partners below 0x80 and every byte of a
// multi-byte sequence is 0x80 or above, so the byte forms touch ASCII only.
#pragma once
#include <cstdint>

namespace vk {

char16_t LowerNonAscii(char16_t c);
char16_t UpperNonAscii(char16_t c);

inline char16_t ToLower(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  return LowerNonAscii(c);
}

inline char16_t ToUpper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  return UpperNonAscii(c);
}

inline uint8_t ToLowerByte(uint8_t b) { return (b >= 'A' && b <= 'Z') ? static_cast<uint8_t>(b + 32) : b; }
inline uint8_t ToUpperByte(uint8_t b) { return (b >= 'a' && b <= 'z') ? static_cast<uint8_t>(b - 32) : b; }

// The start of the character after the one at p: two units on for a surrogate
// pair, one otherwise; p itself at the terminator.
inline const char16_t* NextChar(const char16_t* p) {
  if (*p == 0) return p;
  if (*p >= 0xD800 && *p <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) return p + 2;
  return p + 1;
}

// The same over counted text: never steps past end, never reads *end.
inline const char16_t* NextChar(const char16_t* p, const char16_t* end) {
  if (p >= end) return end;
  if (*p >= 0xD800 && *p <= 0xDBFF && p + 1 < end && p[1] >= 0xDC00 && p[1] <= 0xDFFF) return p + 2;
  return p + 1;
}

}  // namespace vk
