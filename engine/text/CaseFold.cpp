#include "text/CaseFold.h"

namespace vk {

namespace {

inline bool In(char16_t c, unsigned lo, unsigned hi) { return c >= lo && c <= hi; }
inline char16_t Add(char16_t c, int d) { return static_cast<char16_t>(c + d); }

// Most of Latin Extended-A, Greek's archaic letters and Cyrillic beyond the
// basic alphabet alternate capital, small, capital, small...
inline bool EvenCapital(char16_t c) { return (c & 1) == 0; }

}  // namespace

char16_t LowerNonAscii(char16_t c) {
  if (c < 0x100) {
    if (In(c, 0xC0, 0xDE) && c != 0xD7) return Add(c, 32);
    return c;
  }
  if (c < 0x180) {  // Latin Extended-A
    if (In(c, 0x100, 0x12F) || In(c, 0x132, 0x137) || In(c, 0x14A, 0x177))
      return EvenCapital(c) ? Add(c, 1) : c;
    if (In(c, 0x139, 0x148) || In(c, 0x179, 0x17E)) return EvenCapital(c) ? c : Add(c, 1);
    if (c == 0x130) return u'i';
    if (c == 0x178) return 0xFF;
    return c;
  }
  if (In(c, 0x370, 0x3FF)) {  // Greek and Coptic
    if (In(c, 0x391, 0x3A1) || In(c, 0x3A3, 0x3AB)) return Add(c, 32);
    if (In(c, 0x370, 0x373) || In(c, 0x3D8, 0x3EF)) return EvenCapital(c) ? Add(c, 1) : c;
    if (In(c, 0x388, 0x38A)) return Add(c, 37);
    if (In(c, 0x38E, 0x38F)) return Add(c, 63);
    if (In(c, 0x3FD, 0x3FF)) return Add(c, -130);
    switch (c) {
      case 0x376: return 0x377;
      case 0x37F: return 0x3F3;
      case 0x386: return 0x3AC;
      case 0x38C: return 0x3CC;
      case 0x3CF: return 0x3D7;
      case 0x3F4: return 0x3B8;
      case 0x3F7: return 0x3F8;
      case 0x3F9: return 0x3F2;
      case 0x3FA: return 0x3FB;
      default: return c;
    }
  }
  if (In(c, 0x400, 0x4FF)) {  // Cyrillic
    if (In(c, 0x410, 0x42F)) return Add(c, 32);
    if (In(c, 0x400, 0x40F)) return Add(c, 80);
    if (In(c, 0x460, 0x481) || In(c, 0x48A, 0x4BF) || In(c, 0x4D0, 0x4FF)) return EvenCapital(c) ? Add(c, 1) : c;
    if (In(c, 0x4C1, 0x4CE)) return EvenCapital(c) ? c : Add(c, 1);
    if (c == 0x4C0) return 0x4CF;
    return c;
  }
  if (In(c, 0xFF21, 0xFF3A)) return Add(c, 32);  // full-width Latin
  return c;
}

char16_t UpperNonAscii(char16_t c) {
  if (c < 0x100) {
    if (In(c, 0xE0, 0xFE) && c != 0xF7) return Add(c, -32);
    if (c == 0xFF) return 0x178;
    if (c == 0xB5) return 0x39C;
    return c;
  }
  if (c < 0x180) {  // Latin Extended-A
    if (In(c, 0x100, 0x12F) || In(c, 0x132, 0x137) || In(c, 0x14A, 0x177))
      return EvenCapital(c) ? c : Add(c, -1);
    if (In(c, 0x139, 0x148) || In(c, 0x179, 0x17E)) return EvenCapital(c) ? Add(c, -1) : c;
    if (c == 0x131) return u'I';
    if (c == 0x17F) return u'S';
    return c;
  }
  if (In(c, 0x370, 0x3FF)) {  // Greek and Coptic
    if (In(c, 0x3B1, 0x3C1) || In(c, 0x3C3, 0x3CB)) return Add(c, -32);
    if (In(c, 0x370, 0x373) || In(c, 0x3D8, 0x3EF)) return EvenCapital(c) ? c : Add(c, -1);
    if (In(c, 0x3AD, 0x3AF)) return Add(c, -37);
    if (In(c, 0x3CD, 0x3CE)) return Add(c, -63);
    if (In(c, 0x37B, 0x37D)) return Add(c, 130);
    switch (c) {
      case 0x377: return 0x376;
      case 0x3AC: return 0x386;
      case 0x3C2: return 0x3A3;
      case 0x3CC: return 0x38C;
      case 0x3D0: return 0x392;
      case 0x3D1: return 0x398;
      case 0x3D5: return 0x3A6;
      case 0x3D6: return 0x3A0;
      case 0x3D7: return 0x3CF;
      case 0x3F0: return 0x39A;
      case 0x3F1: return 0x3A1;
      case 0x3F2: return 0x3F9;
      case 0x3F3: return 0x37F;
      case 0x3F5: return 0x395;
      case 0x3F8: return 0x3F7;
      case 0x3FB: return 0x3FA;
      default: return c;
    }
  }
  if (In(c, 0x400, 0x4FF)) {  // Cyrillic
    if (In(c, 0x430, 0x44F)) return Add(c, -32);
    if (In(c, 0x450, 0x45F)) return Add(c, -80);
    if (In(c, 0x460, 0x481) || In(c, 0x48A, 0x4BF) || In(c, 0x4D0, 0x4FF)) return EvenCapital(c) ? c : Add(c, -1);
    if (In(c, 0x4C1, 0x4CE)) return EvenCapital(c) ? Add(c, -1) : c;
    if (c == 0x4CF) return 0x4C0;
    return c;
  }
  if (In(c, 0xFF41, 0xFF5A)) return Add(c, -32);  // full-width Latin
  return c;
}

}  // namespace vk
