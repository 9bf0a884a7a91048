#include "format/BlockOrder.h"

namespace vk {
namespace block_order_detail {

namespace {

class Swapper {
 public:
  Swapper(uint8_t* block, size_t bytes, bool toFile) : p_(block), n_(bytes), toFile_(toFile) {}

  // Swaps the 16-bit quantity at `off` and answers its value as held in
  // memory, or -1 when it does not fit the block.
  int32_t Word(size_t off) {
    if (off + 2 > n_) return -1;
    uint16_t before = LoadLE16(p_ + off);
    Swap16InPlace(p_ + off, 2);
    return toFile_ ? before : LoadLE16(p_ + off);
  }

  // Swaps units from `off` up to and including a zero unit, never past
  // `limit`. Answers the offset after the zero unit (or `limit`).
  size_t Text(size_t off, size_t limit) {
    while (off + 2 <= limit) {
      int32_t u = Word(off);
      off += 2;
      if (u == 0) break;
    }
    return off;
  }

  void FieldArea(size_t off, size_t end, uint8_t attr) {
    if (!(attr & 0x10)) {
      for (; off + 2 <= end; off += 2) Word(off);
      return;
    }
    off = Text(off, end);
    while (off + 2 <= end) {
      int32_t code = Word(off) & 0xFF;
      off += 2;
      if (code == 0x01 || code == 0x02) {
        off = Text(off, end);
      } else if ((code & 0x10) || code == 0x04 || code == 0x41 || code == 0x42) {
        int32_t len = Word(off);
        if (len < 0) return;
        off += 2;
        size_t stop = off + static_cast<size_t>(len) < end ? off + static_cast<size_t>(len) : end;
        if (code == 0x11 || code == 0x12) Text(off, stop);
        off = stop;
      } else {
        return;  // 0x80 or an unknown code ends the fields
      }
    }
  }

  void Block() {
    int32_t sizeWord = Word(0);
    if (sizeWord <= 0) return;  // free unit: its link stays little-endian
    size_t off = 2;
    for (;;) {
      int32_t len = Word(off);
      if (len <= 0) return;  // terminator, or no room for one
      size_t body = off + 4;
      size_t end = body + static_cast<size_t>(len);
      if (off + 4 > n_ || end > n_) return;
      uint8_t attr = p_[off + 3];
      size_t fields = Text(body, end);
      FieldArea(fields, end, attr);
      off = end;
    }
  }

 private:
  uint8_t* p_;
  size_t n_;
  bool toFile_;
};

}  // namespace

void SwapUtf16Block(uint8_t* block, size_t bytes, bool toFile) {
  Swapper(block, bytes, toFile).Block();
}

}  // namespace block_order_detail
}  // namespace vk
