#include "util/RecentList.h"

#include "util/NoCase.h"

namespace vk {

int TRecentList::IndexOf(const std::string& path) const {
  for (int i = 0; i < list_.Count(); ++i) {
    const std::string& item = list_.Item(i);
    if (ignoreCase_ ? EqualNoCase(item, path) : item == path) return i;
  }
  return -1;
}

void TRecentList::Add(const std::string& path) {
  int at = IndexOf(path);
  if (at >= 0) {
    list_.MoveToNewest(at);
  } else {
    list_.Append(path);
  }
}

}  // namespace vk
