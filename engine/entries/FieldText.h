// FieldText: how one field text (translation, example, pronunciation) is
// stored in a field area, per build (B::kFieldCodec):
//
//   Bocu1   (VKCU8L)         BOCU-1 bytes, a zero byte terminates
//   Utf16   (VKCUB, VKCUL)   16-bit units, little-endian in memory (the file
//                            order is the block layer's business), a zero
//                            unit terminates
//   Raw     (VKC620)         the caller's bytes as given, a zero byte
//                            terminates
//
// Encoding writes no terminator and never touches dst[cap] or beyond.
// Decoding is bounded on both sides: it never reads src[len] or beyond, and
// it keeps at most cap - 1 units of the text (cap counts a terminator, as the
// decoding capacities below do). A longer text is cut at the bound, never in
// the middle of a surrogate pair; the rest of it is still stepped over, so a
// caller continues after the whole stored text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "format/BuildTraits.h"

namespace vk {

// Room the decoder gives each field, in interface units, terminator included.
constexpr size_t kTranslationCapacity = 3001;
constexpr size_t kExampleCapacity = 20001;
constexpr size_t kPronunciationCapacity = 1001;

struct DecodedText {
  size_t consumed = 0;      // bytes of src the text took, its terminator included
  bool terminated = false;  // a zero unit ended it (only when stopping at zero)
  bool cut = false;         // units past the capacity were dropped
  bool malformed = false;   // an ill-formed sequence, or an odd trailing byte
};

template <class B>
class FieldText {
 public:
  using IChar = typename B::IChar;
  using Text = std::basic_string<IChar>;

  // Bytes of a terminator or of a field code in a field area.
  static constexpr size_t kUnitBytes = B::kFieldCodec == FieldCodec::Utf16 ? 2 : 1;

  // An upper bound for the encoding of `units` interface units.
  static uint64_t MaxEncodedSize(size_t units) {
    return B::kFieldCodec == FieldCodec::Bocu1 ? 3 * uint64_t(units) : kUnitBytes * uint64_t(units);
  }

  // Encodes s[0..len) into dst (cap bytes). Answers the bytes written, or -1
  // when they would not fit.
  static int64_t Encode(const IChar* s, size_t len, uint8_t* dst, size_t cap);

  // Writes one terminator (or field code) unit at dst.
  static void StoreUnit(uint8_t* dst, uint8_t value) {
    dst[0] = value;
    if (kUnitBytes == 2) dst[1] = 0;
  }

  // Decodes a text from src[0..len) into *out (replacing it).
  static DecodedText Decode(const uint8_t* src, size_t len, bool stopAtZero, size_t cap, Text* out);
};

}  // namespace vk
