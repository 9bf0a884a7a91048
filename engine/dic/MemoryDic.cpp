#include "dic/MemoryDic.h"

#include <algorithm>
#include <new>

#include "dic/SearchCursor.h"
#include "file/ErrorCodes.h"
#include "format/BuildTraits.h"

namespace vk {

namespace {

// Flags of a search that starts at the first word: the headword field, or
// every entry.
constexpr int32_t kFromFirstWord = kFieldHeadword | kTypeAll;
// Where a search that starts nowhere stands: past any list.
constexpr int32_t kNowhere = 0x7FFFFFFF;

}  // namespace

template <class B>
TMemoryDic<B>::TMemoryDic() {
  try {
    words_.reserve(10);
  } catch (const std::bad_alloc&) {
    // The first record asks again and reports what it cannot have.
  }
}

template <class B>
size_t TMemoryDic<B>::LowerBound(const IString& word) const {
  return size_t(std::lower_bound(words_.begin(), words_.end(), word) - words_.begin());
}

template <class B>
int32_t TMemoryDic<B>::BSearchWord(const IChar* word) {
  if (words_.empty()) {
    cursor_ = -1;
    return 0;
  }
  const size_t at = word ? LowerBound(IString(word)) : 0;
  cursor_ = static_cast<int32_t>(at);
  return at < words_.size() ? 1 : 0;
}

template <class B>
const typename TMemoryDic<B>::IChar* TMemoryDic<B>::CursorWord() {
  if (cursor_ < 0 || size_t(cursor_) >= words_.size()) return &kNoText;
  return words_[size_t(cursor_)].c_str();
}

template <class B>
int32_t TMemoryDic<B>::StartSearch(const IChar* pattern, int32_t flags) {
  try {
    searchWord_ = pattern ? IString(pattern) : IString();
  } catch (const std::bad_alloc&) {
    searchWord_.clear();
  }
  searchFlags_ = flags;
  if (flags & kSearchPrefixFlag) {
    searchPos_ = static_cast<int32_t>(LowerBound(searchWord_));
    return searchPos_;
  }
  searchPos_ = (flags & kFromFirstWord) ? 0 : kNowhere;
  return flags;
}

template <class B>
int32_t TMemoryDic<B>::NextResult(Japa<B>*) {
  return kStepEnd;
}

template <class B>
int32_t TMemoryDic<B>::PrevResult(Japa<B>*) {
  return kStepEnd;
}

template <class B>
int32_t TMemoryDic<B>::RecordWord(const IChar* word, const Japa<B>&) {
  if (!word || !word[0]) return 0;
  try {
    IString w(word);
    const size_t at = LowerBound(w);
    if (!Holds(at, w)) words_.insert(words_.begin() + at, std::move(w));
  } catch (const std::bad_alloc&) {
    error_ = kErrNoMemory;
    return -1;
  }
  return 1;
}

template <class B>
int32_t TMemoryDic<B>::EraseWord(const IChar* word) {
  if (!word || !word[0]) return 0;
  // Compared in place: an erase makes no copy that could fail.
  auto at = std::lower_bound(words_.begin(), words_.end(), word,
                             [](const IString& held, const IChar* w) { return held.compare(w) < 0; });
  if (at != words_.end() && at->compare(word) == 0) words_.erase(at);
  return 1;
}

template <class B>
int32_t TMemoryDic<B>::RenameWord(const IChar* from, const IChar* to) {
  if (!from || !from[0] || !to || !to[0]) return 0;
  try {
    const IString old(from), next(to);
    size_t oldAt = LowerBound(old);
    if (!Holds(oldAt, old)) return 0;
    const size_t nextAt = LowerBound(next);
    if (Holds(nextAt, next)) return 0;
    // The new word goes in before the old one leaves, so that a failing
    // insertion leaves the list as it was.
    words_.insert(words_.begin() + nextAt, next);
    if (nextAt <= oldAt) ++oldAt;
    words_.erase(words_.begin() + oldAt);
  } catch (const std::bad_alloc&) {
    error_ = kErrNoMemory;
    return -1;
  }
  return 1;
}

// Only libVKCUB.so puts a memory list behind a handle.
template class TMemoryDic<TraitsVKCUB>;

}  // namespace vk
