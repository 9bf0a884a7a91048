// The numbers of BOCU-1:
//
//   lead byte    form                       difference d = c - prev
//   0x00..0x20   the code point itself       -
//   0x21         4 bytes, negative          below -187660
//   0x22..0x24   3 bytes, negative          -187660 .. -10514
//   0x25..0x4F   2 bytes, negative          -10513 .. -65
//   0x50..0xCF   1 byte, 0x90 + d           -64 .. 63
//   0xD0..0xFA   2 bytes, positive          64 .. 10512
//   0xFB..0xFD   3 bytes, positive          10513 .. 187659
//   0xFE         4 bytes, positive          187660 and above
//   0xFF         reset prev to 0x40          -
//
// A multi-byte form takes off the reach of the shorter forms and writes the
// rest in base 243: the quotient goes into the lead (counted down from the
// middle for negative d, with floor division so every digit is 0..242), the
// digits into the trail bytes, most significant first. Trail values 0..19 use
// the bytes 0x01-0x06, 0x10-0x19, 0x1C-0x1F (the C0 controls that text never
// has to keep as themselves), values 20..242 the bytes 0x21..0xFF.
#include "text/Bocu1.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/Utf.h"

namespace vk {

namespace {

constexpr int32_t kAsciiPrev = 0x40;
constexpr int32_t kMiddle = 0x90;
constexpr int32_t kTrailCount = 243;
constexpr int32_t kTrail2 = kTrailCount * kTrailCount;
constexpr int32_t kTrail3 = kTrail2 * kTrailCount;

constexpr int32_t kReachPos1 = 63, kReachNeg1 = -64;
constexpr int32_t kReachPos2 = 10512, kReachNeg2 = -10513;
constexpr int32_t kReachPos3 = 187659, kReachNeg3 = -187660;

constexpr int32_t kStartPos2 = 0xD0, kStartPos3 = 0xFB, kStartPos4 = 0xFE;
constexpr int32_t kStartNeg2 = 0x50, kStartNeg3 = 0x25, kStartNeg4 = 0x22;

constexpr uint8_t kLowTrailBytes[20] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x10, 0x11, 0x12, 0x13,
                                        0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1C, 0x1D, 0x1E, 0x1F};

uint8_t TrailByte(int32_t v) { return v < 20 ? kLowTrailBytes[v] : static_cast<uint8_t>(v + 13); }

// Trail value of a byte, or -1 for a byte that cannot be a trail.
int32_t TrailValue(uint8_t b) {
  if (b >= 0x21) return b - 13;
  if (b >= 0x01 && b <= 0x06) return b - 0x01;
  if (b >= 0x10 && b <= 0x19) return b - 0x10 + 6;
  if (b >= 0x1C && b <= 0x1F) return b - 0x1C + 16;
  return -1;
}

// prev after code point c: the middle of c's script block, so that the next
// character of the same script is a short difference away.
int32_t NextPrev(int32_t c, int32_t prev) {
  if (c <= 0x20) return c == 0x20 ? prev : kAsciiPrev;
  if (c >= 0x3040 && c <= 0x309F) return 0x3070;
  if (c >= 0x4E00 && c <= 0x9FA5) return 0x4E00 - kReachNeg2;  // 0x7711
  if (c >= 0xAC00 && c <= 0xD7A3) return (0xD7A3 + 0xAC00) / 2;  // 0xC1D1
  return (c & ~0x7F) + kAsciiPrev;
}

int32_t FloorDiv(int32_t a, int32_t b) {
  int32_t q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}

// The two-byte form of d (kReachNeg2 <= d <= kReachPos2, outside the
// one-byte reach): kanji after kanji and most steps within a script. The
// downward quotient is counted up from the form's lowest lead, so that the
// division is one of positive numbers.
inline void PackTwo(int32_t d, uint8_t out[2]) {
  int32_t rest, lead;
  if (d > 0) {
    rest = d - (kReachPos1 + 1);
    lead = kStartPos2 + rest / kTrailCount;
  } else {
    rest = d - kReachNeg1 + (kStartNeg2 - kStartNeg3) * kTrailCount;
    lead = kStartNeg3 + rest / kTrailCount;
  }
  out[0] = static_cast<uint8_t>(lead);
  out[1] = TrailByte(rest % kTrailCount);
}

// Bytes of difference d into out[0..]; answers their count (1..4).
int PackDiff(int32_t d, uint8_t out[4]) {
  int32_t lead, rest, count;
  if (d >= kReachNeg1 && d <= kReachPos1) {
    out[0] = static_cast<uint8_t>(kMiddle + d);
    return 1;
  }
  if (d >= kReachNeg2 && d <= kReachPos2) {
    PackTwo(d, out);
    return 2;
  }
  if (d > 0) {
    if (d <= kReachPos3) {
      rest = d - (kReachPos2 + 1);
      lead = kStartPos3 + rest / kTrail2;
      count = 3;
    } else {
      rest = d - (kReachPos3 + 1);
      lead = kStartPos4 + rest / kTrail3;
      count = 4;
    }
  } else {
    int32_t q;
    if (d >= kReachNeg3) {
      rest = d - kReachNeg2;
      q = FloorDiv(rest, kTrail2);
      lead = kStartNeg3 + q;
      rest -= q * kTrail2;
      count = 3;
    } else {
      rest = d - kReachNeg3;
      q = FloorDiv(rest, kTrail3);
      lead = kStartNeg4 + q;
      rest -= q * kTrail3;
      count = 4;
    }
  }
  // rest now holds the trail digits (below the lead's share) as a number.
  for (int i = count - 1; i >= 1; --i) {
    out[i] = TrailByte(rest % kTrailCount);
    rest /= kTrailCount;
  }
  out[0] = static_cast<uint8_t>(lead);
  return count;
}

// Calls sink(bytes, n) for each coded character of src; stops early when the
// sink answers false. Answers false when stopped.
template <class Sink>
bool EncodeWith(const char16_t* src, int32_t len, Sink&& sink) {
  if (src == nullptr) return true;
  int32_t prev = kAsciiPrev;
  uint8_t buf[4];
  for (int32_t i = 0; len < 0 ? src[i] != 0 : i < len;) {
    int32_t c = src[i++];
    if (IsHighSurrogate(static_cast<char16_t>(c)) && (len < 0 || i < len) && IsLowSurrogate(src[i])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (src[i++] - 0xDC00);
    }
    int n;
    if (c <= 0x20) {
      buf[0] = static_cast<uint8_t>(c);
      n = 1;
    } else {
      n = PackDiff(c - prev, buf);
    }
    prev = NextPrev(c, prev);
    if (!sink(buf, n)) return false;
  }
  return true;
}

// ASCII while prev is the ASCII middle, sixteen characters at a time: texts
// in English and German are mostly such runs. Each answers how many
// characters it took, a multiple of 16, stopping before the first group of
// 16 that holds anything else; the scalar loops after them take the rest.
#if defined(__SSE2__)
// src[0..n) of units below 0x80 into bytes: 0x00..0x20 as themselves, the
// rest 0x50 higher.
int32_t EncodeAsciiGroups(const char16_t* src, int32_t n, uint8_t* dst) {
  const __m128i high = _mm_set1_epi16(static_cast<int16_t>(0xFF80));
  const __m128i space = _mm_set1_epi8(0x20);
  const __m128i shift = _mm_set1_epi8(kMiddle - kAsciiPrev);
  int32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
    const __m128i over = _mm_and_si128(_mm_or_si128(a, b), high);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(over, _mm_setzero_si128())) != 0xFFFF) break;
    const __m128i bytes = _mm_packus_epi16(a, b);
    const __m128i printable = _mm_cmpgt_epi8(bytes, space);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_add_epi8(bytes, _mm_and_si128(printable, shift)));
  }
  return i;
}

// src[0..n) of bytes 0x01..0x20 and 0x71..0xCF into the ASCII they stand for.
int32_t DecodeAsciiGroups(const uint8_t* src, int32_t n, char16_t* dst) {
  const __m128i one = _mm_set1_epi8(0x01), controlSpan = _mm_set1_epi8(0x20 - 0x01);
  const __m128i low = _mm_set1_epi8(0x71), printableSpan = _mm_set1_epi8(0xCF - 0x71);
  const __m128i shift = _mm_set1_epi8(kMiddle - kAsciiPrev);
  int32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    // v in [lo, lo + span] exactly when min(v - lo, span) == v - lo, unsigned.
    const __m128i c = _mm_sub_epi8(x, one);
    const __m128i p = _mm_sub_epi8(x, low);
    const __m128i isControl = _mm_cmpeq_epi8(_mm_min_epu8(c, controlSpan), c);
    const __m128i isPrintable = _mm_cmpeq_epi8(_mm_min_epu8(p, printableSpan), p);
    if (_mm_movemask_epi8(_mm_or_si128(isControl, isPrintable)) != 0xFFFF) break;
    const __m128i ascii = _mm_sub_epi8(x, _mm_and_si128(isPrintable, shift));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_unpacklo_epi8(ascii, _mm_setzero_si128()));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 8), _mm_unpackhi_epi8(ascii, _mm_setzero_si128()));
  }
  return i;
}
#else
int32_t EncodeAsciiGroups(const char16_t*, int32_t, uint8_t*) { return 0; }
int32_t DecodeAsciiGroups(const uint8_t*, int32_t, char16_t*) { return 0; }
#endif

}  // namespace

int32_t Bocu1EncodedSize(const char16_t* src, int32_t len) {
  int32_t total = 0;
  EncodeWith(src, len, [&](const uint8_t*, int n) {
    total += n;
    return true;
  });
  return total;
}

// The same bytes as EncodeWith, written in place. While prev is the ASCII
// middle, ASCII keeps it there and each character is one byte: 0x00..0x20 as
// themselves, the rest 0x50 above (0x90 + c - 0x40), so text in English
// runs through a loop of its own.
int32_t Bocu1Encode(const char16_t* src, int32_t len, uint8_t* dst, int32_t cap) {
  if (src == nullptr) return 0;
  const bool counted = len >= 0;
  int32_t prev = kAsciiPrev;
  int32_t used = 0;
  int32_t i = 0;
  for (;;) {
    if (prev == kAsciiPrev) {
      if (counted) {
        const int32_t n = std::min(len - i, cap - used);
        const int32_t took = EncodeAsciiGroups(src + i, n, dst + used);
        i += took;
        used += took;
      }
      for (; counted ? i < len : src[i] != 0; ++i) {
        const char16_t c = src[i];
        if (c >= 0x80) break;
        if (used >= cap) return -1;
        dst[used++] = static_cast<uint8_t>(c <= 0x20 ? c : c + (kMiddle - kAsciiPrev));
      }
    }
    if (counted ? i >= len : src[i] == 0) break;
    int32_t c = src[i++];
    if (IsHighSurrogate(static_cast<char16_t>(c)) && (!counted || i < len) && IsLowSurrogate(src[i])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (src[i++] - 0xDC00);
    }
    const int32_t d = c - prev;
    if (c <= 0x20) {
      if (used >= cap) return -1;
      dst[used++] = static_cast<uint8_t>(c);
    } else if (d >= kReachNeg1 && d <= kReachPos1) {
      // Kana after kana and the like: one byte.
      if (used >= cap) return -1;
      dst[used++] = static_cast<uint8_t>(kMiddle + d);
    } else if (d >= kReachNeg2 && d <= kReachPos2 && cap - used >= 2) {
      PackTwo(d, dst + used);
      used += 2;
    } else if (cap - used >= 4) {
      used += PackDiff(c - prev, dst + used);
    } else {
      uint8_t buf[4];
      const int n = PackDiff(c - prev, buf);
      if (cap - used < n) return -1;
      std::memcpy(dst + used, buf, static_cast<size_t>(n));
      used += n;
    }
    prev = NextPrev(c, prev);
  }
  return used;
}

std::string Bocu1Encode(std::u16string_view src) {
  std::string out;
  out.reserve(src.size() * 2);
  EncodeWith(src.data(), static_cast<int32_t>(src.size()), [&](const uint8_t* b, int n) {
    out.append(reinterpret_cast<const char*>(b), static_cast<size_t>(n));
    return true;
  });
  return out;
}

Bocu1Decoded Bocu1Decode(const uint8_t* src, int32_t len, bool stopAtZero, char16_t* dst, int32_t cap) {
  Bocu1Decoded r;
  if (src == nullptr || len < 0) len = 0;
  const int32_t room = dst == nullptr ? 0 : (cap > 0 ? cap - 1 : 0);
  int32_t prev = kAsciiPrev;
  int32_t i = 0;

  // Once the output is full the rest of the text is only measured.
  auto skipRest = [&]() {
    r.cut = true;
    if (stopAtZero) {
      const void* z = std::memchr(src + i, 0, static_cast<size_t>(len - i));
      if (z != nullptr) {
        r.terminated = true;
        return static_cast<int32_t>(static_cast<const uint8_t*>(z) - src) + 1;
      }
    }
    return len;
  };
  auto put = [&](int32_t c) {
    int32_t need = c >= 0x10000 ? 2 : 1;
    if (room - r.written < need) return false;
    if (c >= 0x10000) {
      c -= 0x10000;
      dst[r.written++] = static_cast<char16_t>(0xD800 + (c >> 10));
      dst[r.written++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      dst[r.written++] = static_cast<char16_t>(c);
    }
    return true;
  };

  r.consumed = len;
  while (i < len) {
    // ASCII while prev is the ASCII middle: 0x01..0x20 stand for themselves,
    // 0x71..0xCF for 0x21..0x7F, and prev stays where it is.
    if (prev == kAsciiPrev && dst != nullptr) {
      const int32_t took = DecodeAsciiGroups(src + i, std::min(len - i, room - r.written), dst + r.written);
      i += took;
      r.written += took;
      while (i < len && r.written < room) {
        const uint8_t a = src[i];
        if (a >= 0x71 && a <= 0xCF) {
          dst[r.written++] = static_cast<char16_t>(a - (kMiddle - kAsciiPrev));
        } else if (a >= 0x01 && a <= 0x20) {
          dst[r.written++] = static_cast<char16_t>(a);
        } else {
          break;
        }
        ++i;
      }
      if (i >= len) break;
    }
    const int32_t start = i;
    const int32_t b = src[i++];
    if (b == 0 && stopAtZero) {
      r.terminated = true;
      r.consumed = i;
      break;
    }
    if (b <= 0x20) {
      if (!put(b)) {
        i = start;
        r.consumed = skipRest();
        break;
      }
      prev = NextPrev(b, prev);
      continue;
    }
    if (b == 0xFF) {
      prev = kAsciiPrev;
      continue;
    }
    int32_t count, base;
    if (b >= kStartNeg2 && b < kStartPos2) {
      count = 1;
      base = b - kMiddle;
    } else if (b >= kStartPos2 && b < kStartPos3) {
      count = 2;
      base = (b - kStartPos2) * kTrailCount + kReachPos1 + 1;
    } else if (b >= kStartPos3 && b < kStartPos4) {
      count = 3;
      base = (b - kStartPos3) * kTrail2 + kReachPos2 + 1;
    } else if (b == kStartPos4) {
      count = 4;
      base = kReachPos3 + 1;
    } else if (b >= kStartNeg3) {
      count = 2;
      base = (b - kStartNeg2) * kTrailCount + kReachNeg1;
    } else if (b >= kStartNeg4) {
      count = 3;
      base = (b - kStartNeg3) * kTrail2 + kReachNeg2;
    } else {
      count = 4;
      base = (b - kStartNeg4) * kTrail3 + kReachNeg3;
    }
    int32_t digits = 0;
    int32_t c = 0;
    bool lost = false, replaced = false;
    for (int k = 1; k < count; ++k) {
      if (i >= len) {
        // Cut short by the end of the input: nothing to show for it.
        r.malformed = true;
        lost = true;
        break;
      }
      int32_t t = TrailValue(src[i]);
      if (t < 0) {
        // Not a trail: the sequence is lost and the byte is read again as a lead.
        r.malformed = true;
        replaced = true;
        c = 0xFFFD;
        break;
      }
      digits = digits * kTrailCount + t;
      ++i;
    }
    if (lost) break;
    if (!replaced) {
      c = prev + base + digits;
      if (c < 0 || c > 0x10FFFF) {
        r.malformed = true;
        c = 0xFFFD;
        prev = kAsciiPrev;
      } else {
        prev = NextPrev(c, prev);
      }
    }
    if (!put(c)) {
      i = start;
      r.consumed = skipRest();
      break;
    }
  }
  if (dst != nullptr && cap > 0) dst[r.written] = 0;
  return r;
}

std::u16string Bocu1Decode(const uint8_t* src, int32_t len, bool stopAtZero) {
  // One byte can stand for a supplementary character: two units per byte
  // bound every text.
  std::u16string out(2 * static_cast<size_t>(len > 0 ? len : 0) + 1, u'\0');
  Bocu1Decoded r = Bocu1Decode(src, len, stopAtZero, out.data(), static_cast<int32_t>(out.size()));
  out.resize(static_cast<size_t>(r.written));
  return out;
}

}  // namespace vk
