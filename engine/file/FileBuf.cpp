#include "file/FileBuf.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "file/ChangedPieces.h"
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
  lastSystemError_ = 0;
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
  if (mode == OpenMode::kReadOnly && PrepareReadOnly(name) != 0) return -1;
  int err = env_->Open(name, mode, &file_);
  lastSystemError_ = err;
  if (err == 0 && viewPending_) err = view_.Load(env_, fullPath_);
  viewPending_ = false;
  if (err == 0 && mode == OpenMode::kReadWrite) err = Journal::Recover(env_, fullPath_, file_.get());
  if (err != 0) {
    file_.reset();
    view_ = CommittedView();
    Fail(EngineCodeForSystemError(err));
    return -1;
  }
  // A new file replaces the old one whatever a journal beside it says.
  if (mode == OpenMode::kCreate) env_->Delete(Journal::PathFor(fullPath_));
  if (mode != OpenMode::kReadOnly) journal_.reset(new Journal(env_, fullPath_));
  written_ = false;
  unsynced_ = false;
  failed_ = false;
  writeBack_ = false;
  held_.Release();
  heldEnd_ = 0;
  return 0;
}

int FileBuf::PrepareReadOnly(const std::string& name) {
  if (!Journal::Exists(env_, fullPath_)) return 0;
  std::unique_ptr<File> writable;
  int err = env_->Open(name, OpenMode::kReadWrite, &writable);
  if (err == 0) {
    err = Journal::Recover(env_, fullPath_, writable.get());
    if (err != 0) {
      lastSystemError_ = err;
      Fail(EngineCodeForSystemError(err));
      return -1;
    }
    return 0;
  }
  // The file may not be written, or another opener holds it. A live writer
  // makes the read-only open fail on its lock; if that open succeeds, the
  // journal is one a dead writer left (another reader may be reading
  // through it), and the committed state is read through it.
  viewPending_ = true;
  return 0;
}

void FileBuf::Close() {
  if (file_ && journal_) {
    if (journal_->ChangeOpen() || unsynced_) {
      if (failed_ || Commit(true) != 0) Rollback();
    }
    if (journal_) journal_->Close();
  }
  journal_.reset();
  view_ = CommittedView();
  file_.reset();
  name_.clear();
  failed_ = false;
  writeBack_ = false;
  held_.Release();
  scratchPage_.reset();
  heldEnd_ = 0;
}

int FileBuf::Protect(int64_t offset, int64_t n) {
  if (!journal_) return 0;
  int err = journal_->Protect(file_.get(), offset, n);
  if (err == 0) err = file_->Seek(offset);
  if (err != 0) {
    failed_ = true;
    Fail(err == kSysHandleDiskFull || err == kSysDiskFull ? kErrDiskFull : kErrReadWrite);
    return -1;
  }
  return 0;
}

// A flush writes the header, the index and every link of the free chain
// again, most of it unchanged; bytes the file already holds are neither
// journaled nor written. Leaves the position at `at`.
bool FileBuf::HoldsAlready(int64_t at, const void* buf, uint32_t n) {
  if (n == 0) return false;
  scratch_.resize(n);
  size_t got = 0;
  const bool same = ReadThrough(at, scratch_.data(), n, &got) == 0 && got == n && std::memcmp(scratch_.data(), buf, n) == 0;
  file_->Seek(at);
  return same;
}

int FileBuf::SetWriteBack(bool on) {
  if (on) {
    writeBack_ = journal_ != nullptr;
    return 0;
  }
  const int64_t at = file_ ? file_->Position() : 0;
  const int rc = WriteHeld();
  writeBack_ = false;
  if (held_.empty()) held_.Release();
  if (file_) file_->Seek(at);
  return rc;
}

int FileBuf::ReadThrough(int64_t at, void* buf, size_t n, size_t* got) {
  *got = 0;
  if (!Holding()) {
    if (int err = file_->Seek(at)) return err;
    return file_->Read(buf, n, got);
  }
  const int64_t end = FileEnd();
  if (end < 0) return kSysReadFault;
  if (at >= end) return 0;
  if (static_cast<int64_t>(n) > end - at) n = static_cast<size_t>(end - at);
  uint8_t* out = static_cast<uint8_t*>(buf);
  size_t done = 0;
  while (done < n) {
    const int64_t pos = at + static_cast<int64_t>(done);
    const int64_t page = pos / kPageBytes;
    const size_t in = static_cast<size_t>(pos - page * kPageBytes);
    size_t take = std::min(n - done, static_cast<size_t>(kPageBytes) - in);
    if (const uint8_t* held = held_.Find(page)) {
      std::memcpy(out + done, held + in, take);
    } else {
      // The file's own bytes, as far as the next held page.
      while (done + take < n && !held_.Find((pos + static_cast<int64_t>(take)) / kPageBytes))
        take = std::min(n - done, take + static_cast<size_t>(kPageBytes));
      size_t read = 0;
      if (int err = file_->Seek(pos)) return err;
      if (int err = file_->Read(out + done, take, &read)) return err;
      // Past the file's end but below a held page: zeros.
      if (read < take) std::memset(out + done + read, 0, take - read);
    }
    done += take;
  }
  *got = n;
  return file_->Seek(at + static_cast<int64_t>(n));
}

int FileBuf::Hold(int64_t at, const void* buf, size_t n) {
  const uint8_t* in = static_cast<const uint8_t*>(buf);
  size_t done = 0;
  while (done < n) {
    const int64_t pos = at + static_cast<int64_t>(done);
    const int64_t page = pos / kPageBytes;
    const size_t off = static_cast<size_t>(pos - page * kPageBytes);
    const size_t take = std::min(n - done, static_cast<size_t>(kPageBytes) - off);
    uint8_t* p = held_.Find(page);
    if (!p) {
      // The file's own size is asked once, when holding starts: nothing but
      // the held pages changes it until they are written out.
      if (held_.empty() && file_->Size(&baseSize_) != 0) return kSysWriteFault;
      // A page written only in part keeps the file's other bytes.
      if (take < static_cast<size_t>(kPageBytes)) {
        if (!scratchPage_) scratchPage_.reset(new (std::nothrow) uint8_t[kPageBytes]);
        if (!scratchPage_) return kSysWriteFault;
        size_t read = 0;
        if (int err = file_->Seek(page * kPageBytes)) return err;
        if (int err = file_->Read(scratchPage_.get(), static_cast<size_t>(kPageBytes), &read)) return err;
        p = held_.Add(page);
        if (!p) return kSysWriteFault;
        std::memcpy(p, scratchPage_.get(), read);
      } else {
        p = held_.Add(page);
        if (!p) return kSysWriteFault;
      }
    }
    std::memcpy(p + off, in + done, take);
    done += take;
  }
  heldEnd_ = std::max(heldEnd_, at + static_cast<int64_t>(n));
  return 0;
}

int64_t FileBuf::FileEnd() { return std::max(baseSize_, heldEnd_); }

int FileBuf::WriteHeld() {
  if (!Holding()) return 0;
  const int64_t end = FileEnd();
  const std::vector<int64_t>& pages = held_.SortedPages();
  std::vector<uint8_t> run;
  int err = end < 0 ? kSysWriteFault : 0;
  size_t put = 0, want = 0;
  for (size_t i = 0; i < pages.size() && err == 0;) {
    // One write for each stretch of consecutive pages.
    // (at most kRunPages, so that the copy stays small).
    constexpr size_t kRunPages = 256;
    size_t j = i + 1;
    while (j < pages.size() && j - i < kRunPages && pages[j] == pages[j - 1] + 1) ++j;
    const int64_t from = pages[i] * kPageBytes;
    const int64_t to = std::min(end, (pages[j - 1] + 1) * kPageBytes);
    if (to > from) {
      want = static_cast<size_t>(to - from);
      run.resize(want);
      for (size_t k = i; k < j; ++k) {
        const int64_t start = pages[k] * kPageBytes;
        const size_t len = static_cast<size_t>(std::min<int64_t>(kPageBytes, to - start));
        std::memcpy(run.data() + (start - from), held_.Find(pages[k]), len);
      }
      err = file_->Seek(from);
      if (err == 0) err = file_->Write(run.data(), want, &put);
      if (err == 0 && put != want) break;
    }
    i = j;
  }
  if (err != 0 || put != want) {
    failed_ = true;
    const bool full = err == 0 || err == kSysHandleDiskFull || err == kSysDiskFull;
    Fail(full ? kErrDiskFull : EngineCodeForSystemError(kSysWriteFault));
    return -1;
  }
  held_.Clear();
  heldEnd_ = 0;
  return 0;
}

int FileBuf::Commit(bool sync) {
  if (!file_ || !journal_) return 0;
  if (failed_) return -1;
  if (Holding()) {
    const int64_t at = file_->Position();
    if (WriteHeld() != 0) return -1;
    file_->Seek(at);
  }
  const bool forced = sync && unsynced_;
  if (!journal_->ChangeOpen() && !forced) return 0;
  if (journal_->Commit(file_.get(), forced) != 0) {
    Fail(kErrReadWrite);
    return -1;
  }
  if (forced) unsynced_ = false;
  return 0;
}

int FileBuf::Rollback() {
  held_.Clear();
  heldEnd_ = 0;
  if (!file_ || !journal_ || !journal_->ChangeOpen()) {
    failed_ = false;
    return 0;
  }
  if (journal_->Rollback(file_.get()) != 0) {
    // Nothing more may reach this file: its journal is what restores it.
    journal_.reset();
    file_.reset();
    failed_ = false;
    Fail(kErrReadWrite);
    return -1;
  }
  written_ = false;
  unsynced_ = false;
  failed_ = false;
  return 0;
}

int32_t FileBuf::Read(void* buf, uint32_t n) {
  transferred_ = 0;
  if (!file_) {
    Fail(kErrReadWrite);
    return -1;
  }
  size_t got = 0;
  int err;
  if (view_.Active()) {
    const int64_t at = file_->Position();
    err = view_.Read(file_.get(), at, buf, n, &got);
    if (err == 0) err = file_->Seek(at + static_cast<int64_t>(got));
  } else if (Holding()) {
    err = ReadThrough(file_->Position(), buf, n, &got);
  } else {
    err = file_->Read(buf, n, &got);
  }
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
  const int64_t at = file_->Position();
  written_ = true;
  // Recording reads the old bytes already; they tell whether the file
  // holds these bytes, without a second read.
  const bool holds = recorder_ ? RecordChange(at, buf, n) : journal_ && HoldsAlready(at, buf, n);
  if (journal_ && holds) {
    transferred_ = n;
    if (file_->Seek(at + n) == 0) return static_cast<int32_t>(n);
  }
  if (Protect(at, n) != 0) return -1;
  unsynced_ = true;
  if (writeBack_) {
    if (Hold(at, buf, n) != 0) {
      failed_ = true;
      Fail(EngineCodeForSystemError(kSysWriteFault));
      return -1;
    }
    transferred_ = n;
    if (held_.size() > kMaxHeldPages && WriteHeld() != 0) return -1;
    if (file_->Seek(at + n) != 0) {
      Fail(kErrSeek);
      return -1;
    }
    return static_cast<int32_t>(n);
  }
  size_t put = 0;
  int err = file_->Write(buf, n, &put);
  transferred_ = static_cast<uint32_t>(put);
  if (err != 0 && err != kSysHandleDiskFull && err != kSysDiskFull) {
    failed_ = true;
    Fail(EngineCodeForSystemError(kSysWriteFault));
    return -1;
  }
  if (put != n) {
    failed_ = true;
    Fail(kErrDiskFull);
    return -1;
  }
  return static_cast<int32_t>(put);
}

bool FileBuf::RecordChange(int64_t at, const void* buf, uint32_t n) {
  if (n == 0) return false;
  size_t got = 0;
  bool read = false;
  try {
    scratch_.resize(n);
    read = ReadThrough(at, scratch_.data(), n, &got) == 0;
  } catch (const std::bad_alloc&) {
  }
  file_->Seek(at);
  if (!read) {
    recorder_->AddHistField(static_cast<uint32_t>(at), n);
    return false;
  }
  bool differs = false;
  ForEachChangedPiece(static_cast<uint32_t>(at), scratch_.data(), got, static_cast<const uint8_t*>(buf), n,
                      [&](uint32_t offset, uint32_t length) {
                        differs = true;
                        recorder_->AddHistField(offset, length);
                      });
  return !differs;
}

int FileBuf::Seek(int64_t offset) {
  if (!file_ || offset < 0 || file_->Seek(offset) != 0) {
    Fail(kErrSeek);
    return -1;
  }
  return 0;
}

int64_t FileBuf::Size() {
  // Leaves the position at the end, where callers append next.
  int64_t size = 0;
  if (file_ && view_.Active()) {
    size = view_.Size();
  } else if (file_ && Holding()) {
    size = FileEnd();
  } else if (!file_ || file_->Size(&size) != 0) {
    Fail(kErrSeek);
    return -1;
  }
  if (file_->Seek(size) != 0) {
    Fail(kErrSeek);
    return -1;
  }
  return size;
}

int FileBuf::Truncate(int64_t offset) {
  if (!file_ || offset < 0) return -1;
  // Held bytes go out first, so that the cut applies to what they say.
  if (Holding() && WriteHeld() != 0) return -1;
  if (file_->Seek(offset) != 0) return -1;
  if (journal_) {
    // The journal's error code is not the cut's to report.
    const int32_t code = errorCell_ ? *errorCell_ : 0;
    const int rc = Protect(offset, -1);
    if (errorCell_) *errorCell_ = code;
    if (rc != 0) return -1;
  }
  written_ = true;
  unsynced_ = true;
  if (file_->Truncate() != 0) {
    failed_ = true;
    return -1;
  }
  return 0;
}

}  // namespace vk
