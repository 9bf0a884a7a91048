// Voka: an open dictionary as the exported interface sees it. It adds to
// IndexData (file, header, index, block file) the word lookup with its find
// position, the search cursor with its prepared pattern, and the entry-level
// reads, and answers the handle's questions through TUniversalDic.
//
// The search cursor walks the blocks in index order. Its entry offset is the
// entry last returned, -1 for a place before a block's first entry, or the
// block's terminator once the walk has passed the last entry; past the last
// block the index position equals the number of index entries.
#pragma once
#include <cstdint>
#include <string>

#include "dic/IndexData.h"
#include "dic/Mutation.h"
#include "dic/UniversalDic.h"
#include "entries/BlockEntries.h"
#include "entries/EntryCursor.h"
#include "entries/FieldDecoder.h"
#include "entries/HeadwordForm.h"
#include "entries/Japa.h"
#include "text/Collation.h"
#include "text/Matcher.h"
#include "text/Utf.h"

namespace vk {

// Search flag word.
constexpr int32_t kSearchTypeMask = 0x7FF;
constexpr int32_t kSearchLevelRange = 0x040;
constexpr int32_t kSearchCaseFolded = 0x800;
constexpr int32_t kSearchPrefixFlag = 0x1000;
// Whole search types; any other type is a mask of fields.
constexpr int32_t kTypeAll = 4;
constexpr int32_t kTypeFlag5 = 12;
constexpr int32_t kTypeFlag6 = 16;
constexpr int32_t kTypeLevel = 64;
constexpr int32_t kTypeQuery = 256;
// Field mask bits.
constexpr int32_t kFieldHeadword = 0x001;
constexpr int32_t kFieldTranslation = 0x002;
constexpr int32_t kFieldExampleText = 0x020;
constexpr int32_t kFieldPronunciationText = 0x080;
constexpr int32_t kFieldObjectText = 0x200;
constexpr int32_t kFieldExtensions = 0x400;

// Changed flags of the search cursor.
constexpr int32_t kChangedDictionary = 1;
constexpr int32_t kChangedPosition = 2;

template <class B>
class Voka : public IndexData<B>, public TUniversalDic<B> {
 public:
  using Unit = typename B::Unit;
  using IChar = typename B::IChar;
  using Word = std::basic_string<Unit>;
  using IString = std::basic_string<IChar>;
  using Base = IndexData<B>;

  explicit Voka(Env* env = Env::Default()) : Base(env) {}
  ~Voka() override { Base::Close(); }

  // Open and create keep the name as the caller gave it.
  int OpenDic(const std::string& path, const IChar* name, bool readOnly) {
    if (Base::Open(path, readOnly) != 0) return -1;
    AfterOpen(name);
    return 0;
  }
  int CreateDic(const std::string& path, const IChar* name, bool option) {
    if (Base::Create(path, option) != 0) return -1;
    AfterOpen(name);
    return 0;
  }

  // ---- TUniversalDic ----
  const IChar* FileName() override { return name_.c_str(); }
  bool IsReadOnly() override { return Base::ReadOnly(); }
  void CloseDic() override { Base::Close(); }
  int32_t ErrorCode() override { return Base::Error(); }
  int32_t SetFast(bool on) override { return Base::SetFastMode(on); }
  Voka<B>* AsVoka() override { return this; }
  int32_t WordCount() override { return Base::IsOpen() ? static_cast<int32_t>(this->Data().WordCount()) : 0; }
  bool Modified() override { return false; }
  void ClearModified() override {}

  int32_t BSearchWord(const IChar* word) override {
    Word key;
    if (!ToKey(word, &key)) return 0;
    int32_t rc = Lookup(key.c_str());
    if (rc <= 0) return rc;
    return find_.at.empty() ? 0 : 1;
  }

  const IChar* CursorWord() override {
    cursorWordText_ = HeadwordForm<B>::ToInterface(find_.at);
    return cursorWordText_.c_str();
  }

  int32_t ReadAtCursor(Japa<B>& out) override {
    if (LoadIndexPos(find_.indexPos) != 0) return -1;
    return ReadEntry(find_.offset, &out);
  }

  int32_t FindWord(const IChar* word, Japa<B>* out) override {
    Word key;
    if (!ToKey(word, &key)) return 0;
    int32_t rc = Lookup(key.c_str());
    if (rc < 0) return -1;
    if (rc == 0 || find_.at != key) return 0;
    if (out && ReadEntry(find_.offset, out) != 0) return -1;
    return 1;
  }

  int32_t StartSearch(const IChar* pattern, int32_t flags) override {
    cursor_ = Cursor();
    type_ = flags & kSearchTypeMask;
    patternText_ = pattern ? IString(pattern) : IString();
    if (flags & kSearchLevelRange) {
      // Digits of the first two characters; a shorter pattern reads as 0.
      int a = patternText_.size() > 0 ? int(patternText_[0]) - '0' : 0;
      int b = patternText_.size() > 1 ? int(patternText_[1]) - '0' : 0;
      levelLow_ = a < b ? a : b;
      levelHigh_ = a < b ? b : a;
    }
    PrepareMatcher(pattern, flags);
    ordered_ = (flags & kSearchPrefixFlag) && type_ == kFieldHeadword && !(flags & kSearchCaseFolded);
    if (ordered_) {
      orderedPattern_.clear();
      if (pattern) HeadwordForm<B>::ToStored(pattern, &orderedPattern_);
      JumpTo(pattern ? pattern : Empty(), 0, 1);
    }
    return 1;
  }

  int32_t NextResult(Japa<B>* out) override { return Step(out, true); }
  int32_t PrevResult(Japa<B>* out) override { return Step(out, false); }

  int32_t JumpTo(const IChar* word, int32_t after, int32_t inclusive) override {
    Word key;
    if (!word || !word[0] || !ToKey(word, &key)) {
      cursor_.indexPos = after ? this->Index().Count() : -1;
      cursor_.offset = -1;
      cursor_.word.clear();
      cursor_.changed = 0;
      return 0;
    }
    if (Lookup(key.c_str()) < 0) return -1;
    cursor_.indexPos = find_.indexPos;
    cursor_.offset = static_cast<int64_t>(find_.offset);
    cursor_.word = find_.at;
    if (cursor_.indexPos >= 0 && !after && (find_.at != key || inclusive)) StepBack();
    cursor_.changed = 0;
    return 0;
  }

  const IChar* ResultWord() override {
    resultWordText_ = HeadwordForm<B>::ToInterface(cursor_.word);
    return resultWordText_.c_str();
  }

  // Changes go through the mutation layer (dic/Mutation.h): 1 done, 0
  // nothing to do, -1 failed with the code in ErrorCode().
  int32_t RecordWord(const IChar* word, const Japa<B>& f) override { return Mutation<B>(*this).Record(word, f); }
  int32_t UpdateWord(const IChar* word, const Japa<B>& f) override { return Mutation<B>(*this).Update(word, f); }
  int32_t EraseWord(const IChar* word) override { return Mutation<B>(*this).Erase(word); }
  int32_t RenameWord(const IChar* from, const IChar* to) override { return Mutation<B>(*this).Rename(from, to); }

  // ---- navigation beyond the common interface ----

  void InitScan() {
    cursor_.indexPos = -1;
    cursor_.offset = -1;
    cursor_.word.clear();
    cursor_.changed = 0;
    ordered_ = false;
    patternText_.clear();
    matcher_.ClearPattern();
    scan_ = ScanState();
  }

  int32_t DirectJump(int32_t n) {
    if (n < 0 || n >= this->Index().Count()) return 0;
    cursor_.indexPos = n - 1;
    cursor_.offset = -1;
    cursor_.word.clear();
    return 1;
  }

  int32_t Percent() {
    int32_t count = this->Index().Count();
    return count == 0 ? 0 : cursor_.indexPos * 100 / count;
  }

  // The incremental search ends at the first headword whose leading
  // characters, as many as the pattern has, sort after the pattern.
  bool IncrementalPassed(const IString& headword) const {
    size_t n = patternText_.size();
    IString lead = headword.substr(0, n);
    return CompareWords(lead.c_str(), patternText_.c_str()) > 0;
  }

  // The sequential scan: blocks in index order read straight from the file.
  // 1 with the next entry's headword (and translation), -2 at the end, -1 on
  // a read failure or after a change of the dictionary.
  int32_t NextScan(Japa<B>* out, IString* word) {
    if (cursor_.changed & kChangedDictionary) return -1;
    for (;;) {
      if (scan_.offset == 0) {
        if (scan_.indexPos + 1 >= this->Index().Count()) return -2;
        ++scan_.indexPos;
        if (ReadBlockDirect(this->Index().BlockNumber(scan_.indexPos)) != 0) return -1;
        scan_.offset = kFirstEntryOffset;
        scan_.cursor.reset(new EntryCursor<B>(scan_.block.data(), scan_.block.size()));
        scan_.status = scan_.cursor->First();
      } else {
        scan_.status = scan_.cursor->Next();
      }
      if (scan_.status == WalkStatus::kDamaged) return Damaged();
      if (scan_.status == WalkStatus::kEnd) {
        scan_.offset = 0;
        continue;
      }
      *word = HeadwordForm<B>::ToInterface(scan_.cursor->word(), scan_.cursor->wordLength());
      if (out) {
        // Only the translation is refreshed: its leading text, at most 3000 units.
        Japa<B> fields;
        const EntryView& e = scan_.cursor->entry();
        FieldDecoder<B>::Decode(scan_.block.data() + e.fieldOffset, e.fieldLength, e.attribute, e.isLong, &fields);
        out->translation = fields.translation;
      }
      return 1;
    }
  }

  // Noted by every successful change: a running search then answers -1.
  void NoteChange() { cursor_.changed |= kChangedDictionary; }

 private:
  // The mutations position with Lookup and work from the find position.
  friend class Mutation<B>;

  struct FindPosition {
    int32_t indexPos = -1;
    int32_t block = 0;
    size_t offset = 0;
    Word before;
    Word at;
  };

  struct Cursor {
    int32_t indexPos = -1;
    int64_t offset = -1;
    Word word;
    int32_t changed = 0;
  };

  struct ScanState {
    int32_t indexPos = -1;
    size_t offset = 0;  // 0: the next call moves to the next block
    std::vector<uint8_t> block;
    std::unique_ptr<EntryCursor<B>> cursor;
    WalkStatus status = WalkStatus::kEnd;
  };

  static const IChar* Empty() {
    static const IChar kEmpty[1] = {0};
    return kEmpty;
  }

  int32_t Damaged() {
    this->SetError(kErrDamaged);
    return -1;
  }

  void AfterOpen(const IChar* name) {
    name_ = name ? IString(name) : IString();
    StartSearch(nullptr, kTypeAll);
  }

  // A key in stored form; headwords past the longest storable one still
  // look up (they are simply never found).
  bool ToKey(const IChar* word, Word* key) {
    if (!word) return false;
    if (HeadwordForm<B>::ToStored(word, key) == 0) return true;
    std::basic_string_view<IChar> view(word);
    if constexpr (sizeof(IChar) == sizeof(Unit)) {
      key->assign(view.begin(), view.end());
    } else {
      key->assign(Utf16ToUtf8(std::u16string(view)));
    }
    return true;
  }

  void PrepareMatcher(const IChar* pattern, int32_t flags) {
    if constexpr (sizeof(IChar) == 1) {
      matcher_.PrepareBytes(reinterpret_cast<const char*>(pattern), static_cast<uint32_t>(flags));
    } else {
      matcher_.Prepare(pattern, static_cast<uint32_t>(flags));
    }
  }

  bool MatchText(const typename Japa<B>::Text& text) const {
    if constexpr (sizeof(IChar) == 1) {
      return matcher_.MatchHeadword(text.c_str(), static_cast<int32_t>(text.size()));
    } else {
      return matcher_.MatchField(text.c_str(), static_cast<int32_t>(text.size()));
    }
  }

  int LoadIndexPos(int32_t pos) {
    if (pos < 0 || pos >= this->Index().Count()) return Damaged();
    return this->Data().Load(this->Index().BlockNumber(pos));
  }

  const uint8_t* Block() { return this->Data().Buffer(); }
  size_t BlockBytes() { return this->Data().BufferSize(); }

  int ReadEntry(size_t offset, Japa<B>* out) {
    WalkStatus s = FieldDecoder<B>::Read(Block(), BlockBytes(), offset, out);
    if (s == WalkStatus::kDamaged) return Damaged();
    return s == WalkStatus::kEntry ? 0 : Damaged();
  }

  // Positions the find position at the first entry whose headword is not
  // less than `key`. 1 positioned in some block, 0 beyond the last entry or
  // in an empty dictionary, -1 on failure.
  int32_t Lookup(const Unit* key) {
    find_ = FindPosition();
    HVokaIndex<B>& index = this->Index();
    if (index.Count() == 0) return 0;
    int32_t pos = index.Find(key);
    if (pos != cursor_.indexPos) cursor_.changed |= kChangedPosition;
    for (;;) {
      if (LoadIndexPos(pos) != 0) return -1;
      BlockPosition<B> where;
      Found f = BlockEntries<B>::Locate(Block(), BlockBytes(), key, &where);
      if (f == Found::kDamaged) return Damaged();
      find_.indexPos = pos;
      find_.block = index.BlockNumber(pos);
      find_.offset = where.offset;
      find_.before = where.before;
      find_.at = where.at;
      if (f == Found::kYes) return 1;
      if (pos + 1 >= index.Count()) return 0;
      ++pos;
    }
  }

  // One entry back from the cursor: to the entry before, or from a block's
  // first entry to a place before the next block of the previous position.
  void StepBack() {
    if (LoadIndexPos(cursor_.indexPos) != 0) return;
    size_t prev;
    Word word;
    Found f = BlockEntries<B>::Previous(Block(), BlockBytes(), static_cast<size_t>(cursor_.offset), &prev, &word);
    if (f == Found::kYes) {
      cursor_.offset = static_cast<int64_t>(prev);
      cursor_.word = word;
    } else {
      --cursor_.indexPos;
      cursor_.offset = -1;
      cursor_.word.clear();
    }
  }

  // Whether the entry under `walker` matches the prepared search.
  int Test(const EntryCursor<B>& walker, bool* match) {
    const EntryView& e = walker.entry();
    switch (type_) {
      case kTypeAll: *match = true; return 0;
      case kTypeFlag5: *match = (e.attribute & 0x20) != 0; return 0;
      case kTypeFlag6: *match = (e.attribute & 0x40) != 0; return 0;
      case kTypeLevel: {
        int level = e.attribute & kAttrLevelMask;
        *match = level >= levelLow_ && level <= levelHigh_;
        return 0;
      }
      default: break;
    }
    if (type_ != kTypeQuery && (type_ & kFieldHeadword) &&
        matcher_.MatchHeadword(walker.word(), static_cast<int32_t>(walker.wordLength()))) {
      *match = true;
      return 0;
    }
    *match = false;
    const bool wantsFields = type_ == kTypeQuery || (type_ & (kFieldTranslation | kFieldExampleText |
                                                              kFieldPronunciationText | kFieldObjectText));
    if (!wantsFields) return 0;
    scratch_.Reset();
    FieldDecoder<B>::Decode(Block() + e.fieldOffset, e.fieldLength, e.attribute, e.isLong, &scratch_);
    if (type_ == kTypeQuery) {
      *match = !scratch_.translation.empty() && scratch_.translation[0] == IChar('?');
      return 0;
    }
    if ((type_ & kFieldTranslation) && MatchText(scratch_.translation)) *match = true;
    else if ((e.attribute & kAttrExtended) && (type_ & kFieldExampleText) && !scratch_.example.empty() &&
             MatchText(scratch_.example))
      *match = true;
    else if ((e.attribute & kAttrExtended) && (type_ & kFieldPronunciationText) &&
             !scratch_.pronunciation.empty() && MatchText(scratch_.pronunciation))
      *match = true;
    return 0;
  }

  // Ordered prefix mode: the walk ends at the first headword that does not
  // begin with the pattern.
  bool OrderedPrefixHolds(const EntryCursor<B>& walker) const {
    if (walker.wordLength() < orderedPattern_.size()) return false;
    return std::char_traits<Unit>::compare(walker.word(), orderedPattern_.data(), orderedPattern_.size()) == 0;
  }

  int32_t Deliver(const EntryCursor<B>& walker, Japa<B>* out) {
    cursor_.offset = static_cast<int64_t>(walker.offset());
    cursor_.word.assign(walker.word(), walker.wordLength());
    if (out && ReadEntry(walker.offset(), out) != 0) return -1;
    return 1;
  }

  int32_t Step(Japa<B>* out, bool forward) {
    if (cursor_.changed & kChangedDictionary) return -1;
    cursor_.changed &= ~kChangedPosition;
    return forward ? StepForward(out) : StepBackward(out);
  }

  int32_t StepForward(Japa<B>* out) {
    const int32_t count = this->Index().Count();
    EntryCursor<B> walker(nullptr, 0);
    WalkStatus s;
    if (cursor_.indexPos >= 0 && cursor_.indexPos < count && cursor_.offset >= 0) {
      if (LoadIndexPos(cursor_.indexPos) != 0) return -1;
      walker = EntryCursor<B>(Block(), BlockBytes());
      s = walker.ResumeAt(static_cast<size_t>(cursor_.offset), cursor_.word.c_str(), cursor_.word.size());
      if (s == WalkStatus::kEntry) s = walker.Next();
      else if (s == WalkStatus::kEnd) return Advance(out);
    } else {
      return Advance(out);
    }
    return WalkForward(walker, s, out);
  }

  int32_t Advance(Japa<B>* out) {
    const int32_t count = this->Index().Count();
    if (cursor_.indexPos + 1 >= count) {
      cursor_.indexPos = count;
      cursor_.offset = kFirstEntryOffset;
      cursor_.word.clear();
      return -2;
    }
    ++cursor_.indexPos;
    if (LoadIndexPos(cursor_.indexPos) != 0) return -1;
    EntryCursor<B> walker(Block(), BlockBytes());
    WalkStatus s = walker.First();
    return WalkForward(walker, s, out);
  }

  int32_t WalkForward(EntryCursor<B>& walker, WalkStatus s, Japa<B>* out) {
    for (; s == WalkStatus::kEntry; s = walker.Next()) {
      if (ordered_) {
        if (!OrderedPrefixHolds(walker)) return EndOrdered(walker);
        return Deliver(walker, out);
      }
      bool match = false;
      Test(walker, &match);
      if (match) return Deliver(walker, out);
    }
    if (s == WalkStatus::kDamaged) return Damaged();
    cursor_.offset = static_cast<int64_t>(walker.offset());  // the terminator
    cursor_.word.assign(walker.word(), walker.wordLength());
    return 0;
  }

  int32_t EndOrdered(const EntryCursor<B>& walker) {
    cursor_.offset = static_cast<int64_t>(walker.offset());
    cursor_.word.assign(walker.word(), walker.wordLength());
    return -2;
  }

  int32_t StepBackward(Japa<B>* out) {
    const int32_t count = this->Index().Count();
    if (cursor_.indexPos > count) cursor_.indexPos = count;
    for (;;) {
      bool atStart = cursor_.offset < 0 || cursor_.indexPos >= count || cursor_.indexPos < 0 ||
                     static_cast<size_t>(cursor_.offset) == kFirstEntryOffset;
      if (atStart) {
        if (cursor_.indexPos - 1 < 0) {
          cursor_.indexPos = -1;
          cursor_.offset = -1;
          cursor_.word.clear();
          return -2;
        }
        --cursor_.indexPos;
        if (LoadIndexPos(cursor_.indexPos) != 0) return -1;
        size_t last;
        Word word;
        Found f = BlockEntries<B>::Last(Block(), BlockBytes(), &last, &word);
        if (f == Found::kDamaged) return Damaged();
        if (f == Found::kNo) {  // an empty block: nothing to step back over
          cursor_.offset = kFirstEntryOffset;
          cursor_.word.clear();
          return 0;
        }
        // Place the cursor after the last entry, then step back onto it.
        EntryCursor<B> walker(Block(), BlockBytes());
        WalkStatus s = walker.ResumeAt(last, word.c_str(), word.size());
        if (s != WalkStatus::kEntry) return Damaged();
        return WalkBackward(walker, out);
      }
      if (LoadIndexPos(cursor_.indexPos) != 0) return -1;
      size_t prev;
      Word word;
      Found f = BlockEntries<B>::Previous(Block(), BlockBytes(), static_cast<size_t>(cursor_.offset), &prev, &word);
      if (f == Found::kDamaged) return Damaged();
      if (f == Found::kNo) {
        cursor_.offset = kFirstEntryOffset;
        continue;
      }
      EntryCursor<B> walker(Block(), BlockBytes());
      WalkStatus s = walker.ResumeAt(prev, word.c_str(), word.size());
      if (s != WalkStatus::kEntry) return Damaged();
      return WalkBackward(walker, out);
    }
  }

  // Tests the entry under `walker` and those before it in the same block.
  int32_t WalkBackward(EntryCursor<B>& walker, Japa<B>* out) {
    for (;;) {
      if (ordered_) {
        if (!OrderedPrefixHolds(walker)) return EndOrdered(walker);
        return Deliver(walker, out);
      }
      bool match = false;
      Test(walker, &match);
      if (match) return Deliver(walker, out);
      size_t here = walker.offset();
      size_t prev;
      Word word;
      Found f = BlockEntries<B>::Previous(Block(), BlockBytes(), here, &prev, &word);
      if (f == Found::kDamaged) return Damaged();
      if (f == Found::kNo) {
        cursor_.offset = static_cast<int64_t>(here);
        cursor_.word.assign(walker.word(), walker.wordLength());
        return 0;
      }
      walker = EntryCursor<B>(Block(), BlockBytes());
      if (walker.ResumeAt(prev, word.c_str(), word.size()) != WalkStatus::kEntry) return Damaged();
    }
  }

  int ReadBlockDirect(int32_t n) {
    HVokaData<B>& data = this->Data();
    int32_t sizeWord = data.ReadSizeWord(n);
    if (sizeWord < 0) return -1;
    int32_t units = UnitsOf(static_cast<uint16_t>(sizeWord));
    if (n < 0 || n + units > data.End()) return Damaged();
    scan_.block.assign(size_t(units) * data.UnitSize(), 0);
    if (data.SeekToBlock(n) != 0) return -1;
    if (this->File().Read(scan_.block.data(), static_cast<uint32_t>(scan_.block.size())) < 0) return -1;
    BlockOrder<B>::ToMemory(scan_.block.data(), scan_.block.size());
    return 0;
  }

  IString name_;
  FindPosition find_;
  Cursor cursor_;
  int32_t type_ = kTypeAll;
  int levelLow_ = 0;
  int levelHigh_ = 0;
  IString patternText_;
  Word orderedPattern_;
  bool ordered_ = false;
  PatternMatcher matcher_;
  Japa<B> scratch_;
  IString cursorWordText_;
  IString resultWordText_;
  ScanState scan_;
};

}  // namespace vk
