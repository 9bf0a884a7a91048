// Changes: every exported change of a dictionary's entries (record, update,
// erase, rename, translation and example, attribute and level, bulk
// registration), each made of one opening step, Begin, and the block work
// of BlockEditor.
//
// Begin is the same for every change of one headword: a null or empty
// headword asks for nothing, a read-only dictionary refuses (23), a
// headword no entry can have answers as the change says (an added one is
// refused as too long, 37), the write lock is taken (20 when it cannot be
// had) and the headword is looked up. An update looks up first and refuses
// a read-only dictionary only when the entry exists.
//
// Answers: 1 done, 0 nothing to do, -1 failed with the code in the file's
// error cell. A change that succeeds leaves the error code as the caller
// last saw it, whatever the steps met and recovered from on the way (a full
// index that then grew). The caller ends every change with
// DicFile::EndChange, which rolls back what a failure left.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "dic/BlockEditor.h"
#include "dic/DicFile.h"
#include "dic/MergePolicy.h"
#include "dic/Position.h"
#include "dic/SearchCursor.h"
#include "dic/WriteLock.h"
#include "entries/Japa.h"

namespace vk {

template <class B>
class Changes {
 public:
  using Unit = typename B::Unit;
  using IChar = typename B::IChar;
  using Word = std::basic_string<Unit>;
  using Text = std::basic_string<IChar>;

  // `lockCount` is the dictionary object's count of write locks held.
  Changes(DicFile<B>* file, SearchCursor<B>* cursor, int32_t* lockCount)
      : file_(file), cursor_(cursor), lockCount_(lockCount), editor_(file), entryError_(file->Error()) {}

  // Adds the entry, or replaces the fields of the entry with that headword.
  int32_t Record(const IChar* word, const Japa<B>& fields);
  // Replaces the fields of an existing entry; 0 (no error) when there is none.
  int32_t Update(const IChar* word, const Japa<B>& fields);
  // Erases the entry; 1 also when there is none.
  int32_t Erase(const IChar* word);
  // Moves an entry to a new headword. 0 when the old headword is absent or
  // the new one present. The new entry is stored before the old one is
  // erased, so a failure never loses the entry.
  int32_t Rename(const IChar* from, const IChar* to);
  // A new translation (or example), keeping the other fields and the
  // attribute. 0 when the entry does not exist.
  int32_t ChangeField(const IChar* word, const IChar* text, bool example);
  // A new attribute byte computed from the stored one; its bit 4 stays.
  int32_t ChangeAttribute(const IChar* word, const std::function<uint8_t(uint8_t)>& change);
  // Bulk registration under a clash rule and merge flags (MergePolicy.h).
  // 0, or -1 when storing failed.
  int32_t Query(const IChar* word, const Japa<B>& given, int32_t rule, int32_t flags, QueryCounters* counters);

 private:
  // How Begin treats a headword.
  struct Opening {
    bool mayBeNew;           // the change may add the entry
    int32_t absentAnswer;    // the answer when the entry is not there
    bool readOnlyWhenFound;  // look up before refusing a read-only dictionary
  };
  // What Begin leaves for the rest of the change.
  struct Step {
    Word key;
    Position<B> at;
    std::optional<WriteLockObject> lock;
  };
  static constexpr int32_t kGoOn = 2;

  int32_t Begin(const IChar* word, const Opening& how, Step* step);
  int32_t Lock(Step* step);
  int32_t Fail(int32_t code);
  // Encodes and stores the fields at the step's position: a new entry, or
  // new fields for the entry there.
  int32_t Store(const Step& step, const Japa<B>& fields, bool adds);
  // The flush after a change, unless fast mode defers it.
  int32_t Finish();
  size_t MaxWordLength();

  DicFile<B>* file_;
  SearchCursor<B>* cursor_;
  int32_t* lockCount_;
  BlockEditor<B> editor_;
  EncodedFields encoded_;  // reused, so that storing an entry allocates nothing for it
  int32_t entryError_;  // the error code when the change began
};

}  // namespace vk
