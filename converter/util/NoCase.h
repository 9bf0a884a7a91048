// Comparison of UTF-8 text without regard to case, as the converter compares
// paths and table names.
//
// Both texts are decoded character by character and each character is
// lowered by Unicode's simple one-to-one mapping for ASCII, Latin-1, Latin
// Extended-A, Greek, Cyrillic and the full-width Latin letters; every other
// character, and every byte that is not well-formed UTF-8, stands for itself.
#pragma once
#include <string_view>

namespace vk {

char32_t LowerChar(char32_t c);
bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace vk
