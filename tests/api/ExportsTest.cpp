// The mutation exports of each engine library, loaded by file name the way
// the converter loads them: every one is there (EngineLib refuses a library
// that lacks one), answers 1/0, copies its failure code into the handle, and
// VKQueryRecord counts into the caller's parameter block.
#include <gtest/gtest.h>

#include "api/EngineLib.h"
#include "support/TempDir.h"

namespace vktest {
namespace {

template <class C>
std::basic_string<C> S(const std::string& a) {
  return std::basic_string<C>(a.begin(), a.end());
}

template <class C>
void Exercise(const std::string& name) {
  SCOPED_TRACE(name);
  EngineLib<C> lib(name);
  TempDir dir;
  auto path = S<C>(dir.Path("x.dic"));
  VKHandle h = lib.CreateHandle();
  auto w = S<C>("word"), j = S<C>("japa"), n = S<C>("new"), e = S<C>("ex"), empty = S<C>("");
  typename VKRecordOf<C>::type rec{};
  rec.word = w.c_str();
  rec.japa = j.c_str();
  rec.attr = 0x80;
  EXPECT_EQ(lib.Record(h, &rec), 0);  // no dictionary open
  ASSERT_EQ(lib.Create(h, path.c_str(), nullptr), 1);
  EXPECT_EQ(lib.Record(h, &rec), 1);
  EXPECT_EQ(lib.Update(h, &rec), 1);
  EXPECT_EQ(lib.ChangeExp(h, w.c_str(), e.c_str()), 1);
  EXPECT_EQ(lib.SetAttr(h, w.c_str(), 0x25), 1);
  EXPECT_EQ(lib.ChangeLevel(h, w.c_str(), 9), 1);
  EXPECT_EQ(lib.AddLevel(h, w.c_str(), 3, 0, 15), 1);
  EXPECT_EQ(lib.ChangeJapa(h, w.c_str(), n.c_str()), 1);
  EXPECT_EQ(lib.Rename(h, w.c_str(), n.c_str()), 1);
  typename VKRecordOf<C>::type out{};
  ASSERT_EQ(lib.Find(h, n.c_str(), &out), 1);
  EXPECT_EQ(std::basic_string<C>(out.japa), n);
  EXPECT_EQ(std::basic_string<C>(out.exp), e);
  EXPECT_EQ(out.attr, 0x3C);  // 0x25 with level 9 + 3, bit 4 from the example
  lib.SetDivRatio(h, 3);
  EXPECT_EQ(lib.GetWordNum(h), 1);

  VKQueryParam q = {};
  q.clashRule = VK_CLASH_MERGE_COMMA;
  q.mergeFlags = VK_MERGE_TRANSLATIONS;
  rec.word = n.c_str();
  EXPECT_EQ(lib.QueryRecord(h, &rec, &q), 0);
  rec.word = w.c_str();
  EXPECT_EQ(lib.QueryRecord(h, &rec, &q), 0);
  EXPECT_EQ(q.existingCount, 1);
  EXPECT_EQ(q.addedCount, 1);
  EXPECT_EQ(q.tooLongCount, 0);
  ASSERT_EQ(lib.Find(h, n.c_str(), &out), 1);
  EXPECT_EQ(std::basic_string<C>(out.japa), S<C>("new,japa"));

  // A failure answers 0 and leaves its code with the handle.
  auto longWord = std::basic_string<C>(249, C('w'));
  rec.word = longWord.c_str();
  EXPECT_EQ(lib.Record(h, &rec), 0);
  EXPECT_EQ(lib.GetErrorCode(h), VK_ERR_WORD_TOO_LONG);
  rec.word = empty.c_str();
  EXPECT_EQ(lib.Record(h, &rec), 0);
  EXPECT_EQ(lib.Erase(h, w.c_str()), 1);
  EXPECT_EQ(lib.Erase(h, w.c_str()), 1);  // absent: nothing to do
  EXPECT_EQ(lib.Erase(h, empty.c_str()), 0);
  EXPECT_EQ(lib.GetWordNum(h), 1);
  lib.Close(h);
  lib.DeleteHandle(h);
}

TEST(ExportsTest, EveryLibraryExportsTheMutations) {
  Exercise<char16_t>("VKCU8L");
  Exercise<char16_t>("VKCUB");
  Exercise<char16_t>("VKCUL");
  Exercise<char>("VKC620");
}

}  // namespace
}  // namespace vktest
