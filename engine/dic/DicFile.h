// DicFile: one open dictionary file with its header, block index and block
// file, and the error cell every layer below reports into. It opens,
// creates, flushes, commits and closes the file, and carries the operations
// that need both the index and the block file: growing the index area into
// the data area, the index updates that grow it when full, the compaction
// step after a block was released or split, and the trimming at close.
//
// Layout of the file: the 256-byte header (format/DicHeader.h), the index
// area of `index_blocks` units (index/HVokaIndex.h) and the data area of
// `block_count` units (blocks/HVokaData.h), in that order. The header is
// believed only as far as the file holds the areas it places.
//
// Write-through (the default) flushes and commits after every change; in
// fast mode the block file defers its writes and the header, index and free
// chain are written only when fast mode ends or the file closes. Whatever a
// failed write leaves, EndChange brings the file back to its last commit.
//
// Errors: the file, the index and the block file report into one cell that
// this object owns (Error()); their operations answer 0 or -1. The layer
// above answers named results (Located, the block editor's fits, the
// settlement of a clash) or the interface's 1/0/-1, and the exported
// interface copies the cell into the handle through ExportedCode.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "blocks/HVokaData.h"
#include "dic/Position.h"
#include "file/Env.h"
#include "file/ErrorCodes.h"
#include "file/FileBuf.h"
#include "format/DicHeader.h"
#include "index/HVokaIndex.h"

namespace vk {

template <class B>
class DicFile {
 public:
  using Unit = typename B::Unit;

  explicit DicFile(Env* env = Env::Default()) : file_(env, &error_) {}
  ~DicFile() { Close(); }
  DicFile(const DicFile&) = delete;
  DicFile& operator=(const DicFile&) = delete;

  // Opens an existing dictionary. A read-write attempt refused with code 16
  // is repeated read-only. 0, or -1 with the code in Error().
  int Open(const std::string& name, bool readOnly);
  // Creates (or replaces) a dictionary file holding only the header.
  int Create(const std::string& name, bool createOption);
  // Writes what is pending, trims the file when it was changed, and closes
  // it. Whatever fails on the way, the file keeps its last committed state.
  int Close();
  // The first half of Close: what is pending is written, the file trimmed
  // when it was changed and the whole committed, forced to disk; the file
  // stays open. 0, or -1 with the file back at its last commit.
  int FlushForClose();
  // A handle on a local copy of a shared dictionary counts its header
  // flushes in the header's update count (the other copies compare it).
  void SetCountsUpdates(bool on) { countsUpdates_ = on; }
  // Drops the open file without writing anything (after FlushForClose, or
  // for a half-opened file).
  void Abandon();

  // The flush after a change: buffered block, header, index when changed,
  // free chain.
  int FullFlush();
  // A change made with fast mode off is flushed and committed before the
  // call that made it returns.
  int CommitChange();
  // Fast mode on defers writing; switching it off flushes and commits
  // everything, forced to disk.
  int SetFastMode(bool on);
  // Called when a call that may have changed the file ends. A change whose
  // writes failed, and with fast mode off any change left uncommitted (the
  // call failed part-way), is rolled back, and the dictionary is read again
  // from its committed state. The error code stays the failure's.
  void EndChange();

  // Makes the index area k units larger by taking units from the front of
  // the data area: a block at unit 0 moves away, a free unit 0 is taken.
  // The area never passes kMaxIndexUnits: it grows by what is left when
  // that is less than k, and refuses with 3 when nothing is left.
  int GrowIndexArea(int32_t k);
  // Units the index area can still grow by.
  int32_t IndexGrowthLeft() const;
  // Whether an index change that needs `bytes` more bytes can be made, with
  // the growth of up to `growUnits` units that the change would make.
  bool IndexCanTake(int64_t bytes, int32_t growUnits) const;
  // Index insert that grows the area by 4 units and retries once when full.
  int InsertIndex(int32_t pos, int32_t block, const Unit* word);
  // Index rename that grows the area by `growUnits` units and retries once
  // when full.
  int RenameIndex(int32_t pos, const Unit* word, int32_t growUnits = 1);
  // Closes the first gap that is small against the used stretch after it by
  // moving that stretch down. 1 when blocks moved, 0 when none, -1 on failure.
  int CompactionStep();

  // The two steps of the trimming at close, also run by the optimisation.
  // The index area gives 8 units back to the front of the data area when it
  // has 16 units of free room and the data area's bound allows: true when
  // it did. Nothing happens while the free runs were never loaded.
  bool GiveBackIndexRoom();
  // Cuts the file after the data blocks when a free run ends the data area.
  int CutFreeTail();
  // Puts the file back at its last commit, whether or not a write failed,
  // and reads the header, index and free chain again from there: what was
  // changed in memory since then is dropped too. The error code stays.
  void DiscardChange();

  int32_t Error() const { return error_; }
  void SetError(int32_t code) { error_ = code; }
  bool IsOpen() const { return file_.IsOpen(); }
  bool ReadOnly() const { return readOnly_; }
  bool WriteThrough() const { return writeThrough_; }
  DicHeader& Header() { return header_; }
  FileBuf& File() { return file_; }
  HVokaIndex<B>& Index() { return *index_; }
  HVokaData<B>& Data() { return *data_; }

  // Where `key` (stored form) is or belongs: the index names the block,
  // which is searched from there on, block after block while the key sorts
  // after all of a block's entries.
  Position<B> Locate(const Unit* key);

  // Loads the block at index position `pos` into the block buffer; 31 for
  // a position the index does not have.
  int LoadIndexPos(int32_t pos);
  // A hint that the block at index position pos is loaded next.
  void PrefetchIndexPos(int32_t pos);

  // Where the last insertion put its entry after every other entry of the
  // last block. A headword that sorts after that entry belongs there too:
  // loading a dictionary in order then neither walks the block to find the
  // place nor to insert. The point holds while the block buffer has not
  // changed since (HVokaData::Version).
  struct AppendPoint {
    int32_t pos = -1;
    int32_t block = -1;
    uint64_t version = 0;
    size_t end = 0;       // the block's terminator
    int64_t entries = 0;  // entries the block holds
    std::basic_string<Unit> word;  // its last headword
  };
  // Called right after such an insertion, with the buffer as it left it.
  void NoteAppend(int32_t pos, size_t end, int64_t entries, const std::basic_string<Unit>& word);
  // The append point of the block at `pos` while it holds, else null.
  const AppendPoint* AppendAt(int32_t pos) const;

 private:
  int SetUpFromHeader();
  int TrimAtClose();
  int WriteHeader();
  void Reload();
  bool AreasInFile(int64_t fileSize, int64_t areaOffset, int32_t areaSize, int32_t unit) const;
  int32_t PositionByFirstWord(int32_t u);
  int32_t PositionByFirstWord(int32_t u, const uint8_t* fileBytes, size_t n);
  int32_t PositionByFirstWordOf(int32_t u, const uint8_t* block, size_t n);

  int32_t error_ = 0;
  FileBuf file_;
  DicHeader header_;
  std::unique_ptr<HVokaIndex<B>> index_;
  std::unique_ptr<HVokaData<B>> data_;
  bool readOnly_ = false;
  bool writeThrough_ = true;
  bool countsUpdates_ = false;
  int32_t pendingBlock_ = -1;  // a block being entered into the index, -1 none
  std::vector<uint8_t> peek_;  // a block read beside the buffer
  std::vector<uint8_t> stretch_;  // the blocks a compaction step moves
  AppendPoint append_;
};

}  // namespace vk
