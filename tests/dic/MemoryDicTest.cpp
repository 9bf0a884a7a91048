// What a memory word list does with the start of a search, which the
// exported interface does not hand back: where the search stands and what
// the start answers, for each kind of flag word.
#include "dic/MemoryDic.h"

#include <gtest/gtest.h>

#include "dic/SearchCursor.h"
#include "format/BuildTraits.h"

namespace {

using List = vk::TMemoryDic<vk::TraitsVKCUB>;

TEST(MemoryDicTest, ASearchStartsWhereItsFlagsSay) {
  List list;
  const vk::Japa<vk::TraitsVKCUB> none;
  for (const char16_t* w : {u"b", u"d", u"f"}) ASSERT_EQ(list.RecordWord(w, none), 1);
  struct Case {
    const char16_t* word;
    int32_t flags;
    int32_t position;
    int32_t answer;
  };
  const Case cases[] = {
      {u"c", vk::kSearchPrefixFlag | vk::kFieldHeadword, 1, 1},
      {u"a", vk::kSearchIncremental, 0, 0},
      {u"g", vk::kSearchPrefixFlag, 3, 3},                  // past every word
      {u"c", vk::kFieldHeadword, 0, vk::kFieldHeadword},    // substring of headwords: from the first
      {u"", vk::kTypeAll, 0, vk::kTypeAll},
      {u"c", vk::kFieldTranslation, 0x7FFFFFFF, vk::kFieldTranslation},  // nowhere
      {u"c", vk::kTypeFlag6, 0x7FFFFFFF, vk::kTypeFlag6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    EXPECT_EQ(list.StartSearch(c.word, c.flags), c.answer);
    EXPECT_EQ(list.SearchPosition(), c.position);
    EXPECT_EQ(std::u16string(list.ResultWord()), c.word);
    EXPECT_EQ(list.NextResult(nullptr), vk::kStepEnd);
  }
  EXPECT_EQ(list.StartSearch(nullptr, vk::kSearchPrefixFlag), 0);
  EXPECT_FALSE(list.Modified());
  EXPECT_FALSE(list.IsReadOnly());
  EXPECT_EQ(list.ErrorCode(), 0);
}

}  // namespace
