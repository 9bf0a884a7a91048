#include "util/BoundedList.h"

#include <utility>

namespace vk {

void TBoundedList::Append(std::string s) {
  if (capacity_ == 0) return;
  while (Count() >= capacity_) items_.pop_front();
  items_.push_back(std::move(s));
}

void TBoundedList::MoveToNewest(int index) {
  if (index < 0 || index >= Count()) return;
  auto it = items_.begin() + index;
  std::string s = std::move(*it);
  items_.erase(it);
  items_.push_back(std::move(s));
}

void TBoundedList::Remove(int index) {
  if (index < 0 || index >= Count()) return;
  items_.erase(items_.begin() + index);
}

}  // namespace vk
