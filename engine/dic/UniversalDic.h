// TUniversalDic: what a handle asks of the dictionary it holds. The file
// dictionary implements it, and so can other kinds (an in-memory word list)
// so that one handle serves them all. Words cross it in the interface's form
// (UTF-16, or bytes in the narrow build).
//
// Operations 0-21 in their order: file name, read-only, valid, close, error
// code, set fast mode, find, binary search, word at the cursor, read the
// entry at the cursor, start a search, next, previous, jump, word of the
// search result, record, update, erase, rename, modified, clear modified,
// word count.
#pragma once
#include <cstdint>
#include <string>

#include "entries/Japa.h"

namespace vk {

template <class B>
class TUniversalDic {
 public:
  using IChar = typename B::IChar;
  using IString = std::basic_string<IChar>;

  virtual ~TUniversalDic() = default;

  virtual const IChar* FileName() = 0;                                  // 0
  virtual bool IsReadOnly() = 0;                                        // 1
  virtual bool IsValid() { return true; }                               // 2
  virtual void CloseDic() = 0;                                          // 3
  virtual int32_t ErrorCode() = 0;                                      // 4
  virtual int32_t SetFast(bool /*on*/) { return 0; }                    // 5
  // 1 found, 0 not found, -1 error. Fields go to `out` when given.
  virtual int32_t FindWord(const IChar* word, Japa<B>* out) {           // 6
    int32_t rc = BSearchWord(word);
    if (rc != 1) return rc;
    if (IString(CursorWord()) != IString(word)) return 0;
    if (out) ReadAtCursor(*out);
    return 1;
  }
  virtual int32_t BSearchWord(const IChar* word) = 0;                   // 7
  virtual const IChar* CursorWord() = 0;                                // 8
  virtual int32_t ReadAtCursor(Japa<B>& out) = 0;                       // 9
  virtual int32_t StartSearch(const IChar* pattern, int32_t flags) = 0; // 10
  virtual int32_t NextResult(Japa<B>* out) = 0;                         // 11
  virtual int32_t PrevResult(Japa<B>* out) = 0;                         // 12
  virtual int32_t JumpTo(const IChar* word, int32_t after, int32_t inclusive) = 0;  // 13
  virtual const IChar* ResultWord() = 0;                                // 14
  virtual int32_t RecordWord(const IChar* word, const Japa<B>& fields) = 0;  // 15
  virtual int32_t UpdateWord(const IChar* word, const Japa<B>& fields) = 0;  // 16
  virtual int32_t EraseWord(const IChar* word) = 0;                     // 17
  virtual int32_t RenameWord(const IChar* from, const IChar* to) = 0;   // 18
  virtual bool Modified() = 0;                                          // 19
  virtual void ClearModified() = 0;                                     // 20
  virtual int32_t WordCount() = 0;                                      // 21
};

}  // namespace vk
