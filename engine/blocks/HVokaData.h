// HVokaData: the block file. It addresses the data area in units of
// `block_size` bytes, holds exactly one data block in memory, writes it back
// at once or, in deferred (fast) mode, when another block replaces it or at a
// flush, and allocates, grows, shrinks, moves and frees blocks.
//
// A data block is a run of 1..32767 units whose first 16 bits are its size
// word (bits 0-14 the unit count, bit 15 the long-entry flag). A unit that
// belongs to no block is free: size word 0, then the little-endian number of
// the next free unit (-1 at the end). The free units form one ascending
// chain from the header's free_block; in memory they are an EmptyList, built
// from the chain on first need and, while it exists, the truth about free
// space. The data area ends at unit `end`; the file ends there too.
//
// The data area never holds more than B::kMaxDataUnits units: a block is
// placed, grown or moved only where it ends within that bound, whether its
// units come from the free runs or from the end, and the call answers 3
// (dictionary full) before anything is written when no such place exists.
//
// Every operation answers 0 (or a block number) on success and -1 on failure
// with an engine code in the owner's error cell.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "blocks/EmptyList.h"
#include "file/ErrorCodes.h"
#include "file/FileBuf.h"
#include "format/BlockOrder.h"
#include "format/BuildTraits.h"
#include "format/ByteOrder.h"

namespace vk {

constexpr uint16_t kLongEntryFlag = 0x8000;
constexpr uint16_t kUnitCountMask = 0x7FFF;

// Units a size word occupies: its count, or 1 for a free unit.
inline int32_t UnitsOf(uint16_t sizeWord) {
  int32_t units = sizeWord & kUnitCountMask;
  return units == 0 ? 1 : units;
}

template <class B>
class HVokaData {
 public:
  HVokaData(FileBuf* file, int32_t* errorCell) : file_(file), error_(errorCell) {}
  HVokaData(const HVokaData&) = delete;
  HVokaData& operator=(const HVokaData&) = delete;

  // Takes the data area's geometry from the header's values.
  int SetUp(int64_t dataOffset, int32_t unit, int32_t firstFree, int32_t end, uint32_t wordCount) {
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

  int64_t Offset(int32_t n) const { return dataOffset_ + int64_t(n) * unit_; }
  int SeekToBlock(int32_t n) { return file_->Seek(Offset(n)); }

  // Makes block n the buffered block.
  int Load(int32_t n) {
    if (n == bufNumber_) {
      bufSizeWord_ = LoadLE16(buffer_.data());
      return 0;
    }
    if (Flush() != 0) return -1;
    if (n < 0 || n >= end_) return Fail(kErrDamaged);
    uint8_t word[2];
    if (SeekToBlock(n) != 0) return -1;
    int32_t got = file_->Read(word, 2);
    if (got < 0) return -1;
    if (got < 2) return Fail(kErrReadWrite);
    uint16_t sizeWord = Load16<B::kFileOrder>(word);
    int32_t units = UnitsOf(sizeWord);
    if (n + units > end_) return Fail(kErrDamaged);
    if (sizeWord != bufSizeWord_ || buffer_.size() != size_t(units) * unit_) {
      if (!Allocate(size_t(units) * unit_)) return Fail(kErrNoMemory);
    }
    bufSizeWord_ = sizeWord;
    bufNumber_ = -1;
    buffer_[0] = word[0];
    buffer_[1] = word[1];
    size_t rest = buffer_.size() - 2;
    int32_t read = file_->Read(buffer_.data() + 2, static_cast<uint32_t>(rest));
    if (read < 0) return -1;
    // Units past the end of a file that is still growing read as zeros.
    std::fill(buffer_.begin() + 2 + read, buffer_.end(), 0);
    BlockOrder<B>::ToMemory(buffer_.data(), buffer_.size());
    bufNumber_ = n;
    return 0;
  }

  // Writes the buffer at block n.
  int WriteBlock(int32_t n) {
    size_t bytes = size_t(UnitsOf(bufSizeWord_)) * unit_;
    if (buffer_.size() < bytes) buffer_.resize(bytes, 0);
    const uint8_t* out = buffer_.data();
    std::vector<uint8_t> copy;
    if (B::kFileOrder != Endian::Little) {
      copy.assign(buffer_.begin(), buffer_.begin() + bytes);
      BlockOrder<B>::ToFile(copy.data(), bytes);
      out = copy.data();
    }
    if (SeekToBlock(n) != 0) return -1;
    return file_->Write(out, static_cast<uint32_t>(bytes)) < 0 ? -1 : 0;
  }

  // The buffer now holds block n's new content.
  int MarkWritten(int32_t n) {
    bufNumber_ = n;
    if (deferred_) {
      dirty_ = true;
      return 0;
    }
    return WriteBlock(n);
  }

  int Flush() {
    if (deferred_ && dirty_) {
      if (bufNumber_ >= 0 && WriteBlock(bufNumber_) != 0) return -1;
      dirty_ = false;
    }
    return 0;
  }

  int SetDeferred(bool on) {
    if (deferred_ && Flush() != 0) return -1;
    deferred_ = on;
    return on ? 1 : 0;
  }

  // Places a fresh zero-filled block with size word w; answers its number.
  int32_t NewBlock(uint16_t w) {
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

  // Grows block n from b to N units. Answers the block's number, which
  // changes when it has to move. With `adopt` the buffer takes the grown
  // block's content (old units copied, the rest zero).
  int32_t GrowBlock(int32_t n, int32_t b, int32_t N, bool adopt) {
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

  // Finds room for a new block of N units (first fit, or a last free run
  // that reaches the end of the data area, or the end itself).
  int32_t AllocateRun(int32_t N, bool adopt) {
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

  // Block n (buffered) keeps its first `units` units; the rest become free.
  int ShrinkBlock(int32_t n, int32_t units) {
    int32_t old = UnitsOf(bufSizeWord_);
    if (units <= 0 || units >= old) return 0;
    FreeRuns()->Add(n + units, old - units);
    bufSizeWord_ = static_cast<uint16_t>(units | (bufSizeWord_ & kLongEntryFlag));
    buffer_.resize(size_t(units) * unit_);
    StoreLE16(buffer_.data(), bufSizeWord_);
    return 0;
  }

  // Gives block n's units (the buffered block's count) to the free runs.
  int FreeBlock(int32_t n) {
    FreeRuns()->Add(n, UnitsOf(bufSizeWord_));
    if (bufNumber_ == n) Forget();
    return 0;
  }

  // Moves block n elsewhere, unit by unit, keeping its first `keep` units
  // where they are for the caller; the units beyond `keep` become free.
  // `released` is the number of units the caller takes off the front of the
  // data area right after (index growth): the bound applies to the block's
  // place once the data area has shifted by them.
  int32_t RelocateBlock(int32_t n, int32_t keep, int32_t released = 0) {
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

  // The data area now starts k units later (k < 0: earlier).
  void Shift(int32_t k) {
    dataOffset_ += int64_t(k) * unit_;
    end_ -= k;
    if (bufNumber_ >= 0) bufNumber_ -= k;
    if (firstFree_ != -1) firstFree_ -= k;
    if (runs_) runs_->Shift(k);
  }

  int ZeroUnits(int32_t n, int32_t k) {
    std::vector<uint8_t> zeros(size_t(k) * unit_, 0);
    if (SeekToBlock(n) != 0) return -1;
    return file_->Write(zeros.data(), static_cast<uint32_t>(zeros.size())) < 0 ? -1 : 0;
  }

  int Truncate() { return file_->Truncate(Offset(end_)); }

  int32_t FirstFree() {
    if (!runs_) return firstFree_;
    runs_->Sort();
    return runs_->FirstStart();
  }

  void SetFirstFree(int32_t n) {
    firstFree_ = n;
    if (n == -1 && runs_) runs_->Clear();
  }

  // The free runs, loaded from the on-disk chain the first time they are needed.
  EmptyList* FreeRuns() {
    if (!runs_) LoadFreeChain();
    return runs_.get();
  }
  bool HasFreeRuns() const { return runs_ != nullptr; }

  // Writes the free runs back as the on-disk chain. Nothing is written while
  // the chain was never loaded.
  int SaveFreeChain() {
    if (!runs_) return 0;
    if (runs_->IsEmpty()) {
      firstFree_ = -1;
      return 0;
    }
    runs_->Sort();
    firstFree_ = runs_->FirstStart();
    const auto& list = runs_->Runs();
    for (size_t r = 0; r < list.size(); ++r) {
      for (int32_t i = 0; i < list[r].length; ++i) {
        int32_t self = list[r].start + i;
        int32_t next = i + 1 < list[r].length ? self + 1 : (r + 1 < list.size() ? list[r + 1].start : -1);
        uint8_t link[6] = {0, 0};
        StoreLE32(link + 2, static_cast<uint32_t>(next));
        if (SeekToBlock(self) != 0 || file_->Write(link, 6) != 6) return Fail(kErrDiskFull);
      }
    }
    return 0;
  }

  // At close: the free chain goes back to the file, the buffered block too.
  int Close() {
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

  // Bit 15 of block n's size word: 1 for a long-entry block.
  int IsLongEntryBlock(int32_t n) {
    if (n == bufNumber_) return (bufSizeWord_ & kLongEntryFlag) ? 1 : 0;
    uint8_t word[2];
    if (SeekToBlock(n) != 0 || file_->Read(word, 2) != 2) return 0;
    return (Load16<B::kFileOrder>(word) & kLongEntryFlag) ? 1 : 0;
  }

  // The buffered block, as held in memory.
  uint8_t* Buffer() { return buffer_.data(); }
  size_t BufferSize() const { return buffer_.size(); }
  uint16_t BufferedSizeWord() const { return bufSizeWord_; }
  int32_t BufferedNumber() const { return bufNumber_; }
  bool Deferred() const { return deferred_; }
  bool Dirty() const { return dirty_; }
  int32_t End() const { return end_; }
  void SetEnd(int32_t end) { end_ = end; }
  int32_t UnitSize() const { return unit_; }
  int64_t DataOffset() const { return dataOffset_; }
  uint32_t WordCount() const { return wordCount_; }
  void SetWordCount(uint32_t n) { wordCount_ = n; }

  // Reads block n straight from the file into *out, in memory byte order,
  // leaving the block buffer alone.
  int ReadBlockCopy(int32_t n, std::vector<uint8_t>* out) {
    int32_t sizeWord = ReadSizeWord(n);
    if (sizeWord < 0) return -1;
    int32_t units = UnitsOf(static_cast<uint16_t>(sizeWord));
    if (n < 0 || n + units > end_) return Fail(kErrDamaged);
    out->assign(size_t(units) * unit_, 0);
    if (SeekToBlock(n) != 0) return -1;
    if (file_->Read(out->data(), static_cast<uint32_t>(out->size())) < 0) return -1;
    BlockOrder<B>::ToMemory(out->data(), out->size());
    return 0;
  }

  // Writes a block given in memory byte order at block n.
  int WriteBlockImage(int32_t n, const uint8_t* block, size_t bytes) {
    std::vector<uint8_t> copy(block, block + bytes);
    BlockOrder<B>::ToFile(copy.data(), copy.size());
    if (SeekToBlock(n) != 0) return -1;
    return file_->Write(copy.data(), static_cast<uint32_t>(copy.size())) < 0 ? -1 : 0;
  }

  // Reads the size word stored at block n, in memory order (-1 on failure).
  int32_t ReadSizeWord(int32_t n) {
    uint8_t word[2];
    if (SeekToBlock(n) != 0) return -1;
    int32_t got = file_->Read(word, 2);
    if (got < 0) return -1;
    if (got < 2) return Fail(kErrReadWrite);
    return Load16<B::kFileOrder>(word);
  }

 private:
  int Fail(int32_t code) {
    if (error_) *error_ = code;
    return -1;
  }

  // Whether `units` units from unit `place` stay within the data area's bound.
  static bool Fits(int32_t place, int32_t units) { return int64_t(place) + units <= B::kMaxDataUnits; }

  bool Allocate(size_t bytes) {
    try {
      buffer_.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  void Forget() {
    dirty_ = false;
    bufNumber_ = -1;
  }

  int WriteSizeWordAt(int32_t n, uint16_t word) {
    uint8_t raw[2];
    Store16<B::kFileOrder>(raw, word);
    if (SeekToBlock(n) != 0) return -1;
    return file_->Write(raw, 2) < 0 ? -1 : 0;
  }

  // Follows the on-disk chain from the first free unit. A chain that leaves
  // the data area, meets a used unit or comes back to a unit already seen
  // ends there: what was read up to that point is kept.
  void LoadFreeChain() {
    runs_.reset(new EmptyList);
    // One bit per unit of the data area, whose size the file bounds.
    std::vector<bool> seen(static_cast<size_t>(end_ > 0 ? end_ : 0), false);
    int32_t u = firstFree_;
    while (u >= 0 && u < end_ && !seen[size_t(u)]) {
      seen[size_t(u)] = true;
      uint8_t raw[6];
      if (SeekToBlock(u) != 0) break;
      if (file_->Read(raw, 6) != 6) break;
      if (LoadLE16(raw) != 0) break;
      runs_->Add(u, 1);
      u = static_cast<int32_t>(LoadLE32(raw + 2));
    }
    runs_->Merge();
  }

  FileBuf* file_;
  int32_t* error_;
  bool deferred_ = false;
  bool dirty_ = false;
  int64_t dataOffset_ = 0;
  int32_t unit_ = 0;
  uint32_t wordCount_ = 0;
  int32_t firstFree_ = -1;
  int32_t end_ = 0;
  std::vector<uint8_t> buffer_;
  uint16_t bufSizeWord_ = 1;
  int32_t bufNumber_ = -1;
  std::unique_ptr<EmptyList> runs_;
};

}  // namespace vk
