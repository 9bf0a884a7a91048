// SearchCursor: the search of an open dictionary. It holds the prepared
// pattern and search type, walks the blocks in index order from a place a
// jump chose, and tests each entry; it also runs the sequential scan and
// the incremental search's end test.
//
// The cursor's entry offset is the entry last returned, -1 for a place
// before a block's first entry, or the block's terminator once the walk has
// passed the last entry; past the last block the index position equals the
// number of index entries. A change of the dictionary marks the cursor: a
// running search then answers -1 until a new one starts.
//
// Step results (kStep*): an entry delivered, nothing more in this block
// (call again), failure or a changed dictionary, the end. The numbers are
// the ones the search exports answer.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dic/DicFile.h"
#include "entries/EntryCursor.h"
#include "entries/Japa.h"
#include "text/Matcher.h"

namespace vk {

// What a search step answers.
constexpr int32_t kStepEntry = 1;
constexpr int32_t kStepAgain = 0;
constexpr int32_t kStepFailed = -1;
constexpr int32_t kStepEnd = -2;

// Search flag word.
constexpr int32_t kSearchTypeMask = 0x7FF;
constexpr int32_t kSearchLevelRange = 0x040;
constexpr int32_t kSearchCaseFolded = 0x800;
constexpr int32_t kSearchPrefixFlag = 0x1000;
constexpr int32_t kSearchIncremental = kSearchPrefixFlag | 0x001;
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

template <class B>
class SearchCursor {
 public:
  using Unit = typename B::Unit;
  using IChar = typename B::IChar;
  using Word = std::basic_string<Unit>;
  using IString = std::basic_string<IChar>;

  explicit SearchCursor(DicFile<B>* file) : file_(file) {}
  SearchCursor(const SearchCursor&) = delete;
  SearchCursor& operator=(const SearchCursor&) = delete;

  // Prepares a search of `pattern` (null: none) with the flag word.
  void Start(const IChar* pattern, int32_t flags);
  int32_t Next(Japa<B>* out) { return Step(out, true); }
  int32_t Prev(Japa<B>* out) { return Step(out, false); }
  // Places the cursor at a headword: the next step answers the first entry
  // after it (`after`) or, going back, the ones before it; `inclusive`
  // takes the headword itself in. An empty word jumps to an end.
  int32_t JumpTo(const IChar* word, int32_t after, int32_t inclusive);
  // The headword of the entry last delivered.
  const IChar* ResultWord();

  void InitScan();
  int32_t DirectJump(int32_t n);
  int32_t Percent() const;
  // The sequential scan: blocks in index order read straight from the
  // file. 1 with the next entry's headword (and translation), -2 at the
  // end, -1 on a read failure or after a change of the dictionary.
  int32_t NextScan(Japa<B>* out, IString* word);

  // The incremental search ends at the first headword whose leading
  // characters, as many as the pattern has, sort after the pattern.
  bool IncrementalPassed(const IString& headword) const;

  // Noted by every change of the dictionary.
  void NoteChange() { changed_ = true; }

 private:
  int ReadScanBlock(int32_t n);
  struct ScanState {
    int32_t indexPos = -1;
    size_t offset = 0;  // 0: the next call moves to the next block
    std::vector<uint8_t> block;
    std::unique_ptr<EntryCursor<B>> cursor;
  };

  int32_t Damaged();
  const uint8_t* Block() { return file_->Data().Buffer(); }
  size_t BlockBytes() { return file_->Data().BufferSize(); }
  int ReadEntry(size_t offset, Japa<B>* out);
  void PrepareMatcher(const IChar* pattern, int32_t flags);
  bool MatchText(const typename Japa<B>::Text& text) const;
  void StepBack();
  bool Test(const EntryCursor<B>& walker);
  bool OrderedPrefixHolds(const EntryCursor<B>& walker) const;
  int32_t Deliver(const EntryCursor<B>& walker, Japa<B>* out);
  // What a walk does with the entry under `walker`: delivers it (1, or -1
  // when it cannot be read), ends an ordered search (-2), or passes it by.
  static constexpr int32_t kPass = 3;
  int32_t Visit(const EntryCursor<B>& walker, Japa<B>* out);
  void StopAt(const EntryCursor<B>& walker);
  int32_t Step(Japa<B>* out, bool forward);
  int32_t StepForward(Japa<B>* out);
  int32_t Advance(Japa<B>* out);
  int32_t WalkForward(EntryCursor<B>& walker, WalkStatus s, Japa<B>* out);
  int32_t StepBackward(Japa<B>* out);
  int32_t WalkBackward(EntryCursor<B>& walker, Japa<B>* out);

  DicFile<B>* file_;
  int32_t indexPos_ = -1;
  int64_t offset_ = -1;
  Word word_;
  bool changed_ = false;
  int32_t type_ = kTypeAll;
  int levelLow_ = 0;
  int levelHigh_ = 0;
  IString patternText_;
  Word orderedPattern_;
  bool ordered_ = false;
  PatternMatcher matcher_;
  Japa<B> scratch_;
  IString resultWordText_;
  ScanState scan_;
};

}  // namespace vk
