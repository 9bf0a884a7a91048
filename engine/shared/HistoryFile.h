// The history file beside a shared dictionary ("x.dic.HST" for "x.dic"):
// the byte ranges of the dictionary that each write-back changed, so that
// another process can bring its local copy up to date by copying only those
// ranges instead of the whole file.
//
// Format, little-endian in every build (the big-endian build too):
//
//   offset size  field
//     0     4    magic "VKH1" (no terminator; a reader compares the first byte only)
//     4     4    size in bytes of the shared dictionary after the last write-back
//     8     8    its last-write time then, a Windows file time (low dword first)
//    16     4    base: absolute number of the first entry still in the file,
//                a multiple of kDroppedEntries
//    20     4    identity of the history sequence, 1..32767, never 0
//    24   232    zero
//   256     8    entries: offset u32, length u32 of a changed range
//
// Absolute entry k lies at kHeaderBytes + (k - base) * kEntryBytes. A file
// found holding more than kMaxEntries entries loses its kDroppedEntries oldest
// ones (Truncate) and its base rises by as many.
//
// The change list of one write-back (HistFieldArray) collects ranges as the
// dictionary's bytes are written: only 16-byte pieces whose bytes differ are
// recorded (RecordChangedPieces), and the list is sorted and merged, touching
// ranges included, before it is logged (Merge).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "file/Env.h"

namespace vk {

constexpr size_t kHistoryHeaderBytes = 256;
constexpr size_t kHistoryEntryBytes = 8;
constexpr int64_t kHistoryMaxEntries = 0x18000;     // 98304
constexpr int64_t kHistoryDroppedEntries = 0x8000;  // 32768

struct HistoryHeader {
  uint32_t sharedSize = 0;
  uint64_t sharedTime = 0;
  int32_t base = 0;
  int32_t identity = 0;

  void Encode(uint8_t out[kHistoryHeaderBytes]) const;
  // False when fewer than kHistoryHeaderBytes bytes are given or the first
  // byte is not the magic's: all a reader asks of the magic.
  static bool Decode(const uint8_t* in, size_t n, HistoryHeader* out);
};

// One changed range of the dictionary file.
struct NDHField {
  uint32_t offset;
  uint32_t length;
  bool operator==(const NDHField& o) const { return offset == o.offset && length == o.length; }
};

class HistFieldArray {
 public:
  void Add(uint32_t offset, uint32_t length) { fields_.push_back(NDHField{offset, length}); }
  // Sorts by offset and folds every range into the one before it that it
  // touches or overlaps.
  void Merge();
  const std::vector<NDHField>& Fields() const { return fields_; }
  size_t size() const { return fields_.size(); }
  void Clear() { fields_.clear(); }

 private:
  std::vector<NDHField> fields_;
};

// A write of n bytes at `at` replacing `before` with `after`: adds one range
// for each 16-byte piece, counted from `at` (the last one shorter), whose
// bytes differ.
void RecordChangedPieces(uint32_t at, const uint8_t* before, const uint8_t* after, size_t n, HistFieldArray* list);

// The history file open through an Env's File. Operations answer 0 or a
// system error number of the file (Env.h); a file too short for its header
// reads as no history.
class HistoryFile {
 public:
  explicit HistoryFile(File* file) : file_(file) {}

  // *found is false when the file has no acceptable header; then *header is
  // left as it was.
  int ReadHeader(HistoryHeader* header, bool* found);
  int WriteHeader(const HistoryHeader& header);
  // Entries in the file after the header (a partial last entry not counted).
  int EntryCount(int64_t* count);
  int Append(const NDHField& field);
  // The entries from file index `first` (0 = the first after the header) to
  // the end.
  int ReadEntries(int64_t first, std::vector<NDHField>* out);
  // Drops the kHistoryDroppedEntries oldest entries and raises the base by
  // as many: the later entries move down in pieces of 1024 bytes, the file
  // is cut after them, and the header is rewritten. For a file of more than
  // kHistoryMaxEntries entries, the only one that is cut.
  int Truncate();
  // Empties the file and writes a header with the magic and `identity`.
  int StartNew(int32_t identity);

 private:
  File* file_;
};

}  // namespace vk
