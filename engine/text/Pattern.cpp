#include "text/Pattern.h"

#include <algorithm>

#include "text/CaseFold.h"
#include "text/Matcher.h"
#include "text/Utf.h"

namespace vk {

void SearchPattern::Clear(bool caseFolded) {
  u8_.clear();
  u16_.clear();
  folded_ = caseFolded;
  Finish();
}

void SearchPattern::Prepare(const char16_t* pattern, bool caseFolded) {
  u16_.assign(pattern ? pattern : u"");
  u8_ = Utf16ToUtf8(u16_);
  folded_ = caseFolded;
  Finish();
}

void SearchPattern::PrepareBytes(const char* pattern, bool caseFolded) {
  u8_.assign(pattern ? pattern : "");
  u16_ = Utf8ToUtf16(u8_);
  folded_ = caseFolded;
  Finish();
}

void SearchPattern::Finish() {
  sub8_ = std::min(Length8(), kSubstringLimit);
  sub16_ = std::min(Length16(), kSubstringLimit);
  lower8_ = u8_;
  for (char& b : lower8_) b = static_cast<char>(ToLowerByte(static_cast<uint8_t>(b)));
  lower16_ = u16_;
  for (char16_t& c : lower16_) c = ToLower(c);
  BuildShiftTable(reinterpret_cast<const uint8_t*>(u8_.data()), sub8_, shift_);
  BuildShiftTable(reinterpret_cast<const uint8_t*>(lower8_.data()), sub8_, lowerShift_);
}

}  // namespace vk
