// Finding the zero unit that ends a text. Every registration measures each
// of its texts more than once, and translations run to hundreds of units,
// so the 16-bit scans look at eight units at a time; the 8-bit ones are the
// C library's.
#pragma once
#include <cstddef>
#include <cstring>

namespace vk {

// Index of the first zero unit of s[0, n), or n. Reads nothing past s + n.
size_t FirstZeroUnit(const char16_t* s, size_t n);
inline size_t FirstZeroUnit(const char* s, size_t n) {
  const void* z = n ? std::memchr(s, 0, n) : nullptr;
  return z ? static_cast<size_t>(static_cast<const char*>(z) - s) : n;
}

// Units before the first zero unit of the terminated text s.
size_t TerminatedLength(const char16_t* s);
inline size_t TerminatedLength(const char* s) { return std::strlen(s); }

}  // namespace vk
