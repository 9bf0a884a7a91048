// The chunked entry list against a flat vector: random inserts, removals,
// renamings, block number changes and shifts over many chunks, with every
// position, block search and range compared after each step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "index/IndexEntryList.h"

namespace vk {
namespace {

struct ModelEntry {
  int32_t block;
  std::string word;
};

using List = IndexEntryList<char>;

IndexWord<char> W(const std::string& s) { return IndexWord<char>::Make(s.data(), s.size()); }

void ExpectSame(const List& list, const std::vector<ModelEntry>& model) {
  ASSERT_EQ(list.size(), model.size());
  for (size_t i = 0; i < model.size(); ++i) {
    ASSERT_EQ(list.block(i), model[i].block) << i;
    ASSERT_EQ(std::string(list.word(i).c_str()), model[i].word) << i;
  }
  size_t seen = 0;
  list.forEach([&](size_t i, int32_t block, const IndexWord<char>& w) {
    EXPECT_EQ(i, seen++);
    EXPECT_EQ(block, model[i].block);
    EXPECT_EQ(w.size(), model[i].word.size());
  });
  EXPECT_EQ(seen, model.size());
}

TEST(IndexEntryListTest, RandomChangesMatchAFlatVector) {
  std::mt19937 rng(20261210);
  List list;
  std::vector<ModelEntry> model;
  int next = 0;
  for (int step = 0; step < 20000; ++step) {
    const int op = static_cast<int>(rng() % 10);
    if (op < 6 || model.empty()) {
      const size_t pos = rng() % (model.size() + 1);
      // Mostly near the end, as a dictionary filled in order does.
      const size_t at = (op == 0 && !model.empty()) ? model.size() : pos;
      const std::string w = "w" + std::to_string(next++);
      const int32_t b = static_cast<int32_t>(rng() % 100000);
      list.insert(at, b, W(w));
      model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), {b, w});
    } else if (op < 8) {
      const size_t pos = rng() % model.size();
      list.erase(pos);
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(pos));
    } else if (op == 8) {
      const size_t pos = rng() % model.size();
      const int32_t b = static_cast<int32_t>(rng() % 100000);
      list.setBlock(pos, b);
      model[pos].block = b;
      const std::string w = "r" + std::to_string(next++);
      list.replaceWord(pos, W(w));
      model[pos].word = w;
    } else {
      const int32_t k = static_cast<int32_t>(rng() % 9) - 4;
      list.shiftBlocks(k);
      for (ModelEntry& e : model) e.block -= k;
    }
    if (step % 997 == 0 || step == 19999) {
      ExpectSame(list, model);
      const int32_t from = static_cast<int32_t>(rng() % 100000), to = from + static_cast<int32_t>(rng() % 20000);
      std::vector<std::pair<int32_t, int32_t>> got, want;
      list.blocksIn(from, to, &got);
      for (size_t i = 0; i < model.size(); ++i)
        if (model[i].block >= from && model[i].block < to) want.emplace_back(model[i].block, static_cast<int32_t>(i));
      EXPECT_EQ(got, want);
      if (!model.empty()) {
        const size_t i = rng() % model.size();
        int64_t first = -1;
        for (size_t k = 0; k < model.size() && first < 0; ++k)
          if (model[k].block == model[i].block) first = static_cast<int64_t>(k);
        EXPECT_EQ(list.findBlock(model[i].block), first);
      }
      EXPECT_EQ(list.findBlock(-12345), -1);
    }
  }
  EXPECT_GT(model.size(), 3 * List::kChunkMax) << "the run should have spread over many chunks";
  // Emptied from the front, chunk by chunk.
  while (!model.empty()) {
    list.erase(0);
    model.erase(model.begin());
  }
  ExpectSame(list, model);
  list.push_back(7, W("again"));
  EXPECT_EQ(list.block(0), 7);
}

// The flat binary search the list's search must answer as: the last entry
// not after the key, stopping at the first probe that equals it.
size_t FlatSearch(const std::vector<std::string>& words, const std::string& key) {
  size_t lo = 0, hi = words.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    const int c = CompareWords(key.c_str(), words[mid].c_str());
    if (c == 0) return mid;
    if (c < 0) hi = mid;
    else lo = mid + 1;
  }
  return lo == 0 ? 0 : lo - 1;
}

// A list kept in order by its changes, now and then put out of order and
// back: after every change the list knows whether it is strictly ascending,
// and its search (by chunks while ascending, by flat probes when not)
// answers as the flat search of the model does.
TEST(IndexEntryListTest, SearchFollowsEveryChangeInAndOutOfOrder) {
  std::mt19937 rng(99);
  List list;
  std::vector<std::string> model;
  auto word = [&rng]() {
    std::string w = std::to_string(rng() % 100000000);
    if (rng() % 3 == 0) w += "-" + std::string(rng() % 12, 'x') + std::to_string(rng() % 50);
    return w;
  };
  auto ascending = [&model]() {
    for (size_t i = 1; i < model.size(); ++i)
      if (CompareWords(model[i - 1].c_str(), model[i].c_str()) >= 0) return false;
    return true;
  };
  int inOrder = 0, outOfOrder = 0;
  for (int step = 0; step < 12000; ++step) {
    const int op = static_cast<int>(rng() % 20);
    const std::string w = word();
    const size_t sorted = static_cast<size_t>(std::lower_bound(model.begin(), model.end(), w,
                                                               [](const std::string& a, const std::string& b) {
                                                                 return CompareWords(a.c_str(), b.c_str()) < 0;
                                                               }) - model.begin());
    if ((op < 16 && step % 200 != 199) || model.empty()) {
      // At its place (a duplicate now and then breaks strict order), or,
      // rarely, anywhere.
      const size_t at = op == 0 && rng() % 8 == 0 ? rng() % (model.size() + 1) : sorted;
      // Now and then a duplicate, which breaks the strict order too.
      const std::string v = op == 1 && rng() % 8 == 0 && !model.empty() ? model[at % model.size()] : w;
      list.insert(at, 1, W(v));
      model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), v);
    } else if (op < 18 && step % 200 != 199) {
      const size_t pos = rng() % model.size();
      list.erase(pos);
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(pos));
    } else if (op < 20 && step % 200 != 199) {
      // Renamed: mostly to a word that keeps the order, rarely to any.
      const size_t pos = rng() % model.size();
      const bool fits = (pos == 0 || CompareWords(model[pos - 1].c_str(), w.c_str()) < 0) &&
                        (pos + 1 == model.size() || CompareWords(w.c_str(), model[pos + 1].c_str()) < 0);
      if (fits || rng() % 8 == 0) {
        list.replaceWord(pos, W(w));
        model[pos] = w;
      }
    } else if (!model.empty()) {
      // Put back in order: of each pair out of order, the entry that does not
      // fit between its neighbours leaves.
      for (size_t i = 1; i < model.size();) {
        if (CompareWords(model[i - 1].c_str(), model[i].c_str()) < 0) {
          ++i;
          continue;
        }
        const bool dropFirst = i == 1 || CompareWords(model[i - 2].c_str(), model[i].c_str()) < 0;
        const size_t gone = dropFirst ? i - 1 : i;
        list.erase(gone);
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(gone));
        i = std::max<size_t>(1, i - 1);
      }
    }
    ASSERT_EQ(list.strictlyAscending(), ascending()) << "step " << step;
    (ascending() ? inOrder : outOfOrder)++;
    for (int k = 0; k < 3 && !model.empty(); ++k) {
      const std::string key = k == 0 ? model[rng() % model.size()] : word();
      ASSERT_EQ(list.search(key.c_str()), FlatSearch(model, key)) << "step " << step << " key " << key;
    }
  }
  EXPECT_GT(model.size(), 2 * List::kChunkMax) << "the run should have spread over several chunks";
  EXPECT_GT(inOrder, 2000);
  EXPECT_GT(outOfOrder, 2000);
}

// The search probes as a binary search over one flat array does, so it gives
// the same answers on sorted words and on a damaged, unsorted index alike.
TEST(IndexEntryListTest, SearchAnswersAsAFlatBinarySearch) {
  std::mt19937 rng(7);
  for (bool sorted : {true, false}) {
    List list;
    std::vector<std::string> words;
    // Numbers of 1 to 12 digits, some followed by a dash and more digits:
    // some share their first eight bytes, some their first sixteen.
    auto number = [&rng]() { return std::to_string(rng() % 1000000000000ULL >> (rng() % 40)); };
    auto longer = [&rng, &number](std::string w) {
      if (rng() % 3 == 0) w += "-" + std::to_string(rng() % 4) + std::string(rng() % 6, '7') + number();
      return w;
    };
    for (int i = 0; i < 3000; ++i) words.push_back(longer(number()));
    if (sorted) std::sort(words.begin(), words.end());
    // Inserted out of order, so the chunks are split in many places.
    std::vector<std::string> placed;
    for (const std::string& w : words) {
      const size_t at = placed.empty() ? 0 : rng() % (placed.size() + 1);
      placed.insert(placed.begin() + static_cast<std::ptrdiff_t>(at), w);
      list.insert(at, 0, W(w));
    }
    if (sorted) {
      std::sort(placed.begin(), placed.end());
      list.clear();
      for (const std::string& w : placed) list.push_back(0, W(w));
    }
    for (int probe = 0; probe < 2000; ++probe) {
      std::string key = probe % 3 == 0 ? placed[rng() % placed.size()] : longer(number());
      if (probe % 7 == 0) key = placed[rng() % placed.size()].substr(0, rng() % 20);  // a cut headword
      if (key.empty()) key = "0";
      if (probe % 5 == 0) key += char(0xE3);  // a unit above ASCII after an equal start
      auto cmp = [&](const std::string& w) { return CompareWords(key.c_str(), w.c_str()); };
      size_t lo = 0, hi = placed.size(), want = SIZE_MAX;
      while (lo < hi && want == SIZE_MAX) {
        const size_t mid = (lo + hi) / 2;
        const int c = cmp(placed[mid]);
        if (c == 0) want = mid;
        else if (c < 0) hi = mid;
        else lo = mid + 1;
      }
      if (want == SIZE_MAX) want = lo == 0 ? 0 : lo - 1;
      ASSERT_EQ(list.search(key.c_str()), want) << key;
    }
  }
}

// A dictionary being read searches its index through the flat arrays, by
// groups while the index is ascending: every headword, every word between
// two neighbours and every word before the first is found where the flat
// search finds it, at each place within a group and across group edges,
// for an index whose size is and is not a multiple of the group.
TEST(IndexEntryListTest, QuietAscendingIndexSearchedByGroupsAnswersAsTheFlatSearch) {
  for (size_t n : {size_t(1500), size_t(1536), size_t(4097)}) {
    List list;
    std::vector<std::string> words;
    for (size_t i = 0; i < n; ++i) {
      // Steps of 2 leave room for a word between neighbours; every third
      // word shares its first sixteen bytes with the one before.
      std::string w = std::to_string(100000 + 2 * i);
      if (i % 3 == 0) w = "same-sixteen-byt" + w;
      words.push_back(w);
    }
    std::sort(words.begin(), words.end(), [](const std::string& a, const std::string& b) {
      return CompareWords(a.c_str(), b.c_str()) < 0;
    });
    for (const std::string& w : words) list.push_back(0, W(w));
    ASSERT_TRUE(list.strictlyAscending());
    for (int pass = 0; pass < 2; ++pass) {  // the first pass makes the flat arrays
      for (size_t i = 0; i < n; ++i) {
        ASSERT_EQ(list.search(words[i].c_str()), i) << "n " << n << " word " << words[i];
        const std::string after = words[i] + "0";  // between words[i] and words[i + 1]
        ASSERT_EQ(list.search(after.c_str()), FlatSearch(words, after)) << "n " << n << " key " << after;
      }
      ASSERT_EQ(list.search(""), 0u);
      ASSERT_EQ(list.search("0"), 0u);
      ASSERT_EQ(list.search("zzz"), n - 1);
    }
  }
}

}  // namespace
}  // namespace vk
