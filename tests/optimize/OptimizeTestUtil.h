// Helpers of the optimisation tests: dictionaries whose blocks stand where a
// test puts them (moved byte by byte in the file, with free units between
// them), the callback sequence an optimisation reports, and the checks every
// optimised file must pass.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "check/CheckTestUtil.h"
#include "dic/MutationTestUtil.h"
#include "dic/Optimizer.h"

namespace vktest {

inline bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// Block k holds `perBlock` entries "b<kkkkk>w<j>".
inline std::vector<TestEntry> BlockEntries(size_t blocks, int perBlock) {
  std::vector<TestEntry> out;
  for (size_t k = 0; k < blocks; ++k)
    for (int j = 0; j < perBlock; ++j) {
      char w[32];
      std::snprintf(w, sizeof w, "b%05zuw%d", k, j);
      TestEntry e;
      e.word = vk::Utf8ToUtf16(w);
      e.japa = u"t" + e.word;
      if (j == 1) e.exp = u"ex" + e.word;
      out.push_back(e);
    }
  return out;
}

// A place in the data area: a block (by index position) or a run of free
// units.
struct Slot {
  int32_t block = -1;
  int32_t free = 0;
};
inline Slot Blk(int32_t k) { return Slot{k, 0}; }
inline Slot Free(int32_t n) { return Slot{-1, n}; }

// A dictionary of blocks of the given unit counts, packed in index order,
// with an index area of `indexUnits` units.
template <class B>
void BuildBlocks(const std::string& path, const std::vector<int32_t>& units, int perBlock = 2,
                 int32_t indexUnits = 8) {
  const std::vector<TestEntry> entries = BlockEntries(units.size(), perBlock);
  vk::DicFile<B> dic;
  ASSERT_EQ(dic.Create(path, false), 0);
  ASSERT_EQ(dic.GrowIndexArea(indexUnits), 0);
  for (size_t k = 0; k < units.size(); ++k) {
    int32_t n = dic.Data().NewBlock(uint16_t(units[k]));
    ASSERT_GE(n, 0) << dic.Error();
    vk::BlockBuilder<B> builder(dic.Data().Buffer(), dic.Data().BufferSize());
    std::basic_string<typename B::Unit> firstWord;
    for (int j = 0; j < perBlock; ++j) {
      const TestEntry& t = entries[k * size_t(perBlock) + size_t(j)];
      vk::Japa<B> japa;
      japa.attribute = t.attr;
      japa.translation = ToText<B>(t.japa);
      japa.example = ToText<B>(t.exp);
      typename vk::HeadwordForm<B>::Word word;
      ASSERT_EQ(vk::HeadwordForm<B>::ToStored(ToText<B>(t.word), &word), 0);
      vk::EncodedFields fields;
      ASSERT_EQ(vk::FieldEncoder<B>::Encode(japa, word.size(), 256, &fields), 0);
      ASSERT_TRUE(builder.Add(word.data(), word.size(), fields)) << "block " << k;
      if (j == 0) firstWord = word;
    }
    ASSERT_EQ(dic.Data().MarkWritten(n), 0);
    ASSERT_EQ(dic.InsertIndex(dic.Index().Count(), n, firstWord.c_str()), 0);
  }
  dic.Data().SetWordCount(uint32_t(entries.size()));
  ASSERT_EQ(dic.Close(), 0);
}

// Rewrites the data area of a file made by BuildBlocks as `slots` say: each
// block's bytes where its slot falls, free units chained in ascending order
// between them.
template <class B>
void Arrange(const std::string& path, const std::vector<int32_t>& units, const std::vector<Slot>& slots) {
  std::vector<int32_t> places;
  {
    vk::DicFile<B> dic;
    ASSERT_EQ(dic.Open(path, true), 0);
    for (size_t k = 0; k < units.size(); ++k) places.push_back(dic.Index().BlockNumber(int32_t(k)));
  }
  DamagedFile<B> f(path);
  std::vector<std::vector<uint8_t>> images;
  for (size_t k = 0; k < units.size(); ++k)
    images.emplace_back(f.bytes().begin() + std::ptrdiff_t(f.UnitAt(places[k])),
                        f.bytes().begin() + std::ptrdiff_t(f.UnitAt(places[k] + units[k])));
  int32_t total = 0;
  for (const Slot& s : slots) total += s.block >= 0 ? units[size_t(s.block)] : s.free;
  f.bytes().resize(f.UnitAt(0));
  f.bytes().resize(f.UnitAt(total), 0);
  std::vector<int32_t> freeUnits;
  int32_t u = 0;
  for (const Slot& s : slots) {
    if (s.block >= 0) {
      std::copy(images[size_t(s.block)].begin(), images[size_t(s.block)].end(),
                f.bytes().begin() + std::ptrdiff_t(f.UnitAt(u)));
      f.SetIndexValue(size_t(s.block), u);
      u += units[size_t(s.block)];
    } else {
      for (int32_t i = 0; i < s.free; ++i) freeUnits.push_back(u++);
    }
  }
  for (size_t i = 0; i < freeUnits.size(); ++i)
    f.PutFreeUnit(freeUnits[i], i + 1 < freeUnits.size() ? freeUnits[i + 1] : -1);
  f.SetBlockCount(total);
  f.SetFreeBlock(freeUnits.empty() ? -1 : freeUnits[0]);
  f.Save();
}

// The kinds an optimisation reports, as "kind" or "kind:value": 6 with the
// percent, 13 with the reason, 3 and 4 with the message. Polls answer from a
// list (then 0).
template <class B>
struct OptimizeRecorder {
  std::vector<std::string> lines;
  std::vector<int32_t> polls;
  size_t nextPoll = 0;
  int pollCount = 0;

  vk::CheckCallback<B> Callback() {
    return [this](int32_t kind, vk::CheckReport<B>& r) -> int32_t {
      switch (kind) {
        case vk::kOptimizeProgress:
          lines.push_back("6:" + std::to_string(r.percent));
          return 0;
        case vk::kCheckPoll:
          ++pollCount;
          lines.push_back("7");
          return nextPoll < polls.size() ? polls[nextPoll++] : 0;
        case vk::kOptimizeFailed:
          lines.push_back("13:" + std::to_string(r.reason));
          return 0;
        case vk::kCheckStatus:
        case vk::kOptimizeFailure:
          lines.push_back(std::to_string(kind) + ":" + Utf8Of(r.message));
          return 0;
        default:
          lines.push_back(std::to_string(kind));
          return 0;
      }
    };
  }

  // The lines without the progress and the polls.
  std::vector<std::string> Outcome() const {
    std::vector<std::string> out;
    for (const std::string& l : lines)
      if (l != "7" && l.rfind("6:", 0) != 0) out.push_back(l);
    return out;
  }
};

const std::string kDoneText = "3:正常終了しました";
const std::string kStoppedText = "3:最適化を中止しました";
const std::string kDiskErrorText = "4:ディスクアクセスでエラーが発生しました\n辞書が正しくありません";

// Runs the optimisation on the closed file at `path`; answers its result.
template <class B>
int32_t Optimize(const std::string& path, OptimizeRecorder<B>* r, vk::Env* env = nullptr,
                 vk::OptimizeTexts texts = nullptr) {
  vk::VkcDic<B> dic(env ? env : vk::Env::Default());
  EXPECT_EQ(dic.OpenDic(path, nullptr, false), 0) << dic.Error();
  const int32_t rc = vk::RunOptimize(dic, r->Callback(), texts);
  dic.CloseDic();
  return rc;
}

// The check's lines on a clean file, which passes through the free-chain
// phase when it has free units.
inline std::vector<std::string> CleanCheck(bool freeUnits = false) {
  std::vector<std::string> lines = {"3:ﾘﾝｸ状態を調べています", "3:未使用ﾌﾞﾛｯｸをﾁｪｯｸしています",
                                    "3:使用ﾌﾞﾛｯｸのﾘﾝｸをﾁｪｯｸしています", "3:ﾘﾝｸに異常はありませんでした",
                                    "3:辞書に異常はありませんでした"};
  if (freeUnits) lines.insert(lines.begin() + 1, "3:空ﾌﾞﾛｯｸのﾘﾝｸをﾁｪｯｸしています");
  return lines;
}

template <class B>
std::vector<std::string> CheckLines(const std::string& path) {
  Recorder<B> r;
  vk::VkcDic<B> dic;
  EXPECT_EQ(dic.OpenDic(path, nullptr, false), 0) << dic.Error();
  vk::RunCheck(dic, r.Callback());
  dic.CloseDic();
  return r.lines;
}

// Entries of a walk as comparable text: word, fields, attribute.
template <class B>
std::vector<std::string> EntryTexts(const Walk<B>& w) {
  std::vector<std::string> out;
  for (const WalkedEntry<B>& e : w.entries) {
    std::string s = Utf8Of(e.word.c_str()) + "|" + Utf8Of(e.fields.translation.c_str()) + "|" +
                    Utf8Of(e.fields.example.c_str()) + "|" + Utf8Of(e.fields.pronunciation.c_str()) + "|" +
                    std::to_string(e.fields.attribute);
    out.push_back(s);
  }
  return out;
}

// What every optimised file must be: sound, holding the entries of
// `before` with each block's bytes unchanged, its blocks in index order one
// after another from unit 0, no free unit, the file ending with the last
// block, and a clean check.
template <class B>
void ExpectOptimized(const std::string& path, const Walk<B>& before) {
  Walk<B> after;
  WalkFile<B>(path, &after);
  ASSERT_FALSE(::testing::Test::HasFailure());
  EXPECT_EQ(EntryTexts(after), EntryTexts(before));
  ASSERT_EQ(after.blocks.size(), before.blocks.size());
  int32_t next = 0;
  for (size_t k = 0; k < after.blocks.size(); ++k) {
    EXPECT_EQ(after.blocks[k].number, next) << "block " << k << " is not packed in index order";
    EXPECT_TRUE(after.blocks[k].bytes == before.blocks[k].bytes) << "block " << k << " changed";
    next += after.blocks[k].units;
  }
  EXPECT_EQ(after.end, next);
  EXPECT_TRUE(after.freeUnits.empty());
  EXPECT_EQ(after.header.freeBlock(), -1);
  DamagedFile<B> f(path);
  EXPECT_EQ(f.bytes().size(), f.UnitAt(next)) << "the file does not end with the last block";
  EXPECT_EQ(CheckLines<B>(path), CleanCheck());
}

}  // namespace vktest
