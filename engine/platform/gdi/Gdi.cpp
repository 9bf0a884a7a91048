// The objects of the graphics stand-in: bitmaps, palettes, the screen's
// device context and global memory (the layouts and rules are in Gdi.h).
#include "platform/gdi/Gdi.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace vk {
namespace gdi {

namespace {

constexpr uint32_t Tag(char a, char b, char c, char version) {
  return uint32_t(uint8_t(a)) << 24 | uint32_t(uint8_t(b)) << 16 | uint32_t(uint8_t(c)) << 8 | uint8_t(version);
}
constexpr uint32_t kBitmapTag = Tag('V', 'K', 'B', '1');
constexpr uint32_t kPaletteTag = Tag('V', 'K', 'P', '1');
constexpr uint32_t kGlobalTag = Tag('V', 'K', 'G', '1');
constexpr uint32_t kDcTag = Tag('V', 'K', 'D', '1');
constexpr uint32_t kDeadTag = Tag('d', 'e', 'a', 'd');

constexpr uint64_t kMaxPixelBytes = uint64_t(1) << 30;
// A block never grows past what a 32-bit size field of a DIB can describe.
constexpr size_t kMaxGlobalBytes = 0x7FFFFFFF;

uint32_t TagOf(const void* object) {
  uint32_t tag;
  std::memcpy(&tag, object, sizeof tag);
  return tag;
}

// The 20 static colours, in the order a system palette lists them.
VKPaletteEntry kStockEntries[kStockPaletteEntries] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
    {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
    {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
    {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0}};
VKPaletteRec gStockPalette = {kPaletteTag, kStockPaletteEntries, 1, 0, 1, kStockEntries};
VKDcRec gScreen = {kDcTag, 0, &gStockPalette, false};
std::mutex gScreenMutex;

bool IsBitmap(const void* p) { return p && TagOf(p) == kBitmapTag; }
bool IsPalette(const void* p) { return p && TagOf(p) == kPaletteTag; }
bool IsGlobal(const void* p) { return p && TagOf(p) == kGlobalTag; }

bool SupportedDepth(uint32_t bits) {
  return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

HBITMAP CreateBitmap(int32_t width, int32_t height, uint32_t planes, uint32_t bitsPixel, const void* rows) {
  if (width <= 0 || height <= 0 || planes == 0 || planes > 32 || bitsPixel > 32) return nullptr;
  uint32_t depth = planes * bitsPixel;
  if (!SupportedDepth(depth)) return nullptr;
  uint64_t rowBytes = (uint64_t(width) * depth + 15) / 16 * 2;
  uint64_t total = rowBytes * uint64_t(height);
  if (total > kMaxPixelBytes) return nullptr;
  auto* bm = static_cast<VKBitmapRec*>(std::malloc(sizeof(VKBitmapRec)));
  if (!bm) return nullptr;
  bm->bits = static_cast<uint8_t*>(rows ? std::malloc(size_t(total)) : std::calloc(1, size_t(total)));
  if (!bm->bits) {
    std::free(bm);
    return nullptr;
  }
  if (rows) std::memcpy(bm->bits, rows, size_t(total));
  bm->tag = kBitmapTag;
  bm->width = width;
  bm->height = height;
  bm->widthBytes = int32_t(rowBytes);
  bm->planes = uint16_t(planes);
  bm->bitsPixel = uint16_t(bitsPixel);
  return bm;
}

HPALETTE CreatePalette(uint32_t count, const PALETTEENTRY* entries) {
  if (count == 0 || count > 256 || !entries) return nullptr;
  auto* pal = static_cast<VKPaletteRec*>(std::malloc(sizeof(VKPaletteRec)));
  if (!pal) return nullptr;
  pal->entries = static_cast<VKPaletteEntry*>(std::malloc(count * sizeof(VKPaletteEntry)));
  if (!pal->entries) {
    std::free(pal);
    return nullptr;
  }
  std::memcpy(pal->entries, entries, count * sizeof(VKPaletteEntry));
  pal->tag = kPaletteTag;
  pal->count = count;
  pal->selections = 0;
  pal->realizations = 0;
  pal->stock = 0;
  return pal;
}

bool DeleteObject(HGDIOBJ object) {
  if (IsBitmap(object)) {
    auto* bm = static_cast<VKBitmapRec*>(object);
    bm->tag = kDeadTag;
    std::free(bm->bits);
    std::free(bm);
    return true;
  }
  if (IsPalette(object)) {
    auto* pal = static_cast<VKPaletteRec*>(object);
    std::lock_guard<std::mutex> hold(gScreenMutex);
    if (pal->stock || pal->selections != 0) return false;
    pal->tag = kDeadTag;
    std::free(pal->entries);
    std::free(pal);
    return true;
  }
  return false;
}

int GetObjectW(HGDIOBJ object, int size, void* out) {
  if (!out || size <= 0) return 0;
  if (IsBitmap(object)) {
    if (size_t(size) < sizeof(BITMAP)) return 0;
    const auto* bm = static_cast<const VKBitmapRec*>(object);
    BITMAP d = {0, bm->width, bm->height, bm->widthBytes, bm->planes, bm->bitsPixel, nullptr};
    std::memcpy(out, &d, sizeof d);
    return int(sizeof d);
  }
  if (IsPalette(object)) {
    if (size_t(size) < sizeof(uint16_t)) return 0;
    uint16_t count = uint16_t(static_cast<const VKPaletteRec*>(object)->count);
    std::memcpy(out, &count, sizeof count);
    return int(sizeof count);
  }
  return 0;
}

HGDIOBJ GetStockObject(int which) { return which == DEFAULT_PALETTE ? &gStockPalette : nullptr; }

HDC GetDC(void* window) {
  if (window) return nullptr;
  std::lock_guard<std::mutex> hold(gScreenMutex);
  ++gScreen.users;
  return &gScreen;
}

int ReleaseDC(void* window, HDC dc) {
  if (window || dc != &gScreen) return 0;
  std::lock_guard<std::mutex> hold(gScreenMutex);
  if (gScreen.users == 0) return 0;
  --gScreen.users;
  return 1;
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground) {
  if (dc != &gScreen || !IsPalette(palette)) return nullptr;
  std::lock_guard<std::mutex> hold(gScreenMutex);
  HPALETTE before = gScreen.palette;
  --before->selections;
  ++palette->selections;
  gScreen.palette = palette;
  gScreen.background = forceBackground;
  return before;
}

uint32_t RealizePalette(HDC dc) {
  if (dc != &gScreen) return GDI_ERROR;
  std::lock_guard<std::mutex> hold(gScreenMutex);
  ++gScreen.palette->realizations;
  return gScreen.palette->count;
}

HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes) {
  if (bytes > kMaxGlobalBytes || (flags & ~(GMEM_MOVEABLE | GMEM_ZEROINIT)) != 0) return nullptr;
  auto* block = static_cast<VKGlobalRec*>(std::malloc(sizeof(VKGlobalRec)));
  if (!block) return nullptr;
  // One byte at least, so that a block of size 0 still has an address.
  size_t room = bytes ? bytes : 1;
  block->data = static_cast<uint8_t*>((flags & GMEM_ZEROINIT) ? std::calloc(1, room) : std::malloc(room));
  if (!block->data) {
    std::free(block);
    return nullptr;
  }
  block->tag = kGlobalTag;
  block->flags = flags;
  block->locks = 0;
  block->size = bytes;
  return block;
}

void* GlobalLock(HGLOBAL block) {
  if (!IsGlobal(block)) return nullptr;
  ++block->locks;
  return block->data;
}

bool GlobalUnlock(HGLOBAL block) {
  if (!IsGlobal(block) || block->locks == 0) return false;
  return --block->locks != 0;
}

HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, uint32_t flags) {
  if (!IsGlobal(block) || bytes > kMaxGlobalBytes) return nullptr;
  // A locked block has an address someone holds: it may not move.
  if (block->locks != 0) return nullptr;
  size_t room = bytes ? bytes : 1;
  auto* data = static_cast<uint8_t*>(std::realloc(block->data, room));
  if (!data) return nullptr;
  if ((flags & GMEM_ZEROINIT) && bytes > block->size) std::memset(data + block->size, 0, bytes - block->size);
  block->data = data;
  block->size = bytes;
  return block;
}

HGLOBAL GlobalFree(HGLOBAL block) {
  if (!IsGlobal(block)) return block;
  block->tag = kDeadTag;
  std::free(block->data);
  std::free(block);
  return nullptr;
}

size_t GlobalSize(HGLOBAL block) { return IsGlobal(block) ? block->size : 0; }

Gdi* Gdi::Default() {
  static Gdi gdi;
  return &gdi;
}

namespace detail {
std::mutex& ScreenMutex() { return gScreenMutex; }
bool IsBitmap(const void* object) { return gdi::IsBitmap(object); }
bool IsDc(const void* object) { return object && TagOf(object) == kDcTag; }
}  // namespace detail

}  // namespace gdi
}  // namespace vk
