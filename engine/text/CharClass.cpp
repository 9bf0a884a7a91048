#include "text/CharClass.h"

namespace vk {

const char16_t kOpeningBrackets[kBracketCount] = {
    0x0028, 0x005B, 0x007B, 0xFFA2, 0x003C, 0x007B, 0xFF08, 0x3014,
    0xFF3B, 0xFF5B, 0x3008, 0x300A, 0x300C, 0x300E, 0x3010, 0xFF1C};

const char16_t kClosingBrackets[kBracketCount] = {
    0x0029, 0x005D, 0x007D, 0xFFA3, 0x003E, 0x007D, 0xFF09, 0x3015,
    0xFF3D, 0xFF5D, 0x3009, 0x300B, 0x300D, 0x300F, 0x3011, 0xFF1E};

namespace {

bool Find(const char16_t* table, int from, char16_t c, int* index) {
  for (int i = from; i < kBracketCount; ++i) {
    if (table[i] == c) {
      if (index) *index = i;
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsSeparator(char16_t c) {
  switch (c) {
    case 0x0000: case 0x002C: case 0x3000: case 0x3001: case 0x3002:
    case 0xFF0C: case 0xFF0E: case 0xFF61: case 0xFF64:
      return true;
    default:
      return false;
  }
}

bool IsSeparatorOrSemicolon(char16_t c) { return c == 0x003B || c == 0xFF1B || IsSeparator(c); }

bool FindOpeningBracket(char16_t c, int* index) { return Find(kOpeningBrackets, 0, c, index); }

bool FindClosingBracket(char16_t c, int* index) { return Find(kClosingBrackets, 0, c, index); }

bool IsFullWidthOpeningBracket(char16_t c) { return Find(kOpeningBrackets, kFirstFullWidthBracket, c, nullptr); }

}  // namespace vk
