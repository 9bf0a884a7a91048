#include "text/DualString.h"

#include "text/Utf.h"

namespace vk {

void DualString::SetUtf16(const char16_t* s, int32_t len) {
  size_t n = 0;
  if (s != nullptr) {
    while ((len < 0 || n < static_cast<size_t>(len)) && s[n]) ++n;
  }
  u16_.assign(s ? s : u"", n);
  u8_.clear();
  has16_ = true;
  has8_ = n == 0;
}

void DualString::SetUtf8(const char* s, int32_t len) {
  size_t n = 0;
  if (s != nullptr) {
    while ((len < 0 || n < static_cast<size_t>(len)) && s[n]) ++n;
  }
  u8_.assign(s ? s : "", n);
  u16_.clear();
  has8_ = true;
  has16_ = n == 0;
}

void DualString::Clear() {
  u8_.clear();
  u16_.clear();
  has8_ = has16_ = true;
}

const std::string& DualString::Utf8() const {
  if (!has8_) {
    u8_ = Utf16ToUtf8(u16_);
    has8_ = true;
  }
  return u8_;
}

const std::u16string& DualString::Utf16() const {
  if (!has16_) {
    u16_ = Utf8ToUtf16(u8_);
    has16_ = true;
  }
  return u16_;
}

}  // namespace vk
