// The block layer (blocks/): the data area of a dictionary file, its blocks
// and its free units. HVokaData is the block file; EmptyList (EmptyList.h) is
// its picture of the free units in memory. HVokaData offers every read and
// write of the data area, whole blocks outside its buffer included
// (ReadBlockCopy, WriteBlockImage), so that nothing above needs the file for
// them. What a block holds is entries/' business;
// which headwords lead to which block is the index's (index/).
//
// HVokaData addresses the data area in units of `block_size` bytes, holds
// exactly one data block in memory, writes it back at once or, in deferred
// (fast) mode, when another block replaces it or at a flush, and allocates,
// grows, shrinks, moves and frees blocks. The buffered block is in memory
// byte order (format/BlockOrder.h converts at the file), and in deferred mode
// it is the only block the file may lag behind.
//
// A data block is a run of 1..32767 units whose first 16 bits are its size
// word (bits 0-14 the unit count, bit 15 the long-entry flag). A unit that
// belongs to no block is free: size word 0, then the little-endian number of
// the next free unit (-1 at the end); format/BlockFormat.h states both. The
// free units form one ascending chain from the header's free_block; in
// memory they are an EmptyList, built from the chain on first need and,
// while it exists, the truth about free space. The data area ends at unit
// `end`; the file ends there too.
//
// The data area never holds more than B::kMaxDataUnits units: a block is
// placed, grown or moved only where it ends within that bound, whether its
// units come from the free runs or from the end, and the call answers 3
// (dictionary full) before anything is written when no such place exists.
//
// Every operation answers 0 (or a block number) on success and -1 on failure
// with an engine code in the owner's error cell; file faults keep FileBuf's
// code (5 read/write, 4 short write, 6 positioning).
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "blocks/EmptyList.h"
#include "file/ErrorCodes.h"
#include "file/FileBuf.h"
#include "format/BlockFormat.h"
#include "format/BuildTraits.h"

namespace vk {

template <class B>
class HVokaData {
 public:
  HVokaData(FileBuf* file, int32_t* errorCell) : file_(file), error_(errorCell) {}
  HVokaData(const HVokaData&) = delete;
  HVokaData& operator=(const HVokaData&) = delete;

  // Takes the data area's geometry from the header's values.
  int SetUp(int64_t dataOffset, int32_t unit, int32_t firstFree, int32_t end, uint32_t wordCount);

  int64_t Offset(int32_t n) const { return dataOffset_ + int64_t(n) * unit_; }
  int SeekToBlock(int32_t n) { return file_->Seek(Offset(n)); }

  // Makes block n the buffered block.
  int Load(int32_t n);
  // Writes the buffer at block n.
  int WriteBlock(int32_t n);
  // The buffer now holds block n's new content.
  int MarkWritten(int32_t n);
  int Flush();
  int SetDeferred(bool on);
  // Whether the buffer is written only when another block replaces it or at
  // a flush (MarkWritten then cannot fail).
  bool Deferred() const { return deferred_; }
  // Writes a deferred buffer and then holds no block, for a caller that is
  // about to move blocks by whole-block reads and writes beside the buffer.
  int DropBuffer() {
    if (Flush() != 0) return -1;
    Forget();
    return 0;
  }

  // A hint that block n is loaded next: its first bytes, as many as two
  // units, are fetched ahead (the block's size is not known yet).
  void Prefetch(int32_t n) {
    if (n >= 0 && n < end_ && n != bufNumber_) file_->Prefetch(Offset(n), size_t(std::min(2 * unit_, 1024)));
  }

  // Block n as the file holds it, into `out` in memory order; the buffered
  // block stays as it is. In deferred mode the buffered block may be newer
  // than the file: flush first to read what was last written. 31 when the
  // size word puts the block outside the data area.
  int ReadBlockCopy(int32_t n, std::vector<uint8_t>* out);
  // Writes `bytes` bytes of a block held in memory order at block n; the
  // buffer is neither used nor changed.
  int WriteBlockImage(int32_t n, const uint8_t* block, size_t bytes);

  // The units [n, n + count) as the file holds them (file byte order), any
  // part past the file's end as zeros. The buffer is neither used nor
  // changed: in deferred mode flush first.
  int ReadUnits(int32_t n, int32_t count, std::vector<uint8_t>* out);
  // Writes `count` units of file-order bytes at unit n, beside the buffer.
  int WriteUnits(int32_t n, const uint8_t* bytes, int32_t count);
  // The blocks of units [from, to) were moved k units down by whole-unit
  // copies; a clean buffered block among them follows them.
  void MovedDown(int32_t from, int32_t to, int32_t k) {
    ++version_;
    if (bufNumber_ >= from && bufNumber_ < to) bufNumber_ -= k;
  }

  // Places a fresh zero-filled block with size word w; answers its number.
  int32_t NewBlock(uint16_t w);
  // Grows block n from b to N units. Answers the block's number, which
  // changes when it has to move. With `adopt` the buffer takes the grown
  // block's content (old units copied, the rest zero).
  int32_t GrowBlock(int32_t n, int32_t b, int32_t N, bool adopt);
  // Finds room for a new block of N units (first fit, or a last free run
  // that reaches the end of the data area, or the end itself).
  int32_t AllocateRun(int32_t N, bool adopt);
  // Block n (buffered) keeps its first `units` units; the rest become free.
  int ShrinkBlock(int32_t n, int32_t units);
  // Gives block n's units (the buffered block's count) to the free runs.
  int FreeBlock(int32_t n);
  // Moves block n elsewhere, unit by unit, keeping its first `keep` units
  // where they are for the caller; the units beyond `keep` become free.
  // `released` is the number of units the caller takes off the front of the
  // data area right after (index growth): the bound applies to the block's
  // place once the data area has shifted by them.
  int32_t RelocateBlock(int32_t n, int32_t keep, int32_t released = 0);
  // The data area now starts k units later (k < 0: earlier).
  void Shift(int32_t k);
  int ZeroUnits(int32_t n, int32_t k);
  int Truncate() { return file_->Truncate(Offset(end_)); }

  int32_t FirstFree();
  // The free runs, loaded from the on-disk chain the first time they are needed.
  EmptyList* FreeRuns() {
    if (!runs_) LoadFreeChain();
    return runs_.get();
  }
  bool HasFreeRuns() const { return runs_ != nullptr; }
  // Writes the free runs back as the on-disk chain. Nothing is written while
  // the chain was never loaded.
  int SaveFreeChain();
  // At close: the free chain goes back to the file, the buffered block too.
  int Close();

  // The buffered block, as held in memory. Every hand-out of the buffer
  // counts as a change of it (see Version).
  uint8_t* Buffer() {
    ++version_;
    return buffer_.data();
  }
  // Grows with every change the buffer may have seen: a load, a write, an
  // edit through Buffer(), a drop. Equal versions of one object mean the
  // same block with the same bytes.
  uint64_t Version() const { return version_; }
  size_t BufferSize() const { return buffer_.size(); }
  uint16_t BufferedSizeWord() const { return bufSizeWord_; }
  int32_t BufferedNumber() const { return bufNumber_; }
  int32_t End() const { return end_; }
  void SetEnd(int32_t end) { end_ = end; }
  int32_t UnitSize() const { return unit_; }
  int64_t DataOffset() const { return dataOffset_; }
  uint32_t WordCount() const { return wordCount_; }
  void SetWordCount(uint32_t n) { wordCount_ = n; }

  // Reads the size word stored at block n, in memory order (-1 on failure).
  int32_t ReadSizeWord(int32_t n);

 private:
  int Fail(int32_t code) {
    if (error_) *error_ = code;
    return -1;
  }

  // Whether `units` units from unit `place` stay within the data area's bound.
  static bool Fits(int32_t place, int32_t units) { return int64_t(place) + units <= B::kMaxDataUnits; }

  bool Allocate(size_t bytes);
  void Forget() {
    ++version_;
    dirty_ = false;
    bufNumber_ = -1;
  }
  int WriteSizeWordAt(int32_t n, uint16_t word);
  // Follows the on-disk chain from the first free unit. A chain that leaves
  // the data area, meets a used unit or comes back to a unit already seen
  // ends there: what was read up to that point is kept.
  void LoadFreeChain();

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
  uint64_t version_ = 0;
  std::unique_ptr<EmptyList> runs_;
};

extern template class HVokaData<TraitsVKCU8L>;
extern template class HVokaData<TraitsVKCUB>;
extern template class HVokaData<TraitsVKCUL>;
extern template class HVokaData<TraitsVKC620>;

}  // namespace vk
