// The block editor is one concept, the surgery on data blocks together with
// its undo paths, which would be scattered by a split of this file; it is
// longer than the others for that reason.
#include "dic/BlockEditor.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "entries/EntryCursor.h"
#include "entries/FieldDecoder.h"
#include "file/ErrorCodes.h"
#include "text/Collation.h"

namespace vk {

int64_t EntriesPerBlockLimit(uint64_t wordCount) {
  int64_t i = 8;
  for (; i <= 20; ++i)
    if (uint64_t(i) << i > wordCount) break;
  return 32 * i;
}

namespace {

// Index room below which a split grows the area first.
template <class B>
constexpr int32_t SplitIndexRoom() {
  return sizeof(typename B::Unit) == 1 ? 261 : 510;
}
// Index room at or below which a long entry grows the area first.
constexpr int32_t kLongIndexRoom = 260;

// Bytes the index accounts an entry for w at.
template <class B>
int64_t IndexBytes(const std::basic_string<typename B::Unit>& w) {
  return int64_t(w.size()) * int64_t(sizeof(typename B::Unit)) + IndexEntryOverhead<B>();
}
template <class B>
int64_t IndexBytes(const typename B::Unit* w) {
  return int64_t(UnitLength(w)) * int64_t(sizeof(typename B::Unit)) + IndexEntryOverhead<B>();
}

template <class W>
uint8_t Shared(const W& a, const W& b) {
  return static_cast<uint8_t>(CommonPrefixLength(a.c_str(), b.c_str()));
}

template <class B>
EntryImage<B> MakeItem(const std::basic_string<typename B::Unit>& w, const EncodedFields& enc) {
  EntryImage<B> e;
  e.word = w;
  e.attribute = enc.attribute;
  e.area = enc.area.data();
  e.areaLen = enc.area.size();
  return e;
}

// The entry at which a block splits when entry `list[e]` has just been put
// in place: of the entries after the first, the one whose start b makes
// (b + 2) mod unit largest, the later one on ties, so that the first block's
// last unit is as full as it can be. -1 when there is no second entry.
template <class B>
int64_t ChooseSplitEntry(const typename BlockImage<B>::List& list, int32_t unit) {
  int64_t best = -1;
  uint64_t bestValue = 0;
  size_t b = kFirstEntryOffset + (list.empty() ? 0 : list[0].Bytes());
  for (size_t i = 1; i < list.size(); ++i) {
    uint64_t value = (b + 2) % uint64_t(unit);
    if (best < 0 || value >= bestValue) {
      best = int64_t(i);
      bestValue = value;
    }
    b += list[i].Bytes();
  }
  return best;
}

}  // namespace

template <class B>
int BlockEditor<B>::Fail(int32_t code) {
  file_->SetError(code);
  return -1;
}

template <class B>
int BlockEditor<B>::ReadImage(Image* img) {
  if (!img->Read(Buf(), BufBytes())) return Fail(kErrDamaged);
  return 0;
}

template <class B>
int BlockEditor<B>::Encode(const Word& w, const Japa<B>& f, EncodedFields* enc) {
  if (FieldEncoder<B>::Encode(f, w.size(), UnitBytes(), enc) != 0) return Fail(kErrTooLarge);
  return 0;
}

template <class B>
int BlockEditor<B>::ReadWhole(const Position<B>& at, Japa<B>* out) {
  if (LoadPos(at.indexPos) != 0) return -1;
  EntryView v;
  if (ParseEntry<B>(Buf(), BufBytes(), at.offset, &v) != WalkStatus::kEntry) return Fail(kErrDamaged);
  FieldDecoder<B>::Decode(Buf() + v.fieldOffset, v.fieldLength, v.attribute, v.isLong, out, kWholeTexts);
  return 0;
}

template <class B>
int BlockEditor<B>::PatchAttribute(const Position<B>& at, const std::function<uint8_t(uint8_t)>& change) {
  const int32_t pos = at.indexPos;
  if (LoadPos(pos) != 0) return -1;
  EntryView v;
  if (ParseEntry<B>(Buf(), BufBytes(), at.offset, &v) != WalkStatus::kEntry) return Fail(kErrDamaged);
  const size_t where = v.offset + (v.isLong ? kLongHeaderBytes : kShortHeaderBytes) - 1;
  const uint8_t stored = Buf()[where];
  Buf()[where] = static_cast<uint8_t>((change(stored) & ~kAttrExtended) | (stored & kAttrExtended));
  if (Data().MarkWritten(Index().BlockNumber(pos)) != 0) {
    Buf()[where] = stored;
    return -1;
  }
  return 0;
}

// Refuses with 3, before anything changes, an index change of `bytes` more
// bytes that the area cannot take even after the growth of up to `units`
// units that the change makes when the area is full.
template <class B>
int BlockEditor<B>::IndexRoomFor(int64_t bytes, int32_t units) {
  return file_->IndexCanTake(bytes, units) ? 0 : Fail(kErrDictionaryFull);
}

// Grows the index area ahead of a step that may want the room. An area at
// its bound goes on as it is: the step that needs the room refuses then.
template <class B>
int BlockEditor<B>::GrowIndexAhead(int32_t units) {
  return file_->IndexGrowthLeft() == 0 ? 0 : file_->GrowIndexArea(units);
}

template <class B>
int BlockEditor<B>::CompactAfterSplit() {
  int r = file_->CompactionStep();
  if (r < 0) return -1;
  if (r == 1 && Data().WordCount() % 10 == 0) {
    r = file_->CompactionStep();
    if (r < 0) return -1;
    if (r == 1 && file_->CompactionStep() < 0) return -1;
  }
  return 0;
}

// ---- insert ----

template <class B>
int BlockEditor<B>::Insert(const Position<B>& p, const Word& w, const EncodedFields& enc) {
  if (B::kLongEntries && enc.longEntry) return InsertLong(p, w, enc);
  if (p.indexPos < 0) return InsertIntoNewBlock(0, w, enc);
  const int32_t pos = p.indexPos;
  const size_t offset = p.offset;
  if (LoadPos(pos) != 0) return -1;
  // Beside a long entry a short one starts a block of its own.
  if (BufIsLong()) return InsertIntoNewBlock(offset <= kFirstEntryOffset ? pos : pos + 1, w, enc);
  if (offset <= kFirstEntryOffset && IndexRoomFor(IndexBytes<B>(w) - IndexBytes<B>(Index().Word(pos)), 2) != 0)
    return -1;
  const Fit fit = InsertIntoBlock(pos, offset, w, enc);
  if (fit == Fit::kFailed) return -1;
  if (fit == Fit::kMustSplit) {
    if (Index().FreeRoom() < SplitIndexRoom<B>() && GrowIndexAhead(4) != 0) return -1;
    NewEntry e{&w, &enc, false};
    if (Split(pos, offset, &e) != 0) return -1;
    return CompactAfterSplit();
  }
  if (offset <= kFirstEntryOffset && file_->RenameIndex(pos, w.c_str(), 2) != 0) {
    // The block cannot be named by its new first headword: take it out again.
    int32_t code = file_->Error();
    RemoveEntry(pos, kFirstEntryOffset);
    return Fail(code);
  }
  return 0;
}

// A one-unit block for the entry, entered in the index at `at`.
template <class B>
int BlockEditor<B>::InsertIntoNewBlock(int32_t at, const Word& w, const EncodedFields& enc) {
  if (IndexRoomFor(IndexBytes<B>(w), 4) != 0) return -1;
  int32_t n = Data().NewBlock(1);
  if (n < 0) return -1;
  if (file_->InsertIndex(at, n, w.c_str()) != 0) {
    int32_t code = file_->Error();
    if (Data().BufferedNumber() >= 0) Data().FreeBlock(Data().BufferedNumber());
    return Fail(code);
  }
  Fit fit = InsertIntoBlock(at, kFirstEntryOffset, w, enc);
  if (fit == Fit::kMustSplit) {
    Fail(kErrDamaged);
    fit = Fit::kFailed;
  }
  if (fit == Fit::kFailed) {
    int32_t code = file_->Error();
    if (LoadPos(at) == 0) Data().FreeBlock(Index().BlockNumber(at));
    Index().Remove(at);
    return Fail(code);
  }
  return 0;
}

// Undoes the resizing of the buffered block: it goes back to `units0` units
// at `n0` with its content as `img` holds it. `n` and `units` say where it
// is now.
template <class B>
void BlockEditor<B>::RestoreBlock(int32_t n0, int32_t units0, int32_t n, int32_t units, const uint8_t* raw,
                                  size_t bytes, bool rewrite) {
  int32_t code = file_->Error();
  if (n != n0) {
    // It moved: the new place is given back and the old one taken again.
    // The old units may have served a block made meanwhile, so the block
    // goes back from the copy, not from the file.
    Data().FreeRuns()->Add(n, units);
    Data().FreeRuns()->TakeAt(n0, units0);
    Data().WriteBlockImage(n0, raw, bytes);
    Data().Load(n0);
  } else {
    if (units < units0) Data().GrowBlock(n0, units, units0, true);
    else if (units > units0) Data().ShrinkBlock(n0, units0);
    if (BufBytes() == bytes) std::memcpy(Buf(), raw, bytes);
    if (rewrite || units != units0) Data().MarkWritten(n0);
  }
  file_->SetError(code);
}

// Puts (w, enc) before the entry at `offset` of the short-entry block at
// index position `pos`.
//
// The block is edited in place: the new entry goes in at the offset, the
// follower's header and stored tail are rewritten for its new compression
// count, and everything after the follower's tail moves by the difference.
// That gives the bytes that laying out the whole entry list again would (see
// entries/BlockImage.h), without taking the block apart. The walk over the
// block checks all of it, as reading it into a list does.
template <class B>
typename BlockEditor<B>::Fit BlockEditor<B>::InsertIntoBlock(int32_t pos, size_t offset, const Word& w,
                                                             const EncodedFields& enc) {
  using L = EntryLayout<B>;
  constexpr size_t U = L::kUnitBytes;
  if (LoadPos(pos) != 0) return Fit::kFailed;
  const int32_t n0 = Index().BlockNumber(pos);
  const int32_t unit = UnitBytes();
  if (offset == 0) offset = kFirstEntryOffset;
  Unit before[kWordBufferUnits];
  Unit follower[kWordBufferUnits];
  before[0] = follower[0] = 0;
  size_t followerLen = 0;
  EntryView at;
  bool found = false;
  int64_t entries = 0;
  size_t used = 0;
  const typename DicFile<B>::AppendPoint* append = file_->AppendAt(pos);
  if (append && append->end == offset) {
    // After the entry the last insertion appended: the block is as that
    // insertion checked and left it.
    entries = append->entries;
    used = append->end;
    std::copy(append->word.c_str(), append->word.c_str() + append->word.size() + 1, before);
  } else {
    if (BufIsLong()) {
      Fail(kErrDamaged);
      return Fit::kFailed;
    }
    // One walk: the entry count, the terminator, the headword before the
    // offset and the entry at it.
    EntryCursor<B> c(Buf(), BufBytes());
    WalkStatus st;
    for (st = c.First(); st == WalkStatus::kEntry; st = c.Next(), ++entries) {
      const EntryView& v = c.entry();
      if (v.offset == offset) {
        found = true;
        at = v;
        followerLen = c.wordLength();
        std::copy(c.word(), c.word() + followerLen + 1, follower);
      }
      if (v.next == offset) std::copy(c.word(), c.word() + c.wordLength() + 1, before);
    }
    used = c.offset();
    if (st != WalkStatus::kEnd || (!found && offset != used)) {
      Fail(kErrDamaged);
      return Fit::kFailed;
    }
  }
  const uint8_t eCount = offset > kFirstEntryOffset ? static_cast<uint8_t>(CommonPrefixLength(before, w.c_str())) : 0;
  const size_t eBytes = kShortHeaderBytes + (w.size() - eCount + 1) * U + enc.area.size();
  uint8_t fCount = 0;
  int64_t grows = int64_t(eBytes);
  if (found) {
    fCount = static_cast<uint8_t>(CommonPrefixLength(w.c_str(), follower));
    grows += (int64_t(at.compression) - int64_t(fCount)) * int64_t(U);
  }
  const int64_t newUsed = int64_t(used) + grows;
  const int32_t units0 = UnitsOf(Data().BufferedSizeWord());
  int32_t n = n0, units = units0;
  if (newUsed + int64_t(kShortTerminatorBytes) > int64_t(BufBytes())) {
    if (units0 > 1 && (entries > EntriesLimit() || 64 * entries < int64_t(BufBytes()) + int64_t(eBytes)))
      return Fit::kMustSplit;
    units = UnitsFor(uint64_t(newUsed) + kShortTerminatorBytes, unit);
    if (units > kMaxBlockUnits) {
      Fail(kErrTooLarge);
      return Fit::kFailed;
    }
  }
  // A write that can fail may have to put the block back as it was.
  if (!Data().Deferred()) undo_.assign(Buf(), Buf() + BufBytes());
  if (units != units0) {
    n = Data().GrowBlock(n0, units0, units, true);
    if (n < 0) return Fit::kFailed;
  }
  uint8_t* b = Buf();
  if (found) {
    // Everything after the follower's tail moves; its header and tail are
    // written anew behind the new entry.
    const size_t rest = at.fieldOffset;
    const size_t restTo = offset + eBytes + kShortHeaderBytes + (followerLen - fCount + 1) * U;
    std::memmove(b + restTo, b + rest, used - rest);
    uint8_t* p = b + offset + eBytes;
    const uint8_t attribute = at.attribute;
    StoreLE16(p, static_cast<uint16_t>((followerLen - fCount + 1) * U + at.fieldLength));
    p[2] = fCount;
    p[3] = attribute;
    p += kShortHeaderBytes;
    for (size_t i = fCount; i < followerLen; ++i, p += U) L::StoreUnit(p, follower[i]);
    L::StoreUnit(p, 0);
  }
  uint8_t* p = b + offset;
  StoreLE16(p, static_cast<uint16_t>(eBytes - kShortHeaderBytes));
  p[2] = eCount;
  p[3] = enc.attribute;
  p += kShortHeaderBytes;
  for (size_t i = eCount; i < w.size(); ++i, p += U) L::StoreUnit(p, w[i]);
  L::StoreUnit(p, 0);
  p += U;
  if (!enc.area.empty()) std::memcpy(p, enc.area.data(), enc.area.size());
  std::memset(b + newUsed, 0, BufBytes() - size_t(newUsed));
  if (Data().MarkWritten(n) != 0) {
    RestoreBlock(n0, units0, n, units, undo_.data(), undo_.size(), true);
    return Fit::kFailed;
  }
  AddCount(1);
  if (n != n0) Index().SetBlockNumber(pos, n);
  if (!found && pos == Index().Count() - 1) file_->NoteAppend(pos, size_t(newUsed), entries + 1, w);
  return n != n0 ? Fit::kMoved : Fit::kDone;
}

// Takes the entry at `offset` out of the block at `pos` again, without any
// index change (the undo of an insert).
template <class B>
void BlockEditor<B>::RemoveEntry(int32_t pos, size_t offset) {
  int32_t code = file_->Error();
  if (LoadPos(pos) == 0) {
    Image img;
    if (img.Read(Buf(), BufBytes())) {
      int64_t k = img.IndexOf(offset);
      if (k >= 0 && size_t(k) < img.entries().size()) {
        List list = img.entries();
        uint8_t c1 = list[size_t(k)].count;
        list.erase(list.begin() + k);
        if (size_t(k) < list.size() && list[size_t(k)].count > c1) list[size_t(k)].count = c1;
        int32_t units = UnitsOf(Data().BufferedSizeWord());
        int32_t want = UnitsFor(Image::ContentBytes(list), UnitBytes());
        if (want < units) Data().ShrinkBlock(Index().BlockNumber(pos), want);
        Image::Write(list, Buf(), BufBytes());
        if (Data().MarkWritten(Index().BlockNumber(pos)) == 0) AddCount(-1);
      }
    }
  }
  file_->SetError(code);
}

// ---- split ----

// Splits the short-entry block at `pos`. With `e` the new (or changed)
// entry at `offset` takes its place in whichever half it falls; without,
// the entry at `offset` starts the new block.
template <class B>
int BlockEditor<B>::Split(int32_t pos, size_t offset, const NewEntry* e) {
  if (LoadPos(pos) != 0) return -1;
  const int32_t unit = UnitBytes();
  Image img;
  if (ReadImage(&img) != 0) return -1;
  const int64_t k = img.IndexOf(offset);
  if (k < 0) return Fail(kErrDamaged);
  // The entries as they will be once e is in place, taken over from the
  // image (its copy of the block stays for the undo).
  List all = img.TakeEntries();
  const size_t oldCount = all.size();
  // The stored count of the entry at k, which the entry after a new one keeps.
  const uint8_t countAtK = size_t(k) < oldCount ? all[size_t(k)].count : 0;
  int64_t ei = -1;
  if (e) {
    Item item = MakeItem<B>(*e->word, *e->enc);
    if (e->replaces) {
      if (size_t(k) >= oldCount) return Fail(kErrDamaged);
      item.count = all[size_t(k)].count;
      all[size_t(k)] = std::move(item);
    } else {
      item.count = k > 0 ? Shared(all[size_t(k) - 1].word, *e->word) : 0;
      if (size_t(k) < oldCount) all[size_t(k)].count = Shared(*e->word, all[size_t(k)].word);
      all.insert(all.begin() + k, std::move(item));
    }
    ei = k;
  }
  const int64_t s = e ? ChooseSplitEntry<B>(all, unit) : k;
  if (s < 1 || size_t(s) >= all.size()) return Fail(kErrDamaged);
  const bool eSecond = e && s <= ei;
  const size_t allCount = all.size();
  List second(std::make_move_iterator(all.begin() + s), std::make_move_iterator(all.end()));
  all.resize(size_t(s));
  List& first = all;
  second[0].count = 0;
  // The entry after a new one keeps its stored count in the new block: the
  // new entry shares at least that much with it.
  if (e && !e->replaces && ei + 1 > s && size_t(ei + 1) < allCount) second[size_t(ei + 1 - s)].count = countAtK;
  const int32_t units1 = UnitsFor(Image::ContentBytes(first), unit);
  const int32_t units2 = UnitsFor(Image::ContentBytes(second), unit);
  if (units1 > kMaxBlockUnits || units2 > kMaxBlockUnits) return Fail(kErrTooLarge);

  // The index must take the new block's entry without growing while the
  // block is half changed.
  const int64_t entrySize = IndexBytes<B>(second[0].word);
  if (Index().Used() + entrySize >= Index().AreaSize()) {
    if (file_->GrowIndexArea(4) != 0) return -1;
    if (LoadPos(pos) != 0) return -1;
  }
  // An area at its bound may have grown by less; the renaming of the first
  // block (when the new entry starts it) must fit as well.
  const bool renamesFirst = e && !eSecond && ei == 0;
  if (Index().Used() + entrySize >= Index().AreaSize() ||
      (renamesFirst &&
       !file_->IndexCanTake(entrySize + IndexBytes<B>(*e->word) - IndexBytes<B>(Index().Word(pos)), 2)))
    return Fail(kErrDictionaryFull);
  const int32_t n0 = Index().BlockNumber(pos);
  const int32_t units0 = UnitsOf(Data().BufferedSizeWord());

  // The first block is resized to what it keeps.
  int32_t n = n0;
  if (units1 < units0) {
    Data().ShrinkBlock(n0, units1);
  } else if (units1 > units0) {
    n = Data().GrowBlock(n0, units0, units1, true);
    if (n < 0) return -1;
  }
  // The new block, written straight to the file.
  const int32_t nb = Data().AllocateRun(units2, false);
  if (nb < 0) {
    RestoreBlock(n0, units0, n, units1, img.raw(), img.bytes(), false);
    return -1;
  }
  std::vector<uint8_t> block(size_t(units2) * size_t(unit), 0);
  StoreLE16(block.data(), static_cast<uint16_t>(units2));
  Image::Write(second, block.data(), block.size());
  if (Data().WriteBlockImage(nb, block.data(), block.size()) != 0 ||
      file_->InsertIndex(pos + 1, nb, second[0].word.c_str()) != 0) {
    Data().FreeRuns()->Add(nb, units2);
    RestoreBlock(n0, units0, n, units1, img.raw(), img.bytes(), false);
    return -1;
  }
  // The first block written back.
  Image::Write(first, Buf(), BufBytes());
  if (Data().MarkWritten(n) != 0) {
    Index().Remove(pos + 1);
    Data().FreeRuns()->Add(nb, units2);
    RestoreBlock(n0, units0, n, units1, img.raw(), img.bytes(), true);
    return -1;
  }
  if (n != n0) Index().SetBlockNumber(pos, n);
  if (e && !e->replaces) AddCount(1);
  if (renamesFirst && file_->RenameIndex(pos, e->word->c_str(), 2) != 0) return -1;
  return 0;
}

// ---- long entries ----

template <class B>
int32_t BlockEditor<B>::LongUnits(const Word& w, const EncodedFields& enc) {
  return UnitsFor(LongEntryImage<B>::ContentBytes(w.size(), enc.area.size()), UnitBytes());
}

// Lays the long entry out in the buffered block (its size word kept).
template <class B>
void BlockEditor<B>::WriteLong(const Word& w, const EncodedFields& enc) {
  LongEntryImage<B>::Write(w, enc.attribute, enc.area.data(), enc.area.size(), Buf(), BufBytes());
}

// A long-entry block for (w, enc), entered in the index at `at`.
template <class B>
int BlockEditor<B>::PlaceLong(int32_t at, const Word& w, const EncodedFields& enc) {
  const int32_t units = LongUnits(w, enc);
  if (units > kMaxBlockUnits) return Fail(kErrTooLarge);
  if (IndexRoomFor(IndexBytes<B>(w), 4) != 0) return -1;
  int32_t n = Data().NewBlock(static_cast<uint16_t>(units | kLongEntryFlag));
  if (n < 0) return -1;
  if (file_->InsertIndex(at, n, w.c_str()) != 0) {
    int32_t code = file_->Error();
    if (Data().BufferedNumber() >= 0) Data().FreeBlock(Data().BufferedNumber());
    return Fail(code);
  }
  if (LoadPos(at) != 0) return -1;
  WriteLong(w, enc);
  if (Data().MarkWritten(Index().BlockNumber(at)) != 0) {
    int32_t code = file_->Error();
    Data().FreeBlock(Index().BlockNumber(at));
    Index().Remove(at);
    return Fail(code);
  }
  return 0;
}

template <class B>
int BlockEditor<B>::InsertLong(const Position<B>& p, const Word& w, const EncodedFields& enc) {
  if (Index().FreeRoom() <= kLongIndexRoom && GrowIndexAhead(4) != 0) return -1;
  int32_t at = 0;
  if (p.indexPos >= 0) {
    const int32_t pos = p.indexPos;
    const size_t offset = p.offset;
    if (LoadPos(pos) != 0) return -1;
    if (BufIsLong()) {
      at = offset <= kFirstEntryOffset ? pos : pos + 1;
    } else {
      Image img;
      if (ReadImage(&img) != 0) return -1;
      const int64_t k = img.IndexOf(offset);
      if (k < 0) return Fail(kErrDamaged);
      if (k == 0) {
        at = pos;
      } else if (size_t(k) >= img.entries().size()) {
        at = pos + 1;
      } else {
        if (Split(pos, offset, nullptr) != 0) return -1;
        at = pos + 1;
      }
    }
  }
  if (PlaceLong(at, w, enc) != 0) return -1;
  AddCount(1);
  return 0;
}

// ---- replace ----

template <class B>
int BlockEditor<B>::Replace(const Position<B>& p, const Word& w, const EncodedFields& enc) {
  if (p.indexPos < 0) return Fail(kErrInvalidFunction);
  const int32_t pos = p.indexPos;
  const size_t offset = p.offset;
  if (LoadPos(pos) != 0) return -1;
  const bool inLong = BufIsLong();
  if (B::kLongEntries && enc.longEntry) return ReplaceWithLong(pos, offset, inLong, w, enc);
  if (inLong) {
    if (Erase(pos, offset) != 0) return -1;
    Position<B> again = file_->Locate(w.c_str());
    if (again.Failed()) return -1;
    return Insert(again, w, enc);
  }
  const Fit fit = RewriteInBlock(pos, offset, enc);
  if (fit == Fit::kMustSplit) {
    if (Index().FreeRoom() < SplitIndexRoom<B>() && GrowIndexAhead(2) != 0) return -1;
    NewEntry e{&w, &enc, true};
    return Split(pos, offset, &e);
  }
  return fit == Fit::kFailed ? -1 : 0;
}

// The entry at (pos, offset) takes fields that need a long entry.
template <class B>
int BlockEditor<B>::ReplaceWithLong(int32_t pos, size_t offset, bool inLong, const Word& w,
                                    const EncodedFields& enc) {
  if (Index().FreeRoom() <= kLongIndexRoom && GrowIndexAhead(2) != 0) return -1;
  if (LoadPos(pos) != 0) return -1;
  if (inLong) return ResizeLong(pos, w, enc);
  Image img;
  if (ReadImage(&img) != 0) return -1;
  const int64_t k = img.IndexOf(offset);
  if (k < 0 || size_t(k) >= img.entries().size()) return Fail(kErrDamaged);
  int32_t at, shortPos;
  size_t shortOffset;
  if (size_t(k) + 1 < img.entries().size()) {
    // Entries follow: the entry is made the first of its block, the long
    // block goes before that block. The index takes the split block's
    // entry, the long block's and the renaming to the follower when the
    // short entry goes: refused before any of it when the area cannot take
    // them with the growth those steps may make.
    const Word& next = img.entries()[size_t(k) + 1].word;
    if (IndexRoomFor((k > 0 ? IndexBytes<B>(w) : 0) + IndexBytes<B>(next), 9) != 0) return -1;
    if (k > 0) {
      if (Split(pos, offset, nullptr) != 0) return -1;
      at = pos + 1;
    } else {
      at = pos;
    }
    shortPos = at + 1;
    shortOffset = kFirstEntryOffset;
  } else {
    at = pos + 1;
    shortPos = pos;
    shortOffset = offset;
  }
  if (PlaceLong(at, w, enc) != 0) return -1;
  if (Erase(shortPos, shortOffset) != 0) return -1;
  AddCount(1);  // the erase counted the entry out; it is still there
  return 0;
}

template <class B>
int BlockEditor<B>::ResizeLong(int32_t pos, const Word& w, const EncodedFields& enc) {
  const int32_t n0 = Index().BlockNumber(pos);
  const int32_t units0 = UnitsOf(Data().BufferedSizeWord());
  const int32_t units = LongUnits(w, enc);
  if (units > kMaxBlockUnits) return Fail(kErrTooLarge);
  int32_t n = n0;
  if (units > units0) {
    n = Data().GrowBlock(n0, units0, units, true);
    if (n < 0) return -1;
  } else if (units < units0) {
    Data().ShrinkBlock(n0, units);
  }
  WriteLong(w, enc);
  if (Data().MarkWritten(n) != 0) return -1;
  if (n != n0) Index().SetBlockNumber(pos, n);
  return 0;
}

// Gives the entry at `offset` of the short-entry block at `pos` a new field
// area and attribute.
template <class B>
typename BlockEditor<B>::Fit BlockEditor<B>::RewriteInBlock(int32_t pos, size_t offset, const EncodedFields& enc) {
  if (LoadPos(pos) != 0) return Fit::kFailed;
  const int32_t n0 = Index().BlockNumber(pos);
  Image img;
  if (ReadImage(&img) != 0) return Fit::kFailed;
  const int64_t k = img.IndexOf(offset);
  if (k < 0 || size_t(k) >= img.entries().size()) {
    Fail(kErrDamaged);
    return Fit::kFailed;
  }
  List list = img.entries();
  Item& e = list[size_t(k)];
  const int64_t oldBytes = int64_t(e.Bytes());
  e.area = enc.area.data();
  e.areaLen = enc.area.size();
  e.attribute = enc.attribute;
  const int64_t newUsed = int64_t(img.used()) + int64_t(e.Bytes()) - oldBytes;
  const int32_t units0 = UnitsOf(Data().BufferedSizeWord());
  const int32_t want = UnitsFor(uint64_t(newUsed) + kShortTerminatorBytes, UnitBytes());
  int32_t n = n0, units = units0;
  if (newUsed + int64_t(kShortTerminatorBytes) > int64_t(BufBytes())) {
    const int64_t entries = int64_t(list.size());
    if (units0 > 1 && (entries > EntriesLimit() || (entries > 1 && 64 * entries < int64_t(BufBytes()))))
      return Fit::kMustSplit;
    if (want > kMaxBlockUnits) {
      Fail(kErrTooLarge);
      return Fit::kFailed;
    }
    units = want;
    n = Data().GrowBlock(n0, units0, units, true);
    if (n < 0) return Fit::kFailed;
  } else if (want < units0) {
    units = want;
    Data().ShrinkBlock(n0, units);
  }
  Image::Write(list, Buf(), BufBytes());
  if (Data().MarkWritten(n) != 0) {
    RestoreBlock(n0, units0, n, units, img.raw(), img.bytes(), true);
    return Fit::kFailed;
  }
  if (n != n0) Index().SetBlockNumber(pos, n);
  return Fit::kDone;
}

// ---- erase ----

template <class B>
int BlockEditor<B>::Erase(int32_t pos, size_t offset) {
  if (LoadPos(pos) != 0) return -1;
  const int32_t n = Index().BlockNumber(pos);
  if (BufIsLong()) {
    Data().FreeBlock(n);
    Index().Remove(pos);
    AddCount(-1);
    return 0;
  }
  Image img;
  if (ReadImage(&img) != 0) return -1;
  const int64_t k = img.IndexOf(offset);
  if (k < 0 || size_t(k) >= img.entries().size()) return Fail(kErrDamaged);
  List list = img.entries();
  // The block's new first headword must fit the index before the block changes.
  if (k == 0 && list.size() > 1 &&
      IndexRoomFor(IndexBytes<B>(list[1].word) - IndexBytes<B>(Index().Word(pos)), 1) != 0)
    return -1;
  const uint8_t c1 = list[size_t(k)].count;
  list.erase(list.begin() + k);
  // The follower takes back the bytes it shared only with the erased entry.
  if (size_t(k) < list.size() && list[size_t(k)].count > c1) list[size_t(k)].count = c1;
  const int32_t units0 = UnitsOf(Data().BufferedSizeWord());
  const int32_t want = UnitsFor(Image::ContentBytes(list), UnitBytes());
  if (want < units0) Data().ShrinkBlock(n, want);
  if (list.empty()) {
    Data().FreeBlock(n);
    Index().Remove(pos);
    AddCount(-1);
    return file_->CompactionStep() < 0 ? -1 : 0;
  }
  Image::Write(list, Buf(), BufBytes());
  if (Data().MarkWritten(n) != 0) {
    RestoreBlock(n, units0, n, want < units0 ? want : units0, img.raw(), img.bytes(), true);
    return -1;
  }
  AddCount(-1);
  if (k == 0 && file_->RenameIndex(pos, list[0].word.c_str()) != 0) return -1;
  return 0;
}

template class BlockEditor<TraitsVKCU8L>;
template class BlockEditor<TraitsVKCUB>;
template class BlockEditor<TraitsVKCUL>;
template class BlockEditor<TraitsVKC620>;

}  // namespace vk
