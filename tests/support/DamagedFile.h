// DamagedFile: a dictionary file's bytes, read whole, edited in the build's
// file order (header fields, index entries, units, whole blocks as held in
// memory) and written back: how the tests damage a real dictionary byte by
// byte.
#pragma once
#include <algorithm>
#include <string>
#include <vector>

#include "format/BlockOrder.h"
#include "format/ByteOrder.h"
#include "support/FileText.h"

namespace vktest {

template <class B>
class DamagedFile {
 public:
  explicit DamagedFile(const std::string& path) : path_(path) { bytes_ = ReadAll(path); }
  void Save() const { WriteAll(path_, bytes_); }

  int32_t H32(size_t off) const {
    if (B::kFileOrder == vk::Endian::Big)
      return int32_t(uint32_t(vk::LoadBE16(&bytes_[off])) | (uint32_t(vk::LoadBE16(&bytes_[off + 2])) << 16));
    return int32_t(vk::LoadLE32(&bytes_[off]));
  }
  void SetH32(size_t off, int32_t v) {
    if (B::kFileOrder == vk::Endian::Big) {
      vk::StoreBE16(&bytes_[off], uint16_t(v));
      vk::StoreBE16(&bytes_[off + 2], uint16_t(uint32_t(v) >> 16));
    } else {
      vk::StoreLE32(&bytes_[off], uint32_t(v));
    }
  }
  int32_t H16(size_t off) const { return int16_t(vk::Load16<B::kFileOrder>(&bytes_[off])); }
  void SetH16(size_t off, int32_t v) { vk::Store16<B::kFileOrder>(&bytes_[off], uint16_t(v)); }

  int32_t unit() const { return H16(146); }
  size_t DataOffset() const { return 256 + size_t(H32(184)) + size_t(H16(148)) * unit(); }
  size_t UnitAt(int32_t n) const { return DataOffset() + size_t(n) * unit(); }
  int32_t BlockCount() const { return H32(196); }
  void SetBlockCount(int32_t n) {
    SetH32(196, n);
    SetH16(158, n);
  }
  void SetFreeBlock(int32_t n) {
    SetH32(188, n);
    SetH16(154, n);
  }
  void SetWordCount(int32_t n) { SetH32(160, n); }

  // Offsets of the index entries in the area.
  std::vector<size_t> IndexEntries() const {
    std::vector<size_t> out;
    const size_t ub = sizeof(typename B::Unit);
    size_t at = 256 + size_t(H32(184));
    const size_t end = at + size_t(H16(148)) * unit();
    while (at + ValueBytes() + ub <= end) {
      size_t w = at + ValueBytes();
      if (bytes_[w] == 0 && (ub == 1 || bytes_[w + 1] == 0)) break;
      out.push_back(at);
      while (!(bytes_[w] == 0 && (ub == 1 || bytes_[w + 1] == 0))) w += ub;
      at = w + ub;
    }
    return out;
  }
  void SetIndexValue(size_t pos, int32_t v) {
    size_t at = IndexEntries()[pos];
    if (ValueBytes() == 4)
      vk::StoreLE32(&bytes_[at], uint32_t(v));
    else
      SetH16At(at, v);
  }
  // A new last index entry (the word must sort after every other).
  void AppendIndexEntry(int32_t v, const std::string& word) {
    std::vector<size_t> e = IndexEntries();
    size_t at = 256 + size_t(H32(184));
    if (!e.empty()) {
      at = e.back() + ValueBytes();
      const size_t ub = sizeof(typename B::Unit);
      while (!(bytes_[at] == 0 && (ub == 1 || bytes_[at + 1] == 0))) at += ub;
      at += ub;
    }
    std::vector<uint8_t> entry(ValueBytes(), 0);
    if (ValueBytes() == 4) vk::StoreLE32(entry.data(), uint32_t(v));
    else vk::Store16<B::kFileOrder>(entry.data(), uint16_t(v));
    for (char c : word + std::string(1, '\0')) {
      if (sizeof(typename B::Unit) == 1) {
        entry.push_back(uint8_t(c));
      } else {
        uint8_t u[2];
        vk::Store16<B::kFileOrder>(u, uint16_t(uint8_t(c)));
        entry.insert(entry.end(), u, u + 2);
      }
    }
    entry.insert(entry.end(), 4, 0);
    std::copy(entry.begin(), entry.end(), bytes_.begin() + std::ptrdiff_t(at));
    SetH32(192, H32(192) + 1);
    SetH16(156, H32(192));
  }

  // Units at the end of the data area.
  void AppendUnits(int32_t k) {
    bytes_.resize(UnitAt(BlockCount() + k), 0);
    SetBlockCount(BlockCount() + k);
  }
  void PutFreeUnit(int32_t n, int32_t next) {
    uint8_t* p = &bytes_[UnitAt(n)];
    p[0] = p[1] = 0;
    vk::StoreLE32(p + 2, uint32_t(next));
  }
  // A block's bytes as held in memory, and back.
  std::vector<uint8_t> Block(int32_t n, int32_t units) const {
    std::vector<uint8_t> b(bytes_.begin() + std::ptrdiff_t(UnitAt(n)),
                           bytes_.begin() + std::ptrdiff_t(UnitAt(n + units)));
    vk::BlockOrder<B>::ToMemory(b.data(), b.size());
    return b;
  }
  void PutBlock(int32_t n, std::vector<uint8_t> b) {
    vk::BlockOrder<B>::ToFile(b.data(), b.size());
    std::copy(b.begin(), b.end(), bytes_.begin() + std::ptrdiff_t(UnitAt(n)));
  }

  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  size_t ValueBytes() const { return B::kWideIndexForm && bytes_[182] ? 4 : 2; }
  void SetH16At(size_t at, int32_t v) { vk::Store16<B::kFileOrder>(&bytes_[at], uint16_t(v)); }

  std::string path_;
  std::vector<uint8_t> bytes_;
};

// The offsets of the entries of a short-entry block held in memory.
inline std::vector<size_t> EntryOffsets(const std::vector<uint8_t>& block) {
  std::vector<size_t> out;
  for (size_t n = 2; n + 2 <= block.size() && vk::LoadLE16(&block[n]) != 0; n += 4 + vk::LoadLE16(&block[n]))
    out.push_back(n);
  return out;
}

}  // namespace vktest
