// BOCU-1, the compression scheme for Unicode text in which the UTF-8 build
// stores translations, examples and pronunciations.
//
// Each text is coded on its own, starting from prev = 0x40. U+0000..U+0020
// are their own byte; every other code point c is the difference c - prev in
// one to four bytes, and prev then moves near c (see Bocu1.cpp). A zero byte
// never occurs inside a multi-byte sequence (trail bytes avoid it), so in a
// stored field a zero byte is always the terminator of the text. Byte 0xFF in
// lead position resets prev to 0x40 and stands for nothing.
//
// UTF-16 input: a surrogate pair is one code point; an unpaired surrogate is
// coded as the code point of its own value, so it survives the way back.
// No BMP unit takes more than 3 bytes and a pair no more than 4, so
// Bocu1MaxEncodedSize(n) = 3n bounds the encoding of any n units.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vk {

constexpr int32_t Bocu1MaxEncodedSize(int32_t units) { return 3 * units; }

// Exact size in bytes of the encoding of src[0..len) (len -1: up to the
// terminator). The terminator itself is not coded.
int32_t Bocu1EncodedSize(const char16_t* src, int32_t len);

// Writes the encoding of src[0..len) (len -1: up to the terminator) to dst
// and answers the number of bytes written. When the encoding needs more than
// cap bytes, answers -1; dst may then hold a partial encoding, but nothing at
// or past dst[cap] is touched. No terminator is written.
int32_t Bocu1Encode(const char16_t* src, int32_t len, uint8_t* dst, int32_t cap);

std::string Bocu1Encode(std::u16string_view src);

struct Bocu1Decoded {
  // Input bytes the text occupied: through its terminator when one ended it,
  // else the whole input. A caller continues after the text at src + consumed.
  int32_t consumed = 0;
  // UTF-16 units written, terminator not counted.
  int32_t written = 0;
  // A zero byte ended the text (only when stopping at zero was asked for).
  bool terminated = false;
  // The output bound was reached: the rest of the text was skipped unwritten.
  bool cut = false;
  // An ill-formed sequence was met: an invalid trail byte, a value outside
  // U+0000..U+10FFFF (each written as U+FFFD), or a sequence cut short by the
  // end of the input (dropped).
  bool malformed = false;
};

// Decodes src[0..len). With stopAtZero, a zero byte ends the text (and is
// counted in `consumed`); without it a zero byte is U+0000. The output dst has
// cap units, terminator included: it is always terminated when cap >= 1, and
// nothing is written at or past dst[cap]. Never reads src[len] or beyond.
// With a null dst (or cap 0) nothing is written and the result only tells
// where the text ends. Room for 2 * len + 1 units holds any text whole: one
// byte can stand for a supplementary character.
Bocu1Decoded Bocu1Decode(const uint8_t* src, int32_t len, bool stopAtZero, char16_t* dst, int32_t cap);

// Whole-text convenience form (no output bound).
std::u16string Bocu1Decode(const uint8_t* src, int32_t len, bool stopAtZero = true);

}  // namespace vk
