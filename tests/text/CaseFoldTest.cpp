// The engine's case table against ICU's simple case mappings over every
// block it claims to cover, and the character step.
#include "text/CaseFold.h"

#include <gtest/gtest.h>

#include <cstdio>

#if VK_HAVE_ICU
#include <unicode/uchar.h>
#endif

namespace vk {
namespace {

struct Block {
  const char* name;
  char16_t lo, hi;
};
const Block kCovered[] = {
    {"ASCII", 0x0000, 0x007F},          {"Latin-1", 0x0080, 0x00FF}, {"Latin Extended-A", 0x0100, 0x017F},
    {"Greek and Coptic", 0x0370, 0x03FF}, {"Cyrillic", 0x0400, 0x04FF}, {"Halfwidth and Fullwidth", 0xFF00, 0xFFEF},
};

#if VK_HAVE_ICU
TEST(CaseFoldIcu, CoveredBlocksFollowSimpleCaseMapping) {
  for (const Block& b : kCovered) {
    SCOPED_TRACE(b.name);
    for (unsigned c = b.lo; c <= b.hi; ++c) {
      char16_t u = static_cast<char16_t>(c);
      ASSERT_EQ(static_cast<char16_t>(u_tolower(static_cast<UChar32>(c))), ToLower(u)) << std::hex << c;
      ASSERT_EQ(static_cast<char16_t>(u_toupper(static_cast<UChar32>(c))), ToUpper(u)) << std::hex << c;
    }
  }
}
#endif

TEST(CaseFold, OutsideTheTableUnitsStay) {
  const char16_t same[] = {0x3042, 0x30A2, 0x4E00, 0xAC00, 0xD83D, 0xDE00, 0x00DF, 0x0149, 0x0390, 0x1E00, 0x0531};
  for (char16_t c : same) {
    EXPECT_EQ(c, ToLower(c)) << std::hex << unsigned(c);
    EXPECT_EQ(c, ToUpper(c)) << std::hex << unsigned(c);
  }
  EXPECT_EQ(u'a', ToLower(u'A'));
  EXPECT_EQ(u'\u00E9', ToLower(u'\u00C9'));
  EXPECT_EQ(u'\uFF41', ToLower(u'\uFF21'));
  EXPECT_EQ(u'\u0436', ToLower(u'\u0416'));
}

TEST(CaseFold, BytesFoldOnlyAsciiLetters) {
  for (unsigned b = 0; b < 256; ++b) {
    uint8_t x = static_cast<uint8_t>(b);
    bool upper = b >= 'A' && b <= 'Z', lower = b >= 'a' && b <= 'z';
    EXPECT_EQ(upper ? b + 32 : b, ToLowerByte(x)) << b;
    EXPECT_EQ(lower ? b - 32 : b, ToUpperByte(x)) << b;
  }
}

TEST(CaseFold, NextCharStepsOverPairsAsOne) {
  const char16_t t[] = {u'a', 0xD83D, 0xDE00, 0xDE00, 0xD83D, u'b', 0xD83D, 0};
  // a | pair | lone low | lone high | b | lone high at the end | terminator
  const int steps[] = {1, 3, 4, 5, 6, 7, 7};
  const char16_t* p = t;
  for (int expect : steps) {
    p = NextChar(p);
    EXPECT_EQ(expect, p - t);
  }
  // Counted: a pair split by the end is not stepped over as one.
  const char16_t* end = t + 2;
  EXPECT_EQ(t + 2, NextChar(t + 1, end));
  EXPECT_EQ(end, NextChar(end, end));
  EXPECT_EQ(t + 3, NextChar(t + 1, t + 7));
}

}  // namespace
}  // namespace vk
