// UTF-8 <-> UTF-16 for the strings the benchmark hands to the engine's
// interface. Ill-formed input becomes U+FFFD; the bench data is well formed,
// so this only keeps a stray byte from derailing a run.
#pragma once
#include <string>

namespace vkbench {

std::u16string ToUtf16(const std::string& utf8);
std::string ToUtf8(const char16_t* utf16);  // null gives ""

}  // namespace vkbench
