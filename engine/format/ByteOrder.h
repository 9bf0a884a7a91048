// Loads and stores of fixed-width integers in a stated byte order, from and to
// unaligned byte buffers. Everything the engine reads from or writes to a file
// goes through these, so the host's own byte order never leaks into a file.
#pragma once
#include <cstdint>
#include <cstring>

namespace vk {

enum class Endian { Little, Big };

inline uint16_t LoadLE16(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
inline uint16_t LoadBE16(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}
inline uint32_t LoadLE32(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}
inline uint32_t LoadBE32(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
}
inline void StoreLE16(void* p, uint16_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = uint8_t(v);
  b[1] = uint8_t(v >> 8);
}
inline void StoreBE16(void* p, uint16_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = uint8_t(v >> 8);
  b[1] = uint8_t(v);
}
inline void StoreLE32(void* p, uint32_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = uint8_t(v);
  b[1] = uint8_t(v >> 8);
  b[2] = uint8_t(v >> 16);
  b[3] = uint8_t(v >> 24);
}
inline void StoreBE32(void* p, uint32_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = uint8_t(v >> 24);
  b[1] = uint8_t(v >> 16);
  b[2] = uint8_t(v >> 8);
  b[3] = uint8_t(v);
}

template <Endian E>
inline uint16_t Load16(const void* p) {
  return E == Endian::Little ? LoadLE16(p) : LoadBE16(p);
}
template <Endian E>
inline void Store16(void* p, uint16_t v) {
  if (E == Endian::Little) StoreLE16(p, v); else StoreBE16(p, v);
}
template <Endian E>
inline uint32_t Load32(const void* p) {
  return E == Endian::Little ? LoadLE32(p) : LoadBE32(p);
}
template <Endian E>
inline void Store32(void* p, uint32_t v) {
  if (E == Endian::Little) StoreLE32(p, v); else StoreBE32(p, v);
}

// Swaps every 16-bit pair of a buffer in place (n must be even).
inline void Swap16InPlace(void* p, size_t n) {
  uint8_t* b = static_cast<uint8_t*>(p);
  for (size_t i = 0; i + 1 < n; i += 2) {
    uint8_t t = b[i];
    b[i] = b[i + 1];
    b[i + 1] = t;
  }
}

}  // namespace vk
