// Voka: an open dictionary as the exported interface sees it, the one
// facade the handle calls. It owns the open file (DicFile), the search
// cursor and the lookup position of the binary search, answers the common
// dictionary interface (TUniversalDic) and adds the operations that only a
// dictionary file has: the scan, jumps by index position, attribute and
// field changes, bulk registration, the header.
//
// Every change runs through Change(), which ends it with
// DicFile::EndChange: a change that failed part-way is rolled back to the
// last commit before the call returns.
//
// Shared mode (OpenShared): the handle works on a local copy of a dictionary
// that other processes share, in a new temporary file "TD..." that close
// deletes. Before each lookup or positioning the copy is brought up to date
// when the shared dictionary changed; every change holds the write lock
// (WriteLockObject, with this object as its owner), which brings the copy up
// to date first and, when the change ends, writes what it changed back to
// the shared dictionary and its history (NetworkDic). A change whose
// write-back failed answers -1 with code 20: the shared dictionary does not
// hold it, and the local copy is copied again before the next use. Fast
// mode on a shared dictionary holds the write lock from the moment it is
// switched on: the changes go back together when it is switched off (or at
// close), and other processes wait meanwhile.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "dic/Changes.h"
#include "dic/DicFile.h"
#include "dic/MergePolicy.h"
#include "dic/Position.h"
#include "dic/SearchCursor.h"
#include "dic/UniversalDic.h"
#include "dic/WriteLock.h"
#include "entries/Japa.h"
#include "shared/NetworkDic.h"

namespace vk {

template <class B>
class Voka : public TUniversalDic<B>, private WriteLockOwner {
 public:
  using Unit = typename B::Unit;
  using IChar = typename B::IChar;
  using IString = std::basic_string<IChar>;

  explicit Voka(Env* env = Env::Default()) : env_(env), file_(env), cursor_(&file_) {}
  ~Voka() override { Close(); }

  // Open and create keep the name as the caller gave it. 0, or -1 with the
  // code in Error().
  int OpenDic(const std::string& path, const IChar* name, bool readOnly);
  int CreateDic(const std::string& path, const IChar* name, bool option);
  // Opens the shared dictionary at `sharedPath` in shared mode. 0, or -1
  // with the code in Error(): 36 no temporary file, 1 the shared dictionary
  // cannot be found, 16 it cannot be copied, else what opening the copy met.
  // `pause` waits between refused attempts to open the shared files.
  int OpenShared(const std::string& sharedPath, const IChar* name, bool readOnly,
                 PauseFunction pause = RealPause());
  // The local copy's path, in shared mode.
  std::string LocalPath() const { return shared_ ? shared_->localPath : std::string(); }

  // ---- TUniversalDic ----
  const IChar* FileName() override { return name_.c_str(); }
  bool IsReadOnly() override { return file_.ReadOnly(); }
  void CloseDic() override { Close(); }
  // Closes as CloseDic does; 0, or -1 when what was pending could not be
  // written (the file is then at its last commit; in shared mode, the
  // shared dictionary holds what the last write-back gave it) with the
  // code in Error().
  int CloseFile() { return Close(); }
  int32_t ErrorCode() override { return file_.Error(); }
  int32_t SetFast(bool on) override { return shared_ ? HoldLock(on) : file_.SetFastMode(on); }
  int32_t WordCount() override { return file_.IsOpen() ? static_cast<int32_t>(file_.Data().WordCount()) : 0; }
  bool Modified() override { return false; }
  void ClearModified() override {}
  int32_t FindWord(const IChar* word, Japa<B>* out) override;
  int32_t BSearchWord(const IChar* word) override;
  const IChar* CursorWord() override;
  int32_t ReadAtCursor(Japa<B>& out) override;
  int32_t StartSearch(const IChar* pattern, int32_t flags) override {
    RefreshIfChanged();
    cursor_.Start(pattern, flags);
    return 1;
  }
  int32_t NextResult(Japa<B>* out) override { return cursor_.Next(out); }
  int32_t PrevResult(Japa<B>* out) override { return cursor_.Prev(out); }
  int32_t JumpTo(const IChar* word, int32_t after, int32_t inclusive) override {
    RefreshIfChanged();
    return cursor_.JumpTo(word, after, inclusive);
  }
  const IChar* ResultWord() override { return cursor_.ResultWord(); }
  int32_t RecordWord(const IChar* word, const Japa<B>& f) override {
    return Change([&](Changes<B>& c) { return c.Record(word, f); });
  }
  int32_t UpdateWord(const IChar* word, const Japa<B>& f) override {
    return Change([&](Changes<B>& c) { return c.Update(word, f); });
  }
  int32_t EraseWord(const IChar* word) override {
    return Change([&](Changes<B>& c) { return c.Erase(word); });
  }
  int32_t RenameWord(const IChar* from, const IChar* to) override {
    return Change([&](Changes<B>& c) { return c.Rename(from, to); });
  }

  // ---- a dictionary file's own operations ----
  void InitScan() {
    RefreshIfChanged();
    cursor_.InitScan();
  }
  int32_t NextScan(Japa<B>* out, IString* word) { return cursor_.NextScan(out, word); }
  int32_t DirectJump(int32_t n) {
    RefreshIfChanged();
    return cursor_.DirectJump(n);
  }
  int32_t Percent() const { return cursor_.Percent(); }
  bool IncrementalPassed(const IString& headword) const { return cursor_.IncrementalPassed(headword); }

  int32_t ChangeTranslation(const IChar* word, const IChar* text) {
    return Change([&](Changes<B>& c) { return c.ChangeField(word, text, false); });
  }
  int32_t ChangeExample(const IChar* word, const IChar* text) {
    return Change([&](Changes<B>& c) { return c.ChangeField(word, text, true); });
  }
  int32_t SetAttr(const IChar* word, int32_t attr);
  int32_t ChangeLevel(const IChar* word, int32_t level);
  // level := min(level + delta, maximum), then max(that, minimum).
  int32_t AddLevel(const IChar* word, int32_t delta, int32_t minimum, int32_t maximum);
  // Bulk registration (MergePolicy.h). 0, or -1 when storing failed.
  int32_t Query(const IChar* word, const Japa<B>& given, int32_t rule, int32_t flags, QueryCounters* counters) {
    return Change([&](Changes<B>& c) { return c.Query(word, given, rule, flags, counters); });
  }

  // The open file, for the header facts and for tests that look inside.
  DicFile<B>& File() { return file_; }
  DicHeader& Header() { return file_.Header(); }
  HVokaIndex<B>& Index() { return file_.Index(); }
  HVokaData<B>& Data() { return file_.Data(); }
  int32_t Error() const { return file_.Error(); }
  bool IsOpen() const { return file_.IsOpen(); }

 private:
  // A template, not a std::function: bulk registration comes through here
  // once per record, and a wrapped lambda would allocate on every call.
  template <class F>
  int32_t Change(F change) {
    if (!shared_ || file_.ReadOnly()) return ChangeHere(change);
    int32_t rc;
    {
      // The outermost guard: the lock is had, and the copy brought up to
      // date, before the change looks anything up.
      WriteLockObject guard(&file_.File(), this, &lockCount_);
      if (!guard.Held()) {
        file_.SetError(kErrNetwork);
        return -1;
      }
      rc = ChangeHere(change);
    }
    return TookWriteBackFailure() ? -1 : rc;
  }
  template <class F>
  int32_t ChangeHere(F change) {
    Changes<B> changes(&file_, &cursor_, &lockCount_);
    const int32_t rc = change(changes);
    file_.EndChange();
    return rc;
  }
  void AfterOpen(const IChar* name);
  int Close();

  // Shared mode.
  struct SharedState {
    SharedState(Env* env, PauseFunction pause) : net(env, std::move(pause)) {}
    NetworkDic net;
    std::string localPath;
    bool writeBackFailed = false;
  };
  // Fast mode in shared mode: 1 held, 0 let go, -1 not had (20) or the
  // write-back failed (20).
  int32_t HoldLock(bool on);
  // Whether the last write-back failed; if so the code becomes 20 and the
  // failure is taken (the next one is told anew).
  bool TookWriteBackFailure();
  bool LockForWrite() override;
  void UnlockAfterWrite() override;
  // Before a lookup: the copy again when the shared dictionary changed.
  void RefreshIfChanged();
  // Closes the local copy, brings it up to date from the shared dictionary
  // and opens it again as it was opened.
  void RefreshLocalCopy();
  void RemoveLocalCopy(const std::string& path);

  Env* env_;
  std::unique_ptr<SharedState> shared_;
  std::optional<WriteLockObject> held_;  // fast mode's lock in shared mode
  DicFile<B> file_;
  SearchCursor<B> cursor_;
  IString name_;
  Position<B> found_;  // where the last binary search left the cursor word
  IString cursorWordText_;
  int32_t lockCount_ = 0;
};

}  // namespace vk
