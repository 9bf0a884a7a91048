// The list is kept in two vectors with absolute starts: added_, the runs
// added since the last sort, the most recent (the list's front) at its back,
// and sorted_, the rest of the list. The on-disk structure's signed deltas
// are implied by neighbouring starts, so reordering and merging keep every
// start without bookkeeping.
//
// Invariant: sorted_ is ascending, and no two of its runs touch or overlap;
// close_ holds the start of every run of sorted_ that Closes, and no other.
// While the list is not marked for sorting, added_ is empty. Add is the only
// operation that marks the list; Sort clears the mark and leaves every run
// in sorted_.
//
// Sorting needs no order among the runs it puts in: a sorted list whose
// neighbours never touch is the one way of writing a set of units as runs,
// so a stable sort with a merging walk (what the delta-coded list on disk
// does) and putting each new run in its place, merged with what it touches,
// end in the same runs.
//
// Overlapping runs (a unit freed twice) are folded into one run wherever two
// runs meet in a merge, so a unit is never handed out twice. The one path
// that takes units without sorting (a single unit off the front run) removes
// the unit from any other run that also holds it.
#include "blocks/EmptyList.h"

#include <algorithm>

namespace vk {

namespace {

int64_t End(const EmptyList::Run& r) { return int64_t{r.start} + r.length; }

bool Meet(const EmptyList::Run& a, const EmptyList::Run& b) { return b.start <= End(a) && End(b) >= a.start; }

// The index of the run of an ascending, non-touching list that holds unit u,
// or runs.size().
size_t HolderOf(const std::vector<EmptyList::Run>& runs, int32_t u) {
  auto after = std::upper_bound(runs.begin(), runs.end(), u, [](int32_t x, const EmptyList::Run& r) { return x < r.start; });
  if (after == runs.begin()) return runs.size();
  const size_t i = static_cast<size_t>(after - runs.begin()) - 1;
  return u < End(runs[i]) ? i : runs.size();
}

// Cuts [s, s + k) out of a run of added_, which holds all of it; the rest
// after the cut stays behind the rest before it in list order, so it goes in
// front of it in the vector.
void CutAdded(std::vector<EmptyList::Run>& runs, size_t i, int32_t s, int32_t k) {
  EmptyList::Run& r = runs[i];
  const int64_t end = End(r);
  if (s == r.start) {
    r.start += k;
    r.length -= k;
    if (r.length == 0) runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
  r.length = s - r.start;
  const int64_t tail = end - (int64_t{s} + k);
  if (tail > 0) runs.insert(runs.begin() + static_cast<std::ptrdiff_t>(i), EmptyList::Run{s + k, static_cast<int32_t>(tail)});
}

}  // namespace

void EmptyList::CutSorted(size_t i, int32_t s, int32_t k) {
  const Run r = sorted_[i];
  const int64_t end = End(r);
  if (s == r.start) {
    if (r.length == k) {
      EraseAt(i);
    } else {
      SetAt(i, Run{r.start + k, r.length - k});
    }
    return;
  }
  SetAt(i, Run{r.start, s - r.start});
  const int64_t tail = end - (int64_t{s} + k);
  if (tail > 0) InsertAt(i + 1, Run{s + k, static_cast<int32_t>(tail)});
}

bool EmptyList::Closes(size_t i) const {
  if (i + 1 >= sorted_.size()) return false;
  const Run& gap = sorted_[i];
  return kCloseRatio * gap.length >= int64_t{sorted_[i + 1].start} - End(gap);
}

void EmptyList::Mark(size_t i) {
  if (!Closes(i)) return;
  const int32_t s = sorted_[i].start;
  auto at = std::lower_bound(close_.begin(), close_.end(), s);
  if (at == close_.end() || *at != s) close_.insert(at, s);
}

void EmptyList::Unmark(size_t i) {
  if (i >= sorted_.size()) return;
  const int32_t s = sorted_[i].start;
  auto at = std::lower_bound(close_.begin(), close_.end(), s);
  if (at != close_.end() && *at == s) close_.erase(at);
}

void EmptyList::InsertAt(size_t i, Run r) {
  // The new run's predecessor now has another successor.
  if (i > 0) Unmark(i - 1);
  sorted_.insert(sorted_.begin() + static_cast<std::ptrdiff_t>(i), r);
  if (i > 0) Mark(i - 1);
  Mark(i);
}

void EmptyList::EraseAt(size_t i) {
  if (i > 0) Unmark(i - 1);
  Unmark(i);
  sorted_.erase(sorted_.begin() + static_cast<std::ptrdiff_t>(i));
  if (i > 0) Mark(i - 1);
}

void EmptyList::SetAt(size_t i, Run r) {
  if (i > 0) Unmark(i - 1);
  Unmark(i);
  sorted_[i] = r;
  if (i > 0) Mark(i - 1);
  Mark(i);
}

void EmptyList::RebuildClose() {
  close_.clear();
  for (size_t i = 0; i + 1 < sorted_.size(); ++i)
    if (Closes(i)) close_.push_back(sorted_[i].start);
}

int32_t EmptyList::FirstCloseGap() {
  Sort();
  return close_.empty() ? -1 : close_.front();
}

void EmptyList::Add(int32_t start, int32_t length) {
  if (length <= 0) return;
  added_.push_back(Run{start, length});
  needsSort_ = true;
}

void EmptyList::Insert(int32_t start, int32_t length) {
  if (length <= 0) return;
  if (needsSort_) {
    Add(start, length);
    return;
  }
  InsertSorted(Run{start, length});
}

void EmptyList::InsertSorted(Run r) {
  auto at = std::lower_bound(sorted_.begin(), sorted_.end(), r.start, [](const Run& x, int32_t s) { return x.start < s; });
  const size_t i = static_cast<size_t>(at - sorted_.begin());
  InsertAt(i, r);
  // Only the new run and its neighbours can touch: fold them from the run
  // before it on.
  size_t from = i > 0 ? i - 1 : 0;
  while (from + 1 < sorted_.size()) {
    const Run node = sorted_[from];
    const Run next = sorted_[from + 1];
    if (Meet(node, next)) {
      const int64_t hi = std::max(End(node), End(next));
      EraseAt(from + 1);
      SetAt(from, Run{node.start, static_cast<int32_t>(hi - node.start)});
    } else if (from >= i) {
      break;
    } else {
      ++from;
    }
  }
}

void EmptyList::Sort() {
  if (!needsSort_) return;
  // A few new runs go in one by one; many are sorted and merged with the
  // rest in one pass.
  constexpr size_t kFewRuns = 16;
  if (added_.size() <= kFewRuns) {
    for (const Run& r : added_) InsertSorted(r);
  } else {
    std::sort(added_.begin(), added_.end(), [](const Run& a, const Run& b) { return a.start < b.start; });
    std::vector<Run> all;
    all.reserve(added_.size() + sorted_.size());
    std::merge(added_.begin(), added_.end(), sorted_.begin(), sorted_.end(), std::back_inserter(all),
               [](const Run& a, const Run& b) { return a.start < b.start; });
    sorted_.clear();
    for (const Run& r : all) {
      if (!sorted_.empty() && Meet(sorted_.back(), r)) {
        Run& m = sorted_.back();
        m.length = static_cast<int32_t>(std::max(End(m), End(r)) - m.start);
      } else {
        sorted_.push_back(r);
      }
    }
    RebuildClose();
  }
  added_.clear();
  needsSort_ = false;
}

void EmptyList::Merge() {
  // Sorted, the list has nothing a merging walk would change.
  if (!needsSort_) return;
  std::vector<Run> list = Runs();
  size_t i = 0;
  while (i + 1 < list.size()) {
    Run& node = list[i];
    const Run& next = list[i + 1];
    // Touching either way is the plain case: the next run starts where this
    // one ends, or ends where this one starts. Overlap is folded the same
    // way. The merged run takes this node's place and the walk stays on it.
    if (Meet(node, next)) {
      const int64_t lo = std::min(node.start, next.start);
      const int64_t hi = std::max(End(node), End(next));
      node.start = static_cast<int32_t>(lo);
      node.length = static_cast<int32_t>(hi - lo);
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    } else {
      ++i;
    }
  }
  // The walked list, still marked for sorting, is all new runs.
  std::reverse(list.begin(), list.end());
  added_.swap(list);
  sorted_.clear();
  close_.clear();
}

std::vector<EmptyList::Run> EmptyList::Runs() const {
  std::vector<Run> list(added_.rbegin(), added_.rend());
  list.insert(list.end(), sorted_.begin(), sorted_.end());
  return list;
}

int32_t EmptyList::Take(int32_t count, int32_t* obtained) {
  if (obtained) *obtained = 0;
  if (IsEmpty() || count <= 0) return -1;

  if (count == 1 && !obtained) {
    // A single unit skips the sort: it is the first unit of the front run.
    int32_t unit;
    if (!added_.empty()) {
      unit = added_.back().start;
      CutAdded(added_, added_.size() - 1, unit, 1);
    } else {
      unit = sorted_.front().start;
      CutSorted(0, unit, 1);
    }
    if (needsSort_) {
      // An unsorted list may hold the unit again further back.
      for (size_t i = added_.size(); i-- > 0;) {
        if (added_[i].start <= unit && unit < End(added_[i])) CutAdded(added_, i, unit, 1);
      }
      const size_t h = HolderOf(sorted_, unit);
      if (h < sorted_.size()) CutSorted(h, unit, 1);
    }
    return unit;
  }

  Sort();
  size_t i = 0;
  while (sorted_[i].length < count && i + 1 < sorted_.size()) ++i;
  const int32_t start = sorted_[i].start;
  if (sorted_[i].length >= count) {
    CutSorted(i, start, count);
    if (obtained) *obtained = count;
    return start;
  }
  if (!obtained) return -1;
  *obtained = sorted_[i].length;
  EraseAt(i);
  return start;
}

bool EmptyList::TakeAt(int32_t start, int32_t count) {
  Sort();
  if (count <= 0) return false;
  const size_t i = HolderOf(sorted_, start);
  if (i == sorted_.size()) return false;
  const int64_t room = End(sorted_[i]) - start;
  const bool whole = room >= count;
  CutSorted(i, start, whole ? count : static_cast<int32_t>(room));
  return whole;
}

int32_t EmptyList::FreeRunLengthAt(int32_t unit) {
  Sort();
  const size_t i = HolderOf(sorted_, unit);
  return i == sorted_.size() ? 0 : static_cast<int32_t>(End(sorted_[i]) - unit);
}

int32_t EmptyList::FirstStart() const {
  if (!added_.empty()) return added_.back().start;
  return sorted_.empty() ? -1 : sorted_.front().start;
}

void EmptyList::Shift(int32_t k) {
  for (Run& r : added_) r.start -= k;
  for (Run& r : sorted_) r.start -= k;
  for (int32_t& s : close_) s -= k;
}

void EmptyList::Clear() {
  added_.clear();
  sorted_.clear();
  close_.clear();
  needsSort_ = false;
}

}  // namespace vk
