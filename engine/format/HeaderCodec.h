// The header as each build writes, reads, checks and updates it.
//
// Little-endian builds store the in-memory header as it is. VKCUB stores the
// banner and title as big-endian UTF-16 units and the 16-bit numbers
// (offsets 140..159 and 172..181) big-endian. Its 32-bit numbers
// (word_count, extra_value, ext_header_size, free_block, index_count,
// block_count) are written as two big-endian halves, the low 16 bits first
// and the high 16 bits second, and read back the same way: for 0..65535 this
// gives the bytes "value big-endian, then two zero bytes", and it still
// carries -1 and values past 65535. Single bytes, reserved areas and
// update_count are stored unchanged.
#pragma once
#include <cstdint>
#include <cstring>

#include "file/ErrorCodes.h"
#include "file/FileBuf.h"
#include "format/BuildTraits.h"
#include "format/DicHeader.h"

namespace vk {

constexpr int16_t kFormatVersion = 0x0500;

template <class B>
class HeaderCodec {
 public:
  // The header a new dictionary starts with.
  static void BuildTemplate(DicHeader& h, bool createOption) {
    h.Clear();
    uint8_t* p = h.data();
    if (B::kBanner == BannerForm::Narrow) {
      static const char kBanner[] =
          "             =============== Dictionary for VOKA ===============       \x81\x40       ";
      std::memcpy(p, kBanner, sizeof kBanner - 1);
    } else {
      static const char16_t kBanner[] = u"\uFEFF ======= UNICODE Dictionary for VOKA =======";
      for (size_t i = 0; i + 1 < sizeof kBanner / sizeof kBanner[0]; ++i) StoreLE16(p + 2 * i, kBanner[i]);
    }
    h.setVersion(kFormatVersion);
    h.setMaxWordLen(248);
    h.setMaxJapaLen(3000);
    h.setBlockSize(256);
    h.setIndexBlocks(0);
    h.setHeaderSize(DicHeader::kSize);
    h.setFreeBlock16(-1);
    h.setFreeBlock(-1);
    h.setTypeAux(0);
    h.setDicType(static_cast<uint8_t>(B::kDicType | (createOption ? 0x80 : 0)));
    h.setAttrLen(1);
    h.setCharTag(B::kCharTag);
  }

  static void ToFile(const DicHeader& h, uint8_t out[DicHeader::kSize]) {
    std::memcpy(out, h.data(), DicHeader::kSize);
    if (B::kFileOrder == Endian::Big) Convert(out, /*toFile=*/true);
  }

  static void FromFile(const uint8_t in[DicHeader::kSize], DicHeader& h) {
    std::memcpy(h.data(), in, DicHeader::kSize);
    if (B::kFileOrder == Endian::Big) Convert(h.data(), /*toFile=*/false);
  }

  // 0, or the code that refuses the header: 19 not a dictionary, 6 version,
  // 28 another build's type.
  static int32_t Check(const DicHeader& h) {
    if (h.headerSize() != DicHeader::kSize) {
      // A header of the other byte order is a dictionary of another build.
      return h.headerSize() == 0x0001 ? kErrUnsupportedType : kErrNotDictionary;
    }
    if ((static_cast<uint16_t>(h.version()) >> 8) < 5) return kErrVersion;
    // Bit 7 of dic_type is the create option's mark: a dictionary made with
    // the option is this build's, and refusing it would leave its owner no
    // way to open it again.
    if ((h.dicType() & 0x7F) != B::kDicType || h.charTag() != B::kCharTag || h.typeAux() != 0)
      return kErrUnsupportedType;
    return kErrNone;
  }

  // Reads and checks the header at offset 0. 0, or -1 with the code in the
  // file's error cell.
  static int Read(FileBuf& file, DicHeader& h) {
    h.setHeaderSize(0);
    if (file.Seek(0) != 0) return -1;
    uint8_t raw[DicHeader::kSize];
    int32_t got = file.Read(raw, sizeof raw);
    if (got < 0) return -1;
    if (got < DicHeader::kSize) {
      SetError(file, kErrNotDictionary);
      return -1;
    }
    FromFile(raw, h);
    int32_t code = Check(h);
    if (code != kErrNone) {
      SetError(file, code);
      return -1;
    }
    return 0;
  }

  static int Write(FileBuf& file, const DicHeader& h) {
    uint8_t raw[DicHeader::kSize];
    ToFile(h, raw);
    if (file.Seek(0) != 0) return -1;
    return file.Write(raw, sizeof raw) == DicHeader::kSize ? 0 : -1;
  }

 private:
  static void SetError(FileBuf& file, int32_t code) {
    if (file.errorCell()) *file.errorCell() = code;
  }

  static void Convert(uint8_t* p, bool toFile) {
    Swap16InPlace(p, 140);        // banner and title
    Swap16InPlace(p + 140, 20);   // version .. block_count16
    Swap16InPlace(p + 172, 10);   // five reserved values
    static const int k32[] = {160, 168, 184, 188, 192, 196};
    for (int off : k32) {
      if (toFile) {
        uint32_t v = LoadLE32(p + off);
        StoreBE16(p + off, static_cast<uint16_t>(v));
        StoreBE16(p + off + 2, static_cast<uint16_t>(v >> 16));
      } else {
        uint32_t v = uint32_t(LoadBE16(p + off)) | (uint32_t(LoadBE16(p + off + 2)) << 16);
        StoreLE32(p + off, v);
      }
    }
  }
};

// The values a header update takes from the open dictionary.
struct HeaderState {
  int32_t indexCount;
  int32_t blockCount;
  int32_t freeBlock;
  uint32_t wordCount;
  int32_t indexAreaBytes;
  bool wideIndex;
};

// Brings the in-memory header up to date before it is written at a flush.
inline void UpdateHeader(DicHeader& h, const HeaderState& s) {
  h.setIndexCount16(static_cast<int16_t>(s.indexCount));
  h.setBlockCount16(static_cast<int16_t>(s.blockCount));
  h.setFreeBlock16(static_cast<int16_t>(s.freeBlock));
  h.setWordCount(s.wordCount);
  if (h.indexCount16() > h.blockCount16()) h.setBlockCount16(h.indexCount16());
  int32_t unit = h.blockSize() > 0 ? h.blockSize() : 1;
  h.setIndexBlocks(static_cast<int16_t>((s.indexAreaBytes + unit - 1) / unit));
  h.setIndexCount(s.indexCount);
  h.setBlockCount(s.blockCount);
  h.setFreeBlock(s.freeBlock);
  h.setIndexWide(s.wideIndex ? 1 : 0);
}

}  // namespace vk
