// PageCache: the bytes of one open file kept in memory, page by page, so
// that reading a block the engine has read before costs a copy instead of a
// system call. The engine reads the same blocks again and again (a lookup
// reads a block's size word and then its body; a search resumes in the block
// it left), so nearly every read after the first of a page is served here.
//
// The cache serves one open file and trusts that nobody else changes the
// file meanwhile: the POSIX Env's locks keep other writers out while the
// file is open. Writes are never held back: they reach the file first and
// are then copied into the pages they touch, so every failure is still the
// file's own and the cache never holds bytes the file lacks.
//
// Invariant: in every cached page, byte i equals the file's byte at
// (page start + i) while that lies below the file's size, and is 0 at or
// past it. A write beyond the end leaves a gap that reads as zeros, and a
// truncate that lengthens the file adds zeros, so neither needs more than
// the size update; a truncate that shortens it zeroes the cut bytes.
//
// The cache holds at most kMaxPages pages (or the number it is made with);
// when full, a new page takes the place of one chosen at random. Random
// replacement keeps most of a file somewhat larger than the cache (a
// dictionary read in random order) where starting over would keep little,
// and it costs no bookkeeping per read.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vk {

// Where the cache gets missing pages from.
class PageSource {
 public:
  virtual ~PageSource() = default;
  // Reads up to n bytes at offset; *got receives how many (fewer at the
  // end). Answers 0 or a system error number.
  virtual int ReadAt(int64_t offset, void* buf, size_t n, size_t* got) = 0;
};

class PageCache {
 public:
  static constexpr size_t kPageBytes = 4096;
  static constexpr size_t kMaxPages = 16384;  // 64 MiB

  explicit PageCache(int64_t fileSize, size_t maxPages = kMaxPages) : size_(fileSize), maxPages_(maxPages) {}

  int64_t size() const { return size_; }
  size_t cachedPages() const { return cached_; }

  // Copies up to n bytes at pos (fewer at the end of the file) into buf,
  // loading missing pages from `source`. Answers 0 or the source's error;
  // *got counts the bytes copied before any failure.
  int Read(int64_t pos, void* buf, size_t n, size_t* got, PageSource* source);
  // Starts fetching the cached bytes of [pos, pos + n) into the processor's
  // cache (a scan asks for the next block while it reads the current one,
  // whose pages lie anywhere in memory). Loads nothing.
  void Prefetch(int64_t pos, size_t n) const;
  // The file now holds n bytes of data at pos.
  void Wrote(int64_t pos, const void* data, size_t n);
  // The file was cut (or lengthened) to `size` bytes.
  void Truncated(int64_t size);
  // Forgets every page; the file has `size` bytes.
  void Reset(int64_t size);

 private:
  using Page = std::unique_ptr<uint8_t[]>;
  uint8_t* Load(size_t index, PageSource* source, int* err);
  // A page's buffer for a new page: a victim's when the cache is full.
  Page TakeBuffer();

  int64_t size_;
  size_t maxPages_;
  std::vector<Page> pages_;  // by page number; null where not cached
  size_t cached_ = 0;
  std::vector<size_t> resident_;  // the numbers of the cached pages, in no order
  uint64_t victimSeed_ = 0x9E3779B97F4A7C15u;
};

}  // namespace vk
