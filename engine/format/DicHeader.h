// The 256-byte dictionary header, held in memory in little-endian order in
// every build. On disk (little-endian unless the build converts it):
//
//   off  width  field               off  width  field
//     0   100   banner              165   1     dic_type
//   100    40   title               166   1     attr_len
//   140     2   version             167   1     char_tag
//   142     2   max_word_len        168   4     extra_value
//   144     2   max_japa_len        172  10     five reserved 16-bit values
//   146     2   block_size          182   1     index_wide
//   148     2   index_blocks        183   1     0
//   150     2   header_size (256)   184   4     ext_header_size
//   152     2   legacy_index_size   188   4     free_block (-1: none)
//   154     2   free_block16        192   4     index_count
//   156     2   index_count16       196   4     block_count
//   158     2   block_count16       200   8     0
//   160     4   word_count          208   4     update_count
//   164     1   type_aux            212  44     0
//
// The file is the header, ext_header_size bytes never interpreted, the index
// area (index_blocks units) and the data area (block_count units of
// block_size bytes); nothing follows the data area.
#pragma once
#include <cstdint>
#include <cstring>

#include "format/ByteOrder.h"

namespace vk {

class DicHeader {
 public:
  static constexpr int kSize = 256;
  static constexpr int kBannerOffset = 0, kBannerSize = 100;
  static constexpr int kTitleOffset = 100, kTitleSize = 40;

  DicHeader() { Clear(); }
  void Clear() { std::memset(raw_, 0, sizeof raw_); }
  uint8_t* data() { return raw_; }
  const uint8_t* data() const { return raw_; }

  int16_t version() const { return Get16(140); }
  int16_t maxWordLen() const { return Get16(142); }
  int16_t maxJapaLen() const { return Get16(144); }
  int16_t blockSize() const { return Get16(146); }
  int16_t indexBlocks() const { return Get16(148); }
  int16_t headerSize() const { return Get16(150); }
  int16_t freeBlock16() const { return Get16(154); }
  int16_t indexCount16() const { return Get16(156); }
  int16_t blockCount16() const { return Get16(158); }
  uint32_t wordCount() const { return LoadLE32(raw_ + 160); }
  uint8_t typeAux() const { return raw_[164]; }
  uint8_t dicType() const { return raw_[165]; }
  uint8_t attrLen() const { return raw_[166]; }
  uint8_t charTag() const { return raw_[167]; }
  int32_t extraValue() const { return static_cast<int32_t>(LoadLE32(raw_ + 168)); }
  uint8_t indexWide() const { return raw_[182]; }
  uint32_t extHeaderSize() const { return LoadLE32(raw_ + 184); }
  int32_t freeBlock() const { return static_cast<int32_t>(LoadLE32(raw_ + 188)); }
  int32_t indexCount() const { return static_cast<int32_t>(LoadLE32(raw_ + 192)); }
  int32_t blockCount() const { return static_cast<int32_t>(LoadLE32(raw_ + 196)); }
  uint32_t updateCount() const { return LoadLE32(raw_ + 208); }

  void setVersion(int16_t v) { Set16(140, v); }
  void setMaxWordLen(int16_t v) { Set16(142, v); }
  void setMaxJapaLen(int16_t v) { Set16(144, v); }
  void setBlockSize(int16_t v) { Set16(146, v); }
  void setIndexBlocks(int16_t v) { Set16(148, v); }
  void setHeaderSize(int16_t v) { Set16(150, v); }
  void setFreeBlock16(int16_t v) { Set16(154, v); }
  void setIndexCount16(int16_t v) { Set16(156, v); }
  void setBlockCount16(int16_t v) { Set16(158, v); }
  void setWordCount(uint32_t v) { StoreLE32(raw_ + 160, v); }
  void setTypeAux(uint8_t v) { raw_[164] = v; }
  void setDicType(uint8_t v) { raw_[165] = v; }
  void setAttrLen(uint8_t v) { raw_[166] = v; }
  void setCharTag(uint8_t v) { raw_[167] = v; }
  void setExtraValue(int32_t v) { StoreLE32(raw_ + 168, static_cast<uint32_t>(v)); }
  void setIndexWide(uint8_t v) { raw_[182] = v; }
  void setExtHeaderSize(uint32_t v) { StoreLE32(raw_ + 184, v); }
  void setFreeBlock(int32_t v) { StoreLE32(raw_ + 188, static_cast<uint32_t>(v)); }
  void setIndexCount(int32_t v) { StoreLE32(raw_ + 192, static_cast<uint32_t>(v)); }
  void setBlockCount(int32_t v) { StoreLE32(raw_ + 196, static_cast<uint32_t>(v)); }
  void setUpdateCount(uint32_t v) { StoreLE32(raw_ + 208, v); }

  // Where the index area starts (header + extension).
  int64_t IndexAreaOffset() const { return int64_t(uint16_t(headerSize())) + extHeaderSize(); }

 private:
  int16_t Get16(int off) const { return static_cast<int16_t>(LoadLE16(raw_ + off)); }
  void Set16(int off, int16_t v) { StoreLE16(raw_ + off, static_cast<uint16_t>(v)); }

  uint8_t raw_[kSize];
};

static_assert(sizeof(DicHeader) == DicHeader::kSize, "the header is exactly 256 bytes");

}  // namespace vk
