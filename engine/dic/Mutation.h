// Mutation: every change of a dictionary's entries, from the exported
// operations (record, update, erase, rename, change translation or example,
// attribute and level changes, bulk registration) down to the block work
// behind them.
//
// Block work, on the block at one index position (Voka's find position says
// where a headword is or belongs):
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
// Failures answer -1 with the engine code in the dictionary's error cell.
// A failed insert, rewrite or split gives back what it took and restores the
// block it had changed, as far as the file lets it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "dic/BlockEdit.h"
#include "dic/QueryRecord.h"
#include "dic/WriteLock.h"
#include "entries/EntryCursor.h"
#include "entries/FieldEncoder.h"
#include "entries/FieldText.h"
#include "entries/FieldWalker.h"
#include "entries/HeadwordForm.h"
#include "entries/Japa.h"
#include "file/ErrorCodes.h"
#include "format/BlockOrder.h"
#include "text/Collation.h"
#include "text/Utf.h"

namespace vk {

template <class B>
class Voka;

// The counters of a bulk registration, in the caller's parameter block.
struct QueryCounters {
  int32_t existing = 0;  // calls that met an existing entry
  int32_t added = 0;     // entries added
  int32_t tooLong = 0;   // calls left unstored because something was too long
};

template <class B>
class Mutation {
 public:
  using Unit = typename B::Unit;
  using IChar = typename B::IChar;
  using Word = std::basic_string<Unit>;
  using Text = std::basic_string<IChar>;
  using Image = BlockImage<B>;
  using Item = EntryImage<B>;
  using List = typename Image::List;

  explicit Mutation(Voka<B>& v) : v_(v), entryError_(v.Error()) {}

  // ---- the exported operations ----
  // Each answers 1 when it did what was asked, 0 when there was nothing to
  // do (see each), -1 on failure with the code in the dictionary.

  // Stores the entry: adds it, or replaces the fields of the entry with that
  // headword. 0 for an empty headword.
  int32_t Record(const IChar* word, const Japa<B>& fields) {
    ChangeScope scope(v_);
    if (!word || !word[0]) return 0;
    if (v_.ReadOnly()) return Fail(kErrReadOnly);
    Word key;
    if (HeadwordForm<B>::ToStored(word, &key) != 0) return Fail(kErrWordTooLong);
    if (key.empty()) return 0;
    WriteLockObject lock(&v_.File(), nullptr, &lockCount_);
    if (!lock.Held()) return Fail(kErrNetwork);
    EncodedFields enc;
    if (Encode(key, fields, &enc) != 0) return -1;
    if (v_.Lookup(key.c_str()) < 0) return -1;
    v_.NoteChange();
    int rc = At(key) ? Replace(key, enc) : Insert(key, enc);
    if (rc != 0) return -1;
    return Finish();
  }

  // Replaces the fields of an existing entry. 0 (no error) when there is
  // none.
  int32_t Update(const IChar* word, const Japa<B>& fields) {
    ChangeScope scope(v_);
    Word key;
    if (!StoredKey(word, &key)) return 0;
    if (v_.Lookup(key.c_str()) < 0) return -1;
    if (!At(key)) return 0;
    if (v_.ReadOnly()) return Fail(kErrReadOnly);
    WriteLockObject lock(&v_.File(), nullptr, &lockCount_);
    if (!lock.Held()) return Fail(kErrNetwork);
    EncodedFields enc;
    if (Encode(key, fields, &enc) != 0) return -1;
    v_.NoteChange();
    if (Replace(key, enc) != 0) return -1;
    return Finish();
  }

  // Erases the entry; 1 also when there is none. 0 for an empty headword.
  int32_t Erase(const IChar* word) {
    ChangeScope scope(v_);
    if (!word || !word[0]) return 0;
    if (v_.ReadOnly()) return Fail(kErrReadOnly);
    Word key;
    if (!StoredKey(word, &key)) return 1;
    WriteLockObject lock(&v_.File(), nullptr, &lockCount_);
    if (!lock.Held()) return Fail(kErrNetwork);
    if (v_.Lookup(key.c_str()) < 0) return -1;
    if (!At(key)) return 1;
    v_.NoteChange();
    if (EraseAt(v_.find_.indexPos, v_.find_.offset) != 0) return -1;
    return Finish();
  }

  // Moves an entry to a new headword. 0 when the old headword is absent or
  // the new one present. The new entry is stored before the old one is
  // erased, so a failure never loses the entry.
  int32_t Rename(const IChar* from, const IChar* to) {
    ChangeScope scope(v_);
    if (!from || !from[0] || !to || !to[0]) return 0;
    if (v_.ReadOnly()) return Fail(kErrReadOnly);
    Word oldKey, newKey;
    if (!StoredKey(from, &oldKey)) return 0;
    if (HeadwordForm<B>::ToStored(to, &newKey) != 0) return Fail(kErrWordTooLong);
    if (newKey.empty()) return 0;
    WriteLockObject lock(&v_.File(), nullptr, &lockCount_);
    if (!lock.Held()) return Fail(kErrNetwork);
    if (v_.Lookup(oldKey.c_str()) < 0) return -1;
    if (!At(oldKey)) return 0;
    Japa<B> fields;
    if (ReadWhole(v_.find_.indexPos, v_.find_.offset, &fields) != 0) return -1;
    if (v_.Lookup(newKey.c_str()) < 0) return -1;
    if (At(newKey)) return 0;
    EncodedFields enc;
    if (Encode(newKey, fields, &enc) != 0) return -1;
    v_.NoteChange();
    if (Insert(newKey, enc) != 0) return -1;
    if (v_.Lookup(oldKey.c_str()) < 0 || !At(oldKey) ||
        EraseAt(v_.find_.indexPos, v_.find_.offset) != 0) {
      // Take the new entry out again rather than keep the entry twice.
      int32_t code = v_.Error() ? v_.Error() : kErrDamaged;
      if (v_.Lookup(newKey.c_str()) >= 0 && At(newKey)) EraseAt(v_.find_.indexPos, v_.find_.offset);
      v_.SetError(code);
      return -1;
    }
    return Finish();
  }

  // Replaces an entry's translation (or example), keeping its other fields
  // and attribute. 0 when the entry does not exist.
  int32_t ChangeTranslation(const IChar* word, const IChar* text) { return ChangeField(word, text, false); }
  int32_t ChangeExample(const IChar* word, const IChar* text) { return ChangeField(word, text, true); }

  // Attribute changes in place. Bit 4 says how the entry's fields are laid
  // out and is the encoder's: it always stays as stored.
  int32_t SetAttr(const IChar* word, int32_t attr) {
    return ChangeAttribute(word, [attr](uint8_t) { return static_cast<uint8_t>(attr); });
  }
  int32_t ChangeLevel(const IChar* word, int32_t level) {
    return ChangeAttribute(word, [level](uint8_t a) { return static_cast<uint8_t>((level & kAttrLevelMask) | (a & 0xF0)); });
  }
  // level := min(level + delta, maximum), then max(that, minimum).
  int32_t AddLevel(const IChar* word, int32_t delta, int32_t minimum, int32_t maximum) {
    return ChangeAttribute(word, [=](uint8_t a) {
      int64_t level = int64_t(a & kAttrLevelMask) + delta;
      if (level > maximum) level = maximum;
      if (level < minimum) level = minimum;
      return static_cast<uint8_t>((level & kAttrLevelMask) | (a & 0xF0));
    });
  }

  // Bulk registration (see QueryRecord.h). 0, or -1 when storing failed.
  int32_t Query(const IChar* word, const Japa<B>& given, int32_t rule, int32_t flags, QueryCounters* counters) {
    ChangeScope scope(v_);
    if (!word || !word[0]) return 0;
    const size_t maxLen = MaxWordLength();
    const size_t wordUnits = std::char_traits<IChar>::length(word);
    Word key;
    if (HeadwordForm<B>::ToStored(word, &key) != 0) WholeKey(word, &key);
    if (key.empty()) return 0;
    if (v_.Lookup(key.c_str()) < 0) return -1;
    const auto& fp = v_.find_;
    const bool existing =
        fp.indexPos >= 0 && !fp.at.empty() && CompareWordsUpTo(fp.at.c_str(), key.c_str(), maxLen) == 0;
    bool tooLong = false;
    Japa<B> n = given;
    if (!existing) {
      tooLong |= CutText(&n.translation, kQueryTranslationLimit);
      tooLong |= CutText(&n.example, kQueryExampleLimit);
      tooLong |= CutText(&n.pronunciation, kQueryPronunciationLimit);
      if (n.translation.empty()) n.translation.assign(1, IChar('?'));
      if (wordUnits > maxLen) tooLong = true;
      if (!tooLong) {
        if (StoreNew(word, n) != 0) return -1;
        ++counters->added;
      }
    } else {
      Japa<B> s;
      if (ReadWhole(fp.indexPos, fp.offset, &s) != 0) return -1;
      if (s.translation == n.translation && s.example == n.example && s.pronunciation == n.pronunciation) return 0;
      bool keep = false;
      switch (rule) {
        case kClashKeep:
          return 0;
        case kClashReplaceIfLonger:
          if (n.translation.size() < s.translation.size()) return 0;
          s = n;
          break;
        case kClashReplace:
          s = n;
          break;
        case kClashMergeComma:
        case kClashMergeLines: {
          MergeFields ms = QueryMerge::Widen(s), mn = QueryMerge::Widen(n);
          if (!QueryMerge::Merge(&ms, &mn, flags, rule == kClashMergeComma ? u"," : u"\r\n")) tooLong = true;
          QueryMerge::Narrow(ms, &s);
          break;
        }
        default:
          // An unknown rule leaves the entry as it is.
          keep = true;
          break;
      }
      if (!keep) {
        if (s.translation.size() > kQueryTranslationLimit || s.example.size() > kQueryExampleLimit ||
            s.pronunciation.size() > kQueryPronunciationLimit || wordUnits > maxLen)
          tooLong = true;
        if (!tooLong && StoreOver(s) != 0) return -1;
      }
      ++counters->existing;
    }
    if (tooLong) ++counters->tooLong;
    return 0;
  }

  // ---- block level (public for tests that drive it directly) ----

  // Most entries a block may hold before it splits rather than grows.
  int64_t EntriesLimit() { return EntriesPerBlockLimit(v_.Data().WordCount()); }

  // Decodes a field area whole, with no bound on any text (a search's
  // decoding capacities would cut texts that are stored longer).
  static void DecodeAllFields(const uint8_t* area, size_t len, uint8_t attribute, bool isLong, Japa<B>* j) {
    using T = FieldText<B>;
    constexpr size_t kAll = std::numeric_limits<size_t>::max();
    j->Reset();
    j->attribute = attribute;
    DecodedText t = T::Decode(area, len, true, kAll, &j->translation);
    if (!(attribute & kAttrExtended) || !t.terminated) return;
    FieldWalker<B> w(area, len, t.consumed, isLong);
    FieldItem f;
    while (w.Next(&f)) {
      typename Japa<B>::Text* target = nullptr;
      if (f.code == kFieldExample || f.code == kFieldCountedExample) target = &j->example;
      else if (f.code == kFieldPronunciation || f.code == kFieldCountedPronunciation) target = &j->pronunciation;
      else if (!(f.code & kFieldCountedBit)) return;
      if (target) T::Decode(area + f.offset, f.length, true, kAll, target);
    }
  }

 private:
  // Ends one exported change: when the call returns, a change that failed
  // part-way is rolled back to the dictionary's last committed state.
  class ChangeScope {
   public:
    explicit ChangeScope(Voka<B>& v) : v_(v) {}
    ~ChangeScope() { v_.EndChange(); }
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;

   private:
    Voka<B>& v_;
  };

  struct NewEntry {
    const Word* word;
    const EncodedFields* enc;
    bool replaces;  // a changed entry at the position, not a new one
  };

  HVokaIndex<B>& Index() { return v_.Index(); }
  HVokaData<B>& Data() { return v_.Data(); }
  uint8_t* Buf() { return Data().Buffer(); }
  size_t BufBytes() { return Data().BufferSize(); }
  int32_t UnitBytes() { return Data().UnitSize(); }
  uint32_t Count() { return Data().WordCount(); }
  void AddCount(int32_t d) { Data().SetWordCount(static_cast<uint32_t>(int64_t(Count()) + d)); }

  int Fail(int32_t code) {
    v_.SetError(code);
    return -1;
  }

  // Index room below which a split grows the area first.
  static constexpr int32_t SplitIndexRoom() { return sizeof(Unit) == 1 ? 261 : 510; }
  // Index room at or below which a long entry grows the area first.
  static constexpr int32_t kLongIndexRoom = 260;

  size_t MaxWordLength() {
    int32_t n = v_.Header().maxWordLen();
    return n > 0 ? size_t(n) : kMaxWordUnits;
  }

  // The stored form of an interface headword. False for a null or empty
  // word, or one too long to be stored (no entry can have it).
  static bool StoredKey(const IChar* word, Word* key) {
    if (!word || !word[0]) return false;
    if (HeadwordForm<B>::ToStored(word, key) != 0) return false;
    return !key->empty();
  }

  // The stored form of any headword, however long (for comparisons only).
  static void WholeKey(const IChar* word, Word* key) {
    if constexpr (sizeof(IChar) == sizeof(Unit)) {
      key->assign(word, std::char_traits<IChar>::length(word));
    } else {
      key->assign(Utf16ToUtf8(std::u16string(word)));
    }
  }

  template <class C>
  static bool CutText(std::basic_string<C>* s, size_t limit) {
    if (s->size() <= limit) return false;
    s->resize(limit);
    return true;
  }

  bool At(const Word& key) const { return v_.find_.indexPos >= 0 && v_.find_.at == key; }

  int LoadPos(int32_t pos) {
    if (pos < 0 || pos >= Index().Count()) return Fail(kErrDamaged);
    return Data().Load(Index().BlockNumber(pos));
  }
  bool BufIsLong() { return EntryLayout<B>::IsLongBlock(Buf()); }

  int Encode(const Word& w, const Japa<B>& f, EncodedFields* enc) {
    if (FieldEncoder<B>::Encode(f, w.size(), UnitBytes(), enc) != 0) return Fail(kErrTooLarge);
    return 0;
  }

  static Item MakeItem(const Word& w, const EncodedFields& enc) {
    Item e;
    e.word = w;
    e.attribute = enc.attribute;
    e.area = enc.area.data();
    e.areaLen = enc.area.size();
    return e;
  }

  static uint8_t Shared(const Word& a, const Word& b) { return static_cast<uint8_t>(CommonPrefixLength(a.c_str(), b.c_str())); }

  // The flush after a change, unless fast mode defers it. A change that
  // succeeded leaves the error code as the caller last saw it, whatever the
  // steps met and recovered from on the way (a full index that then grew).
  int32_t Finish() {
    if (v_.WriteThrough() && v_.CommitChange() != 0) return -1;
    v_.SetError(entryError_);
    return 1;
  }

  int ReadImage(Image* img) {
    if (!img->Read(Buf(), BufBytes())) return Fail(kErrDamaged);
    return 0;
  }

  // Reads every field of the entry at (pos, offset), however long: the
  // decoding capacities of a search would cut texts that are stored whole.
  int ReadWhole(int32_t pos, size_t offset, Japa<B>* out) {
    if (LoadPos(pos) != 0) return -1;
    EntryView v;
    if (ParseEntry<B>(Buf(), BufBytes(), offset, &v) != WalkStatus::kEntry) return Fail(kErrDamaged);
    DecodeAllFields(Buf() + v.fieldOffset, v.fieldLength, v.attribute, v.isLong, out);
    return 0;
  }

  // ---- stores of a bulk registration ----

  int StoreNew(const IChar* word, const Japa<B>& n) {
    if (v_.ReadOnly()) return Fail(kErrReadOnly);
    Word key;
    if (HeadwordForm<B>::ToStored(word, &key) != 0) return Fail(kErrWordTooLong);
    WriteLockObject lock(&v_.File(), nullptr, &lockCount_);
    if (!lock.Held()) return Fail(kErrNetwork);
    EncodedFields enc;
    if (Encode(key, n, &enc) != 0) return -1;
    v_.NoteChange();
    if (Insert(key, enc) != 0) return -1;
    return Finish() < 0 ? -1 : 0;
  }

  // Rewrites the entry at the find position with `taken`.
  int StoreOver(const Japa<B>& taken) {
    if (v_.ReadOnly()) return Fail(kErrReadOnly);
    WriteLockObject lock(&v_.File(), nullptr, &lockCount_);
    if (!lock.Held()) return Fail(kErrNetwork);
    const Word key = v_.find_.at;
    EncodedFields enc;
    if (Encode(key, taken, &enc) != 0) return -1;
    v_.NoteChange();
    if (Replace(key, enc) != 0) return -1;
    return Finish() < 0 ? -1 : 0;
  }

  // ---- field and attribute changes ----

  int32_t ChangeField(const IChar* word, const IChar* text, bool example) {
    ChangeScope scope(v_);
    if (!word || !word[0]) return 0;
    if (v_.ReadOnly()) return Fail(kErrReadOnly);
    Word key;
    if (!StoredKey(word, &key)) return 0;
    WriteLockObject lock(&v_.File(), nullptr, &lockCount_);
    if (!lock.Held()) return Fail(kErrNetwork);
    if (v_.Lookup(key.c_str()) < 0) return -1;
    if (!At(key)) return 0;
    Japa<B> fields;
    if (ReadWhole(v_.find_.indexPos, v_.find_.offset, &fields) != 0) return -1;
    (example ? fields.example : fields.translation) = text ? Text(text) : Text();
    EncodedFields enc;
    if (Encode(key, fields, &enc) != 0) return -1;
    v_.NoteChange();
    if (Replace(key, enc) != 0) return -1;
    return Finish();
  }

  template <class F>
  int32_t ChangeAttribute(const IChar* word, F change) {
    ChangeScope scope(v_);
    if (!word || !word[0]) return 0;
    if (v_.ReadOnly()) return Fail(kErrReadOnly);
    Word key;
    if (!StoredKey(word, &key)) return 0;
    WriteLockObject lock(&v_.File(), nullptr, &lockCount_);
    if (!lock.Held()) return Fail(kErrNetwork);
    if (v_.Lookup(key.c_str()) < 0) return -1;
    if (!At(key)) return 0;
    const int32_t pos = v_.find_.indexPos;
    if (LoadPos(pos) != 0) return -1;
    EntryView v;
    if (ParseEntry<B>(Buf(), BufBytes(), v_.find_.offset, &v) != WalkStatus::kEntry) return Fail(kErrDamaged);
    const size_t at = v.offset + (v.isLong ? kLongHeaderBytes : kShortHeaderBytes) - 1;
    const uint8_t stored = Buf()[at];
    Buf()[at] = static_cast<uint8_t>((change(stored) & ~kAttrExtended) | (stored & kAttrExtended));
    v_.NoteChange();
    if (Data().MarkWritten(Index().BlockNumber(pos)) != 0) {
      Buf()[at] = stored;
      return -1;
    }
    return Finish();
  }

  // ---- insert ----

  // Inserts a new entry at the find position (positioned for w).
  int Insert(const Word& w, const EncodedFields& enc) {
    const auto& fp = v_.find_;
    if (B::kLongEntries && enc.longEntry) return InsertLong(w, enc);
    if (fp.indexPos < 0) return InsertIntoNewBlock(0, w, enc);
    const int32_t pos = fp.indexPos;
    const size_t offset = fp.offset;
    if (LoadPos(pos) != 0) return -1;
    // Beside a long entry a short one starts a block of its own.
    if (BufIsLong()) return InsertIntoNewBlock(offset <= kFirstEntryOffset ? pos : pos + 1, w, enc);
    if (offset <= kFirstEntryOffset && IndexRoomFor(IndexBytes(w) - IndexBytes(Index().Word(pos)), 2) != 0) return -1;
    int rc = InsertIntoBlock(pos, offset, w, enc);
    if (rc == -1) return -1;
    if (rc == -2) {
      if (Index().FreeRoom() < SplitIndexRoom() && GrowIndexAhead(4) != 0) return -1;
      NewEntry e{&w, &enc, false};
      if (Split(pos, offset, &e) != 0) return -1;
      return CompactAfterSplit();
    }
    if (offset <= kFirstEntryOffset && RenameWithGrowth(pos, w, 2) != 0) {
      // The block cannot be named by its new first headword: take it out again.
      int32_t code = v_.Error();
      RemoveEntry(pos, kFirstEntryOffset);
      return Fail(code);
    }
    return 0;
  }

  // A one-unit block for the entry, entered in the index at `at`.
  int InsertIntoNewBlock(int32_t at, const Word& w, const EncodedFields& enc) {
    if (IndexRoomFor(IndexBytes(w), 4) != 0) return -1;
    int32_t n = Data().NewBlock(1);
    if (n < 0) return -1;
    if (v_.InsertIndex(at, n, w.c_str()) != 0) {
      int32_t code = v_.Error();
      if (Data().BufferedNumber() >= 0) Data().FreeBlock(Data().BufferedNumber());
      return Fail(code);
    }
    int rc = InsertIntoBlock(at, kFirstEntryOffset, w, enc);
    if (rc == -2) rc = Fail(kErrDamaged);
    if (rc == -1) {
      int32_t code = v_.Error();
      if (LoadPos(at) == 0) Data().FreeBlock(Index().BlockNumber(at));
      Index().Remove(at);
      return Fail(code);
    }
    return 0;
  }

  // Undoes the resizing of the buffered block: it goes back to `units0`
  // units at `n0` with its content as `img` holds it. `n` and `units` say
  // where it is now.
  void RestoreBlock(int32_t n0, int32_t units0, int32_t n, int32_t units, const Image& img, bool rewrite) {
    int32_t code = v_.Error();
    if (n != n0) {
      // It moved: the new place is given back and the old one taken again.
      // The old units may have served a block made meanwhile, so the block
      // goes back from the copy, not from the file.
      Data().FreeRuns()->Add(n, units);
      Data().FreeRuns()->TakeAt(n0, units0);
      std::vector<uint8_t> raw(img.raw(), img.raw() + img.bytes());
      BlockOrder<B>::ToFile(raw.data(), raw.size());
      if (Data().SeekToBlock(n0) == 0) v_.File().Write(raw.data(), static_cast<uint32_t>(raw.size()));
      Data().Load(n0);
    } else {
      if (units < units0) Data().GrowBlock(n0, units, units0, true);
      else if (units > units0) Data().ShrinkBlock(n0, units0);
      if (BufBytes() == img.bytes()) std::memcpy(Buf(), img.raw(), img.bytes());
      if (rewrite || units != units0) Data().MarkWritten(n0);
    }
    v_.SetError(code);
  }

  // Puts (w, enc) before the entry at `offset` of the short-entry block at
  // index position `pos`. 0 done, -3 done and the block moved (its index
  // entry already follows it), -2 the block must split (nothing changed),
  // -1 failure.
  int InsertIntoBlock(int32_t pos, size_t offset, const Word& w, const EncodedFields& enc) {
    if (LoadPos(pos) != 0) return -1;
    const int32_t n0 = Index().BlockNumber(pos);
    const int32_t unit = UnitBytes();
    Image img;
    if (ReadImage(&img) != 0) return -1;
    const int64_t k = img.IndexOf(offset);
    if (k < 0) return Fail(kErrDamaged);
    List list = img.entries();
    Item e = MakeItem(w, enc);
    e.count = k > 0 ? Shared(list[size_t(k) - 1].word, w) : 0;
    int64_t grows = int64_t(e.Bytes());
    if (size_t(k) < list.size()) {
      Item& f = list[size_t(k)];
      grows -= int64_t(f.Bytes());
      f.count = Shared(w, f.word);
      grows += int64_t(f.Bytes());
    }
    const int64_t entries = int64_t(list.size());
    list.insert(list.begin() + k, e);
    const int64_t newUsed = int64_t(img.used()) + grows;
    const int32_t units0 = UnitsOf(Data().BufferedSizeWord());
    int32_t n = n0, units = units0;
    if (newUsed + int64_t(kShortTerminatorBytes) > int64_t(BufBytes())) {
      if (units0 > 1 && (entries > EntriesLimit() || 64 * entries < int64_t(BufBytes()) + int64_t(e.Bytes())))
        return -2;
      units = UnitsFor(uint64_t(newUsed) + kShortTerminatorBytes, unit);
      if (units > kMaxBlockUnits) return Fail(kErrTooLarge);
      n = Data().GrowBlock(n0, units0, units, true);
      if (n < 0) return -1;
    }
    Image::Write(list, Buf(), BufBytes());
    if (Data().MarkWritten(n) != 0) {
      RestoreBlock(n0, units0, n, units, img, true);
      return -1;
    }
    AddCount(1);
    if (n != n0) {
      Index().SetBlockNumber(pos, n);
      return -3;
    }
    return 0;
  }

  // Takes the entry at `offset` out of the block at `pos` again, without
  // any index change (the undo of an insert).
  void RemoveEntry(int32_t pos, size_t offset) {
    int32_t code = v_.Error();
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
    v_.SetError(code);
  }

  // Bytes the index accounts an entry for w at.
  static int64_t IndexBytes(const Word& w) { return int64_t(w.size()) * int64_t(sizeof(Unit)) + IndexEntryOverhead<B>(); }
  static int64_t IndexBytes(const Unit* w) { return int64_t(UnitLength(w)) * int64_t(sizeof(Unit)) + IndexEntryOverhead<B>(); }

  // Grows the index area ahead of a step that may want the room. An area at
  // its bound goes on as it is: the step that needs the room refuses then.
  int GrowIndexAhead(int32_t units) { return v_.IndexGrowthLeft() == 0 ? 0 : v_.GrowIndexArea(units); }

  // Refuses with 3, before anything changes, an index change of `bytes`
  // more bytes that the area cannot take even after the growth of up to
  // `units` units that the change makes when the area is full.
  int IndexRoomFor(int64_t bytes, int32_t units) {
    return v_.IndexCanTake(bytes, units) ? 0 : Fail(kErrDictionaryFull);
  }

  int RenameWithGrowth(int32_t pos, const Word& w, int32_t units) {
    if (Index().Rename(pos, w.c_str()) == 0) return 0;
    if (v_.Error() != kErrDictionaryFull || v_.GrowIndexArea(units) != 0) return -1;
    return Index().Rename(pos, w.c_str());
  }

  int CompactAfterSplit() {
    int r = v_.CompactionStep();
    if (r < 0) return -1;
    if (r == 1 && Count() % 10 == 0) {
      r = v_.CompactionStep();
      if (r < 0) return -1;
      if (r == 1 && v_.CompactionStep() < 0) return -1;
    }
    return 0;
  }

  // ---- split ----

  // Splits the short-entry block at `pos`. With `e` the new (or changed)
  // entry at `offset` takes its place in whichever half it falls; without,
  // the entry at `offset` starts the new block.
  int Split(int32_t pos, size_t offset, const NewEntry* e) {
    if (LoadPos(pos) != 0) return -1;
    const int32_t unit = UnitBytes();
    Image img;
    if (ReadImage(&img) != 0) return -1;
    const List& old = img.entries();
    const int64_t k = img.IndexOf(offset);
    if (k < 0) return Fail(kErrDamaged);
    // The entries as they will be once e is in place.
    List all = old;
    int64_t ei = -1;
    if (e) {
      Item item = MakeItem(*e->word, *e->enc);
      if (e->replaces) {
        if (size_t(k) >= old.size()) return Fail(kErrDamaged);
        item.count = old[size_t(k)].count;
        all[size_t(k)] = item;
      } else {
        item.count = k > 0 ? Shared(old[size_t(k) - 1].word, *e->word) : 0;
        if (size_t(k) < old.size()) all[size_t(k)].count = Shared(*e->word, old[size_t(k)].word);
        all.insert(all.begin() + k, item);
      }
      ei = k;
    }
    const int64_t s = e ? ChooseSplitEntry<B>(all, unit) : k;
    if (s < 1 || size_t(s) >= all.size()) return Fail(kErrDamaged);
    const bool eSecond = e && s <= ei;
    List first(all.begin(), all.begin() + s);
    List second(all.begin() + s, all.end());
    second[0].count = 0;
    // The entry after a new one keeps its stored count in the new block: the
    // new entry shares at least that much with it.
    if (e && !e->replaces && ei + 1 > s && size_t(ei + 1) < all.size())
      second[size_t(ei + 1 - s)].count = old[size_t(k)].count;
    const int32_t units1 = UnitsFor(Image::ContentBytes(first), unit);
    const int32_t units2 = UnitsFor(Image::ContentBytes(second), unit);
    if (units1 > kMaxBlockUnits || units2 > kMaxBlockUnits) return Fail(kErrTooLarge);

    // The index must take the new block's entry without growing while the
    // block is half changed.
    const int64_t entrySize = int64_t(second[0].word.size()) * int64_t(sizeof(Unit)) + IndexEntryOverhead<B>();
    if (Index().Used() + entrySize >= Index().AreaSize()) {
      if (v_.GrowIndexArea(4) != 0) return -1;
      if (LoadPos(pos) != 0) return -1;
    }
    // An area at its bound may have grown by less; the renaming of the
    // first block (when the new entry starts it) must fit as well.
    const bool renamesFirst = e && !eSecond && ei == 0;
    if (Index().Used() + entrySize >= Index().AreaSize() ||
        (renamesFirst && !v_.IndexCanTake(entrySize + IndexBytes(*e->word) - IndexBytes(Index().Word(pos)), 2)))
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
      RestoreBlock(n0, units0, n, units1, img, false);
      return -1;
    }
    std::vector<uint8_t> block(size_t(units2) * size_t(unit), 0);
    StoreLE16(block.data(), static_cast<uint16_t>(units2));
    Image::Write(second, block.data(), block.size());
    BlockOrder<B>::ToFile(block.data(), block.size());
    if (Data().SeekToBlock(nb) != 0 || v_.File().Write(block.data(), static_cast<uint32_t>(block.size())) < 0 ||
        v_.InsertIndex(pos + 1, nb, second[0].word.c_str()) != 0) {
      Data().FreeRuns()->Add(nb, units2);
      RestoreBlock(n0, units0, n, units1, img, false);
      return -1;
    }
    // The first block written back.
    Image::Write(first, Buf(), BufBytes());
    if (Data().MarkWritten(n) != 0) {
      Index().Remove(pos + 1);
      Data().FreeRuns()->Add(nb, units2);
      RestoreBlock(n0, units0, n, units1, img, true);
      return -1;
    }
    if (n != n0) Index().SetBlockNumber(pos, n);
    if (e && !e->replaces) AddCount(1);
    if (renamesFirst && RenameWithGrowth(pos, *e->word, 2) != 0) return -1;
    return 0;
  }

  // ---- long entries ----

  int32_t LongUnits(const Word& w, const EncodedFields& enc) {
    return UnitsFor(uint64_t(w.size()) * sizeof(Unit) + enc.area.size() + 13, UnitBytes());
  }

  // Lays the long entry out in the buffered block (its size word kept).
  void WriteLong(const Word& w, const EncodedFields& enc) {
    using L = EntryLayout<B>;
    uint8_t* b = Buf();
    std::memset(b + kFirstEntryOffset, 0, BufBytes() - kFirstEntryOffset);
    uint8_t* p = b + kFirstEntryOffset;
    StoreLE32(p, static_cast<uint32_t>(L::LongBody(w.size(), enc.area.size())));
    p[4] = 0;
    p[5] = enc.attribute;
    p += kLongHeaderBytes;
    for (Unit u : w) {
      L::StoreUnit(p, u);
      p += L::kUnitBytes;
    }
    L::StoreUnit(p, 0);
    p += L::kUnitBytes;
    if (!enc.area.empty()) std::memcpy(p, enc.area.data(), enc.area.size());
  }

  // A long-entry block for (w, enc), entered in the index at `at`.
  int PlaceLong(int32_t at, const Word& w, const EncodedFields& enc) {
    const int32_t units = LongUnits(w, enc);
    if (units > kMaxBlockUnits) return Fail(kErrTooLarge);
    if (IndexRoomFor(IndexBytes(w), 4) != 0) return -1;
    int32_t n = Data().NewBlock(static_cast<uint16_t>(units | kLongEntryFlag));
    if (n < 0) return -1;
    if (v_.InsertIndex(at, n, w.c_str()) != 0) {
      int32_t code = v_.Error();
      if (Data().BufferedNumber() >= 0) Data().FreeBlock(Data().BufferedNumber());
      return Fail(code);
    }
    if (LoadPos(at) != 0) return -1;
    WriteLong(w, enc);
    if (Data().MarkWritten(Index().BlockNumber(at)) != 0) {
      int32_t code = v_.Error();
      Data().FreeBlock(Index().BlockNumber(at));
      Index().Remove(at);
      return Fail(code);
    }
    return 0;
  }

  int InsertLong(const Word& w, const EncodedFields& enc) {
    const auto& fp = v_.find_;
    if (Index().FreeRoom() <= kLongIndexRoom && GrowIndexAhead(4) != 0) return -1;
    int32_t at = 0;
    if (fp.indexPos >= 0) {
      const int32_t pos = fp.indexPos;
      const size_t offset = fp.offset;
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

  // Gives the entry at the find position (headword w) new fields.
  int Replace(const Word& w, const EncodedFields& enc) {
    const auto& fp = v_.find_;
    if (fp.indexPos < 0) return Fail(kErrInvalidFunction);
    const int32_t pos = fp.indexPos;
    const size_t offset = fp.offset;
    if (LoadPos(pos) != 0) return -1;
    const bool inLong = BufIsLong();
    if (B::kLongEntries && enc.longEntry) {
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
        // block goes before that block.
        // The index takes the split block's entry, the long block's and the
        // renaming to the follower when the short entry goes: refused
        // before any of it when the area cannot take them with the growth
        // those steps may make.
        const Word& next = img.entries()[size_t(k) + 1].word;
        if (IndexRoomFor((k > 0 ? IndexBytes(w) : 0) + IndexBytes(next), 9) != 0) return -1;
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
      if (EraseAt(shortPos, shortOffset) != 0) return -1;
      AddCount(1);  // the erase counted the entry out; it is still there
      return 0;
    }
    if (inLong) {
      if (EraseAt(pos, offset) != 0) return -1;
      if (v_.Lookup(w.c_str()) < 0) return -1;
      return Insert(w, enc);
    }
    int rc = RewriteInBlock(pos, offset, enc);
    if (rc == -2) {
      if (Index().FreeRoom() < SplitIndexRoom() && GrowIndexAhead(2) != 0) return -1;
      NewEntry e{&w, &enc, true};
      return Split(pos, offset, &e);
    }
    return rc < 0 ? -1 : 0;
  }

  int ResizeLong(int32_t pos, const Word& w, const EncodedFields& enc) {
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

  // Gives the entry at `offset` of the short-entry block at `pos` a new
  // field area and attribute. 0, -2 (the block must split; nothing
  // changed), -1.
  int RewriteInBlock(int32_t pos, size_t offset, const EncodedFields& enc) {
    if (LoadPos(pos) != 0) return -1;
    const int32_t n0 = Index().BlockNumber(pos);
    Image img;
    if (ReadImage(&img) != 0) return -1;
    const int64_t k = img.IndexOf(offset);
    if (k < 0 || size_t(k) >= img.entries().size()) return Fail(kErrDamaged);
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
      if (units0 > 1 && (entries > EntriesLimit() || (entries > 1 && 64 * entries < int64_t(BufBytes())))) return -2;
      if (want > kMaxBlockUnits) return Fail(kErrTooLarge);
      units = want;
      n = Data().GrowBlock(n0, units0, units, true);
      if (n < 0) return -1;
    } else if (want < units0) {
      units = want;
      Data().ShrinkBlock(n0, units);
    }
    Image::Write(list, Buf(), BufBytes());
    if (Data().MarkWritten(n) != 0) {
      RestoreBlock(n0, units0, n, units, img, true);
      return -1;
    }
    if (n != n0) Index().SetBlockNumber(pos, n);
    return 0;
  }

  // ---- erase ----

  // Erases the entry at `offset` of the block at index position `pos`.
  int EraseAt(int32_t pos, size_t offset) {
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
    if (k == 0 && list.size() > 1 && IndexRoomFor(IndexBytes(list[1].word) - IndexBytes(Index().Word(pos)), 1) != 0)
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
      return v_.CompactionStep() < 0 ? -1 : 0;
    }
    Image::Write(list, Buf(), BufBytes());
    if (Data().MarkWritten(n) != 0) {
      RestoreBlock(n, units0, n, want < units0 ? want : units0, img, true);
      return -1;
    }
    AddCount(-1);
    if (k == 0 && v_.RenameIndex(pos, list[0].word.c_str()) != 0) return -1;
    return 0;
  }

  Voka<B>& v_;
  int32_t entryError_;  // the error code when the operation began
  int32_t lockCount_ = 0;
};

}  // namespace vk
