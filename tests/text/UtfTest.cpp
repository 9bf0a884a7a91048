// UTF-16 <-> UTF-8: agreement with ICU on well-formed text, the engine's own
// rules for ill-formed text, output bounds, and no reading past the end.
#include "text/Utf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "text/GuardedMemory.h"
#include "text/TextCorpus.h"

#if VK_HAVE_ICU
#include <unicode/ustring.h>
#endif

namespace vk {
namespace {

using test::SentinelBuffer;
using test::TailGuarded;

#if VK_HAVE_ICU
std::string IcuToUtf8(const std::u16string& s) {
  UErrorCode e = U_ZERO_ERROR;
  std::string out(s.size() * 3 + 1, '\0');
  int32_t n = 0;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &n, s.data(), static_cast<int32_t>(s.size()), &e);
  EXPECT_TRUE(U_SUCCESS(e)) << u_errorName(e);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::u16string IcuToUtf16(const std::string& s) {
  UErrorCode e = U_ZERO_ERROR;
  std::u16string out(s.size() + 1, u'\0');
  int32_t n = 0;
  u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &n, s.data(), static_cast<int32_t>(s.size()), &e);
  EXPECT_TRUE(U_SUCCESS(e)) << u_errorName(e);
  out.resize(static_cast<size_t>(n));
  return out;
}

TEST(UtfIcu, AgreesWithIcuOnWellFormedText) {
  const uint32_t seed = test::TestSeed(9001);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  std::vector<std::u16string> texts = test::FixedCorpus();
  for (int i = 0; i < 5000; ++i) texts.push_back(test::RandomText(rng, 30));
  for (const std::u16string& raw : texts) {
    // Interface texts are zero-terminated: take each up to its first zero.
    std::u16string s = raw.substr(0, raw.find(u'\0'));
    std::string u8 = Utf16ToUtf8(s);
    ASSERT_EQ(IcuToUtf8(s), u8);
    ASSERT_EQ(static_cast<int32_t>(u8.size()), Utf8LengthOf(s.c_str()));
    ASSERT_EQ(IcuToUtf16(u8), Utf8ToUtf16(u8));
    ASSERT_EQ(s, Utf8ToUtf16(u8.c_str()));
  }
}
#endif

TEST(Utf, IllFormedUtf16) {
  const char16_t hi = 0xD83D, lo = 0xDE00;
  struct Case {
    const char* name;
    std::u16string in;
    std::string out;
  } cases[] = {
      {"pair is one 4-byte sequence", {hi, lo}, "\xF0\x9F\x98\x80"},
      {"lone high before a letter is skipped", {u'a', hi, u'b'}, "ab"},
      {"lone high at the end is skipped", {u'a', hi}, "a"},
      {"two highs then a low: the first is skipped", {hi, hi, lo}, "\xF0\x9F\x98\x80"},
      {"lone low is its own 3 bytes", {u'a', lo}, "a\xED\xB8\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.out, Utf16ToUtf8(c.in));
    EXPECT_EQ(c.out, Utf16ToUtf8(c.in.c_str()));
  }
  // A lone low surrogate comes back as it was.
  std::u16string lone = {u'x', lo, u'y'};
  EXPECT_EQ(lone, Utf8ToUtf16(Utf16ToUtf8(lone)));
}

TEST(Utf, IllFormedUtf8) {
  struct Case {
    const char* name;
    std::string in;
    std::u16string out;
  } cases[] = {
      {"continuation bits not checked", "\xC3\x41", u"\u00C1"},
      {"3-byte with plain trails", "\xE3\x41\x42", u"\u3042"},
      {"stray continuation dropped", "a\x80" "b", u"ab"},
      {"0xF8 lead dropped", "a\xF8" "b", u"ab"},
      {"2-byte cut by the end", "ab\xC3", u"ab"},
      {"3-byte cut by the end", "ab\xE3\x81", u"ab"},
      {"4-byte becomes a pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"overlong 4-byte below U+10000 is one unit", "\xF0\x80\x81\x81", u"A"},
      {"4-byte above U+10FFFF dropped", "a\xF7\xBF\xBF\xBF" "b", u"ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.out, Utf8ToUtf16(c.in));
  }
}

// Inputs that end exactly at an inaccessible page: any read past the
// terminator or the count faults.
TEST(Utf, NeverReadsPastTheEnd) {
  const std::string cut8[] = {"ab\xE3\x81", "\xF0\x9F\x98", "\xC3", "x\xF0"};
  for (const std::string& s : cut8) {
    SCOPED_TRACE(s);
    std::string terminated = s + std::string(1, '\0');
    TailGuarded<char> z = TailGuarded<char>::Of(terminated);
    TailGuarded<char> counted = TailGuarded<char>::Of(s);
    char16_t out[16];
    int32_t a = Utf8ToUtf16(z.data(), -1, out, 16);
    int32_t b = Utf8ToUtf16(counted.data(), static_cast<int32_t>(s.size()), out, 16);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, Utf16LengthOf(z.data()));
    EXPECT_EQ(b, Utf16LengthOf(counted.data(), static_cast<int32_t>(s.size())));
    EXPECT_EQ(0, out[b]);
  }
  const std::u16string cut16[] = {{u'a', 0xD83D}, {0xD83D}, {u'a', u'b'}};
  for (const std::u16string& s : cut16) {
    std::u16string terminated = s + u'\0';
    TailGuarded<char16_t> z = TailGuarded<char16_t>::Of(terminated);
    TailGuarded<char16_t> counted = TailGuarded<char16_t>::Of(s);
    char out[16];
    int32_t a = Utf16ToUtf8(z.data(), -1, out, 16);
    int32_t b = Utf16ToUtf8(counted.data(), static_cast<int32_t>(s.size()), out, 16);
    EXPECT_EQ(a, b);
    EXPECT_EQ(b, Utf8LengthOf(counted.data(), static_cast<int32_t>(s.size())));
  }
}

TEST(Utf, CountStopsAtAZeroInside) {
  const char16_t w[] = {u'a', u'b', 0, u'c'};
  EXPECT_EQ("ab", Utf16ToUtf8(w, 4));
  const char n[] = {'a', 0, 'c'};
  EXPECT_EQ(u"a", Utf8ToUtf16(n, 3));
  EXPECT_EQ("", Utf16ToUtf8(nullptr, 5));
  EXPECT_EQ(u"", Utf8ToUtf16(static_cast<const char*>(nullptr), -1));
}

// Every capacity from none to enough: terminated, nothing written past the
// capacity, and the result is the whole-character prefix that fits.
TEST(Utf, OutputBoundsHoldAtEveryCapacity) {
  const std::u16string text = u"a\u00E9\u3042\U0001F600z";
  const std::string whole8 = Utf16ToUtf8(text);
  for (int32_t cap = 0; cap <= static_cast<int32_t>(whole8.size()) + 2; ++cap) {
    SCOPED_TRACE("cap " + std::to_string(cap));
    SentinelBuffer<char> out(static_cast<size_t>(cap));
    int32_t n = Utf16ToUtf8(text.c_str(), -1, out.data(), cap);
    ASSERT_TRUE(out.GuardIntact());
    if (cap == 0) {
      EXPECT_EQ(0, n);
      continue;
    }
    ASSERT_LT(n, cap);
    EXPECT_EQ(0, out.data()[n]);
    EXPECT_EQ(whole8.substr(0, static_cast<size_t>(n)), std::string(out.data(), static_cast<size_t>(n)));
    // Ends on a character boundary, and the next character would not fit.
    if (n < static_cast<int32_t>(whole8.size())) {
      uint8_t next = static_cast<uint8_t>(whole8[static_cast<size_t>(n)]);
      EXPECT_NE(0x80, next & 0xC0);
      int32_t seq = next < 0x80 ? 1 : next < 0xE0 ? 2 : next < 0xF0 ? 3 : 4;
      EXPECT_GT(n + seq, cap - 1);
    }
  }
  for (int32_t cap = 0; cap <= static_cast<int32_t>(text.size()) + 2; ++cap) {
    SCOPED_TRACE("cap16 " + std::to_string(cap));
    SentinelBuffer<char16_t> out(static_cast<size_t>(cap));
    int32_t n = Utf8ToUtf16(whole8.c_str(), -1, out.data(), cap);
    ASSERT_TRUE(out.GuardIntact());
    if (cap == 0) continue;
    ASSERT_LT(n, cap);
    EXPECT_EQ(0, out.data()[n]);
    EXPECT_EQ(text.substr(0, static_cast<size_t>(n)), std::u16string(out.data(), static_cast<size_t>(n)));
    // A surrogate pair is never split.
    if (n > 0) {
      EXPECT_FALSE(IsHighSurrogate(out.data()[n - 1]));
    }
  }
}

}  // namespace
}  // namespace vk
