// The size word and the free unit: what every unit of the data area starts
// with. The block file (blocks/) and the entry layout inside a block
// (entries/) both read these, so they are stated once, here.
//
// The data area is a sequence of units of block_size bytes. Each unit starts
// a data block, lies inside one, or is free. A block's first unit and a free
// unit both begin with a 16-bit size word, in the build's file order for a
// block (little-endian once the block is in memory):
//
//   bit 15      long-entry flag: the block holds one long entry (byte builds
//               only; the others do not write it and disregard it)
//   bits 0-14   the block's length in units, 1..32767; 0 marks a free unit
//
// A free unit is one unit long and holds
//
//   u16 0 | s32 LE number of the next free unit (-1 at the end) | rest as it was
//
// in every build: the link is little-endian even where blocks are big-endian.
// The free units form one chain in ascending order from the header's
// free_block.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vk {

constexpr uint16_t kLongEntryFlag = 0x8000;
constexpr uint16_t kUnitCountMask = 0x7FFF;
// Largest number of units a block may span (all 15 count bits set).
constexpr int64_t kMaxBlockUnits = kUnitCountMask;

// Bytes of the size word, which is also where a block's first entry starts.
constexpr size_t kSizeWordBytes = 2;
// A free unit: its zero size word, then the link at kFreeLinkOffset.
constexpr size_t kFreeLinkOffset = kSizeWordBytes;
constexpr size_t kFreeUnitBytes = kFreeLinkOffset + 4;

// Units a size word occupies: its count, or 1 for a free unit.
inline int32_t UnitsOf(uint16_t sizeWord) {
  int32_t units = sizeWord & kUnitCountMask;
  return units == 0 ? 1 : units;
}

}  // namespace vk
