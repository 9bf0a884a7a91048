// Encoding an entry's fields: the byte-exact field areas of every build,
// bit 4 owned by the encoder, the size estimate, the capacity rule with
// error 29, the long-entry decision, and no short entry with a body past
// 65535 bytes.
#include "entries/FieldEncoder.h"

#include <gtest/gtest.h>

#include "entries/EntryTestUtil.h"
#include "file/ErrorCodes.h"

namespace vkentrytest {
namespace {

using vk::EncodedFields;
using vk::FieldEncoder;

template <class B>
EncodedFields EncodeOk(const vk::Japa<B>& j, size_t wordUnits = 3, int32_t unit = 256) {
  EncodedFields f;
  EXPECT_EQ(FieldEncoder<B>::Encode(j, wordUnits, unit, &f), 0);
  return f;
}

struct GoldenCase {
  const char* name;
  uint8_t attrIn;
  std::u16string tr, ex, pr;
  uint8_t attrOut;
  const char* area;
};

template <class B>
void CheckGolden(const std::vector<GoldenCase>& cases) {
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.name);
    EncodedFields f = EncodeOk<B>(MakeJapa<B>(c.attrIn, c.tr, c.ex, c.pr));
    EXPECT_EQ(Hex(f.area), c.area);
    EXPECT_EQ(f.attribute, c.attrOut);
    EXPECT_FALSE(f.longEntry);
  }
}

// BOCU-1: 'c' 'a' 't' from prev 0x40 are 0x90 + (c - 0x40); U+3042 from 0x40
// is a 3-byte positive difference; a zero byte terminates.
TEST(FieldEncodeGolden, Utf8BuildBocu1Fields) {
  CheckGolden<vk::TraitsVKCU8L>({
      {"simple", 0x83, u"cat", u"", u"", 0x83, "B3 B1 C4 "},
      {"empty", 0x80, u"", u"", u"", 0x80, ""},
      {"only pronunciation", 0x81, u"", u"", u"kat", 0x91, "00 02 BB B1 C4 00 80 "},
      {"only example", 0x00, u"a", u"b", u"", 0x10, "B1 00 01 B2 00 80 "},
      {"example and pronunciation", 0x80, u"a", u"b", u"c", 0x90, "B1 00 01 B2 00 02 B3 00 80 "},
      {"hiragana", 0x80, u"\u3042", u"", u"", 0x80, "FB 11 59 "},
  });
}

// UTF-16 builds: units little-endian in memory, a field code is a unit whose
// low byte is the code.
TEST(FieldEncodeGolden, Utf16BuildUnitFields) {
  const std::vector<GoldenCase> cases = {
      {"simple", 0x83, u"ca", u"", u"", 0x83, "63 00 61 00 "},
      {"empty", 0x80, u"", u"", u"", 0x80, ""},
      {"only pronunciation", 0x81, u"", u"", u"k", 0x91, "00 00 02 00 6B 00 00 00 80 00 "},
      {"example and pronunciation", 0x80, u"a", u"b", u"\u3042", 0x90,
       "61 00 00 00 01 00 62 00 00 00 02 00 42 30 00 00 80 00 "},
  };
  CheckGolden<vk::TraitsVKCUB>(cases);
  CheckGolden<vk::TraitsVKCUL>(cases);
}

// VKC620 stores its texts as the bytes it is given (here UTF-8 stands in for
// any code page).
TEST(FieldEncodeGolden, NarrowBuildRawFields) {
  CheckGolden<vk::TraitsVKC620>({
      {"simple", 0x83, u"cat", u"", u"", 0x83, "63 61 74 "},
      {"only pronunciation", 0x81, u"", u"", u"k", 0x91, "00 02 6B 00 80 "},
      {"example and pronunciation", 0x80, u"a", u"\u00E9", u"c", 0x90, "61 00 01 C3 A9 00 02 63 00 80 "},
  });
}

template <class B>
class FieldEncodeTest : public ::testing::Test {};
TYPED_TEST_SUITE(FieldEncodeTest, AllBuilds, BuildNames);

TYPED_TEST(FieldEncodeTest, BitFourFollowsTheFieldsWhateverTheCallerSet) {
  using B = TypeParam;
  const struct {
    uint8_t in;
    bool extended;
    uint8_t out;
  } cases[] = {
      {0x10, false, 0x00}, {0xFF, false, 0xEF}, {0x9F, false, 0x8F}, {0x60, false, 0x60},
      {0x00, true, 0x10},  {0x05, true, 0x15},  {0xEF, true, 0xFF},  {0x10, true, 0x10},
  };
  for (const auto& c : cases) {
    auto j = MakeJapa<B>(c.in, u"t", c.extended ? u"e" : u"", u"");
    EXPECT_EQ(EncodeOk<B>(j).attribute, c.out) << int(c.in) << (c.extended ? " extended" : " simple");
  }
}

TYPED_TEST(FieldEncodeTest, TextsEndAtTheirFirstZero) {
  using B = TypeParam;
  auto j = MakeJapa<B>(0x80, u"tr", u"", u"");
  auto k = j;
  k.translation.push_back(0);
  k.translation += T<B>(u"hidden");
  k.example = Text<B>(1, 0);  // empty in effect: the object stays simple
  EXPECT_TRUE(k.IsSimple());
  EXPECT_EQ(EncodeOk<B>(k).area, EncodeOk<B>(j).area);
}

TYPED_TEST(FieldEncodeTest, EstimateAndCapacity) {
  using B = TypeParam;
  constexpr bool kBytes = sizeof(typename B::Unit) == 1;
  const int64_t fixed = kBytes ? 9 : 12, perEmpty = kBytes ? 3 : 4;
  EXPECT_EQ(FieldEncoder<B>::Estimate(MakeJapa<B>(0, u"abcd")), 8);
  EXPECT_EQ(FieldEncoder<B>::Estimate(MakeJapa<B>(0, u"ab", u"cde", u"f")), 12 + fixed);
  EXPECT_EQ(FieldEncoder<B>::Estimate(MakeJapa<B>(0, u"ab", u"", u"f")), 6 + fixed - perEmpty);
  EXPECT_EQ(FieldEncoder<B>::Estimate(MakeJapa<B>(0, u"", u"cde", u"")), 6 + fixed - perEmpty);
  EXPECT_EQ(FieldEncoder<B>::Capacity(10, 256), kBytes ? 256 * 32767 - 10 - 8 : 256 * 32767 - 20 - 9);
}

// The simple form is refused on its estimate: 2t > capacity.
TYPED_TEST(FieldEncodeTest, SimpleTranslationOverTheCapacityFailsWith29) {
  using B = TypeParam;
  if constexpr (B::kLongEntries) {
    const int32_t unit = 16;  // a small block size keeps the texts small
    const size_t word = 5;
    const int64_t cap = FieldEncoder<B>::Capacity(word, unit);
    vk::Japa<B> j;
    j.translation.assign(static_cast<size_t>(cap / 2), 'a');
    EncodedFields f;
    ASSERT_EQ(FieldEncoder<B>::Encode(j, word, unit, &f), 0);
    EXPECT_TRUE(f.longEntry) << "a body past 65535 bytes goes to a long entry";
    EXPECT_EQ(f.area.size(), j.translation.size());
    j.translation.push_back('a');
    EXPECT_EQ(FieldEncoder<B>::Encode(j, word, unit, &f), vk::kErrTooLarge);
  }
}

// In the 16-bit builds the body of every entry is short: the limit is its
// 16-bit length, reached long before the capacity.
TYPED_TEST(FieldEncodeTest, ShortBodyLimitInBuildsWithoutLongEntries) {
  using B = TypeParam;
  if constexpr (!B::kLongEntries) {
    const size_t word = 3;
    // body = 2 * (word + 1) + 2t <= 65535
    vk::Japa<B> j;
    j.translation.assign(32763, u'a');
    EncodedFields f;
    ASSERT_EQ(FieldEncoder<B>::Encode(j, word, 256, &f), 0);
    EXPECT_FALSE(f.longEntry);
    EXPECT_EQ(vk::EntryLayout<B>::ShortBody(word, f.area.size()), 65534u);
    j.translation.push_back(u'a');
    EXPECT_EQ(FieldEncoder<B>::Encode(j, word, 256, &f), vk::kErrTooLarge);
    // Extended: 2(t + e) + 8 bytes of terminators and codes, plus the word's 8.
    j = MakeJapa<B>(0, u"", u"", u"");
    j.translation.assign(16000, u't');
    j.example.assign(16759, u'e');
    ASSERT_EQ(FieldEncoder<B>::Encode(j, word, 256, &f), 0);
    EXPECT_EQ(vk::EntryLayout<B>::ShortBody(word, f.area.size()), 65534u);
    j.example.push_back(u'e');
    EXPECT_EQ(FieldEncoder<B>::Encode(j, word, 256, &f), vk::kErrTooLarge);
  }
}

// The long-entry decision of an extended object rests on its estimate.
TYPED_TEST(FieldEncodeTest, LongEntryFromAnEstimateOf65280) {
  using B = TypeParam;
  const struct {
    size_t t, e, p;
  } cases[] = {
      // byte builds: 2(t+e+p) + 9 - 3 per empty field; 16-bit builds: + 12 - 4
      {20000, 12636, 0},
      {20000, 12637, 0},
      {20000, 12000, 635},
      {20000, 12000, 636},
  };
  for (const auto& c : cases) {
    vk::Japa<B> j;
    j.translation.assign(c.t, 'a');
    j.example.assign(c.e, 'b');
    j.pronunciation.assign(c.p, 'c');
    int64_t est = FieldEncoder<B>::Estimate(j);
    EncodedFields f;
    ASSERT_EQ(FieldEncoder<B>::Encode(j, 3, 256, &f), 0) << est;
    EXPECT_EQ(f.longEntry, B::kLongEntries && est >= 65280) << "estimate " << est;
  }
  if constexpr (sizeof(typename B::Unit) == 1) {
    // The four cases straddle the threshold: 65278, 65280, 65279, 65281.
    vk::Japa<B> j;
    j.translation.assign(20000, 'a');
    j.example.assign(12637, 'b');
    EXPECT_EQ(FieldEncoder<B>::Estimate(j), 65280);
    j.example.assign(12636, 'b');
    EXPECT_EQ(FieldEncoder<B>::Estimate(j), 65278);
    j.example.assign(12000, 'b');
    j.pronunciation.assign(635, 'c');
    EXPECT_EQ(FieldEncoder<B>::Estimate(j), 65279);
  }
}

// BOCU-1 can take three bytes per unit, more than the estimate allows for.
// Such an entry is never stored short when its body would pass 65535 bytes.
TEST(FieldEncodeUtf8, WideBocu1TextGoesLongThoughItsEstimateIsSmall) {
  using B = vk::TraitsVKCU8L;
  vk::Japa<B> j;
  for (int i = 0; i < 11000; ++i) j.translation += u"\u4E00\uAC00";  // every step a 3-byte difference
  EncodedFields f;
  ASSERT_EQ(FieldEncoder<B>::Encode(j, 3, 256, &f), 0);
  EXPECT_EQ(FieldEncoder<B>::Estimate(j), 44000);
  EXPECT_EQ(f.area.size(), 66000u);
  EXPECT_TRUE(f.longEntry);
  EXPECT_EQ(f.attribute & vk::kAttrExtended, 0);

  // Extended as well: the work buffer is sized for three bytes per unit.
  j.example = j.translation;
  j.pronunciation = u"\U0001F600";
  ASSERT_EQ(FieldEncoder<B>::Encode(j, 3, 256, &f), 0);
  EXPECT_TRUE(f.longEntry);
  // translation, 0, 0x01, example, 0, 0x02, U+1F600 (3 bytes from prev 0x40), 0, 0x80
  EXPECT_EQ(f.area.size(), 66000u * 2 + 4 + 3 + 2);
}

// An entry is refused when even a block of 32767 units could not hold it.
TYPED_TEST(FieldEncodeTest, EntryThatFitsNoBlockFails) {
  using B = TypeParam;
  if constexpr (B::kLongEntries) {
    const int32_t unit = 16;
    const size_t word = 5;
    // Long block: 2 + 6 + (word + 1) + area + 4 <= unit * 32767, and the
    // area is translation, 0, 0x01, example, 0, 0x80.
    const size_t room = size_t(unit) * 32767 - 2 - 6 - (word + 1) - 4;
    vk::Japa<B> j;
    j.translation.assign(10, 'a');
    j.example.assign(room - 10 - 4, 'b');
    EncodedFields f;
    ASSERT_EQ(FieldEncoder<B>::Encode(j, word, unit, &f), 0);
    EXPECT_TRUE(f.longEntry);
    EXPECT_EQ(vk::EntryLayout<B>::LongBlockBytes(word, f.area.size()), size_t(unit) * 32767);
    j.example.push_back('b');
    EXPECT_EQ(FieldEncoder<B>::Encode(j, word, unit, &f), vk::kErrTooLarge);
  }
}

}  // namespace
}  // namespace vkentrytest
