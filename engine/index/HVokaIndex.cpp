#include "index/HVokaIndex.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "file/ErrorCodes.h"
#include "format/ByteOrder.h"
#include "text/Collation.h"

namespace vk {

namespace {

// A header index_count outside (0, kMaxInitialCapacity] is not believed.
constexpr int32_t kMaxInitialCapacity = 0x7FFF00;
constexpr int32_t kDefaultCapacity = 256;
constexpr int32_t kMaxNarrowBlock = 0xFFFF;
constexpr int64_t kMarkerBytes = 4;

int32_t ClampToInt32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

template <class B>
HVokaIndex<B>::HVokaIndex(FileBuf* file, int32_t* errorCell) : file_(file), errorCell_(errorCell) {
  Fail(kErrNone);
}

template <class B>
int HVokaIndex<B>::SetUp(int64_t areaOffset, int32_t areaSize, int32_t indexCount, bool wideForm,
                         int32_t blockSize) {
  areaOffset_ = areaOffset;
  areaSize_ = areaSize;
  blockSize_ = blockSize;
  wideForm_ = wideForm;
  capacity_ = (indexCount <= 0 || indexCount > kMaxInitialCapacity) ? kDefaultCapacity : indexCount;
  entries_.clear();
  used_ = 0;
  changed_ = false;
  // A negative area size only comes from negative header fields; nothing
  // sensible can be read from or written to such an area.
  if (areaSize < 0 || Load() < 0) {
    entries_.release();
    areaSize_ = std::max<int32_t>(areaSize_, 0);
    used_ = 0;
    capacity_ = 0;
    Fail(kErrIndexMemory);
    return -1;
  }
  return 0;
}

template <class B>
int HVokaIndex<B>::ReadArea(std::vector<uint8_t>* buf) {
  if (areaSize_ <= 0) return file_->Seek(areaOffset_) < 0 ? -1 : 0;
  // The header's area size is not trusted: read only what the file holds.
  // Size() moves the position, so it comes before the seek.
  int64_t fileSize = file_->Size();
  if (fileSize < 0 || file_->Seek(areaOffset_) < 0) return -1;
  int64_t avail = fileSize - areaOffset_;
  if (avail <= 0) return 0;
  size_t n = static_cast<size_t>(std::min<int64_t>(areaSize_, avail));
  try {
    buf->resize(n);
  } catch (const std::bad_alloc&) {
    Fail(kErrIndexMemory);
    return -1;
  }
  int32_t got = file_->Read(buf->data(), static_cast<uint32_t>(n));
  if (got < 0) return -1;
  buf->resize(static_cast<size_t>(got));
  return 0;
}

template <class B>
int HVokaIndex<B>::Load() {
  entries_.clear();
  used_ = 0;
  std::vector<uint8_t> buf;
  if (ReadArea(&buf) < 0) return -1;
  try {
    if constexpr (kByteBuild) {
      ParseByteForm(buf.data(), buf.size(), B::kWideIndexForm && wideForm_);
    } else {
      ParseUnitForm(buf.data(), buf.size());
    }
  } catch (const std::bad_alloc&) {
    entries_.clear();
    used_ = 0;
    Fail(kErrIndexMemory);
    return -1;
  }
  return Count();
}

// Byte builds: the capacity bounds the list (it comes from index_count,
// which the header update sets to the number of entries saved). An entry
// whose headword has no terminator inside the area ends the list.
template <class B>
int HVokaIndex<B>::ParseByteForm(const uint8_t* p, size_t n, bool wide) {
  const size_t head = wide ? 4 : 2;
  int64_t used = 0;
  if (n > head) {
    size_t pos = 0;
    while (pos + head < n) {
      const uint8_t* w = p + pos + head;
      if (*w == 0 || Count() >= capacity_) break;
      const void* z = std::memchr(w, 0, n - pos - head);
      if (z == nullptr) break;
      size_t len = static_cast<size_t>(static_cast<const uint8_t*>(z) - w);
      int32_t block = wide ? static_cast<int32_t>(LoadLE32(p + pos))
                           : static_cast<int32_t>(LoadLE16(p + pos));
      entries_.push_back(block, IndexWord::Make(reinterpret_cast<const Unit*>(w), len));
      used += static_cast<int64_t>(len + head + 1);
      pos += len + head + 1;
    }
    // The narrow form stores 2 bytes less per entry than it is accounted at.
    if (!wide) used += 2 * static_cast<int64_t>(Count());
  }
  used_ = ClampToInt32(used);
  return Count();
}

// 16-bit builds: the list grows past the capacity; an entry ends it when its
// headword is empty, runs past the data read, or would fill the area.
template <class B>
int HVokaIndex<B>::ParseUnitForm(const uint8_t* p, size_t n) {
  constexpr Endian kOrder = B::kFileOrder;
  int64_t used = 0;
  size_t pos = 0;
  while (pos + 2 <= n) {
    int32_t block = Load16<kOrder>(p + pos);
    size_t q = pos + 2;
    while (q + 2 <= n && Load16<kOrder>(p + q) != 0) q += 2;
    if (q + 2 > n) break;
    size_t len = (q - pos - 2) / 2;
    if (len == 0) break;
    if (used + EntrySize(len) >= areaSize_) break;
    WordString word(len, Unit(0));
    for (size_t i = 0; i < len; ++i) word[i] = static_cast<Unit>(Load16<kOrder>(p + pos + 2 + 2 * i));
    int32_t capacity = capacity_;
    if (Count() >= capacity) capacity += kGrowth;
    entries_.push_back(block, IndexWord::Make(word.data(), word.size()));
    capacity_ = capacity;
    used += 2 * static_cast<int64_t>(len) + 4;
    pos = q + 2;
  }
  used += 2 * static_cast<int64_t>(Count());
  used_ = ClampToInt32(used);
  return Count();
}

template <class B>
void HVokaIndex<B>::Serialize(bool wide, std::vector<uint8_t>* out) const {
  entries_.forEach([&](size_t, int32_t block, const IndexWord& word) {
    size_t at = out->size();
    if constexpr (kByteBuild) {
      size_t head = wide ? 4 : 2;
      out->resize(at + head + word.size() + 1);
      uint8_t* d = out->data() + at;
      if (wide) {
        StoreLE32(d, static_cast<uint32_t>(block));
      } else {
        StoreLE16(d, static_cast<uint16_t>(block));
      }
      std::memcpy(d + head, word.data(), word.size());
      d[head + word.size()] = 0;
    } else {
      out->resize(at + 2 + 2 * word.size() + 2);
      uint8_t* d = out->data() + at;
      Store16<B::kFileOrder>(d, static_cast<uint16_t>(block));
      for (size_t k = 0; k < word.size(); ++k) {
        Store16<B::kFileOrder>(d + 2 + 2 * k, static_cast<uint16_t>(word[k]));
      }
      Store16<B::kFileOrder>(d + 2 + 2 * word.size(), 0);
    }
  });
}

template <class B>
int HVokaIndex<B>::Save() {
  if (file_->Seek(areaOffset_) < 0) return -1;
  const bool wide = kByteBuild && B::kWideIndexForm && WideNeeded();
  std::vector<uint8_t> out;
  try {
    Serialize(wide, &out);
    // Entries are never written past the area into the data area. Only an
    // index loaded from a tightly packed narrow area and then forced into the
    // wide form can get here; refusing keeps the data blocks intact.
    if (static_cast<int64_t>(out.size()) > areaSize_) {
      Fail(kErrDictionaryFull);
      return -1;
    }
    if (areaSize_ != 0 && used_ < areaSize_) {
      out.resize(out.size() + static_cast<size_t>(std::min<int64_t>(
                                  static_cast<int64_t>(areaSize_) - used_, kMarkerBytes)),
                 0);
    }
  } catch (const std::bad_alloc&) {
    Fail(kErrIndexMemory);
    return -1;
  }
  if (!out.empty() && file_->Write(out.data(), static_cast<uint32_t>(out.size())) < 0) return -1;
  wideForm_ = wide;
  changed_ = false;
  return 0;
}

template <class B>
int32_t HVokaIndex<B>::Find(const Unit* key) const {
  return static_cast<int32_t>(entries_.search(key));
}

template <class B>
int32_t HVokaIndex<B>::FindBlock(int32_t blockNumber) const {
  return static_cast<int32_t>(entries_.findBlock(blockNumber));
}

template <class B>
int HVokaIndex<B>::FindBlocks(int32_t from, int32_t to, std::vector<std::pair<int32_t, int32_t>>* out) const {
  out->clear();
  try {
    entries_.blocksIn(from, to, out);
  } catch (const std::bad_alloc&) {
    Fail(kErrIndexMemory);
    return -1;
  }
  std::sort(out->begin(), out->end());
  return 0;
}

template <class B>
int HVokaIndex<B>::Insert(int32_t pos, int32_t blockNumber, const Unit* word) {
  if (pos < 0 || pos > Count()) {
    Fail(kErrDamaged);
    return -1;
  }
  size_t len = UnitLength(word);
  int64_t size = EntrySize(len);
  if (used_ + size >= areaSize_) {
    Fail(kErrDictionaryFull);
    return -1;
  }
  int32_t capacity = capacity_;
  if (Count() >= capacity) capacity += kGrowth;
  try {
    entries_.insert(static_cast<size_t>(pos), blockNumber, IndexWord::Make(word, len));
  } catch (const std::bad_alloc&) {
    Fail(kErrIndexMemory);
    return -1;
  }
  capacity_ = capacity;
  used_ = static_cast<int32_t>(used_ + size);
  changed_ = true;
  return 0;
}

template <class B>
int HVokaIndex<B>::Remove(int32_t pos) {
  if (!ValidPos(pos)) {
    Fail(kErrDamaged);
    return -1;
  }
  used_ = ClampToInt32(used_ - EntrySize(entries_.word(pos).size()));
  entries_.erase(static_cast<size_t>(pos));
  // Shrinks in steps of 256 slots, but a capacity taken from index_count
  // need not be a multiple of 256: never below 256 by shrinking.
  if (Count() < capacity_ - kGrowth && capacity_ > kDefaultCapacity) {
    capacity_ = std::max(capacity_ - kGrowth, kDefaultCapacity);
  }
  changed_ = true;
  return 0;
}

template <class B>
int HVokaIndex<B>::Rename(int32_t pos, const Unit* word) {
  if (!ValidPos(pos)) {
    Fail(kErrDamaged);
    return -1;
  }
  size_t len = UnitLength(word);
  int64_t delta = EntrySize(len) - EntrySize(entries_.word(pos).size());
  if (used_ + delta >= areaSize_) {
    Fail(kErrDictionaryFull);
    return -1;
  }
  try {
    entries_.replaceWord(pos, IndexWord::Make(word, len));
  } catch (const std::bad_alloc&) {
    Fail(kErrIndexMemory);
    return -1;
  }
  used_ = static_cast<int32_t>(used_ + delta);
  changed_ = true;
  return 0;
}

template <class B>
void HVokaIndex<B>::Shift(int32_t k) {
  if (k == 0) return;
  areaSize_ = ClampToInt32(static_cast<int64_t>(areaSize_) + static_cast<int64_t>(k) * blockSize_);
  entries_.shiftBlocks(k);
  changed_ = true;
}

template <class B>
int32_t HVokaIndex<B>::FreeRoom() const {
  int64_t room = static_cast<int64_t>(areaSize_) - used_ - IndexEntryOverhead<B>();
  return room < 0 ? 0 : static_cast<int32_t>(room);
}

template <class B>
bool HVokaIndex<B>::WideNeeded() const {
  return entries_.anyBlockAbove(kMaxNarrowBlock);
}

template <class B>
int32_t HVokaIndex<B>::BlockNumber(int32_t pos) const {
  return ValidPos(pos) ? entries_.block(pos) : -1;
}

template <class B>
void HVokaIndex<B>::SetBlockNumber(int32_t pos, int32_t n) {
  if (!ValidPos(pos)) return;
  entries_.setBlock(pos, n);
  changed_ = true;
}

template <class B>
const typename HVokaIndex<B>::Unit* HVokaIndex<B>::Word(int32_t pos) const {
  return ValidPos(pos) ? entries_.word(pos).c_str() : nullptr;
}

template class HVokaIndex<TraitsVKCU8L>;
template class HVokaIndex<TraitsVKCUB>;
template class HVokaIndex<TraitsVKCUL>;
template class HVokaIndex<TraitsVKC620>;

}  // namespace vk
