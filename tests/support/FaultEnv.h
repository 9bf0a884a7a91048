// FaultEnv: an Env for tests that passes everything to another Env (the POSIX
// one by default) and can make its files misbehave on request.
//
// Faults are armed per kind of call (read, write, seek) as "after n more
// calls of that kind succeed": FailReadAfter(0) fails the very next read,
// FailReadAfter(2) lets two reads through and fails the third. A fault armed
// `once` hits that one call only; otherwise it hits every later call of the
// kind until Reset(). The counters count every call made through files of
// this Env since construction or the last Reset(), faulted or not, across
// all of its files.
//
//   failed read   -> the system error given (30, read fault, by default),
//                    nothing read, position unchanged
//   short read    -> half the bytes asked for (0 of 1), no error
//   failed write  -> the system error given (29, write fault), nothing written
//   short write   -> half the bytes asked for are written, no error
//   failed seek   -> system error 25 (seek error), position unchanged
//   disk full     -> after `bytes` more bytes have been written through this
//                    Env (every byte written counts, overwriting or not),
//                    writes put what still fits and answer 39 (disk full)
//   full disk that grows -> like disk full, but only bytes that make a file
//                    longer count and overwriting never fails, as on a
//                    real disk that has run out of room
//   failed open   -> opens in the given mode answer the given system error
//                    without touching the file
//
// Files opened through a FaultEnv share its settings, so faults armed after
// the open still apply; they may safely outlive the FaultEnv.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "file/Env.h"

namespace vktest {

class FaultEnv : public vk::Env {
 public:
  explicit FaultEnv(vk::Env* base = vk::Env::Default());
  ~FaultEnv() override;

  void FailReadAfter(int n, bool once = false, int sysError = 30);
  void ShortReadAfter(int n, bool once = false);
  void FailWriteAfter(int n, bool once = false, int sysError = 29);
  void ShortWriteAfter(int n, bool once = false);
  void FailSeekAfter(int n, bool once = false);
  // A negative count lifts the limit.
  void DiskFullAfterBytes(int64_t bytes);
  // Only growth of files counts against `bytes`. A negative count lifts it.
  void DiskFullAfterGrowth(int64_t bytes);
  // A sysError of 0 lets opens in that mode through again.
  void FailOpen(vk::OpenMode mode, int sysError);
  // Disarms every fault and zeroes the counters.
  void Reset();

  int reads() const;
  int writes() const;
  int seeks() const;
  int opens() const;
  int64_t bytesWritten() const;

  int Open(const std::string& name, vk::OpenMode mode, std::unique_ptr<vk::File>* out) override;
  int FullPath(const std::string& name, std::string* out) override;
  int Delete(const std::string& name) override;
  int Stat(const std::string& name, vk::FileStat* out) override { return base_->Stat(name, out); }
  int SetLastWrite(const std::string& name, uint64_t t) override { return base_->SetLastWrite(name, t); }
  int CreateTemporary(const std::string& prefix, std::string* path) override {
    return base_->CreateTemporary(prefix, path);
  }

  struct State;

 private:
  vk::Env* base_;
  std::shared_ptr<State> state_;
};

}  // namespace vktest
