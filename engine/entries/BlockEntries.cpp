#include "entries/BlockEntries.h"

#include <algorithm>

#include "text/Collation.h"

namespace vk {

template <class B>
int64_t BlockEntries<B>::Count(const uint8_t* block, size_t bytes) {
  EntryCursor<B> c(block, bytes);
  int64_t n = 0;
  for (WalkStatus s = c.First(); s == WalkStatus::kEntry; s = c.Next()) ++n;
  return c.status() == WalkStatus::kEnd ? n : -1;
}

template <class B>
Found BlockEntries<B>::Locate(const uint8_t* block, size_t bytes, const Unit* key, BlockPosition<B>* pos) {
  EntryCursor<B> c(block, bytes);
  pos->offset = kFirstEntryOffset;
  pos->before.clear();
  pos->at.clear();
  const bool isLong = bytes >= kFirstEntryOffset && EntryLayout<B>::IsLongBlock(block);
  // The previous headword, kept aside because the cursor rebuilds in place.
  Unit prev[kWordBufferUnits];
  size_t prevLen = 0;
  prev[0] = 0;
  for (WalkStatus s = c.First(); s == WalkStatus::kEntry; s = c.Next()) {
    int cmp = isLong ? CompareWordsUpTo(key, c.word(), kMaxWordUnits) : CompareWords(key, c.word());
    if (cmp <= 0) {
      pos->offset = c.offset();
      pos->before.assign(prev, prevLen);
      pos->at.assign(c.word(), c.wordLength());
      return Found::kYes;
    }
    std::copy(c.word(), c.word() + c.wordLength() + 1, prev);
    prevLen = c.wordLength();
  }
  if (c.status() == WalkStatus::kDamaged) return Found::kDamaged;
  pos->offset = c.offset();
  pos->before.assign(prev, prevLen);
  return Found::kNo;
}

template <class B>
Found BlockEntries<B>::Previous(const uint8_t* block, size_t bytes, size_t offset, size_t* prevOffset, Word* word) {
  if (offset == 0) offset = kFirstEntryOffset;
  EntryCursor<B> c(block, bytes);
  WalkStatus s = c.First();
  if (offset == kFirstEntryOffset) return s == WalkStatus::kDamaged ? Found::kDamaged : Found::kNo;
  for (; s == WalkStatus::kEntry; s = c.Next()) {
    if (c.entry().next == offset) {
      *prevOffset = c.offset();
      word->assign(c.word(), c.wordLength());
      return Found::kYes;
    }
    if (c.entry().next > offset) break;
  }
  return Found::kDamaged;
}

template <class B>
Found BlockEntries<B>::Last(const uint8_t* block, size_t bytes, size_t* offset, Word* word) {
  EntryCursor<B> c(block, bytes);
  bool any = false;
  size_t last = kFirstEntryOffset;
  for (WalkStatus s = c.First(); s == WalkStatus::kEntry; s = c.Next()) {
    any = true;
    last = c.offset();
  }
  if (c.status() == WalkStatus::kDamaged) return Found::kDamaged;
  if (!any) return Found::kNo;
  *offset = last;
  // At the end the cursor still holds the last headword.
  word->assign(c.word(), c.wordLength());
  return Found::kYes;
}

template class BlockEntries<TraitsVKCU8L>;
template class BlockEntries<TraitsVKCUB>;
template class BlockEntries<TraitsVKCUL>;
template class BlockEntries<TraitsVKC620>;

}  // namespace vk
