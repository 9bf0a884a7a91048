// Dictionary order: the orderings the dictionaries rely on, in both stored
// forms, including where UTF-8 and UTF-16 order part ways.
#include "text/Collation.h"

#include <gtest/gtest.h>

#include <string>

#include "text/Utf.h"

namespace vk {
namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

// Each pair (a, b) with a before b, as UTF-16; `both` when the UTF-8 forms
// sort the same way.
struct Ordered {
  std::u16string a, b;
  bool sameInUtf8;
};

const Ordered kOrdered[] = {
    {u"a", u"ab", true},
    {u"ab", u"b", true},
    {u"B", u"a", true},
    {u"", u"a", true},
    {u"zzz", u"\u00E9", true},       // U+00E9 after every ASCII word
    {u"z", u"\u00E9a", true},
    {u"\u00FF", u"\u0100", true},    // unsigned bytes: 0xC3 0xBF < 0xC4 0x80
    {u"\u3042", u"\u30A2", true},
    {u"\U0001F600", u"\uFF21", false},  // UTF-16: surrogates before U+FF21
    {u"\U0001F600", u"\uE000", false},
    {u"\uD7FF", u"\U00010000", true},
};

TEST(Collation, OrderInBothForms) {
  for (const Ordered& o : kOrdered) {
    SCOPED_TRACE(Utf16ToUtf8(o.a) + " | " + Utf16ToUtf8(o.b));
    EXPECT_EQ(-1, Sign(CompareWords(o.a.c_str(), o.b.c_str())));
    EXPECT_EQ(1, Sign(CompareWords(o.b.c_str(), o.a.c_str())));
    std::string a8 = Utf16ToUtf8(o.a), b8 = Utf16ToUtf8(o.b);
    int expect8 = o.sameInUtf8 ? -1 : 1;
    EXPECT_EQ(expect8, Sign(CompareWords(a8.c_str(), b8.c_str())));
    EXPECT_EQ(-expect8, Sign(CompareWords(b8.c_str(), a8.c_str())));
    EXPECT_EQ(0, CompareWords(a8.c_str(), a8.c_str()));
    EXPECT_EQ(0, CompareWords(o.b.c_str(), o.b.c_str()));
  }
}

TEST(Collation, NoFoldingOfAnyKind) {
  EXPECT_NE(0, CompareWords(u"Apple", u"apple"));
  EXPECT_NE(0, CompareWords(u"\uFF41", u"a"));      // width
  EXPECT_NE(0, CompareWords(u"\u3042", u"\u30A2"));  // kana
}

TEST(Collation, BoundedCompare) {
  EXPECT_EQ(0, CompareWordsUpTo("abcX", "abcY", 3));
  EXPECT_GT(0, CompareWordsUpTo("abcX", "abcY", 4));
  EXPECT_GT(0, CompareWordsUpTo("ab", "abc", 3));  // the terminator takes part
  EXPECT_EQ(0, CompareWordsUpTo("ab", "ab", 100));
  EXPECT_LT(0, CompareWordsUpTo("\xC3", "a", 1));  // unsigned
}

TEST(Collation, CommonPrefixLength) {
  struct {
    const char* a;
    const char* b;
    size_t n;
  } cases[] = {
      {"", "abc", 0},      {"abc", "", 0},   {"abc", "abd", 2}, {"abc", "abc", 3},
      {"ab", "abc", 2},    {"abc", "ab", 2}, {"\xE3\x81\x82", "\xE3\x81\x84", 2},
  };
  for (const auto& c : cases) EXPECT_EQ(c.n, CommonPrefixLength(c.a, c.b)) << c.a << " / " << c.b;
  EXPECT_EQ(1u, CommonPrefixLength(u"\U0001F600", u"\U0001F601"));
}

}  // namespace
}  // namespace vk
