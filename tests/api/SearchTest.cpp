// Search and navigation through the loaded libraries, over dictionaries
// whose block boundaries the test sets (three entries to a block).
#include <gtest/gtest.h>

#include <algorithm>

#include "api/ApiTestUtil.h"
#include "api/TestDic.h"
#include "dic/Voka.h"
#include "support/StoredWords.h"
#include "support/FaultEnv.h"
#include "support/TempDir.h"
#include "text/Collation.h"

namespace {

using namespace vktest;

std::vector<TestEntry> Fixture() {
  // In dictionary order (ASCII: the same in every build).
  return {
      {u"ABx", u"upper", u"", u"", 0x80 | 2},
      {u"aa", u"?query", u"", u"", 0x80 | 1},
      {u"ab", u"bee", u"an example", u"", 0x80 | 0x20 | 3},
      {u"abc", u"see", u"", u"eh-bee-see", 0x80 | 0x40 | 5},
      {u"abd", u"", u"", u"", 0x80},
      {u"b", u"just b", u"", u"", 0x80 | 15},
      {u"ba", u"xyz", u"", u"", 0x80 | 0x20 | 1},
      {u"bb", u"bob", u"", u"", 0x80},
      {u"c", u"sea", u"waves", u"", 0x80 | 3},
      {u"ca", u"cab", u"", u"", 0x80},
      {u"d", u"dee", u"", u"", 0x80},
  };
}

template <class P>
class SearchTest : public ::testing::Test {
 protected:
  using C = typename P::C;
  using Rec = typename VKRecordOf<C>::type;

  SearchTest() : lib(P::kName) {}

  void SetUp() override {
    std::string path = dir.Path("s.dic");
    BuildDictionary<typename P::B>(path, Fixture(), 3);
    h = lib.CreateHandle();
    auto name = S<C>(std::u16string(path.begin(), path.end()));
    ASSERT_EQ(lib.Open(h, name.c_str(), 1), 1) << lib.GetErrorCode(h);
  }
  void TearDown() override { lib.DeleteHandle(h); }

  std::basic_string<C> s(const std::u16string& t) { return S<C>(t); }

  // The words of every result until the end, with "|" for each 0.
  std::vector<std::u16string> Drain(bool forward = true) {
    std::vector<std::u16string> out;
    Rec rec{};
    for (int guard = 0; guard < 200; ++guard) {
      int32_t rc = forward ? lib.GetNextSearch(h, &rec) : lib.GetPrevSearch(h, &rec);
      if (rc == 1) {
        out.push_back(U(rec.word));
      } else if (rc == 0) {
        out.push_back(u"|");
      } else {
        break;
      }
    }
    return out;
  }
  // Only the words.
  std::vector<std::u16string> Words(bool forward = true) {
    auto all = Drain(forward);
    all.erase(std::remove(all.begin(), all.end(), u"|"), all.end());
    return all;
  }

  EngineLib<C> lib;
  TempDir dir;
  VKHandle h = nullptr;
};

using Libs = ::testing::Types<LibU8, LibUB, LibUL, LibC620>;
TYPED_TEST_SUITE(SearchTest, Libs);

TYPED_TEST(SearchTest, AllEntriesInOrderWithZerosAtBlockBoundaries) {
  auto& lib = this->lib;
  EXPECT_EQ(lib.GetWordNum(this->h), 11);
  ASSERT_EQ(lib.InitSearch(this->h, nullptr, VK_SEARCH_ALL), 1);
  EXPECT_EQ(this->Drain(), (std::vector<std::u16string>{u"ABx", u"aa", u"ab", u"|", u"abc", u"abd", u"b", u"|", u"ba",
                                                        u"bb", u"c", u"|", u"ca", u"d", u"|"}));
  typename TestFixture::Rec rec{};
  EXPECT_EQ(lib.GetNextSearch(this->h, &rec), -2);
  EXPECT_EQ(lib.GetPercent(this->h), 100);
  // Backwards from the end.
  lib.JumpAS(this->h, this->s(u"").c_str(), 1, 0);
  EXPECT_EQ(this->Words(false),
            (std::vector<std::u16string>{u"d", u"ca", u"c", u"bb", u"ba", u"b", u"abd", u"abc", u"ab", u"aa", u"ABx"}));
}

TYPED_TEST(SearchTest, RecordsCarryFieldsAndAttribute) {
  auto& lib = this->lib;
  typename TestFixture::Rec rec{};
  ASSERT_EQ(lib.Find(this->h, this->s(u"abc").c_str(), &rec), 1);
  EXPECT_EQ(U(rec.word), u"abc");
  EXPECT_EQ(U(rec.japa), u"see");
  EXPECT_EQ(U(rec.exp), u"");
  EXPECT_EQ(U(rec.pron), u"eh-bee-see");
  EXPECT_EQ(rec.attr, 0x80 | 0x40 | 0x10 | 5);  // bit 4: stored extended
  EXPECT_EQ(lib.Find(this->h, this->s(u"abcd").c_str(), &rec), 0);
  EXPECT_EQ(lib.Find(this->h, this->s(u"").c_str(), &rec), 0);
  EXPECT_EQ(lib.Find(this->h, nullptr, &rec), 0);
  EXPECT_EQ(lib.Find(this->h, this->s(u"d").c_str(), nullptr), 1);
}

TYPED_TEST(SearchTest, BSearchPositionsAtTheFirstEntryNotLess) {
  auto& lib = this->lib;
  typename TestFixture::Rec rec{};
  struct Case {
    std::u16string key;
    int32_t rc;
    std::u16string word;
  };
  const Case cases[] = {
      {u"A", 1, u"ABx"},    {u"ab", 1, u"ab"},  {u"abb", 1, u"abc"},  // between two blocks
      {u"abcz", 1, u"abd"},
      {u"b", 1, u"b"},      {u"bz", 1, u"c"},   {u"d", 1, u"d"},
      {u"zzz", 0, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.key));
    rec = {};
    EXPECT_EQ(lib.BSearch(this->h, this->s(c.key).c_str(), &rec), c.rc);
    if (c.rc == 1) {
      EXPECT_EQ(U(rec.word), c.word);
    }
  }
}

struct TypeCase {
  const char* what;
  std::u16string pattern;
  int32_t flags;
  std::vector<std::u16string> words;
};

TYPED_TEST(SearchTest, SearchTypesAndMatchers) {
  auto& lib = this->lib;
  const TypeCase cases[] = {
      {"type 12: attribute bit 5", u"", VK_SEARCH_FLAG5, {u"ab", u"ba"}},
      {"type 16: attribute bit 6", u"", VK_SEARCH_FLAG6, {u"abc"}},
      {"type 64: levels 1 to 3", u"31", VK_SEARCH_LEVEL, {u"ABx", u"aa", u"ab", u"ba", u"c"}},
      {"type 64: level 15", u"99", VK_SEARCH_LEVEL, {}},
      {"type 256: translation begins with ?", u"", VK_SEARCH_QUERY, {u"aa"}},
      {"headword substring", u"b", VK_SEARCH_HEADWORD, {u"ab", u"abc", u"abd", u"b", u"ba", u"bb"}},
      {"headword substring, case-folded", u"bX", VK_SEARCH_CASE_FOLDED | VK_SEARCH_HEADWORD, {u"ABx"}},
      {"headword prefix (ordered)", u"ab", VK_SEARCH_PREFIX | VK_SEARCH_HEADWORD, {u"ab", u"abc", u"abd"}},
      {"headword prefix, case-folded", u"ab",
       VK_SEARCH_PREFIX | VK_SEARCH_CASE_FOLDED | VK_SEARCH_HEADWORD, {u"ABx", u"ab", u"abc", u"abd"}},
      {"translation substring", u"ee", VK_SEARCH_TRANSLATION, {u"ab", u"abc", u"d"}},
      {"translation prefix", u"s", VK_SEARCH_PREFIX | VK_SEARCH_TRANSLATION, {u"abc", u"c"}},
      {"example", u"ample", VK_SEARCH_EXAMPLE, {u"ab"}},
      {"pronunciation", u"bee", VK_SEARCH_PRONUNCIATION, {u"abc"}},
      {"headword or translation", u"a", VK_SEARCH_HEADWORD | VK_SEARCH_TRANSLATION, {u"aa", u"ab", u"abc", u"abd", u"ba", u"c", u"ca"}},
      {"empty pattern matches every headword", u"", VK_SEARCH_HEADWORD,
       {u"ABx", u"aa", u"ab", u"abc", u"abd", u"b", u"ba", u"bb", u"c", u"ca", u"d"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(lib.InitSearch(this->h, this->s(c.pattern).c_str(), c.flags), 1);
    EXPECT_EQ(this->Words(), c.words);
  }
}

TYPED_TEST(SearchTest, LevelRangeWithAShortPatternReadsNothingPast) {
  auto& lib = this->lib;
  ASSERT_EQ(lib.InitSearch(this->h, this->s(u"2").c_str(), VK_SEARCH_LEVEL), 1);  // levels 0..2
  EXPECT_EQ(this->Words(), (std::vector<std::u16string>{u"ABx", u"aa", u"abd", u"ba", u"bb", u"ca", u"d"}));
}

TYPED_TEST(SearchTest, IncrementalSearchStopsAfterThePrefix) {
  auto& lib = this->lib;
  ASSERT_EQ(lib.InitIncSearch(this->h, this->s(u"ab").c_str()), 1);
  EXPECT_EQ(this->Words(), (std::vector<std::u16string>{u"ab", u"abc", u"abd"}));
}

TYPED_TEST(SearchTest, JumpsPlaceTheCursor) {
  auto& lib = this->lib;
  typename TestFixture::Rec rec{};
  struct Case {
    std::u16string word;
    int32_t after, inclusive;
    std::u16string next, prev;
  };
  const Case cases[] = {
      {u"b", 0, 1, u"b", u"abc"},      // equal, inclusive: E first; the cursor stands before E
      {u"b", 0, 0, u"ba", u"abd"},     // equal, exclusive: the cursor stays on E
      {u"abb", 0, 0, u"abc", u""},     // between blocks: E first; the cursor stands before its block
      {u"b", 1, 0, u"ba", u"abd"},     // after: around E
      {u"ABx", 0, 1, u"ABx", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.word));
    lib.InitSearch(this->h, nullptr, VK_SEARCH_ALL);
    lib.JumpAS(this->h, this->s(c.word).c_str(), c.after, c.inclusive);
    int32_t rc;
    while ((rc = lib.GetNextSearch(this->h, &rec)) == 0) {
    }
    ASSERT_EQ(rc, 1);
    EXPECT_EQ(U(rec.word), c.next);
    lib.JumpAS(this->h, this->s(c.word).c_str(), c.after, c.inclusive);
    while ((rc = lib.GetPrevSearch(this->h, &rec)) == 0) {
    }
    if (c.prev.empty()) {
      EXPECT_EQ(rc, -2);
    } else {
      ASSERT_EQ(rc, 1);
      EXPECT_EQ(U(rec.word), c.prev);
    }
  }
  lib.JumpAS(this->h, this->s(u"").c_str(), 0, 0);
  ASSERT_EQ(lib.GetNextSearch(this->h, &rec), 1);
  EXPECT_EQ(U(rec.word), u"ABx");
}

TYPED_TEST(SearchTest, DirectJumpAndPercent) {
  auto& lib = this->lib;
  typename TestFixture::Rec rec{};
  lib.InitSearch(this->h, nullptr, VK_SEARCH_ALL);
  EXPECT_EQ(lib.GetPercent(this->h), -25);  // index position -1 of 4 blocks
  ASSERT_EQ(lib.DirectJump(this->h, 2), 1);
  ASSERT_EQ(lib.GetNextSearch(this->h, &rec), 1);
  EXPECT_EQ(U(rec.word), u"ba");
  EXPECT_EQ(lib.GetPercent(this->h), 50);
  EXPECT_EQ(lib.DirectJump(this->h, 4), 0);
  ASSERT_EQ(lib.GetNextSearch(this->h, &rec), 1);
  EXPECT_EQ(U(rec.word), u"bb");
  ASSERT_EQ(lib.InitScan(this->h), 1);
  EXPECT_EQ(this->Words().size(), 11u);
}

TYPED_TEST(SearchTest, EmptyDictionary) {
  auto& lib = this->lib;
  using C = typename TestFixture::C;
  std::string path = this->dir.Path("empty.dic");
  VKHandle h = lib.CreateHandle();
  int32_t zero = 0;
  auto name = S<C>(std::u16string(path.begin(), path.end()));
  ASSERT_EQ(lib.Create(h, name.c_str(), &zero), 1);
  typename TestFixture::Rec rec{};
  EXPECT_EQ(lib.BSearch(h, this->s(u"a").c_str(), &rec), 0);
  EXPECT_EQ(lib.Find(h, this->s(u"a").c_str(), &rec), 0);
  lib.InitSearch(h, nullptr, VK_SEARCH_ALL);
  EXPECT_EQ(lib.GetNextSearch(h, &rec), -2);
  EXPECT_EQ(lib.GetPercent(h), 0);
  lib.DeleteHandle(h);
}

TEST(ScanTest, Vkcub) {
  EngineLib<char16_t> lib("VKCUB");
  TempDir dir;
  std::string path = dir.Path("scan.dic");
  BuildDictionary<vk::TraitsVKCUB>(path, Fixture(), 3);
  VKHandle h = lib.CreateHandle();
  std::u16string name(path.begin(), path.end());
  ASSERT_EQ(lib.Open(h, name.c_str(), 1), 1);
  VKRecordDataW rec{};
  std::vector<std::u16string> words, japa;
  int32_t rc;
  while ((rc = lib.GetNextScan(h, &rec)) == 1) {
    words.push_back(rec.word);
    japa.push_back(rec.japa);
  }
  EXPECT_EQ(rc, -2);
  ASSERT_EQ(words.size(), 11u);
  EXPECT_EQ(words[3], u"abc");
  EXPECT_EQ(japa[3], u"see");
  lib.DeleteHandle(h);
  EXPECT_EQ(lib.GetNextScan(nullptr, &rec), -1);
}

// In fast mode the last changed block may not have reached the file yet;
// the scan still sees every entry the dictionary holds.
TEST(ScanTest, SeesEntriesFastModeHasNotWrittenYet) {
  EngineLib<char16_t> lib("VKCUB");
  TempDir dir;
  std::string path = dir.Path("fast.dic");
  BuildDictionary<vk::TraitsVKCUB>(path, Fixture(), 3);
  VKHandle h = lib.CreateHandle();
  std::u16string name(path.begin(), path.end());
  ASSERT_EQ(lib.Open(h, name.c_str(), 0), 1);
  ASSERT_EQ(lib.SetFastMode(h, 1), 1);
  VKRecordDataW add{};
  std::u16string word = u"abe", japa = u"new";
  add.word = word.data();
  add.japa = japa.data();
  ASSERT_EQ(lib.Record(h, &add), 1);
  lib.InitScan(h);
  VKRecordDataW rec{};
  std::vector<std::u16string> words;
  while (lib.GetNextScan(h, &rec) == 1) words.push_back(rec.word);
  EXPECT_EQ(words.size(), Fixture().size() + 1);
  EXPECT_NE(std::find(words.begin(), words.end(), u"abe"), words.end());
  lib.DeleteHandle(h);
}

// Outside the Basic Multilingual Plane the two Unicode orders differ.
TEST(BuildOrder, SupplementaryCharactersSortDifferently) {
  TempDir dir;
  std::vector<TestEntry> u8 = {{u"\uFF21", u"A", u"", u"", 0x80}, {u"\U0001F600", u"smile", u"", u"", 0x80}};
  std::vector<TestEntry> ub = {u8[1], u8[0]};
  BuildDictionary<vk::TraitsVKCU8L>(dir.Path("u8.dic"), u8, 3);
  BuildDictionary<vk::TraitsVKCUB>(dir.Path("ub.dic"), ub, 3);
  for (auto [lib, file, first] : {std::make_tuple("VKCU8L", "u8.dic", u8[0].word), std::make_tuple("VKCUB", "ub.dic", ub[0].word)}) {
    SCOPED_TRACE(lib);
    EngineLib<char16_t> engine(lib);
    VKHandle h = engine.CreateHandle();
    std::string path = dir.Path(file);
    ASSERT_EQ(engine.Open(h, std::u16string(path.begin(), path.end()).c_str(), 1), 1);
    engine.InitSearch(h, nullptr, VK_SEARCH_ALL);
    VKRecordDataW rec{};
    ASSERT_EQ(engine.GetNextSearch(h, &rec), 1);
    EXPECT_EQ(std::u16string(rec.word), first);
    ASSERT_EQ(engine.Find(h, u"\U0001F600", &rec), 1);
    EXPECT_EQ(std::u16string(rec.japa), u"smile");
    engine.DeleteHandle(h);
  }
}

}  // namespace

namespace {

// A block whose first entry claims to run past the block's end.
TEST(DamagedBlock, SearchAndLookupReportDamage) {
  EngineLib<char16_t> lib("VKCU8L");
  TempDir dir;
  std::string path = dir.Path("bad.dic");
  BuildDictionary<vk::TraitsVKCU8L>(path, Fixture(), 3);
  auto bytes = ReadAll(path);
  const size_t block1 = 256 + 8 * 256 + 8 * 256;
  bytes[block1 + 2] = 0xF0;
  bytes[block1 + 3] = 0xFF;
  WriteAll(path, bytes);
  VKHandle h = lib.CreateHandle();
  std::u16string name(path.begin(), path.end());
  ASSERT_EQ(lib.Open(h, name.c_str(), 1), 1);
  lib.InitSearch(h, nullptr, VK_SEARCH_ALL);
  VKRecordDataW rec{};
  int32_t rc;
  int delivered = 0;
  while ((rc = lib.GetNextSearch(h, &rec)) >= 0) delivered += rc;
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(delivered, 3);
  EXPECT_EQ(lib.GetErrorCode(h), VK_ERR_DAMAGED);
  EXPECT_EQ(lib.Find(h, u"abd", &rec), 0);
  EXPECT_EQ(lib.GetErrorCode(h), VK_ERR_DAMAGED);
  EXPECT_EQ(lib.Find(h, u"aa", &rec), 1);  // other blocks still read
  lib.DeleteHandle(h);
}

}  // namespace

namespace {

template <class P>
class ChangeDuringSearchTest : public ::testing::Test {};
using ChangeLibs = ::testing::Types<LibU8, LibUB, LibUL, LibC620>;
TYPED_TEST_SUITE(ChangeDuringSearchTest, ChangeLibs);

// A change made between two steps of a search ends that search with -1
// until it is prepared again.
TYPED_TEST(ChangeDuringSearchTest, RecordingEndsARunningSearch) {
  using C = typename TypeParam::C;
  EngineLib<C> lib(TypeParam::kName);
  TempDir dir;
  std::string path = dir.Path("c.dic");
  BuildDictionary<typename TypeParam::B>(path, Fixture(), 3);
  VKHandle h = lib.CreateHandle();
  ASSERT_EQ(lib.Open(h, S<C>(std::u16string(path.begin(), path.end())).c_str(), 0), 1);
  lib.InitSearch(h, nullptr, VK_SEARCH_ALL);
  typename VKRecordOf<C>::type rec{};
  ASSERT_EQ(lib.GetNextSearch(h, &rec), 1);
  typename VKRecordOf<C>::type add{};
  auto word = S<C>(u"new");
  auto japa = S<C>(u"atarashii");
  add.word = word.c_str();
  add.japa = japa.c_str();
  add.attr = 0x80;
  ASSERT_EQ(lib.Record(h, &add), 1);
  EXPECT_EQ(lib.GetNextSearch(h, &rec), -1);
  EXPECT_EQ(lib.GetNextSearch(h, &rec), -1);
  lib.InitSearch(h, nullptr, VK_SEARCH_ALL);
  int32_t rc, found = 0;
  while ((rc = lib.GetNextSearch(h, &rec)) >= 0) found += rc;
  EXPECT_EQ(found, 12);
  lib.DeleteHandle(h);
}

// After the read-only fallback every change is refused with 23.
TEST(ReadOnlyFallback, ChangesAreRefusedWith23) {
  TempDir dir;
  std::string path = dir.Path("ro.dic");
  BuildDictionary<vk::TraitsVKCU8L>(path, Fixture(), 3);
  auto before = ReadAll(path);
  FaultEnv env;
  env.FailOpen(vk::OpenMode::kReadWrite, 5);
  vk::Voka<vk::TraitsVKCU8L> v(&env);
  ASSERT_EQ(v.OpenDic(path, u"ro.dic", false), 0);
  ASSERT_TRUE(v.IsReadOnly());
  EXPECT_EQ(v.EraseWord(u"ab") == 1, false);
  EXPECT_EQ(v.Error(), vk::kErrReadOnly);
  vk::Japa<vk::TraitsVKCU8L> j;
  j.translation.push_back(u'x');  // a literal assigned here trips a false -Wrestrict in GCC 12
  EXPECT_NE(v.RecordWord(u"zz", j), 1);
  EXPECT_EQ(v.Error(), vk::kErrReadOnly);
  v.CloseDic();
  EXPECT_EQ(ReadAll(path), before);
}

}  // namespace
