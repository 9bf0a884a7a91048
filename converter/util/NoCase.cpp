#include "util/NoCase.h"

#include "util/Utf8.h"

namespace vk {

namespace {

// Pairs in which the upper-case letter has the even code.
bool EvenUpperPair(char32_t c) {
  return (c >= 0x0100 && c <= 0x012F) || (c >= 0x0132 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177) ||
         (c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) || (c >= 0x04D0 && c <= 0x052F) ||
         (c >= 0x03D8 && c <= 0x03EF) || c == 0x0370 || c == 0x0372 || c == 0x0376;
}

// Pairs in which the upper-case letter has the odd code.
bool OddUpperPair(char32_t c) {
  return (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E) || (c >= 0x04C1 && c <= 0x04CE);
}

}  // namespace

char32_t LowerChar(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (EvenUpperPair(c)) return c | 1;
  if (OddUpperPair(c)) return (c & 1) ? c + 1 : c;
  switch (c) {
    case 0x0130: return 'i';
    case 0x0178: return 0xFF;
    case 0x0386: return 0x03AC;
    case 0x038C: return 0x03CC;
    case 0x038E: return 0x03CD;
    case 0x038F: return 0x03CE;
    case 0x037F: return 0x03F3;
    case 0x03CF: return 0x03D7;
    case 0x03F4: return 0x03B8;
    case 0x03F7: return 0x03F8;
    case 0x03F9: return 0x03F2;
    case 0x03FA: return 0x03FB;
    case 0x04C0: return 0x04CF;
    default: break;
  }
  if (c >= 0x0388 && c <= 0x038A) return c + 37;
  if (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) return c + 32;
  if (c >= 0x03FD && c <= 0x03FF) return c - 130;
  if (c >= 0x0400 && c <= 0x040F) return c + 80;
  if (c >= 0x0410 && c <= 0x042F) return c + 32;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
  return c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (LowerChar(NextUtf8(a, &i)) != LowerChar(NextUtf8(b, &j))) return false;
  }
  return i == a.size() && j == b.size();
}

}  // namespace vk
