#include "text/Utf.h"

#include <limits>

namespace vk {

namespace {

constexpr int32_t kUnbounded = std::numeric_limits<int32_t>::max();

// Input of either width, bounded by a length or by its terminator. Reading
// At(i) is allowed only while i < limit and no zero was met before i.
template <class Unit>
struct Input {
  const Unit* p;
  int32_t limit;
  Input(const Unit* src, int32_t len) : p(src), limit(src == nullptr ? 0 : (len < 0 ? kUnbounded : len)) {}
  // True when unit i exists and is not the terminator.
  bool Has(int32_t i) const { return i < limit && p[i] != 0; }
};

// Output that either stores (dst != nullptr) or only counts. `room` excludes
// the terminator's slot.
template <class Unit>
struct Output {
  Unit* dst;
  int32_t room;
  int32_t n = 0;
  Output(Unit* d, int32_t cap) : dst(d), room(d == nullptr ? kUnbounded : (cap > 0 ? cap - 1 : 0)) {}
  bool Fits(int32_t k) const { return room - n >= k; }
  void Put(uint32_t v) {
    if (dst) dst[n] = static_cast<Unit>(v);
    ++n;
  }
  int32_t Finish(int32_t cap) {
    if (dst && cap > 0) dst[n] = 0;
    return n;
  }
};

int32_t Encode8(const char16_t* src, int32_t len, Output<char>& out) {
  Input<char16_t> in(src, len);
  int32_t i = 0;
  while (in.Has(i)) {
    uint32_t c = in.p[i];
    if (c < 0x80) {
      if (!out.Fits(1)) break;
      out.Put(c);
      ++i;
    } else if (c < 0x800) {
      if (!out.Fits(2)) break;
      out.Put(0xC0 | (c >> 6));
      out.Put(0x80 | (c & 0x3F));
      ++i;
    } else if (IsHighSurrogate(static_cast<char16_t>(c))) {
      if (!in.Has(i + 1) || !IsLowSurrogate(in.p[i + 1])) {
        ++i;  // unpaired: dropped
        continue;
      }
      if (!out.Fits(4)) break;
      uint32_t cp = 0x10000 + ((c - 0xD800) << 10) + (in.p[i + 1] - 0xDC00);
      out.Put(0xF0 | (cp >> 18));
      out.Put(0x80 | ((cp >> 12) & 0x3F));
      out.Put(0x80 | ((cp >> 6) & 0x3F));
      out.Put(0x80 | (cp & 0x3F));
      i += 2;
    } else {
      if (!out.Fits(3)) break;
      out.Put(0xE0 | (c >> 12));
      out.Put(0x80 | ((c >> 6) & 0x3F));
      out.Put(0x80 | (c & 0x3F));
      ++i;
    }
  }
  return out.n;
}

int32_t Decode8(const char* src, int32_t len, Output<char16_t>& out) {
  Input<char> in(src, len);
  int32_t i = 0;
  while (in.Has(i)) {
    uint32_t b = static_cast<unsigned char>(in.p[i]);
    int32_t extra;
    uint32_t cp;
    if (b < 0x80) {
      extra = 0;
      cp = b;
    } else if (b < 0xC0 || b >= 0xF8) {
      ++i;  // cannot start a sequence
      continue;
    } else if (b < 0xE0) {
      extra = 1;
      cp = b & 0x1F;
    } else if (b < 0xF0) {
      extra = 2;
      cp = b & 0x0F;
    } else {
      extra = 3;
      cp = b & 0x07;
    }
    for (int32_t k = 1; k <= extra; ++k) {
      if (!in.Has(i + k)) return out.n;  // cut short: ends the text
      cp = (cp << 6) | (static_cast<unsigned char>(in.p[i + k]) & 0x3F);
    }
    i += 1 + extra;
    if (cp >= 0x10000) {
      if (cp > 0x10FFFF) continue;
      if (!out.Fits(2)) break;
      cp -= 0x10000;
      out.Put(0xD800 + (cp >> 10));
      out.Put(0xDC00 + (cp & 0x3FF));
    } else {
      if (!out.Fits(1)) break;
      out.Put(cp);
    }
  }
  return out.n;
}

}  // namespace

int32_t Utf16ToUtf8(const char16_t* src, int32_t len, char* dst, int32_t cap) {
  if (dst == nullptr || cap <= 0) return 0;
  Output<char> out(dst, cap);
  Encode8(src, len, out);
  return out.Finish(cap);
}

int32_t Utf8ToUtf16(const char* src, int32_t len, char16_t* dst, int32_t cap) {
  if (dst == nullptr || cap <= 0) return 0;
  Output<char16_t> out(dst, cap);
  Decode8(src, len, out);
  return out.Finish(cap);
}

int32_t Utf8LengthOf(const char16_t* src, int32_t len) {
  Output<char> out(nullptr, 0);
  return Encode8(src, len, out);
}

int32_t Utf16LengthOf(const char* src, int32_t len) {
  Output<char16_t> out(nullptr, 0);
  return Decode8(src, len, out);
}

std::string Utf16ToUtf8(const char16_t* src, int32_t len) {
  std::string s(static_cast<size_t>(Utf8LengthOf(src, len)), '\0');
  // data() of a std::string always has room for the terminator after size().
  Utf16ToUtf8(src, len, s.data(), static_cast<int32_t>(s.size()) + 1);
  return s;
}

std::string Utf16ToUtf8(std::u16string_view src) {
  return Utf16ToUtf8(src.data(), static_cast<int32_t>(src.size()));
}

std::u16string Utf8ToUtf16(const char* src, int32_t len) {
  std::u16string s(static_cast<size_t>(Utf16LengthOf(src, len)), u'\0');
  Utf8ToUtf16(src, len, s.data(), static_cast<int32_t>(s.size()) + 1);
  return s;
}

std::u16string Utf8ToUtf16(std::string_view src) {
  return Utf8ToUtf16(src.data(), static_cast<int32_t>(src.size()));
}

}  // namespace vk
