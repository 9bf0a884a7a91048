// The in-memory index in every build: lookup, accounting and free room,
// refusals that must leave the index as it was, the capacity rule, Shift,
// and save/load round trips, by hand and against a model.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "file/ErrorCodes.h"
#include "index/HVokaIndex.h"
#include "index/IndexTestUtil.h"

namespace vkindextest {
namespace {

template <class B>
class IndexTest : public ::testing::Test {
 protected:
  using Unit = typename B::Unit;
  using S = std::basic_string<Unit>;
  using Index = vk::HVokaIndex<B>;

  // A file with an area of `areaSize` zero bytes and an index set up on it.
  std::unique_ptr<Index> Fresh(int32_t areaSize, int32_t indexCount = 0, int32_t blockSize = 256) {
    file_.Create(FileImage(Bytes(static_cast<size_t>(areaSize), 0)));
    auto index = std::make_unique<Index>(file_.file(), &file_.cell());
    EXPECT_EQ(index->SetUp(kAreaOffset, areaSize, indexCount, false, blockSize), 0);
    return index;
  }

  // Inserts the words in order with block numbers 10, 20, 30, ...
  void Fill(Index* index, const std::vector<std::string>& words) {
    for (size_t i = 0; i < words.size(); ++i) {
      ASSERT_EQ(index->Insert(static_cast<int32_t>(i), static_cast<int32_t>(10 * (i + 1)),
                              W<B>(words[i]).c_str()),
                0)
          << words[i];
    }
  }

  ScratchFile file_;
};

TYPED_TEST_SUITE(IndexTest, AllBuilds, BuildNames);

TYPED_TEST(IndexTest, FindAnswersTheLastEntryNotGreaterThanTheKey) {
  using B = TypeParam;
  auto index = this->Fresh(1024);
  EXPECT_EQ(index->Find(W<B>("m").c_str()), 0) << "empty index";
  this->Fill(index.get(), {"b", "d", "f"});
  const struct {
    const char* key;
    int32_t pos;
  } cases[] = {
      {"", 0},  {"a", 0}, {"b", 0}, {"ba", 0}, {"c", 0}, {"d", 1},
      {"e", 1}, {"f", 2}, {"fa", 2}, {"z", 2},
  };
  for (const auto& c : cases) EXPECT_EQ(index->Find(W<B>(c.key).c_str()), c.pos) << c.key;

  // Units compare unsigned: a unit with the top bit set sorts after 'z'.
  std::basic_string<typename B::Unit> high(1, static_cast<typename B::Unit>(sizeof(typename B::Unit) == 1 ? 0xE3 : 0xFF21));
  EXPECT_EQ(index->Find(high.c_str()), 2);
  ASSERT_EQ(index->Insert(3, 40, high.c_str()), 0);
  EXPECT_EQ(index->Find(high.c_str()), 3);
  EXPECT_EQ(index->Find(W<B>("z").c_str()), 2);
}

TYPED_TEST(IndexTest, FindBlockAndBlockNumbers) {
  using B = TypeParam;
  auto index = this->Fresh(1024);
  this->Fill(index.get(), {"b", "d", "f"});
  EXPECT_EQ(index->FindBlock(20), 1);
  EXPECT_EQ(index->FindBlock(25), -1);
  index->SetBlockNumber(1, 77);
  EXPECT_EQ(index->FindBlock(77), 1);
  EXPECT_EQ(index->FindBlock(20), -1);
  EXPECT_EQ(index->BlockNumber(1), 77);
  EXPECT_EQ(std::basic_string<typename B::Unit>(index->Word(1)), W<B>("d"));
}

TYPED_TEST(IndexTest, AccountingAndFreeRoom) {
  using B = TypeParam;
  const int32_t ov = vk::IndexEntryOverhead<B>();
  const int32_t unit = static_cast<int32_t>(sizeof(typename B::Unit));
  struct Case {
    const char* what;
    int32_t areaSize;
    std::vector<std::string> words;
    int32_t used;
    int32_t freeRoom;
  };
  const std::vector<Case> cases = {
      {"empty index: area - overhead", 1024, {}, 0, 1024 - ov},
      {"empty area: nothing", 0, {}, 0, 0},
      {"smaller area than one overhead: nothing", 3, {}, 0, 0},
      {"one entry", 1024, {"abc"}, 3 * unit + ov, 1024 - (3 * unit + ov) - ov},
      {"two entries", 1024, {"abc", "de"}, 5 * unit + 2 * ov, 1024 - (5 * unit + 2 * ov) - ov},
      {"used = area - 3: nothing", 8 * unit + ov + 3, {"abcdefgh"}, 8 * unit + ov, 0},
      {"used = area - overhead: nothing", 8 * unit + 2 * ov, {"abcdefgh"}, 8 * unit + ov, 0},
      {"used = area - overhead - 1: one byte", 8 * unit + 2 * ov + 1, {"abcdefgh"}, 8 * unit + ov, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto index = this->Fresh(c.areaSize);
    this->Fill(index.get(), c.words);
    EXPECT_EQ(index->Used(), c.used);
    EXPECT_EQ(index->FreeRoom(), c.freeRoom);
  }
}

// An entry fits only while used + its size stays below the area size; a
// refusal answers code 3 and leaves entries, accounting and flag alone.
TYPED_TEST(IndexTest, RefusedInsertAndRenameChangeNothing) {
  using B = TypeParam;
  const int32_t five = static_cast<int32_t>(EntrySize<B>(5));

  {
    auto index = this->Fresh(five);
    EXPECT_EQ(index->Insert(0, 1, W<B>("abcde").c_str()), -1);
    EXPECT_EQ(this->file_.cell(), vk::kErrDictionaryFull);
    EXPECT_EQ(index->Count(), 0);
    EXPECT_EQ(index->Used(), 0);
    EXPECT_FALSE(index->Changed());
  }

  auto index = this->Fresh(five + 1);
  ASSERT_EQ(index->Insert(0, 1, W<B>("abcde").c_str()), 0);
  EXPECT_TRUE(index->Changed());
  ASSERT_EQ(index->Save(), 0);
  this->file_.cell() = 0;

  EXPECT_EQ(index->Insert(1, 2, W<B>("f").c_str()), -1);
  EXPECT_EQ(this->file_.cell(), vk::kErrDictionaryFull);
  EXPECT_EQ(index->Rename(0, W<B>("abcdef").c_str()), -1);
  EXPECT_EQ(this->file_.cell(), vk::kErrDictionaryFull);
  EXPECT_EQ(index->Count(), 1);
  EXPECT_EQ(index->Used(), five);
  EXPECT_EQ(std::basic_string<typename B::Unit>(index->Word(0)), W<B>("abcde"));
  EXPECT_EQ(index->BlockNumber(0), 1);
  EXPECT_FALSE(index->Changed());

  // Same length still fits (used + 0 < area); shorter frees room.
  EXPECT_EQ(index->Rename(0, W<B>("vwxyz").c_str()), 0);
  EXPECT_EQ(index->Used(), five);
  EXPECT_EQ(index->Rename(0, W<B>("ab").c_str()), 0);
  EXPECT_EQ(index->Used(), static_cast<int32_t>(EntrySize<B>(2)));
  EXPECT_EQ(index->BlockNumber(0), 1);
  EXPECT_EQ(std::basic_string<typename B::Unit>(index->Word(0)), W<B>("ab"));
}

TYPED_TEST(IndexTest, PositionsOutsideTheIndexAreRefused) {
  using B = TypeParam;
  auto index = this->Fresh(1024);
  this->Fill(index.get(), {"b", "d"});
  EXPECT_EQ(index->Insert(3, 5, W<B>("x").c_str()), -1);
  EXPECT_EQ(index->Insert(-1, 5, W<B>("a").c_str()), -1);
  EXPECT_EQ(index->Remove(2), -1);
  EXPECT_EQ(index->Rename(-1, W<B>("a").c_str()), -1);
  EXPECT_EQ(this->file_.cell(), vk::kErrDamaged);
  EXPECT_EQ(index->Count(), 2);
  EXPECT_EQ(index->BlockNumber(2), -1);
  EXPECT_EQ(index->Word(2), nullptr);
  // Inserting at the end is a position, not past it.
  EXPECT_EQ(index->Insert(2, 30, W<B>("f").c_str()), 0);
}

TYPED_TEST(IndexTest, InitialCapacityComesFromIndexCount) {
  const struct {
    int32_t indexCount;
    int32_t capacity;
  } cases[] = {
      {0, 256},       {-1, 256},        {INT32_MIN, 256},       {1, 1},
      {600, 600},     {0x7FFF00, 0x7FFF00}, {0x7FFF01, 256}, {INT32_MAX, 256},
  };
  for (const auto& c : cases) {
    auto index = this->Fresh(64, c.indexCount);
    EXPECT_EQ(index->Capacity(), c.capacity) << c.indexCount;
  }
}

TYPED_TEST(IndexTest, CapacityGrowsAndShrinksBy256Slots) {
  using B = TypeParam;
  auto index = this->Fresh(1 << 16);
  auto word = [](int i) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "w%04d", i);
    return W<B>(buf);
  };
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(index->Insert(i, i, word(i).c_str()), 0);
    ASSERT_EQ(index->Capacity(), i < 256 ? 256 : 512) << "after insert " << i;
  }
  // Shrinks on the removal that leaves count < capacity - 256.
  while (index->Count() > 256) ASSERT_EQ(index->Remove(0), 0);
  EXPECT_EQ(index->Capacity(), 512);
  ASSERT_EQ(index->Remove(0), 0);
  EXPECT_EQ(index->Capacity(), 256);
  while (index->Count() > 0) ASSERT_EQ(index->Remove(0), 0);
  EXPECT_EQ(index->Capacity(), 256);
  EXPECT_EQ(index->Used(), 0);

  // A capacity taken from the header steps down by 256 but never below 256.
  index = this->Fresh(1024, 600);
  this->Fill(index.get(), {"a", "b", "c"});
  EXPECT_EQ(index->Capacity(), 600);
  ASSERT_EQ(index->Remove(0), 0);
  EXPECT_EQ(index->Capacity(), 344);
  ASSERT_EQ(index->Remove(0), 0);
  EXPECT_EQ(index->Capacity(), 256);
  ASSERT_EQ(index->Remove(0), 0);
  EXPECT_EQ(index->Capacity(), 256);
}

TYPED_TEST(IndexTest, ShiftMovesTheAreaBoundary) {
  using B = TypeParam;
  auto index = this->Fresh(4096, 0, 256);
  this->Fill(index.get(), {"b", "d", "f"});
  ASSERT_EQ(index->Save(), 0);
  int32_t used = index->Used();

  index->Shift(4);  // the area takes units 0-3 of the data area
  EXPECT_EQ(index->AreaSize(), 4096 + 4 * 256);
  EXPECT_EQ(index->BlockNumber(0), 6);
  EXPECT_EQ(index->BlockNumber(2), 26);
  EXPECT_EQ(index->FindBlock(16), 1);
  EXPECT_TRUE(index->Changed());
  EXPECT_EQ(index->Used(), used);
  EXPECT_EQ(index->FreeRoom(), 4096 + 1024 - used - vk::IndexEntryOverhead<B>());

  index->Shift(-8);  // gives 8 units back to the data area
  EXPECT_EQ(index->AreaSize(), 4096 - 4 * 256);
  EXPECT_EQ(index->BlockNumber(0), 14);
  EXPECT_EQ(index->BlockNumber(2), 34);
  EXPECT_EQ(std::basic_string<typename B::Unit>(index->Word(2)), W<B>("f"));
}

// Changes made by hand survive save, close, reopen and load, set up from
// what the header update would store.
TYPED_TEST(IndexTest, RoundTripThroughTheFile) {
  using B = TypeParam;
  using S = std::basic_string<typename B::Unit>;
  auto index = this->Fresh(1024);
  this->Fill(index.get(), {"apple", "banana", "cherry", "damson", "elder"});
  ASSERT_EQ(index->Remove(1), 0);                      // banana
  ASSERT_EQ(index->Rename(2, W<B>("date").c_str()), 0);  // damson
  ASSERT_EQ(index->Insert(0, 7, W<B>("aa").c_str()), 0);
  index->SetBlockNumber(4, 0xFFFF);
  ASSERT_EQ(index->Save(), 0);
  const std::vector<std::pair<int32_t, S>> expected = {
      {7, W<B>("aa")}, {10, W<B>("apple")}, {30, W<B>("cherry")}, {40, W<B>("date")}, {0xFFFF, W<B>("elder")}};
  int32_t used = index->Used();
  int32_t count = index->Count();
  bool wide = index->WideNeeded();
  index.reset();
  this->file_.Close();

  this->file_.Open();
  vk::HVokaIndex<B> back(this->file_.file(), &this->file_.cell());
  ASSERT_EQ(back.SetUp(kAreaOffset, 1024, count, wide, 256), 0);
  ASSERT_EQ(back.Count(), static_cast<int32_t>(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(back.BlockNumber(static_cast<int32_t>(i)), expected[i].first);
    EXPECT_EQ(S(back.Word(static_cast<int32_t>(i))), expected[i].second);
  }
  EXPECT_EQ(back.Used(), used);
  EXPECT_FALSE(back.Changed());
}

// ---------------------------------------------------------------------------
// Random changes against a model: a map from headword to block number, the
// area size and the accounted bytes. Growth is modelled the way the
// dictionary does it: a refused insertion shifts the area by one unit and
// tries again.

uint32_t TestSeed() {
  if (const char* s = std::getenv("VK_TEST_SEED")) return static_cast<uint32_t>(std::strtoul(s, nullptr, 10));
  return std::random_device{}();
}

TYPED_TEST(IndexTest, RandomChangesMatchAMapModel) {
  using B = TypeParam;
  using Unit = typename B::Unit;
  using S = std::basic_string<Unit>;
  constexpr bool kByte = sizeof(Unit) == 1;
  const uint32_t seed = TestSeed();
  SCOPED_TRACE("seed " + std::to_string(seed) + " (rerun with VK_TEST_SEED)");
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };

  const int32_t unit = 64;
  int32_t area = 256;
  std::map<S, int32_t> model;
  std::set<int32_t> blocks;
  auto usedOf = [&]() {
    int64_t u = 0;
    for (const auto& e : model) u += EntrySize<B>(e.first.size());
    return u;
  };
  auto randomWord = [&]() {
    S w;
    int len = 1 + pick(10);
    for (int i = 0; i < len; ++i) {
      if (pick(12) == 0) {
        w.push_back(static_cast<Unit>(kByte ? 0x80 + pick(0x80) : 0x3041 + pick(0xCFBE)));
      } else {
        w.push_back(static_cast<Unit>('a' + pick(5)));
      }
    }
    return w;
  };
  auto freshBlock = [&]() {
    for (;;) {
      // Byte builds also get numbers past 0xFFFF, so saves switch forms.
      int32_t b = (kByte && pick(8) == 0) ? 0x10000 + pick(0x1F0000) : 5000 + pick(55000);
      if (blocks.insert(b).second) return b;
    }
  };

  this->file_.Create(FileImage(Bytes(static_cast<size_t>(area), 0)));
  auto index = std::make_unique<vk::HVokaIndex<B>>(this->file_.file(), &this->file_.cell());
  ASSERT_EQ(index->SetUp(kAreaOffset, area, 0, false, unit), 0);

  auto check = [&](const char* when) {
    SCOPED_TRACE(when);
    ASSERT_EQ(index->Count(), static_cast<int32_t>(model.size()));
    ASSERT_EQ(index->Used(), usedOf());
    ASSERT_EQ(index->AreaSize(), area);
    ASSERT_LE(index->Count(), index->Capacity());
    int32_t i = 0;
    for (const auto& e : model) {
      ASSERT_EQ(S(index->Word(i)), e.first) << "entry " << i;
      ASSERT_EQ(index->BlockNumber(i), e.second) << "entry " << i;
      ++i;
    }
  };

  for (int step = 0; step < 3000; ++step) {
    int op = pick(100);
    if (op < 45) {
      S w = randomWord();
      if (model.count(w)) continue;
      int32_t pos = static_cast<int32_t>(std::distance(model.begin(), model.lower_bound(w)));
      int32_t block = freshBlock();
      bool fits = usedOf() + EntrySize<B>(w.size()) < area;
      int rc = index->Insert(pos, block, w.c_str());
      if (!fits) {
        ASSERT_EQ(rc, -1);
        ASSERT_EQ(this->file_.cell(), vk::kErrDictionaryFull);
        ASSERT_NO_FATAL_FAILURE(check("after a refused insert"));
        index->Shift(1);
        area += unit;
        std::map<S, int32_t> shifted;
        std::set<int32_t> shiftedBlocks;
        for (auto& e : model) {
          shifted[e.first] = e.second - 1;
          shiftedBlocks.insert(e.second - 1);
        }
        // The new entry's number was drawn before the shift and is used as drawn.
        shiftedBlocks.insert(block);
        model.swap(shifted);
        blocks.swap(shiftedBlocks);
        rc = index->Insert(pos, block, w.c_str());
      }
      ASSERT_EQ(rc, 0);
      model[w] = block;
    } else if (op < 65) {
      if (model.empty()) continue;
      int32_t pos = pick(static_cast<int>(model.size()));
      auto it = std::next(model.begin(), pos);
      ASSERT_EQ(index->Remove(pos), 0);
      blocks.erase(it->second);
      model.erase(it);
    } else if (op < 80) {
      if (model.empty()) continue;
      int32_t pos = pick(static_cast<int>(model.size()));
      auto it = std::next(model.begin(), pos);
      S w = randomWord();
      // A block's first headword changes only within its neighbours.
      if (model.count(w)) continue;
      if (it != model.begin() && !(std::prev(it)->first < w)) continue;
      if (std::next(it) != model.end() && !(w < std::next(it)->first)) continue;
      bool fits = usedOf() + EntrySize<B>(w.size()) - EntrySize<B>(it->first.size()) < area;
      int rc = index->Rename(pos, w.c_str());
      if (!fits) {
        ASSERT_EQ(rc, -1);
        ASSERT_EQ(this->file_.cell(), vk::kErrDictionaryFull);
        continue;
      }
      ASSERT_EQ(rc, 0);
      int32_t block = it->second;
      model.erase(it);
      model[w] = block;
    } else if (op < 85) {
      if (model.empty()) continue;
      int32_t pos = pick(static_cast<int>(model.size()));
      auto it = std::next(model.begin(), pos);
      int32_t block = freshBlock();
      blocks.erase(it->second);
      it->second = block;
      index->SetBlockNumber(pos, block);
      ASSERT_EQ(index->FindBlock(block), pos);
    } else if (op < 95) {
      S key = randomWord();
      auto ub = model.upper_bound(key);
      int32_t expect = ub == model.begin() ? 0 : static_cast<int32_t>(std::distance(model.begin(), ub)) - 1;
      ASSERT_EQ(index->Find(key.c_str()), expect);
    } else {
      // Save, close, reopen and load into a new index set up from what the
      // header update would store.
      ASSERT_EQ(index->Save(), 0) << "cell " << this->file_.cell();
      int32_t count = index->Count();
      bool wide = index->WideNeeded();
      index.reset();
      this->file_.Close();
      this->file_.Open();
      index = std::make_unique<vk::HVokaIndex<B>>(this->file_.file(), &this->file_.cell());
      ASSERT_EQ(index->SetUp(kAreaOffset, area, count, wide, unit), 0);
      ASSERT_NO_FATAL_FAILURE(check("after a reload"));
    }
    ASSERT_NO_FATAL_FAILURE(check("after a step"));
  }
}

}  // namespace
}  // namespace vkindextest
