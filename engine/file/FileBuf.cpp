#include "file/FileBuf.h"

#include "file/ErrorCodes.h"
#include "file/SystemErrors.h"

namespace vk {

FileBuf::FileBuf(Env* env, int32_t* errorCell) : env_(env), errorCell_(errorCell) {}

FileBuf::~FileBuf() { Close(); }

int FileBuf::OpenReadWrite(const std::string& name) { return OpenWith(name, OpenMode::kReadWrite); }
int FileBuf::OpenRead(const std::string& name) { return OpenWith(name, OpenMode::kReadOnly); }
int FileBuf::Create(const std::string& name) { return OpenWith(name, OpenMode::kCreate); }

int FileBuf::OpenWith(const std::string& name, OpenMode mode) {
  Fail(kErrNone);
  if (file_) {
    Fail(kErrAlreadyOpen);
    return -1;
  }
  name_ = name;
  fullPath_.clear();
  if (name.empty() || env_->FullPath(name, &fullPath_) != 0) {
    Fail(kErrCannotOpen);
    return -1;
  }
  int err = env_->Open(name, mode, &file_);
  if (err != 0) {
    file_.reset();
    Fail(EngineCodeForSystemError(err));
    return -1;
  }
  written_ = false;
  return 0;
}

void FileBuf::Close() {
  file_.reset();
  name_.clear();
}

int32_t FileBuf::Read(void* buf, uint32_t n) {
  transferred_ = 0;
  if (!file_) {
    Fail(kErrReadWrite);
    return -1;
  }
  size_t got = 0;
  int err = file_->Read(buf, n, &got);
  transferred_ = static_cast<uint32_t>(got);
  if (err != 0) {
    // Failed reads are reported as read faults whatever the system said.
    Fail(EngineCodeForSystemError(kSysReadFault));
    return -1;
  }
  return static_cast<int32_t>(got);
}

int32_t FileBuf::Write(const void* buf, uint32_t n) {
  transferred_ = 0;
  if (!file_) {
    Fail(kErrReadWrite);
    return -1;
  }
  if (recorder_) recorder_->WillWrite(file_->Position(), buf, n);
  written_ = true;
  size_t put = 0;
  int err = file_->Write(buf, n, &put);
  transferred_ = static_cast<uint32_t>(put);
  if (err != 0 && err != kSysHandleDiskFull && err != kSysDiskFull) {
    Fail(EngineCodeForSystemError(kSysWriteFault));
    return -1;
  }
  if (put != n) {
    Fail(kErrDiskFull);
    return -1;
  }
  return static_cast<int32_t>(put);
}

int FileBuf::Seek(int64_t offset) {
  if (!file_ || offset < 0 || file_->Seek(offset) != 0) {
    Fail(kErrVersion);
    return -1;
  }
  return 0;
}

int64_t FileBuf::Size() {
  // Leaves the position at the end, where callers append next.
  int64_t size = 0;
  if (!file_ || file_->Size(&size) != 0 || file_->Seek(size) != 0) {
    Fail(kErrVersion);
    return -1;
  }
  return size;
}

int FileBuf::Truncate(int64_t offset) {
  if (!file_ || offset < 0 || file_->Seek(offset) != 0) return -1;
  return file_->Truncate() == 0 ? 0 : -1;
}

}  // namespace vk
