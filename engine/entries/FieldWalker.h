// FieldWalker: steps through the fields of an extended field area after its
// translation. Each step yields one field's code and the bytes of its body:
//
//   0x01, 0x02          body = the text and its terminator (code not followed
//                       by a length prefix)
//   0x04, 0x41, 0x42,   body = the counted bytes after the length prefix
//   codes with 0x10     (u16 in short entries, u32 in long ones, little-endian
//                       in memory)
//
// and the walk stops at 0x80, at any other code, or at the end of the area.
// Bodies are clipped to the area; a clipped body, a text without its
// terminator, a prefix that does not fit or an area that ends before 0x80
// makes the area ill-formed, but never makes the walker read past it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "entries/EntryLayout.h"
#include "entries/FieldText.h"

namespace vk {

struct FieldItem {
  uint8_t code = 0;
  size_t offset = 0;  // body start, from the start of the area
  size_t length = 0;  // body bytes
};

template <class B>
class FieldWalker {
 public:
  static constexpr size_t kCodeBytes = FieldText<B>::kUnitBytes;

  // `start` is the offset of the first field code (just after the
  // translation's terminator).
  FieldWalker(const uint8_t* area, size_t len, size_t start, bool longEntry)
      : area_(area), len_(len), pos_(start), longEntry_(longEntry) {}

  // Offset just past the zero unit of the text at area[from..), or len when
  // the text runs to the end of the area unterminated.
  static size_t TextEnd(const uint8_t* area, size_t len, size_t from, bool* terminated) {
    for (size_t i = from; i + kCodeBytes <= len; i += kCodeBytes) {
      if (area[i] == 0 && (kCodeBytes == 1 || area[i + 1] == 0)) {
        *terminated = true;
        return i + kCodeBytes;
      }
    }
    *terminated = false;
    return len;
  }

  bool Next(FieldItem* item) {
    if (done_) return false;
    if (pos_ + kCodeBytes > len_) return Stop(false);
    const uint8_t code = area_[pos_];  // the low byte of a 16-bit code unit
    size_t at = pos_ + kCodeBytes;
    item->code = code;
    if (code == kFieldExample || code == kFieldPronunciation) {
      bool terminated;
      pos_ = TextEnd(area_, len_, at, &terminated);
      item->offset = at;
      item->length = pos_ - at;
      if (!terminated) wellFormed_ = false;
      return true;
    }
    if (IsCountedField(code)) {
      size_t prefix = longEntry_ ? 4 : 2;
      if (len_ - at < prefix) return Stop(false);
      uint64_t n = longEntry_ ? LoadLE32(area_ + at) : LoadLE16(area_ + at);
      at += prefix;
      if (n > len_ - at) {
        n = len_ - at;
        wellFormed_ = false;
      }
      item->offset = at;
      item->length = static_cast<size_t>(n);
      pos_ = at + item->length;
      return true;
    }
    stopCode_ = code;
    return Stop(code == kFieldEnd);
  }

  // Where the walk stands: after the last field yielded, or at the code that
  // stopped it.
  size_t position() const { return pos_; }
  // The code that ended the walk (0 when the area ran out).
  uint8_t stopCode() const { return stopCode_; }
  // So far every field stayed inside the area; after the end also: 0x80 ended it.
  bool wellFormed() const { return wellFormed_; }

 private:
  bool Stop(bool clean) {
    done_ = true;
    if (!clean) wellFormed_ = false;
    return false;
  }

  const uint8_t* area_;
  size_t len_;
  size_t pos_;
  bool longEntry_;
  bool done_ = false;
  bool wellFormed_ = true;
  uint8_t stopCode_ = 0;
};

}  // namespace vk
