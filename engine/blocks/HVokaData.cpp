// Every operation of the block file in one place, though it nears 400 lines:
// they all share the buffer, the free runs and the data area's end, and each
// keeps the others' invariants (HVokaData.h), which reads best side by side.
#include "blocks/HVokaData.h"

#include <algorithm>
#include <new>

#include "format/BlockOrder.h"
#include "format/ByteOrder.h"

namespace vk {

template <class B>
int HVokaData<B>::SetUp(int64_t dataOffset, int32_t unit, int32_t firstFree, int32_t end, uint32_t wordCount) {
  ++version_;
  dataOffset_ = dataOffset;
  unit_ = unit;
  firstFree_ = firstFree;
  end_ = end;
  wordCount_ = wordCount;
  bufNumber_ = -1;
  bufSizeWord_ = 1;
  if (!Allocate(static_cast<size_t>(unit))) return Fail(kErrIndexMemory);
  return 0;
}

template <class B>
int HVokaData<B>::Load(int32_t n) {
  if (n == bufNumber_) {
    bufSizeWord_ = LoadLE16(buffer_.data());
    return 0;
  }
  ++version_;
  if (Flush() != 0) return -1;
  if (n < 0 || n >= end_) return Fail(kErrDamaged);
  int32_t stored = ReadSizeWord(n);
  if (stored < 0) return -1;
  uint16_t sizeWord = static_cast<uint16_t>(stored);
  int32_t units = UnitsOf(sizeWord);
  if (n + units > end_) return Fail(kErrDamaged);
  if (sizeWord != bufSizeWord_ || buffer_.size() != size_t(units) * unit_) {
    if (!Allocate(size_t(units) * unit_)) return Fail(kErrNoMemory);
  }
  bufSizeWord_ = sizeWord;
  bufNumber_ = -1;
  // The size word goes in as the file holds it: the whole block turns to
  // memory order below.
  Store16<B::kFileOrder>(buffer_.data(), sizeWord);
  size_t rest = buffer_.size() - kSizeWordBytes;
  int32_t read = file_->Read(buffer_.data() + kSizeWordBytes, static_cast<uint32_t>(rest));
  if (read < 0) return -1;
  // Units past the end of a file that is still growing read as zeros.
  std::fill(buffer_.begin() + kSizeWordBytes + read, buffer_.end(), 0);
  BlockOrder<B>::ToMemory(buffer_.data(), buffer_.size());
  bufNumber_ = n;
  return 0;
}

template <class B>
int HVokaData<B>::WriteBlock(int32_t n) {
  ++version_;
  size_t bytes = size_t(UnitsOf(bufSizeWord_)) * unit_;
  if (buffer_.size() < bytes) buffer_.resize(bytes, 0);
  return WriteBlockImage(n, buffer_.data(), bytes);
}

template <class B>
int HVokaData<B>::MarkWritten(int32_t n) {
  ++version_;
  bufNumber_ = n;
  if (deferred_) {
    dirty_ = true;
    return 0;
  }
  return WriteBlock(n);
}

template <class B>
int HVokaData<B>::Flush() {
  if (deferred_ && dirty_) {
    if (bufNumber_ >= 0 && WriteBlock(bufNumber_) != 0) return -1;
    dirty_ = false;
  }
  return 0;
}

template <class B>
int HVokaData<B>::SetDeferred(bool on) {
  if (deferred_ && Flush() != 0) return -1;
  deferred_ = on;
  return on ? 1 : 0;
}

template <class B>
int HVokaData<B>::ReadBlockCopy(int32_t n, std::vector<uint8_t>* out) {
  int32_t sizeWord = ReadSizeWord(n);
  if (sizeWord < 0) return -1;
  int32_t units = UnitsOf(static_cast<uint16_t>(sizeWord));
  if (n < 0 || n + units > end_) return Fail(kErrDamaged);
  // A file cut short inside the block leaves the rest zero.
  out->assign(size_t(units) * unit_, 0);
  if (SeekToBlock(n) != 0) return -1;
  if (file_->Read(out->data(), static_cast<uint32_t>(out->size())) < 0) return -1;
  BlockOrder<B>::ToMemory(out->data(), out->size());
  return 0;
}

template <class B>
int HVokaData<B>::WriteBlockImage(int32_t n, const uint8_t* block, size_t bytes) {
  const uint8_t* image = block;
  std::vector<uint8_t> copy;
  if (B::kFileOrder != Endian::Little) {
    copy.assign(block, block + bytes);
    BlockOrder<B>::ToFile(copy.data(), bytes);
    image = copy.data();
  }
  if (SeekToBlock(n) != 0) return -1;
  return file_->Write(image, static_cast<uint32_t>(bytes)) < 0 ? -1 : 0;
}

template <class B>
int HVokaData<B>::ReadUnits(int32_t n, int32_t count, std::vector<uint8_t>* out) {
  if (n < 0 || count < 0 || n + count > end_) return Fail(kErrDamaged);
  const size_t bytes = size_t(count) * size_t(unit_);
  try {
    out->resize(bytes);
  } catch (const std::bad_alloc&) {
    return Fail(kErrNoMemory);
  }
  if (SeekToBlock(n) != 0) return -1;
  int32_t read = file_->Read(out->data(), static_cast<uint32_t>(bytes));
  if (read < 0) return -1;
  std::fill(out->begin() + read, out->end(), 0);
  return 0;
}

template <class B>
int HVokaData<B>::WriteUnits(int32_t n, const uint8_t* bytes, int32_t count) {
  if (SeekToBlock(n) != 0) return -1;
  const uint32_t len = static_cast<uint32_t>(size_t(count) * size_t(unit_));
  return file_->Write(bytes, len) < 0 ? -1 : 0;
}

template <class B>
int32_t HVokaData<B>::NewBlock(uint16_t w) {
  ++version_;
  if (Flush() != 0) return -1;
  EmptyList* runs = FreeRuns();
  int32_t units = UnitsOf(w);
  int32_t place = runs->Take(units);
  bool atEnd = place < 0;
  if (!atEnd && !Fits(place, units)) {
    runs->Add(place, units);
    return Fail(kErrDictionaryFull);
  }
  if (atEnd) {
    if (!Fits(end_, units)) return Fail(kErrDictionaryFull);
    place = end_;
  }
  if (!Allocate(size_t(units) * unit_)) {
    if (!atEnd) runs->Add(place, units);
    return Fail(kErrNoMemory);
  }
  StoreLE16(buffer_.data(), w);
  bufSizeWord_ = w;
  if (MarkWritten(place) != 0 || Flush() != 0) {
    Forget();
    if (!atEnd) runs->Add(place, units);
    return -1;
  }
  if (atEnd) end_ += units;
  return place;
}

template <class B>
int32_t HVokaData<B>::GrowBlock(int32_t n, int32_t b, int32_t N, bool adopt) {
  ++version_;
  if (N > kUnitCountMask) return Fail(kErrDictionaryFull);
  uint16_t flag = (bufNumber_ == n ? bufSizeWord_ : 0) & kLongEntryFlag;
  uint16_t newWord = static_cast<uint16_t>(N | flag);
  int32_t place = -1;
  EmptyList* runs = FreeRuns();
  // Growing in place needs the grown block to end within the data area's
  // bound; otherwise the block moves, or the growth is refused.
  const bool inPlace = Fits(n, N);
  if (n + b == end_) {
    if (inPlace && SeekToBlock(n + N) == 0 && WriteSizeWordAt(n, newWord) == 0) {
      end_ += N - b;
      place = n;
    }
  } else if (inPlace) {
    int32_t after = runs->FreeRunLengthAt(n + b);
    if (after >= N - b) {
      if (WriteSizeWordAt(n, newWord) != 0) return -1;
      runs->TakeAt(n + b, N - b);
      place = n;
    } else if (after > 0 && n + b + after == end_) {
      if (SeekToBlock(n + N) == 0 && WriteSizeWordAt(n, newWord) == 0) {
        runs->TakeAt(n + b, after);
        end_ += N - b - after;
        place = n;
      }
    }
  }
  if (place < 0) {
    place = runs->Take(N);
    if (place >= 0 && !Fits(place, N)) {
      runs->Add(place, N);
      return Fail(kErrDictionaryFull);
    }
    if (place < 0) {
      if (!Fits(end_, N)) return Fail(kErrDictionaryFull);
      place = end_;
      dirty_ = false;
      bufNumber_ = -1;
      if (SeekToBlock(place + N) != 0) return Fail(kErrDiskFull);
      if (WriteSizeWordAt(place, newWord) != 0) return -1;
      end_ += N;
    }
    runs->Add(n, b);
  }
  if (adopt) {
    if (Flush() != 0) return -1;
    std::vector<uint8_t> grown(size_t(N) * unit_, 0);
    size_t keep = std::min(grown.size(), std::min(buffer_.size(), size_t(b) * unit_));
    std::copy(buffer_.begin(), buffer_.begin() + keep, grown.begin());
    buffer_.swap(grown);
    StoreLE16(buffer_.data(), newWord);
    bufSizeWord_ = newWord;
    bufNumber_ = place;
  }
  return place;
}

template <class B>
int32_t HVokaData<B>::AllocateRun(int32_t N, bool adopt) {
  ++version_;
  if (N > kUnitCountMask) return Fail(kErrDictionaryFull);
  EmptyList* runs = FreeRuns();
  int32_t obtained = 0;
  int32_t r = runs->Take(N, &obtained);
  int32_t place = -1;
  if (r >= 0 && obtained == N && Fits(r, N)) {
    place = r;
  } else if (r >= 0 && r + obtained == end_ && Fits(r, N)) {
    if (SeekToBlock(r + N) != 0 || WriteSizeWordAt(r, static_cast<uint16_t>(N)) != 0) {
      runs->Add(r, obtained);
      return -1;
    }
    end_ = r + N;
    place = r;
  } else {
    if (r >= 0) runs->Add(r, obtained);
    if (!Fits(end_, N)) return Fail(kErrDictionaryFull);
    if (SeekToBlock(end_ + N) != 0) return Fail(kErrDiskFull);
    if (WriteSizeWordAt(end_, static_cast<uint16_t>(N)) != 0) return -1;
    place = end_;
    end_ += N;
  }
  if (adopt) {
    uint16_t word = static_cast<uint16_t>(N | (bufSizeWord_ & kLongEntryFlag));
    if (!Allocate(size_t(N) * unit_)) return Fail(kErrNoMemory);
    StoreLE16(buffer_.data(), word);
    bufSizeWord_ = word;
  }
  return place;
}

template <class B>
int HVokaData<B>::ShrinkBlock(int32_t n, int32_t units) {
  ++version_;
  int32_t old = UnitsOf(bufSizeWord_);
  if (units <= 0 || units >= old) return 0;
  FreeRuns()->Add(n + units, old - units);
  bufSizeWord_ = static_cast<uint16_t>(units | (bufSizeWord_ & kLongEntryFlag));
  buffer_.resize(size_t(units) * unit_);
  StoreLE16(buffer_.data(), bufSizeWord_);
  return 0;
}

template <class B>
int HVokaData<B>::FreeBlock(int32_t n) {
  ++version_;
  FreeRuns()->Add(n, UnitsOf(bufSizeWord_));
  if (bufNumber_ == n) Forget();
  return 0;
}

template <class B>
int32_t HVokaData<B>::RelocateBlock(int32_t n, int32_t keep, int32_t released) {
  ++version_;
  if (Flush() != 0) return -1;
  uint8_t word[2];
  if (SeekToBlock(n) != 0) return -1;
  if (file_->Read(word, 2) != 2) return Fail(kErrReadWrite);
  int32_t units = UnitsOf(Load16<B::kFileOrder>(word) & kUnitCountMask);
  if (n + units > end_) return Fail(kErrDamaged);
  EmptyList* runs = FreeRuns();
  int32_t place = runs->Take(units);
  bool atEnd = place < 0;
  if (!atEnd && !Fits(place - released, units)) {
    runs->Add(place, units);
    return Fail(kErrDictionaryFull);
  }
  if (atEnd) {
    if (!Fits(end_ - released, units)) return Fail(kErrDictionaryFull);
    place = end_;
  }
  std::vector<uint8_t> one(static_cast<size_t>(unit_));
  for (int32_t i = 0; i < units; ++i) {
    if (SeekToBlock(n + i) != 0 || file_->Read(one.data(), unit_) < 0 || SeekToBlock(place + i) != 0 ||
        file_->Write(one.data(), unit_) < 0) {
      if (!atEnd) runs->Add(place, units);
      return Fail(kErrReadWrite);
    }
  }
  if (atEnd) end_ += units;
  if (keep < units) runs->Add(n + keep, units - keep);
  if (bufNumber_ == n) bufNumber_ = place;
  return place;
}

template <class B>
void HVokaData<B>::Shift(int32_t k) {
  ++version_;
  dataOffset_ += int64_t(k) * unit_;
  end_ -= k;
  if (bufNumber_ >= 0) bufNumber_ -= k;
  if (firstFree_ != -1) firstFree_ -= k;
  if (runs_) runs_->Shift(k);
}

template <class B>
int HVokaData<B>::ZeroUnits(int32_t n, int32_t k) {
  std::vector<uint8_t> zeros(size_t(k) * unit_, 0);
  if (SeekToBlock(n) != 0) return -1;
  return file_->Write(zeros.data(), static_cast<uint32_t>(zeros.size())) < 0 ? -1 : 0;
}

template <class B>
int32_t HVokaData<B>::FirstFree() {
  if (!runs_) return firstFree_;
  runs_->Sort();
  return runs_->FirstStart();
}

template <class B>
int HVokaData<B>::SaveFreeChain() {
  if (!runs_) return 0;
  if (runs_->IsEmpty()) {
    firstFree_ = -1;
    return 0;
  }
  const std::vector<EmptyList::Run>& list = runs_->SortedRuns();
  firstFree_ = runs_->FirstStart();
  for (size_t r = 0; r < list.size(); ++r) {
    for (int32_t i = 0; i < list[r].length; ++i) {
      int32_t self = list[r].start + i;
      int32_t next = i + 1 < list[r].length ? self + 1 : (r + 1 < list.size() ? list[r + 1].start : -1);
      uint8_t link[kFreeUnitBytes] = {0, 0};
      StoreLE32(link + kFreeLinkOffset, static_cast<uint32_t>(next));
      if (SeekToBlock(self) != 0 || file_->Write(link, kFreeUnitBytes) != int32_t(kFreeUnitBytes)) {
        return Fail(kErrDiskFull);
      }
    }
  }
  return 0;
}

template <class B>
int HVokaData<B>::Close() {
  int rc = 0;
  if (file_->IsOpen()) {
    if (SaveFreeChain() != 0) rc = -1;
    if (Flush() != 0) rc = -1;
  }
  runs_.reset();
  buffer_.clear();
  buffer_.shrink_to_fit();
  bufNumber_ = -1;
  return rc;
}

template <class B>
int32_t HVokaData<B>::ReadSizeWord(int32_t n) {
  uint8_t word[2];
  if (SeekToBlock(n) != 0) return -1;
  int32_t got = file_->Read(word, 2);
  if (got < 0) return -1;
  if (got < 2) return Fail(kErrReadWrite);
  return Load16<B::kFileOrder>(word);
}

template <class B>
bool HVokaData<B>::Allocate(size_t bytes) {
  ++version_;
  try {
    buffer_.assign(bytes, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

template <class B>
int HVokaData<B>::WriteSizeWordAt(int32_t n, uint16_t word) {
  uint8_t raw[2];
  Store16<B::kFileOrder>(raw, word);
  if (SeekToBlock(n) != 0) return -1;
  return file_->Write(raw, 2) < 0 ? -1 : 0;
}

template <class B>
void HVokaData<B>::LoadFreeChain() {
  runs_.reset(new EmptyList);
  // One bit per unit of the data area, whose size the file bounds.
  std::vector<bool> seen(static_cast<size_t>(end_ > 0 ? end_ : 0), false);
  int32_t u = firstFree_;
  while (u >= 0 && u < end_ && !seen[size_t(u)]) {
    seen[size_t(u)] = true;
    uint8_t raw[kFreeUnitBytes];
    if (SeekToBlock(u) != 0) break;
    if (file_->Read(raw, kFreeUnitBytes) != int32_t(kFreeUnitBytes)) break;
    if (LoadLE16(raw) != 0) break;
    runs_->Add(u, 1);
    u = static_cast<int32_t>(LoadLE32(raw + kFreeLinkOffset));
  }
  runs_->Merge();
}

template class HVokaData<TraitsVKCU8L>;
template class HVokaData<TraitsVKCUB>;
template class HVokaData<TraitsVKCUL>;
template class HVokaData<TraitsVKC620>;

}  // namespace vk
