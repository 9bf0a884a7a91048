// TRecentList: recently used paths, oldest first, at most `capacity` of them.
//
// Adding a path that is already listed (compared exactly, or ignoring case
// when the list was made so) does not store the new string: the listed entry
// moves to the newest position and keeps the spelling it was first stored
// with. A new path goes in as the newest; when the list is full the oldest
// entry makes room for it.
#pragma once
#include <string>

#include "util/BoundedList.h"

namespace vk {

class TRecentList {
 public:
  TRecentList(int capacity, bool ignoreCase) : list_(capacity), ignoreCase_(ignoreCase) {}

  void Clear() { list_.Clear(); }
  void Add(const std::string& path);
  int Count() const { return list_.Count(); }
  // Index 0 is the oldest entry.
  const std::string& Item(int index) const { return list_.Item(index); }
  int IndexOf(const std::string& path) const;

 private:
  TBoundedList list_;
  bool ignoreCase_;
};

}  // namespace vk
