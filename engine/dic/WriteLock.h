// WriteLockObject: the guard every mutation holds while it changes the
// dictionary. It is re-entrant within one dictionary object: a mutation made
// of other mutations takes it once per level and only the outermost level
// locks and unlocks.
//
// A handle in direct mode (the only mode the exported interface opens) has
// no lock owner: the guard then always holds and does nothing else. A handle
// that works on a local copy of a shared dictionary is the owner: the
// outermost guard asks it for the write lock (which also brings the local
// copy up to date) and, when it ends, lets it write the changes back.
#pragma once
#include <cstdint>

#include "file/FileBuf.h"

namespace vk {

class WriteLockOwner {
 public:
  virtual ~WriteLockOwner() = default;
  // Takes the write lock, with its retries; false when it could not be had.
  virtual bool LockForWrite() = 0;
  // The outermost guard ends: the changes go back and the lock is let go.
  virtual void UnlockAfterWrite() = 0;
};

class WriteLockObject {
 public:
  // `lockCount` is the dictionary object's count of guards now held.
  WriteLockObject(FileBuf* file, WriteLockOwner* owner, int32_t* lockCount)
      : file_(file), owner_(owner), lockCount_(lockCount) {
    if (*lockCount_ != 0 || owner_ == nullptr || owner_->LockForWrite()) {
      ++*lockCount_;
      held_ = true;
    }
  }
  ~WriteLockObject() {
    if (held_ && --*lockCount_ == 0 && owner_) owner_->UnlockAfterWrite();
  }
  WriteLockObject(const WriteLockObject&) = delete;
  WriteLockObject& operator=(const WriteLockObject&) = delete;

  // False when the lock could not be had; the mutation then fails with
  // kErrNetwork and changes nothing.
  bool Held() const { return held_; }
  FileBuf* file() const { return file_; }

 private:
  FileBuf* file_;
  WriteLockOwner* owner_;
  int32_t* lockCount_;
  bool held_ = false;
};

}  // namespace vk
