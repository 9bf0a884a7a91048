#include "shared/NetworkDic.h"

#include <chrono>
#include <cstring>
#include <vector>

#include "file/Journal.h"
#include "file/SystemErrors.h"

namespace vk {

namespace {

// Bytes moved at a time by the copies. The pieces are not seen in any file:
// only their sum is.
constexpr uint32_t kCopyPiece = 64 * 1024;
// Where the dictionary header keeps its update count.
constexpr uint32_t kUpdateCountOffset = 208;

uint32_t NowSeed() {
  return static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

}  // namespace

NetworkDic::NetworkDic(Env* env, PauseFunction pause)
    : env_(env), pause_(std::move(pause)), shared_(env, &fileError_) {
  random_.Seed(NowSeed());
}

NetworkDic::~NetworkDic() { ReleaseLock(); }

void NetworkDic::SetFileName(const std::string& sharedPath) {
  sharedPath_ = sharedPath;
  historyPath_ = sharedPath + ".HST";
}

bool NetworkDic::StatSharedFile(uint64_t* time, uint32_t* size) {
  FileStat st;
  if (env_->Stat(sharedPath_, &st) != 0) return false;
  *time = st.lastWrite;
  *size = static_cast<uint32_t>(st.size);
  return true;
}

bool NetworkDic::ReadLock() {
  uint64_t time = 0;
  uint32_t size = 0;
  if (!StatSharedFile(&time, &size)) {
    status_ = kSharedMissing;
    return false;
  }
  if (time == sharedTime_ && size == sharedSize_) return true;
  sharedTime_ = time;
  sharedSize_ = size;
  status_ = kOk;
  return false;
}

bool NetworkDic::WriteLock() {
  // The FileBuf's open also rolls back a write-back that a killed lock
  // holder left half done.
  if (!OpenSharedFile(&shared_, true)) {
    status_ = kNoWriteLock;
    return false;
  }
  uint32_t size = 0;
  if (!StatSharedFile(&lockTime_, &size)) lockTime_ = 0;
  if (!OpenHist()) {
    shared_.Close();
    status_ = kNoHistory;
    return false;
  }
  locked_ = true;
  changes_ = std::make_unique<HistFieldArray>();
  status_ = kOk;
  return true;
}

void NetworkDic::ReleaseLock() {
  historyFile_.reset();
  if (shared_.IsOpen()) {
    shared_.Rollback();
    shared_.Close();
  }
  locked_ = false;
}

void NetworkDic::Forget() {
  sharedTime_ = 0;
  sharedSize_ = 0;
  position_ = 0;
  identity_ = 0;
}

bool NetworkDic::Accepts(const HistoryHeader& header, bool checkIdentity) {
  uint64_t time = 0;
  uint32_t size = 0;
  if (!StatSharedFile(&time, &size)) return false;
  if (header.sharedSize != size || header.sharedTime != time) return false;
  return !checkIdentity || header.identity == identity_;
}

bool NetworkDic::OpenHist() {
  std::unique_ptr<File> file;
  int err = OpenShared(env_, historyPath_, OpenMode::kReadWrite, &file, &random_, pause_);
  if (err == kSysFileNotFound) err = env_->Open(historyPath_, OpenMode::kCreate, &file);
  if (err != 0) return false;
  HistoryFile hist(file.get());
  HistoryHeader header;
  bool found = false;
  if (hist.ReadHeader(&header, &found) != 0) return false;
  if (found && Accepts(header, true)) {
    int64_t count = 0;
    if (hist.EntryCount(&count) != 0) return false;
    if (count > kHistoryMaxEntries && hist.Truncate() != 0) return false;
    historyFile_ = std::move(file);
    return true;
  }
  // A new history: an identity that is neither 0 nor the one just read.
  const int32_t old = found ? header.identity : 0;
  random_.Seed(NowSeed() + static_cast<uint32_t>(random_.Next()));
  int32_t identity = 0;
  while (identity == 0 || identity == old) identity = random_.Next();
  if (hist.StartNew(identity) != 0) return false;
  identity_ = identity;
  position_ = 0;
  historyFile_ = std::move(file);
  return true;
}

void NetworkDic::AddHistField(uint32_t offset, uint32_t length) {
  if (changes_) changes_->Add(offset, length);
}

namespace {

// Reads [offset, offset + length) of `from` in pieces and hands each to
// put(position, bytes, n), which answers whether it was stored.
template <class Put>
bool CopyPieces(FileBuf* from, uint32_t offset, uint32_t length, Put put) {
  std::vector<uint8_t> piece(std::min(length, kCopyPiece));
  uint64_t done = 0;
  while (done < length) {
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(length - done, kCopyPiece));
    const int64_t at = int64_t(offset) + int64_t(done);
    if (from->Seek(at) != 0) return false;
    const int32_t got = from->Read(piece.data(), want);
    if (got < 0) return false;
    if (got == 0) return true;  // the source ends here
    if (!put(at, piece.data(), uint32_t(got))) return false;
    done += uint32_t(got);
  }
  return true;
}

}  // namespace

bool NetworkDic::CopyRange(FileBuf* from, FileBuf* to, uint32_t offset, uint32_t length) {
  return CopyPieces(from, offset, length, [to](int64_t at, const uint8_t* bytes, uint32_t n) {
    return to->Seek(at) == 0 && to->Write(bytes, n) == int32_t(n);
  });
}

bool NetworkDic::CopyRange(FileBuf* from, File* to, uint32_t offset, uint32_t length) {
  return CopyPieces(from, offset, length, [to](int64_t at, const uint8_t* bytes, uint32_t n) {
    size_t put = 0;
    return to->Seek(at) == 0 && to->Write(bytes, n, &put) == 0 && put == n;
  });
}

bool NetworkDic::WriteUnlock(FileBuf* local) {
  if (!locked_) return true;
  locked_ = false;
  HistFieldArray* changes = changes_.get();
  const int64_t localSize = local->Size();
  const int64_t sharedSize = shared_.Size();
  bool ok = localSize >= 0 && sharedSize >= 0;
  if (ok && localSize > sharedSize) changes->Add(uint32_t(sharedSize), uint32_t(localSize - sharedSize));
  changes->Merge();
  const bool changed = !changes->Fields().empty() || localSize != sharedSize;
  // Copy everything, cut, commit: the shared dictionary takes the whole
  // write-back or none of it.
  for (const NDHField& f : changes->Fields()) {
    if (!ok) break;
    ok = CopyRange(local, &shared_, f.offset, f.length);
  }
  if (ok && localSize != sharedSize) ok = shared_.Truncate(localSize) == 0;
  if (ok) ok = shared_.Commit(true) == 0;
  if (!ok) shared_.Rollback();
  shared_.Close();

  uint64_t time = 0;
  uint32_t size = 0;
  bool stated = StatSharedFile(&time, &size);
  if (ok && changed && stated && time <= lockTime_) {
    // Written within the file system's clock tick: move the time on.
    if (env_->SetLastWrite(sharedPath_, lockTime_ + 1) == 0) stated = StatSharedFile(&time, &size);
  }
  HistoryFile hist(historyFile_.get());
  bool logged = ok && stated;
  if (logged) {
    for (const NDHField& f : changes->Fields()) {
      if (hist.Append(f) != 0) {
        logged = false;
        break;
      }
      ++position_;
    }
  }
  // A history that could not take every range keeps its old header, which
  // no longer describes the dictionary: readers then copy it whole.
  if (logged) {
    HistoryHeader header;
    bool found = false;
    logged = hist.ReadHeader(&header, &found) == 0 && found;
    if (logged) {
      header.sharedSize = size;
      header.sharedTime = time;
      logged = hist.WriteHeader(header) == 0;
    }
  }
  historyFile_.reset();
  if (logged) {
    sharedTime_ = time;
    sharedSize_ = size;
  } else {
    Forget();
  }
  changes->Clear();
  return ok;
}

bool NetworkDic::WriteCheckDate(FileBuf* local) {
  if (!ReadLock()) return false;
  FileBuf reader(env_, &fileError_);
  FileBuf* shared = &shared_;
  if (!locked_) {
    if (!NetReadOpen(&reader)) return false;
    shared = &reader;
  }
  uint8_t a[4], b[4];
  if (shared->Seek(kUpdateCountOffset) != 0 || shared->Read(a, 4) != 4) return false;
  if (local->Seek(kUpdateCountOffset) != 0 || local->Read(b, 4) != 4) return false;
  return std::memcmp(a, b, 4) == 0;
}

bool NetworkDic::StampLocalFile(const std::string& localPath) {
  return env_->SetLastWrite(localPath, sharedTime_) == 0;
}

bool NetworkDic::NetReadOpen(FileBuf* file) { return OpenSharedFile(file, false); }

bool NetworkDic::OpenSharedFile(FileBuf* file, bool forWriting) {
  const int err = RetryWhileRefused(
      [&] {
        const int rc = forWriting ? file->OpenReadWrite(sharedPath_) : file->OpenRead(sharedPath_);
        if (rc == 0) return 0;
        // A failure the system did not report (no full path) is no refusal.
        return file->LastSystemError() != 0 ? file->LastSystemError() : int(kSysGenFailure);
      },
      &random_, pause_);
  return err == 0;
}

bool NetworkDic::OpenHistFileForRead() {
  std::unique_ptr<File> file;
  const int err = OpenShared(env_, historyPath_, OpenMode::kReadOnly, &file, &random_, pause_);
  if (err == kSysFileNotFound) {
    position_ = 0;
    identity_ = 0;
  }
  if (err != 0) return false;
  historyFile_ = std::move(file);
  return true;
}

bool NetworkDic::CopyDicFile(FileBuf* source, File* target) {
  const int64_t size = source->Size();
  if (size < 0 || !CopyRange(source, target, 0, uint32_t(size))) return false;
  if (target->Seek(size) != 0 || target->Truncate() != 0 || target->Sync() != 0) return false;
  const bool openedHere = !historyFile_;
  bool adopted = false;
  if (historyFile_ || OpenHistFileForRead()) {
    HistoryFile hist(historyFile_.get());
    HistoryHeader header;
    bool found = false;
    int64_t count = 0;
    // The lock holder's history is complete for its identity whatever its
    // header says of the file: OpenHist kept it only when the header
    // described the file, and started it anew otherwise.
    if (hist.ReadHeader(&header, &found) == 0 && found && (locked_ || Accepts(header, false)) &&
        hist.EntryCount(&count) == 0) {
      position_ = header.base + int32_t(count);
      identity_ = header.identity;
      adopted = true;
    }
  }
  if (!adopted) {
    position_ = 0;
    identity_ = 0;
  }
  if (openedHere) historyFile_.reset();
  StatSharedFile(&sharedTime_, &sharedSize_);
  return true;
}

namespace {

// A new local copy: created empty, and without the journal of an earlier
// file of that name, which would otherwise be rolled back over the copy.
int CreateLocal(Env* env, const std::string& path, std::unique_ptr<File>* out) {
  std::string full;
  if (env->FullPath(path, &full) == 0) env->Delete(Journal::PathFor(full));
  return env->Open(path, OpenMode::kCreate, out);
}

}  // namespace

bool NetworkDic::Duplicate(const std::string& localPath) {
  FileBuf source(env_, &fileError_);
  if (!NetReadOpen(&source)) return false;
  std::unique_ptr<File> target;
  if (CreateLocal(env_, localPath, &target) != 0) return false;
  return CopyDicFile(&source, target.get());
}

bool NetworkDic::UpdateByHistory(const std::string& localPath, int32_t base) {
  if (base > position_) return false;
  std::unique_ptr<File> local;
  if (env_->Open(localPath, OpenMode::kReadWrite, &local) != 0) return false;
  HistoryFile hist(historyFile_.get());
  std::vector<NDHField> entries;
  if (hist.ReadEntries(int64_t(position_) - base, &entries) != 0) return false;
  HistFieldArray ranges;
  for (const NDHField& f : entries) ranges.Add(f.offset, f.length);
  ranges.Merge();
  const int64_t size = shared_.Size();
  if (size < 0 || local->Seek(size) != 0 || local->Truncate() != 0) return false;
  for (const NDHField& f : ranges.Fields()) {
    if (int64_t(f.offset) >= size) continue;
    const uint32_t length = uint32_t(std::min<int64_t>(f.length, size - int64_t(f.offset)));
    if (!CopyRange(&shared_, local.get(), f.offset, length)) return false;
  }
  if (local->Sync() != 0) return false;
  position_ += int32_t(entries.size());
  return true;
}

int NetworkDic::CheckHistFile(const std::string& localPath) {
  const bool locked = locked_;
  if (!locked && !NetReadOpen(&shared_)) return 0;
  bool haveHistory = locked || OpenHistFileForRead();
  if (haveHistory) {
    HistoryFile hist(historyFile_.get());
    HistoryHeader header;
    bool found = false;
    if (hist.ReadHeader(&header, &found) == 0 && found && Accepts(header, true)) {
      if (UpdateByHistory(localPath, header.base)) {
        if (!locked) {
          historyFile_.reset();
          shared_.Close();
        }
        return 1;
      }
    } else {
      position_ = 0;
    }
    if (!locked) historyFile_.reset();
  }
  std::unique_ptr<File> target;
  if (CreateLocal(env_, localPath, &target) == 0) CopyDicFile(&shared_, target.get());
  if (!locked) shared_.Close();
  return 0;
}

}  // namespace vk
