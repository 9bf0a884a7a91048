// EmptyList: the free units of the data area, in memory, as runs.
//
// The list mirrors the on-disk chain of free units (a free unit holds a zero
// size word and the little-endian number of the next free unit). Runs are
// added at the front and the list is put in ascending order, with adjacent
// runs merged, only when an operation needs order. Which run an unsorted
// list hands out first is part of the file format's behaviour: a one-unit
// request takes the first unit of the front run without sorting.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vk {

class EmptyList {
 public:
  struct Run {
    int32_t start;
    int32_t length;
  };

  // Adds a run at the front; a length of 0 is ignored. Marks the list unsorted.
  void Add(int32_t start, int32_t length);
  // Adds a run in its place in a list that is in order, merged with the runs
  // it touches, so the list stays in order; on a list marked unsorted the
  // same as Add. For callers that free units one block at a time and need
  // the order after each.
  void Insert(int32_t start, int32_t length);
  // Takes `count` units, first fit, cutting them from the front of a run.
  // Answers the first unit taken, or -1. When `obtained` is given and no run
  // is long enough, the last run is taken whole and its length reported
  // through `obtained`; otherwise `obtained` receives `count`.
  int32_t Take(int32_t count, int32_t* obtained = nullptr);
  // Takes the `count` units at `start` out of the run that holds them,
  // splitting it when the cut lies inside. False when `start` is not free.
  bool TakeAt(int32_t start, int32_t count);
  // Units free from `unit` to the end of its run, or 0 when it is not free.
  int32_t FreeRunLengthAt(int32_t unit);
  // Puts the runs in ascending order and merges neighbours (only when marked).
  void Sort();
  // One merging walk over the list in its current order.
  void Merge();
  // Compaction closes a gap (a free run) when the used units up to the next
  // free run number at most kCloseRatio times the gap's length.
  static constexpr int64_t kCloseRatio = 20;
  // Start of the lowest such run after Sort, or -1 when there is none. The
  // list keeps these runs as it changes, so this costs no walk.
  int32_t FirstCloseGap();
  // Start of the front run (the lowest after Sort), or -1 when empty.
  int32_t FirstStart() const;
  // Every run's start drops by k (the data area now starts k units later).
  void Shift(int32_t k);
  void Clear();

  bool IsEmpty() const { return added_.empty() && sorted_.empty(); }
  bool NeedsSort() const { return needsSort_; }
  // Runs in list order (front first), copied.
  std::vector<Run> Runs() const;
  // The runs after Sort, ascending: no copy.
  const std::vector<Run>& SortedRuns() {
    Sort();
    return sorted_;
  }

 private:
  // The list is added_ from its back to its front, then sorted_: Add is a
  // push at the back of added_, and sorted_ keeps the invariant below.
  std::vector<Run> added_;
  std::vector<Run> sorted_;
  bool needsSort_ = false;

  // Starts of the runs of sorted_ that compaction would close, ascending.
  std::vector<int32_t> close_;

  void InsertSorted(Run r);
  void CutSorted(size_t i, int32_t s, int32_t k);
  // Every change of sorted_ goes through these, which keep close_.
  void InsertAt(size_t i, Run r);
  void EraseAt(size_t i);
  void SetAt(size_t i, Run r);
  bool Closes(size_t i) const;
  void Mark(size_t i);
  void Unmark(size_t i);
  void RebuildClose();
};

}  // namespace vk
