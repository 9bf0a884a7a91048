#include "text/UnitScan.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vk {

size_t FirstZeroUnit(const char16_t* s, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= n; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const int hits = _mm_movemask_epi8(_mm_cmpeq_epi16(v, zero));
    if (hits != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(hits))) / 2;
  }
#endif
  for (; i < n; ++i)
    if (s[i] == 0) return i;
  return n;
}

// The aligned 16-byte reads may pass the terminator, never the page that
// holds it, as the C library's own string functions do; the address
// sanitizer would take the bytes past the end for an overflow.
#if defined(__SSE2__)
__attribute__((no_sanitize_address))
#endif
size_t TerminatedLength(const char16_t* s) {
  size_t i = 0;
#if defined(__SSE2__)
  // Unit by unit up to a 16-byte boundary (a text of 16-bit units starts on
  // an even address, so the boundary falls between units)...
  if (reinterpret_cast<uintptr_t>(s) % 2 == 0) {
    while (reinterpret_cast<uintptr_t>(s + i) % 16 != 0) {
      if (s[i] == 0) return i;
      ++i;
    }
    const __m128i zero = _mm_setzero_si128();
    // ... then eight units at a time from there.
    for (;; i += 8) {
      const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(s + i));
      const int hits = _mm_movemask_epi8(_mm_cmpeq_epi16(v, zero));
      if (hits != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(hits))) / 2;
    }
  }
#endif
  while (s[i] != 0) ++i;
  return i;
}

}  // namespace vk
