// Text samples shared by the codec tests: fixed strings touching every
// script the dictionaries hold, and seeded random strings of code points.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace vk::test {

inline void AppendCodePoint(std::u16string& s, uint32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    s.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    s.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    s.push_back(static_cast<char16_t>(c));
  }
}

inline std::vector<std::u16string> FixedCorpus() {
  using namespace std::string_literals;
  std::vector<std::u16string> v = {
      u"",
      u"a",
      u" ",
      u"hello, world",
      u"\x01\x02\x1F\x7F\t\r\n",
      u"caf\u00E9 na\u00EFve \u00DF \u0141\u00F3d\u017A",
      u"\u3072\u3089\u304C\u306A \u30AB\u30BF\u30AB\u30CA",
      u"\u6F22\u5B57\u3068\u4EEE\u540D\u4EA4\u3058\u308A\u6587",
      u"\uD55C\uAD6D\uC5B4 \uD14C\uC2A4\uD2B8",
      u"\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC \u0420\u0443\u0441\u0441\u043A\u0438\u0439",
      u"abc \u3042\u3044\u3046 \u6F22\u5B57 \uD55C\uAD6D abc",
      u"\U0001F600\U0001F601 x \U00020000\U0002A6D6 \U0010FFFF",
      u"\uFF21\uFF22\uFF23 \uFF41 \uFFFD\uFFFF\uE000",
      u"a\u3000b\u3001c\u3002d",
      u"\u0021\uFFFF\u0021\uFFFF\u0021",
      u"\u0000inner zero"s,
      u"\U0010FFFF\u0021\U0010FFFF\u0000\U00010000"s,
  };
  // Code points at the reach of every form, seen from several starting points.
  const uint32_t leads[] = {0x41, 0x3042, 0x4E00, 0xAC00, 0xFFF0, 0x10FF80, 0x1F600};
  const int32_t diffs[] = {0,      63,      64,      10512,   10513,   187659,  187660, 500000,
                           -64,    -65,     -10513,  -10514,  -187660, -187661, -900000, 1};
  for (uint32_t lead : leads) {
    std::u16string s;
    AppendCodePoint(s, lead);
    int32_t prev = static_cast<int32_t>((lead & ~0x7Fu) + 0x40);
    if (lead >= 0x3040 && lead <= 0x309F) prev = 0x3070;
    if (lead >= 0x4E00 && lead <= 0x9FA5) prev = 0x7711;
    if (lead >= 0xAC00 && lead <= 0xD7A3) prev = 0xC1D1;
    for (int32_t d : diffs) {
      int64_t c = int64_t(prev) + d;
      if (c <= 0x20 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) continue;
      std::u16string t = s;
      AppendCodePoint(t, static_cast<uint32_t>(c));
      v.push_back(t);
    }
  }
  return v;
}

// A random code point (never a surrogate), drawn so that every form and every
// script block turns up often.
inline uint32_t RandomCodePoint(std::mt19937& rng) {
  auto in = [&](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
  uint32_t c;
  switch (in(0, 9)) {
    case 0: c = in(0x00, 0x20); break;
    case 1: c = in(0x21, 0x7F); break;
    case 2: c = in(0x80, 0x7FF); break;
    case 3: c = in(0x3040, 0x30FF); break;
    case 4: c = in(0x4E00, 0x9FFF); break;
    case 5: c = in(0xAC00, 0xD7A3); break;
    case 6: c = in(0xE000, 0xFFFF); break;
    case 7: c = in(0x10000, 0x10FFFF); break;
    case 8: c = in(0x1F300, 0x1F6FF); break;
    default: c = in(0x0, 0xFFFF); break;
  }
  if (c >= 0xD800 && c <= 0xDFFF) c = 0x20;
  return c;
}

// Runs of characters from one neighbourhood, as real text has them, around
// the places where the script ranges that keep their own prev begin and end.
inline std::u16string RandomRunsText(std::mt19937& rng, int maxRuns) {
  auto in = [&](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
  const uint32_t centres[] = {0x20, 0x41, 0x3000, 0x3040, 0x3080, 0x30A0, 0x30C0, 0x4DF0, 0x4E00, 0x7711,
                              0x9FA5, 0x9FC0, 0xABF0, 0xAC00, 0xC1D1, 0xD7A3, 0xD7C0, 0xFF80, 0x10000};
  std::u16string s;
  const int runs = static_cast<int>(in(0, static_cast<uint32_t>(maxRuns)));
  for (int r = 0; r < runs; ++r) {
    const uint32_t centre = in(0, 9) == 0 ? in(0x21, 0xFFFF) : centres[in(0, std::size(centres) - 1)];
    const uint32_t spread = in(0, 2) == 0 ? 12000 : 160;
    const int n = static_cast<int>(in(1, 24));
    for (int k = 0; k < n; ++k) {
      uint32_t c = centre + in(0, 2 * spread) - spread;
      if (c > 0x10FFFF || int64_t(centre) - int64_t(spread) + int64_t(in(0, 2 * spread)) < 0) c = in(0x21, 0x7F);
      if (in(0, 15) == 0) c = 0x20;
      if (c >= 0xD800 && c <= 0xDFFF) c = 0x20;
      AppendCodePoint(s, c);
    }
  }
  return s;
}

inline std::u16string RandomText(std::mt19937& rng, int maxChars) {
  std::u16string s;
  int n = std::uniform_int_distribution<int>(0, maxChars)(rng);
  for (int i = 0; i < n; ++i) AppendCodePoint(s, RandomCodePoint(rng));
  return s;
}

// Seed for randomised tests: fixed, or from VK_TEST_SEED when set, so that a
// printed seed reproduces a failing run.
inline uint32_t TestSeed(uint32_t fallback) {
  const char* e = std::getenv("VK_TEST_SEED");
  return e ? static_cast<uint32_t>(std::strtoul(e, nullptr, 10)) : fallback;
}

}  // namespace vk::test
