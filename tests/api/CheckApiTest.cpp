// VKDicCheck as a caller of each loaded library sees it: the record handed
// to its callback, the texts in the library's own string type (UTF-8 in
// libVKC620.so), the repair of the entry count written to the file, and the
// open failure left in the handle.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "api/ApiTestUtil.h"
#include "support/DamagedFile.h"
#include "support/TempDir.h"
#include "text/Utf.h"

namespace {

using namespace vktest;

// A text of the callback in UTF-8, "(null)" for none.
std::string Utf8Of(const char16_t* s) { return s ? vk::Utf16ToUtf8(s) : "(null)"; }
std::string Utf8Of(const char* s) { return s ? s : "(null)"; }

template <class P>
class CheckApiTest : public ::testing::Test {
 protected:
  using C = typename P::C;
  using Param = typename ::VKCheckParamOf<C>::type;
  using Rec = typename ::VKRecordOf<C>::type;

  CheckApiTest() : lib(P::kName) {}

  std::basic_string<C> Name(const std::string& file) {
    std::string p = dir.Path(file);
    return std::basic_string<C>(p.begin(), p.end());
  }

  // A dictionary made through the library: three entries.
  void Make(const std::string& file) {
    VKHandle h = lib.CreateHandle();
    int32_t zero = 0;
    ASSERT_EQ(lib.Create(h, Name(file).c_str(), &zero), 1);
    for (const char* w : {"apple", "banana", "cherry"}) {
      const std::basic_string<C> word = S<C>(vk::Utf8ToUtf16(w)), japa = S<C>(u"t");
      Rec r = {};
      r.word = word.c_str();
      r.japa = japa.c_str();
      r.attr = 0x80;
      ASSERT_EQ(lib.Record(h, &r), 1);
    }
    lib.Close(h);
    lib.DeleteHandle(h);
  }

  // What the callback saw of kinds 1 and 3, as "kind:message|detail" in
  // UTF-8, and the last words of kind 5.
  struct Log {
    std::vector<std::string> lines;
    int32_t words = -1;
  };
  struct Seen : Log {
    struct Call {
      Param param;  // first: the engine hands this record back
      Log* log;
    } call;
  };

  static int32_t Callback(int32_t kind, Param* p) {
    Log* s = reinterpret_cast<typename Seen::Call*>(p)->log;
    if (kind == VK_CHECK_PROBLEM) s->lines.push_back("1:" + Utf8Of(p->message) + "|" + Utf8Of(p->detail));
    if (kind == VK_CHECK_STATUS) s->lines.push_back("3:" + Utf8Of(p->message));
    if (kind == VK_CHECK_PROGRESS) s->words = p->words;
    return 0;
  }

  int32_t Check(const std::string& file, Seen* seen, VKHandle h) {
    seen->call.param = {};
    seen->call.log = seen;
    seen->call.param.callback = &Callback;
    return lib.DicCheck(h, Name(file).c_str(), &seen->call.param);
  }

  EngineLib<C> lib;
  TempDir dir;
};

using Libs = ::testing::Types<LibU8, LibUB, LibUL, LibC620>;
TYPED_TEST_SUITE(CheckApiTest, Libs);

const std::string kStart = "3:ﾘﾝｸ状態を調べています";
const std::string kUnused = "3:未使用ﾌﾞﾛｯｸをﾁｪｯｸしています";
const std::string kUsed = "3:使用ﾌﾞﾛｯｸのﾘﾝｸをﾁｪｯｸしています";
const std::string kLinksClean = "3:ﾘﾝｸに異常はありませんでした";
const std::string kClean = "3:辞書に異常はありませんでした";

TYPED_TEST(CheckApiTest, CleanFileHasItsEntryCountCorrected) {
  using B = typename TypeParam::B;
  this->Make("a.dic");
  {
    DamagedFile<B> f(this->dir.Path("a.dic"));
    f.SetWordCount(9);
    f.Save();
  }
  VKHandle h = this->lib.CreateHandle();
  typename TestFixture::Seen seen;
  EXPECT_EQ(this->Check("a.dic", &seen, h), 1);
  EXPECT_EQ(seen.lines, (std::vector<std::string>{kStart, kUnused, kUsed, kLinksClean, kClean}));
  EXPECT_EQ(seen.words, 3);
  // The texts are the engine's only during the call.
  EXPECT_EQ(seen.call.param.message, nullptr);
  EXPECT_EQ(seen.call.param.detail, nullptr);
  VKHeaderInfo info;
  ASSERT_EQ(this->lib.GetHeaderInfo(this->Name("a.dic").c_str(), &info), 1);
  EXPECT_EQ(info.wordCount, 3);
  this->lib.DeleteHandle(h);
}

TYPED_TEST(CheckApiTest, DamagedFileGivesTheProblemsTexts) {
  using B = typename TypeParam::B;
  this->Make("a.dic");
  int32_t unit = -1;
  int64_t blockAt = 0;
  {
    // The first entry's headword "apple" becomes "xpple" in its block.
    DamagedFile<B> f(this->dir.Path("a.dic"));
    unit = f.H16(f.IndexEntries()[0]) & 0xFFFF;
    blockAt = int64_t(f.UnitAt(unit));
    auto b = f.Block(unit, 1);
    b[2 + 4] = 'x';
    f.PutBlock(unit, b);
    f.Save();
  }
  VKHandle h = this->lib.CreateHandle();
  typename TestFixture::Seen seen;
  EXPECT_EQ(this->Check("a.dic", &seen, h), 1);
  ASSERT_EQ(seen.lines.size(), 6u);
  const std::string u = std::to_string(unit);
  EXPECT_EQ(seen.lines[4].substr(0, seen.lines[4].find('|')),
            "1:Fatal:ｲﾝﾃﾞｯｸｽとﾃﾞｰﾀﾌﾞﾛｯｸが一致していません.\npbn:[" + u + "] lbn:[0] Index:[apple] <> Block:[xpple]");
  char detail[80];
  std::snprintf(detail, sizeof detail, "pbn:[%d]*1  lbn:[0] cp:[0002h] => off:[%08Xh]", unit, unsigned(blockAt + 2));
  EXPECT_EQ(seen.lines[4].substr(seen.lines[4].find('|') + 1), detail);
  // Not counted: the verdict is the clean one.
  EXPECT_EQ(seen.lines[5], kClean);
  this->lib.DeleteHandle(h);
}

TYPED_TEST(CheckApiTest, AFileThatCannotBeOpenedLeavesItsCodeInTheHandle) {
  VKHandle h = this->lib.CreateHandle();
  typename TestFixture::Seen seen;
  EXPECT_EQ(this->Check("none.dic", &seen, h), 0);
  EXPECT_EQ(this->lib.GetErrorCode(h), VK_ERR_FILE_NOT_FOUND);
  EXPECT_TRUE(seen.lines.empty());
  this->lib.DeleteHandle(h);
}

}  // namespace
