#include "Strlib.h"

namespace vk {

const char* SkipSpaces(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

uint32_t ReadNumber(const char* p, uint32_t def, const char** end, bool* tooWide) {
  bool hexPrefix = p[0] == '0' && p[1] == 'x';
  const char* q = hexPrefix ? p + 2 : p;
  uint32_t value = 0;
  bool wide = false;
  bool any = false;
  for (;; ++q) {
    int d = HexValue(*q);
    if (d < 0 || (!hexPrefix && d > 9)) break;
    if (value >> 28) wide = true;
    value = (value << 4) | static_cast<uint32_t>(d);
    any = true;
  }
  if (end) *end = q;
  if (tooWide) *tooWide = wide;
  return any ? value : def;
}

const char* FindExtension(const char* name) {
  const char* dot = nullptr;
  for (const char* p = name; *p; ++p) {
    if (*p == '.') {
      dot = p;
    } else if (*p == '\\' || *p == '/') {
      dot = nullptr;
    }
  }
  return dot ? dot + 1 : nullptr;
}

}  // namespace vk
