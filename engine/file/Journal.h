// Journal: the rollback journal that keeps a dictionary file in its last
// committed state, whatever happens to the process that writes it.
//
// A change of the file is every write and cut between two commits. Before
// the first of them the journal file, the dictionary's path followed by
// "-journal", is started with the file's committed length. Before a write or
// a cut touches bytes that lay below that length, the pages holding them go
// to the journal as they were at the commit, each page once per change.
// Bytes past the committed length need no copy: rolling back cuts them off,
// so filling a new dictionary costs the journal almost nothing. A commit
// empties the journal; closing the file removes it.
//
// A journal that is not empty when the file is opened belongs to a change
// that never committed: a writer holds the file's exclusive lock while its
// change is open, so a live writer's journal is never met. Its pages are
// written back, the file is cut to the committed length and forced to disk,
// and the journal is removed.
//
// Journal file (numbers little-endian):
//
//   header, 32 bytes
//      0   8  "VKJRNL" 01 00
//      8   8  committed length of the dictionary file
//     16   4  page size (kPageSize)
//     20   4  salt, new for every change
//     24   4  0
//     28   4  CRC-32 of bytes 0..27
//   page records, one after another
//      0   4  page number: the page starts at number x page size
//      4   4  n, the bytes saved: the page cut at the committed length
//      8   n  the page's bytes as they were committed
//    8+n   4  CRC-32 of the salt, bytes 0..7 and the n bytes
//
// The header is written whole before the dictionary file is touched, and a
// record whole before the bytes it saves are overwritten. A journal whose
// header is short or fails its check therefore belongs to no change that
// wrote anything, and is ignored. A record that is short or fails its check
// (or carries another change's salt) was being written when the writer died:
// its page was never overwritten, and nothing after it counts.
//
// What is promised: after the writing process dies at any point (a crash,
// SIGKILL) and after any failed write (disk full, I/O error), the file is in
// its last committed state again, at once or at the next open. The commits
// that ask for it (closing, leaving fast mode) force the data and then the
// emptied journal to disk. The journal's pages are not forced before the
// bytes they save are overwritten, so a power cut or an operating-system
// crash in the middle of a change can leave that change half written.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "file/Env.h"

namespace vk {

class Journal {
 public:
  static constexpr const char* kSuffix = "-journal";
  static constexpr uint32_t kPageSize = 1024;
  static constexpr uint32_t kHeaderSize = 32;

  static std::string PathFor(const std::string& dictionaryPath) { return dictionaryPath + kSuffix; }

  Journal(Env* env, std::string dictionaryPath);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // To be called before `db` is written at [offset, offset + n), or cut at
  // offset (n = -1: everything from offset on). Opens a change when none is
  // open and saves the committed pages the bytes lie in. 0, or the system
  // error of the journal's file.
  int Protect(File* db, int64_t offset, int64_t n);
  // Ends the open change: with `sync`, forces `db` and then the emptied
  // journal to disk. 0, or a system error (the change is still open then).
  int Commit(File* db, bool sync);
  // Puts back every page the open change saved and cuts `db` to its
  // committed length. 0, or a system error: the journal then stays as it
  // is, for the next open to roll back.
  int Rollback(File* db);
  // A change is open: something was written since the last commit.
  bool ChangeOpen() const { return open_; }
  // Removes the journal's file, unless a change is still open.
  void Close();

  // A journal left beside `path` by a writer that died is rolled back into
  // `db`, which must be open for writing and locked. 0 (also when there is
  // no journal, or one that belongs to no change), or a system error.
  static int Recover(Env* env, const std::string& path, File* db);
  // Whether a journal lies beside `path`, in use or not.
  static bool Exists(Env* env, const std::string& path);

 private:
  int Begin(File* db);
  int SavePage(File* db, uint32_t page);
  int Empty();

  Env* env_;
  std::string path_;  // the journal's own path
  std::unique_ptr<File> file_;
  bool open_ = false;
  int64_t committed_ = 0;
  uint32_t salt_ = 0;
  int64_t size_ = 0;           // bytes in the journal file
  std::vector<bool> saved_;    // pages of the committed length saved so far
};

// The committed state of a file whose journal cannot be rolled back (the
// reader may not write the file): reads see the journal's pages in place of
// the file's, and the file's committed length.
class CommittedView {
 public:
  // Loads the journal beside `path`. 0 with Active() false when there is
  // none that counts; else 0 or a system error.
  int Load(Env* env, const std::string& path);
  bool Active() const { return active_; }
  int64_t Size() const { return committed_; }
  // Reads up to n bytes at offset of the committed state; *got receives
  // how many. 0 or a system error.
  int Read(File* db, int64_t offset, void* buf, size_t n, size_t* got) const;

 private:
  bool active_ = false;
  int64_t committed_ = 0;
  std::map<uint32_t, std::vector<uint8_t>> pages_;
};

}  // namespace vk
