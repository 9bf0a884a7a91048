#include "file/Journal.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "file/SystemErrors.h"
#include "format/ByteOrder.h"

namespace vk {

namespace {

constexpr uint8_t kMagic[8] = {'V', 'K', 'J', 'R', 'N', 'L', 1, 0};
constexpr uint32_t kRecordHead = 8;
constexpr uint32_t kRecordTail = 4;

uint32_t Crc32(uint32_t crc, const uint8_t* p, size_t n) {
  static const auto kTable = [] {
    struct Table {
      uint32_t v[256];
    } t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t.v[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = kTable.v[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t RecordCrc(uint32_t salt, const uint8_t* record, uint32_t n) {
  uint8_t s[4];
  StoreLE32(s, salt);
  uint32_t crc = Crc32(0, s, 4);
  return Crc32(crc, record, kRecordHead + n);
}

// Writes all of buf at offset; a short write is the disk being full.
int WriteAt(File* f, int64_t offset, const void* buf, size_t n) {
  if (int err = f->Seek(offset)) return err;
  size_t put = 0;
  int err = f->Write(buf, n, &put);
  if (err != 0) return err;
  return put == n ? 0 : kSysHandleDiskFull;
}

// Reads up to n bytes at offset; *got receives how many.
int ReadAt(File* f, int64_t offset, void* buf, size_t n, size_t* got) {
  *got = 0;
  if (int err = f->Seek(offset)) return err;
  return f->Read(buf, n, got);
}

struct JournalHeader {
  bool valid = false;
  int64_t committed = 0;
  uint32_t salt = 0;
};

void BuildHeader(int64_t committed, uint32_t salt, uint8_t out[Journal::kHeaderSize]) {
  std::memset(out, 0, Journal::kHeaderSize);
  std::memcpy(out, kMagic, sizeof kMagic);
  StoreLE32(out + 8, static_cast<uint32_t>(committed));
  StoreLE32(out + 12, static_cast<uint32_t>(static_cast<uint64_t>(committed) >> 32));
  StoreLE32(out + 16, Journal::kPageSize);
  StoreLE32(out + 20, salt);
  StoreLE32(out + 28, Crc32(0, out, 28));
}

// Reads the journal and hands every record that counts to `each(page, bytes,
// n)`, in order. A journal whose header does not check out leaves
// header->valid false and hands nothing. 0, or a system error of reading
// or of `each`.
template <class Each>
int ReadJournal(File* j, JournalHeader* header, Each each) {
  *header = JournalHeader();
  uint8_t h[Journal::kHeaderSize];
  size_t got = 0;
  if (int err = ReadAt(j, 0, h, sizeof h, &got)) return err;
  if (got < sizeof h || std::memcmp(h, kMagic, sizeof kMagic) != 0 || LoadLE32(h + 28) != Crc32(0, h, 28) ||
      LoadLE32(h + 16) != Journal::kPageSize)
    return 0;
  const int64_t committed =
      static_cast<int64_t>(uint64_t(LoadLE32(h + 8)) | (uint64_t(LoadLE32(h + 12)) << 32));
  if (committed < 0) return 0;
  header->valid = true;
  header->committed = committed;
  header->salt = LoadLE32(h + 20);
  std::vector<uint8_t> record(kRecordHead + Journal::kPageSize + kRecordTail);
  for (int64_t at = Journal::kHeaderSize;;) {
    if (int err = ReadAt(j, at, record.data(), kRecordHead, &got)) return err;
    if (got < kRecordHead) return 0;
    const uint32_t page = LoadLE32(record.data());
    const uint32_t n = LoadLE32(record.data() + 4);
    const int64_t start = int64_t(page) * Journal::kPageSize;
    if (n == 0 || n > Journal::kPageSize || start + n > committed) return 0;
    if (int err = ReadAt(j, at + kRecordHead, record.data() + kRecordHead, n + kRecordTail, &got)) return err;
    if (got < n + kRecordTail) return 0;
    if (LoadLE32(record.data() + kRecordHead + n) != RecordCrc(header->salt, record.data(), n)) return 0;
    if (int err = each(page, record.data() + kRecordHead, n)) return err;
    at += kRecordHead + n + kRecordTail;
  }
}

// Writes the journal's pages back into db and cuts db to the committed
// length, then forces it to disk. A journal that belongs to no change
// leaves db alone.
int Replay(File* j, File* db) {
  JournalHeader header;
  int err = ReadJournal(j, &header, [db](uint32_t page, const uint8_t* bytes, uint32_t n) {
    return WriteAt(db, int64_t(page) * Journal::kPageSize, bytes, n);
  });
  if (err != 0 || !header.valid) return err;
  if ((err = db->Seek(header.committed)) != 0 || (err = db->Truncate()) != 0) return err;
  return db->Sync();
}

uint32_t NewSalt() {
  static uint32_t counter = 0;
  uint64_t t = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  uint32_t x = static_cast<uint32_t>(t ^ (t >> 32)) + 0x9E3779B9u * ++counter;
  x ^= x >> 16;
  x *= 0x85EBCA6Bu;
  x ^= x >> 13;
  return x;
}

}  // namespace

Journal::Journal(Env* env, std::string dictionaryPath) : env_(env), path_(PathFor(dictionaryPath)) {}

// A journal still open here belongs to a change that could not be rolled
// back: its file stays for the next open.
Journal::~Journal() = default;

int Journal::Begin(File* db) {
  int64_t size = 0;
  if (int err = db->Size(&size)) return err;
  if (!file_) {
    if (int err = env_->Open(path_, OpenMode::kCreate, &file_)) {
      file_.reset();
      return err;
    }
    size_ = 0;
  }
  const uint32_t salt = NewSalt();
  uint8_t header[kHeaderSize];
  BuildHeader(size, salt, header);
  if (int err = WriteAt(file_.get(), 0, header, sizeof header)) return err;
  salt_ = salt;
  committed_ = size;
  size_ = kHeaderSize;
  saved_.assign(static_cast<size_t>((size + kPageSize - 1) / kPageSize), false);
  open_ = true;
  return 0;
}

int Journal::SavePage(File* db, uint32_t page) {
  const int64_t start = int64_t(page) * kPageSize;
  const uint32_t n = static_cast<uint32_t>(std::min<int64_t>(kPageSize, committed_ - start));
  std::vector<uint8_t> record(kRecordHead + n + kRecordTail, 0);
  StoreLE32(record.data(), page);
  StoreLE32(record.data() + 4, n);
  size_t got = 0;
  if (int err = ReadAt(db, start, record.data() + kRecordHead, n, &got)) return err;
  StoreLE32(record.data() + kRecordHead + n, RecordCrc(salt_, record.data(), n));
  if (int err = WriteAt(file_.get(), size_, record.data(), record.size())) return err;
  size_ += static_cast<int64_t>(record.size());
  saved_[page] = true;
  return 0;
}

int Journal::Protect(File* db, int64_t offset, int64_t n) {
  if (!open_) {
    if (int err = Begin(db)) return err;
  }
  if (offset >= committed_ || n == 0) return 0;
  const int64_t end = n < 0 ? committed_ : std::min(committed_, offset + n);
  for (int64_t page = offset / kPageSize; page * kPageSize < end; ++page) {
    if (saved_[static_cast<size_t>(page)]) continue;
    if (int err = SavePage(db, static_cast<uint32_t>(page))) return err;
  }
  return 0;
}

int Journal::Empty() {
  if (int err = file_->Seek(0)) return err;
  if (int err = file_->Truncate()) return err;
  size_ = 0;
  return 0;
}

int Journal::Commit(File* db, bool sync) {
  if (sync) {
    if (int err = db->Sync()) return err;
  }
  if (!open_) return 0;
  if (int err = Empty()) return err;
  if (sync) {
    if (int err = file_->Sync()) return err;
  }
  open_ = false;
  saved_.clear();
  return 0;
}

int Journal::Rollback(File* db) {
  if (!open_) return 0;
  if (int err = Replay(file_.get(), db)) return err;
  // The file is as committed now. Should emptying the journal fail, the
  // next change writes a new header over it, and its old records carry
  // another salt.
  Empty();
  open_ = false;
  saved_.clear();
  return 0;
}

void Journal::Close() {
  if (open_ || !file_) return;
  file_.reset();
  env_->Delete(path_);
}

int Journal::Recover(Env* env, const std::string& path, File* db) {
  std::unique_ptr<File> j;
  int err = env->Open(PathFor(path), OpenMode::kReadWrite, &j);
  if (err == kSysFileNotFound || err == kSysPathNotFound) return 0;
  if (err != 0) return err;
  if ((err = Replay(j.get(), db)) != 0) return err;
  // Emptied first, so that a journal whose removal fails counts for nothing.
  if (j->Seek(0) == 0) j->Truncate();
  j.reset();
  env->Delete(PathFor(path));
  return 0;
}

bool Journal::Exists(Env* env, const std::string& path) {
  std::unique_ptr<File> j;
  int err = env->Open(PathFor(path), OpenMode::kReadOnly, &j);
  return !(err == kSysFileNotFound || err == kSysPathNotFound);
}

int CommittedView::Load(Env* env, const std::string& path) {
  active_ = false;
  pages_.clear();
  std::unique_ptr<File> j;
  int err = env->Open(Journal::PathFor(path), OpenMode::kReadOnly, &j);
  if (err == kSysFileNotFound || err == kSysPathNotFound) return 0;
  if (err != 0) return err;
  JournalHeader header;
  err = ReadJournal(j.get(), &header, [this](uint32_t page, const uint8_t* bytes, uint32_t n) {
    pages_.emplace(page, std::vector<uint8_t>(bytes, bytes + n));
    return 0;
  });
  if (err != 0) {
    pages_.clear();
    return err;
  }
  active_ = header.valid;
  committed_ = header.committed;
  return 0;
}

int CommittedView::Read(File* db, int64_t offset, void* buf, size_t n, size_t* got) const {
  *got = 0;
  if (offset >= committed_) return 0;
  n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), committed_ - offset));
  uint8_t* out = static_cast<uint8_t*>(buf);
  size_t fromFile = 0;
  if (int err = ReadAt(db, offset, out, n, &fromFile)) return err;
  std::fill(out + fromFile, out + n, 0);
  const int64_t end = offset + static_cast<int64_t>(n);
  for (auto it = pages_.lower_bound(static_cast<uint32_t>(offset / Journal::kPageSize)); it != pages_.end(); ++it) {
    const int64_t start = int64_t(it->first) * Journal::kPageSize;
    if (start >= end) break;
    const int64_t from = std::max(start, offset);
    const int64_t to = std::min(start + static_cast<int64_t>(it->second.size()), end);
    if (from < to) std::memcpy(out + (from - offset), it->second.data() + (from - start), static_cast<size_t>(to - from));
  }
  *got = n;
  return 0;
}

}  // namespace vk
