// BlockImage: a short-entry data block taken apart into its entries and
// written back from a list of them; LongEntryImage: the one entry of a
// long-entry block. These are the engine's only writers of entry layout
// (entries/EntryLayout.h).
//
// A BlockImage keeps a private copy of the block it was read from, so each
// entry's field area can be pointed at while the block buffer itself is
// rewritten. Writing a list of entries lays them out exactly as the block
// format has it: from offset 2 each entry's u16 body length, its compression
// count, its attribute, the headword without its first `count` units and a
// zero unit, the field area; then the u16 zero terminator and zeros to the
// end of the block. The size word (bytes 0-1) is left as it is.
//
// An entry's `count` is written as given: the caller decides how much of the
// headword each entry shares with the one before it. Splicing an entry into
// a list this way gives the same bytes as moving the rest of the block and
// patching the follower's header in place.
//
// Sizes (U = bytes per headword unit):
//   entry bytes      4 + (len(word) - count + 1) * U + area
//   used bytes       offset of the terminator (2 + all entry bytes)
//   free room        block bytes - used - 2
//   long entry block 2 + 6 + (len(word) + 1) * U + area + 4
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "entries/EntryCursor.h"
#include "entries/EntryLayout.h"

namespace vk {

template <class B>
struct EntryImage {
  using Unit = typename B::Unit;
  std::basic_string<Unit> word;  // the full headword
  uint8_t count = 0;             // compression count as it is (to be) stored
  uint8_t attribute = 0;
  const uint8_t* area = nullptr;  // field area, not owned
  size_t areaLen = 0;
  size_t offset = 0;  // where it was found (0 for an entry not from the block)

  size_t Bytes() const {
    return kShortHeaderBytes + (word.size() - count + 1) * EntryLayout<B>::kUnitBytes + areaLen;
  }
};

template <class B>
class BlockImage {
 public:
  using Unit = typename B::Unit;
  using Word = std::basic_string<Unit>;
  using List = std::vector<EntryImage<B>>;

  BlockImage() = default;
  BlockImage(const BlockImage&) = delete;
  BlockImage& operator=(const BlockImage&) = delete;

  // Takes a copy of a short-entry block and lists its entries. False for a
  // long-entry block or a damaged one.
  bool Read(const uint8_t* block, size_t bytes) {
    raw_.assign(block, block + bytes);
    entries_.clear();
    if (EntryLayout<B>::IsLongBlock(raw_.data())) return false;
    EntryCursor<B> c(raw_.data(), raw_.size());
    WalkStatus s;
    for (s = c.First(); s == WalkStatus::kEntry; s = c.Next()) {
      const EntryView& v = c.entry();
      EntryImage<B> e;
      e.word.assign(c.word(), c.wordLength());
      e.count = v.compression;
      e.attribute = v.attribute;
      e.area = raw_.data() + v.fieldOffset;
      e.areaLen = v.fieldLength;
      e.offset = v.offset;
      entries_.push_back(std::move(e));
    }
    used_ = c.offset();
    return s == WalkStatus::kEnd;
  }

  const List& entries() const { return entries_; }
  // The entries for the caller to keep; the image then lists none (its copy
  // of the block stays).
  List TakeEntries() { return std::move(entries_); }
  size_t used() const { return used_; }
  size_t bytes() const { return raw_.size(); }
  const uint8_t* raw() const { return raw_.data(); }

  // Index of the entry at `offset` (0 and 2 both the first), or the number
  // of entries for the terminator; -1 when no entry starts there.
  int64_t IndexOf(size_t offset) const {
    if (offset == 0) offset = kFirstEntryOffset;
    for (size_t i = 0; i < entries_.size(); ++i)
      if (entries_[i].offset == offset) return int64_t(i);
    return offset == used_ ? int64_t(entries_.size()) : -1;
  }

  // Bytes the listed entries take with the size word and the terminator.
  static size_t ContentBytes(const List& list) {
    size_t n = kFirstEntryOffset + kShortTerminatorBytes;
    for (const auto& e : list) n += e.Bytes();
    return n;
  }

  // Lays the entries out from offset 2 of block[0..bytes), which must hold
  // them (ContentBytes(list) <= bytes). Answers the terminator's offset.
  static size_t Write(const List& list, uint8_t* block, size_t bytes) {
    using L = EntryLayout<B>;
    size_t at = kFirstEntryOffset;
    for (const auto& e : list) {
      uint8_t* p = block + at;
      const size_t body = e.Bytes() - kShortHeaderBytes;
      StoreLE16(p, static_cast<uint16_t>(body));
      p[2] = e.count;
      p[3] = e.attribute;
      p += kShortHeaderBytes;
      for (size_t i = e.count; i < e.word.size(); ++i, p += L::kUnitBytes) L::StoreUnit(p, e.word[i]);
      L::StoreUnit(p, 0);
      p += L::kUnitBytes;
      // An area may lie in the block being written: move, not copy.
      if (e.areaLen) std::memmove(p, e.area, e.areaLen);
      at += e.Bytes();
    }
    std::memset(block + at, 0, bytes - at);
    return at;
  }

 private:
  std::vector<uint8_t> raw_;
  List entries_;
  size_t used_ = kFirstEntryOffset;
};

// The entry of a long-entry block: the whole headword, the attribute and
// the field area, laid out after the size word.
template <class B>
struct LongEntryImage {
  using Unit = typename B::Unit;
  using L = EntryLayout<B>;

  // Bytes of the block's content: size word, entry, terminator.
  static uint64_t ContentBytes(size_t wordUnits, size_t areaLen) { return L::LongBlockBytes(wordUnits, areaLen); }

  // Lays the entry out from offset 2 of block[0..bytes), which must hold
  // ContentBytes; the rest of the block is zeroed, the size word kept.
  static void Write(const std::basic_string<Unit>& word, uint8_t attribute, const uint8_t* area, size_t areaLen,
                    uint8_t* block, size_t bytes) {
    std::memset(block + kFirstEntryOffset, 0, bytes - kFirstEntryOffset);
    uint8_t* p = block + kFirstEntryOffset;
    StoreLE32(p, static_cast<uint32_t>(L::LongBody(word.size(), areaLen)));
    p[4] = 0;
    p[5] = attribute;
    p += kLongHeaderBytes;
    for (Unit u : word) {
      L::StoreUnit(p, u);
      p += L::kUnitBytes;
    }
    L::StoreUnit(p, 0);
    p += L::kUnitBytes;
    if (areaLen) std::memcpy(p, area, areaLen);
  }
};

}  // namespace vk
