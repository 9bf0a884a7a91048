#include "dic/DicFile.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "entries/BlockEntries.h"
#include "entries/EntryCursor.h"
#include "format/BlockOrder.h"
#include "format/ByteOrder.h"
#include "format/HeaderCodec.h"
#include "text/Collation.h"

namespace vk {

template <class B>
int DicFile<B>::Open(const std::string& name, bool readOnly) {
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

template <class B>
int DicFile<B>::Create(const std::string& name, bool createOption) {
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

template <class B>
int DicFile<B>::FlushForClose() {
  if (!file_.IsOpen()) return 0;
  int rc = 0;
  if (data_ && data_->Flush() != 0) rc = -1;
  // A change in fast mode may have written nothing yet (a block emptied by
  // an erase is released in memory only): the index and the counts tell it
  // as well, and the header must then be written like after any change.
  const bool changed =
      file_.Written() ||
      (!readOnly_ && index_ && data_ && (index_->Changed() || data_->WordCount() != header_.wordCount()));
  if (changed && data_ && index_) {
    if (TrimAtClose() != 0) rc = -1;
    if (WriteHeader() != 0) rc = -1;
  }
  if (data_ && data_->Close() != 0) rc = -1;
  if (index_ && (changed || file_.Written()) && index_->Save() != 0) rc = -1;
  if (rc == 0 && file_.Commit(true) != 0) rc = -1;
  if (rc != 0) {
    const int32_t code = error_;
    file_.Rollback();
    error_ = code;
  }
  return rc;
}

template <class B>
int DicFile<B>::Close() {
  if (!file_.IsOpen()) return 0;
  const int rc = FlushForClose();
  data_.reset();
  index_.reset();
  append_ = AppendPoint();
  file_.Close();
  return rc;
}

template <class B>
int DicFile<B>::FullFlush() {
  if (data_->Flush() != 0) return -1;
  if (WriteHeader() != 0) return -1;
  if (index_->Changed() && index_->Save() != 0) return -1;
  return data_->SaveFreeChain();
}

template <class B>
int DicFile<B>::CommitChange() {
  if (FullFlush() != 0) return -1;
  return file_.Commit(false);
}

template <class B>
int DicFile<B>::SetFastMode(bool on) {
  if (!on && !writeThrough_) {
    writeThrough_ = true;
    // A read-only dictionary refused every change: there is nothing to
    // write, and its file cannot be written.
    if (!readOnly_ && (FullFlush() != 0 || file_.Commit(true) != 0)) {
      EndChange();
      file_.SetWriteBack(false);
      return -1;
    }
  }
  writeThrough_ = !on;
  // Fast mode also holds the file's writes back until the next commit; the
  // journal keeps the file at its last commit meanwhile.
  if (on && !readOnly_) file_.SetWriteBack(true);
  if (!on && file_.SetWriteBack(false) != 0) {
    EndChange();
    return -1;
  }
  return data_->SetDeferred(on);
}

template <class B>
void DicFile<B>::EndChange() {
  if (!file_.IsOpen()) return;
  if (!file_.ChangeFailed() && !(writeThrough_ && file_.ChangeOpen())) return;
  const int32_t code = error_;
  if (file_.Rollback() == 0) Reload();
  error_ = code ? code : kErrReadWrite;
}

template <class B>
int DicFile<B>::GrowIndexArea(int32_t k) {
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
      // The entry naming the block at unit 0, by its first headword when
      // that tells; else by a walk of the index.
      int32_t pos = PositionByFirstWord(0);
      if (pos < 0) pos = index_->FindBlock(0);
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
        if (pendingBlock_ == 0) pendingBlock_ = place;
        if (pos >= 0) index_->SetBlockNumber(pos, place);
      }
    }
    if (data_->ZeroUnits(0, m) != 0) return -1;
    data_->Shift(m);
    index_->Shift(m);
    if (pendingBlock_ >= 0) pendingBlock_ -= m;
    k -= m;
  }
  return 0;
}

template <class B>
int32_t DicFile<B>::IndexGrowthLeft() const {
  const int32_t unit = data_->UnitSize();
  const int32_t units = unit > 0 ? index_->AreaSize() / unit : kMaxIndexUnits;
  return units < kMaxIndexUnits ? kMaxIndexUnits - units : 0;
}

template <class B>
bool DicFile<B>::IndexCanTake(int64_t bytes, int32_t growUnits) const {
  const int32_t grow = std::min(growUnits, IndexGrowthLeft());
  return index_->Used() + bytes < int64_t(index_->AreaSize()) + int64_t(grow) * data_->UnitSize();
}

// The growth may move the new block (not yet named by the index) when it
// sits at unit 0, and shifts every number, so its number is followed
// through the growth.
template <class B>
int DicFile<B>::InsertIndex(int32_t pos, int32_t block, const Unit* word) {
  if (index_->Insert(pos, block, word) == 0) return 0;
  if (error_ != kErrDictionaryFull) return -1;
  pendingBlock_ = block;
  int rc = GrowIndexArea(4);
  block = pendingBlock_;
  pendingBlock_ = -1;
  if (rc != 0) return -1;
  return index_->Insert(pos, block, word);
}

template <class B>
int DicFile<B>::RenameIndex(int32_t pos, const Unit* word, int32_t growUnits) {
  if (index_->Rename(pos, word) == 0) return 0;
  if (error_ != kErrDictionaryFull || GrowIndexArea(growUnits) != 0) return -1;
  return index_->Rename(pos, word);
}

template <class B>
int DicFile<B>::CompactionStep() {
  if (index_->Count() == 0) return 0;
  if (data_->Flush() != 0) return -1;
  EmptyList* runs = data_->FreeRuns();
  // The lowest free run whose used stretch up to the next free run is short
  // enough beside it: the list knows it without a walk.
  const int32_t first = runs->FirstCloseGap();
  if (first < 0) return 0;
  const std::vector<EmptyList::Run>& list = runs->SortedRuns();
  const size_t i = static_cast<size_t>(
      std::lower_bound(list.begin(), list.end(), first, [](const EmptyList::Run& r, int32_t s) { return r.start < s; }) -
      list.begin());
  {
    const EmptyList::Run gap = list[i];
    const int32_t usedStart = gap.start + gap.length;
    const int32_t usedEnd = list[i + 1].start;
    // The stretch's blocks lie side by side, so the stretch moves down as
    // its bytes stand, in one read and one write. Where each block stands
    // in the index is found through the block's first headword, which
    // names it there, by a binary search; when that does not tell, from
    // one walk of the whole index for the stretch (a walk per block would
    // cost the index's length each time).
    const int32_t unit = data_->UnitSize();
    if (data_->ReadUnits(usedStart, usedEnd - usedStart, &stretch_) != 0) return -1;
    std::vector<std::pair<int32_t, int32_t>> places, moved;
    bool listed = false;
    for (int32_t u = usedStart; u < usedEnd;) {
      const uint8_t* block = stretch_.data() + size_t(u - usedStart) * size_t(unit);
      const int32_t units = UnitsOf(Load16<B::kFileOrder>(block));
      if (u + units > usedEnd) {
        // A block reaching into the free run after it: the runs are wrong.
        error_ = kErrDamaged;
        return -1;
      }
      int32_t pos = PositionByFirstWord(u, block, size_t(units) * size_t(unit));
      if (pos < 0) {
        if (!listed && index_->FindBlocks(usedStart, usedEnd, &places) != 0) return -1;
        listed = true;
        auto place = std::lower_bound(places.begin(), places.end(), std::make_pair(u, int32_t(-1)));
        if (place == places.end() || place->first != u) {
          error_ = kErrDamaged;
          return -1;
        }
        pos = place->second;
      }
      moved.emplace_back(pos, u - gap.length);
      u += units;
    }
    if (data_->WriteUnits(usedStart - gap.length, stretch_.data(), usedEnd - usedStart) != 0) return -1;
    for (const auto& m : moved) index_->SetBlockNumber(m.first, m.second);
    data_->MovedDown(usedStart, usedEnd, gap.length);
    runs->TakeAt(gap.start, gap.length);
    runs->Add(usedEnd - gap.length, gap.length);
    runs->Sort();
    return 1;
  }
}

// The index position of the entry naming block u, found by the block's
// first headword without touching the block buffer; -1 when the block cannot
// be read that way or the entry found names another block. The error cell
// stays as it was.
template <class B>
int32_t DicFile<B>::PositionByFirstWord(int32_t u) {
  const int32_t code = error_;
  if (data_->ReadBlockCopy(u, &peek_) != 0) {
    error_ = code;
    return -1;
  }
  return PositionByFirstWordOf(u, peek_.data(), peek_.size());
}

// The same for block u's bytes as the file holds them.
template <class B>
int32_t DicFile<B>::PositionByFirstWord(int32_t u, const uint8_t* fileBytes, size_t n) {
  if constexpr (B::kFileOrder == Endian::Little) {
    return PositionByFirstWordOf(u, fileBytes, n);
  } else {
    peek_.assign(fileBytes, fileBytes + n);
    BlockOrder<B>::ToMemory(peek_.data(), peek_.size());
    return PositionByFirstWordOf(u, peek_.data(), peek_.size());
  }
}

template <class B>
int32_t DicFile<B>::PositionByFirstWordOf(int32_t u, const uint8_t* block, size_t n) {
  EntryCursor<B> c(block, n);
  if (c.First() != WalkStatus::kEntry) return -1;
  const int32_t pos = index_->Find(c.word());
  return index_->BlockNumber(pos) == u ? pos : -1;
}

template <class B>
void DicFile<B>::NoteAppend(int32_t pos, size_t end, int64_t entries, const std::basic_string<Unit>& word) {
  append_.pos = pos;
  append_.block = data_->BufferedNumber();
  append_.version = data_->Version();
  append_.end = end;
  append_.entries = entries;
  append_.word = word;
}

template <class B>
const typename DicFile<B>::AppendPoint* DicFile<B>::AppendAt(int32_t pos) const {
  if (append_.pos != pos || !index_ || !data_ || pos != index_->Count() - 1) return nullptr;
  if (index_->BlockNumber(pos) != append_.block || data_->BufferedNumber() != append_.block ||
      data_->Version() != append_.version)
    return nullptr;
  return &append_;
}

template <class B>
Position<B> DicFile<B>::Locate(const Unit* key) {
  Position<B> p;
  if (index_->Count() == 0) return p;
  for (int32_t pos = index_->Find(key);; ++pos) {
    if (LoadIndexPos(pos) != 0) {
      p.located = Located::kFailed;
      return p;
    }
    // After the last entry of the last block, where the last insertion
    // went: every entry there sorts before that one, so before the key.
    if (const AppendPoint* a = AppendAt(pos); a && CompareWords(key, a->word.c_str()) > 0) {
      p.indexPos = pos;
      p.offset = a->end;
      return p;
    }
    BlockPosition<B> where;
    Found f = BlockEntries<B>::Locate(data_->Buffer(), data_->BufferSize(), key, &where);
    if (f == Found::kDamaged) {
      error_ = kErrDamaged;
      p.located = Located::kFailed;
      return p;
    }
    p.indexPos = pos;
    p.offset = where.offset;
    p.at = std::move(where.at);
    if (f == Found::kYes) {
      p.located = Located::kInBlock;
      return p;
    }
    if (pos + 1 >= index_->Count()) return p;
  }
}

template <class B>
int DicFile<B>::LoadIndexPos(int32_t pos) {
  if (pos < 0 || pos >= index_->Count()) {
    error_ = kErrDamaged;
    return -1;
  }
  return data_->Load(index_->BlockNumber(pos));
}

template <class B>
void DicFile<B>::PrefetchIndexPos(int32_t pos) {
  if (pos >= 0 && pos < index_->Count()) data_->Prefetch(index_->BlockNumber(pos));
}

// At close of a changed file: give 8 units of a roomy index area back to
// the data area, and cut a free run that ends the file.
template <class B>
int DicFile<B>::TrimAtClose() {
  if (!data_->HasFreeRuns()) return 0;
  GiveBackIndexRoom();
  return CutFreeTail();
}

template <class B>
bool DicFile<B>::GiveBackIndexRoom() {
  if (!data_->HasFreeRuns()) return false;
  const int32_t unit = data_->UnitSize();
  // The give-back makes the data area 8 units longer, which its bound
  // must allow.
  if (index_->FreeRoom() < 16 * unit || int64_t(data_->End()) + 8 > B::kMaxDataUnits) return false;
  index_->Shift(-8);
  data_->Shift(-8);
  data_->FreeRuns()->Add(0, 8);
  return true;
}

template <class B>
int DicFile<B>::CutFreeTail() {
  if (!data_->HasFreeRuns()) return 0;
  EmptyList* runs = data_->FreeRuns();
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

template <class B>
void DicFile<B>::DiscardChange() {
  if (!file_.IsOpen()) return;
  const int32_t code = error_;
  if (file_.Rollback() == 0) Reload();
  error_ = code;
}

template <class B>
int DicFile<B>::WriteHeader() {
  HeaderState s;
  s.indexCount = index_->Count();
  s.blockCount = data_->End();
  s.freeBlock = data_->FirstFree();
  s.wordCount = data_->WordCount();
  s.indexAreaBytes = index_->AreaSize();
  s.wideIndex = index_->WideNeeded();
  UpdateHeader(header_, s);
  if (countsUpdates_) header_.setUpdateCount(header_.updateCount() + 1);
  return HeaderCodec<B>::Write(file_, header_);
}

template <class B>
int DicFile<B>::SetUpFromHeader() {
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
  // A new block file counts its versions afresh: a point of the old one
  // means nothing.
  append_ = AppendPoint();
  if (index_->SetUp(areaOffset, areaSize, header_.indexCount(), header_.indexWide() != 0, unit) != 0) return -1;
  if (data_->SetUp(areaOffset + areaSize, unit, header_.freeBlock(), header_.blockCount(), header_.wordCount()) != 0)
    return -1;
  writeThrough_ = true;
  return 0;
}

// Reads the header, index and free chain again after a rollback, keeping
// the mode. A file that cannot be read again is closed, so that nothing
// more is written to it.
template <class B>
void DicFile<B>::Reload() {
  const bool fast = !writeThrough_;
  if (HeaderCodec<B>::Read(file_, header_) != 0 || SetUpFromHeader() != 0) {
    file_.Close();
    return;
  }
  if (fast) {
    writeThrough_ = false;
    data_->SetDeferred(true);
  }
}

// Whether the file holds the areas the header places: the extension and
// the whole index area, and the data area up to its last unit, which may
// be incomplete (nothing is ever written past a block's last byte that was
// stored, so a file can end inside the last unit). Sizes read from a file
// are believed only this far, before anything is read, allocated or
// written on their account.
template <class B>
bool DicFile<B>::AreasInFile(int64_t fileSize, int64_t areaOffset, int32_t areaSize, int32_t unit) const {
  const int64_t dataOffset = areaOffset + areaSize;
  if (dataOffset > fileSize) return false;
  const int32_t blocks = header_.blockCount();
  return blocks == 0 || dataOffset + int64_t(blocks - 1) * unit < fileSize;
}

// Drops a half-opened file without writing anything.
template <class B>
void DicFile<B>::Abandon() {
  data_.reset();
  index_.reset();
  append_ = AppendPoint();
  int32_t code = error_;
  file_.Close();
  error_ = code;
}

template class DicFile<TraitsVKCU8L>;
template class DicFile<TraitsVKCUB>;
template class DicFile<TraitsVKCUL>;
template class DicFile<TraitsVKC620>;

}  // namespace vk
