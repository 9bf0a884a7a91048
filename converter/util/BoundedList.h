// TBoundedList: an ordered list of owned strings, oldest first, that never
// holds more than its capacity. Appending to a full list first drops the
// oldest entry, so the list always keeps the newest `capacity` strings.
// A capacity of 0 or less keeps nothing.
#pragma once
#include <deque>
#include <string>

namespace vk {

class TBoundedList {
 public:
  explicit TBoundedList(int capacity) : capacity_(capacity < 0 ? 0 : capacity) {}

  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  int Capacity() const { return capacity_; }
  // Index 0 is the oldest entry, Count() - 1 the newest.
  const std::string& Item(int index) const { return items_[static_cast<size_t>(index)]; }

  // Appends s as the newest entry.
  void Append(std::string s);
  // Makes the entry at index the newest; the others keep their order.
  void MoveToNewest(int index);
  void Remove(int index);

 private:
  int capacity_;
  std::deque<std::string> items_;
};

}  // namespace vk
