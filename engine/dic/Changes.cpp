#include "dic/Changes.h"

#include "entries/HeadwordForm.h"
#include "file/ErrorCodes.h"
#include "text/Collation.h"

namespace vk {

template <class B>
int32_t Changes<B>::Fail(int32_t code) {
  file_->SetError(code);
  return -1;
}

template <class B>
int32_t Changes<B>::Lock(Step* step) {
  step->lock.emplace(&file_->File(), nullptr, lockCount_);
  return step->lock->Held() ? kGoOn : Fail(kErrNetwork);
}

template <class B>
int32_t Changes<B>::Begin(const IChar* word, const Opening& how, Step* step) {
  if (!word || !word[0]) return 0;
  if (!how.readOnlyWhenFound && file_->ReadOnly()) return Fail(kErrReadOnly);
  if (HeadwordForm<B>::ToStored(word, &step->key) != 0) return how.mayBeNew ? Fail(kErrWordTooLong) : how.absentAnswer;
  if (step->key.empty()) return how.mayBeNew ? 0 : how.absentAnswer;
  if (how.readOnlyWhenFound) {
    step->at = file_->Locate(step->key.c_str());
    if (step->at.Failed()) return -1;
    if (!step->at.Holds(step->key)) return how.absentAnswer;
    if (file_->ReadOnly()) return Fail(kErrReadOnly);
    return Lock(step);
  }
  if (Lock(step) != kGoOn) return -1;
  step->at = file_->Locate(step->key.c_str());
  if (step->at.Failed()) return -1;
  if (!how.mayBeNew && !step->at.Holds(step->key)) return how.absentAnswer;
  return kGoOn;
}

template <class B>
int32_t Changes<B>::Store(const Step& step, const Japa<B>& fields, bool adds) {
  EncodedFields& enc = encoded_;
  if (editor_.Encode(step.key, fields, &enc) != 0) return -1;
  cursor_->NoteChange();
  const int rc = adds ? editor_.Insert(step.at, step.key, enc) : editor_.Replace(step.at, step.key, enc);
  if (rc != 0) return -1;
  return Finish();
}

template <class B>
int32_t Changes<B>::Finish() {
  if (file_->WriteThrough() && file_->CommitChange() != 0) return -1;
  file_->SetError(entryError_);
  return 1;
}

template <class B>
size_t Changes<B>::MaxWordLength() {
  int32_t n = file_->Header().maxWordLen();
  return n > 0 ? size_t(n) : kMaxWordUnits;
}

template <class B>
int32_t Changes<B>::Record(const IChar* word, const Japa<B>& fields) {
  Step step;
  int32_t rc = Begin(word, {true, 0, false}, &step);
  if (rc != kGoOn) return rc;
  return Store(step, fields, !step.at.Holds(step.key));
}

template <class B>
int32_t Changes<B>::Update(const IChar* word, const Japa<B>& fields) {
  Step step;
  int32_t rc = Begin(word, {false, 0, true}, &step);
  if (rc != kGoOn) return rc;
  return Store(step, fields, false);
}

template <class B>
int32_t Changes<B>::Erase(const IChar* word) {
  Step step;
  int32_t rc = Begin(word, {false, 1, false}, &step);
  if (rc != kGoOn) return rc;
  cursor_->NoteChange();
  if (editor_.Erase(step.at.indexPos, step.at.offset) != 0) return -1;
  return Finish();
}

template <class B>
int32_t Changes<B>::Rename(const IChar* from, const IChar* to) {
  if (!to || !to[0]) return 0;
  Step old;
  int32_t rc = Begin(from, {false, 0, false}, &old);
  if (rc != kGoOn) return rc;
  Step next;
  if (HeadwordForm<B>::ToStored(to, &next.key) != 0) return Fail(kErrWordTooLong);
  if (next.key.empty()) return 0;
  Japa<B> fields;
  if (editor_.ReadWhole(old.at, &fields) != 0) return -1;
  next.at = file_->Locate(next.key.c_str());
  if (next.at.Failed()) return -1;
  if (next.at.Holds(next.key)) return 0;
  EncodedFields enc;
  if (editor_.Encode(next.key, fields, &enc) != 0) return -1;
  cursor_->NoteChange();
  if (editor_.Insert(next.at, next.key, enc) != 0) return -1;
  old.at = file_->Locate(old.key.c_str());
  if (old.at.Failed() || !old.at.Holds(old.key) || editor_.Erase(old.at.indexPos, old.at.offset) != 0) {
    // Take the new entry out again rather than keep the entry twice.
    const int32_t code = file_->Error() ? file_->Error() : kErrDamaged;
    next.at = file_->Locate(next.key.c_str());
    if (!next.at.Failed() && next.at.Holds(next.key)) editor_.Erase(next.at.indexPos, next.at.offset);
    return Fail(code);
  }
  return Finish();
}

template <class B>
int32_t Changes<B>::ChangeField(const IChar* word, const IChar* text, bool example) {
  Step step;
  int32_t rc = Begin(word, {false, 0, false}, &step);
  if (rc != kGoOn) return rc;
  Japa<B> fields;
  if (editor_.ReadWhole(step.at, &fields) != 0) return -1;
  (example ? fields.example : fields.translation) = text ? Text(text) : Text();
  return Store(step, fields, false);
}

template <class B>
int32_t Changes<B>::ChangeAttribute(const IChar* word, const std::function<uint8_t(uint8_t)>& change) {
  Step step;
  int32_t rc = Begin(word, {false, 0, false}, &step);
  if (rc != kGoOn) return rc;
  cursor_->NoteChange();
  if (editor_.PatchAttribute(step.at, change) != 0) return -1;
  return Finish();
}

template <class B>
int32_t Changes<B>::Query(const IChar* word, const Japa<B>& given, int32_t rule, int32_t flags,
                          QueryCounters* counters) {
  if (!word || !word[0]) return 0;
  const size_t maxLen = MaxWordLength();
  const size_t wordUnits = std::char_traits<IChar>::length(word);
  Step step;
  // The stored form serves as the key as well; a headword too long to be
  // stored is looked up by its whole converted form.
  const bool storable = HeadwordForm<B>::ToStored(word, &step.key) == 0;
  if (!storable) step.key = HeadwordForm<B>::ToKey(word);
  if (step.key.empty()) return 0;
  step.at = file_->Locate(step.key.c_str());
  if (step.at.Failed()) return -1;
  const Position<B>& at = step.at;
  const bool existing =
      at.indexPos >= 0 && !at.at.empty() && CompareWordsUpTo(at.at.c_str(), step.key.c_str(), maxLen) == 0;
  // Stores through the same checks as every change: read-only, a headword
  // that cannot be stored, the lock.
  auto store = [&](const Japa<B>& fields, bool adds) -> int32_t {
    if (file_->ReadOnly()) return Fail(kErrReadOnly);
    if (adds && !storable) return Fail(kErrWordTooLong);
    if (!adds) step.key = at.at;
    if (Lock(&step) != kGoOn) return -1;
    return Store(step, fields, adds) < 0 ? -1 : 0;
  };
  if (!existing) {
    // Most new entries need no cut: they are stored as given, uncopied.
    if (!NeedsPreparing(given)) {
      if (wordUnits > maxLen) {
        ++counters->tooLong;
        return 0;
      }
      if (store(given, true) != 0) return -1;
      ++counters->added;
      return 0;
    }
    Japa<B> n = given;
    if (PrepareNewEntry(&n, wordUnits, maxLen)) {
      ++counters->tooLong;
      return 0;
    }
    if (store(n, true) != 0) return -1;
    ++counters->added;
    return 0;
  }
  Japa<B> s;
  if (editor_.ReadWhole(at, &s) != 0) return -1;
  switch (Settle(&s, given, rule, flags, wordUnits, maxLen)) {
    case Settlement::kUncounted:
      return 0;
    case Settlement::kLeave:
      break;
    case Settlement::kTooLong:
      ++counters->tooLong;
      break;
    case Settlement::kStore:
      if (store(s, false) != 0) return -1;
      break;
  }
  ++counters->existing;
  return 0;
}

template class Changes<TraitsVKCU8L>;
template class Changes<TraitsVKCUB>;
template class Changes<TraitsVKCUL>;
template class Changes<TraitsVKC620>;

}  // namespace vk
