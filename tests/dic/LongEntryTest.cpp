// Entries too large for a short entry: in the byte builds they live alone in
// a long-entry block placed among the others by headword; the 16-bit builds
// refuse them.
#include <gtest/gtest.h>

#include "MutationTestUtil.h"

namespace vktest {
namespace {

template <class B>
class LongEntryTest : public ::testing::Test {
 protected:
  using Text = std::basic_string<typename B::IChar>;

  static Text Repeat(char c, size_t n) { return Text(n, typename B::IChar(c)); }

  // Fields whose size estimate is 2 (t + e) + 6 for a translation of one
  // unit and an example of e units.
  static vk::Japa<B> WithExample(size_t e) { return Fields<B>(T<B>("t"), Repeat('e', e)); }

  void Record(const char* w, const vk::Japa<B>& f) { ASSERT_EQ(dic_.Record(T<B>(w), f), 1) << dic_.Error(); }

  // Closes, walks the file, checks the entries against `want` (headword,
  // translation length, example length) and reopens.
  void Check(Walk<B>* w, const std::vector<std::tuple<const char*, size_t, size_t>>& want) {
    dic_.Close();
    WalkFile<B>(dic_.path(), w);
    ASSERT_EQ(w->entries.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_TRUE(w->entries[i].word == T<B>(std::get<0>(want[i]))) << i;
      EXPECT_EQ(w->entries[i].fields.translation.size(), std::get<1>(want[i])) << i;
      EXPECT_EQ(w->entries[i].fields.example.size(), std::get<2>(want[i])) << i;
    }
    dic_.Open();
  }

  // The long/short shape of the file's blocks, e.g. "S L S".
  static std::string Shape(const Walk<B>& w) {
    std::string s;
    for (const auto& b : w.blocks) s += std::string(s.empty() ? "" : " ") + (b.isLong ? "L" : "S");
    return s;
  }

  TestDic<B> dic_;
};

using vktest::ByteBuilds;
TYPED_TEST_SUITE(LongEntryTest, ByteBuilds, BuildNames);

// An estimate of 65278 bytes stays short; 65280 makes a long entry, with the
// flag in its block's size word and the whole headword at byte 8.
TYPED_TEST(LongEntryTest, EstimateOf65280BytesMakesALongEntry) {
  using B = TypeParam;
  this->dic_.Create();
  this->Record("short", this->WithExample(32635));
  this->Record("long", this->WithExample(32636));
  Walk<B> w;
  this->Check(&w, {{"long", 1, 32636}, {"short", 1, 32635}});
  EXPECT_EQ(this->Shape(w), "L S");
  const auto& blk = w.blocks[0];
  EXPECT_NE(vk::LoadLE16(blk.bytes.data()) & 0x8000, 0);
  // 2 + 6 + "long\0" + area (t 0 01 e.. 0 80) + 4, in units.
  const size_t area = 1 + 1 + 1 + 32636 + 1 + 1;
  EXPECT_EQ(size_t(blk.units), (2 + 6 + 5 + area + 4 + 255) / 256);
  EXPECT_EQ(vk::LoadLE32(blk.bytes.data() + 2), 5 + area);
  EXPECT_EQ(blk.bytes[6], 0);
  EXPECT_EQ(blk.bytes[7], 0x90);  // the fresh bit and the extended bit
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(blk.bytes.data() + 8)), "long");
  EXPECT_EQ(vk::LoadLE32(blk.bytes.data() + 8 + 5 + area), 0u);
}

// A long entry replaced by small fields goes back into a short-entry block;
// the long block's units are released.
TYPED_TEST(LongEntryTest, LongEntryRoundTripsAndReturnsToShort) {
  using B = TypeParam;
  this->dic_.Create();
  this->Record("a", Fields<B>(T<B>("1")));
  this->Record("big", this->WithExample(40000));
  this->Record("c", Fields<B>(T<B>("3")));
  Walk<B> w;
  this->Check(&w, {{"a", 1, 0}, {"big", 1, 40000}, {"c", 1, 0}});
  EXPECT_EQ(this->Shape(w), "S L S");
  EXPECT_TRUE(w.entries[1].fields.example == this->Repeat('e', 40000));

  // Bigger, then smaller, in place.
  this->Record("big", this->WithExample(70000));
  Walk<B> w2;
  this->Check(&w2, {{"a", 1, 0}, {"big", 1, 70000}, {"c", 1, 0}});
  this->Record("big", this->WithExample(33000));
  Walk<B> w3;
  this->Check(&w3, {{"a", 1, 0}, {"big", 1, 33000}, {"c", 1, 0}});
  EXPECT_EQ(this->Shape(w3), "S L S");

  this->Record("big", Fields<B>(T<B>("small")));
  Walk<B> w4;
  this->Check(&w4, {{"a", 1, 0}, {"big", 5, 0}, {"c", 1, 0}});
  EXPECT_EQ(w4.header.wordCount(), 3u);
  for (const auto& b : w4.blocks) EXPECT_FALSE(b.isLong);
  EXPECT_GE(w4.freeUnits.size(), 157u);  // the long block's units are free again
}

// A long entry recorded inside a block splits it at its place; at a block's
// first entry or after its last it goes before or after the block.
TYPED_TEST(LongEntryTest, LongEntryTakesItsPlaceAmongTheBlocks) {
  using B = TypeParam;
  this->dic_.Create();
  for (const char* w : {"b", "c", "e", "f"}) this->Record(w, Fields<B>(T<B>(w)));
  this->Record("d", this->WithExample(33000));
  this->Record("a", this->WithExample(33000));
  this->Record("g", this->WithExample(33000));
  Walk<B> w;
  this->Check(&w, {{"a", 1, 33000}, {"b", 1, 0}, {"c", 1, 0}, {"d", 1, 33000}, {"e", 1, 0}, {"f", 1, 0}, {"g", 1, 33000}});
  EXPECT_EQ(this->Shape(w), "L S L S L");
  EXPECT_TRUE(w.blocks[3].indexWord == Stored<B>(T<B>("e")));

  // Short entries beside long ones start blocks of their own.
  this->Record("ab", Fields<B>(T<B>("x")));
  this->Record("h", Fields<B>(T<B>("x")));
  Walk<B> w2;
  this->Check(&w2, {{"a", 1, 33000},
                    {"ab", 1, 0},
                    {"b", 1, 0},
                    {"c", 1, 0},
                    {"d", 1, 33000},
                    {"e", 1, 0},
                    {"f", 1, 0},
                    {"g", 1, 33000},
                    {"h", 1, 0}});
}

// An entry of a short-entry block that grows long moves to a block of its
// own: from the middle (the block splits), the start and the end; and back.
TYPED_TEST(LongEntryTest, ReplacedEntryMovesOutAndBack) {
  using B = TypeParam;
  for (const char* target : {"b", "a", "c"}) {
    SCOPED_TRACE(target);
    this->dic_.Create();
    for (const char* w : {"a", "b", "c"}) this->Record(w, Fields<B>(T<B>(w)));
    this->Record(target, this->WithExample(33000));
    Walk<B> w;
    std::vector<std::tuple<const char*, size_t, size_t>> want = {{"a", 1, 0}, {"b", 1, 0}, {"c", 1, 0}};
    for (auto& e : want)
      if (std::string(std::get<0>(e)) == target) e = {target, 1, 33000};
    this->Check(&w, want);
    EXPECT_EQ(this->Shape(w), std::string(target) == "a" ? "L S" : std::string(target) == "c" ? "S L" : "S L S");
    EXPECT_EQ(w.header.wordCount(), 3u);
    this->Record(target, Fields<B>(T<B>(target)));
    Walk<B> w2;
    this->Check(&w2, {{"a", 1, 0}, {"b", 1, 0}, {"c", 1, 0}});
    for (const auto& b : w2.blocks) EXPECT_FALSE(b.isLong);
    this->dic_.Close();
  }
}

// Rename and the field changes carry a long entry's texts whole, past the
// lengths a search decodes.
TYPED_TEST(LongEntryTest, RenameAndFieldChangesKeepLongTexts) {
  using B = TypeParam;
  this->dic_.Create();
  vk::Japa<B> f = Fields<B>(this->Repeat('t', 5000), this->Repeat('e', 40000), this->Repeat('p', 2000), 0x87);
  this->Record("old", f);
  ASSERT_EQ(this->dic_.v().RenameWord(T<B>("old").c_str(), T<B>("new").c_str()), 1);
  ASSERT_EQ(this->dic_.m().ChangeTranslation(T<B>("new").c_str(), T<B>("short").c_str()), 1);
  Walk<B> w;
  this->Check(&w, {{"new", 5, 40000}});
  EXPECT_EQ(w.entries[0].fields.pronunciation.size(), 2000u);
  EXPECT_EQ(w.entries[0].fields.attribute, 0x97);
}

// The 16-bit builds have no long entries: fields that cannot make a short
// entry are refused with 29 and nothing changes.
template <class B>
class NoLongEntryTest : public LongEntryTest<B> {};
using vktest::UnitBuilds;
TYPED_TEST_SUITE(NoLongEntryTest, UnitBuilds, BuildNames);

TYPED_TEST(NoLongEntryTest, FieldsBeyondAShortEntryAreRefused) {
  using B = TypeParam;
  this->dic_.Create();
  this->Record("a", Fields<B>(T<B>("1")));
  EXPECT_EQ(this->dic_.Record(T<B>("big"), this->WithExample(40000)), -1);
  EXPECT_EQ(this->dic_.Error(), vk::kErrTooLarge);
  EXPECT_EQ(this->dic_.Record(T<B>("a"), Fields<B>(this->Repeat('t', 40000))), -1);
  EXPECT_EQ(this->dic_.Error(), vk::kErrTooLarge);
  // Just under the short body's bound still fits.
  this->Record("fits", this->WithExample(32000));
  Walk<B> w;
  this->Check(&w, {{"a", 1, 0}, {"fits", 1, 32000}});
}

}  // namespace
}  // namespace vktest
