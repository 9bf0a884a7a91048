// FieldEncoder: a Japa object into a field area, an attribute byte and the
// choice between a short and a long entry.
//
//   E (estimate, bytes, from interface lengths t, e, p):
//     simple    2t
//     extended  2(t + e + p) + 9, minus 3 for each empty e, p   (byte builds)
//               2(t + e + p) + 12, minus 4 for each empty e, p  (16-bit builds)
//   capacity    unit * 32767 - w - 8      (byte builds, w headword bytes)
//               unit * 32767 - 2w - 9     (16-bit builds, w headword units)
//
//   simple:    bit 4 cleared; 2t > capacity fails; the translation, no
//              terminator.
//   extended:  bit 4 set; translation, 0; 0x01 example, 0 when it is not
//              empty; 0x02 pronunciation, 0 when it is not empty; if that
//              length + 1 > capacity, fail; 0x80.
//   long:      in the builds with long entries, an extended object with
//              E >= 65280.
//
// Beyond that rule, because E only estimates the stored size (BOCU-1 may take
// three bytes per unit): an entry whose short body (whole headword,
// terminator, field area) would pass 65535 bytes is made long in the builds
// with long entries and fails in the others; and an entry that could not fit
// a block of 32767 units fails. The area is built in a buffer sized for the
// worst case, so no text can overrun it. Every failure is kErrTooLarge.
// Attribute bits other than bit 4 are kept as the caller gave them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "entries/Japa.h"

namespace vk {

struct EncodedFields {
  std::vector<uint8_t> area;
  uint8_t attribute = 0;
  bool longEntry = false;
};

template <class B>
class FieldEncoder {
 public:
  // `wordUnits` is the stored headword's length; `unitBytes` the block size
  // of the dictionary. Answers 0 or kErrTooLarge.
  static int Encode(const Japa<B>& japa, size_t wordUnits, int32_t unitBytes, EncodedFields* out);

  static int64_t Estimate(const Japa<B>& japa);
  // The same from the texts' lengths.
  static int64_t Estimate(size_t translation, size_t example, size_t pronunciation);
  static int64_t Capacity(size_t wordUnits, int32_t unitBytes);
};

}  // namespace vk
