// The mutation exports of each engine library, loaded by file name the way
// the converter loads them: every one is there, answers 1/0, copies its
// failure code into the handle, and VKQueryRecord counts into the caller's
// parameter block.
#include <gtest/gtest.h>

#include "api/EngineLib.h"
#include "support/TempDir.h"

namespace vktest {
namespace {

struct Query {
  int32_t clashRule, unused1[2], mergeFlags, unused2;
  int32_t existingCount, addedCount, tooLongCount, unused3;
};
static_assert(sizeof(Query) == 36, "the query parameter block is 36 bytes");

template <class C>
struct Mutations {
  using H = void*;
  using Rec = Record<C>;
  explicit Mutations(const std::string& name) {
    so = ::dlopen((ProgramFolder() + "/lib" + name + ".so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!so) throw std::runtime_error(::dlerror());
    Bind(RecordFn, "VKRecord");
    Bind(Update, "VKUpdate");
    Bind(Erase, "VKErase");
    Bind(Rename, "VKRename");
    Bind(ChangeJapa, "VKChangeJapa");
    Bind(ChangeExp, "VKChangeExp");
    Bind(SetAttr, "VKSetAttr");
    Bind(ChangeLevel, "VKChangeLevel");
    Bind(AddLevel, "VKAddLevel");
    Bind(QueryRecord, "VKQueryRecord");
  }
  ~Mutations() { ::dlclose(so); }
  template <class F>
  void Bind(F& f, const char* symbol) {
    void* p = ::dlsym(so, symbol);
    if (!p) throw std::runtime_error(std::string("missing export ") + symbol);
    f = reinterpret_cast<F>(p);
  }
  void* so;
  int32_t (*RecordFn)(H, const Rec*);
  int32_t (*Update)(H, const Rec*);
  int32_t (*Erase)(H, const C*);
  int32_t (*Rename)(H, const C*, const C*);
  int32_t (*ChangeJapa)(H, const C*, const C*);
  int32_t (*ChangeExp)(H, const C*, const C*);
  int32_t (*SetAttr)(H, const C*, int32_t);
  int32_t (*ChangeLevel)(H, const C*, int32_t);
  int32_t (*AddLevel)(H, const C*, int32_t, int32_t, int32_t);
  int32_t (*QueryRecord)(H, const Rec*, Query*);
};

template <class C>
std::basic_string<C> S(const std::string& a) {
  return std::basic_string<C>(a.begin(), a.end());
}

template <class C>
void Exercise(const std::string& name) {
  SCOPED_TRACE(name);
  EngineLib<C> lib(name);
  Mutations<C> m(name);
  TempDir dir;
  auto path = S<C>(dir.Path("x.dic"));
  void* h = lib.CreateHandle();
  auto w = S<C>("word"), j = S<C>("japa"), n = S<C>("new"), e = S<C>("ex"), empty = S<C>("");
  Record<C> rec;
  rec.word = w.c_str();
  rec.japa = j.c_str();
  rec.attr = 0x80;
  EXPECT_EQ(m.RecordFn(h, &rec), 0);  // no dictionary open
  ASSERT_EQ(lib.Create(h, path.c_str(), nullptr), 1);
  EXPECT_EQ(m.RecordFn(h, &rec), 1);
  EXPECT_EQ(m.Update(h, &rec), 1);
  EXPECT_EQ(m.ChangeExp(h, w.c_str(), e.c_str()), 1);
  EXPECT_EQ(m.SetAttr(h, w.c_str(), 0x25), 1);
  EXPECT_EQ(m.ChangeLevel(h, w.c_str(), 9), 1);
  EXPECT_EQ(m.AddLevel(h, w.c_str(), 3, 0, 15), 1);
  EXPECT_EQ(m.ChangeJapa(h, w.c_str(), n.c_str()), 1);
  EXPECT_EQ(m.Rename(h, w.c_str(), n.c_str()), 1);
  Record<C> out;
  ASSERT_EQ(lib.Find(h, n.c_str(), &out), 1);
  EXPECT_EQ(std::basic_string<C>(out.japa), n);
  EXPECT_EQ(std::basic_string<C>(out.exp), e);
  EXPECT_EQ(out.attr, 0x3C);  // 0x25 with level 9 + 3, bit 4 from the example
  lib.SetDivRatio(h, 3);
  EXPECT_EQ(lib.GetWordNum(h), 1);

  Query q = {};
  q.clashRule = 5;
  q.mergeFlags = 0x10000;
  rec.word = n.c_str();
  EXPECT_EQ(m.QueryRecord(h, &rec, &q), 0);
  rec.word = w.c_str();
  EXPECT_EQ(m.QueryRecord(h, &rec, &q), 0);
  EXPECT_EQ(q.existingCount, 1);
  EXPECT_EQ(q.addedCount, 1);
  EXPECT_EQ(q.tooLongCount, 0);
  ASSERT_EQ(lib.Find(h, n.c_str(), &out), 1);
  EXPECT_EQ(std::basic_string<C>(out.japa), S<C>("new,japa"));

  // A failure answers 0 and leaves its code with the handle.
  auto longWord = std::basic_string<C>(249, C('w'));
  rec.word = longWord.c_str();
  EXPECT_EQ(m.RecordFn(h, &rec), 0);
  EXPECT_EQ(lib.GetErrorCode(h), 37);
  rec.word = empty.c_str();
  EXPECT_EQ(m.RecordFn(h, &rec), 0);
  EXPECT_EQ(m.Erase(h, w.c_str()), 1);
  EXPECT_EQ(m.Erase(h, w.c_str()), 1);  // absent: nothing to do
  EXPECT_EQ(m.Erase(h, empty.c_str()), 0);
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
