#include "support/BlockBuilder.h"

#include <cstring>

#include "entries/EntryCursor.h"
#include "text/Collation.h"

namespace vk {

template <class B>
BlockBuilder<B>::BlockBuilder(uint8_t* block, size_t bytes, Start start) : block_(block), bytes_(bytes) {
  prev_[0] = 0;
  if (bytes_ < kFirstEntryOffset + kShortTerminatorBytes) {
    ok_ = false;  // no room even for the terminator
  } else if (start == Start::kEmpty) {
    Clear(false);
  } else {
    ok_ = Adopt();
  }
}

template <class B>
void BlockBuilder<B>::Clear(bool longBlock) {
  uint16_t word = static_cast<uint16_t>(LoadLE16(block_) & ~kLongEntryFlag);
  if (longBlock) word |= kLongEntryFlag;
  StoreLE16(block_, word);
  std::memset(block_ + kFirstEntryOffset, 0, bytes_ - kFirstEntryOffset);
  end_ = last_ = kFirstEntryOffset;
  count_ = 0;
  long_ = longBlock;
  prev_[0] = 0;
  prevLen_ = 0;
}

template <class B>
bool BlockBuilder<B>::Adopt() {
  if (EntryLayout<B>::IsLongBlock(block_)) return false;
  EntryCursor<B> c(block_, bytes_);
  int64_t n = 0;
  size_t last = kFirstEntryOffset;
  for (WalkStatus s = c.First(); s == WalkStatus::kEntry; s = c.Next()) {
    ++n;
    last = c.offset();
  }
  if (c.status() != WalkStatus::kEnd) return false;
  end_ = c.offset();
  last_ = last;
  count_ = n;
  long_ = false;
  std::memcpy(prev_, c.word(), (c.wordLength() + 1) * sizeof(Unit));
  prevLen_ = c.wordLength();
  return true;
}

template <class B>
bool BlockBuilder<B>::Add(const Unit* word, size_t len, uint8_t attribute, const uint8_t* area, size_t areaLen) {
  using L = EntryLayout<B>;
  if (!ok_ || long_ || len > kMaxWordUnits) return false;
  Unit w[kWordBufferUnits];
  std::memcpy(w, word, len * sizeof(Unit));
  w[len] = 0;
  if (UnitLength(w) != len) return false;  // a zero inside the word
  if (count_ > 0 && CompareWords(prev_, w) >= 0) return false;
  const size_t shared = count_ > 0 ? CommonPrefixLength(prev_, w) : 0;
  const size_t tail = len - shared;
  const uint64_t body = L::ShortBody(tail, areaLen);
  if (body > kMaxShortBody) return false;
  if (kShortHeaderBytes + body > FreeBytes()) return false;

  uint8_t* p = block_ + end_;
  StoreLE16(p, static_cast<uint16_t>(body));
  p[2] = static_cast<uint8_t>(shared);
  p[3] = attribute;
  p += kShortHeaderBytes;
  for (size_t i = shared; i <= len; ++i, p += L::kUnitBytes) L::StoreUnit(p, w[i]);
  if (areaLen) std::memcpy(p, area, areaLen);
  last_ = end_;
  end_ += kShortHeaderBytes + static_cast<size_t>(body);
  StoreLE16(block_ + end_, 0);
  ++count_;
  std::memcpy(prev_, w, (len + 1) * sizeof(Unit));
  prevLen_ = len;
  return true;
}

template <class B>
bool BlockBuilder<B>::SetLong(const Unit* word, size_t len, uint8_t attribute, const uint8_t* area, size_t areaLen) {
  using L = EntryLayout<B>;
  if (!ok_ || !B::kLongEntries || len > kMaxWordUnits) return false;
  for (size_t i = 0; i < len; ++i)
    if (word[i] == 0) return false;
  const uint64_t body = L::LongBody(len, areaLen);
  if (L::LongBlockBytes(len, areaLen) > bytes_ || body > UINT32_MAX) return false;
  Clear(true);
  uint8_t* p = block_ + kFirstEntryOffset;
  StoreLE32(p, static_cast<uint32_t>(body));
  p[4] = 0;
  p[5] = attribute;
  p += kLongHeaderBytes;
  for (size_t i = 0; i < len; ++i, p += L::kUnitBytes) L::StoreUnit(p, word[i]);
  L::StoreUnit(p, 0);
  p += L::kUnitBytes;
  if (areaLen) std::memcpy(p, area, areaLen);
  last_ = kFirstEntryOffset;
  end_ = kFirstEntryOffset + kLongHeaderBytes + static_cast<size_t>(body);
  count_ = 1;
  std::memcpy(prev_, word, len * sizeof(Unit));
  prev_[len] = 0;
  prevLen_ = len;
  return true;
}

template class BlockBuilder<TraitsVKCU8L>;
template class BlockBuilder<TraitsVKCUB>;
template class BlockBuilder<TraitsVKCUL>;
template class BlockBuilder<TraitsVKC620>;

}  // namespace vk
