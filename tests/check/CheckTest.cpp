// The dictionary check on real dictionaries, clean and damaged byte by byte:
// each case compares the problems, statuses and verdicts the callback saw
// (kinds 1, 3 and 8) with the expected ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <functional>
#include <memory>

#include "check/CheckTestUtil.h"
#include "support/Builds.h"
#include "support/FaultEnv.h"

namespace vktest {
namespace {

const std::string kStart = "3:ﾘﾝｸ状態を調べています";
const std::string kFreePhase = "3:空ﾌﾞﾛｯｸのﾘﾝｸをﾁｪｯｸしています";
const std::string kUnused = "3:未使用ﾌﾞﾛｯｸをﾁｪｯｸしています";
const std::string kUsed = "3:使用ﾌﾞﾛｯｸのﾘﾝｸをﾁｪｯｸしています";
const std::string kLinksClean = "3:ﾘﾝｸに異常はありませんでした";
const std::string kClean = "3:辞書に異常はありませんでした";
const std::string kProblems = "3:(null)";
const std::string kStopped = "3:中止しました";

template <class B>
class CheckTest : public ::testing::Test {
 public:
  void SetUp() override {
    path_ = dir_.Path("d.dic");
    BuildDictionary<B>(path_, FixtureEntries(), 5);
  }

  // Runs the check on the file as it is now.
  Recorder<B> Check(std::vector<int32_t> answers = {}, std::vector<int32_t> polls = {}, vk::Env* env = nullptr) {
    Recorder<B> r;
    r.answers = std::move(answers);
    r.polls = std::move(polls);
    vk::VkcDic<B> dic(env ? env : vk::Env::Default());
    EXPECT_EQ(dic.OpenDic(path_, nullptr, false), 0) << dic.Error();
    vk::RunCheck(dic, r.Callback());
    dic.CloseDic();
    return r;
  }

  // The detail text of a problem in the block at unit pbn, index entry lbn.
  std::string Detail(int32_t pbn, int32_t lbn, int32_t offset) {
    DamagedFile<B> f(path_);
    char buf[128];
    const int64_t fileOffset = (int64_t(f.H16(148)) + pbn) * f.unit() + 256 + offset;
    std::snprintf(buf, sizeof buf, "pbn:[%d]*%d  lbn:[%d] cp:[%04Xh] => off:[%08Xh]", pbn & 0xFFF,
                  ((pbn >> 12) & 0xF) + 1, lbn, offset & 0xFFFF, unsigned(fileOffset));
    return buf;
  }

  uint32_t WordCount() {
    vk::DicFile<B> d;
    EXPECT_EQ(d.Open(path_, true), 0);
    return d.Header().wordCount();
  }

  TempDir dir_;
  std::string path_;
};

TYPED_TEST_SUITE(CheckTest, AllBuilds, BuildNames);

struct DamageCase {
  const char* name;
  std::vector<int32_t> answers;
};

// Each damage and the sequence it must give.
TYPED_TEST(CheckTest, DamagedFilesReportTheirProblems) {
  using B = TypeParam;
  using F = DamagedFile<B>;
  struct Case {
    const char* name;
    std::function<void(F&)> damage;
    std::function<std::vector<std::string>(CheckTest<B>&)> expected;
  };
  const std::vector<Case> cases = {
      {"free chain head outside the data area", [](F& f) { f.SetFreeBlock(9999); },
       [](CheckTest<B>&) {
         return std::vector<std::string>{kStart, kFreePhase, "1:空きブロックが不正なブロックを示しています[pbn:-1->9999]|(null)"};
       }},
      {"free chain names a used unit", [](F& f) { f.SetFreeBlock(8); },
       [](CheckTest<B>&) {
         return std::vector<std::string>{kStart, kFreePhase, "1:空きブロックが使用されています。[pbn:8]|(null)"};
       }},
      {"free chain loops",
       [](F& f) {
         f.AppendUnits(2);
         f.PutFreeUnit(32, 33);
         f.PutFreeUnit(33, 32);
         f.SetFreeBlock(32);
       },
       [](CheckTest<B>&) {
         return std::vector<std::string>{kStart, kFreePhase, "1:リンクがループしています [pbn=32]|(null)"};
       }},
      {"data block without index entry",
       [](F& f) {
         f.AppendUnits(1);
         f.SetH16(f.UnitAt(32), 1);
       },
       [](CheckTest<B>&) {
         return std::vector<std::string>{kStart, kUnused, "1:Fatal:リンクされていないデータブロックです [pbn=32]|(null)",
                                         kProblems};
       }},
      {"free unit off the chain",
       [](F& f) {
         f.AppendUnits(1);
         f.PutFreeUnit(32, -1);
       },
       [](CheckTest<B>&) {
         return std::vector<std::string>{kStart, kUnused, "1:リンクされていない空きブロックです [pbn=32]|(null)", kProblems};
       }},
      {"index entry names a unit inside another block", [](F& f) { f.SetIndexValue(2, 4); },
       [](CheckTest<B>& t) {
         std::vector<std::string> lines{kStart, kUnused, "1:使用ブロックが重複しています [4,2]|(null)",
                                         "1:Fatal:リンクされていないデータブロックです [pbn=16]|(null)"};
         // The units of the block that lost its entry read as free units off the chain.
         for (int u = 17; u < 24; ++u)
           lines.push_back("1:リンクされていない空きブロックです [pbn=" + std::to_string(u) + "]|(null)");
         lines.insert(lines.end(), {"1:Warning:ﾌﾞﾛｯｸの終端が見つかりません|" + t.Detail(4, 2, 2), kProblems});
         return lines;
       }},
      {"index entry beyond the data area", [](F& f) { f.AppendIndexEntry(5000, "zz"); },
       [](CheckTest<B>&) {
         return std::vector<std::string>{kStart, kUnused, kUsed,
                                         "1:インデックスが不正な物理ブロック番号を示しています.[lbn:4][pbn:5000]|(null)", "8"};
       }},
      {"index entry beyond the data area whose low 12 bits name a unit inside it",
       [](F& f) { f.AppendIndexEntry(4096 + 8, "zz"); },
       [](CheckTest<B>&) {
         return std::vector<std::string>{kStart, kUnused, kUsed,
                                         "1:インデックスが不正な物理ブロック番号を示しています.[lbn:4][pbn:4104]|(null)", "8"};
       }},
      {"index entry names a free unit",
       [](F& f) {
         f.AppendUnits(1);
         f.PutFreeUnit(32, -1);
         f.SetFreeBlock(32);
         f.AppendIndexEntry(32, "zz");
       },
       [](CheckTest<B>& t) {
         return std::vector<std::string>{kStart, kFreePhase, kUnused, kUsed,
                                         "1:データブロックの先頭が 0 です。[lbn:4 pbn:32]|(null)",
                                         "1:Warning:ﾌﾞﾛｯｸの終端が見つかりません|" + t.Detail(32, 4, 2), kProblems};
       }},
      {"first word of a block differs from its index entry",
       [](F& f) {
         auto b = f.Block(8, 8);
         b[2 + 4 + (sizeof(typename B::Unit) == 1 ? 2 : 4)] = 'x';  // "b1w0" -> "b1x0"
         f.PutBlock(8, b);
       },
       [](CheckTest<B>& t) {
         return std::vector<std::string>{
             kStart, kUnused, kUsed, kLinksClean,
             "1:Fatal:ｲﾝﾃﾞｯｸｽとﾃﾞｰﾀﾌﾞﾛｯｸが一致していません.\npbn:[8] lbn:[1] Index:[b1w0] <> Block:[b1x0]|" +
                 t.Detail(8, 1, 2),
             kClean};
       }},
      {"body length past the block",
       [](F& f) {
         auto b = f.Block(16, 8);
         vk::StoreLE16(&b[2], 2048 - 4);
         f.PutBlock(16, b);
       },
       [](CheckTest<B>& t) {
         return std::vector<std::string>{kStart, kUnused, kUsed, kLinksClean,
                                         "1:Fatal:英単語＋日本語訳が長すぎます[2044 > 2043]|" + t.Detail(16, 2, 2), kProblems};
       }},
      {"compression count too large",
       [](F& f) {
         auto b = f.Block(0, 8);
         const size_t second = 2 + 4 + vk::LoadLE16(&b[2]);
         b[second + 2] = 247;
         f.PutBlock(0, b);
       },
       [](CheckTest<B>& t) {
         auto b = DamagedFile<B>(t.path_).Block(0, 8);
         const int32_t second = 2 + 4 + vk::LoadLE16(&b[2]);
         return std::vector<std::string>{kStart, kUnused, kUsed, kLinksClean,
                                         "1:Fatal:圧縮文字数[a=247]が大きすぎます|" + t.Detail(0, 0, second), kProblems};
       }},
      {"entries run to the end of the block without a terminator",
       [](F& f) {
         // The last entry's translation grows to fill the block: a text of
         // non-zero units, so only the missing end is wrong.
         auto b = f.Block(0, 8);
         const size_t last = EntryOffsets(b).back();
         const size_t end = vk::LoadLE16(&b[last]) + last + 4;
         vk::StoreLE16(&b[last], uint16_t(b.size() - last - 4));
         std::fill(b.begin() + std::ptrdiff_t(end), b.end(), uint8_t('a'));
         f.PutBlock(0, b);
       },
       [](CheckTest<B>& t) {
         return std::vector<std::string>{kStart, kUnused, kUsed, kLinksClean,
                                         "1:Warning:ﾌﾞﾛｯｸの終端が見つかりません|" + t.Detail(0, 0, 2048), kProblems};
       }},
      {"headword longer than 248 units",
       [](F& f) {
         // 246 units from a previous headword that does not exist, and the
         // first entry's whole tail of 4.
         auto b = f.Block(8, 8);
         b[2 + 2] = 246;
         f.PutBlock(8, b);
       },
       [](CheckTest<B>& t) {
         return std::vector<std::string>{kStart, kUnused, kUsed, kLinksClean,
                                         "1:Fatal:英単語が長すぎます[250 > 248]|" + t.Detail(8, 1, 2), kProblems};
       }},
      {"headword tail longer than its entry",
       [](F& f) {
         // The last entry's terminator and translation become headword
         // units: the tail runs to the block's terminator, past the body.
         auto b = f.Block(16, 8);
         const size_t last = EntryOffsets(b).back();
         const size_t end = last + 4 + vk::LoadLE16(&b[last]);
         std::fill(b.begin() + std::ptrdiff_t(last + 4), b.begin() + std::ptrdiff_t(end), uint8_t('x'));
         f.PutBlock(16, b);
       },
       [](CheckTest<B>& t) {
         auto b = DamagedFile<B>(t.path_).Block(16, 8);
         const size_t last = EntryOffsets(b).back();
         const int body = vk::LoadLE16(&b[last]);
         const int tail = body + int(sizeof(typename B::Unit));  // every byte, and the block's zero
         return std::vector<std::string>{
             kStart, kUnused, kUsed, kLinksClean,
             "1:Fatal:単語が登録された長さより長すぎます[" + std::to_string(tail) + " > " + std::to_string(body) +
                 "]|" + t.Detail(16, 2, int32_t(last)),
             kProblems};
       }},
      {"extension fields end before the entry",
       [](F& f) {
         // The example's type code of "b3w2" becomes the end code.
         auto b = f.Block(24, 8);
         const size_t n = EntryOffsets(b)[2];
         size_t at = n + 4 + 2 * sizeof(typename B::Unit);  // tail "2" and its zero
         while (b[at] != 0 || b[at + sizeof(typename B::Unit) - 1] != 0) at += sizeof(typename B::Unit);
         at += sizeof(typename B::Unit);
         ASSERT_EQ(b[at], 0x01);
         b[at] = 0x80;
         f.PutBlock(24, b);
       },
       [](CheckTest<B>& t) {
         auto b = DamagedFile<B>(t.path_).Block(24, 8);
         const size_t n = EntryOffsets(b)[2];
         size_t at = n + 4 + 2 * sizeof(typename B::Unit);
         while (b[at] != 0x80) at += sizeof(typename B::Unit);
         // Not counted: the verdict is still the clean one.
         return std::vector<std::string>{
             kStart, kUnused, kUsed, kLinksClean,
             "1:Warning:日本語訳終端が異常です|" + t.Detail(24, 3, int32_t(at + sizeof(typename B::Unit))), kClean};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    this->SetUp();
    {
      F f(this->path_);
      c.damage(f);
      f.Save();
    }
    EXPECT_EQ(this->Check().lines, c.expected(*this));
  }
}

TYPED_TEST(CheckTest, CleanFileGivesBothVerdictsAndCorrectsTheWordCount) {
  {
    DamagedFile<TypeParam> f(this->path_);
    f.SetWordCount(7);
    f.Save();
  }
  Recorder<TypeParam> r = this->Check();
  EXPECT_EQ(r.lines, (std::vector<std::string>{kStart, kUnused, kUsed, kLinksClean, kClean}));
  EXPECT_EQ(r.lastWords, 20);
  EXPECT_EQ(this->WordCount(), 20u);
}

TYPED_TEST(CheckTest, RepairsRemoveBadIndexEntries) {
  struct Case {
    int32_t answer;
    std::vector<std::string> expected;
  };
  const std::string first = "1:インデックスが不正な物理ブロック番号を示しています.[lbn:4][pbn:5000]|(null)";
  const std::vector<Case> cases = {
      // A repair request ends the check after the link check.
      {1, {kStart, kUnused, kUsed, first, "1:インデックスが不正な物理ブロック番号を示しています.[lbn:4][pbn:6000]|(null)"}},
      // 2 repairs the second one without asking, and the data check runs.
      {2, {kStart, kUnused, kUsed, first, kProblems}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    this->SetUp();
    {
      DamagedFile<TypeParam> f(this->path_);
      f.AppendIndexEntry(5000, "zy");
      f.AppendIndexEntry(6000, "zz");
      f.Save();
    }
    EXPECT_EQ(this->Check({c.answer, c.answer}).lines, c.expected);
    EXPECT_EQ(this->Check().lines, (std::vector<std::string>{kStart, kUnused, kUsed, kLinksClean, kClean}));
  }
}

TYPED_TEST(CheckTest, StopAtTheFirstPollOfTheDataCheck) {
  // The link check polls once in each phase: at unit 0 (the walk steps over
  // whole 8-unit blocks) and at index value 0.
  Recorder<TypeParam> r = this->Check({}, {0, 0, 1});
  EXPECT_EQ(r.lines, (std::vector<std::string>{kStart, kUnused, kUsed, kLinksClean, kStopped}));
  EXPECT_EQ(r.lastWords, 0);
}

TYPED_TEST(CheckTest, StopAnswerEndsTheCheck) {
  {
    DamagedFile<TypeParam> f(this->path_);
    f.AppendUnits(2);
    f.PutFreeUnit(32, -1);
    f.PutFreeUnit(33, -1);
    f.Save();
  }
  EXPECT_EQ(this->Check({-1}).lines,
            (std::vector<std::string>{kStart, kUnused, "1:リンクされていない空きブロックです [pbn=32]|(null)"}));
}

TYPED_TEST(CheckTest, UnreadableBlocks) {
  FaultEnv env;
  // Every read fails once the dictionary is open.
  Recorder<TypeParam> r;
  {
    vk::VkcDic<TypeParam> dic(&env);
    ASSERT_EQ(dic.OpenDic(this->path_, nullptr, false), 0);
    env.FailReadAfter(0);
    vk::RunCheck(dic, r.Callback());
    dic.CloseDic();
  }
  std::vector<std::string> expected = {kStart, kUnused, kUsed};
  for (int i = 0; i < 4; ++i)
    expected.push_back("1:存在しない物理ブロックを示しています.|" + this->Detail(8 * i, i, 0));
  expected.push_back("8");
  EXPECT_EQ(r.lines, expected);
}

// A long entry lives alone in a long-entry block of many units (byte builds
// only): its 32-bit length, its headword and its size word may lie too.
template <class B>
class LongEntryCheckTest : public CheckTest<B> {
 public:
  void SetUp() override {
    this->path_ = this->dir_.Path("long.dic");
    using Text = typename vk::Japa<B>::Text;
    vk::Voka<B> v;
    ASSERT_EQ(v.CreateDic(this->path_, nullptr, false), 0);
    for (const char* w : {"a", "big", "c"}) {
      vk::Japa<B> f;
      f.translation = Text(1, typename B::IChar('t'));
      if (w[0] == 'b') f.example = Text(40000, typename B::IChar('e'));
      const Text word(w, w + std::strlen(w));
      ASSERT_EQ(v.RecordWord(word.c_str(), f), 1) << v.Error();
    }
    v.CloseDic();
  }

  // The long block: its index entry and unit.
  void FindLong(DamagedFile<B>& f, int32_t* lbn, int32_t* unit) {
    const auto entries = f.IndexEntries();
    for (size_t i = 0; i < entries.size(); ++i) {
      const int32_t v = f.H16(entries[i]) & 0xFFFF;
      if (uint16_t(f.H16(f.UnitAt(v))) & 0x8000) {
        *lbn = int32_t(i);
        *unit = v;
        return;
      }
    }
    FAIL() << "no long-entry block";
  }
};

TYPED_TEST_SUITE(LongEntryCheckTest, ByteBuilds, BuildNames);

TYPED_TEST(LongEntryCheckTest, DamagedLongEntries) {
  using B = TypeParam;
  using F = DamagedFile<B>;
  struct Case {
    const char* name;
    std::function<void(F&, int32_t unit)> damage;
    // The lines after the link check's, given the detail at a block offset.
    std::function<std::vector<std::string>(F& f, const std::function<std::string(int32_t)>& detail)> expected;
  };
  const std::vector<Case> cases = {
      {"clean", [](F&, int32_t) {}, [](F&, auto) { return std::vector<std::string>{kLinksClean, kClean}; }},
      {"length past the block",
       [](F& f, int32_t unit) { vk::StoreLE32(&f.bytes()[f.UnitAt(unit) + 2], 0x7FFFFFF0u); },
       [](F&, auto detail) {
         return std::vector<std::string>{kLinksClean, "1:Warning:ﾌﾞﾛｯｸの終端が見つかりません|" + detail(2), kProblems};
       }},
      {"headword differs from its index entry",
       [](F& f, int32_t unit) { f.bytes()[f.UnitAt(unit) + 8] = 'x'; },
       [](F&, auto detail) {
         return std::vector<std::string>{
             kLinksClean,
             "1:Fatal:ｲﾝﾃﾞｯｸｽとﾃﾞｰﾀﾌﾞﾛｯｸが一致していません.\npbn:[" +
                 detail(-1) + "] lbn:[1] Index:[big] <> Block:[xig]|" + detail(0),
             kClean};
       }},
      {"size word claims more units than the data area has",
       [](F& f, int32_t unit) { f.SetH16(f.UnitAt(unit), 0x8000 | 0x7FFF); },
       [](F& f, auto) {
         // The claimed span covers the block of "c" after it: a unit named
         // twice ends the link check there (the used blocks are not
         // checked), and the data check cannot read the block.
         const int32_t c = f.H16(f.IndexEntries()[2]) & 0xFFFF;
         return std::vector<std::string>{"1:使用ブロックが重複しています [" + std::to_string(c) + ",2]|(null)", "8"};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    this->SetUp();
    int32_t lbn = -1, unit = -1;
    {
      F f(this->path_);
      this->FindLong(f, &lbn, &unit);
      c.damage(f, unit);
      f.Save();
    }
    ASSERT_EQ(lbn, 1);
    auto detail = [&](int32_t offset) {
      return offset < 0 ? std::to_string(unit) : this->Detail(unit, lbn, offset);
    };
    F f(this->path_);
    std::vector<std::string> expected{kStart, kUnused};
    const std::vector<std::string> tail = c.expected(f, detail);
    // Only a link check without problems goes on to the used blocks.
    if (tail.front() == kLinksClean) expected.push_back(kUsed);
    for (const std::string& l : tail) expected.push_back(l);
    Recorder<B> r = this->Check();
    EXPECT_EQ(r.lines, expected);
  }
}

// Random damage anywhere past the header's fixed texts: every length,
// count, link and index value may lie, and the check must still end without
// reading outside the file (the sanitizer build sees each read) and answer
// every problem with the repairs. VK_SEED=<n> replays one seed,
// VK_CHECK_DAMAGE_RUNS=<n> runs more.
TYPED_TEST(CheckTest, RandomDamageEndsEveryCheck) {
  using B = TypeParam;
  const char* seedText = std::getenv("VK_SEED");
  const char* runsText = std::getenv("VK_CHECK_DAMAGE_RUNS");
  const uint32_t first = seedText ? uint32_t(std::strtoul(seedText, nullptr, 0)) : 1;
  const uint32_t runs = seedText ? 1 : runsText ? uint32_t(std::strtoul(runsText, nullptr, 0)) : 60;
  const std::vector<uint8_t> clean = ReadAll(this->path_);
  const DamagedFile<B> f(this->path_);
  for (uint32_t seed = first; seed < first + runs; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_SEED=<n> replays)");
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes = clean;
    // Mostly the entries and the index entries; now and then the header's
    // numbers or any byte.
    const int edits = 1 + int(rng() % 12);
    for (int e = 0; e < edits; ++e) {
      size_t at = 0;
      switch (rng() % 6) {
        case 0: at = 140 + rng() % 60; break;
        case 1:
        case 2: at = 256 + rng() % 100; break;
        case 3:
        case 4: at = f.UnitAt(int32_t(8 * (rng() % 4))) + rng() % 120; break;
        default: at = 256 + rng() % (bytes.size() - 256); break;
      }
      bytes[at] = rng() % 3 == 0 ? uint8_t(0) : rng() % 3 == 0 ? uint8_t(0xFF) : uint8_t(rng());
    }
    WriteAll(this->path_, bytes);
    for (int32_t answer : {0, 2}) {
      Recorder<B> r;
      r.answers.assign(64, answer);
      vk::VkcDic<B> dic;
      // A header the open refuses is not the check's to read.
      if (dic.OpenDic(this->path_, nullptr, false) != 0) break;
      vk::RunCheck(dic, r.Callback());
      dic.CloseDic();
      ASSERT_FALSE(r.kinds.empty());
    }
  }
  WriteAll(this->path_, clean);
}

}  // namespace
}  // namespace vktest
