// DualString: a text value held in UTF-8 or in UTF-16, whichever it was given
// in, that produces the other form on first demand and keeps it until the
// value is changed. The UTF-8 build hands interface arguments (UTF-16) to
// its byte-oriented internals through it, and results back.
//
// Invariant: at least one form is valid at any time (an empty value has both);
// a valid form is exactly the conversion of the other (text/Utf.h), except
// that the form given is kept as given. Conversion stops at a zero unit, so
// neither form holds an embedded zero. Not thread-safe: producing a form
// changes the cache even through a const reference.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vk {

class DualString {
 public:
  DualString() = default;
  explicit DualString(const char16_t* s, int32_t len = -1) { SetUtf16(s, len); }
  explicit DualString(const char* s, int32_t len = -1) { SetUtf8(s, len); }

  // A null source is an empty text; len -1: up to the terminator.
  void SetUtf16(const char16_t* s, int32_t len = -1);
  void SetUtf8(const char* s, int32_t len = -1);
  void SetUtf16(std::u16string_view s) { SetUtf16(s.data(), static_cast<int32_t>(s.size())); }
  void SetUtf8(std::string_view s) { SetUtf8(s.data(), static_cast<int32_t>(s.size())); }
  void Clear();

  const std::string& Utf8() const;
  const std::u16string& Utf16() const;

  // The form of a build's stored unit: char gives UTF-8, char16_t UTF-16.
  template <class Unit>
  const std::basic_string<Unit>& As() const;

  bool empty() const { return (has8_ ? u8_.empty() : u16_.empty()); }

 private:
  mutable std::string u8_;
  mutable std::u16string u16_;
  mutable bool has8_ = true;
  mutable bool has16_ = true;
};

template <>
inline const std::string& DualString::As<char>() const { return Utf8(); }
template <>
inline const std::u16string& DualString::As<char16_t>() const { return Utf16(); }

}  // namespace vk
