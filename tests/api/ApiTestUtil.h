// Typed parameters for tests over the loaded libraries, and string helpers.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "api/EngineLib.h"
#include "format/BuildTraits.h"

namespace vktest {

struct LibU8 {
  using B = vk::TraitsVKCU8L;
  using C = char16_t;
  static constexpr const char* kName = "VKCU8L";
};
struct LibUB {
  using B = vk::TraitsVKCUB;
  using C = char16_t;
  static constexpr const char* kName = "VKCUB";
};
struct LibUL {
  using B = vk::TraitsVKCUL;
  using C = char16_t;
  static constexpr const char* kName = "VKCUL";
};
struct LibC620 {
  using B = vk::TraitsVKC620;
  using C = char;
  static constexpr const char* kName = "VKC620";
};

// The four libraries, for typed tests that name each case after its library.
using AllLibraries = ::testing::Types<LibU8, LibUB, LibUL, LibC620>;
struct LibraryNames {
  template <class L>
  static std::string GetName(int) {
    return L::kName;
  }
};

// An interface string from UTF-16 (narrow libraries take ASCII here).
template <class C>
std::basic_string<C> S(const std::u16string& s) {
  return std::basic_string<C>(s.begin(), s.end());
}

template <class C>
std::u16string U(const C* s) {
  std::u16string out;
  if (!s) return out;
  for (; *s; ++s) out.push_back(static_cast<char16_t>(static_cast<std::make_unsigned_t<C>>(*s)));
  return out;
}

inline std::string Utf8(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace vktest
