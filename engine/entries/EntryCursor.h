// Walking the entries of a data block held in memory.
//
// ParseEntry reads one entry's header and finds its headword tail and field
// area; EntryCursor walks a block from its first entry, rebuilding each
// headword in a fixed 249-unit buffer: the first P units stay from the
// previous headword, the stored tail is copied after them.
//
// A block comes from a file and may lie. Nothing here reads outside
// block[0..bytes): an entry running past the block, a missing terminator, a
// headword tail without its zero unit inside the entry, a compression count
// larger than the previous headword, a rebuilt headword longer than 248
// units, a first entry with a nonzero count, a second entry or a nonzero
// count in a long-entry block all end the walk with kDamaged (the caller
// reports code 31). kDamaged is final for a cursor.
#pragma once
#include <cstddef>
#include <cstdint>

#include "entries/EntryLayout.h"

namespace vk {

enum class WalkStatus { kEntry, kEnd, kDamaged };

// One entry as found in a block (offsets are block offsets).
struct EntryView {
  size_t offset = 0;  // the entry, or the terminator at kEnd
  size_t next = 0;    // the following entry or terminator (= offset at kEnd)
  bool isLong = false;
  uint8_t compression = 0;
  uint8_t attribute = 0;
  size_t tailOffset = 0;  // the stored headword tail
  size_t tailUnits = 0;   // its length, terminator not counted
  size_t fieldOffset = 0;
  size_t fieldLength = 0;
};

// Reads the entry at `offset` (0 stands for the first entry). kEnd at the
// block's terminator. The compression count is not checked against any
// previous headword here.
template <class B>
WalkStatus ParseEntry(const uint8_t* block, size_t bytes, size_t offset, EntryView* v);

template <class B>
class EntryCursor {
 public:
  using Unit = typename B::Unit;

  EntryCursor(const uint8_t* block, size_t bytes) : block_(block), bytes_(bytes) { word_[0] = 0; }

  // Goes to the block's first entry.
  WalkStatus First();
  // Goes to the entry after the current one. At kEnd or kDamaged it stays.
  WalkStatus Next();
  // Re-enters the block at the entry at `offset` whose previous headword is
  // not known but whose own full headword is `word` (len units), as a caller
  // that kept a position does. The headword is rebuilt from word's first P
  // units and the stored tail.
  WalkStatus ResumeAt(size_t offset, const Unit* word, size_t len);

  WalkStatus status() const { return status_; }
  const EntryView& entry() const { return view_; }
  size_t offset() const { return view_.offset; }
  // The current entry's full headword, zero-terminated. At kEnd it still
  // holds the last entry's headword (empty for an empty block).
  const Unit* word() const { return word_; }
  size_t wordLength() const { return wordLen_; }

 private:
  WalkStatus Enter(size_t offset, size_t prefixAvailable);

  const uint8_t* block_;
  size_t bytes_;
  EntryView view_;
  WalkStatus status_ = WalkStatus::kEnd;
  Unit word_[kWordBufferUnits];
  size_t wordLen_ = 0;
};

}  // namespace vk
