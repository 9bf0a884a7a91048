// The memory word list of libVKCUB (VKCreateMem), through the loaded library
// as a caller sees it: the handle's operations on a list of headwords, the
// operations that only a file has answering as with no dictionary, and a
// dictionary file that the list replaces being closed with its changes kept.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "api/EngineLib.h"
#include "support/TempDir.h"

namespace vktest {
namespace {

using Rec = VKRecordDataW;
using CreateMemFn = int32_t (*)(VKHandle, intptr_t, intptr_t);

class MemoryListTest : public ::testing::Test {
 protected:
  MemoryListTest() : lib("VKCUB"), createMem(lib.Export<CreateMemFn>("VKCreateMem")) {}
  void SetUp() override {
    ASSERT_NE(createMem, nullptr);
    h = lib.CreateHandle();
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(createMem(h, 0, 0), 1);
  }
  void TearDown() override { lib.DeleteHandle(h); }

  int32_t Record(const std::u16string& word) {
    Rec rec{};
    rec.word = word.c_str();
    rec.attr = 0x80;
    return lib.Record(h, &rec);
  }
  // Every word in order, walked with VKBSearch alone: the next word after w
  // is the first one not less than w + U+0001, as no word holds U+0000.
  std::vector<std::u16string> Listed() {
    std::vector<std::u16string> out;
    std::u16string from;
    Rec rec{};
    while (lib.BSearch(h, from.c_str(), &rec) == 1) {
      out.emplace_back(rec.word);
      from = out.back() + u'\x01';
      if (out.size() > 100000) break;
    }
    return out;
  }
  std::u16string Path(const std::string& name) {
    std::string p = dir.Path(name);
    return std::u16string(p.begin(), p.end());
  }

  EngineLib<char16_t> lib;
  CreateMemFn createMem;
  VKHandle h = nullptr;
  TempDir dir;
};

using WordList = std::vector<std::u16string>;

TEST_F(MemoryListTest, RecordingKeepsOneOfEachWordInCodeUnitOrder) {
  EXPECT_EQ(Record(u"b"), 1);
  EXPECT_EQ(Record(u"a"), 1);
  EXPECT_EQ(Record(u"b"), 1);  // already there: stored, nothing added
  EXPECT_EQ(lib.GetWordNum(h), 2);
  EXPECT_EQ(lib.GetIndexNum(h), 2);
  EXPECT_EQ(lib.GetNumWord(h), 2);
  EXPECT_EQ(Listed(), (WordList{u"a", u"b"}));

  // Letter case makes other words, ordered by their code units: capitals
  // first; a pair of surrogates (U+1F600) before U+FF41, which a code point
  // order would put the other way round.
  for (const char16_t* w : {u"apple", u"Apple", u"APPLE", u"\uFF41", u"\U0001F600"}) EXPECT_EQ(Record(w), 1);
  EXPECT_EQ(Listed(), (WordList{u"APPLE", u"Apple", u"a", u"apple", u"b", u"\U0001F600", u"\uFF41"}));
  Rec rec{};
  EXPECT_EQ(lib.Find(h, u"aPPLE", &rec), 0);

  // An empty or missing headword is refused and changes nothing.
  EXPECT_EQ(Record(u""), 0);
  Rec none{};
  EXPECT_EQ(lib.Record(h, &none), 0);
  EXPECT_EQ(lib.GetWordNum(h), 7);
  EXPECT_EQ(lib.GetErrorCode(h), VK_ERR_NONE);
}

TEST_F(MemoryListTest, FindAnswersWordsWithEmptyFields) {
  Rec in{};
  const std::u16string japa = u"translation", exp = u"example";
  in.word = u"word";
  in.japa = japa.c_str();
  in.exp = exp.c_str();
  in.attr = 0x25;
  ASSERT_EQ(lib.Record(h, &in), 1);
  ASSERT_EQ(Record(u"other"), 1);

  Rec rec{};
  ASSERT_EQ(lib.Find(h, u"word", &rec), 1);
  EXPECT_EQ(std::u16string(rec.word), u"word");
  EXPECT_EQ(std::u16string(rec.japa), u"");  // a word list keeps no fields
  EXPECT_EQ(std::u16string(rec.exp), u"");
  EXPECT_EQ(std::u16string(rec.pron), u"");
  EXPECT_EQ(rec.attr, 0x80);
  EXPECT_EQ(lib.Find(h, u"word", nullptr), 1);
  EXPECT_EQ(lib.Find(h, u"wor", &rec), 0);   // a prefix of a word
  EXPECT_EQ(lib.Find(h, u"words", &rec), 0); // sorts after every word
  EXPECT_EQ(lib.Find(h, u"", &rec), 0);
  EXPECT_EQ(lib.Find(h, nullptr, &rec), 0);
}

TEST_F(MemoryListTest, BinarySearchStopsAtTheFirstWordNotLess) {
  Rec rec{};
  EXPECT_EQ(lib.BSearch(h, u"a", &rec), 0);  // no words at all
  for (const char16_t* w : {u"b", u"d", u"f"}) ASSERT_EQ(Record(w), 1);
  struct Case {
    const char16_t* sought;
    int32_t answer;
    const char16_t* at;
  };
  const Case cases[] = {
      {u"", 1, u"b"}, {u"a", 1, u"b"}, {u"b", 1, u"b"},  {u"ba", 1, u"d"},
      {u"c", 1, u"d"}, {u"f", 1, u"f"}, {u"F", 1, u"b"}, {u"fa", 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sought, c.sought + std::char_traits<char16_t>::length(c.sought)));
    Rec out{};
    ASSERT_EQ(lib.BSearch(h, c.sought, &out), c.answer);
    if (c.answer == 1) {
      EXPECT_EQ(std::u16string(out.word), c.at);
      EXPECT_EQ(std::u16string(out.japa), u"");
      EXPECT_EQ(out.attr, 0x80);
    }
    EXPECT_EQ(lib.BSearch(h, c.sought, nullptr), c.answer);
  }
}

TEST_F(MemoryListTest, EveryKindOfSearchEndsAtOnce) {
  for (const char16_t* w : {u"a", u"ab", u"b"}) ASSERT_EQ(Record(w), 1);
  Rec rec{};
  for (int kind = 0; kind < 5; ++kind) {
    SCOPED_TRACE(kind);
    switch (kind) {
      case 0: ASSERT_EQ(lib.InitSearch(h, u"a", VK_SEARCH_HEADWORD | VK_SEARCH_PREFIX), 1); break;
      case 1: ASSERT_EQ(lib.InitSearch(h, u"b", VK_SEARCH_TRANSLATION), 1); break;
      case 2: ASSERT_EQ(lib.InitIncSearch(h, u"a"), 1); break;
      case 3: ASSERT_EQ(lib.SetAllSearch(h, 0, VK_SEARCH_ALL), 1); break;
      case 4:
        ASSERT_EQ(lib.SetAllSearch(h, 0, VK_SEARCH_ALL), 1);
        lib.JumpAS(h, u"ab", 1, 1);
        break;
    }
    EXPECT_EQ(lib.GetNextSearch(h, &rec), VK_STEP_END);
    EXPECT_EQ(lib.GetPrevSearch(h, &rec), VK_STEP_END);
    EXPECT_EQ(lib.GetNextSearch(h, nullptr), VK_STEP_END);
  }
  EXPECT_EQ(lib.GetErrorCode(h), VK_ERR_NONE);
}

TEST_F(MemoryListTest, EraseAndRenameWorkOnWords) {
  for (const char16_t* w : {u"a", u"b", u"c"}) ASSERT_EQ(Record(w), 1);
  EXPECT_EQ(lib.Erase(h, u"b"), 1);
  EXPECT_EQ(lib.Erase(h, u"b"), 1);  // absent: nothing to do
  EXPECT_EQ(lib.Erase(h, u"B"), 1);
  EXPECT_EQ(lib.Erase(h, u""), 0);
  EXPECT_EQ(Listed(), (WordList{u"a", u"c"}));

  EXPECT_EQ(lib.Rename(h, u"a", u"d"), 1);
  EXPECT_EQ(Listed(), (WordList{u"c", u"d"}));
  EXPECT_EQ(lib.Rename(h, u"d", u"b"), 1);  // to a place before another word
  EXPECT_EQ(Listed(), (WordList{u"b", u"c"}));
  // A rename that has no word to move, or whose new word is there already,
  // changes nothing: it neither adds a word nor merges two into one.
  EXPECT_EQ(lib.Rename(h, u"x", u"y"), 0);
  EXPECT_EQ(lib.Rename(h, u"b", u"c"), 0);
  EXPECT_EQ(lib.Rename(h, u"b", u"b"), 0);
  EXPECT_EQ(lib.Rename(h, u"b", u""), 0);
  EXPECT_EQ(Listed(), (WordList{u"b", u"c"}));

  // An update adds the word as a record does: a word list has no fields
  // that an update could replace.
  Rec rec{};
  rec.word = u"a";
  EXPECT_EQ(lib.Update(h, &rec), 1);
  EXPECT_EQ(lib.Update(h, &rec), 1);
  EXPECT_EQ(Listed(), (WordList{u"a", u"b", u"c"}));
  EXPECT_EQ(lib.GetWordNum(h), 3);
}

// What only a dictionary file has answers as with no dictionary open, and
// nothing of it touches memory the list does not have.
TEST_F(MemoryListTest, WhatOnlyAFileHasAnswersAsWithNoFile) {
  ASSERT_EQ(Record(u"word"), 1);
  Rec rec{};
  rec.word = u"word";
  EXPECT_EQ(lib.GetHeader(h), nullptr);
  EXPECT_EQ(lib.GetDicVersion(h), 0);
  ASSERT_NE(lib.GetFileName(h), nullptr);
  EXPECT_EQ(std::u16string(lib.GetFileName(h)), u"");
  EXPECT_EQ(lib.InitScan(h), 0);
  auto nextScan = lib.Export<int32_t (*)(VKHandle, Rec*)>("VKGetNextScan");
  ASSERT_NE(nextScan, nullptr);
  EXPECT_EQ(nextScan(h, &rec), VK_STEP_FAILED);
  EXPECT_EQ(lib.DirectJump(h, 0), 0);
  EXPECT_EQ(lib.GetPercent(h), 0);
  EXPECT_EQ(lib.ChangeJapa(h, u"word", u"t"), 0);
  EXPECT_EQ(lib.ChangeExp(h, u"word", u"e"), 0);
  EXPECT_EQ(lib.SetAttr(h, u"word", 0x25), 0);
  EXPECT_EQ(lib.ChangeLevel(h, u"word", 3), 0);
  EXPECT_EQ(lib.AddLevel(h, u"word", 1, 0, 15), 0);
  VKQueryParam q = {};
  q.clashRule = VK_CLASH_REPLACE;
  EXPECT_EQ(lib.QueryRecord(h, &rec, &q), -1);
  EXPECT_EQ(q.addedCount + q.existingCount + q.tooLongCount, 0);
  EXPECT_EQ(lib.SetFastMode(h, 1), 0);
  EXPECT_EQ(lib.SetFastMode(h, 0), 0);
  lib.SetDivRatio(h, 4);
  EXPECT_EQ(lib.GetWordNum(h), 1);
  EXPECT_EQ(lib.GetErrorCode(h), VK_ERR_NONE);

  EXPECT_EQ(lib.Close(h), 1);
  EXPECT_EQ(lib.Close(h), 0);
  EXPECT_EQ(lib.GetWordNum(h), 0);
  EXPECT_EQ(lib.GetFileName(h), nullptr);
  EXPECT_EQ(createMem(nullptr, 0, 0), 0);
}

// A dictionary file that the handle holds is closed as VKClose closes it: its
// changes held in fast mode reach the file, and the file is free for others.
TEST_F(MemoryListTest, ReplacingAnOpenDictionaryClosesItAndKeepsItsChanges) {
  const std::u16string path = Path("held.dic");
  const std::u16string japa = u"\u8A33", exp = u"ex";
  ASSERT_EQ(lib.Create(h, path.c_str(), nullptr), 1);
  ASSERT_EQ(lib.SetFastMode(h, 1), 1);
  for (const char16_t* w : {u"alpha", u"beta", u"gamma"}) {
    Rec rec{};
    rec.word = w;
    rec.japa = japa.c_str();
    rec.exp = exp.c_str();
    rec.attr = 0x83;
    ASSERT_EQ(lib.Record(h, &rec), 1);
  }
  ASSERT_EQ(createMem(h, 0, 0), 1);
  EXPECT_EQ(lib.GetWordNum(h), 0);  // a fresh list, not the file's words
  EXPECT_EQ(lib.GetHeader(h), nullptr);
  EXPECT_EQ(lib.Find(h, u"alpha", nullptr), 0);
  ASSERT_EQ(Record(u"alpha"), 1);

  VKHandle other = lib.CreateHandle();
  ASSERT_EQ(lib.Open(other, path.c_str(), 0), 1) << lib.GetErrorCode(other);  // read-write: no lock left
  EXPECT_EQ(lib.GetWordNum(other), 3);
  for (const char16_t* w : {u"alpha", u"beta", u"gamma"}) {
    Rec out{};
    ASSERT_EQ(lib.Find(other, w, &out), 1);
    EXPECT_EQ(std::u16string(out.japa), japa);
    EXPECT_EQ(std::u16string(out.exp), exp);
    EXPECT_EQ(out.attr & 0xEF, 0x83);
  }
  lib.DeleteHandle(other);

  // A list in place of a list, and a file in place of a list: each earlier
  // one goes (the leak check of the sanitizer build sees that they do).
  ASSERT_EQ(createMem(h, 0, 0), 1);
  EXPECT_EQ(lib.GetWordNum(h), 0);
  ASSERT_EQ(Record(u"x"), 1);
  ASSERT_EQ(lib.Open(h, path.c_str(), 1), 1);
  EXPECT_EQ(lib.GetWordNum(h), 3);
  ASSERT_EQ(createMem(h, 0, 0), 1);
  ASSERT_EQ(Record(u"y"), 1);
}

// Files may not grow past `bytes` while this lives: a write past the bound
// fails as on a full disk (EFBIG, told as code 4), and does not kill.
class FileSizeBound {
 public:
  explicit FileSizeBound(rlim_t bytes) {
    oldSignal_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit bound = old_;
    bound.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &bound);
  }
  ~FileSizeBound() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldSignal_);
  }

 private:
  rlimit old_;
  void (*oldSignal_)(int);
};

// A close that cannot write what fast mode held does not pass for a clean
// one: no list takes the dictionary's place, and the handle tells why.
TEST_F(MemoryListTest, ADictionaryThatCannotBeSavedIsNotReplacedSilently) {
  const std::u16string path = Path("unsaved.dic");
  const std::u16string japa(200, u'j');
  ASSERT_EQ(lib.Create(h, path.c_str(), nullptr), 1);
  ASSERT_EQ(lib.SetFastMode(h, 1), 1);
  for (int i = 0; i < 50; ++i) {
    const std::u16string word = u"w" + std::u16string(1, char16_t(u'a' + i % 26)) + char16_t(u'a' + i / 26);
    Rec rec{};
    rec.word = word.c_str();
    rec.japa = japa.c_str();
    rec.attr = 0x80;
    ASSERT_EQ(lib.Record(h, &rec), 1);
  }
  {
    FileSizeBound bound(256);  // the header only: the file as created
    EXPECT_EQ(createMem(h, 0, 0), 0);
  }
  EXPECT_EQ(lib.GetErrorCode(h), VK_ERR_DISK_FULL);
  EXPECT_EQ(lib.GetWordNum(h), 0);
  EXPECT_EQ(lib.GetHeader(h), nullptr);  // closed: nothing held
  EXPECT_EQ(Record(u"x"), 0);

  // The file is as last committed, and the handle takes a list now.
  VKHandle other = lib.CreateHandle();
  ASSERT_EQ(lib.Open(other, path.c_str(), 0), 1) << lib.GetErrorCode(other);
  EXPECT_EQ(lib.GetWordNum(other), 0);
  lib.DeleteHandle(other);
  ASSERT_EQ(createMem(h, 0, 0), 1);
  EXPECT_EQ(lib.GetErrorCode(h), VK_ERR_NONE);
  EXPECT_EQ(Record(u"x"), 1);
}

// Random records, erases and renames over a few short words, checked after
// each step against a set of the words.
TEST_F(MemoryListTest, RandomChangesMatchASetOfWords) {
  const char* seedText = std::getenv("VK_SEED");
  const unsigned seed = seedText ? unsigned(std::strtoul(seedText, nullptr, 10)) : 20261211u;
  SCOPED_TRACE("VK_SEED=" + std::to_string(seed));
  std::mt19937 rng(seed);
  const std::u16string alphabet = u"aAbB\u00E9\uFF41\xD83D\xDE00";
  auto randomWord = [&]() {
    std::u16string w;
    const int n = 1 + int(rng() % 3);
    for (int i = 0; i < n; ++i) w += alphabet[rng() % alphabet.size()];
    return w;
  };
  std::set<std::u16string> model;
  for (int step = 0; step < 1500; ++step) {
    const std::u16string w = randomWord(), v = randomWord();
    switch (rng() % 5) {
      case 0:
      case 1:
        ASSERT_EQ(Record(w), 1);
        model.insert(w);
        break;
      case 2:
        ASSERT_EQ(lib.Erase(h, w.c_str()), 1);
        model.erase(w);
        break;
      case 3: {
        const bool moves = model.count(w) && !model.count(v);
        ASSERT_EQ(lib.Rename(h, w.c_str(), v.c_str()), moves ? 1 : 0) << step;
        if (moves) {
          model.erase(w);
          model.insert(v);
        }
        break;
      }
      case 4: {
        Rec rec{};
        const auto at = model.lower_bound(w);
        ASSERT_EQ(lib.BSearch(h, w.c_str(), &rec), at == model.end() ? 0 : 1) << step;
        if (at != model.end()) {
          ASSERT_EQ(std::u16string(rec.word), *at) << step;
        }
        ASSERT_EQ(lib.Find(h, w.c_str(), nullptr), model.count(w) ? 1 : 0) << step;
        break;
      }
    }
    ASSERT_EQ(lib.GetWordNum(h), int32_t(model.size())) << step;
  }
  EXPECT_EQ(Listed(), WordList(model.begin(), model.end()));
}

}  // namespace
}  // namespace vktest
