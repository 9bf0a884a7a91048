// BlockBuilder: the tests' own writer of data blocks, kept apart from the
// engine's so that the layout it writes is a second, independent statement
// of entries/EntryLayout.h that the engine's reader and writer are checked
// against.
//
// It writes entries in headword order into a data block held in memory,
// keeping the block's layout valid after every call: entries from
// offset 2, each later headword prefix-compressed against the one before
// (the first with count 0), the terminator after the last, zeros to the end
// of the block.
//
// A short-entry block takes any number of short entries while they fit (the
// terminator's two bytes always stay free). In the builds with long entries
// a block may instead hold one long entry (u32 body length, count 0, the
// attribute at byte 5, u32 terminator), with the long-entry flag set in the
// size word. The builder keeps the size word's unit count as it finds it and
// only sets or clears the flag.
#pragma once
#include <cstddef>
#include <cstdint>

#include "entries/EntryLayout.h"
#include "entries/FieldEncoder.h"

namespace vk {

template <class B>
class BlockBuilder {
 public:
  using Unit = typename B::Unit;

  enum class Start {
    kEmpty,   // clear the block to an empty short-entry block
    kAppend,  // continue after the entries already in it
  };

  // Works on block[0..bytes). With kAppend the block must be a valid
  // short-entry block; otherwise (a long-entry or damaged block, or fewer
  // than 4 bytes) the builder is not ok(), refuses everything and leaves the
  // block alone.
  BlockBuilder(uint8_t* block, size_t bytes, Start start = Start::kEmpty);

  bool ok() const { return ok_; }

  // Appends a short entry. False, with the block unchanged, when the builder
  // is not ok(), the word is longer than 248 units, holds a zero unit or
  // does not sort after the previous headword, the body would pass 65535
  // bytes, the block holds a long entry, or the entry and the terminator do
  // not fit.
  bool Add(const Unit* word, size_t len, uint8_t attribute, const uint8_t* area, size_t areaLen);
  bool Add(const Unit* word, size_t len, const EncodedFields& f) {
    return Add(word, len, f.attribute, f.area.data(), f.area.size());
  }

  // Makes the block a long-entry block holding only this entry. False, with
  // the block unchanged, in builds without long entries, for a word longer
  // than 248 units, or when it does not fit.
  bool SetLong(const Unit* word, size_t len, uint8_t attribute, const uint8_t* area, size_t areaLen);

  // Offset of the terminator, and of the last entry written (2 when none).
  size_t end() const { return end_; }
  size_t last() const { return last_; }
  int64_t count() const { return count_; }
  // Bytes an entry may still take, the terminator's kept aside.
  size_t FreeBytes() const { return bytes_ - end_ - kShortTerminatorBytes; }

 private:
  void Clear(bool longBlock);
  bool Adopt();

  uint8_t* block_;
  size_t bytes_;
  size_t end_ = kFirstEntryOffset;
  size_t last_ = kFirstEntryOffset;
  int64_t count_ = 0;
  bool long_ = false;
  bool ok_ = true;
  Unit prev_[kWordBufferUnits];
  size_t prevLen_ = 0;
};

}  // namespace vk
