// IndexData: an open dictionary file with its header, block index and block
// file, the error cell every layer reports into, and the cursor's block. It
// opens, creates, flushes and closes the file, and carries the operations
// that need both the index and the block file: growing the index area into
// the data area, the index updates that grow it when full, the compaction
// step after a block was released or split, and the trimming at close.
//
// Write-through (the default) flushes after every change; in fast mode the
// block file defers its writes and the header, index and free chain are
// written only when fast mode ends or the file closes.
#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "blocks/HVokaData.h"
#include "file/Env.h"
#include "file/ErrorCodes.h"
#include "file/FileBuf.h"
#include "format/DicHeader.h"
#include "format/HeaderCodec.h"
#include "index/HVokaIndex.h"

namespace vk {

template <class B>
class IndexData {
 public:
  using Unit = typename B::Unit;

  explicit IndexData(Env* env = Env::Default()) : file_(env, &error_) {}
  virtual ~IndexData() { Close(); }
  IndexData(const IndexData&) = delete;
  IndexData& operator=(const IndexData&) = delete;

  // Opens an existing dictionary. A read-write attempt refused with code 16
  // is repeated read-only. 0, or -1 with the code in Error().
  int Open(const std::string& name, bool readOnly) {
    if (file_.IsOpen()) Close();
    readOnly_ = readOnly;
    int rc = readOnly ? file_.OpenRead(name) : file_.OpenReadWrite(name);
    if (rc != 0 && !readOnly && error_ == kErrCannotOpen) {
      readOnly_ = true;
      rc = file_.OpenRead(name);
    }
    if (rc != 0) return -1;
    if (HeaderCodec<B>::Read(file_, header_) != 0 || SetUpFromHeader() != 0) {
      Abandon();
      return -1;
    }
    return 0;
  }

  // Creates (or replaces) a dictionary file holding only the header.
  int Create(const std::string& name, bool createOption) {
    if (file_.IsOpen()) Close();
    readOnly_ = false;
    if (file_.Create(name) != 0) return -1;
    HeaderCodec<B>::BuildTemplate(header_, createOption);
    if (HeaderCodec<B>::Write(file_, header_) != 0 || SetUpFromHeader() != 0 || file_.Commit(true) != 0) {
      Abandon();
      return -1;
    }
    return 0;
  }

  // Writes what is pending, trims the file when it was changed, and closes
  // it. Whatever fails on the way, the file keeps its last committed state.
  int Close() {
    if (!file_.IsOpen()) return 0;
    int rc = 0;
    if (data_ && data_->Flush() != 0) rc = -1;
    if (file_.Written() && data_ && index_) {
      if (TrimAtClose() != 0) rc = -1;
      if (WriteHeader() != 0) rc = -1;
    }
    if (data_ && data_->Close() != 0) rc = -1;
    if (index_ && file_.Written() && index_->Save() != 0) rc = -1;
    if (rc == 0 && file_.Commit(true) != 0) rc = -1;
    if (rc != 0) {
      const int32_t code = error_;
      file_.Rollback();
      error_ = code;
    }
    data_.reset();
    index_.reset();
    file_.Close();
    return rc;
  }

  // The flush after a change: buffered block, header, index when changed,
  // free chain.
  int FullFlush() {
    if (data_->Flush() != 0) return -1;
    if (WriteHeader() != 0) return -1;
    if (index_->Changed() && index_->Save() != 0) return -1;
    return data_->SaveFreeChain();
  }

  // A change made with fast mode off is flushed and committed before the
  // call that made it returns.
  int CommitChange() {
    if (FullFlush() != 0) return -1;
    return file_.Commit(false);
  }

  // Fast mode on defers writing; switching it off flushes and commits
  // everything, forced to disk.
  int SetFastMode(bool on) {
    if (!on && !writeThrough_) {
      writeThrough_ = true;
      if (FullFlush() != 0 || file_.Commit(true) != 0) {
        EndChange();
        return -1;
      }
    }
    writeThrough_ = !on;
    return data_->SetDeferred(on);
  }

  // Called when a call that may have changed the file ends. A change whose
  // writes failed, and with fast mode off any change left uncommitted (the
  // call failed part-way), is rolled back, and the dictionary is read again
  // from its committed state. The error code stays the failure's.
  void EndChange() {
    if (!file_.IsOpen()) return;
    if (!file_.ChangeFailed() && !(writeThrough_ && file_.ChangeOpen())) return;
    const int32_t code = error_;
    if (file_.Rollback() == 0) Reload();
    error_ = code ? code : kErrReadWrite;
  }

  // Makes the index area k units larger by taking units from the front of
  // the data area: a block at unit 0 moves away, a free unit 0 is taken.
  // The area never passes kMaxIndexUnits: it grows by what is left when
  // that is less than k, and refuses with 3 when nothing is left.
  int GrowIndexArea(int32_t k) {
    const int32_t left = IndexGrowthLeft();
    if (k > 0 && left == 0) {
      error_ = kErrDictionaryFull;
      return -1;
    }
    if (k > left) k = left;
    while (k > 0) {
      int32_t m;
      if (data_->End() == 0) {
        if (data_->NewBlock(static_cast<uint16_t>(k)) < 0) return -1;
        m = k;
      } else {
        int32_t pos = index_->FindBlock(0);
        EmptyList* runs = data_->FreeRuns();
        if (pos < 0 && runs->FreeRunLengthAt(0) > 0) {
          runs->TakeAt(0, 1);
          m = 1;
        } else {
          // The file's size word is the block's only after a deferred
          // change to it has been written.
          if (data_->Flush() != 0) return -1;
          int32_t sizeWord = data_->ReadSizeWord(0);
          if (sizeWord < 0) return -1;
          int32_t units = UnitsOf(static_cast<uint16_t>(sizeWord));
          int32_t place = data_->RelocateBlock(0, k, k < units ? k : units);
          if (place < 0) return -1;
          m = k < units ? k : units;
          if (cursorBlock_ == 0) cursorBlock_ = place;
          if (pendingBlock_ == 0) pendingBlock_ = place;
          if (pos >= 0) index_->SetBlockNumber(pos, place);
        }
      }
      cursorChanged_ |= 1;
      if (data_->ZeroUnits(0, m) != 0) return -1;
      data_->Shift(m);
      index_->Shift(m);
      if (cursorBlock_ >= 0) cursorBlock_ -= m;
      if (pendingBlock_ >= 0) pendingBlock_ -= m;
      k -= m;
    }
    return 0;
  }

  // Units the index area can still grow by.
  int32_t IndexGrowthLeft() const {
    const int32_t unit = data_->UnitSize();
    const int32_t units = unit > 0 ? index_->AreaSize() / unit : kMaxIndexUnits;
    return units < kMaxIndexUnits ? kMaxIndexUnits - units : 0;
  }

  // Whether an index change that needs `bytes` more bytes can be made, with
  // the growth of up to `growUnits` units that the change would make.
  bool IndexCanTake(int64_t bytes, int32_t growUnits) const {
    const int32_t grow = std::min(growUnits, IndexGrowthLeft());
    return index_->Used() + bytes < int64_t(index_->AreaSize()) + int64_t(grow) * data_->UnitSize();
  }

  // Index insert that grows the area by 4 units and retries once when full.
  // The growth may move the new block (not yet named by the index) when it
  // sits at unit 0, and shifts every number, so its number is followed
  // through the growth.
  int InsertIndex(int32_t pos, int32_t block, const Unit* word) {
    if (index_->Insert(pos, block, word) == 0) return 0;
    if (error_ != kErrDictionaryFull) return -1;
    pendingBlock_ = block;
    int rc = GrowIndexArea(4);
    block = pendingBlock_;
    pendingBlock_ = -1;
    if (rc != 0) return -1;
    return index_->Insert(pos, block, word);
  }

  // Index rename that grows the area by 1 unit and retries once when full.
  int RenameIndex(int32_t pos, const Unit* word) {
    if (index_->Rename(pos, word) == 0) return 0;
    if (error_ != kErrDictionaryFull || GrowIndexArea(1) != 0) return -1;
    return index_->Rename(pos, word);
  }

  // Closes the first gap that is small against the used stretch after it by
  // moving that stretch down. 1 when blocks moved, 0 when none, -1 on failure.
  int CompactionStep() {
    if (index_->Count() == 0) return 0;
    if (data_->Flush() != 0) return -1;
    EmptyList* runs = data_->FreeRuns();
    runs->Sort();
    const auto& list = runs->Runs();
    for (size_t i = 0; i + 1 < list.size(); ++i) {
      const EmptyList::Run gap = list[i];
      const int32_t usedStart = gap.start + gap.length;
      const int32_t usedEnd = list[i + 1].start;
      if (int64_t(20) * gap.length < int64_t(usedEnd) - usedStart) continue;
      // Where each block of the stretch stands in the index, from one walk
      // of the index: a stretch holds several blocks, and a search for each
      // would walk the index once per block.
      std::vector<std::pair<int32_t, int32_t>> places;
      if (index_->FindBlocks(usedStart, usedEnd, &places) != 0) return -1;
      for (int32_t u = usedStart; u < usedEnd;) {
        auto place = std::lower_bound(places.begin(), places.end(), std::make_pair(u, int32_t(-1)));
        if (place == places.end() || place->first != u) {
          error_ = kErrDamaged;
          return -1;
        }
        const int32_t pos = place->second;
        if (data_->Load(u) != 0) return -1;
        int32_t units = UnitsOf(data_->BufferedSizeWord());
        int32_t to = u - gap.length;
        if (data_->MarkWritten(to) != 0) return -1;
        index_->SetBlockNumber(pos, to);
        if (cursorBlock_ == u) cursorBlock_ = to;
        u += units;
      }
      if (data_->Flush() != 0) return -1;
      runs->TakeAt(gap.start, gap.length);
      runs->Add(usedEnd - gap.length, gap.length);
      runs->Sort();
      return 1;
    }
    return 0;
  }

  // At close of a changed file: give 8 units of a roomy index area back to
  // the data area, and cut a free run that ends the file.
  int TrimAtClose() {
    if (!data_->HasFreeRuns()) return 0;
    EmptyList* runs = data_->FreeRuns();
    const int32_t unit = data_->UnitSize();
    // The give-back makes the data area 8 units longer, which its bound
    // must allow.
    if (index_->FreeRoom() >= 16 * unit && int64_t(data_->End()) + 8 <= B::kMaxDataUnits) {
      index_->Shift(-8);
      data_->Shift(-8);
      runs->Add(0, 8);
      if (cursorBlock_ >= 0) cursorBlock_ += 8;
    }
    int32_t obtained = 0;
    int32_t start = runs->Take(0x7FFF, &obtained);
    if (start < 0) return 0;
    if (start + obtained == data_->End()) {
      data_->SetEnd(start);
      return data_->Truncate();
    }
    runs->Add(start, obtained);
    return 0;
  }

  int WriteHeader() {
    HeaderState s;
    s.indexCount = index_->Count();
    s.blockCount = data_->End();
    s.freeBlock = data_->FirstFree();
    s.wordCount = data_->WordCount();
    s.indexAreaBytes = index_->AreaSize();
    s.wideIndex = index_->WideNeeded();
    UpdateHeader(header_, s);
    return HeaderCodec<B>::Write(file_, header_);
  }

  int32_t Error() const { return error_; }
  void SetError(int32_t code) { error_ = code; }
  int32_t* ErrorCell() { return &error_; }
  bool IsOpen() const { return file_.IsOpen(); }
  bool ReadOnly() const { return readOnly_; }
  bool WriteThrough() const { return writeThrough_; }
  DicHeader& Header() { return header_; }
  FileBuf& File() { return file_; }
  HVokaIndex<B>& Index() { return *index_; }
  HVokaData<B>& Data() { return *data_; }
  int32_t CursorBlock() const { return cursorBlock_; }
  void SetCursorBlock(int32_t n) { cursorBlock_ = n; }
  int32_t CursorChanged() const { return cursorChanged_; }
  void ClearCursorChanged() { cursorChanged_ = 0; }

 private:
  int SetUpFromHeader() {
    const int32_t unit = header_.blockSize();
    // A unit must hold at least a free unit's link and an empty block.
    if (unit < 8 || header_.indexBlocks() < 0 || header_.blockCount() < 0) {
      error_ = kErrDamaged;
      return -1;
    }
    const int64_t areaOffset = header_.IndexAreaOffset();
    const int32_t areaSize = int32_t(header_.indexBlocks()) * unit;
    const int64_t fileSize = file_.Size();
    if (fileSize < 0) return -1;
    if (!AreasInFile(fileSize, areaOffset, areaSize, unit)) {
      error_ = kErrDamaged;
      return -1;
    }
    index_.reset(new HVokaIndex<B>(&file_, &error_));
    data_.reset(new HVokaData<B>(&file_, &error_));
    if (index_->SetUp(areaOffset, areaSize, header_.indexCount(), header_.indexWide() != 0, unit) != 0) return -1;
    if (data_->SetUp(areaOffset + areaSize, unit, header_.freeBlock(), header_.blockCount(), header_.wordCount()) != 0)
      return -1;
    writeThrough_ = true;
    cursorBlock_ = -1;
    cursorChanged_ = 0;
    return 0;
  }

  // Reads the header, index and free chain again after a rollback, keeping
  // the mode. A file that cannot be read again is closed, so that nothing
  // more is written to it.
  void Reload() {
    const bool fast = !writeThrough_;
    if (HeaderCodec<B>::Read(file_, header_) != 0 || SetUpFromHeader() != 0) {
      file_.Close();
      return;
    }
    if (fast) {
      writeThrough_ = false;
      data_->SetDeferred(true);
    }
    cursorChanged_ |= 1;
  }

  // Whether the file holds the areas the header places: the extension and
  // the whole index area, and the data area up to its last unit, which may
  // be incomplete (nothing is ever written past a block's last byte that was
  // stored, so a file can end inside the last unit). Sizes read from a file
  // are believed only this far, before anything is read, allocated or
  // written on their account.
  bool AreasInFile(int64_t fileSize, int64_t areaOffset, int32_t areaSize, int32_t unit) const {
    const int64_t dataOffset = areaOffset + areaSize;
    if (dataOffset > fileSize) return false;
    const int32_t blocks = header_.blockCount();
    return blocks == 0 || dataOffset + int64_t(blocks - 1) * unit < fileSize;
  }

  // Drops a half-opened file without writing anything.
  void Abandon() {
    data_.reset();
    index_.reset();
    int32_t code = error_;
    file_.Close();
    error_ = code;
  }

  int32_t error_ = 0;
  FileBuf file_;
  DicHeader header_;
  std::unique_ptr<HVokaIndex<B>> index_;
  std::unique_ptr<HVokaData<B>> data_;
  bool readOnly_ = false;
  bool writeThrough_ = true;
  int32_t cursorBlock_ = -1;   // physical number of the cursor's block, -1 none
  int32_t cursorChanged_ = 0;  // bit 0: block numbers have changed
  int32_t pendingBlock_ = -1;  // a block being entered into the index, -1 none
};

}  // namespace vk
