// HeadwordForm: a headword as the interface gives it and as the block stores
// it. VKCU8L stores UTF-8 (a surrogate pair becomes one 4-byte sequence);
// VKCUB and VKCUL store the UTF-16 units as they come; VKC620 stores the
// caller's bytes. A text ends at its first zero unit. The stored form may
// have at most 248 units (bytes in the byte builds); a longer one is refused
// with kErrWordTooLong.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "format/BuildTraits.h"

namespace vk {

template <class B>
class HeadwordForm {
 public:
  using Unit = typename B::Unit;
  using IChar = typename B::IChar;
  using Word = std::basic_string<Unit>;
  using Text = std::basic_string<IChar>;

  // 0 with *out set, or kErrWordTooLong with *out left as it was.
  static int ToStored(std::basic_string_view<IChar> s, Word* out);
  static int ToStored(const IChar* s, Word* out) {
    return ToStored(s ? std::basic_string_view<IChar>(s) : std::basic_string_view<IChar>(), out);
  }

  // The stored form of any headword, however long: for lookups and
  // comparisons only (a headword past 248 units is never stored, so it is
  // simply never found). Empty for a null word.
  static Word ToKey(const IChar* s);

  static Text ToInterface(const Unit* w, size_t len);
  static Text ToInterface(const Word& w) { return ToInterface(w.data(), w.size()); }
};

}  // namespace vk
