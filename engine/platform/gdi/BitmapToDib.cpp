#include "platform/gdi/BitmapToDib.h"

#include <cstring>

namespace vk {
namespace gdi {

namespace {

uint16_t DibBitCount(const BITMAP& bm) {
  uint16_t bits = uint16_t(bm.bmPlanes * bm.bmBitsPixel);
  return bits <= 1 ? 1 : bits <= 4 ? 4 : bits <= 8 ? 8 : 24;
}

// Locks the block, lets the platform complete the header in it (and, with
// `pixels`, write the colour table and every row after it), and copies the
// header back out. False when the block cannot be locked or GetDIBits fails.
bool FillBlock(Gdi& gdi, HDC dc, HBITMAP bitmap, HGLOBAL block, BITMAPINFOHEADER* header, bool pixels) {
  auto* p = static_cast<uint8_t*>(gdi.GlobalLock(block));
  if (!p) return false;
  int rows;
  if (pixels) {
    // The rows begin where the block's own header says its table ends.
    void* bits = p + sizeof(BITMAPINFOHEADER) + DibColorTableBytes(p);
    // Every row: a height past 16 bits must not leave rows unwritten.
    rows = gdi.GetDIBits(dc, bitmap, 0, uint32_t(header->biHeight), bits, reinterpret_cast<BITMAPINFO*>(p),
                         DIB_RGB_COLORS);
  } else {
    std::memcpy(p, header, sizeof *header);
    rows = gdi.GetDIBits(dc, bitmap, 0, uint32_t(header->biHeight), nullptr, reinterpret_cast<BITMAPINFO*>(p),
                         DIB_RGB_COLORS);
    std::memcpy(header, p, sizeof *header);
  }
  gdi.GlobalUnlock(block);
  return rows != 0;
}

// Allocates the header block, completes the header, grows the block to hold
// the pixels and fills it. Null on any failure, the block then freed.
HGLOBAL Pack(Gdi& gdi, HDC dc, HBITMAP bitmap, const BITMAP& bm) {
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = bm.bmWidth;
  header.biHeight = bm.bmHeight;
  header.biPlanes = 1;
  header.biBitCount = DibBitCount(bm);
  header.biCompression = BI_RGB;

  HGLOBAL block = gdi.GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof header + DibColorTableBytes(&header));
  if (!block) return nullptr;
  if (!FillBlock(gdi, dc, bitmap, block, &header, false)) {
    gdi.GlobalFree(block);
    return nullptr;
  }
  if (header.biSizeImage == 0) {
    uint64_t image = DibRowBytes(header.biBitCount, header.biWidth) * uint64_t(bm.bmHeight);
    if (image > 0xFFFFFFFFu) {
      gdi.GlobalFree(block);
      return nullptr;
    }
    header.biSizeImage = uint32_t(image);
  }
  HGLOBAL grown =
      gdi.GlobalReAlloc(block, sizeof header + DibColorTableBytes(&header) + header.biSizeImage, GMEM_MOVEABLE);
  if (!grown) {
    gdi.GlobalFree(block);
    return nullptr;
  }
  // Nobody but this function holds the block: a failed fill frees it.
  if (!FillBlock(gdi, dc, bitmap, grown, &header, true)) {
    gdi.GlobalFree(grown);
    return nullptr;
  }
  return grown;
}

}  // namespace

HGLOBAL BitmapToDib(Gdi& gdi, HBITMAP bitmap, HPALETTE palette) {
  if (!bitmap) return nullptr;
  BITMAP bm;
  if (gdi.GetObjectW(bitmap, sizeof bm, &bm) < int(sizeof bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0)
    return nullptr;
  if (!palette) palette = static_cast<HPALETTE>(gdi.GetStockObject(DEFAULT_PALETTE));
  HDC dc = gdi.GetDC(nullptr);
  if (!dc) return nullptr;
  HGLOBAL result = nullptr;
  HPALETTE before = gdi.SelectPalette(dc, palette, false);
  // A palette that cannot be selected is no palette to convert through.
  if (before) {
    gdi.RealizePalette(dc);
    result = Pack(gdi, dc, bitmap, bm);
    gdi.SelectPalette(dc, before, true);
    gdi.RealizePalette(dc);
  }
  gdi.ReleaseDC(nullptr, dc);
  return result;
}

}  // namespace gdi
}  // namespace vk
