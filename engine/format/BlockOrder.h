// Byte order of a data block between file and memory.
//
// A block is held in memory in little-endian order in every build. VKCUB
// stores every 16-bit quantity of a block big-endian: the size word, each
// entry's body length, the headword units, the text units of the field area,
// field type units and length prefixes. The compression count and the
// attribute (two single bytes of an entry header) are stored as they are.
// Counted binary fields of unknown kinds are opaque bytes and keep their
// order. A free unit (size word 0) carries a little-endian link in every
// build and is left alone.
//
// Short entry, as held in memory:
//   u16 L | u8 P | u8 attr | headword tail units, 0 | field area (L - tail)
// Extended field area (attr bit 4): translation units, 0, then fields:
//   0x01 / 0x02 text units, 0      (example / pronunciation)
//   code with bit 4, 0x04, 0x41, 0x42: u16 length prefix, that many bytes
//   0x80 end
#pragma once
#include <cstddef>
#include <cstdint>

#include "format/BuildTraits.h"
#include "format/ByteOrder.h"

namespace vk {

namespace block_order_detail {

// Converts one block between little- and big-endian 16-bit quantities.
// `toFile` says which side the lengths are read from: before swapping when
// going to the file, after swapping when coming from it.
void SwapUtf16Block(uint8_t* block, size_t bytes, bool toFile);

}  // namespace block_order_detail

template <class B>
struct BlockOrder {
  static void ToMemory(uint8_t* block, size_t bytes) {
    if (B::kFileOrder == Endian::Big) block_order_detail::SwapUtf16Block(block, bytes, false);
  }
  static void ToFile(uint8_t* block, size_t bytes) {
    if (B::kFileOrder == Endian::Big) block_order_detail::SwapUtf16Block(block, bytes, true);
  }
};

}  // namespace vk
