// A packed DIB read back field by field from the bytes of its block, and
// device bitmaps laid out by the tests themselves (rows top-down, padded to
// an even number of bytes), so that the checks never lean on the layer's
// own row arithmetic.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace vktest {

inline uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

struct Colour {
  uint8_t r, g, b;
  bool operator==(const Colour& o) const { return r == o.r && g == o.g && b == o.b; }
};

// The block as its bytes say: header fields at their offsets, then the
// table and the rows.
struct DibBytes {
  std::vector<uint8_t> bytes;
  uint32_t Size() const { return Le32(&bytes[0]); }
  int32_t Width() const { return int32_t(Le32(&bytes[4])); }
  int32_t Height() const { return int32_t(Le32(&bytes[8])); }
  uint16_t Planes() const { return Le16(&bytes[12]); }
  uint16_t BitCount() const { return Le16(&bytes[14]); }
  uint32_t Compression() const { return Le32(&bytes[16]); }
  uint32_t SizeImage() const { return Le32(&bytes[20]); }
  uint32_t ClrUsed() const { return Le32(&bytes[32]); }
  uint32_t ClrImportant() const { return Le32(&bytes[36]); }
  size_t TableEntries() const {
    uint16_t bits = BitCount();
    return ClrUsed() ? ClrUsed() : bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 256 : 0;
  }
  // Table entry i: blue, green, red, 0 on disk.
  Colour Table(size_t i) const {
    const uint8_t* p = &bytes[40 + 4 * i];
    EXPECT_EQ(p[3], 0) << "entry " << i;
    return {p[2], p[1], p[0]};
  }
  size_t RowBytes() const { return (size_t(BitCount()) * size_t(Width()) + 31) / 32 * 4; }
  // Row y counted from the top of the picture (the block holds it
  // bottom-up).
  const uint8_t* Row(int y) const { return &bytes[40 + 4 * TableEntries() + RowBytes() * size_t(Height() - 1 - y)]; }
  uint32_t Index(int x, int y) const {
    unsigned bits = BitCount();
    size_t bit = size_t(x) * bits;
    return (Row(y)[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
  }
  Colour Pixel24(int x, int y) const {
    const uint8_t* p = Row(y) + 3 * x;
    return {p[2], p[1], p[0]};
  }
};

// A device bitmap's rows as a test lays them out: width x depth bits, the
// row padded to 16 bits, top row first.
struct DeviceRows {
  int width, height;
  unsigned depth;
  std::vector<uint8_t> bytes;
  DeviceRows(int w, int h, unsigned d) : width(w), height(h), depth(d), bytes(Stride(w, d) * size_t(h)) {}
  static size_t Stride(int w, unsigned d) { return (size_t(w) * d + 15) / 16 * 2; }
  uint8_t* Row(int y) { return &bytes[Stride(width, depth) * size_t(y)]; }
  void SetIndex(int x, int y, uint32_t v) {
    size_t bit = size_t(x) * depth;
    unsigned shift = 8 - depth - unsigned(bit % 8);
    uint8_t& b = Row(y)[bit / 8];
    b = uint8_t((b & ~(((1u << depth) - 1) << shift)) | (v << shift));
  }
};

}  // namespace vktest
