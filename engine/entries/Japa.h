// Japa: the fields of one entry on their way between the exported interface
// and a data block: the attribute byte and three owned texts in the
// interface's character type (UTF-16 in the Unicode builds, the caller's
// bytes in VKC620).
//
// A fresh or reset object holds attribute 0x80 and three empty texts. An
// object whose example and pronunciation are both empty is simple and is
// stored as a bare translation; any other object is extended. A text ends at
// its first zero unit wherever it is encoded, so an embedded zero never
// reaches a block.
#pragma once
#include <cstdint>
#include <string>

#include "text/UnitScan.h"

namespace vk {

// Attribute byte bits.
constexpr uint8_t kAttrLevelMask = 0x0F;
constexpr uint8_t kAttrExtended = 0x10;  // owned by the field encoder
constexpr uint8_t kAttrFresh = 0x80;

template <class B>
struct Japa {
  using IChar = typename B::IChar;
  using Text = std::basic_string<IChar>;

  uint8_t attribute = kAttrFresh;
  Text translation;
  Text example;
  Text pronunciation;

  void Reset() {
    attribute = kAttrFresh;
    translation.clear();
    example.clear();
    pronunciation.clear();
  }

  bool IsSimple() const { return TextLength(example) == 0 && TextLength(pronunciation) == 0; }

  // Units of s before its first zero unit.
  static size_t TextLength(const Text& s) { return FirstZeroUnit(s.data(), s.size()); }
};

}  // namespace vk
