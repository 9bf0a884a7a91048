// Shared pieces of the entry tests: the builds under test, texts and
// headwords in each build's types, block buffers, and hex dumps for failure
// messages.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/BlockBuilder.h"
#include "entries/EntryLayout.h"
#include "entries/FieldEncoder.h"
#include "entries/HeadwordForm.h"
#include "entries/Japa.h"
#include "format/BuildTraits.h"
#include "support/Builds.h"
#include "text/Utf.h"

namespace vkentrytest {

using Bytes = std::vector<uint8_t>;

using vktest::AllBuilds;
using vktest::BuildNames;
using LongBuilds = vktest::ByteBuilds;

template <class B>
using Text = std::basic_string<typename B::IChar>;
template <class B>
using Word = std::basic_string<typename B::Unit>;

// An interface text of build B: UTF-16 as it is, or its UTF-8 bytes for the
// narrow build (which stores whatever bytes it is given).
template <class B>
Text<B> T(const std::u16string& s) {
  if constexpr (std::is_same_v<typename B::IChar, char16_t>) {
    return s;
  } else {
    return vk::Utf16ToUtf8(s);
  }
}

// The stored headword of an interface text (must be short enough).
template <class B>
Word<B> W(const std::u16string& s) {
  Word<B> w;
  EXPECT_EQ(vk::HeadwordForm<B>::ToStored(T<B>(s), &w), 0);
  return w;
}

template <class B>
vk::Japa<B> MakeJapa(uint8_t attr, const std::u16string& tr, const std::u16string& ex = u"",
                     const std::u16string& pr = u"") {
  vk::Japa<B> j;
  j.attribute = attr;
  j.translation = T<B>(tr);
  j.example = T<B>(ex);
  j.pronunciation = T<B>(pr);
  return j;
}

template <class B>
vk::EncodedFields Fields(const vk::Japa<B>& j, size_t wordUnits = 8, int32_t unit = 256) {
  vk::EncodedFields f;
  EXPECT_EQ(vk::FieldEncoder<B>::Encode(j, wordUnits, unit, &f), 0);
  return f;
}

// A zeroed block of `units` units of `unit` bytes, size word set.
inline Bytes NewBlock(int units, int unit = 256) {
  Bytes b(static_cast<size_t>(units) * unit, 0);
  b[0] = static_cast<uint8_t>(units);
  b[1] = static_cast<uint8_t>(units >> 8);
  return b;
}

inline std::string Hex(const uint8_t* p, size_t n) {
  std::string s;
  char buf[4];
  for (size_t i = 0; i < n; ++i) {
    snprintf(buf, sizeof buf, "%02X ", p[i]);
    s += buf;
  }
  return s;
}
inline std::string Hex(const Bytes& b) { return Hex(b.data(), b.size()); }

// Stored units as bytes in memory order (16-bit units little-endian).
template <class B>
void AppendUnits(Bytes* out, const std::basic_string<typename B::Unit>& w) {
  for (auto u : w) {
    out->push_back(static_cast<uint8_t>(u));
    if (sizeof(u) == 2) out->push_back(static_cast<uint8_t>(static_cast<uint16_t>(u) >> 8));
  }
}

}  // namespace vkentrytest
