// BlockEditor: the block surgery behind every change of entries, on the
// block at one index position (a Position from DicFile::Locate says where a
// headword is or belongs).
//
//   insert into block   the new entry takes the position; the entry that
//                       follows is recompressed against it; the block grows
//                       unit by unit when the entry does not fit, unless it
//                       already spans more than one unit and holds more
//                       entries than the entries-per-block limit or entries
//                       averaging over 64 bytes: then it splits.
//   rewrite in block    an entry keeps its header position and compression
//                       and takes a new field area; the block grows (same
//                       rule, the average test being n > 1 and 64n < bytes)
//                       or gives back whole units it no longer needs.
//   split               the block keeps the entries before the split entry
//                       (resized to them), a new block takes the split entry,
//                       now with its full headword, and the rest; the index
//                       gets an entry for the new block after the old one.
//                       With a new or changed entry the split entry is the
//                       one that fills the first block's last unit most;
//                       without one it is the entry at the position.
//   erase               the follower takes back the prefix bytes it shared
//                       only with the erased entry; whole free units at the
//                       end are given back; an emptied block is released.
//   long entries        (builds with long entries) an entry whose fields are
//                       too large for a short entry lives alone in a block
//                       with the long-entry flag, between the blocks around
//                       its headword.
//
// The index stays in step: a block whose first headword changes is renamed
// in the index, a moved block gets its new number, and the index area grows
// (4, 2 or 1 units) before a step needs the room. Compaction runs after a
// split made for an insert and after a block is released.
//
// Every operation answers 0, or -1 with the engine code in the file's error
// cell. A failed insert, rewrite or split gives back what it took and
// restores the block it had changed, as far as the file lets it; whatever
// is left, DicFile::EndChange rolls back to the last commit.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dic/DicFile.h"
#include "dic/Position.h"
#include "entries/BlockImage.h"
#include "entries/FieldEncoder.h"
#include "entries/Japa.h"

namespace vk {

// Most entries a block of a dictionary with `wordCount` entries may hold
// before it splits instead of growing: 32 * i, i the smallest of 8..20 with
// i * 2^i > wordCount, else 21.
int64_t EntriesPerBlockLimit(uint64_t wordCount);

// Units a block of `bytes` content takes.
inline int32_t UnitsFor(uint64_t bytes, int32_t unit) {
  return static_cast<int32_t>((bytes + uint64_t(unit) - 1) / uint64_t(unit));
}

template <class B>
class BlockEditor {
 public:
  using Unit = typename B::Unit;
  using Word = std::basic_string<Unit>;
  using Image = BlockImage<B>;
  using Item = EntryImage<B>;
  using List = typename Image::List;

  explicit BlockEditor(DicFile<B>* file) : file_(file) {}

  // Encodes the fields for headword w; 29 when they are too large.
  int Encode(const Word& w, const Japa<B>& fields, EncodedFields* enc);
  // A new entry at `at` (positioned for w).
  int Insert(const Position<B>& at, const Word& w, const EncodedFields& enc);
  // New fields for the entry at `at` (headword w).
  int Replace(const Position<B>& at, const Word& w, const EncodedFields& enc);
  // Erases the entry at `offset` of the block at index position `pos`.
  int Erase(int32_t pos, size_t offset);
  // Every field of the entry at `at`, however long: the decoding
  // capacities of a search would cut texts that are stored whole.
  int ReadWhole(const Position<B>& at, Japa<B>* out);
  // Rewrites the attribute of the entry at `at` in place. Bit 4 says how
  // the entry's fields are laid out and always stays as stored.
  int PatchAttribute(const Position<B>& at, const std::function<uint8_t(uint8_t)>& change);

  // Most entries a block may hold now before it splits rather than grows.
  int64_t EntriesLimit() { return EntriesPerBlockLimit(Data().WordCount()); }

 private:
  // How an edit inside one block ended.
  enum class Fit {
    kDone,
    kMoved,      // done, and the block moved (its index entry follows it)
    kMustSplit,  // nothing changed: the block must split instead
    kFailed,
  };

  struct NewEntry {
    const Word* word;
    const EncodedFields* enc;
    bool replaces;  // a changed entry at the position, not a new one
  };

  HVokaIndex<B>& Index() { return file_->Index(); }
  HVokaData<B>& Data() { return file_->Data(); }
  uint8_t* Buf() { return Data().Buffer(); }
  size_t BufBytes() { return Data().BufferSize(); }
  int32_t UnitBytes() { return Data().UnitSize(); }
  void AddCount(int32_t d) { Data().SetWordCount(static_cast<uint32_t>(int64_t(Data().WordCount()) + d)); }
  int Fail(int32_t code);
  int LoadPos(int32_t pos) { return file_->LoadIndexPos(pos); }
  bool BufIsLong() { return EntryLayout<B>::IsLongBlock(Buf()); }
  int ReadImage(Image* img);

  int IndexRoomFor(int64_t bytes, int32_t units);
  int GrowIndexAhead(int32_t units);
  int CompactAfterSplit();

  int InsertIntoNewBlock(int32_t at, const Word& w, const EncodedFields& enc);
  Fit InsertIntoBlock(int32_t pos, size_t offset, const Word& w, const EncodedFields& enc);
  void RemoveEntry(int32_t pos, size_t offset);
  void RestoreBlock(int32_t n0, int32_t units0, int32_t n, int32_t units, const uint8_t* raw, size_t bytes,
                    bool rewrite);
  Fit RewriteInBlock(int32_t pos, size_t offset, const EncodedFields& enc);
  int Split(int32_t pos, size_t offset, const NewEntry* e);

  int32_t LongUnits(const Word& w, const EncodedFields& enc);
  void WriteLong(const Word& w, const EncodedFields& enc);
  int PlaceLong(int32_t at, const Word& w, const EncodedFields& enc);
  int InsertLong(const Position<B>& p, const Word& w, const EncodedFields& enc);
  int ReplaceWithLong(int32_t pos, size_t offset, bool inLong, const Word& w, const EncodedFields& enc);
  int ResizeLong(int32_t pos, const Word& w, const EncodedFields& enc);

  DicFile<B>* file_;
  std::vector<uint8_t> undo_;  // the block as it was, while a write may fail
};

}  // namespace vk
