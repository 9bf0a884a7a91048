#include "dic/SearchCursor.h"

#include <algorithm>

#include "entries/BlockEntries.h"
#include "entries/FieldDecoder.h"
#include "entries/HeadwordForm.h"
#include "text/Collation.h"

namespace vk {

template <class B>
void SearchCursor<B>::Start(const IChar* pattern, int32_t flags) {
  indexPos_ = -1;
  offset_ = -1;
  word_.clear();
  changed_ = false;
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
    static const IChar kEmpty[1] = {0};
    JumpTo(pattern ? pattern : kEmpty, 0, 1);
  }
}

template <class B>
int32_t SearchCursor<B>::JumpTo(const IChar* word, int32_t after, int32_t inclusive) {
  if (!word || !word[0]) {
    indexPos_ = after ? file_->Index().Count() : -1;
    offset_ = -1;
    word_.clear();
    changed_ = false;
    return 0;
  }
  const Word key = HeadwordForm<B>::ToKey(word);
  Position<B> p = file_->Locate(key.c_str());
  if (p.Failed()) return -1;
  indexPos_ = p.indexPos;
  offset_ = static_cast<int64_t>(p.offset);
  word_ = p.at;
  if (indexPos_ >= 0 && !after && (p.at != key || inclusive)) StepBack();
  changed_ = false;
  return 0;
}

template <class B>
const typename SearchCursor<B>::IChar* SearchCursor<B>::ResultWord() {
  resultWordText_ = HeadwordForm<B>::ToInterface(word_);
  return resultWordText_.c_str();
}

template <class B>
void SearchCursor<B>::InitScan() {
  indexPos_ = -1;
  offset_ = -1;
  word_.clear();
  changed_ = false;
  ordered_ = false;
  patternText_.clear();
  matcher_.ClearPattern();
  scan_ = ScanState();
}

template <class B>
int32_t SearchCursor<B>::DirectJump(int32_t n) {
  if (n < 0 || n >= file_->Index().Count()) return 0;
  indexPos_ = n - 1;
  offset_ = -1;
  word_.clear();
  return 1;
}

template <class B>
int32_t SearchCursor<B>::Percent() const {
  int32_t count = file_->Index().Count();
  return count == 0 ? 0 : indexPos_ * 100 / count;
}

template <class B>
bool SearchCursor<B>::IncrementalPassed(const IString& headword) const {
  size_t n = patternText_.size();
  IString lead = headword.substr(0, n);
  return CompareWords(lead.c_str(), patternText_.c_str()) > 0;
}

// The scan reads the file, not the one-block buffer, except for the block
// the buffer holds: in fast mode its latest content may not be written yet.
template <class B>
int SearchCursor<B>::ReadScanBlock(int32_t n) {
  HVokaData<B>& data = file_->Data();
  if (data.BufferedNumber() != n) return data.ReadBlockCopy(n, &scan_.block);
  const size_t bytes = size_t(UnitsOf(data.BufferedSizeWord())) * size_t(data.UnitSize());
  scan_.block.assign(data.Buffer(), data.Buffer() + std::min(bytes, data.BufferSize()));
  return 0;
}

template <class B>
int32_t SearchCursor<B>::NextScan(Japa<B>* out, IString* word) {
  if (changed_) return -1;
  for (;;) {
    WalkStatus status;
    if (scan_.offset == 0) {
      if (scan_.indexPos + 1 >= file_->Index().Count()) return kStepEnd;
      ++scan_.indexPos;
      if (ReadScanBlock(file_->Index().BlockNumber(scan_.indexPos)) != 0) return -1;
      file_->PrefetchIndexPos(scan_.indexPos + 1);
      scan_.offset = kFirstEntryOffset;
      scan_.cursor.reset(new EntryCursor<B>(scan_.block.data(), scan_.block.size()));
      status = scan_.cursor->First();
    } else {
      status = scan_.cursor->Next();
    }
    if (status == WalkStatus::kDamaged) return Damaged();
    if (status == WalkStatus::kEnd) {
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

template <class B>
int32_t SearchCursor<B>::Damaged() {
  file_->SetError(kErrDamaged);
  return -1;
}

template <class B>
int SearchCursor<B>::ReadEntry(size_t offset, Japa<B>* out) {
  WalkStatus s = FieldDecoder<B>::Read(Block(), BlockBytes(), offset, out);
  return s == WalkStatus::kEntry ? 0 : Damaged();
}

template <class B>
void SearchCursor<B>::PrepareMatcher(const IChar* pattern, int32_t flags) {
  if constexpr (sizeof(IChar) == 1) {
    matcher_.PrepareBytes(reinterpret_cast<const char*>(pattern), static_cast<uint32_t>(flags));
  } else {
    matcher_.Prepare(pattern, static_cast<uint32_t>(flags));
  }
}

template <class B>
bool SearchCursor<B>::MatchText(const typename Japa<B>::Text& text) const {
  if constexpr (sizeof(IChar) == 1) {
    return matcher_.MatchHeadword(text.c_str(), static_cast<int32_t>(text.size()));
  } else {
    return matcher_.MatchField(text.c_str(), static_cast<int32_t>(text.size()));
  }
}

// One entry back from the cursor: to the entry before, or from a block's
// first entry to a place before the next block of the previous position.
template <class B>
void SearchCursor<B>::StepBack() {
  if (file_->LoadIndexPos(indexPos_) != 0) return;
  size_t prev;
  Word word;
  Found f = BlockEntries<B>::Previous(Block(), BlockBytes(), static_cast<size_t>(offset_), &prev, &word);
  if (f == Found::kYes) {
    offset_ = static_cast<int64_t>(prev);
    word_ = word;
  } else {
    --indexPos_;
    offset_ = -1;
    word_.clear();
  }
}

// Whether the entry under `walker` matches the prepared search.
template <class B>
bool SearchCursor<B>::Test(const EntryCursor<B>& walker) {
  const EntryView& e = walker.entry();
  switch (type_) {
    case kTypeAll: return true;
    case kTypeFlag5: return (e.attribute & 0x20) != 0;
    case kTypeFlag6: return (e.attribute & 0x40) != 0;
    case kTypeLevel: {
      int level = e.attribute & kAttrLevelMask;
      return level >= levelLow_ && level <= levelHigh_;
    }
    default: break;
  }
  if (type_ != kTypeQuery && (type_ & kFieldHeadword) &&
      matcher_.MatchHeadword(walker.word(), static_cast<int32_t>(walker.wordLength())))
    return true;
  const bool wantsFields = type_ == kTypeQuery || (type_ & (kFieldTranslation | kFieldExampleText |
                                                            kFieldPronunciationText | kFieldObjectText));
  if (!wantsFields) return false;
  scratch_.Reset();
  FieldDecoder<B>::Decode(Block() + e.fieldOffset, e.fieldLength, e.attribute, e.isLong, &scratch_);
  if (type_ == kTypeQuery) return !scratch_.translation.empty() && scratch_.translation[0] == IChar('?');
  if ((type_ & kFieldTranslation) && MatchText(scratch_.translation)) return true;
  if ((e.attribute & kAttrExtended) && (type_ & kFieldExampleText) && !scratch_.example.empty() &&
      MatchText(scratch_.example))
    return true;
  return (e.attribute & kAttrExtended) && (type_ & kFieldPronunciationText) && !scratch_.pronunciation.empty() &&
         MatchText(scratch_.pronunciation);
}

// Ordered prefix mode: the walk ends at the first headword that does not
// begin with the pattern.
template <class B>
bool SearchCursor<B>::OrderedPrefixHolds(const EntryCursor<B>& walker) const {
  if (walker.wordLength() < orderedPattern_.size()) return false;
  return std::char_traits<Unit>::compare(walker.word(), orderedPattern_.data(), orderedPattern_.size()) == 0;
}

template <class B>
int32_t SearchCursor<B>::Deliver(const EntryCursor<B>& walker, Japa<B>* out) {
  StopAt(walker);
  if (out && ReadEntry(walker.offset(), out) != 0) return -1;
  return 1;
}

template <class B>
int32_t SearchCursor<B>::Visit(const EntryCursor<B>& walker, Japa<B>* out) {
  if (ordered_) {
    if (OrderedPrefixHolds(walker)) return Deliver(walker, out);
    StopAt(walker);
    return kStepEnd;
  }
  return Test(walker) ? Deliver(walker, out) : kPass;
}

template <class B>
void SearchCursor<B>::StopAt(const EntryCursor<B>& walker) {
  offset_ = static_cast<int64_t>(walker.offset());
  word_.assign(walker.word(), walker.wordLength());
}

template <class B>
int32_t SearchCursor<B>::Step(Japa<B>* out, bool forward) {
  if (changed_) return -1;
  return forward ? StepForward(out) : StepBackward(out);
}

template <class B>
int32_t SearchCursor<B>::StepForward(Japa<B>* out) {
  const int32_t count = file_->Index().Count();
  if (!(indexPos_ >= 0 && indexPos_ < count && offset_ >= 0)) return Advance(out);
  if (file_->LoadIndexPos(indexPos_) != 0) return -1;
  EntryCursor<B> walker(Block(), BlockBytes());
  WalkStatus s = walker.ResumeAt(static_cast<size_t>(offset_), word_.c_str(), word_.size());
  if (s == WalkStatus::kEntry) s = walker.Next();
  else if (s == WalkStatus::kEnd) return Advance(out);
  return WalkForward(walker, s, out);
}

template <class B>
int32_t SearchCursor<B>::Advance(Japa<B>* out) {
  const int32_t count = file_->Index().Count();
  if (indexPos_ + 1 >= count) {
    indexPos_ = count;
    offset_ = kFirstEntryOffset;
    word_.clear();
    return kStepEnd;
  }
  ++indexPos_;
  if (file_->LoadIndexPos(indexPos_) != 0) return -1;
  // The next block's bytes travel from memory while this one is read.
  file_->PrefetchIndexPos(indexPos_ + 1);
  EntryCursor<B> walker(Block(), BlockBytes());
  WalkStatus s = walker.First();
  return WalkForward(walker, s, out);
}

template <class B>
int32_t SearchCursor<B>::WalkForward(EntryCursor<B>& walker, WalkStatus s, Japa<B>* out) {
  for (; s == WalkStatus::kEntry; s = walker.Next()) {
    const int32_t rc = Visit(walker, out);
    if (rc != kPass) return rc;
  }
  if (s == WalkStatus::kDamaged) return Damaged();
  StopAt(walker);  // the terminator
  return 0;
}

template <class B>
int32_t SearchCursor<B>::StepBackward(Japa<B>* out) {
  const int32_t count = file_->Index().Count();
  if (indexPos_ > count) indexPos_ = count;
  for (;;) {
    bool atStart = offset_ < 0 || indexPos_ >= count || indexPos_ < 0 ||
                   static_cast<size_t>(offset_) == kFirstEntryOffset;
    if (atStart) {
      if (indexPos_ - 1 < 0) {
        indexPos_ = -1;
        offset_ = -1;
        word_.clear();
        return kStepEnd;
      }
      --indexPos_;
      if (file_->LoadIndexPos(indexPos_) != 0) return -1;
      size_t last;
      Word word;
      Found f = BlockEntries<B>::Last(Block(), BlockBytes(), &last, &word);
      if (f == Found::kDamaged) return Damaged();
      if (f == Found::kNo) {  // an empty block: nothing to step back over
        offset_ = kFirstEntryOffset;
        word_.clear();
        return 0;
      }
      // Place the cursor after the last entry, then step back onto it.
      EntryCursor<B> walker(Block(), BlockBytes());
      if (walker.ResumeAt(last, word.c_str(), word.size()) != WalkStatus::kEntry) return Damaged();
      return WalkBackward(walker, out);
    }
    if (file_->LoadIndexPos(indexPos_) != 0) return -1;
    size_t prev;
    Word word;
    Found f = BlockEntries<B>::Previous(Block(), BlockBytes(), static_cast<size_t>(offset_), &prev, &word);
    if (f == Found::kDamaged) return Damaged();
    if (f == Found::kNo) {
      offset_ = kFirstEntryOffset;
      continue;
    }
    EntryCursor<B> walker(Block(), BlockBytes());
    if (walker.ResumeAt(prev, word.c_str(), word.size()) != WalkStatus::kEntry) return Damaged();
    return WalkBackward(walker, out);
  }
}

// Tests the entry under `walker` and those before it in the same block.
template <class B>
int32_t SearchCursor<B>::WalkBackward(EntryCursor<B>& walker, Japa<B>* out) {
  for (;;) {
    const int32_t rc = Visit(walker, out);
    if (rc != kPass) return rc;
    size_t here = walker.offset();
    size_t prev;
    Word word;
    Found f = BlockEntries<B>::Previous(Block(), BlockBytes(), here, &prev, &word);
    if (f == Found::kDamaged) return Damaged();
    if (f == Found::kNo) {
      StopAt(walker);
      return 0;
    }
    walker = EntryCursor<B>(Block(), BlockBytes());
    if (walker.ResumeAt(prev, word.c_str(), word.size()) != WalkStatus::kEntry) return Damaged();
  }
}

template class SearchCursor<TraitsVKCU8L>;
template class SearchCursor<TraitsVKCUB>;
template class SearchCursor<TraitsVKCUL>;
template class SearchCursor<TraitsVKC620>;

}  // namespace vk
