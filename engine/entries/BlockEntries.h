// Questions about the entries of one data block held in memory, answered by
// walking it from its first entry (see EntryCursor): how many entries, where
// a word belongs, which entry comes before a position, which is last.
//
// A position is a block offset: an entry's, or the terminator's after the
// last entry. Offset 0 stands for 2, the first entry. Every answer can be
// kDamaged when the walk met a lying block (the caller reports code 31).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "entries/EntryCursor.h"

namespace vk {

enum class Found { kYes, kNo, kDamaged };

// Where a word belongs in a block: the entry at `offset` is the first whose
// headword is not less than the word (or the terminator when none is);
// `before` is the headword of the entry before that position (empty at the
// first entry) and `at` the headword at it (empty at the terminator).
template <class B>
struct BlockPosition {
  using Word = std::basic_string<typename B::Unit>;
  size_t offset = kFirstEntryOffset;
  Word before;
  Word at;
};

template <class B>
class BlockEntries {
 public:
  using Unit = typename B::Unit;
  using Word = std::basic_string<Unit>;

  // Number of entries, or -1 for a damaged block.
  static int64_t Count(const uint8_t* block, size_t bytes);

  // Locates `key` (zero-terminated, stored form). kYes when an entry with a
  // headword >= key exists in the block, kNo when the key lies beyond it.
  // In a short-entry block headwords compare whole, terminators taking part;
  // the one headword of a long-entry block compares over at most 248 units.
  static Found Locate(const uint8_t* block, size_t bytes, const Unit* key, BlockPosition<B>* pos);

  // The entry before the one (or the terminator) at `offset`: kNo at the
  // first entry, kDamaged when `offset` is not an entry's or the terminator's.
  static Found Previous(const uint8_t* block, size_t bytes, size_t offset, size_t* prevOffset, Word* word);

  // The last entry; kNo for an empty block.
  static Found Last(const uint8_t* block, size_t bytes, size_t* offset, Word* word);
};

}  // namespace vk
