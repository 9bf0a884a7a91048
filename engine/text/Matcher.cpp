#include "text/Matcher.h"

#include <algorithm>
#include <cstring>

#include "text/CaseFold.h"

namespace vk {

namespace {

template <class Unit>
int32_t TextLength(const Unit* text, int32_t len) {
  if (text == nullptr) return 0;
  if (len >= 0) return len;
  int32_t n = 0;
  while (text[n]) ++n;
  return n;
}

inline uint8_t Byte(char c) { return static_cast<uint8_t>(c); }

// Compares the first m units of text (bounded by len when len >= 0; a
// terminated text stops at its zero, which never equals a pattern unit) with
// pat after passing both through `map`.
template <class Unit, class Map>
bool PrefixWith(const Unit* text, int32_t len, const Unit* pat, int32_t m, Map map) {
  if (m == 0) return true;
  if (text == nullptr || (len >= 0 && len < m)) return false;
  for (int32_t i = 0; i < m; ++i) {
    if (text[i] == 0 || map(text[i]) != map(pat[i])) return false;
  }
  return true;
}

template <class Fold>
int32_t Bmh(const uint8_t* text, int32_t n, const uint8_t* pat, int32_t m, const uint16_t shift[256], Fold fold) {
  if (m > n) return -1;
  if (m == 1) {
    for (int32_t j = 0; j < n; ++j)
      if (fold(text[j]) == pat[0]) return j;
    return -1;
  }
  // a: text position aligned with the pattern's last byte.
  for (int32_t a = m - 1; a < n;) {
    int32_t k = 0;
    while (k < m && fold(text[a - k]) == pat[m - 1 - k]) ++k;
    if (k == m) return a - m + 1;
    int32_t j = a - k;
    a = j + std::max<int32_t>(k + 1, shift[fold(text[j])]);
  }
  return -1;
}

template <class Fold>
int32_t Scan16(const char16_t* text, int32_t len, const char16_t* pat, int32_t m, Fold fold) {
  if (m == 0) return 0;
  int32_t n = TextLength(text, len);
  if (n < m) return -1;
  const char16_t* end = text + n;
  const char16_t first = pat[0];
  for (const char16_t* p = text; end - p >= m; p = NextChar(p, end)) {
    if (fold(*p) != first) continue;
    int32_t i = 1;
    while (i < m && fold(p[i]) == pat[i]) ++i;
    if (i == m) return static_cast<int32_t>(p - text);
  }
  return -1;
}

}  // namespace

void BuildShiftTable(const uint8_t* pat, int32_t m, uint16_t shift[256]) {
  for (int b = 0; b < 256; ++b) shift[b] = static_cast<uint16_t>(m);
  for (int32_t i = 0; i + 1 < m; ++i) shift[pat[i]] = static_cast<uint16_t>(m - 1 - i);
}

int32_t BmhFind(const uint8_t* text, int32_t n, const uint8_t* pat, int32_t m, const uint16_t shift[256],
                bool foldText) {
  if (m == 0) return 0;
  if (text == nullptr) return -1;
  if (foldText) return Bmh(text, n, pat, m, shift, ToLowerByte);
  return Bmh(text, n, pat, m, shift, [](uint8_t b) { return b; });
}

bool MatchPrefix8(const char* text, int32_t len, const SearchPattern& p) {
  return PrefixWith(text, len, p.Utf8().data(), p.Length8(), [](char c) { return c; });
}

bool MatchPrefixFolded8(const char* text, int32_t len, const SearchPattern& p) {
  return PrefixWith(text, len, p.Utf8().data(), p.Length8(), [](char c) { return ToUpperByte(Byte(c)); });
}

bool MatchPrefix16(const char16_t* text, int32_t len, const SearchPattern& p) {
  return PrefixWith(text, len, p.Utf16().data(), p.Length16(), [](char16_t c) { return c; });
}

bool MatchPrefixFolded16(const char16_t* text, int32_t len, const SearchPattern& p) {
  return PrefixWith(text, len, p.Utf16().data(), p.Length16(), [](char16_t c) { return ToUpper(c); });
}

int32_t FindSubstring8(const char* text, int32_t len, const SearchPattern& p) {
  return BmhFind(reinterpret_cast<const uint8_t*>(text), TextLength(text, len),
                 reinterpret_cast<const uint8_t*>(p.Utf8().data()), p.SubLength8(), p.Shift(), false);
}

int32_t FindSubstringFolded8(const char* text, int32_t len, const SearchPattern& p) {
  return BmhFind(reinterpret_cast<const uint8_t*>(text), TextLength(text, len),
                 reinterpret_cast<const uint8_t*>(p.Lowered8().data()), p.SubLength8(), p.LoweredShift(), true);
}

int32_t FindSubstring16(const char16_t* text, int32_t len, const SearchPattern& p) {
  return Scan16(text, len, p.Utf16().data(), p.SubLength16(), [](char16_t c) { return c; });
}

int32_t FindSubstringFolded16(const char16_t* text, int32_t len, const SearchPattern& p) {
  return Scan16(text, len, p.Lowered16().data(), p.SubLength16(), [](char16_t c) { return ToLower(c); });
}

void PatternMatcher::Prepare(const char16_t* pattern, uint32_t flags) {
  mode_ = MatchModeFromFlags(flags);
  pattern_.Prepare(pattern, (flags & kSearchFolded) != 0);
}

void PatternMatcher::PrepareBytes(const char* pattern, uint32_t flags) {
  mode_ = MatchModeFromFlags(flags);
  pattern_.PrepareBytes(pattern, (flags & kSearchFolded) != 0);
}

}  // namespace vk
