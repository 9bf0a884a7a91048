// The matchers of a search, over a prepared SearchPattern (text/Pattern.h).
//
//   prefix, exact          the text begins with the whole pattern
//   prefix, folded         the same after mapping both sides to upper case
//                          (bytes: a-z only; UTF-16 units: ToUpper)
//   substring, bytes       Boyer-Moore-Horspool over the substring pattern;
//                          folded: text bytes pass through ToLowerByte before
//                          each comparison and each shift lookup, against the
//                          lowered pattern and its shift table
//   substring, UTF-16      forward scan over candidate starts, one character
//                          (a surrogate pair is one) at a time, while at least
//                          m units remain; folded: both sides through ToLower
//
// Substring matchers answer the position (bytes or units) of the first
// occurrence, or -1. A text is zero-terminated (len -1) or exactly len units
// long; a null text is empty. Nothing is read past the terminator or the
// length.
//
// An empty pattern matches every text, empty or not: prefix matchers answer
// true and substring matchers position 0. Otherwise a text shorter than the
// pattern never matches.
//
// PatternMatcher binds a prepared pattern to the variant a search flag word
// selects (0x1000 prefix, else substring; 0x800 case-folded), so that a search
// calls MatchHeadword (stored form: bytes or UTF-16 units) and MatchField
// (decoded UTF-16 text) without knowing the variant.
#pragma once
#include <cstdint>

#include "text/Pattern.h"

namespace vk {

constexpr uint32_t kSearchFolded = 0x800;
constexpr uint32_t kSearchPrefix = 0x1000;

// shift: for every byte m, then for i = 0..m-2 shift[pat[i]] = m - 1 - i.
void BuildShiftTable(const uint8_t* pat, int32_t m, uint16_t shift[256]);
// The byte substring search itself: the first position of pat (m bytes,
// lowered when foldText) in text (n bytes), or -1. shift must have been built
// from the same pat.
int32_t BmhFind(const uint8_t* text, int32_t n, const uint8_t* pat, int32_t m, const uint16_t shift[256],
                bool foldText);

bool MatchPrefix8(const char* text, int32_t len, const SearchPattern& p);
bool MatchPrefixFolded8(const char* text, int32_t len, const SearchPattern& p);
bool MatchPrefix16(const char16_t* text, int32_t len, const SearchPattern& p);
bool MatchPrefixFolded16(const char16_t* text, int32_t len, const SearchPattern& p);

int32_t FindSubstring8(const char* text, int32_t len, const SearchPattern& p);
int32_t FindSubstringFolded8(const char* text, int32_t len, const SearchPattern& p);
int32_t FindSubstring16(const char16_t* text, int32_t len, const SearchPattern& p);
int32_t FindSubstringFolded16(const char16_t* text, int32_t len, const SearchPattern& p);

enum class MatchMode : uint8_t { PrefixExact, PrefixFolded, SubstringExact, SubstringFolded };

inline MatchMode MatchModeFromFlags(uint32_t flags) {
  bool folded = (flags & kSearchFolded) != 0;
  if (flags & kSearchPrefix) return folded ? MatchMode::PrefixFolded : MatchMode::PrefixExact;
  return folded ? MatchMode::SubstringFolded : MatchMode::SubstringExact;
}

class PatternMatcher {
 public:
  // Prepares the pattern (null: empty) and picks the variant from flags.
  void Prepare(const char16_t* pattern, uint32_t flags);
  // The same from bytes given in a byte build's stored form.
  void PrepareBytes(const char* pattern, uint32_t flags);
  // Empties the pattern, keeping the variant.
  void ClearPattern() { pattern_.Clear(pattern_.caseFolded()); }

  MatchMode mode() const { return mode_; }
  const SearchPattern& pattern() const { return pattern_; }

  // A headword as stored: UTF-8 (or raw) bytes, or UTF-16 units.
  bool MatchHeadword(const char* word, int32_t len = -1) const {
    switch (mode_) {
      case MatchMode::PrefixExact: return MatchPrefix8(word, len, pattern_);
      case MatchMode::PrefixFolded: return MatchPrefixFolded8(word, len, pattern_);
      case MatchMode::SubstringExact: return FindSubstring8(word, len, pattern_) >= 0;
      case MatchMode::SubstringFolded: return FindSubstringFolded8(word, len, pattern_) >= 0;
    }
    return false;
  }
  bool MatchHeadword(const char16_t* word, int32_t len = -1) const { return MatchField(word, len); }

  // A decoded field text in UTF-16.
  bool MatchField(const char16_t* text, int32_t len = -1) const {
    switch (mode_) {
      case MatchMode::PrefixExact: return MatchPrefix16(text, len, pattern_);
      case MatchMode::PrefixFolded: return MatchPrefixFolded16(text, len, pattern_);
      case MatchMode::SubstringExact: return FindSubstring16(text, len, pattern_) >= 0;
      case MatchMode::SubstringFolded: return FindSubstringFolded16(text, len, pattern_) >= 0;
    }
    return false;
  }

 private:
  SearchPattern pattern_;
  MatchMode mode_ = MatchMode::SubstringExact;
};

}  // namespace vk
