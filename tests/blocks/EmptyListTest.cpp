// EmptyList: the order-dependent behaviour that the file format sees (which
// unit an unsorted list hands out, first fit, the last-run rule) and a
// randomised run against a plain set of free units.
#include "blocks/EmptyList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

using Runs = std::vector<std::pair<int32_t, int32_t>>;  // (start, length), list order

Runs Of(const vk::EmptyList& list) {
  Runs out;
  for (const vk::EmptyList::Run& r : list.Runs()) out.emplace_back(r.start, r.length);
  return out;
}

// Adds (start, length) pairs in the order given: the last one ends up in front.
vk::EmptyList Build(const Runs& adds) {
  vk::EmptyList list;
  for (auto [s, n] : adds) list.Add(s, n);
  return list;
}

TEST(EmptyList, SortMergesNeighboursWhateverTheOrderTheyCameIn) {
  struct Case {
    const char* what;
    Runs adds;
    Runs sorted;
  };
  const Case cases[] = {
      {"5, then 6 and 7", {{5, 1}, {6, 1}, {7, 1}}, {{5, 3}}},
      {"5, then 6-7 in one", {{5, 1}, {6, 2}}, {{5, 3}}},
      {"7, 6, 5", {{7, 1}, {6, 1}, {5, 1}}, {{5, 3}}},
      {"6, 5, 7", {{6, 1}, {5, 1}, {7, 1}}, {{5, 3}}},
      {"a gap stays", {{5, 1}, {7, 1}}, {{5, 1}, {7, 1}}},
      {"the gap closes later", {{9, 3}, {5, 1}, {7, 1}, {6, 1}, {8, 1}}, {{5, 7}}},
      {"zero length is ignored", {{5, 1}, {6, 0}, {7, 1}}, {{5, 1}, {7, 1}}},
  };
  for (const Case& c : cases) {
    vk::EmptyList list = Build(c.adds);
    EXPECT_TRUE(list.NeedsSort()) << c.what;
    list.Sort();
    EXPECT_FALSE(list.NeedsSort()) << c.what;
    EXPECT_EQ(Of(list), c.sorted) << c.what;
    EXPECT_EQ(list.FirstStart(), c.sorted.front().first) << c.what;
  }
}

// Insert keeps a sorted list sorted and gives the runs that Add and Sort
// would, overlaps folded too.
TEST(EmptyList, InsertKeepsTheOrderAsAddAndSortWould) {
  std::mt19937 rng(7);
  auto R = [&](int n) { return int32_t(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
  for (int round = 0; round < 200; ++round) {
    vk::EmptyList inserted, added;
    inserted.Sort();
    for (int k = 0; k < 30; ++k) {
      const int32_t start = R(120), length = R(6);
      inserted.Insert(start, length);
      added.Add(start, length);
      added.Sort();
      ASSERT_FALSE(inserted.NeedsSort());
      ASSERT_EQ(Of(inserted), Of(added)) << "round " << round << " step " << k;
    }
  }
  // On a list marked unsorted it is Add: the run goes in front.
  vk::EmptyList list = Build({{9, 1}, {2, 1}});
  list.Insert(5, 1);
  EXPECT_EQ(Of(list), (Runs{{5, 1}, {2, 1}, {9, 1}}));
}

// A list sorted once and then given a few runs at the front (the common
// case, sorted in place run by run) or many (sorted whole) ends exactly as a
// stable sort of its runs by start and a merging walk leave it, ties kept in
// list order; single units taken from the unsorted front in between.
TEST(EmptyList, SortAfterFrontAddsIsAStableSortAndMerge) {
  std::mt19937 rng(11);
  auto R = [&](int n) { return int32_t(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
  auto reference = [](Runs runs) {
    std::stable_sort(runs.begin(), runs.end(), [](auto& a, auto& b) { return a.first < b.first; });
    Runs merged;
    for (auto r : runs) {
      if (!merged.empty() && r.first <= merged.back().first + merged.back().second &&
          r.first + r.second >= merged.back().first) {
        auto& m = merged.back();
        const int32_t lo = std::min(m.first, r.first), hi = std::max(m.first + m.second, r.first + r.second);
        m = {lo, hi - lo};
      } else {
        merged.push_back(r);
      }
    }
    return merged;
  };
  for (int round = 0; round < 400; ++round) {
    vk::EmptyList list;
    for (int k = 0; k < 40; ++k) list.Add(R(400), 1 + R(5));
    list.Sort();
    for (int step = 0; step < 20; ++step) {
      const int adds = R(4) == 0 ? 9 + R(20) : 1 + R(8);
      for (int k = 0; k < adds; ++k) list.Add(R(400), R(4) == 0 ? 0 : 1 + R(5));
      if (R(3) == 0) list.Take(1);
      const Runs want = reference(Of(list));
      list.Sort();
      ASSERT_EQ(Of(list), want) << "round " << round << " step " << step;
    }
  }
}

TEST(EmptyList, SortOnlyWhenMarked) {
  vk::EmptyList list = Build({{5, 1}, {2, 1}});
  list.Sort();
  EXPECT_EQ(Of(list), (Runs{{2, 1}, {5, 1}}));
  list.Add(0, 0);  // ignored: does not mark the list
  EXPECT_FALSE(list.NeedsSort());
}

TEST(EmptyList, MergeWalksInListOrder) {
  // A chain loaded in ascending order is added front-first, so the list is
  // descending; one walk merges it without sorting.
  vk::EmptyList list = Build({{5, 1}, {6, 1}, {7, 1}, {9, 1}, {10, 1}});
  list.Merge();
  EXPECT_EQ(Of(list), (Runs{{9, 2}, {5, 3}}));
  EXPECT_TRUE(list.NeedsSort());
  EXPECT_EQ(list.FirstStart(), 9);

  // Ascending neighbours merge the other way.
  list = Build({{20, 1}, {7, 1}, {5, 2}});
  list.Merge();
  EXPECT_EQ(Of(list), (Runs{{5, 3}, {20, 1}}));
  // The walk never steps back: a merged run does not meet its predecessor,
  // and runs that are not neighbours in the walk stay apart.
  list = Build({{20, 1}, {5, 2}, {7, 1}, {4, 1}});
  list.Merge();
  EXPECT_EQ(Of(list), (Runs{{4, 1}, {5, 3}, {20, 1}}));
  list = Build({{6, 1}, {20, 1}, {5, 1}});
  list.Merge();
  EXPECT_EQ(Of(list), (Runs{{5, 1}, {20, 1}, {6, 1}}));
}

TEST(EmptyList, SingleUnitComesFromTheFrontRunUnsorted) {
  vk::EmptyList list = Build({{2, 2}, {10, 3}});
  EXPECT_EQ(list.Take(1), 10);
  EXPECT_TRUE(list.NeedsSort());
  EXPECT_EQ(Of(list), (Runs{{11, 2}, {2, 2}}));
  EXPECT_EQ(list.Take(1), 11);
  EXPECT_EQ(list.Take(1), 12);
  EXPECT_EQ(Of(list), (Runs{{2, 2}})) << "an emptied run goes";
  // Asking for the obtained length sorts first, even for one unit.
  list = Build({{2, 2}, {10, 3}});
  int32_t got = 0;
  EXPECT_EQ(list.Take(1, &got), 2);
  EXPECT_EQ(got, 1);
  EXPECT_FALSE(list.NeedsSort());
}

TEST(EmptyList, FirstFitCutsFromTheFront) {
  vk::EmptyList list = Build({{20, 8}, {10, 4}, {5, 2}, {2, 1}});
  EXPECT_EQ(list.Take(3), 10);
  EXPECT_EQ(Of(list), (Runs{{2, 1}, {5, 2}, {13, 1}, {20, 8}}));
  EXPECT_EQ(list.Take(2), 5);
  EXPECT_EQ(list.Take(8), 20);
  EXPECT_EQ(Of(list), (Runs{{2, 1}, {13, 1}}));
  EXPECT_EQ(list.Take(2), -1);
  EXPECT_EQ(Of(list), (Runs{{2, 1}, {13, 1}})) << "a failed take changes nothing";
}

TEST(EmptyList, ObtainedLengthTakesTheLastRunWhole) {
  // The walk stops at the last run, not at the longest one.
  vk::EmptyList list = Build({{2, 3}, {10, 1}});
  EXPECT_EQ(list.Take(5), -1);
  int32_t got = -5;
  EXPECT_EQ(list.Take(5, &got), 10);
  EXPECT_EQ(got, 1);
  EXPECT_EQ(Of(list), (Runs{{2, 3}}));
  EXPECT_EQ(list.Take(5, &got), 2);
  EXPECT_EQ(got, 3);
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.Take(5, &got), -1);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(list.Take(1), -1);
  // A fitting run reports the count asked for.
  list = Build({{4, 9}});
  EXPECT_EQ(list.Take(5, &got), 4);
  EXPECT_EQ(got, 5);
}

TEST(EmptyList, TakeAtCutsAndSplits) {
  struct Case {
    const char* what;
    int32_t s, k;
    bool ok;
    Runs after;
  };
  // Starting from one run 10..19 and a run 30..31.
  const Case cases[] = {
      {"inside splits", 13, 2, true, {{10, 3}, {15, 5}, {30, 2}}},
      {"at the front", 10, 4, true, {{14, 6}, {30, 2}}},
      {"up to the end", 16, 4, true, {{10, 6}, {30, 2}}},
      {"the whole run", 30, 2, true, {{10, 10}}},
      {"not free", 25, 1, false, {{10, 10}, {30, 2}}},
      {"before the first run", 3, 1, false, {{10, 10}, {30, 2}}},
      {"past the end: only the run's part", 18, 5, false, {{10, 8}, {30, 2}}},
      {"nothing asked", 12, 0, false, {{10, 10}, {30, 2}}},
  };
  for (const Case& c : cases) {
    vk::EmptyList list = Build({{30, 2}, {15, 5}, {10, 5}});
    EXPECT_EQ(list.TakeAt(c.s, c.k), c.ok) << c.what;
    EXPECT_EQ(Of(list), c.after) << c.what;
  }
}

TEST(EmptyList, FreeRunLengthAt) {
  vk::EmptyList list = Build({{10, 5}, {20, 1}});
  list.Add(15, 2);  // unsorted: the query sorts and merges first
  const std::pair<int32_t, int32_t> cases[] = {
      {9, 0}, {10, 7}, {14, 3}, {16, 1}, {17, 0}, {19, 0}, {20, 1}, {21, 0}, {-1, 0}};
  for (auto [unit, len] : cases) EXPECT_EQ(list.FreeRunLengthAt(unit), len) << "unit " << unit;
  EXPECT_FALSE(list.NeedsSort());
}

TEST(EmptyList, ShiftMovesEveryRun) {
  vk::EmptyList list = Build({{30, 2}, {10, 5}});
  list.Shift(8);
  EXPECT_EQ(Of(list), (Runs{{2, 5}, {22, 2}}));
  list.Shift(-8);
  list.Add(0, 8);
  EXPECT_EQ(list.FirstStart(), 0);
  list.Sort();
  EXPECT_EQ(Of(list), (Runs{{0, 8}, {10, 5}, {30, 2}}));
  list.Clear();
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.FirstStart(), -1);
  EXPECT_FALSE(list.NeedsSort());
}

TEST(EmptyList, EmptyListAnswers) {
  vk::EmptyList list;
  EXPECT_EQ(list.Take(1), -1);
  EXPECT_EQ(list.Take(4), -1);
  EXPECT_FALSE(list.TakeAt(0, 1));
  EXPECT_EQ(list.FreeRunLengthAt(0), 0);
  EXPECT_EQ(list.FirstStart(), -1);
}

TEST(EmptyList, UnitsFreedTwiceAreHandedOutOnce) {
  struct Case {
    const char* what;
    Runs adds;
    Runs sorted;
  };
  const Case cases[] = {
      {"same unit twice", {{5, 1}, {5, 1}}, {{5, 1}}},
      {"unit inside a run", {{5, 3}, {6, 1}}, {{5, 3}}},
      {"run inside a unit's run", {{6, 1}, {5, 3}}, {{5, 3}}},
      {"partial overlap", {{3, 4}, {5, 4}}, {{3, 6}}},
      {"overlap bridging a gap", {{1, 2}, {6, 2}, {2, 5}}, {{1, 7}}},
  };
  for (const Case& c : cases) {
    vk::EmptyList list = Build(c.adds);
    list.Sort();
    EXPECT_EQ(Of(list), c.sorted) << c.what;
    // Unsorted single-unit takes see every unit once too.
    vk::EmptyList raw = Build(c.adds);
    std::set<int32_t> given;
    for (int32_t u; (u = raw.Take(1)) != -1;) {
      EXPECT_TRUE(given.insert(u).second) << c.what << ": unit " << u << " given twice";
    }
    int32_t total = 0;
    for (auto [s, n] : c.sorted) total += n;
    EXPECT_EQ(static_cast<int32_t>(given.size()), total) << c.what;
  }
  // Overlapping runs that meet only once sorted are folded by the sort.
  vk::EmptyList list = Build({{5, 4}, {20, 1}, {3, 4}});
  list.Sort();
  EXPECT_EQ(Of(list), (Runs{{3, 6}, {20, 1}}));
}

// ---------------------------------------------------------------------------
// Randomised: every operation checked against a set of free units.

class Model {
 public:
  std::set<int32_t> free;

  // Maximal stretches of consecutive free units, ascending.
  Runs Stretches() const {
    Runs out;
    for (int32_t u : free) {
      if (!out.empty() && out.back().first + out.back().second == u) {
        ++out.back().second;
      } else {
        out.emplace_back(u, 1);
      }
    }
    return out;
  }
  bool AllFree(int32_t s, int32_t n) const {
    for (int32_t u = s; u < s + n; ++u)
      if (!free.count(u)) return false;
    return true;
  }
  bool NoneFree(int32_t s, int32_t n) const {
    for (int32_t u = s; u < s + n; ++u)
      if (free.count(u)) return false;
    return true;
  }
  void Remove(int32_t s, int32_t n) {
    for (int32_t u = s; u < s + n; ++u) free.erase(u);
  }
};

// The list holds exactly the model's units; a sorted list holds them as
// maximal stretches, ascending.
void CheckAgainst(const vk::EmptyList& list, const Model& m, bool overlapsAllowed) {
  std::set<int32_t> units;
  size_t total = 0;
  for (const vk::EmptyList::Run& r : list.Runs()) {
    ASSERT_GT(r.length, 0);
    for (int32_t u = r.start; u < r.start + r.length; ++u) units.insert(u);
    total += static_cast<size_t>(r.length);
  }
  ASSERT_EQ(units, m.free);
  if (!overlapsAllowed) {
    ASSERT_EQ(total, units.size()) << "a unit is held twice";
  }
  if (!list.NeedsSort()) {
    ASSERT_EQ(Of(list), m.Stretches());
  }
}

// The gap compaction closes next, found by a walk over the sorted runs.
int32_t CloseGapByWalk(vk::EmptyList& list) {
  const std::vector<vk::EmptyList::Run>& runs = list.SortedRuns();
  for (size_t i = 0; i + 1 < runs.size(); ++i) {
    const int64_t used = int64_t{runs[i + 1].start} - (int64_t{runs[i].start} + runs[i].length);
    if (vk::EmptyList::kCloseRatio * runs[i].length >= used) return runs[i].start;
  }
  return -1;
}

void RandomRun(uint32_t seed, bool overlaps) {
  SCOPED_TRACE(testing::Message() << "seed " << seed << (overlaps ? " (overlapping adds)" : ""));
  std::mt19937 rng(seed);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int32_t kUnits = 200;
  vk::EmptyList list;
  Model m;
  for (int step = 0; step < 2000; ++step) {
    SCOPED_TRACE(testing::Message() << "step " << step);
    int op = rnd(0, 99);
    if (op < 40) {
      int32_t s = rnd(0, kUnits - 1), n = rnd(1, rnd(0, 3) ? 3 : 12);
      if (!overlaps && !m.NoneFree(s, n)) continue;
      list.Add(s, n);
      for (int32_t u = s; u < s + n; ++u) m.free.insert(u);
    } else if (op < 70) {
      int32_t n = rnd(0, 2) ? 1 : rnd(1, 10);
      bool wantObtained = rnd(0, 3) == 0;
      bool unsortedSingle = n == 1 && !wantObtained;
      int32_t front = list.IsEmpty() ? -1 : list.Runs().front().start;
      Runs stretches = m.Stretches();
      int32_t got = -9;
      int32_t at = list.Take(n, wantObtained ? &got : nullptr);
      if (stretches.empty()) {
        ASSERT_EQ(at, -1);
        continue;
      }
      if (unsortedSingle) {
        ASSERT_EQ(at, front) << "a single unit comes from the front run";
        ASSERT_TRUE(m.free.count(at));
        m.Remove(at, 1);
        continue;
      }
      size_t i = 0;
      while (stretches[i].second < n && i + 1 < stretches.size()) ++i;
      auto [s, len] = stretches[i];
      if (len >= n) {
        ASSERT_EQ(at, s);
        if (wantObtained) {
          ASSERT_EQ(got, n);
        }
        m.Remove(s, n);
      } else if (wantObtained) {
        ASSERT_EQ(at, s) << "the last run, taken whole";
        ASSERT_EQ(got, len);
        m.Remove(s, len);
      } else {
        ASSERT_EQ(at, -1);
      }
    } else if (op < 85) {
      int32_t s = (!m.free.empty() && rnd(0, 3)) ? *std::next(m.free.begin(), rnd(0, static_cast<int>(m.free.size()) - 1))
                                                : rnd(0, kUnits);
      int32_t k = rnd(1, 6);
      int32_t room = 0;
      while (m.free.count(s + room)) ++room;
      bool ok = list.TakeAt(s, k);
      ASSERT_EQ(ok, room >= k);
      m.Remove(s, std::min(room, k));
    } else if (op < 93) {
      int32_t u = rnd(-2, kUnits + 12);
      int32_t room = 0;
      while (m.free.count(u + room)) ++room;
      ASSERT_EQ(list.FreeRunLengthAt(u), room) << "unit " << u;
    } else if (op < 97) {
      list.Merge();
    } else {
      // Shift back and forth so units stay in range.
      int32_t k = rnd(-3, 3);
      list.Shift(k);
      list.Shift(-k);
      if (rnd(0, 1)) list.Sort();
    }
    CheckAgainst(list, m, overlaps);
    if (testing::Test::HasFatalFailure()) return;
    if (rnd(0, 3) == 0) {
      const int32_t walked = CloseGapByWalk(list);
      ASSERT_EQ(list.FirstCloseGap(), walked) << "the gap compaction closes next";
    }
    if (!list.NeedsSort()) {
      ASSERT_EQ(list.FirstStart(), m.free.empty() ? -1 : *m.free.begin());
    }
  }
}

std::vector<uint32_t> Seeds() {
  if (const char* s = std::getenv("VK_SEED")) return {static_cast<uint32_t>(std::strtoul(s, nullptr, 0))};
  std::vector<uint32_t> seeds;
  for (uint32_t i = 1; i <= 8; ++i) seeds.push_back(i * 2654435761u);
  return seeds;
}

TEST(EmptyListRandom, MatchesASetOfFreeUnits) {
  for (uint32_t seed : Seeds()) {
    RandomRun(seed, false);
    if (HasFatalFailure()) return;
  }
}

TEST(EmptyListRandom, OverlappingAddsNeverGiveAUnitTwice) {
  for (uint32_t seed : Seeds()) {
    RandomRun(seed, true);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
