#include "dic/Voka.h"

#include "entries/FieldDecoder.h"
#include "entries/HeadwordForm.h"
#include "file/Journal.h"

namespace vk {

template <class B>
int Voka<B>::OpenDic(const std::string& path, const IChar* name, bool readOnly) {
  if (shared_) Close();
  if (file_.Open(path, readOnly) != 0) return -1;
  AfterOpen(name);
  return 0;
}

template <class B>
int Voka<B>::CreateDic(const std::string& path, const IChar* name, bool option) {
  if (shared_) Close();
  if (file_.Create(path, option) != 0) return -1;
  AfterOpen(name);
  return 0;
}

template <class B>
int Voka<B>::OpenShared(const std::string& sharedPath, const IChar* name, bool readOnly, PauseFunction pause) {
  Close();
  std::string local;
  if (env_->CreateTemporary("TD", &local) != 0) {
    file_.SetError(kErrNoTempName);
    return -1;
  }
  auto state = std::make_unique<SharedState>(env_, std::move(pause));
  state->net.SetFileName(sharedPath);
  state->localPath = local;
  int32_t code = kErrNone;
  if (!state->net.IsCurrent()) {
    if (state->net.status() == NetworkDic::kSharedMissing) {
      code = kErrFileNotFound;
    } else if (state->net.status() != NetworkDic::kOk || !state->net.Duplicate(local)) {
      code = kErrCannotOpen;
    }
  }
  if (code == kErrNone && file_.Open(local, readOnly) != 0) code = file_.Error() ? file_.Error() : kErrCannotOpen;
  if (code != kErrNone) {
    RemoveLocalCopy(local);
    file_.SetError(code);
    return -1;
  }
  file_.SetCountsUpdates(true);
  shared_ = std::move(state);
  AfterOpen(name);
  return 0;
}

template <class B>
int32_t Voka<B>::HoldLock(bool on) {
  if (on) {
    if (held_ || file_.ReadOnly()) return 1;
    held_.emplace(&file_.File(), static_cast<WriteLockOwner*>(this), &lockCount_);
    if (held_->Held()) return 1;
    held_.reset();
    file_.SetError(kErrNetwork);
    return -1;
  }
  if (!held_) return 0;
  held_.reset();
  return TookWriteBackFailure() ? -1 : 0;
}

template <class B>
bool Voka<B>::TookWriteBackFailure() {
  if (!shared_->writeBackFailed) return false;
  shared_->writeBackFailed = false;
  file_.SetError(kErrNetwork);
  return true;
}

template <class B>
int Voka<B>::Close() {
  if (!shared_) return file_.Close();
  int rc = 0;
  int32_t code = kErrNone;
  if (HoldLock(false) != 0) code = kErrNetwork;
  if (file_.IsOpen() && !file_.ReadOnly()) {
    WriteLockObject guard(&file_.File(), this, &lockCount_);
    if (!guard.Held()) code = kErrNetwork;
    if (!shared_->net.WriteCheckDate(&file_.File())) RefreshLocalCopy();
    if (file_.FlushForClose() != 0) {
      rc = -1;
      code = file_.Error();
    }
    shared_->net.StampLocalFile(shared_->localPath);
  }
  if (TookWriteBackFailure()) code = kErrNetwork;
  file_.Abandon();
  file_.SetCountsUpdates(false);
  const std::string local = shared_->localPath;
  shared_.reset();
  RemoveLocalCopy(local);
  if (code != kErrNone) {
    file_.SetError(code);
    rc = -1;
  }
  return rc;
}

template <class B>
void Voka<B>::RemoveLocalCopy(const std::string& path) {
  std::string full;
  if (env_->FullPath(path, &full) == 0) env_->Delete(Journal::PathFor(full));
  env_->Delete(path);
}

template <class B>
bool Voka<B>::LockForWrite() {
  NetworkDic& net = shared_->net;
  // Three calls, each with its own attempts.
  if (!net.WriteLock() && !net.WriteLock() && !net.WriteLock()) return false;
  if (!net.ReadLock()) RefreshLocalCopy();
  if (!net.WriteCheckDate(&file_.File())) RefreshLocalCopy();
  if (!file_.IsOpen()) {
    net.ReleaseLock();
    return false;
  }
  file_.File().SetChangeRecorder(&net);
  return true;
}

template <class B>
void Voka<B>::UnlockAfterWrite() {
  // What a failed change left is rolled back before anything goes out.
  file_.EndChange();
  FileBuf& buf = file_.File();
  buf.SetChangeRecorder(nullptr);
  if (!shared_->net.WriteUnlock(&buf)) shared_->writeBackFailed = true;
}

template <class B>
void Voka<B>::RefreshIfChanged() {
  if (!shared_ || lockCount_ != 0) return;
  NetworkDic& net = shared_->net;
  if (!net.IsCurrent() && net.status() == NetworkDic::kOk) RefreshLocalCopy();
}

template <class B>
void Voka<B>::RefreshLocalCopy() {
  // Direct mode while the copy is closed and opened again. Every change
  // went back when it was made, so the copy is closed as it is: the
  // trimming of a close would change it where the shared dictionary's
  // history cannot know.
  std::unique_ptr<SharedState> state = std::move(shared_);
  FileBuf& buf = file_.File();
  ChangeRecorder* recorder = buf.changeRecorder();
  buf.SetChangeRecorder(nullptr);
  file_.SetCountsUpdates(false);
  const bool readOnly = file_.ReadOnly();
  const int32_t code = file_.Error();
  file_.Abandon();
  state->net.CheckHistFile(state->localPath);
  if (file_.Open(state->localPath, readOnly) == 0) file_.SetError(code);
  file_.SetCountsUpdates(true);
  buf.SetChangeRecorder(recorder);
  shared_ = std::move(state);
  cursor_.NoteChange();
}

template <class B>
void Voka<B>::AfterOpen(const IChar* name) {
  name_ = name ? IString(name) : IString();
  cursor_.Start(nullptr, kTypeAll);
}

template <class B>
int32_t Voka<B>::BSearchWord(const IChar* word) {
  if (!word) return 0;
  RefreshIfChanged();
  const auto key = HeadwordForm<B>::ToKey(word);
  found_ = file_.Locate(key.c_str());
  if (found_.Failed()) return -1;
  if (found_.located == Located::kPastEnd) return 0;
  return found_.at.empty() ? 0 : 1;
}

template <class B>
const typename Voka<B>::IChar* Voka<B>::CursorWord() {
  cursorWordText_ = HeadwordForm<B>::ToInterface(found_.at);
  return cursorWordText_.c_str();
}

template <class B>
int32_t Voka<B>::ReadAtCursor(Japa<B>& out) {
  if (file_.LoadIndexPos(found_.indexPos) != 0) return -1;
  HVokaData<B>& data = file_.Data();
  if (FieldDecoder<B>::Read(data.Buffer(), data.BufferSize(), found_.offset, &out) != WalkStatus::kEntry) {
    file_.SetError(kErrDamaged);
    return -1;
  }
  return 0;
}

template <class B>
int32_t Voka<B>::FindWord(const IChar* word, Japa<B>* out) {
  if (!word) return 0;
  RefreshIfChanged();
  const auto key = HeadwordForm<B>::ToKey(word);
  found_ = file_.Locate(key.c_str());
  if (found_.Failed()) return -1;
  if (found_.located == Located::kPastEnd || found_.at != key) return 0;
  if (out && ReadAtCursor(*out) != 0) return -1;
  return 1;
}

template <class B>
int32_t Voka<B>::SetAttr(const IChar* word, int32_t attr) {
  return Change([&](Changes<B>& c) {
    return c.ChangeAttribute(word, [attr](uint8_t) { return static_cast<uint8_t>(attr); });
  });
}

template <class B>
int32_t Voka<B>::ChangeLevel(const IChar* word, int32_t level) {
  return Change([&](Changes<B>& c) {
    return c.ChangeAttribute(
        word, [level](uint8_t a) { return static_cast<uint8_t>((level & kAttrLevelMask) | (a & 0xF0)); });
  });
}

template <class B>
int32_t Voka<B>::AddLevel(const IChar* word, int32_t delta, int32_t minimum, int32_t maximum) {
  return Change([&](Changes<B>& c) {
    return c.ChangeAttribute(word, [=](uint8_t a) {
      int64_t level = int64_t(a & kAttrLevelMask) + delta;
      if (level > maximum) level = maximum;
      if (level < minimum) level = minimum;
      return static_cast<uint8_t>((level & kAttrLevelMask) | (a & 0xF0));
    });
  });
}

template class Voka<TraitsVKCU8L>;
template class Voka<TraitsVKCUB>;
template class Voka<TraitsVKCUL>;
template class Voka<TraitsVKC620>;

}  // namespace vk
