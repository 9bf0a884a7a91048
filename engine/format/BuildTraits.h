// The format layer (format/): the bytes of a dictionary file and how each
// build orders them, with no file access of its own. It owns the build
// traits (this header), loads and stores in a stated byte order
// (ByteOrder.h), the header's layout and each build's codec for it
// (DicHeader.h, HeaderCodec.h), the size word and the free unit
// (BlockFormat.h) and the byte order of a whole block (BlockOrder.h).
// Invariants: what the engine holds in memory is little-endian in every
// build; a build's own file order is applied only where bytes go to or come
// from the file, and only through these converters.
//
// The build policy. One engine source serves four libraries; everything that
// differs between them is a constant or a type of one of these traits structs,
// and every layer that depends on the build is a template over them.
//
//   build    text unit   fields   file order  dic_type char_tag  index forms     long entries
//   VKCU8L   byte        BOCU-1   little      0x08     0x10      narrow + wide   yes
//   VKCUB    16-bit      UTF-16   big         0x10     0x00      narrow only     no
//   VKCUL    16-bit      UTF-16   little      0x20     0x00      narrow only     no
//   VKC620   byte        raw      little      0x06     0x00      narrow + wide   yes
//
// The type bytes of VKCUL and VKC620 are this project's own choice; they only
// need to differ from every other build's so that each build refuses the
// others' files.
#pragma once
#include <cstdint>

#include "format/ByteOrder.h"

namespace vk {

enum class FieldCodec { Bocu1, Utf16, Raw };
enum class BannerForm { Narrow, Utf16 };

struct TraitsVKCU8L {
  static constexpr const char* kName = "VKCU8L";
  using Unit = char;  // one stored text unit of a headword (compared unsigned)
  using IChar = char16_t;  // one character unit of the exported interface
  static constexpr Endian kFileOrder = Endian::Little;
  static constexpr FieldCodec kFieldCodec = FieldCodec::Bocu1;
  static constexpr BannerForm kBanner = BannerForm::Narrow;
  static constexpr uint8_t kDicType = 0x08;
  static constexpr uint8_t kCharTag = 0x10;
  static constexpr bool kWideIndexForm = true;
  static constexpr bool kLongEntries = true;
  // Highest unit at which a data block may start.
  static constexpr int32_t kMaxBlockStart = 0x1FFFFF;
  static constexpr int32_t kMaxDataUnits = kMaxBlockStart + 1;
};

struct TraitsVKCUB {
  static constexpr const char* kName = "VKCUB";
  using Unit = char16_t;
  using IChar = char16_t;
  static constexpr Endian kFileOrder = Endian::Big;
  static constexpr FieldCodec kFieldCodec = FieldCodec::Utf16;
  static constexpr BannerForm kBanner = BannerForm::Utf16;
  static constexpr uint8_t kDicType = 0x10;
  static constexpr uint8_t kCharTag = 0x00;
  static constexpr bool kWideIndexForm = false;
  static constexpr bool kLongEntries = false;
  // The index stores 16-bit block numbers, so no block may start past 0xFFFF.
  static constexpr int32_t kMaxBlockStart = 0xFFFF;
  static constexpr int32_t kMaxDataUnits = kMaxBlockStart + 1;
};

struct TraitsVKCUL {
  static constexpr const char* kName = "VKCUL";
  using Unit = char16_t;
  using IChar = char16_t;
  static constexpr Endian kFileOrder = Endian::Little;
  static constexpr FieldCodec kFieldCodec = FieldCodec::Utf16;
  static constexpr BannerForm kBanner = BannerForm::Utf16;
  static constexpr uint8_t kDicType = 0x20;
  static constexpr uint8_t kCharTag = 0x00;
  static constexpr bool kWideIndexForm = false;
  static constexpr bool kLongEntries = false;
  static constexpr int32_t kMaxBlockStart = 0xFFFF;
  static constexpr int32_t kMaxDataUnits = kMaxBlockStart + 1;
};

struct TraitsVKC620 {
  static constexpr const char* kName = "VKC620";
  using Unit = char;
  using IChar = char;  // narrow strings at the interface, stored as given
  static constexpr Endian kFileOrder = Endian::Little;
  static constexpr FieldCodec kFieldCodec = FieldCodec::Raw;
  static constexpr BannerForm kBanner = BannerForm::Narrow;
  static constexpr uint8_t kDicType = 0x06;
  static constexpr uint8_t kCharTag = 0x00;
  static constexpr bool kWideIndexForm = true;
  static constexpr bool kLongEntries = true;
  static constexpr int32_t kMaxBlockStart = 0x1FFFFF;
  static constexpr int32_t kMaxDataUnits = kMaxBlockStart + 1;
};

// kMaxDataUnits is the most units the data area may ever hold: no block may
// reach past unit kMaxBlockStart, so the free units handed out later all
// have numbers the index can store. Every placement, growth and move of a
// block, the growth of the index area and the give-back at close keep the
// data area within it, and refuse with 3 (dictionary full) otherwise.

// The index area's size in the header is a signed 16-bit count of units.
constexpr int32_t kMaxIndexUnits = 0x7FFF;

// Bytes one index entry is accounted at, beyond its headword's units:
// 5 for byte builds (len + 5), 6 for 16-bit builds (2 * len + 6).
template <class B>
constexpr int32_t IndexEntryOverhead() {
  return 4 + static_cast<int32_t>(sizeof(typename B::Unit));
}

}  // namespace vk
