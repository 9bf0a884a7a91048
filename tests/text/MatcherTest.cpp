// The eight matchers, their selection by the search flag word, and the byte
// substring search against a naive model on random text.
#include "text/Matcher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "text/CaseFold.h"
#include "text/TextCorpus.h"
#include "text/Utf.h"

namespace vk {
namespace {

enum class Variant { Prefix8, PrefixFolded8, Prefix16, PrefixFolded16, Sub8, SubFolded8, Sub16, SubFolded16 };

const char* Name(Variant v) {
  static const char* names[] = {"prefix8",    "prefix8-folded",    "prefix16", "prefix16-folded",
                                "substring8", "substring8-folded", "substring16", "substring16-folded"};
  return names[static_cast<int>(v)];
}

// Runs one variant on UTF-16 inputs (the byte variants see the UTF-8 forms):
// the position for substring variants, 0/-1 for prefix variants.
int32_t RunVariant(Variant v, const std::u16string& text, const std::u16string& pattern) {
  bool folded = v == Variant::PrefixFolded8 || v == Variant::PrefixFolded16 || v == Variant::SubFolded8 ||
                v == Variant::SubFolded16;
  SearchPattern p;
  p.Prepare(pattern.c_str(), folded);
  std::string t8 = Utf16ToUtf8(text);
  auto pos = [](bool b) { return b ? 0 : -1; };
  switch (v) {
    case Variant::Prefix8: return pos(MatchPrefix8(t8.c_str(), -1, p));
    case Variant::PrefixFolded8: return pos(MatchPrefixFolded8(t8.c_str(), -1, p));
    case Variant::Prefix16: return pos(MatchPrefix16(text.c_str(), -1, p));
    case Variant::PrefixFolded16: return pos(MatchPrefixFolded16(text.c_str(), -1, p));
    case Variant::Sub8: return FindSubstring8(t8.c_str(), -1, p);
    case Variant::SubFolded8: return FindSubstringFolded8(t8.c_str(), -1, p);
    case Variant::Sub16: return FindSubstring16(text.c_str(), -1, p);
    case Variant::SubFolded16: return FindSubstringFolded16(text.c_str(), -1, p);
  }
  return -2;
}

struct Case {
  Variant v;
  std::u16string text, pattern;
  int32_t expect;  // position, or -1; prefix variants: 0 for a match
};

const Case kCases[] = {
    // Prefix, exact.
    {Variant::Prefix8, u"abcdef", u"abc", 0},
    {Variant::Prefix8, u"abcdef", u"abd", -1},
    {Variant::Prefix8, u"ab", u"abc", -1},
    {Variant::Prefix8, u"Abc", u"abc", -1},
    {Variant::Prefix8, u"\u3042\u3044", u"\u3042", 0},
    {Variant::Prefix16, u"abcdef", u"abc", 0},
    {Variant::Prefix16, u"ab", u"abc", -1},
    {Variant::Prefix16, u"ABC", u"abc", -1},
    {Variant::Prefix16, u"\U0001F600x", u"\U0001F600", 0},
    // Prefix, folded: both sides to upper case.
    {Variant::PrefixFolded8, u"ABx", u"ab", 0},
    {Variant::PrefixFolded8, u"abx", u"AB", 0},
    {Variant::PrefixFolded8, u"\u00C9a", u"\u00E9a", -1},  // only ASCII folds in bytes
    {Variant::PrefixFolded8, u"a", u"ab", -1},
    {Variant::PrefixFolded16, u"ABx", u"ab", 0},
    {Variant::PrefixFolded16, u"\u00C9a", u"\u00E9A", 0},
    {Variant::PrefixFolded16, u"\u0416\u0410", u"\u0436\u0430", 0},
    {Variant::PrefixFolded16, u"\uFF21b", u"\uFF41B", 0},
    {Variant::PrefixFolded16, u"ab", u"abc", -1},
    // Substring, bytes, exact.
    {Variant::Sub8, u"xABCx", u"ABC", 1},
    {Variant::Sub8, u"xABCx", u"abc", -1},
    {Variant::Sub8, u"abcxyz", u"abc", 0},         // at the first byte
    {Variant::Sub8, u"xyzabc", u"abc", 3},         // ends at the last byte
    {Variant::Sub8, u"aaab", u"aab", 1},
    {Variant::Sub8, u"abababc", u"ababc", 2},
    {Variant::Sub8, u"ab", u"abc", -1},
    {Variant::Sub8, u"xyz", u"z", 2},
    {Variant::Sub8, u"xyz", u"q", -1},
    {Variant::Sub8, u"", u"a", -1},
    {Variant::Sub8, u"a\u3042b", u"\u3042", 1},    // byte position
    {Variant::Sub8, u"\u3042\u3044", u"\u3044", 3},
    // Substring, bytes, folded: the text's A-Z fold, nothing else.
    {Variant::SubFolded8, u"xABCx", u"abc", 1},
    {Variant::SubFolded8, u"xabcx", u"ABC", 1},
    {Variant::SubFolded8, u"\u00E9a", u"\u00C9A", -1},
    {Variant::SubFolded8, u"x\u00E9a", u"\u00E9A", 1},
    {Variant::SubFolded8, u"xyZ", u"z", 2},
    {Variant::SubFolded8, u"XYZ", u"z", 2},
    // Substring, UTF-16, exact.
    {Variant::Sub16, u"xABCx", u"ABC", 1},
    {Variant::Sub16, u"xABCx", u"abc", -1},
    {Variant::Sub16, u"\u3042\u3044\u3046", u"\u3044\u3046", 1},  // first unit above U+00FF
    {Variant::Sub16, u"abc\u6F22\u5B57", u"\u5B57", 4},
    {Variant::Sub16, u"\U0001F600\U0001F601", u"\U0001F601", 2},
    {Variant::Sub16, u"ab", u"abc", -1},
    {Variant::Sub16, u"", u"a", -1},
    {Variant::Sub16, u"xyz", u"z", 2},
    // Candidates step by characters: a low surrogate inside a pair is not a start.
    {Variant::Sub16, u"\U0001F600", u"\xDE00", -1},
    // Substring, UTF-16, folded: every unit folds.
    {Variant::SubFolded16, u"xABCx", u"abc", 1},
    {Variant::SubFolded16, u"\u00E9a", u"\u00C9A", 0},
    {Variant::SubFolded16, u"\u0395\u039B\u039B\u0391\u03A3", u"\u03BB\u03BB", 1},
    {Variant::SubFolded16, u"x\uFF21\uFF22", u"\uFF41\uFF42", 1},
    {Variant::SubFolded16, u"xyZ", u"z", 2},
    // An empty pattern matches everything at the start.
    {Variant::Prefix8, u"", u"", 0},
    {Variant::PrefixFolded16, u"abc", u"", 0},
    {Variant::Sub8, u"", u"", 0},
    {Variant::Sub16, u"abc", u"", 0},
    {Variant::SubFolded8, u"abc", u"", 0},
    {Variant::SubFolded16, u"", u"", 0},
};

TEST(Matcher, Table) {
  for (const Case& c : kCases) {
    EXPECT_EQ(c.expect, RunVariant(c.v, c.text, c.pattern))
        << Name(c.v) << " text '" << Utf16ToUtf8(c.text) << "' pattern '" << Utf16ToUtf8(c.pattern) << "'";
  }
}

TEST(Matcher, SubstringLooksForTheFirst256UnitsPrefixForAll) {
  std::u16string pattern(300, u'a');
  for (size_t i = 256; i < 300; ++i) pattern[i] = u'b';
  // The text holds the pattern's first 256 units only, then something else.
  std::u16string text = u"x" + std::u16string(256, u'a') + u"c";
  for (Variant v : {Variant::Sub8, Variant::SubFolded8, Variant::Sub16, Variant::SubFolded16})
    EXPECT_EQ(1, RunVariant(v, text, pattern)) << Name(v);
  std::u16string prefixText = std::u16string(256, u'a') + u"c";
  for (Variant v : {Variant::Prefix8, Variant::PrefixFolded8, Variant::Prefix16, Variant::PrefixFolded16}) {
    EXPECT_EQ(-1, RunVariant(v, prefixText, pattern)) << Name(v);
    EXPECT_EQ(0, RunVariant(v, pattern + u"zz", pattern)) << Name(v);
  }
  SearchPattern p;
  p.Prepare(pattern.c_str(), false);
  EXPECT_EQ(256, p.SubLength8());
  EXPECT_EQ(256, p.SubLength16());
  EXPECT_EQ(300, p.Length16());
  // A byte absent from a 256-byte pattern shifts by 256, beyond one byte.
  EXPECT_EQ(256, p.Shift()[static_cast<uint8_t>('z')]);
}

TEST(Matcher, CountedTextsEndAtTheirLength) {
  SearchPattern p;
  p.Prepare(u"cd", true);
  const char t8[] = {'a', 'b', 'c', 'd'};  // no terminator
  EXPECT_EQ(-1, FindSubstring8(t8, 3, p));
  EXPECT_EQ(2, FindSubstring8(t8, 4, p));
  EXPECT_EQ(2, FindSubstringFolded8(t8, 4, p));
  const char16_t t16[] = {u'a', u'b', u'C', u'D'};
  EXPECT_EQ(-1, FindSubstringFolded16(t16, 3, p));
  EXPECT_EQ(2, FindSubstringFolded16(t16, 4, p));
  p.Prepare(u"ab", false);
  EXPECT_FALSE(MatchPrefix8(t8, 1, p));
  EXPECT_TRUE(MatchPrefix8(t8, 2, p));
  EXPECT_FALSE(MatchPrefix16(t16, 1, p));
  EXPECT_TRUE(MatchPrefix16(t16, 2, p));
  EXPECT_FALSE(MatchPrefix16(nullptr, -1, p));
  EXPECT_EQ(-1, FindSubstring16(nullptr, -1, p));
}

// The shift table is fixed: m for absent bytes, m - 1 - i for the last
// position i < m - 1 of each byte; the last pattern byte's own position does
// not count.
TEST(Matcher, ShiftTableLayout) {
  SearchPattern p;
  p.PrepareBytes("abcaD", false);
  const uint16_t* s = p.Shift();
  EXPECT_EQ(1, s['a']);
  EXPECT_EQ(3, s['b']);
  EXPECT_EQ(2, s['c']);
  EXPECT_EQ(5, s['D']);  // only at the last position
  EXPECT_EQ(5, s['d']);
  EXPECT_EQ(5, s['z']);
  const uint16_t* l = p.LoweredShift();
  EXPECT_EQ(1, l['a']);
  EXPECT_EQ(5, l['d']);
  EXPECT_EQ(5, l['D']);
  p.PrepareBytes("xx", false);
  EXPECT_EQ(1, p.Shift()['x']);
  EXPECT_EQ(2, p.Shift()['y']);
}

// Flag word -> variant, through the one object a search holds.
TEST(Matcher, SelectionByFlags) {
  struct {
    uint32_t flags;
    MatchMode mode;
    const char16_t* text;
    bool headword, field;
  } cases[] = {
      {0x1001, MatchMode::PrefixExact, u"abx", true, true},
      {0x1001, MatchMode::PrefixExact, u"ABx", false, false},
      {0x1801, MatchMode::PrefixFolded, u"ABx", true, true},
      {0x1801, MatchMode::PrefixFolded, u"xab", false, false},
      {0x0001, MatchMode::SubstringExact, u"xabx", true, true},
      {0x0001, MatchMode::SubstringExact, u"xABx", false, false},
      {0x0803, MatchMode::SubstringFolded, u"xABx", true, true},
      {0x0803, MatchMode::SubstringFolded, u"xAx", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.flags) + " " + Utf16ToUtf8(c.text));
    PatternMatcher m;
    m.Prepare(u"ab", c.flags);
    EXPECT_EQ(c.mode, m.mode());
    std::string w8 = Utf16ToUtf8(c.text);
    EXPECT_EQ(c.headword, m.MatchHeadword(w8.c_str()));
    EXPECT_EQ(c.headword, m.MatchHeadword(c.text));
    EXPECT_EQ(c.field, m.MatchField(c.text));
    PatternMatcher b;
    b.PrepareBytes("ab", c.flags);
    EXPECT_EQ(c.headword, b.MatchHeadword(w8.c_str()));
  }
  // The headword matcher of a byte build folds only ASCII; the field matcher
  // folds every unit.
  PatternMatcher m;
  m.Prepare(u"\u00C9A", 0x0803);
  std::string w8 = Utf16ToUtf8(u"\u00E9a");
  EXPECT_FALSE(m.MatchHeadword(w8.c_str()));
  EXPECT_TRUE(m.MatchField(u"\u00E9a"));
  m.ClearPattern();
  EXPECT_EQ(MatchMode::SubstringFolded, m.mode());
  EXPECT_TRUE(m.MatchField(u"anything"));
}

// Byte substring search (both variants) against the obvious search, on
// texts over a small alphabet so that near-matches abound.
TEST(Matcher, ByteSearchAgreesWithNaiveSearch) {
  const uint32_t seed = test::TestSeed(31337);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  const std::string alphabet = "abAB\xC3\xA9";
  auto randomBytes = [&](int maxLen) {
    std::string s(std::uniform_int_distribution<int>(0, maxLen)(rng), 'a');
    for (char& c : s) c = alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
    return s;
  };
  for (int round = 0; round < 4000; ++round) {
    std::string text = randomBytes(round % 10 == 0 ? 600 : 40);
    std::string pat;
    if (round % 3 == 0 && !text.empty()) {
      // A piece of the text, so that matches occur.
      size_t a = std::uniform_int_distribution<size_t>(0, text.size() - 1)(rng);
      size_t n = std::uniform_int_distribution<size_t>(1, text.size() - a)(rng);
      pat = text.substr(a, n);
    } else {
      pat = randomBytes(round % 10 == 0 ? 300 : 6);
      if (pat.empty()) pat = "a";
    }
    SearchPattern p;
    p.PrepareBytes(pat.c_str(), true);
    const size_t m = std::min<size_t>(pat.size(), 256);
    auto naive = [&](bool fold) -> int32_t {
      auto f = [&](char c) { return fold ? ToLowerByte(static_cast<uint8_t>(c)) : static_cast<uint8_t>(c); };
      for (size_t i = 0; i + m <= text.size(); ++i) {
        size_t k = 0;
        while (k < m && f(text[i + k]) == f(pat[k])) ++k;
        if (k == m) return static_cast<int32_t>(i);
      }
      return -1;
    };
    ASSERT_EQ(naive(false), FindSubstring8(text.c_str(), -1, p)) << "round " << round;
    ASSERT_EQ(naive(true), FindSubstringFolded8(text.c_str(), -1, p)) << "round " << round;
  }
}

// UTF-16 scan against a model that lists character starts first.
TEST(Matcher, Utf16ScanAgreesWithCharacterStartModel) {
  const uint32_t seed = test::TestSeed(4711);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  const char16_t units[] = {u'a', u'A', u'b', 0x00E9, 0x00C9, 0xD83D, 0xDE00, 0xDE01};
  auto randomUnits = [&](int maxLen) {
    std::u16string s(std::uniform_int_distribution<int>(0, maxLen)(rng), u'a');
    for (char16_t& c : s) c = units[std::uniform_int_distribution<int>(0, 7)(rng)];
    return s;
  };
  for (int round = 0; round < 4000; ++round) {
    std::u16string text = randomUnits(30);
    std::u16string pat = randomUnits(4);
    if (pat.empty()) pat = u"a";
    SearchPattern p;
    p.Prepare(pat.c_str(), true);
    auto model = [&](bool fold) -> int32_t {
      auto f = [&](char16_t c) { return fold ? ToLower(c) : c; };
      for (size_t i = 0; i + pat.size() <= text.size();) {
        size_t k = 0;
        while (k < pat.size() && f(text[i + k]) == f(pat[k])) ++k;
        if (k == pat.size()) return static_cast<int32_t>(i);
        bool pair = IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
        i += pair ? 2 : 1;
      }
      return -1;
    };
    ASSERT_EQ(model(false), FindSubstring16(text.c_str(), -1, p)) << "round " << round;
    ASSERT_EQ(model(true), FindSubstringFolded16(text.c_str(), -1, p)) << "round " << round;
  }
}

}  // namespace
}  // namespace vk
