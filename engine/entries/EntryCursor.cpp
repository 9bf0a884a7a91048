#include "entries/EntryCursor.h"

namespace vk {

namespace {

// Offset just past the zero unit of a text starting at `from`, or 0 when no
// zero unit lies before `end`.
template <class B>
size_t TailEnd(const uint8_t* block, size_t from, size_t end) {
  using L = EntryLayout<B>;
  for (size_t i = from; i + L::kUnitBytes <= end; i += L::kUnitBytes) {
    if (L::LoadUnit(block + i) == 0) return i + L::kUnitBytes;
  }
  return 0;
}

}  // namespace

template <class B>
WalkStatus ParseEntry(const uint8_t* block, size_t bytes, size_t offset, EntryView* v) {
  using L = EntryLayout<B>;
  if (offset == 0) offset = kFirstEntryOffset;
  *v = EntryView();
  v->offset = offset;
  v->next = offset;
  if (bytes < kFirstEntryOffset || offset < kFirstEntryOffset) return WalkStatus::kDamaged;
  const bool isLong = L::IsLongBlock(block);
  v->isLong = isLong;
  size_t header;
  uint64_t body;
  if (isLong) {
    if (offset > bytes || bytes - offset < kLongTerminatorBytes) return WalkStatus::kDamaged;
    body = LoadLE32(block + offset);
    if (body == 0) return WalkStatus::kEnd;
    if (offset != kFirstEntryOffset) return WalkStatus::kDamaged;  // one entry per long block
    header = kLongHeaderBytes;
  } else {
    if (offset > bytes || bytes - offset < kShortTerminatorBytes) return WalkStatus::kDamaged;
    body = LoadLE16(block + offset);
    if (body == 0) return WalkStatus::kEnd;
    header = kShortHeaderBytes;
  }
  if (uint64_t(bytes - offset) < header + body) return WalkStatus::kDamaged;
  const size_t end = offset + header + static_cast<size_t>(body);
  v->compression = block[offset + header - 2];
  v->attribute = block[offset + header - 1];
  if (isLong && v->compression != 0) return WalkStatus::kDamaged;
  v->tailOffset = offset + header;
  size_t tailEnd = TailEnd<B>(block, v->tailOffset, end);
  if (tailEnd == 0) return WalkStatus::kDamaged;
  v->tailUnits = (tailEnd - v->tailOffset) / L::kUnitBytes - 1;
  if (v->compression + v->tailUnits > kMaxWordUnits) return WalkStatus::kDamaged;
  v->fieldOffset = tailEnd;
  v->fieldLength = end - tailEnd;
  v->next = end;
  return WalkStatus::kEntry;
}

template <class B>
WalkStatus EntryCursor<B>::Enter(size_t offset, size_t prefixAvailable) {
  using L = EntryLayout<B>;
  status_ = ParseEntry<B>(block_, bytes_, offset, &view_);
  if (status_ != WalkStatus::kEntry) return status_;
  if (view_.compression > prefixAvailable) return status_ = WalkStatus::kDamaged;
  size_t at = view_.compression;
  const uint8_t* p = block_ + view_.tailOffset;
  for (size_t i = 0; i < view_.tailUnits; ++i, p += L::kUnitBytes) word_[at++] = L::LoadUnit(p);
  word_[at] = 0;
  wordLen_ = at;
  return status_;
}

template <class B>
WalkStatus EntryCursor<B>::First() {
  wordLen_ = 0;
  word_[0] = 0;
  return Enter(kFirstEntryOffset, 0);
}

template <class B>
WalkStatus EntryCursor<B>::Next() {
  if (status_ != WalkStatus::kEntry) return status_;
  return Enter(view_.next, wordLen_);
}

template <class B>
WalkStatus EntryCursor<B>::ResumeAt(size_t offset, const Unit* word, size_t len) {
  if (len > kMaxWordUnits) {
    view_ = EntryView();
    return status_ = WalkStatus::kDamaged;
  }
  for (size_t i = 0; i < len; ++i) word_[i] = word[i];
  word_[len] = 0;
  wordLen_ = len;
  return Enter(offset, len);
}

#define VK_ENTRY_CURSOR(B)                                                    \
  template WalkStatus ParseEntry<B>(const uint8_t*, size_t, size_t, EntryView*); \
  template class EntryCursor<B>;
VK_ENTRY_CURSOR(TraitsVKCU8L)
VK_ENTRY_CURSOR(TraitsVKCUB)
VK_ENTRY_CURSOR(TraitsVKCUL)
VK_ENTRY_CURSOR(TraitsVKC620)
#undef VK_ENTRY_CURSOR

}  // namespace vk
