#include "util/Utf8.h"

namespace vk {

void AppendUtf8(std::string* out, char32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string ToUtf8Text(const char16_t* s) {
  std::string out;
  if (!s) return out;
  for (; *s; ++s) {
    char32_t c = *s;
    if (c >= 0xD800 && c <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[1] - 0xDC00);
      ++s;
    }
    AppendUtf8(&out, c);  // a lone surrogate comes out as U+FFFD
  }
  return out;
}

char32_t NextUtf8(std::string_view s, size_t* pos) {
  size_t i = *pos;
  unsigned char b = static_cast<unsigned char>(s[i]);
  int more = 0;
  char32_t c = 0;
  char32_t min = 0;
  if (b < 0x80) {
    *pos = i + 1;
    return b;
  } else if (b >= 0xC2 && b <= 0xDF) {
    more = 1, c = b & 0x1F, min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    more = 2, c = b & 0x0F, min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    more = 3, c = b & 0x07, min = 0x10000;
  } else {
    *pos = i + 1;
    return kStrayByte + b;
  }
  if (s.size() - i <= static_cast<size_t>(more)) {
    *pos = i + 1;
    return kStrayByte + b;
  }
  for (int k = 1; k <= more; ++k) {
    unsigned char t = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
    if ((t & 0xC0) != 0x80) {
      *pos = i + 1;
      return kStrayByte + b;
    }
    c = (c << 6) | (t & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    *pos = i + 1;
    return kStrayByte + b;
  }
  *pos = i + 1 + static_cast<size_t>(more);
  return c;
}

std::u16string FromUtf8Text(std::string_view s) {
  std::u16string out;
  size_t pos = 0;
  while (pos < s.size()) {
    char32_t c = NextUtf8(s, &pos);
    if (c >= kStrayByte) c = 0xFFFD;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

void CutUtf8(std::string* s, size_t maxBytes) {
  if (s->size() <= maxBytes) return;
  size_t cut = maxBytes;
  // Back off over continuation bytes to the start of the character that
  // would be split.
  while (cut > 0 && (static_cast<unsigned char>((*s)[cut]) & 0xC0) == 0x80) --cut;
  s->resize(cut);
}

}  // namespace vk
