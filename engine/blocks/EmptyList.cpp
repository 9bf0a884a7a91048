// The runs live in a vector in list order, front first, with absolute
// starts; the on-disk structure's signed deltas are implied by neighbouring
// starts, so reordering and merging keep every start without bookkeeping.
//
// Invariant: while the list is not marked for sorting, its runs are in
// ascending order, no two touch, and no two overlap. Add is the only
// operation that marks it; Sort restores the invariant.
//
// Overlapping runs (a unit freed twice) are folded into one run wherever two
// runs meet in a merging walk, so a unit is never handed out twice: after
// sorting, every overlap is between neighbours and disappears in the merge.
// The one path that takes units without sorting (a single unit off the front
// run) removes the unit from any other run that also holds it.
#include "blocks/EmptyList.h"

#include <algorithm>

namespace vk {

namespace {

int64_t End(const EmptyList::Run& r) { return int64_t{r.start} + r.length; }

// Cuts [s, s + k) out of runs[i], which holds all of it.
void CutFrom(std::vector<EmptyList::Run>& runs, size_t i, int32_t s, int32_t k) {
  EmptyList::Run& r = runs[i];
  int64_t end = End(r);
  if (s == r.start) {
    r.start += k;
    r.length -= k;
    if (r.length == 0) runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
  r.length = s - r.start;
  int64_t tail = end - (int64_t{s} + k);
  if (tail > 0) {
    EmptyList::Run after{s + k, static_cast<int32_t>(tail)};
    runs.insert(runs.begin() + static_cast<std::ptrdiff_t>(i) + 1, after);
  }
}

}  // namespace

void EmptyList::Add(int32_t start, int32_t length) {
  if (length <= 0) return;
  runs_.insert(runs_.begin(), Run{start, length});
  needsSort_ = true;
}

void EmptyList::Insert(int32_t start, int32_t length) {
  if (length <= 0) return;
  if (needsSort_) {
    Add(start, length);
    return;
  }
  auto at = std::lower_bound(runs_.begin(), runs_.end(), start,
                             [](const Run& r, int32_t s) { return r.start < s; });
  // The insertion may move the runs: the position is taken after it.
  const auto placed = runs_.insert(at, Run{start, length});
  const size_t i = static_cast<size_t>(placed - runs_.begin());
  // Only the new run and its neighbours can touch: fold them as Merge does,
  // from the run before it on.
  size_t from = i > 0 ? i - 1 : 0;
  while (from + 1 < runs_.size()) {
    Run& node = runs_[from];
    const Run& next = runs_[from + 1];
    if (next.start <= End(node) && End(next) >= node.start) {
      const int64_t hi = std::max(End(node), End(next));
      node.length = static_cast<int32_t>(hi - node.start);
      runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(from) + 1);
    } else if (from >= i) {
      break;
    } else {
      ++from;
    }
  }
}

void EmptyList::Sort() {
  if (!needsSort_) return;
  // Stable: runs with equal starts keep their order, as the swapping walk
  // over the delta-coded list (which swaps only on a negative delta) would.
  //
  // Only the runs added at the front since the last sort are out of order;
  // behind them the list is still ascending. A few such runs are put in
  // place one by one, the last of them first, each before every run of an
  // equal start: the order a stable sort of the whole list gives.
  size_t sorted = runs_.size();
  while (sorted > 1 && runs_[sorted - 2].start < runs_[sorted - 1].start) --sorted;
  if (sorted > 0) --sorted;  // runs_[sorted..] ascend
  constexpr size_t kFewRuns = 8;
  if (sorted <= kFewRuns) {
    for (size_t k = sorted; k-- > 0;) {
      const Run r = runs_[k];
      auto at = std::lower_bound(runs_.begin() + static_cast<std::ptrdiff_t>(k) + 1, runs_.end(), r.start,
                                 [](const Run& x, int32_t s) { return x.start < s; });
      std::move(runs_.begin() + static_cast<std::ptrdiff_t>(k) + 1, at, runs_.begin() + static_cast<std::ptrdiff_t>(k));
      *(at - 1) = r;
    }
  } else {
    std::stable_sort(runs_.begin(), runs_.end(),
                     [](const Run& a, const Run& b) { return a.start < b.start; });
  }
  Merge();
  needsSort_ = false;
}

void EmptyList::Merge() {
  size_t i = 0;
  while (i + 1 < runs_.size()) {
    Run& node = runs_[i];
    const Run& next = runs_[i + 1];
    // Touching either way is the plain case: the next run starts where this
    // one ends, or ends where this one starts. Overlap is folded the same
    // way. The merged run takes this node's place and the walk stays on it.
    if (next.start <= End(node) && End(next) >= node.start) {
      int64_t lo = std::min(node.start, next.start);
      int64_t hi = std::max(End(node), End(next));
      node.start = static_cast<int32_t>(lo);
      node.length = static_cast<int32_t>(hi - lo);
      runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    } else {
      ++i;
    }
  }
}

int32_t EmptyList::Take(int32_t count, int32_t* obtained) {
  if (obtained) *obtained = 0;
  if (runs_.empty() || count <= 0) return -1;

  if (count == 1 && !obtained) {
    // A single unit skips the sort: it is the first unit of the front run.
    int32_t unit = runs_.front().start;
    CutFrom(runs_, 0, unit, 1);
    if (needsSort_) {
      // An unsorted list may hold the unit again further back.
      for (size_t i = 0; i < runs_.size();) {
        if (runs_[i].start <= unit && unit < End(runs_[i])) {
          CutFrom(runs_, i, unit, 1);  // run i no longer holds it; look again
        } else {
          ++i;
        }
      }
    }
    return unit;
  }

  Sort();
  size_t i = 0;
  while (runs_[i].length < count && i + 1 < runs_.size()) ++i;
  int32_t start = runs_[i].start;
  if (runs_[i].length >= count) {
    CutFrom(runs_, i, start, count);
    if (obtained) *obtained = count;
    return start;
  }
  if (!obtained) return -1;
  *obtained = runs_[i].length;
  runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(i));
  return start;
}

bool EmptyList::TakeAt(int32_t start, int32_t count) {
  Sort();
  if (count <= 0) return false;
  for (size_t i = 0; i < runs_.size(); ++i) {
    const Run& r = runs_[i];
    if (start < r.start) break;
    if (start < End(r)) {
      int64_t room = End(r) - start;
      bool whole = room >= count;
      CutFrom(runs_, i, start, whole ? count : static_cast<int32_t>(room));
      return whole;
    }
  }
  return false;
}

int32_t EmptyList::FreeRunLengthAt(int32_t unit) {
  Sort();
  for (const Run& r : runs_) {
    if (unit < r.start) break;
    if (unit < End(r)) return static_cast<int32_t>(End(r) - unit);
  }
  return 0;
}

int32_t EmptyList::FirstStart() const { return runs_.empty() ? -1 : runs_.front().start; }

void EmptyList::Shift(int32_t k) {
  for (Run& r : runs_) r.start -= k;
}

void EmptyList::Clear() {
  runs_.clear();
  needsSort_ = false;
}

}  // namespace vk
