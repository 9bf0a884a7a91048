// WString and DualString.
#include <gtest/gtest.h>

#include <string>

#include "text/DualString.h"
#include "text/Utf.h"
#include "text/WString.h"

namespace vk {
namespace {

TEST(WString, AppendWithSeparator) {
  struct {
    std::u16string a, sep, b, expect;
  } cases[] = {
      {u"a", u",", u"b", u"a,b"},
      {u"", u",", u"b", u"b"},           // empty a: a := b
      {u"a", u"", u"b", u"ab"},           // empty separator: a + b
      {u"", u"", u"", u""},
      {u"a", u"\r\n", u"", u"a\r\n"},     // an empty b still brings the separator
      {u"\u3042", u"\u3001", u"\U0001F600", u"\u3042\u3001\U0001F600"},
  };
  for (const auto& c : cases) {
    WString w(c.a.c_str());
    w.AppendWithSeparator(c.sep, c.b);
    EXPECT_EQ(c.expect, w.str()) << Utf16ToUtf8(c.a) << "|" << Utf16ToUtf8(c.sep) << "|" << Utf16ToUtf8(c.b);
    EXPECT_EQ(0, w.c_str()[w.length()]);
  }
}

TEST(WString, AssignAppendCut) {
  WString w;
  EXPECT_TRUE(w.empty());
  EXPECT_NE(nullptr, w.c_str());
  EXPECT_EQ(0, w.c_str()[0]);
  w.Assign(u"hello world", 5);
  EXPECT_EQ(u"hello", w.str());
  w.Append(u" there");
  EXPECT_EQ(u"hello there", w.str());
  const char16_t withZero[] = {u'x', 0, u'y'};
  w.Append(withZero, 3);  // a counted text ends at its first zero
  EXPECT_EQ(u"hello therex", w.str());
  w.Assign(nullptr, 4);
  EXPECT_TRUE(w.empty());
  w.Append(nullptr);
  EXPECT_TRUE(w.empty());

  WString a(u"abcdef");
  WString b;
  b.Assign(a);
  EXPECT_EQ(a, b);
  EXPECT_TRUE(b.CutAt(3));
  EXPECT_EQ(u"abc", b.str());
  EXPECT_EQ(0, b.c_str()[3]);
  EXPECT_FALSE(b.CutAt(3));  // not longer
  EXPECT_FALSE(b.CutAt(10));
  EXPECT_EQ(u"abc", b.str());
  EXPECT_TRUE(b.CutAt(0));
  EXPECT_TRUE(b.empty());
  EXPECT_EQ(u"abcdef", a.str());  // a copy, not a share
  b.Append(a);
  b.MakeEmpty();
  EXPECT_TRUE(b.empty());
}

TEST(DualString, OtherFormOnDemandAndAfterChange) {
  DualString d(u"caf\u00E9 \U0001F600");
  EXPECT_EQ("caf\xC3\xA9 \xF0\x9F\x98\x80", d.Utf8());
  EXPECT_EQ(u"caf\u00E9 \U0001F600", d.Utf16());
  // Asking twice gives the same kept object.
  EXPECT_EQ(&d.Utf8(), &d.Utf8());

  d.SetUtf8("\xE3\x81\x82");
  EXPECT_EQ(u"\u3042", d.Utf16());  // not the old UTF-16 form
  EXPECT_EQ("\xE3\x81\x82", d.As<char>());
  EXPECT_EQ(u"\u3042", d.As<char16_t>());

  d.SetUtf16(u"xy");
  EXPECT_EQ("xy", d.Utf8());
  d.Clear();
  EXPECT_TRUE(d.empty());
  EXPECT_EQ("", d.Utf8());
  EXPECT_EQ(u"", d.Utf16());

  d.SetUtf16(static_cast<const char16_t*>(nullptr));
  EXPECT_TRUE(d.empty());
  d.SetUtf8("abcdef", 3);
  EXPECT_EQ(u"abc", d.Utf16());
  EXPECT_FALSE(d.empty());

  // The given form is kept as given, even where the other cannot hold it.
  const char16_t lone[] = {u'a', 0xD800, 0};
  d.SetUtf16(lone);
  EXPECT_EQ(std::u16string(lone), d.Utf16());
  EXPECT_EQ("a", d.Utf8());
}

}  // namespace
}  // namespace vk
