// IndexEntryList: the block index's entries in memory, in logical order: for
// each, the physical block number and an owned copy of the block's first
// headword.
//
// Entries live in chunks of at most kChunkMax, each two arrays of plain
// values (block numbers, headword pointers), with the position of every
// chunk's first entry beside them. Inserting or removing an entry moves the
// rest of one chunk and a counter per later chunk, not the whole index: a
// dictionary filled in random order splits a block, and inserts an index
// entry, every few registrations, and a flat array made that quadratic.
//
// Beside each headword pointer lie the headword's first eight bytes as one
// number (a word's first units, most significant first, zero-padded) and
// the next eight as another, so that a binary search compares numbers in
// the chunk and reads a headword only where sixteen bytes are equal: the
// headwords lie all over the heap.
// An index that has stopped changing (a dictionary being read) also keeps
// every prefix in one flat array, made after a run of searches without a
// change and dropped at the next change, so that a search touches one array.
//
// The list counts the neighbouring pairs whose headwords are not in strictly
// ascending order. While there are none (every index the engine writes) a
// search looks for the chunk first, through the first prefix of each chunk,
// and then inside that chunk: a few cache lines instead of a probe per
// halving all over the index. A strictly ascending list has one right
// answer, so this gives what the probes of one flat search give; a damaged
// list out of order is searched by those probes, as it always was.
//
// Block numbers are stored with a bias: when the index area grows or shrinks
// by k units every physical number moves by k, and adding k to the bias does
// that for all of them at once. Stored and real numbers differ by the bias
// modulo 2^32, so every number reads back exactly as it was set.
//
// Invariants: chunk sizes add up to size(); no chunk is empty; starts_[c] is
// the sum of the sizes of the chunks before c. Each headword is owned by
// exactly one entry and freed when it leaves the list.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/Collation.h"

namespace vk {

// A headword the list owns: a zero-terminated copy on the heap.
template <class Unit>
struct IndexWord {
  Unit* p;
  size_t len;
  // Copies s[0, n); throws std::bad_alloc.
  static IndexWord Make(const Unit* s, size_t n) {
    Unit* p = new Unit[n + 1];
    std::copy(s, s + n, p);
    p[n] = Unit(0);
    return IndexWord{p, n};
  }
  size_t size() const { return len; }
  const Unit* c_str() const { return p; }
  const Unit* data() const { return p; }
  Unit operator[](size_t i) const { return p[i]; }
};

template <class Unit>
class IndexEntryList {
 public:
  using Word = IndexWord<Unit>;
  static constexpr size_t kChunkMax = 512;

  IndexEntryList() = default;
  ~IndexEntryList() { clear(); }
  IndexEntryList(const IndexEntryList&) = delete;
  IndexEntryList& operator=(const IndexEntryList&) = delete;

  size_t size() const { return size_; }

  int32_t block(size_t i) const {
    const Place at = PlaceOf(i);
    return Real(chunks_[at.chunk].blocks[at.index]);
  }
  void setBlock(size_t i, int32_t b) {
    const Place at = PlaceOf(i);
    chunks_[at.chunk].blocks[at.index] = Stored(b);
  }
  const Word& word(size_t i) const {
    const Place at = PlaceOf(i);
    return chunks_[at.chunk].words[at.index];
  }

  // Every physical block number drops by k.
  void shiftBlocks(int32_t k) { bias_ += static_cast<uint32_t>(k); }

  // Takes over w, and frees it when it throws (std::bad_alloc); the list is
  // then as it was.
  void insert(size_t pos, int32_t block, Word w) {
    size_t c;
    try {
      if (chunks_.empty()) {
        starts_.reserve(1);
        firstPrefixes_.reserve(1);
        chunks_.emplace_back();
        starts_.push_back(0);
        firstPrefixes_.push_back(0);
      }
      c = ChunkFor(pos);
      if (chunks_[c].size() >= kChunkMax) {
        SplitChunk(c);
        c = ChunkFor(pos);
      }
      Reserve(&chunks_[c].blocks);
      Reserve(&chunks_[c].words);
      Reserve(&chunks_[c].prefixes);
      Reserve(&chunks_[c].nexts);
    } catch (...) {
      delete[] w.p;
      throw;
    }
    // With the room reserved, inserting plain values cannot throw.
    if (pos > 0 && pos < size_) disorder_ -= OutOfOrder(word(pos - 1), word(pos));
    if (pos > 0) disorder_ += OutOfOrder(word(pos - 1), w);
    if (pos < size_) disorder_ += OutOfOrder(w, word(pos));
    Chunk& ch = chunks_[c];
    const std::ptrdiff_t j = static_cast<std::ptrdiff_t>(pos - starts_[c]);
    ch.blocks.insert(ch.blocks.begin() + j, Stored(block));
    ch.words.insert(ch.words.begin() + j, w);
    ch.prefixes.insert(ch.prefixes.begin() + j, PrefixOf(w.p, w.len));
    ch.nexts.insert(ch.nexts.begin() + j, NextPrefixOf(w.p, w.len));
    if (j == 0) firstPrefixes_[c] = ch.prefixes[0];
    for (size_t k = c + 1; k < starts_.size(); ++k) ++starts_[k];
    ++size_;
    Changed();
  }
  void push_back(int32_t block, Word w) { insert(size(), block, w); }

  void erase(size_t pos) {
    if (pos > 0) disorder_ -= OutOfOrder(word(pos - 1), word(pos));
    if (pos + 1 < size_) disorder_ -= OutOfOrder(word(pos), word(pos + 1));
    if (pos > 0 && pos + 1 < size_) disorder_ += OutOfOrder(word(pos - 1), word(pos + 1));
    const Place at = PlaceOf(pos);
    Chunk& ch = chunks_[at.chunk];
    delete[] ch.words[at.index].p;
    ch.blocks.erase(ch.blocks.begin() + static_cast<std::ptrdiff_t>(at.index));
    ch.words.erase(ch.words.begin() + static_cast<std::ptrdiff_t>(at.index));
    ch.prefixes.erase(ch.prefixes.begin() + static_cast<std::ptrdiff_t>(at.index));
    ch.nexts.erase(ch.nexts.begin() + static_cast<std::ptrdiff_t>(at.index));
    for (size_t k = at.chunk + 1; k < starts_.size(); ++k) --starts_[k];
    if (ch.size() == 0) {
      chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(at.chunk));
      starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(at.chunk));
      firstPrefixes_.erase(firstPrefixes_.begin() + static_cast<std::ptrdiff_t>(at.chunk));
    } else if (at.index == 0) {
      firstPrefixes_[at.chunk] = ch.prefixes[0];
    }
    --size_;
    Changed();
  }

  // Takes over w in place of the headword at pos, which is freed.
  void replaceWord(size_t pos, Word w) {
    if (pos > 0) disorder_ += OutOfOrder(word(pos - 1), w) - OutOfOrder(word(pos - 1), word(pos));
    if (pos + 1 < size_) disorder_ += OutOfOrder(w, word(pos + 1)) - OutOfOrder(word(pos), word(pos + 1));
    const Place at = PlaceOf(pos);
    Word& old = chunks_[at.chunk].words[at.index];
    delete[] old.p;
    old = w;
    chunks_[at.chunk].prefixes[at.index] = PrefixOf(w.p, w.len);
    chunks_[at.chunk].nexts[at.index] = NextPrefixOf(w.p, w.len);
    if (at.index == 0) firstPrefixes_[at.chunk] = chunks_[at.chunk].prefixes[0];
    Changed();
  }

  // Whether every headword sorts strictly after the one before it.
  bool strictlyAscending() const { return disorder_ == 0; }

  void clear() {
    for (Chunk& ch : chunks_)
      for (Word& w : ch.words) delete[] w.p;
    chunks_.clear();
    starts_.clear();
    firstPrefixes_.clear();
    size_ = 0;
    bias_ = 0;
    disorder_ = 0;
    Changed();
  }
  // Clears and gives the memory back.
  void release() {
    clear();
    std::vector<Chunk>().swap(chunks_);
    std::vector<size_t>().swap(starts_);
    std::vector<uint64_t>().swap(firstPrefixes_);
    DropFlat();
  }

  // Calls f(position, block number, headword) for every entry in order.
  template <class F>
  void forEach(F&& f) const {
    size_t i = 0;
    for (const Chunk& ch : chunks_)
      for (size_t j = 0; j < ch.size(); ++j, ++i) f(i, Real(ch.blocks[j]), ch.words[j]);
  }

  // The binary search of the index by CompareWords: the position of the last
  // entry not after `key`, stopping at the first probe that equals it; 0
  // when the key sorts first or the list is empty. The probes are those of
  // a search over one flat array, so an unsorted (damaged) index answers as
  // it always did; once the range lies in one chunk, probes cost no chunk
  // lookup.
  size_t search(const Unit* key) const {
    const size_t keyLen = UnitLength(key);
    const uint64_t keyPrefix = PrefixOf(key, keyLen);
    // An index that has stopped changing (a dictionary being read) is
    // searched through one flat array of the prefixes: the probes then
    // touch one array, not a chunk each.
    if (!flatValid_ && size_ >= kFlatFrom && ++quietSearches_ > QuietSearchesForFlat()) {
      try {
        MakeFlat();
        flatValid_ = true;
      } catch (const std::bad_alloc&) {
        DropFlat();
      }
    }
    const bool flat = flatValid_;
    const Key k{key, keyPrefix, NextPrefixOf(key, keyLen)};
    if (!flat && disorder_ == 0 && size_ > 0) return SearchAscending(k);
    if (flat && disorder_ == 0 && size_ > 0) return SearchFlatAscending(k);
    size_t lo = 0, hi = size_;
    size_t chunk = 0, first = 0, end = 0;  // the chunk of the last probe: [first, end)
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      if (!flat && (mid < first || mid >= end)) {
        chunk = PlaceOf(mid).chunk;
        first = starts_[chunk];
        end = first + chunks_[chunk].size();
      }
      const int c = flat ? CompareWithPrefixes(k, flat_[mid], flatNext_[mid], flatWords_[mid])
                         : CompareWithPrefixes(k, chunks_[chunk].prefixes[mid - first],
                                               chunks_[chunk].nexts[mid - first], chunks_[chunk].words[mid - first]);
      if (c == 0) return mid;
      if (c < 0) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    return lo == 0 ? 0 : lo - 1;
  }

  // Whether some entry names a block above n; stops at the first.
  bool anyBlockAbove(int32_t n) const {
    for (const Chunk& ch : chunks_)
      for (uint32_t b : ch.blocks)
        if (Real(b) > n) return true;
    return false;
  }

  // Position of the first entry naming block n, or -1.
  int64_t findBlock(int32_t n) const {
    const uint32_t want = Stored(n);
    for (size_t c = 0; c < chunks_.size(); ++c) {
      const std::vector<uint32_t>& b = chunks_[c].blocks;
      size_t j = 0;
#if defined(__SSE2__)
      // Four numbers to a comparison: an index grown while it is large
      // walks it for the block at unit 0 each time.
      const __m128i w = _mm_set1_epi32(static_cast<int32_t>(want));
      for (; j + 4 <= b.size(); j += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.data() + j));
        const int hits = _mm_movemask_epi8(_mm_cmpeq_epi32(v, w));
        if (hits != 0) return static_cast<int64_t>(starts_[c] + j + size_t(__builtin_ctz(unsigned(hits))) / 4);
      }
#endif
      for (; j < b.size(); ++j)
        if (b[j] == want) return static_cast<int64_t>(starts_[c] + j);
    }
    return -1;
  }

  // Appends (block number, position) for every entry whose number lies in
  // [from, to), in position order. Throws std::bad_alloc.
  void blocksIn(int32_t from, int32_t to, std::vector<std::pair<int32_t, int32_t>>* out) const {
    // One unsigned comparison tells "in range": two signed ones would make
    // a branch on "not below from" that guesses wrong half the time.
    const uint32_t span = to > from ? static_cast<uint32_t>(to) - static_cast<uint32_t>(from) : 0;
    const uint32_t low = Stored(from);
    for (size_t c = 0; c < chunks_.size(); ++c) {
      const std::vector<uint32_t>& b = chunks_[c].blocks;
      for (size_t j = 0; j < b.size(); ++j)
        if (b[j] - low < span) out->emplace_back(Real(b[j]), static_cast<int32_t>(starts_[c] + j));
    }
  }

 private:
  struct Chunk {
    std::vector<uint32_t> blocks;
    std::vector<Word> words;
    std::vector<uint64_t> prefixes;  // PrefixOf each headword
    std::vector<uint64_t> nexts;     // NextPrefixOf each headword
    size_t size() const { return blocks.size(); }
  };
  struct Place {
    size_t chunk, index;
  };

  uint32_t Stored(int32_t b) const { return static_cast<uint32_t>(b) + bias_; }
  int32_t Real(uint32_t s) const { return static_cast<int32_t>(s - bias_); }

  static constexpr size_t kPrefixUnits = sizeof(uint64_t) / sizeof(Unit);
  // The flat prefix array is made for an index of kFlatFrom entries or more
  // after kQuietSearches searches without a change between them.
  static constexpr size_t kFlatFrom = 1024;
  static constexpr size_t kFlatGroup = 64;
  static constexpr size_t kQuietSearches = 64;
  // An ascending list is searched well without the flat arrays, which pay
  // only for many searches: as many quiet ones as an eighth of the entries.
  size_t QuietSearchesForFlat() const { return disorder_ == 0 ? std::max(kQuietSearches, size_ / 8) : kQuietSearches; }
  void Changed() {
    flatValid_ = false;
    quietSearches_ = 0;
  }
  // 1 when b does not sort strictly after a.
  static size_t OutOfOrder(const Word& a, const Word& b) { return CompareWords(a.p, b.p) >= 0 ? 1 : 0; }

  // CompareWords(key, w) given the prefixes of both: a headword is read
  // only where its first sixteen bytes equal the key's.
  struct Key {
    const Unit* p;
    uint64_t prefix, next;
  };
  static int CompareWithPrefixes(const Key& key, uint64_t prefix, uint64_t next, const Word& w) {
    if (key.prefix != prefix) return key.prefix < prefix ? -1 : 1;
    // Equal first units of a shorter word: the key ends where it ends.
    if (w.len < kPrefixUnits) return 0;
    if (key.next != next) return key.next < next ? -1 : 1;
    if (w.len < 2 * kPrefixUnits) return 0;
    return CompareWords(key.p, w.p);
  }

  // The search of a strictly ascending, non-empty list: the last entry not
  // after the key, or 0 when the key sorts first.
  size_t SearchAscending(const Key& key) const {
    // The first chunk whose first headword sorts after the key...
    size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      if (CompareWithPrefixes(key, firstPrefixes_[mid], chunks_[mid].nexts[0], chunks_[mid].words[0]) < 0) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    if (lo == 0) return 0;
    // ...and in the chunk before it, the first entry after the key.
    const size_t c = lo - 1;
    const Chunk& ch = chunks_[c];
    size_t a = 1, b = ch.size();
    while (a < b) {
      const size_t mid = (a + b) / 2;
      if (CompareWithPrefixes(key, ch.prefixes[mid], ch.nexts[mid], ch.words[mid]) < 0) {
        b = mid;
      } else {
        a = mid + 1;
      }
    }
    lastChunk_ = c;
    return starts_[c] + a - 1;
  }

  // The search of a strictly ascending list through the flat arrays: the
  // group of kFlatGroup entries first, through the prefixes of the groups'
  // first entries (an array small enough to stay in the processor's cache),
  // then the entry in that group, whose prefixes lie side by side.
  size_t SearchFlatAscending(const Key& key) const {
    size_t lo = 0, hi = flatGroups_.size();
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      const size_t at = mid * kFlatGroup;
      if (CompareWithPrefixes(key, flatGroups_[mid], flatNext_[at], flatWords_[at]) < 0) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    if (lo == 0) return 0;
    const size_t first = (lo - 1) * kFlatGroup;
    size_t a = first + 1, b = std::min(size_, first + kFlatGroup);
    // The group's prefixes fill a few cache lines: fetched together, not
    // one probe after another.
    for (size_t i = first; i < b; i += 64 / sizeof(uint64_t)) __builtin_prefetch(&flat_[i]);
    while (a < b) {
      const size_t mid = (a + b) / 2;
      if (CompareWithPrefixes(key, flat_[mid], flatNext_[mid], flatWords_[mid]) < 0) {
        b = mid;
      } else {
        a = mid + 1;
      }
    }
    return a - 1;
  }

  // The flat arrays: for every entry its prefix, the prefix of its next
  // units (zero for a word no longer than one prefix) and its headword, so
  // that a search of a quiet index reads the chunks not at all and a
  // headword only where sixteen bytes are equal. Throw std::bad_alloc.
  void MakeFlat() const {
    flat_.clear();
    flatNext_.clear();
    flatWords_.clear();
    flat_.reserve(size_);
    flatNext_.reserve(size_);
    flatWords_.reserve(size_);
    for (const Chunk& ch : chunks_) {
      flat_.insert(flat_.end(), ch.prefixes.begin(), ch.prefixes.end());
      flatNext_.insert(flatNext_.end(), ch.nexts.begin(), ch.nexts.end());
      flatWords_.insert(flatWords_.end(), ch.words.begin(), ch.words.end());
    }
    flatGroups_.clear();
    flatGroups_.reserve((size_ + kFlatGroup - 1) / kFlatGroup);
    for (size_t i = 0; i < size_; i += kFlatGroup) flatGroups_.push_back(flat_[i]);
  }
  void DropFlat() const {
    std::vector<uint64_t>().swap(flat_);
    std::vector<uint64_t>().swap(flatNext_);
    std::vector<Word>().swap(flatWords_);
    std::vector<uint64_t>().swap(flatGroups_);
  }
  static uint64_t NextPrefixOf(const Unit* w, size_t len) {
    return len > kPrefixUnits ? PrefixOf(w + kPrefixUnits, len - kPrefixUnits) : 0;
  }

  // A headword's first units as one number that orders as CompareWords does
  // for words that differ in them.
  static uint64_t PrefixOf(const Unit* w, size_t len) {
    using U = std::make_unsigned_t<Unit>;
    uint64_t p = 0;
    for (size_t i = 0; i < kPrefixUnits; ++i) {
      p <<= 8 * sizeof(Unit);
      if (i < len) p |= static_cast<U>(w[i]);
    }
    return p;
  }

  // The chunk holding position i (< size()); the chunk of the last lookup
  // first, as callers go over nearby positions.
  Place PlaceOf(size_t i) const {
    size_t c = lastChunk_;
    if (c >= chunks_.size() || i < starts_[c] || i - starts_[c] >= chunks_[c].size())
      c = static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), i) - starts_.begin()) - 1;
    lastChunk_ = c;
    return Place{c, i - starts_[c]};
  }
  // The chunk an entry inserted at pos (<= size()) goes into.
  size_t ChunkFor(size_t pos) const { return pos >= size_ ? chunks_.size() - 1 : PlaceOf(pos).chunk; }

  // Moves the second half of chunk c into a new chunk after it. Throws
  // std::bad_alloc before anything changed.
  void SplitChunk(size_t c) {
    starts_.reserve(starts_.size() + 1);
    firstPrefixes_.reserve(firstPrefixes_.size() + 1);
    chunks_.reserve(chunks_.size() + 1);
    const size_t half = chunks_[c].size() / 2;
    Chunk fresh;
    fresh.blocks.assign(chunks_[c].blocks.begin() + static_cast<std::ptrdiff_t>(half), chunks_[c].blocks.end());
    fresh.words.assign(chunks_[c].words.begin() + static_cast<std::ptrdiff_t>(half), chunks_[c].words.end());
    fresh.prefixes.assign(chunks_[c].prefixes.begin() + static_cast<std::ptrdiff_t>(half), chunks_[c].prefixes.end());
    fresh.nexts.assign(chunks_[c].nexts.begin() + static_cast<std::ptrdiff_t>(half), chunks_[c].nexts.end());
    fresh.blocks.reserve(kChunkMax);
    fresh.words.reserve(kChunkMax);
    fresh.prefixes.reserve(kChunkMax);
    fresh.nexts.reserve(kChunkMax);
    // Nothing below allocates: the headwords now move to the new chunk.
    chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(c) + 1, std::move(fresh));
    starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(c) + 1, starts_[c] + half);
    firstPrefixes_.insert(firstPrefixes_.begin() + static_cast<std::ptrdiff_t>(c) + 1, chunks_[c + 1].prefixes[0]);
    chunks_[c].blocks.resize(half);
    chunks_[c].words.resize(half);
    chunks_[c].prefixes.resize(half);
    chunks_[c].nexts.resize(half);
  }

  // Room for one more, growing by half as a vector does on its own.
  template <class V>
  static void Reserve(V* v) {
    if (v->size() == v->capacity()) v->reserve(std::min(kChunkMax, v->size() + v->size() / 2 + 16));
  }

  std::vector<Chunk> chunks_;
  std::vector<size_t> starts_;
  std::vector<uint64_t> firstPrefixes_;  // chunks_[c].prefixes[0] for every chunk
  size_t size_ = 0;
  size_t disorder_ = 0;  // neighbouring pairs not in strictly ascending order
  uint32_t bias_ = 0;
  mutable size_t lastChunk_ = 0;
  mutable std::vector<uint64_t> flat_;  // every prefix in order, while flatValid_
  mutable std::vector<uint64_t> flatNext_;
  mutable std::vector<Word> flatWords_;
  mutable std::vector<uint64_t> flatGroups_;  // the prefix of every kFlatGroup-th entry
  mutable bool flatValid_ = false;
  mutable size_t quietSearches_ = 0;
};

}  // namespace vk
