// Bulk registration: clash rules, merge flags, length limits and counters.
#include <gtest/gtest.h>

#include "MutationTestUtil.h"
#include "dic/MergePolicy.h"

namespace vktest {
namespace {

template <class B>
class QueryRecordTest : public ::testing::Test {
 protected:
  using IChar = typename B::IChar;
  using Text = std::basic_string<IChar>;

  void SetUp() override { dic_.Create(); }

  int32_t Query(const Text& word, const vk::Japa<B>& f, int32_t rule, int32_t flags) {
    return dic_.m().Query(word.c_str(), f, rule, flags, &counts_);
  }
  int32_t Query(const char* word, const char* japa, int32_t rule, int32_t flags = 0) {
    return Query(T<B>(word), Fields<B>(T<B>(japa)), rule, flags);
  }

  // The stored fields of a headword, read back from the dictionary object.
  vk::Japa<B> Get(const Text& word) {
    vk::Japa<B> f;
    EXPECT_EQ(dic_.v().FindWord(word.c_str(), &f), 1);
    return f;
  }
  vk::Japa<B> Get(const char* word) { return Get(T<B>(word)); }

  void ExpectCounts(int existing, int added, int tooLong) {
    EXPECT_EQ(counts_.existing, existing);
    EXPECT_EQ(counts_.added, added);
    EXPECT_EQ(counts_.tooLong, tooLong);
  }

  TestDic<B> dic_;
  vk::QueryCounters counts_;
};

TYPED_TEST_SUITE(QueryRecordTest, AllBuilds, BuildNames);

TYPED_TEST(QueryRecordTest, NewHeadwordWithoutTranslationGetsAQuestionMark) {
  EXPECT_EQ(this->Query("w", "", 4), 0);
  EXPECT_TRUE(this->Get("w").translation == T<TypeParam>("?"));
  this->ExpectCounts(0, 1, 0);
}

// Over-long fields leave a new entry unstored and are counted, not failed.
TYPED_TEST(QueryRecordTest, NewHeadwordWithTooLongFieldsIsCountedNotStored) {
  using B = TypeParam;
  using Text = typename QueryRecordTest<B>::Text;
  EXPECT_EQ(this->Query(T<B>("e"), Fields<B>(T<B>("x"), Text(20001, 'e')), 4, 0), 0);
  EXPECT_EQ(this->Query(T<B>("t"), Fields<B>(Text(3001, 't')), 4, 0), 0);
  EXPECT_EQ(this->Query(T<B>("p"), Fields<B>(T<B>("x"), {}, Text(1001, 'p')), 4, 0), 0);
  EXPECT_EQ(this->Query(Text(249, 'w'), Fields<B>(T<B>("x")), 4, 0), 0);
  this->ExpectCounts(0, 0, 4);
  EXPECT_EQ(this->dic_.v().WordCount(), 0);
  EXPECT_EQ(this->Query(T<B>("limits"), Fields<B>(Text(3000, 't'), Text(20000, 'e'), Text(1000, 'p')), 4, 0), 0);
  this->ExpectCounts(0, 1, 4);
}

TYPED_TEST(QueryRecordTest, ClashRules) {
  struct Case {
    int32_t rule;
    const char* stored;
    const char* given;
    const char* want;
    int existing;
  } cases[] = {
      {2, "long", "abc", "long", 0},   // shorter: kept, nothing counted
      {2, "long", "abcd", "abcd", 1},  // as long: replaced
      {2, "long", "longer", "longer", 1},
      {3, "keep", "other", "keep", 0},
      {4, "old", "n", "n", 1},
      {5, "a", "b", "a,b", 0 + 1},
      {6, "a", "b", "a\r\nb", 1},
      {0, "stays", "x", "stays", 1},  // unknown rules leave the entry alone
      {1, "stays", "x", "stays", 1},
      {7, "stays", "x", "stays", 1},
      {-1, "stays", "x", "stays", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    std::string word = "w" + std::to_string(c.rule) + c.given;
    this->counts_ = vk::QueryCounters();
    ASSERT_EQ(this->dic_.Rec(word, c.stored), 1);
    EXPECT_EQ(this->Query(word.c_str(), c.given, c.rule, vk::kMergeTranslations), 0);
    EXPECT_TRUE(this->Get(word.c_str()).translation == T<TypeParam>(c.want));
    this->ExpectCounts(c.existing, 0, 0);
  }
}

// Equal texts (attributes aside) change and count nothing.
TYPED_TEST(QueryRecordTest, SameEntryTwiceCountsOnce) {
  using B = TypeParam;
  EXPECT_EQ(this->Query(T<B>("w"), Fields<B>(T<B>("j"), T<B>("e"), {}, 0x81), 4, 0), 0);
  EXPECT_EQ(this->Query(T<B>("w"), Fields<B>(T<B>("j"), T<B>("e"), {}, 0x85), 5, 0xFFFFF), 0);
  this->ExpectCounts(0, 1, 0);
  EXPECT_EQ(this->Get("w").attribute, 0x91);
}

TYPED_TEST(QueryRecordTest, MergingTranslationsDropsALoneQuestionMark) {
  ASSERT_EQ(this->dic_.Rec("q", "?"), 1);
  EXPECT_EQ(this->Query("q", "b", 5, vk::kMergeTranslations), 0);
  EXPECT_TRUE(this->Get("q").translation == T<TypeParam>("b"));
  // An empty new translation leaves the stored one alone.
  EXPECT_EQ(this->Query("q", "", 5, vk::kMergeTranslations), 0);
  EXPECT_TRUE(this->Get("q").translation == T<TypeParam>("b"));
}

TYPED_TEST(QueryRecordTest, ExamplesAndPronunciationsMergeWithTheSeparator) {
  using B = TypeParam;
  using Text = typename QueryRecordTest<B>::Text;
  const int32_t flags = vk::kMergeExamples | vk::kMergePronunciations;
  ASSERT_EQ(this->dic_.Rec("w", "j"), 1);
  EXPECT_EQ(this->Query(T<B>("w"), Fields<B>(T<B>("j"), T<B>("e1"), T<B>("p1")), 6, flags), 0);
  vk::Japa<B> f = this->Get("w");
  EXPECT_TRUE(f.example == T<B>("e1"));  // no leading separator
  EXPECT_TRUE(f.pronunciation == T<B>("p1"));
  EXPECT_EQ(this->Query(T<B>("w"), Fields<B>(T<B>("j"), T<B>("e2"), T<B>("p2")), 6, flags), 0);
  f = this->Get("w");
  EXPECT_TRUE(f.example == T<B>("e1\r\ne2"));
  EXPECT_TRUE(f.pronunciation == T<B>("p1\r\np2"));
  // With a normalising flag the examples join with " / ".
  EXPECT_EQ(this->Query(T<B>("w"), Fields<B>(T<B>("j"), T<B>("e3")), 5, flags | vk::kMergeNormaliseMarks), 0);
  EXPECT_TRUE(this->Get("w").example == T<B>("e1\r\ne2 / e3"));
  // Two examples reaching 60000 units with their separator stay apart; the
  // translation still merges.
  ASSERT_EQ(this->dic_.Record(T<B>("big"), Fields<B>(T<B>("a"), Text(19999, 'e'))), 1);
  EXPECT_EQ(this->Query(T<B>("big"), Fields<B>(T<B>("b"), Text(40000, 'f')), 5, vk::kMergeExamples | vk::kMergeTranslations), 0);
  f = this->Get("big");
  EXPECT_EQ(f.example.size(), 19999u);
  EXPECT_TRUE(f.translation == T<B>("a,b"));
}

TYPED_TEST(QueryRecordTest, AttributeMerges) {
  using B = TypeParam;
  struct Case {
    uint8_t stored, given;
    int32_t flags;
    uint8_t want;
  } cases[] = {
      {0x80, 0x65, vk::kMergeAttributes, 0xE5},         // level 0: all of the new attribute
      {0x83, 0x65, vk::kMergeAttributes, 0xE3},         // a level: only bits 4-7
      {0x80, 0x6F, vk::kMergeSearchFlags, 0xE0},        // bits 5 and 6 only
      {0x80, 0x6F, 0x100000, 0xE0},
      {0x80, 0x6F, vk::kMergeSearchFlags | vk::kMergeTranslations, 0x80},  // not while translations merge
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(i);
    std::string word = "a" + std::to_string(i++);
    ASSERT_EQ(this->dic_.Record(T<B>(word), Fields<B>(T<B>("j"), {}, {}, c.stored)), 1);
    EXPECT_EQ(this->Query(T<B>(word), Fields<B>(T<B>("k"), {}, {}, c.given), 5, c.flags), 0);
    EXPECT_EQ(this->Get(word.c_str()).attribute, c.want);
  }
}

// A merged translation past 3000 units is not stored but counted; one past
// the 46101-unit work buffer is cut there, never written beyond it.
TYPED_TEST(QueryRecordTest, MergedTranslationOverTheLimitIsCounted) {
  using B = TypeParam;
  using Text = typename QueryRecordTest<B>::Text;
  ASSERT_EQ(this->dic_.Record(T<B>("w"), Fields<B>(Text(2000, 'a'))), 1);
  EXPECT_EQ(this->Query(T<B>("w"), Fields<B>(Text(1500, 'b')), 5, vk::kMergeTranslations), 0);
  this->ExpectCounts(1, 0, 1);
  EXPECT_EQ(this->Get("w").translation.size(), 2000u);
  ASSERT_EQ(this->dic_.Record(T<B>("v"), Fields<B>(Text(30000, 'a'), T<B>("x"))), 1);
  EXPECT_EQ(this->Query(T<B>("v"), Fields<B>(Text(40000, 'b')), 5, vk::kMergeTranslations | vk::kMergeNoteSections), 0);
  this->ExpectCounts(2, 0, 2);
  vk::Japa<B> f;
  this->dic_.Close();
  Walk<B> walk;
  WalkFile<B>(this->dic_.path(), &walk);
  EXPECT_EQ(walk.entries[0].fields.translation.size(), 30000u);
}

// The UTF-8 build counts a headword's UTF-16 units against the limit; the
// store then refuses its 400 bytes with 37.
TEST(QueryRecordU8Test, HeadwordWithinUnitsButOverBytesFailsTheInsert) {
  using B = vk::TraitsVKCU8L;
  TestDic<B> dic;
  dic.Create();
  vk::QueryCounters counts;
  std::u16string word(200, u'\u00E9');
  EXPECT_EQ(dic.m().Query(word.c_str(), Fields<B>(u"x"), 4, 0, &counts), -1);
  EXPECT_EQ(dic.Error(), vk::kErrWordTooLong);
}

// ---- the text rules, on UTF-16 text ----

struct MergeCase {
  const char16_t* stored;
  const char16_t* given;
  int32_t flags;
  const char16_t* want;
};

class MergeRulesTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeRulesTest, Translation) {
  const MergeCase& c = GetParam();
  vk::MergeFields s, n;
  s.translation = c.stored;
  n.translation = c.given;
  EXPECT_TRUE(vk::QueryMerge::Merge(&s, &n, c.flags | vk::kMergeTranslations, u","));
  EXPECT_EQ(s.translation, std::u16string(c.want));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, MergeRulesTest,
    ::testing::Values(
        // Normalising the appended text only: dots and tildes become U+FF5E,
        // separator runs one comma.
        MergeCase{u"s\u3001\u3001t", u"x\u2026y\u3001\u3002 z\u2025", vk::kMergeNormaliseMarks,
                  u"s\u3001\u3001t,x\uFF5Ey, z\uFF5E"},
        MergeCase{u"s", u"\u25C6a\u25CFb", vk::kMergeNormaliseBullets, u"s,,a,b"},
        MergeCase{u"s", u"\u25C6\u3001a", vk::kMergeNormaliseBullets | vk::kMergeNormaliseMarks, u"s,,a"},
        // The level marker, its digits and one separator leave the text.
        MergeCase{u"s", u"\u3010\u30EC\u30D9\u30EB\u301112\u3001rest", vk::kMergeLevelMarker, u"s,rest"},
        MergeCase{u"s", u"a\u3010\u30EC\u30D9\u30EB\u30113b", vk::kMergeLevelMarker, u"s,ab"},
        // Note sections end at a separator not followed by katakana...
        MergeCase{u"s", u"b\u3010\uFF20\u3011n\u3001\u30A2\u3001c", vk::kMergeNoteSections, u"s,bc"},
        // ...or before a full-width opening bracket other than U+300A...
        MergeCase{u"s", u"b\u3010@\u3011n\u300Ax\uFF08y\uFF09", vk::kMergeNoteSections, u"s,b\uFF08y\uFF09"},
        // ...or at the end; every section goes.
        MergeCase{u"\u3010@\u3011a,s", u"b\u3010\uFF20\u3011n", vk::kMergeNoteSections, u"s,b"},
        MergeCase{u"?", u"b", 0, u"b"}, MergeCase{u"", u"b", 0, u"b"}, MergeCase{u"a", u"", 0, u"a"}));

TEST(MergeRulesLevelTest, LevelMarkerSetsTheNewLevelForTheAttributeMerge) {
  vk::MergeFields s, n;
  s.attribute = 0x80;
  n.attribute = 0x82;
  n.translation = u"\u3010\u30EC\u30D9\u30EB\u301123,x";  // 23: low four bits 7
  // Translations not merged: the marker only feeds the level.
  EXPECT_TRUE(vk::QueryMerge::Merge(&s, &n, vk::kMergeLevelMarker | vk::kMergeAttributes, u","));
  EXPECT_EQ(s.attribute, 0x87);
  EXPECT_EQ(s.translation, u"");
}

TEST(MergeRulesLevelTest, WorkBufferIsNeverWrittenPast) {
  vk::MergeFields s, n;
  s.translation.assign(46000, u'a');
  n.translation.assign(200, u'b');
  EXPECT_FALSE(vk::QueryMerge::Merge(&s, &n, vk::kMergeTranslations, u","));
  EXPECT_EQ(s.translation.size(), vk::MergeBuffer::kCapacity);
  n.translation.assign(99, u'b');
  s.translation.assign(46000, u'a');
  EXPECT_TRUE(vk::QueryMerge::Merge(&s, &n, vk::kMergeTranslations, u","));
  EXPECT_EQ(s.translation.size(), 46100u);
}

}  // namespace
}  // namespace vktest
