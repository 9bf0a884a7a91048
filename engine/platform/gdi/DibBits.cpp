// GetDIBits: a device bitmap's pixels as the rows of a device-independent
// bitmap, bottom-up (or top-down for a negative height), each row padded to
// 4 bytes, converted to the asked bit count through the colour table of
// that count (Gdi.h tells which).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/gdi/Gdi.h"

namespace vk {
namespace gdi {

namespace {

struct Rgb {
  uint8_t r, g, b;
};

bool DibDepth(uint32_t bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; }

// The colours that index pixels of `depth` bits stand for, where the
// palette selected into the context is `palette` (copied under the lock).
std::vector<Rgb> IndexColours(uint32_t depth, const std::vector<VKPaletteEntry>& palette) {
  if (depth == 1) return {{0, 0, 0}, {255, 255, 255}};
  std::vector<Rgb> table(size_t(1) << depth, Rgb{0, 0, 0});
  for (size_t i = 0; i < table.size() && i < palette.size(); ++i)
    table[i] = {palette[i].red, palette[i].green, palette[i].blue};
  return table;
}

uint32_t ReadIndex(const uint8_t* row, int64_t x, uint32_t depth) {
  uint64_t bit = uint64_t(x) * depth;
  uint32_t shift = 8 - depth - uint32_t(bit % 8);
  return (row[bit / 8] >> shift) & ((1u << depth) - 1);
}

void WriteIndex(uint8_t* row, int64_t x, uint32_t depth, uint32_t index) {
  uint64_t bit = uint64_t(x) * depth;
  uint32_t shift = 8 - depth - uint32_t(bit % 8);
  uint8_t mask = uint8_t(((1u << depth) - 1) << shift);
  row[bit / 8] = uint8_t((row[bit / 8] & ~mask) | ((index << shift) & mask));
}

uint8_t Expand5(uint32_t v) { return uint8_t(v << 3 | v >> 2); }

Rgb ReadColour(const uint8_t* row, int64_t x, uint32_t depth) {
  const uint8_t* p;
  switch (depth) {
    case 16: {
      uint32_t w = uint32_t(row[2 * x]) | uint32_t(row[2 * x + 1]) << 8;
      return {Expand5(w >> 10 & 31), Expand5(w >> 5 & 31), Expand5(w & 31)};
    }
    case 24:
      p = row + 3 * x;
      return {p[2], p[1], p[0]};
    default:  // 32
      p = row + 4 * x;
      return {p[2], p[1], p[0]};
  }
}

void WriteColour(uint8_t* row, int64_t x, uint32_t depth, Rgb c) {
  uint8_t* p;
  switch (depth) {
    case 16: {
      uint32_t w = uint32_t(c.r >> 3) << 10 | uint32_t(c.g >> 3) << 5 | uint32_t(c.b >> 3);
      row[2 * x] = uint8_t(w);
      row[2 * x + 1] = uint8_t(w >> 8);
      return;
    }
    case 24:
      p = row + 3 * x;
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
      return;
    default:  // 32
      p = row + 4 * x;
      p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = 0;
  }
}

uint32_t Nearest(const std::vector<Rgb>& table, Rgb c) {
  uint32_t best = 0;
  int64_t bestDistance = INT64_MAX;
  for (size_t i = 0; i < table.size(); ++i) {
    int64_t dr = int64_t(table[i].r) - c.r, dg = int64_t(table[i].g) - c.g, db = int64_t(table[i].b) - c.b;
    int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) bestDistance = d, best = uint32_t(i);
  }
  return best;
}

}  // namespace

uint64_t DibRowBytes(uint32_t bitCount, int64_t width) {
  if (width <= 0) return 0;
  return (uint64_t(bitCount) * uint64_t(width) + 31) / 32 * 4;
}

size_t DibColorTableBytes(const void* header) {
  uint32_t size;
  std::memcpy(&size, header, sizeof size);
  uint16_t bits;
  uint32_t used = 0;
  if (size == sizeof(BITMAPCOREHEADER)) {
    std::memcpy(&bits, static_cast<const uint8_t*>(header) + 10, sizeof bits);
  } else {
    BITMAPINFOHEADER h;
    std::memcpy(&h, header, sizeof h);
    bits = h.biBitCount;
    used = h.biClrUsed;
  }
  size_t colours = used != 0 ? used : bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 256 : 0;
  return colours * (size == sizeof(BITMAPCOREHEADER) ? 3 : 4);
}

int GetDIBits(HDC dc, HBITMAP bitmap, uint32_t start, uint32_t lines, void* bits, BITMAPINFO* info, uint32_t usage) {
  if (!detail::IsDc(dc) || !detail::IsBitmap(bitmap) || !info || usage != DIB_RGB_COLORS) return 0;
  BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize != sizeof(BITMAPINFOHEADER)) return 0;
  const uint32_t source = uint32_t(bitmap->planes) * bitmap->bitsPixel;
  if (h.biBitCount == 0) {
    if (bits) return 0;
    h.biWidth = bitmap->width;
    h.biHeight = bitmap->height;
    h.biPlanes = 1;
    h.biBitCount = uint16_t(source == 2 ? 4 : source);
  }
  const uint32_t depth = h.biBitCount;
  int64_t height = h.biHeight < 0 ? -int64_t(h.biHeight) : h.biHeight;
  if (!DibDepth(depth) || h.biCompression != BI_RGB || h.biWidth != bitmap->width || height != bitmap->height)
    return 0;
  const uint64_t stride = DibRowBytes(depth, h.biWidth);
  if (stride * uint64_t(height) > 0xFFFFFFFFu) return 0;
  if (!bits) {
    h.biSizeImage = uint32_t(stride * uint64_t(height));
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    return int(height);
  }

  std::vector<VKPaletteEntry> selected;
  {
    std::lock_guard<std::mutex> hold(detail::ScreenMutex());
    const VKPaletteRec* pal = dc->palette;
    if (pal) selected.assign(pal->entries, pal->entries + pal->count);
  }
  const bool sourceIndexed = source <= 8;
  const std::vector<Rgb> sourceTable = sourceIndexed ? IndexColours(source, selected) : std::vector<Rgb>();
  const bool targetIndexed = depth <= 8;
  const std::vector<Rgb> targetTable = targetIndexed ? IndexColours(depth, selected) : std::vector<Rgb>();
  // Indices carry over where both sides read the same table: the
  // monochrome one, or the selected palette.
  const bool sameTable = sourceIndexed && targetIndexed && (source == 1) == (depth == 1);
  for (size_t i = 0; i < targetTable.size(); ++i)
    info->bmiColors[i] = RGBQUAD{targetTable[i].b, targetTable[i].g, targetTable[i].r, 0};

  if (start >= uint64_t(height)) return 0;
  uint64_t count = std::min<uint64_t>(lines, uint64_t(height) - start);
  auto* out = static_cast<uint8_t*>(bits);
  for (uint64_t n = 0; n < count; ++n) {
    // DIB row start + n; a bottom-up DIB counts its rows from the bottom.
    uint64_t dibRow = start + n;
    uint64_t y = h.biHeight < 0 ? dibRow : uint64_t(height) - 1 - dibRow;
    const uint8_t* src = bitmap->bits + y * uint64_t(bitmap->widthBytes);
    uint8_t* dst = out + n * stride;
    std::memset(dst, 0, size_t(stride));
    for (int64_t x = 0; x < h.biWidth; ++x) {
      if (sourceIndexed) {
        uint32_t index = ReadIndex(src, x, source);
        if (sameTable && index < targetTable.size())
          WriteIndex(dst, x, depth, index);
        else if (targetIndexed)
          WriteIndex(dst, x, depth, Nearest(targetTable, sourceTable[index]));
        else
          WriteColour(dst, x, depth, sourceTable[index]);
      } else {
        Rgb c = ReadColour(src, x, source);
        if (targetIndexed)
          WriteIndex(dst, x, depth, Nearest(targetTable, c));
        else
          WriteColour(dst, x, depth, c);
      }
    }
  }
  return int(count);
}

}  // namespace gdi
}  // namespace vk
