// HVokaIndex: the block index. One entry per data block, holding the block's
// physical number and the first headword the block holds, kept in memory in
// dictionary order (CompareWords), so an entry's position is the block's
// logical number and a binary search tells which block can hold a headword.
//
// Index area (file offset header_size + ext_header_size, index_blocks *
// block_size bytes), entries one after another in logical order:
//
//   byte builds, narrow form   uint16 LE block | headword bytes | 00
//   byte builds, wide form     int32 LE block  | headword bytes | 00
//   16-bit builds              uint16 block | headword units | 0000, all in
//                              the build's file order
//
// The list ends at an entry whose headword is empty or at the end of the
// area. After the last entry the writer puts min(area size - used, 4) zero
// bytes when used < area size; bytes further on are left as they were.
// Byte builds write the wide form only while some block number exceeds
// 0xFFFF (WideNeeded); the header's index_wide records which form is stored.
//
// Accounting: `used` counts each entry as len + 5 (byte builds) or
// 2 * len + 6 (16-bit builds) whatever form the area is written in, so an
// entry always fits once it has been accounted for. Free room is
// area size - used - overhead, never negative.
//
// Invariants: entries strictly ascending in dictionary order, each naming a
// distinct data block; used < area size after every successful insertion or
// renaming; count <= capacity. The capacity is the slot count of the pointer
// array of the on-disk design: byte builds stop loading when it is reached,
// insertion grows it by 256 slots and removal shrinks it again. Only the
// counter is kept; memory follows the entries actually held.
//
// Every operation answers 0 (or a count) or -1 with a code in the owner's
// error cell: 2 when memory runs out, 3 when the area is full; file faults
// keep FileBuf's code (5 read/write, 4 short write, 6 positioning).
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "file/FileBuf.h"
#include "format/BuildTraits.h"
#include "index/IndexEntryList.h"

namespace vk {

template <class B>
class HVokaIndex {
 public:
  using Unit = typename B::Unit;
  using WordString = std::basic_string<Unit>;

  // Clears the error cell, as every engine object does when it is made.
  HVokaIndex(FileBuf* file, int32_t* errorCell);
  HVokaIndex(const HVokaIndex&) = delete;
  HVokaIndex& operator=(const HVokaIndex&) = delete;

  // areaOffset = header_size + ext_header_size; areaSize = index_blocks *
  // block_size; indexCount = index_count (the initial capacity); wideForm =
  // index_wide != 0. Loads the area. 0, or -1 with code 2 whatever failed.
  int SetUp(int64_t areaOffset, int32_t areaSize, int32_t indexCount, bool wideForm,
            int32_t blockSize);
  // Replaces the entries with those stored in the area. Count, or -1.
  int Load();
  // Writes every entry and the end marker; clears Changed(). 0 or -1.
  int Save();

  // Position of the last entry whose headword is not greater than key; 0
  // when key sorts before every entry or the index is empty.
  int32_t Find(const Unit* key) const;
  // Position of the entry naming physical block n, or -1.
  int32_t FindBlock(int32_t blockNumber) const;
  // The (block number, position) of every entry whose block number lies in
  // [from, to), sorted, so that the first pair of a number has the position
  // FindBlock gives. 0, or -1 with code 2.
  int FindBlocks(int32_t from, int32_t to, std::vector<std::pair<int32_t, int32_t>>* out) const;
  // 0, or -1 with code 3 (the area cannot take the entry) or 2.
  int Insert(int32_t pos, int32_t blockNumber, const Unit* word);
  int Remove(int32_t pos);
  // Replaces the headword at pos, keeping its block number. 0, or -1 (3 / 2).
  int Rename(int32_t pos, const Unit* word);
  // The area grows by k units (shrinks when k < 0) at the front of the data
  // area, so every physical block number drops by k.
  void Shift(int32_t k);

  int32_t FreeRoom() const;
  bool WideNeeded() const;

  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  int32_t BlockNumber(int32_t pos) const;
  void SetBlockNumber(int32_t pos, int32_t n);
  const Unit* Word(int32_t pos) const;

  bool Changed() const { return changed_; }
  void MarkChanged() { changed_ = true; }

  int64_t AreaOffset() const { return areaOffset_; }
  int32_t AreaSize() const { return areaSize_; }
  int32_t Used() const { return used_; }
  int32_t Capacity() const { return capacity_; }

 private:
  using IndexWord = vk::IndexWord<Unit>;

  static constexpr bool kByteBuild = sizeof(Unit) == 1;
  static constexpr int32_t kGrowth = 256;

  static int64_t EntrySize(size_t len) {
    return static_cast<int64_t>(len) * static_cast<int64_t>(sizeof(Unit)) +
           IndexEntryOverhead<B>();
  }
  bool ValidPos(int32_t pos) const { return pos >= 0 && pos < Count(); }
  void Fail(int32_t code) const {
    if (errorCell_) *errorCell_ = code;
  }

  // Parse the area image; both stop at the first entry that is not sound.
  int ParseByteForm(const uint8_t* p, size_t n, bool wide);
  int ParseUnitForm(const uint8_t* p, size_t n);
  // Reads min(area size, what the file holds past the area offset) bytes.
  int ReadArea(std::vector<uint8_t>* buf);
  // Appends the on-disk form of every entry to out.
  void Serialize(bool wide, std::vector<uint8_t>* out) const;

  FileBuf* file_;
  int32_t* errorCell_;
  int64_t areaOffset_ = 0;
  int32_t areaSize_ = 0;
  int32_t blockSize_ = 0;
  int32_t used_ = 0;
  int32_t capacity_ = 0;
  bool wideForm_ = false;
  bool changed_ = false;
  IndexEntryList<Unit> entries_;
};

extern template class HVokaIndex<TraitsVKCU8L>;
extern template class HVokaIndex<TraitsVKCUB>;
extern template class HVokaIndex<TraitsVKCUL>;
extern template class HVokaIndex<TraitsVKC620>;

}  // namespace vk
