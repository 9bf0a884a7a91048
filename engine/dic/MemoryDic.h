// TMemoryDic: a word list held in memory that a handle can hold in place of
// a dictionary file (VKCreateMem), answering the handle through the common
// dictionary interface (TUniversalDic). It keeps headwords only: an entry
// read from it has empty texts and a fresh attribute, and the fields given
// to a record or an update are not kept. Nothing of it reaches a file.
//
// Invariants: words_ is sorted by code units compared one by one (no case
// folding, no collation) and holds no word twice and no empty word; cursor_
// is -1 (no words when the last binary search ran) or an index in
// [0, words_.size()], where words_.size() means past the last word.
//
// Answers follow the interface's conventions for a change: 1 done (the word
// is in the list after a record, gone after an erase), 0 nothing done, -1 a
// failure with its code in ErrorCode() (only memory exhaustion fails). A
// memory list yields no search results: every search step ends at once.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "dic/UniversalDic.h"
#include "entries/Japa.h"

namespace vk {

template <class B>
class TMemoryDic : public TUniversalDic<B> {
 public:
  using IChar = typename B::IChar;
  using IString = std::basic_string<IChar>;

  TMemoryDic();

  const IChar* FileName() override { return &kNoText; }
  bool IsReadOnly() override { return false; }
  void CloseDic() override {}
  int32_t ErrorCode() override { return error_; }
  // Cursor := the first word not less than `word`; 1 when that is a word.
  int32_t BSearchWord(const IChar* word) override;
  const IChar* CursorWord() override;
  int32_t ReadAtCursor(Japa<B>& out) override {
    out.Reset();
    return 0;
  }
  // Keeps the word and the flags. The search position is the first word not
  // less than the word under the prefix flag, else 0 for a headword or an
  // all-words search and past every word otherwise. Answers that position
  // under the prefix flag, else the flags.
  int32_t StartSearch(const IChar* pattern, int32_t flags) override;
  int32_t NextResult(Japa<B>* out) override;
  int32_t PrevResult(Japa<B>* out) override;
  int32_t JumpTo(const IChar*, int32_t, int32_t) override { return 0; }
  const IChar* ResultWord() override { return searchWord_.c_str(); }
  int32_t RecordWord(const IChar* word, const Japa<B>& fields) override;
  // As a record: a word list has no fields that an update could replace.
  int32_t UpdateWord(const IChar* word, const Japa<B>& fields) override { return RecordWord(word, fields); }
  int32_t EraseWord(const IChar* word) override;
  // 1 when `from` was in the list and now `to` is in its place; 0 (nothing
  // changes) when `from` is absent, `to` is empty, or `to` is already there.
  int32_t RenameWord(const IChar* from, const IChar* to) override;
  bool Modified() override { return modified_; }
  void ClearModified() override { modified_ = false; }
  int32_t WordCount() override { return static_cast<int32_t>(words_.size()); }

  // The words in their order, for tests that look inside.
  const std::vector<IString>& Words() const { return words_; }
  int32_t SearchPosition() const { return searchPos_; }

 private:
  static constexpr IChar kNoText = 0;

  // Index of the first word not less than `word`.
  size_t LowerBound(const IString& word) const;
  bool Holds(size_t at, const IString& word) const { return at < words_.size() && words_[at] == word; }

  std::vector<IString> words_;
  int32_t error_ = 0;
  bool modified_ = false;  // nothing sets it: a memory list is never saved
  int32_t cursor_ = -1;
  IString searchWord_;
  int32_t searchFlags_ = 0;
  int32_t searchPos_ = 0;
};

}  // namespace vk
