#include "text/WString.h"

namespace vk {

namespace {

// Units of s to take: up to n, stopping at a zero unit.
size_t CountedLength(const char16_t* s, int32_t n) {
  if (s == nullptr) return 0;
  size_t len = 0;
  if (n < 0) {
    while (s[len]) ++len;
  } else {
    while (len < static_cast<size_t>(n) && s[len]) ++len;
  }
  return len;
}

std::u16string_view UpToZero(std::u16string_view v) {
  size_t z = v.find(u'\0');
  return z == std::u16string_view::npos ? v : v.substr(0, z);
}

}  // namespace

void WString::Assign(const char16_t* s, int32_t n) { s_.assign(s ? s : u"", CountedLength(s, n)); }

void WString::Append(const char16_t* s, int32_t n) {
  if (s != nullptr) s_.append(s, CountedLength(s, n));
}

void WString::AppendWithSeparator(std::u16string_view sep, std::u16string_view b) {
  sep = UpToZero(sep);
  b = UpToZero(b);
  if (s_.empty()) {
    s_.assign(b);
    return;
  }
  s_.append(sep);
  s_.append(b);
}

bool WString::CutAt(int32_t pos) {
  if (pos < 0) pos = 0;
  if (static_cast<size_t>(pos) >= s_.size()) return false;
  s_.resize(static_cast<size_t>(pos));
  return true;
}

}  // namespace vk
