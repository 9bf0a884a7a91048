// The exported mutations' rules: attribute and level changes, rename, field
// changes, read-only refusal and the headword length limit.
#include <gtest/gtest.h>

#include <list>

#include "MutationTestUtil.h"

namespace vktest {
namespace {

template <class B>
class OperationsTest : public ::testing::Test {
 protected:
  using Text = std::basic_string<typename B::IChar>;

  void SetUp() override {
    dic_.Create();
    ASSERT_EQ(dic_.Record(T<B>("plain"), Fields<B>(T<B>("p"), {}, {}, 0x8E)), 1);
    ASSERT_EQ(dic_.Record(T<B>("rich"), Fields<B>(T<B>("r"), T<B>("ex"), T<B>("pr"), 0x03)), 1);
  }

  // The stored entry, read back whole from the closed file.
  vk::Japa<B> Stored(const std::string& word) {
    dic_.Close();
    Walk<B> w;
    WalkFile<B>(dic_.path(), &w);
    dic_.Open();
    for (const auto& e : w.entries)
      if (e.word == T<B>(word)) return e.fields;
    ADD_FAILURE() << word << " is not stored";
    return vk::Japa<B>();
  }

  const typename B::IChar* W(const std::string& s) {
    keep_.push_back(T<B>(s));
    return keep_.back().c_str();
  }

  TestDic<B> dic_;
  std::list<Text> keep_;  // stable: pointers into it stay valid
};

TYPED_TEST_SUITE(OperationsTest, AllBuilds, BuildNames);

// Bit 4 says how an entry's fields are laid out; no attribute change can
// flip it. The other bits take the value given.
TYPED_TEST(OperationsTest, SetAttrKeepsTheLayoutBit) {
  auto& m = this->dic_.m();
  EXPECT_EQ(m.SetAttr(this->W("plain"), 0xFF), 1);
  EXPECT_EQ(m.SetAttr(this->W("rich"), 0x05), 1);
  EXPECT_EQ(m.SetAttr(this->W("none"), 0x05), 0);
  EXPECT_EQ(this->Stored("plain").attribute, 0xEF);
  vk::Japa<TypeParam> rich = this->Stored("rich");
  EXPECT_EQ(rich.attribute, 0x15);
  EXPECT_TRUE(rich.example == T<TypeParam>("ex"));
  EXPECT_TRUE(rich.pronunciation == T<TypeParam>("pr"));
}

TYPED_TEST(OperationsTest, ChangeLevelTakesTheLowFourBits) {
  auto& m = this->dic_.m();
  EXPECT_EQ(m.ChangeLevel(this->W("plain"), 0x37), 1);
  EXPECT_EQ(m.ChangeLevel(this->W("rich"), 0x1F), 1);
  EXPECT_EQ(m.ChangeLevel(this->W("none"), 1), 0);
  EXPECT_EQ(this->Stored("plain").attribute, 0x87);
  EXPECT_EQ(this->Stored("rich").attribute, 0x1F);
}

// level := min(level + delta, maximum), then at least minimum.
TYPED_TEST(OperationsTest, AddLevelClampsMaximumThenMinimum) {
  struct Case {
    int start, delta, min, max, want;
  } cases[] = {
      {14, 3, 0, 15, 15}, {3, -5, 1, 15, 1}, {5, 2, 0, 15, 7}, {5, 0, 8, 15, 8}, {9, 1, 12, 10, 12}, {0, 100, 0, 15, 15},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(this->dic_.m().ChangeLevel(this->W("rich"), c.start), 1);
    EXPECT_EQ(this->dic_.m().AddLevel(this->W("rich"), c.delta, c.min, c.max), 1);
    EXPECT_EQ(this->Stored("rich").attribute, 0x10 | c.want) << c.start << " + " << c.delta;
  }
  EXPECT_EQ(this->dic_.m().AddLevel(this->W("none"), 1, 0, 15), 0);
}

// Rename moves fields and attribute; it refuses an absent old headword and
// a present new one, leaving both entries alone.
TYPED_TEST(OperationsTest, RenameMovesOrRefuses) {
  auto& v = this->dic_.v();
  EXPECT_EQ(v.RenameWord(this->W("rich"), this->W("plain")), 0);
  EXPECT_EQ(v.RenameWord(this->W("none"), this->W("other")), 0);
  EXPECT_EQ(v.RenameWord(this->W("rich"), this->W("aardvark")), 1);
  EXPECT_EQ(v.WordCount(), 2);
  this->dic_.Close();
  Walk<TypeParam> w;
  WalkFile<TypeParam>(this->dic_.path(), &w);
  ASSERT_EQ(w.entries.size(), 2u);
  EXPECT_TRUE(w.entries[0].word == T<TypeParam>("aardvark"));
  EXPECT_EQ(w.entries[0].fields.attribute, 0x13);
  EXPECT_TRUE(w.entries[0].fields.example == T<TypeParam>("ex"));
  EXPECT_TRUE(w.entries[1].word == T<TypeParam>("plain"));
  EXPECT_TRUE(w.entries[1].fields.translation == T<TypeParam>("p"));
}

TYPED_TEST(OperationsTest, ChangeTranslationAndExampleKeepTheRest) {
  auto& m = this->dic_.m();
  EXPECT_EQ(m.ChangeTranslation(this->W("rich"), this->W("new")), 1);
  EXPECT_EQ(m.ChangeExample(this->W("plain"), this->W("added")), 1);
  EXPECT_EQ(m.ChangeExample(this->W("none"), this->W("x")), 0);
  vk::Japa<TypeParam> rich = this->Stored("rich");
  EXPECT_TRUE(rich.translation == T<TypeParam>("new"));
  EXPECT_TRUE(rich.example == T<TypeParam>("ex"));
  EXPECT_EQ(rich.attribute, 0x13);
  vk::Japa<TypeParam> plain = this->Stored("plain");
  EXPECT_TRUE(plain.example == T<TypeParam>("added"));
  EXPECT_EQ(plain.attribute, 0x9E);  // now extended
  EXPECT_EQ(this->dic_.m().ChangeExample(this->W("plain"), nullptr), 1);
  EXPECT_EQ(this->Stored("plain").attribute, 0x8E);
}

// A dictionary opened read-only refuses every change with 23 and stays as
// it was; a missing headword for Update is no failure at all.
TYPED_TEST(OperationsTest, ReadOnlyRefusesEveryChange) {
  using B = TypeParam;
  this->dic_.Close();
  std::vector<uint8_t> before = FileBytes(this->dic_.path());
  this->dic_.Open(true);
  auto& v = this->dic_.v();
  auto& m = this->dic_.m();
  vk::Japa<B> f = Fields<B>(T<B>("x"));
  vk::QueryCounters q;
  const std::vector<std::pair<const char*, int32_t>> calls = {
      {"record", v.RecordWord(this->W("new"), f)},
      {"update", v.UpdateWord(this->W("plain"), f)},
      {"erase", v.EraseWord(this->W("plain"))},
      {"rename", v.RenameWord(this->W("plain"), this->W("x"))},
      {"japa", m.ChangeTranslation(this->W("plain"), this->W("x"))},
      {"exp", m.ChangeExample(this->W("plain"), this->W("x"))},
      {"attr", m.SetAttr(this->W("plain"), 1)},
      {"level", m.ChangeLevel(this->W("plain"), 1)},
      {"add", m.AddLevel(this->W("plain"), 1, 0, 15)},
      {"query new", m.Query(this->W("new"), f, 4, 0, &q)},
      {"query existing", m.Query(this->W("plain"), f, 4, 0, &q)},
  };
  for (const auto& c : calls) {
    EXPECT_EQ(c.second, -1) << c.first;
  }
  EXPECT_EQ(v.Error(), vk::kErrReadOnly);
  v.File().SetError(0);
  EXPECT_EQ(v.UpdateWord(this->W("none"), f), 0);
  EXPECT_EQ(v.Error(), 0);
  this->dic_.Close();
  EXPECT_EQ(FileBytes(this->dic_.path()), before);
}

// Fast mode on a read-only dictionary (the converter puts its source in
// fast mode): switching it off has nothing to flush and must not fail on
// the file it may not write, nor roll the dictionary back.
TYPED_TEST(OperationsTest, ReadOnlyFastModeSwitchesOffWithoutWriting) {
  using B = TypeParam;
  this->dic_.Close();
  std::vector<uint8_t> before = FileBytes(this->dic_.path());
  this->dic_.Open(true);
  auto& v = this->dic_.v();
  EXPECT_EQ(v.SetFast(true), 1);
  EXPECT_EQ(v.RecordWord(this->W("new"), Fields<B>(T<B>("x"))), -1);
  v.File().SetError(0);
  EXPECT_EQ(v.SetFast(false), 0);
  EXPECT_EQ(v.Error(), 0);
  vk::Japa<B> f;
  EXPECT_EQ(v.FindWord(this->W("rich"), &f), 1);
  EXPECT_TRUE(f.example == T<B>("ex"));
  EXPECT_EQ(v.FindWord(this->W("new"), nullptr), 0);
  this->dic_.Close();
  EXPECT_EQ(FileBytes(this->dic_.path()), before);
}

// A dictionary emptied in fast mode: the close must write the header's
// word count of 0, as it writes every other count.
TYPED_TEST(OperationsTest, EmptiedInFastModeKeepsAWordCountOfZero) {
  using B = TypeParam;
  ASSERT_EQ(this->dic_.v().EraseWord(this->W("rich")), 1);
  this->dic_.Reopen();
  auto& v = this->dic_.v();
  ASSERT_EQ(v.SetFast(true), 1);
  EXPECT_EQ(v.RecordWord(this->W("plain"), Fields<B>(T<B>(""))), 1);
  EXPECT_EQ(v.EraseWord(this->W("plain")), 1);
  EXPECT_EQ(v.WordCount(), 0);
  this->dic_.Close();
  Walk<TypeParam> w;
  WalkFile<TypeParam>(this->dic_.path(), &w);
  EXPECT_EQ(w.header.wordCount(), 0u);
  this->dic_.Open();
  EXPECT_EQ(this->dic_.v().WordCount(), 0);
}

// Headwords of 248 stored units are the longest: 249 gives 37. In the
// UTF-8 build the limit counts bytes.
TYPED_TEST(OperationsTest, HeadwordOf249UnitsIsRefused) {
  using B = TypeParam;
  auto& v = this->dic_.v();
  vk::Japa<B> f = Fields<B>(T<B>("x"));
  typename OperationsTest<B>::Text longest(248, typename B::IChar('w'));
  EXPECT_EQ(v.RecordWord(longest.c_str(), f), 1);
  typename OperationsTest<B>::Text tooLong(249, typename B::IChar('w'));
  EXPECT_EQ(v.RecordWord(tooLong.c_str(), f), -1);
  EXPECT_EQ(v.Error(), vk::kErrWordTooLong);
  EXPECT_EQ(v.RenameWord(this->W("plain"), tooLong.c_str()), -1);
  EXPECT_EQ(v.Error(), vk::kErrWordTooLong);
  EXPECT_EQ(v.EraseWord(tooLong.c_str()), 1);  // no such entry can exist
  if constexpr (std::is_same_v<typename B::IChar, char16_t> && sizeof(typename B::Unit) == 1) {
    std::u16string e124(124, u'\u00E9'), e125(125, u'\u00E9');  // 248 and 250 bytes
    EXPECT_EQ(v.RecordWord(e124.c_str(), f), 1);
    EXPECT_EQ(v.RecordWord(e125.c_str(), f), -1);
    EXPECT_EQ(v.Error(), vk::kErrWordTooLong);
  }
  EXPECT_EQ(v.RecordWord(this->W(""), f), 0);
  EXPECT_EQ(v.RecordWord(nullptr, f), 0);
}

}  // namespace
}  // namespace vktest
