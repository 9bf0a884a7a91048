// The file layer (file/): the one way to a dictionary's bytes. It owns the
// interface to the system (Env.h; the POSIX side is in platform/), the file
// record (FileBuf, this header), the rollback journal (Journal.h), the
// engine's error codes (ErrorCodes.h) and their translation from system
// errors (SystemErrors.h). Invariants: every byte of a dictionary is read and
// written through a FileBuf; each failure leaves its engine code (below) in
// the owner's error cell; a file open for writing can always go back to its
// last commit.
//
// FileBuf: the dictionary's file. Every byte of a dictionary is read and
// written through one of these. It keeps the name and full path, a `written`
// flag set by every write since the file was opened, and a pointer to its
// owner's error cell, where each failure leaves its engine code:
//
//   open/create: 8 already open, 16 no full path, else the system error
//                through the system-error table (SystemErrors.h)
//   read:        5 on failure (a short read is not an error)
//   write:       4 when short, 5 on failure
//   seek:        6 on failure
//   truncate:    no code
//
// A file opened for writing keeps a rollback journal (Journal.h): the bytes a
// change overwrites or cuts are saved first, so that the file can always go
// back to its last commit. Commit() ends a change; Rollback() undoes it, and
// a write that fails marks the change as one that must not be committed.
// Opening a file first rolls back a change that a dead writer left open; a
// reader that may not write the file reads its committed state through the
// journal instead. Close() commits an open change (rolls a failed one back).
//
// Change recording (shared access): while a ChangeRecorder is set, each
// write first compares the bytes it replaces with the new ones in pieces of
// 16 bytes counted from the write's position (ChangedPieces.h), and tells the
// recorder each piece that differs; a write whose old bytes cannot be read
// is told whole. Bytes written equal to what the file holds tell nothing.
//
// Write-back (SetWriteBack, the dictionary's fast mode): writes of a file
// open for writing are held in memory, page by page, after the journal has
// saved what they overwrite, and reach the file at the next commit, at a cut,
// when write-back ends, or when more than kMaxHeldPages pages are held.
// Reads and sizes see the held bytes. A held write that fails when it is
// written out fails like a write (4 or 5) from the call that wrote it out,
// and the change is not committed; a rollback drops what is held. The file
// is never in a state a commit did not leave, whatever happens when.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "file/Env.h"
#include "file/HeldPages.h"
#include "file/Journal.h"

namespace vk {

class ChangeRecorder {
 public:
  virtual ~ChangeRecorder() = default;
  virtual void AddHistField(uint32_t offset, uint32_t length) = 0;
};

class FileBuf {
 public:
  FileBuf(Env* env, int32_t* errorCell);
  ~FileBuf();
  FileBuf(const FileBuf&) = delete;
  FileBuf& operator=(const FileBuf&) = delete;

  // Each answers 0, or -1 with the code in the error cell. All three clear
  // the error cell first.
  int OpenReadWrite(const std::string& name);
  int OpenRead(const std::string& name);
  int Create(const std::string& name);
  // Closes the file if open and empties the stored name. Closing a closed
  // record does nothing.
  void Close();

  bool IsOpen() const { return file_ != nullptr; }
  // Bytes read (possibly fewer than n), or -1 (code 5).
  int32_t Read(void* buf, uint32_t n);
  // n, or -1 (code 4 when short, 5 when failed).
  int32_t Write(const void* buf, uint32_t n);
  // 0, or -1 (code 6).
  int Seek(int64_t offset);
  // A hint that n bytes at `offset` are read next (File::Prefetch); only a
  // file read straight from the system's side takes it.
  void Prefetch(int64_t offset, size_t n) {
    if (file_ && !view_.Active() && !Holding()) file_->Prefetch(offset, n);
  }
  // The file's length, or -1 (code 6).
  int64_t Size();
  // Positions at `offset` and cuts the file there. 0 or -1; stores no code.
  int Truncate(int64_t offset);

  // Ends the open change, so that what it wrote is what a later open finds;
  // with `sync` the file is forced to disk first (when anything was written
  // since the last time). 0, or -1 with code 5; a change whose writes failed
  // is not committed (-1, its code kept).
  int Commit(bool sync);
  // Puts the file back as it was at the last commit. 0, or -1 with code 5
  // when that fails: the file is then closed, and its journal stays for the
  // next open to roll back.
  int Rollback();
  // Holds writes back (on) or writes out what is held and stops (off).
  // 0, or -1 with the code of the failed write.
  int SetWriteBack(bool on);
  // Something was written since the last commit.
  bool ChangeOpen() const { return journal_ && journal_->ChangeOpen(); }
  // A write or cut of the open change failed.
  bool ChangeFailed() const { return failed_; }

  void SetChangeRecorder(ChangeRecorder* recorder) { recorder_ = recorder; }
  ChangeRecorder* changeRecorder() const { return recorder_; }
  // The system error number of the last open (0 after a good one, and after
  // a failure the system did not report): a caller that retries an open
  // refused by another process asks it.
  int LastSystemError() const { return lastSystemError_; }

  bool Written() const { return written_; }
  uint32_t Transferred() const { return transferred_; }
  const std::string& Name() const { return name_; }
  const std::string& FullPath() const { return fullPath_; }
  Env* env() const { return env_; }
  int32_t* errorCell() const { return errorCell_; }
  void SetErrorCell(int32_t* cell) { errorCell_ = cell; }

 private:
  int OpenWith(const std::string& name, OpenMode mode);
  // Before a read-only open: rolls back a journal that no live writer
  // holds, or, when the file may not be written, loads its committed state.
  int PrepareReadOnly(const std::string& name);
  void Fail(int32_t code) { if (errorCell_) *errorCell_ = code; }
  // Journals the bytes [offset, offset + n) (n = -1: all from offset on)
  // before they change. 0, or -1 with the change marked failed.
  int Protect(int64_t offset, int64_t n);
  // Tells the recorder the pieces a write of n bytes at `at` changes; true
  // when the file holds these n bytes already (as HoldsAlready). Leaves the
  // position at `at`.
  bool RecordChange(int64_t at, const void* buf, uint32_t n);
  // The file holds these n bytes at `at` already.
  bool HoldsAlready(int64_t at, const void* buf, uint32_t n);

  // Write-back. Pages of kPageBytes; a held page is whole (what the file
  // held there, changed by every held write), zeros past the held end.
  static constexpr int64_t kPageBytes = HeldPages::kPageBytes;
  static constexpr size_t kMaxHeldPages = 8192;  // 32 MiB
  bool Holding() const { return !held_.empty(); }
  // Reads up to n bytes at `at` with the held pages laid over the file.
  int ReadThrough(int64_t at, void* buf, size_t n, size_t* got);
  // Takes n bytes for `at` into the held pages. 0 or a system error number.
  int Hold(int64_t at, const void* buf, size_t n);
  // Writes every held page out, in order, and forgets them. 0, or -1 with
  // the change marked failed and the code set.
  int WriteHeld();
  int64_t FileEnd();  // the file's size with the held bytes (while holding)

  Env* env_;
  std::unique_ptr<File> file_;
  std::string name_;
  std::string fullPath_;
  bool written_ = false;
  bool unsynced_ = false;  // written since the file was last forced to disk
  bool failed_ = false;    // a write of the open change failed
  std::unique_ptr<Journal> journal_;  // files open for writing only
  CommittedView view_;                // read-only files with a journal left
  bool viewPending_ = false;
  std::vector<uint8_t> scratch_;  // what a write would overwrite
  bool writeBack_ = false;
  HeldPages held_;
  std::unique_ptr<uint8_t[]> scratchPage_;  // a page's file bytes on their way in
  int64_t heldEnd_ = 0;   // end of the furthest held write
  int64_t baseSize_ = 0;  // the file's own size while pages are held

  ChangeRecorder* recorder_ = nullptr;
  int lastSystemError_ = 0;
  uint32_t transferred_ = 0;
  int32_t* errorCell_;
};

}  // namespace vk
