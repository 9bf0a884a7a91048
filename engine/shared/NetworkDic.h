// NetworkDic: what a handle in shared mode knows of the shared dictionary it
// keeps a local copy of, and the lock that lets it write there.
//
// The write lock is the shared dictionary opened for reading and writing
// with no sharing (the POSIX Env's exclusive file lock), so it is refused
// while any other process has the file open; the lock holder also holds the
// history file ("<dictionary>.HST", HistoryFile.h) with no sharing. A reader
// opens the dictionary read-only and shared. Both go through OpenShared's
// retries.
//
// The object remembers the shared dictionary's last-write time and size as
// it last saw them, so ReadLock tells whether anyone has written since, and
// the history position and identity it has caught up with.
//
// Crash safety of the write-back. The shared dictionary is written through
// a FileBuf, so its rollback journal lies beside it: the changed ranges are
// copied, the file is cut to the local copy's size and the change is
// committed, forced to disk, and only then are the ranges logged and the
// history header given the new time and size. A writer killed while it
// copies leaves a journal that the next opener of the shared dictionary
// rolls back; one killed before its header is written leaves a header that
// no longer describes the dictionary, and every reader then copies the
// whole file. So the history never names a range the dictionary does not
// hold as logged. A write-back that fails is rolled back whole.
//
// Every write-back leaves the shared dictionary a last-write time later
// than the one it found: a file system whose clock is coarser than two
// write-backs would otherwise give a changed file its old time, and a
// reader would miss the change.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "file/Env.h"
#include "file/FileBuf.h"
#include "shared/HistoryFile.h"
#include "shared/SharedOpen.h"

namespace vk {

// What a dictionary handle asks of its shared dictionary.
class NetworkDicBase {
 public:
  virtual ~NetworkDicBase() = default;
  virtual void SetFileName(const std::string& sharedPath) = 0;
  virtual bool IsCurrent() = 0;
  virtual bool WriteLock() = 0;
  virtual bool WriteUnlock(FileBuf* local) = 0;
  virtual bool ReadLock() = 0;
  virtual bool WriteCheckDate(FileBuf* local) = 0;
  virtual bool StampLocalFile(const std::string& localPath) = 0;
};

class NetworkDic : public NetworkDicBase, public ChangeRecorder {
 public:
  // Results of the last ReadLock or WriteLock.
  enum Status : int32_t {
    kOk = 0,
    kSharedMissing = 1,  // the shared dictionary cannot be looked up
    kNoWriteLock = 3,    // the shared dictionary was not had for writing
    kNoHistory = 11,     // the history file was not opened
  };

  explicit NetworkDic(Env* env, PauseFunction pause = RealPause());
  ~NetworkDic() override;
  NetworkDic(const NetworkDic&) = delete;
  NetworkDic& operator=(const NetworkDic&) = delete;

  // The shared dictionary's path; the history's is the same with ".HST"
  // appended to the whole name.
  void SetFileName(const std::string& sharedPath) override;
  const std::string& SharedPath() const { return sharedPath_; }
  const std::string& HistoryPath() const { return historyPath_; }

  // True while the write lock is held, else ReadLock.
  bool IsCurrent() override { return locked_ ? true : ReadLock(); }
  // True when the shared dictionary is as last seen; a change is recorded
  // (so the next call says true again) and the status set to 0; a failed
  // lookup sets kSharedMissing.
  bool ReadLock() override;
  // Takes the shared dictionary for writing, then the history (OpenHist),
  // then starts an empty change list. False with kNoWriteLock or kNoHistory.
  bool WriteLock() override;
  // Lets the lock go without writing anything back.
  void ReleaseLock();
  bool Locked() const { return locked_; }

  // Writes the changes of the local copy back to the shared dictionary,
  // logs them and lets the lock go. True also when no lock was held. False
  // when the write-back failed: the shared dictionary is then as it was,
  // and this object has forgotten what it had seen, so that the next check
  // copies the whole dictionary again.
  bool WriteUnlock(FileBuf* local) override;
  // ReadLock, and the same update count in the headers of the shared
  // dictionary and of the local copy.
  bool WriteCheckDate(FileBuf* local) override;
  // Gives the local copy the shared dictionary's recorded last-write time.
  bool StampLocalFile(const std::string& localPath) override;

  // Brings the local copy (closed) up to date: 1 when the history sufficed,
  // 0 when the whole dictionary was copied, or nothing could be (the copy
  // then stays as it was).
  int CheckHistFile(const std::string& localPath);
  // Applies the history entries from this object's position on to the
  // local copy, with the shared dictionary open.
  bool UpdateByHistory(const std::string& localPath, int32_t base);
  // The first copy at open: the whole shared dictionary into a new local
  // file.
  bool Duplicate(const std::string& localPath);
  // Copies the whole source to the target and adopts the history's
  // position and identity.
  bool CopyDicFile(FileBuf* source, File* target);
  // The shared dictionary opened read-only, shared for reading.
  bool NetReadOpen(FileBuf* file);
  // The history file opened read-only; a missing one drops the history
  // position and identity to 0.
  bool OpenHistFileForRead();

  // The history file opened for writing, or started anew when it has no
  // header this object accepts (with the identity check): then it gets a
  // fresh identity and the history position drops to 0. A history with
  // more than kHistoryMaxEntries entries loses its oldest ones here.
  bool OpenHist();
  // Whether a history header describes the shared dictionary as it is now
  // (and, when asked, continues this object's history identity).
  bool Accepts(const HistoryHeader& header, bool checkIdentity);
  // Last-write time and the low 32 bits of the size of the shared
  // dictionary.
  bool StatSharedFile(uint64_t* time, uint32_t* size);

  // Adds a changed range to the change list; nothing before the first
  // WriteLock, which makes the list.
  void AddHistField(uint32_t offset, uint32_t length) override;
  HistFieldArray* Changes() { return changes_.get(); }

  int32_t status() const { return status_; }
  int32_t historyPosition() const { return position_; }
  int32_t historyIdentity() const { return identity_; }
  void SetHistoryState(int32_t position, int32_t identity) {
    position_ = position;
    identity_ = identity;
  }
  FileBuf* SharedFile() { return &shared_; }
  File* HistFile() { return historyFile_.get(); }
  uint64_t sharedTime() const { return sharedTime_; }
  uint32_t sharedSize() const { return sharedSize_; }

 private:
  Env* env_;
  PauseFunction pause_;
  RuntimeRandom random_;
  int32_t status_ = kOk;
  std::string sharedPath_, historyPath_;
  // Copy [offset, offset + length) from one file to the other, in pieces;
  // false on a failed or short write or a failed read. The source may end
  // inside the range: what it holds is copied.
  static bool CopyRange(FileBuf* from, FileBuf* to, uint32_t offset, uint32_t length);
  static bool CopyRange(FileBuf* from, File* to, uint32_t offset, uint32_t length);
  // The shared dictionary opened through a FileBuf under the retry rule:
  // for writing with no sharing (the lock), or read-only and shared.
  bool OpenSharedFile(FileBuf* file, bool forWriting);
  // Forgets what was seen of the shared dictionary and its history.
  void Forget();

  int32_t fileError_ = 0;
  FileBuf shared_;
  bool locked_ = false;
  uint64_t lockTime_ = 0;  // the shared dictionary's time when the lock was taken
  std::unique_ptr<File> historyFile_;
  uint64_t sharedTime_ = 0;
  uint32_t sharedSize_ = 0;
  int32_t position_ = 0;
  int32_t identity_ = 0;
  std::unique_ptr<HistFieldArray> changes_;
};

}  // namespace vk
