// WriteLockObject: the guard every mutation holds while it changes the
// dictionary. It is re-entrant within one dictionary object: a mutation made
// of other mutations (a rename is an insert and an erase) takes it once per
// level and only the outermost level locks and unlocks.
//
// It carries the dictionary's file and the shared-access object of a handle
// that works on a local copy of a shared dictionary. A handle in direct mode
// (the only mode the exported interface opens) has no shared-access object:
// the guard then always holds and does nothing else. Shared mode gives the
// constructor its lock attempts and the destructor its write-back.
#pragma once
#include <cstdint>

#include "file/FileBuf.h"

namespace vk {

class NetworkDic;

class WriteLockObject {
 public:
  // `lockCount` is the dictionary object's count of guards now held.
  WriteLockObject(FileBuf* file, NetworkDic* network, int32_t* lockCount)
      : file_(file), network_(network), lockCount_(lockCount) {
    if (*lockCount_ != 0 || network_ == nullptr) {
      ++*lockCount_;
      held_ = true;
    }
  }
  ~WriteLockObject() {
    if (held_) --*lockCount_;
  }
  WriteLockObject(const WriteLockObject&) = delete;
  WriteLockObject& operator=(const WriteLockObject&) = delete;

  // False when the lock could not be had; the mutation then fails with
  // kErrNetwork and changes nothing.
  bool Held() const { return held_; }
  FileBuf* file() const { return file_; }

 private:
  FileBuf* file_;
  NetworkDic* network_;
  int32_t* lockCount_;
  bool held_ = false;
};

}  // namespace vk
