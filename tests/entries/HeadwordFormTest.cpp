// Headwords between the interface and the block: the stored form per build
// and the 248-unit limit (bytes in the byte builds), error 37 beyond it.
#include "entries/HeadwordForm.h"

#include <gtest/gtest.h>

#include "entries/EntryTestUtil.h"
#include "file/ErrorCodes.h"

namespace vkentrytest {
namespace {

using vk::HeadwordForm;

template <class B>
class HeadwordFormTest : public ::testing::Test {};
TYPED_TEST_SUITE(HeadwordFormTest, AllBuilds, BuildNames);

// Repeats a character until the stored form reaches `units` units (the
// character's stored length must divide it).
std::u16string Repeat(const std::u16string& c, size_t count) {
  std::u16string s;
  for (size_t i = 0; i < count; ++i) s += c;
  return s;
}

TYPED_TEST(HeadwordFormTest, LimitIs248StoredUnits) {
  using B = TypeParam;
  constexpr bool kBytes = sizeof(typename B::Unit) == 1;
  // Stored units per character: 1-, 2-, 3- and 4-byte UTF-8 in byte builds
  // (the narrow build stores the UTF-8 bytes it is given), 1 or 2 UTF-16 units.
  const struct {
    std::u16string ch;
    size_t stored;
  } chars[] = {{u"a", 1}, {u"\u00E9", kBytes ? 2u : 1u}, {u"\u3042", kBytes ? 3u : 1u},
               {u"\U0001F600", kBytes ? 4u : 2u}};
  for (const auto& c : chars) {
    SCOPED_TRACE(vk::Utf16ToUtf8(c.ch));
    size_t fit = 248 / c.stored;
    Word<B> w;
    ASSERT_EQ(HeadwordForm<B>::ToStored(T<B>(Repeat(c.ch, fit)), &w), 0);
    EXPECT_EQ(w.size(), fit * c.stored);
    EXPECT_EQ(HeadwordForm<B>::ToInterface(w), T<B>(Repeat(c.ch, fit)));
    // One more unit (or character) than fits is refused, leaving *out alone.
    std::u16string over = Repeat(c.ch, fit) + (fit * c.stored == 248 ? c.ch : Repeat(u"a", 249 - fit * c.stored));
    Word<B> keep = w;
    EXPECT_EQ(HeadwordForm<B>::ToStored(T<B>(over), &w), vk::kErrWordTooLong);
    EXPECT_EQ(w, keep);
  }
  Word<B> w;
  EXPECT_EQ(HeadwordForm<B>::ToStored(T<B>(Repeat(u"x", 247) + u"y"), &w), 0);
  EXPECT_EQ(HeadwordForm<B>::ToStored(T<B>(Repeat(u"x", 248) + u"y"), &w), vk::kErrWordTooLong);
}

TYPED_TEST(HeadwordFormTest, TextEndsAtItsFirstZero) {
  using B = TypeParam;
  Text<B> s = T<B>(u"ab");
  s.push_back(0);
  s += T<B>(Repeat(u"z", 300));
  Word<B> w;
  ASSERT_EQ(HeadwordForm<B>::ToStored(s, &w), 0);
  EXPECT_EQ(w, W<B>(u"ab"));
  ASSERT_EQ(HeadwordForm<B>::ToStored(static_cast<const typename B::IChar*>(nullptr), &w), 0);
  EXPECT_TRUE(w.empty());
}

TEST(HeadwordFormUtf8, SurrogatePairBecomesOneFourByteSequence) {
  using B = vk::TraitsVKCU8L;
  Word<B> w;
  ASSERT_EQ(HeadwordForm<B>::ToStored(u"a\U0001F600", &w), 0);
  EXPECT_EQ(Hex(reinterpret_cast<const uint8_t*>(w.data()), w.size()), "61 F0 9F 98 80 ");
  EXPECT_EQ(HeadwordForm<B>::ToInterface(w), u"a\U0001F600");
}

}  // namespace
}  // namespace vkentrytest
