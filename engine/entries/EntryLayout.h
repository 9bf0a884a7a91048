// The entries layer (entries/): what one data block holds, with the block in
// memory. It walks a block's entries (EntryCursor, FieldWalker), answers
// questions about them (BlockEntries), gives a headword its stored form
// (HeadwordForm) and codes field areas (FieldEncoder, FieldDecoder,
// FieldText, Japa). It never touches the file: blocks come and go in memory
// order through blocks/. Invariants: nothing here reads outside
// block[0..bytes) however the block lies (a lie ends a walk with kDamaged);
// an entry it encodes fits a block of kMaxBlockUnits units or is refused
// (kErrTooLarge).
//
// Layout of entries inside a data block, as the block is held in memory
// (every 16- and 32-bit quantity little-endian, in every build).
//
//   block:  u16 size word (format/BlockFormat.h) | entries | terminator | zeros
//
//   short entry (short-entry block, any number of them, then a u16 0):
//     u16 L | u8 P | u8 attr | tail units, 0 unit | field area
//     L counts the bytes after the 4-byte header; the next entry starts at L + 4.
//   long entry (long-entry block, exactly one, then a u32 0; byte builds only):
//     u32 L | u8 P = 0 | u8 attr | whole headword, 0 unit | field area
//     L counts the bytes after the 6-byte header.
//
// P is the number of leading headword units shared with the previous entry of
// the same block (0 for the first entry). A headword unit is a byte in the
// byte builds and a 16-bit unit in the others; headwords have at most 248
// units, so a reconstruction buffer of 249 units always suffices.
//
// Field area, simple form (attr bit 4 clear): the translation, no terminator.
// Extended form (bit 4 set): translation, 0; fields opened by a code (one
// byte, or one 16-bit unit whose low byte is the code); 0x80 ends them.
//   0x01 / 0x02            example / pronunciation text, 0
//   0x04, 0x41, 0x42 and
//   every code with 0x10    length prefix (u16 in short entries, u32 in long
//                           ones), then that many bytes; 0x11 / 0x12 hold the
//                           example / pronunciation text at their start
//   0x80                    end
// Text units are BOCU-1 bytes (VKCU8L), 16-bit units (VKCUB, VKCUL) or the
// caller's bytes (VKC620); a text's terminator is one zero unit.
#pragma once
#include <cstddef>
#include <cstdint>

#include "format/BlockFormat.h"
#include "format/BuildTraits.h"
#include "format/ByteOrder.h"

namespace vk {

constexpr size_t kMaxWordUnits = 248;
constexpr size_t kWordBufferUnits = kMaxWordUnits + 1;
constexpr size_t kFirstEntryOffset = kSizeWordBytes;
constexpr size_t kShortHeaderBytes = 4;
constexpr size_t kLongHeaderBytes = 6;
constexpr size_t kShortTerminatorBytes = 2;
constexpr size_t kLongTerminatorBytes = 4;
constexpr uint32_t kMaxShortBody = 0xFFFF;

// Field type codes.
constexpr uint8_t kFieldExample = 0x01;
constexpr uint8_t kFieldPronunciation = 0x02;
constexpr uint8_t kFieldObject = 0x04;
constexpr uint8_t kFieldCountedBit = 0x10;
constexpr uint8_t kFieldCountedExample = 0x11;
constexpr uint8_t kFieldCountedPronunciation = 0x12;
constexpr uint8_t kFieldOtherExample = 0x41;
constexpr uint8_t kFieldOtherPronunciation = 0x42;
constexpr uint8_t kFieldEnd = 0x80;

// True for codes followed by a length prefix and that many bytes.
inline bool IsCountedField(uint8_t code) {
  return (code & kFieldCountedBit) || code == kFieldObject || code == kFieldOtherExample ||
         code == kFieldOtherPronunciation;
}

template <class B>
struct EntryLayout {
  using Unit = typename B::Unit;
  // Bytes of one headword unit, and of a terminator or a field code.
  static constexpr size_t kUnitBytes = sizeof(Unit);
  static constexpr bool kByteUnits = kUnitBytes == 1;

  static Unit LoadUnit(const uint8_t* p) {
    if constexpr (kByteUnits) {
      return static_cast<Unit>(*p);
    } else {
      return static_cast<Unit>(LoadLE16(p));
    }
  }
  static void StoreUnit(uint8_t* p, Unit u) {
    if constexpr (kByteUnits) {
      *p = static_cast<uint8_t>(u);
    } else {
      StoreLE16(p, static_cast<uint16_t>(u));
    }
  }

  // Whether the block is a long-entry block; the flag means nothing in the
  // builds without long entries.
  static bool IsLongBlock(const uint8_t* block) {
    return B::kLongEntries && (LoadLE16(block) & kLongEntryFlag) != 0;
  }

  // Body length of a short entry with this tail and field area (the bytes
  // that its u16 length counts).
  static uint64_t ShortBody(size_t tailUnits, size_t areaBytes) {
    return uint64_t(tailUnits + 1) * kUnitBytes + areaBytes;
  }
  static uint64_t ShortEntryBytes(size_t tailUnits, size_t areaBytes) {
    return kShortHeaderBytes + ShortBody(tailUnits, areaBytes);
  }
  static uint64_t LongBody(size_t wordUnits, size_t areaBytes) {
    return uint64_t(wordUnits + 1) * kUnitBytes + areaBytes;
  }
  // Bytes of a whole long-entry block's content: size word, entry, terminator.
  static uint64_t LongBlockBytes(size_t wordUnits, size_t areaBytes) {
    return kFirstEntryOffset + kLongHeaderBytes + LongBody(wordUnits, areaBytes) + kLongTerminatorBytes;
  }
};

}  // namespace vk
