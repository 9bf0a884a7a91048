// Character classes of translation text.
#include "text/CharClass.h"

#include <gtest/gtest.h>

namespace vk {
namespace {

TEST(CharClass, Separators) {
  const char16_t separators[] = {0x0000, 0x002C, 0x3000, 0x3001, 0x3002, 0xFF0C, 0xFF0E, 0xFF61, 0xFF64};
  for (char16_t c : separators) {
    EXPECT_TRUE(IsSeparator(c)) << std::hex << unsigned(c);
    EXPECT_TRUE(IsSeparatorOrSemicolon(c)) << std::hex << unsigned(c);
  }
  for (char16_t c : {char16_t(0x003B), char16_t(0xFF1B)}) {
    EXPECT_FALSE(IsSeparator(c)) << std::hex << unsigned(c);
    EXPECT_TRUE(IsSeparatorOrSemicolon(c)) << std::hex << unsigned(c);
  }
  for (char16_t c : {u' ', u'.', u'a', u'\u3003', u'\uFF0D', u'\uFF62', u'\uFF1A'}) {
    EXPECT_FALSE(IsSeparator(c)) << std::hex << unsigned(c);
    EXPECT_FALSE(IsSeparatorOrSemicolon(c)) << std::hex << unsigned(c);
  }
}

TEST(CharClass, BracketTables) {
  struct {
    char16_t open, close;
    int index;  // where a lookup finds them (first occurrence)
    bool fullWidth;
  } rows[] = {
      {0x0028, 0x0029, 0, false},  {0x005B, 0x005D, 1, false},  {0x007B, 0x007D, 2, false},
      {0xFFA2, 0xFFA3, 3, false},  {0x003C, 0x003E, 4, false},  {0x007B, 0x007D, 2, false},
      {0xFF08, 0xFF09, 6, true},   {0x3014, 0x3015, 7, true},   {0xFF3B, 0xFF3D, 8, true},
      {0xFF5B, 0xFF5D, 9, true},   {0x3008, 0x3009, 10, true},  {0x300A, 0x300B, 11, true},
      {0x300C, 0x300D, 12, true},  {0x300E, 0x300F, 13, true},  {0x3010, 0x3011, 14, true},
      {0xFF1C, 0xFF1E, 15, true},
  };
  for (int i = 0; i < kBracketCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].open, kOpeningBrackets[i]);
    EXPECT_EQ(rows[i].close, kClosingBrackets[i]);
    EXPECT_EQ(rows[i].close, ClosingBracketFor(i));
    int at = -1;
    EXPECT_TRUE(FindOpeningBracket(rows[i].open, &at));
    EXPECT_EQ(rows[i].index, at);
    at = -1;
    EXPECT_TRUE(FindClosingBracket(rows[i].close, &at));
    EXPECT_EQ(rows[i].index, at);
    EXPECT_EQ(rows[i].fullWidth, IsFullWidthOpeningBracket(rows[i].open));
    EXPECT_FALSE(FindOpeningBracket(rows[i].close));
    EXPECT_FALSE(FindClosingBracket(rows[i].open));
  }
  // The half-width corner brackets are not in the tables.
  int at = 99;
  EXPECT_FALSE(FindOpeningBracket(0xFF62, &at));
  EXPECT_EQ(99, at);
  EXPECT_FALSE(FindClosingBracket(0xFF63));
  EXPECT_FALSE(IsFullWidthOpeningBracket(u'a'));
  EXPECT_FALSE(FindOpeningBracket(0));
}

}  // namespace
}  // namespace vk
