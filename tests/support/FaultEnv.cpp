#include "support/FaultEnv.h"

#include <algorithm>

namespace vktest {

namespace {

// One armed fault: hits the call whose number (0-based, counted per kind
// since the last Reset) is `at`, and every later one unless `once`.
struct Trigger {
  bool armed = false;
  bool once = false;
  int at = 0;
  int sysError = 0;

  void Arm(int callsSoFar, int n, bool o, int err) {
    armed = true;
    once = o;
    at = callsSoFar + std::max(n, 0);
    sysError = err;
  }
  bool Hits(int call) const {
    if (!armed) return false;
    return once ? call == at : call >= at;
  }
};

constexpr int kSysSeekError = 25;
constexpr int kSysDiskFull = 39;

}  // namespace

struct FaultEnv::State {
  int reads = 0;
  int writes = 0;
  int seeks = 0;
  int opens = 0;
  int64_t bytesWritten = 0;
  Trigger failRead, shortRead, failWrite, shortWrite, failSeek;
  int64_t diskRoom = -1;  // bytes that still fit, or -1 for no limit
  int64_t growthRoom = -1;  // bytes files may still grow by, or -1
  int openError[3] = {0, 0, 0};
};

namespace {

class FaultFile : public vk::File {
 public:
  FaultFile(std::unique_ptr<vk::File> base, std::shared_ptr<FaultEnv::State> state)
      : base_(std::move(base)), s_(std::move(state)) {}

  int Seek(int64_t offset) override {
    int call = s_->seeks++;
    if (s_->failSeek.Hits(call)) return kSysSeekError;
    return base_->Seek(offset);
  }

  int64_t Position() const override { return base_->Position(); }

  int Read(void* buf, size_t n, size_t* got) override {
    int call = s_->reads++;
    *got = 0;
    if (s_->failRead.Hits(call)) return s_->failRead.sysError;
    if (s_->shortRead.Hits(call)) n /= 2;
    return base_->Read(buf, n, got);
  }

  int Write(const void* buf, size_t n, size_t* put) override {
    int call = s_->writes++;
    *put = 0;
    if (s_->failWrite.Hits(call)) return s_->failWrite.sysError;
    if (s_->shortWrite.Hits(call)) n /= 2;
    bool full = false;
    if (s_->diskRoom >= 0 && static_cast<int64_t>(n) > s_->diskRoom) {
      n = static_cast<size_t>(s_->diskRoom);
      full = true;
    }
    if (s_->growthRoom >= 0) {
      int64_t size = 0;
      base_->Size(&size);
      const int64_t pos = base_->Position();
      const int64_t growth = std::max<int64_t>(0, pos + static_cast<int64_t>(n) - std::max(size, pos));
      if (growth > s_->growthRoom) {
        n = static_cast<size_t>(std::max<int64_t>(0, size - pos) + s_->growthRoom);
        full = true;
      }
      s_->growthRoom -= std::min(growth, s_->growthRoom);
    }
    int err = base_->Write(buf, n, put);
    s_->bytesWritten += static_cast<int64_t>(*put);
    if (s_->diskRoom >= 0) s_->diskRoom -= std::min<int64_t>(s_->diskRoom, *put);
    if (err != 0) return err;
    return full ? kSysDiskFull : 0;
  }

  int Truncate() override { return base_->Truncate(); }
  int Size(int64_t* size) override { return base_->Size(size); }
  int Sync() override { return base_->Sync(); }

 private:
  std::unique_ptr<vk::File> base_;
  std::shared_ptr<FaultEnv::State> s_;
};

int ModeIndex(vk::OpenMode mode) {
  switch (mode) {
    case vk::OpenMode::kReadWrite: return 0;
    case vk::OpenMode::kReadOnly: return 1;
    case vk::OpenMode::kCreate: return 2;
  }
  return 0;
}

}  // namespace

FaultEnv::FaultEnv(vk::Env* base) : base_(base), state_(std::make_shared<State>()) {}
FaultEnv::~FaultEnv() = default;

void FaultEnv::FailReadAfter(int n, bool once, int sysError) {
  state_->failRead.Arm(state_->reads, n, once, sysError);
}
void FaultEnv::ShortReadAfter(int n, bool once) { state_->shortRead.Arm(state_->reads, n, once, 0); }
void FaultEnv::FailWriteAfter(int n, bool once, int sysError) {
  state_->failWrite.Arm(state_->writes, n, once, sysError);
}
void FaultEnv::ShortWriteAfter(int n, bool once) {
  state_->shortWrite.Arm(state_->writes, n, once, 0);
}
void FaultEnv::FailSeekAfter(int n, bool once) {
  state_->failSeek.Arm(state_->seeks, n, once, kSysSeekError);
}
void FaultEnv::DiskFullAfterBytes(int64_t bytes) { state_->diskRoom = bytes < 0 ? -1 : bytes; }
void FaultEnv::DiskFullAfterGrowth(int64_t bytes) { state_->growthRoom = bytes < 0 ? -1 : bytes; }
void FaultEnv::FailOpen(vk::OpenMode mode, int sysError) {
  state_->openError[ModeIndex(mode)] = sysError;
}

void FaultEnv::Reset() { *state_ = State(); }

int FaultEnv::reads() const { return state_->reads; }
int FaultEnv::writes() const { return state_->writes; }
int FaultEnv::seeks() const { return state_->seeks; }
int FaultEnv::opens() const { return state_->opens; }
int64_t FaultEnv::bytesWritten() const { return state_->bytesWritten; }

int FaultEnv::Open(const std::string& name, vk::OpenMode mode, std::unique_ptr<vk::File>* out) {
  state_->opens++;
  if (int err = state_->openError[ModeIndex(mode)]) return err;
  std::unique_ptr<vk::File> file;
  int err = base_->Open(name, mode, &file);
  if (err != 0) return err;
  out->reset(new FaultFile(std::move(file), state_));
  return 0;
}

int FaultEnv::FullPath(const std::string& name, std::string* out) {
  return base_->FullPath(name, out);
}

int FaultEnv::Delete(const std::string& name) { return base_->Delete(name); }

}  // namespace vktest
