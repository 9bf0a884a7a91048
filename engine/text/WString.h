// WString: an owned, heap-held UTF-16 string. It always holds a valid
// zero-terminated text (never a null pointer), so its c_str() can be handed
// out through the interface as it is. Counted texts are taken up to their
// count or their first zero unit, whichever comes first, so a WString never
// holds an embedded zero; a null source is an empty text.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vk {

class WString {
 public:
  WString() = default;
  explicit WString(const char16_t* s) { Assign(s); }
  WString(const char16_t* s, int32_t n) { Assign(s, n); }

  void MakeEmpty() { s_.clear(); }
  void Assign(const WString& other) { s_ = other.s_; }
  // n -1: up to the terminator.
  void Assign(const char16_t* s, int32_t n = -1);
  void Append(const WString& other) { s_ += other.s_; }
  void Append(const char16_t* s, int32_t n = -1);
  // this := this + sep + b; when this is empty, this := b; when sep is empty,
  // this := this + b. An empty b still brings sep after a non-empty text.
  void AppendWithSeparator(std::u16string_view sep, std::u16string_view b);
  void AppendWithSeparator(const WString& sep, const WString& b) { AppendWithSeparator(sep.view(), b.view()); }
  // Shortens the string to `pos` units; true when it was longer.
  bool CutAt(int32_t pos);

  const char16_t* c_str() const { return s_.c_str(); }
  int32_t length() const { return static_cast<int32_t>(s_.size()); }
  bool empty() const { return s_.empty(); }
  char16_t operator[](int32_t i) const { return s_[static_cast<size_t>(i)]; }
  std::u16string_view view() const { return s_; }
  const std::u16string& str() const { return s_; }
  std::u16string& str() { return s_; }

  bool operator==(const WString& o) const { return s_ == o.s_; }
  bool operator!=(const WString& o) const { return s_ != o.s_; }

 private:
  std::u16string s_;
};

}  // namespace vk
