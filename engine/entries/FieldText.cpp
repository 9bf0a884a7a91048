#include "entries/FieldText.h"

#include <climits>
#include <cstring>

#include "format/ByteOrder.h"
#include "text/Bocu1.h"
#include "text/Utf.h"

namespace vk {

namespace {

// The BOCU-1 codec counts in int32_t; longer texts are refused or read in part.
constexpr size_t kInt32Max = static_cast<size_t>(INT32_MAX);

int64_t EncodeBocu1(const char16_t* s, size_t len, uint8_t* dst, size_t cap) {
  if (len > kInt32Max / 3) return -1;
  int32_t c = cap > kInt32Max ? INT32_MAX : static_cast<int32_t>(cap);
  return Bocu1Encode(s, static_cast<int32_t>(len), dst, c);
}

DecodedText DecodeBocu1(const uint8_t* src, size_t len, bool stopAtZero, size_t cap, std::u16string* out) {
  DecodedText d;
  int32_t n = len > kInt32Max ? INT32_MAX : static_cast<int32_t>(len);
  // Room for the whole text when that is less than the capacity: one byte
  // yields at most two units.
  size_t room = std::min(cap, 2 * static_cast<size_t>(n) + 1);
  out->assign(room, u'\0');
  Bocu1Decoded r = Bocu1Decode(src, n, stopAtZero, out->data(), static_cast<int32_t>(room));
  out->resize(static_cast<size_t>(r.written));
  d.consumed = static_cast<size_t>(r.consumed);
  d.terminated = r.terminated;
  d.cut = r.cut;
  d.malformed = r.malformed;
  return d;
}

int64_t EncodeUtf16(const char16_t* s, size_t len, uint8_t* dst, size_t cap) {
  if (len > cap / 2) return -1;
  for (size_t i = 0; i < len; ++i) StoreLE16(dst + 2 * i, static_cast<uint16_t>(s[i]));
  return static_cast<int64_t>(2 * len);
}

DecodedText DecodeUtf16(const uint8_t* src, size_t len, bool stopAtZero, size_t cap, std::u16string* out) {
  DecodedText d;
  out->clear();
  const size_t keep = cap > 0 ? cap - 1 : 0;
  size_t i = 0;
  for (; i + 2 <= len; i += 2) {
    char16_t u = static_cast<char16_t>(LoadLE16(src + i));
    if (u == 0 && stopAtZero) {
      d.terminated = true;
      i += 2;
      break;
    }
    if (out->size() < keep) {
      out->push_back(u);
    } else {
      d.cut = true;
    }
  }
  if (!d.terminated && i < len) {
    d.malformed = true;  // a lone byte after the last whole unit
    i = len;
  }
  // A pair whose low half fell past the bound goes entirely.
  if (d.cut && !out->empty() && IsHighSurrogate(out->back())) out->pop_back();
  d.consumed = i;
  return d;
}

int64_t EncodeRaw(const char* s, size_t len, uint8_t* dst, size_t cap) {
  if (len > cap) return -1;
  if (len) std::memcpy(dst, s, len);
  return static_cast<int64_t>(len);
}

DecodedText DecodeRaw(const uint8_t* src, size_t len, bool stopAtZero, size_t cap, std::string* out) {
  DecodedText d;
  size_t n = len;
  if (stopAtZero) {
    const void* z = len ? std::memchr(src, 0, len) : nullptr;
    if (z != nullptr) {
      n = static_cast<size_t>(static_cast<const uint8_t*>(z) - src);
      d.terminated = true;
    }
  }
  const size_t keep = cap > 0 ? cap - 1 : 0;
  d.cut = n > keep;
  out->assign(reinterpret_cast<const char*>(src), d.cut ? keep : n);
  d.consumed = d.terminated ? n + 1 : n;
  return d;
}

}  // namespace

template <class B>
int64_t FieldText<B>::Encode(const IChar* s, size_t len, uint8_t* dst, size_t cap) {
  if constexpr (B::kFieldCodec == FieldCodec::Bocu1) {
    return EncodeBocu1(s, len, dst, cap);
  } else if constexpr (B::kFieldCodec == FieldCodec::Utf16) {
    return EncodeUtf16(s, len, dst, cap);
  } else {
    return EncodeRaw(s, len, dst, cap);
  }
}

template <class B>
DecodedText FieldText<B>::Decode(const uint8_t* src, size_t len, bool stopAtZero, size_t cap, Text* out) {
  if constexpr (B::kFieldCodec == FieldCodec::Bocu1) {
    return DecodeBocu1(src, len, stopAtZero, cap, out);
  } else if constexpr (B::kFieldCodec == FieldCodec::Utf16) {
    return DecodeUtf16(src, len, stopAtZero, cap, out);
  } else {
    return DecodeRaw(src, len, stopAtZero, cap, out);
  }
}

template class FieldText<TraitsVKCU8L>;
template class FieldText<TraitsVKCUB>;
template class FieldText<TraitsVKCUL>;
template class FieldText<TraitsVKC620>;

}  // namespace vk
