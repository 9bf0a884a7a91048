// The text layer (text/): text in the engine's forms, knowing nothing of
// files or blocks. It owns UTF-8 / UTF-16 conversion (Utf.h), BOCU-1
// (Bocu1.h), case mapping (CaseFold.h), the character classes of
// translations (CharClass.h), the order of headwords (this header) and
// search patterns and their matchers (Pattern.h, Matcher.h). Invariants:
// conversions and matchers never read past a terminator or a given length
// nor write past a given capacity; the order below is the one the index and
// every block keep their headwords in, so it never changes.
//
// Dictionary order of headwords: stored units compared as unsigned values,
// the terminating zero taking part, with no folding of any kind. For UTF-8
// bytes this is code point order; for UTF-16 units it is code-unit order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace vk {

template <class Unit>
inline size_t UnitLength(const Unit* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

// Negative, zero or positive as a sorts before, with or after b.
template <class Unit>
inline int CompareWords(const Unit* a, const Unit* b) {
  for (;; ++a, ++b) {
    using U = std::make_unsigned_t<Unit>;
    unsigned ua = static_cast<U>(*a), ub = static_cast<U>(*b);
    if (ua != ub) return ua < ub ? -1 : 1;
    if (ua == 0) return 0;
  }
}

// As CompareWords over at most the first n units of each word (a word
// shorter than n takes part with its terminator).
template <class Unit>
inline int CompareWordsUpTo(const Unit* a, const Unit* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    using U = std::make_unsigned_t<Unit>;
    unsigned ua = static_cast<U>(a[i]), ub = static_cast<U>(b[i]);
    if (ua != ub) return ua < ub ? -1 : 1;
    if (ua == 0) return 0;
  }
  return 0;
}

// Number of leading units a and b share, stopping at the first zero of a.
template <class Unit>
inline size_t CommonPrefixLength(const Unit* a, const Unit* b) {
  size_t n = 0;
  while (a[n] && a[n] == b[n]) ++n;
  return n;
}

}  // namespace vk
