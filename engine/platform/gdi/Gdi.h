// Gdi: the small in-process stand-in for the graphics objects and global
// memory that the bitmap export works on: device bitmaps, palettes with a
// stock default palette, the screen's device context, movable global memory
// blocks, and GetDIBits over them.
//
// Objects are self-describing heap records: a handle is a plain pointer to a
// record that begins with a 32-bit tag naming its kind and layout. A program
// that links this layer and loads an engine library holds two copies of the
// code (the library's is private to it), and both copies work on the same
// records because they agree on the layout, not on any table of handles.
// The tag is checked on every use, so a handle of the wrong kind, or one
// whose object was deleted while the record is still readable, is refused
// rather than misread. A tag's last byte is the layout's version: a record
// laid out differently gets another tag.
//
// Each copy has its own screen device context and its own stock palette;
// they are process-wide within that copy and guarded by one mutex.
//
// Pixels of a bitmap are kept top-down, each row padded to an even number
// of bytes (the device bitmap's own row layout), with planes x bits-per-pixel
// bits per pixel packed most significant bit first. Supported depths: 1, 2,
// 4, 8 (indices), 16 (5-5-5 RGB, little-endian word), 24 (blue, green, red)
// and 32 (blue, green, red, unused). A 1-bit bitmap is monochrome: 0 black,
// 1 white; the indices of 2-, 4- and 8-bit bitmaps name entries of the
// palette selected into the device context, an index past its end black.
//
// Colour tables that GetDIBits writes: 1 bit gives black and white; 4 and 8
// bits give 2^n entries, entry i being entry i of the selected palette and
// black past its end. The stock DEFAULT_PALETTE holds the 20 static colours
// of a system palette in their usual order.
//
// Everything sits on malloc/free, so a block one copy allocates the other
// can reallocate or free.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>

// The records behind the handles. The names match the forward declarations
// of the C interface headers.
struct VKPaletteEntry {
  uint8_t red, green, blue, flags;
};
struct VKBitmapRec {
  uint32_t tag;
  int32_t width, height;
  int32_t widthBytes;  // bytes of one row, even
  uint16_t planes, bitsPixel;
  uint8_t* bits;       // height rows of widthBytes, top row first
};
struct VKPaletteRec {
  uint32_t tag;
  uint32_t count;
  uint32_t selections;   // device contexts it is selected into
  uint32_t realizations; // times it was realised
  uint32_t stock;        // 1 for a stock palette, which is never freed
  VKPaletteEntry* entries;
};
struct VKGlobalRec {
  uint32_t tag;
  uint32_t flags;
  uint32_t locks;
  size_t size;
  uint8_t* data;
};
struct VKDcRec {
  uint32_t tag;
  uint32_t users;      // GetDC calls not yet released
  VKPaletteRec* palette;
  bool background;     // the palette was selected as a background palette
};

namespace vk {
namespace gdi {

using HGDIOBJ = void*;
using HBITMAP = VKBitmapRec*;
using HPALETTE = VKPaletteRec*;
using HGLOBAL = VKGlobalRec*;
using HDC = VKDcRec*;
using PALETTEENTRY = VKPaletteEntry;

struct BITMAP {
  int32_t bmType;
  int32_t bmWidth;
  int32_t bmHeight;
  int32_t bmWidthBytes;
  uint16_t bmPlanes;
  uint16_t bmBitsPixel;
  void* bmBits;  // always null: the pixels are the object's own
};
struct BITMAPINFOHEADER {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
struct BITMAPCOREHEADER {
  uint32_t bcSize;
  uint16_t bcWidth;
  uint16_t bcHeight;
  uint16_t bcPlanes;
  uint16_t bcBitCount;
};
struct RGBQUAD {
  uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "the information header is 40 bytes");
static_assert(sizeof(BITMAPCOREHEADER) == 12, "the core header is 12 bytes");

enum : uint32_t {
  GMEM_FIXED = 0x0000,
  GMEM_MOVEABLE = 0x0002,
  GMEM_ZEROINIT = 0x0040,
  BI_RGB = 0,
  DIB_RGB_COLORS = 0,
  GDI_ERROR = 0xFFFFFFFFu,
};
enum { DEFAULT_PALETTE = 15 };
constexpr uint32_t kStockPaletteEntries = 20;

// Objects. CreateBitmap copies `rows` (laid out as above; null gives a
// bitmap of zeros) and refuses a size of 0 or less, an unsupported depth, or
// more than 1 GiB of pixels. CreatePalette copies `count` entries (1 to
// 256). DeleteObject frees a bitmap or palette; the stock palette and a
// palette still selected into a device context stay (false).
HBITMAP CreateBitmap(int32_t width, int32_t height, uint32_t planes, uint32_t bitsPixel, const void* rows);
HPALETTE CreatePalette(uint32_t count, const PALETTEENTRY* entries);
bool DeleteObject(HGDIOBJ object);
// Writes a bitmap's BITMAP (size at least sizeof(BITMAP)) or a palette's
// entry count (a 16-bit number) and answers the bytes written; 0 for
// anything else.
int GetObjectW(HGDIOBJ object, int size, void* out);
HGDIOBJ GetStockObject(int which);

// The screen's device context: GetDC(nullptr) hands it out (null for any
// window, there being none), ReleaseDC takes it back (1, or 0 when it was
// not handed out). SelectPalette answers the palette selected before, or
// null when the context or palette is not valid; RealizePalette answers the
// entries of the selected palette, or GDI_ERROR.
HDC GetDC(void* window);
int ReleaseDC(void* window, HDC dc);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground);
uint32_t RealizePalette(HDC dc);

// Global memory. GlobalAlloc takes GMEM_MOVEABLE and GMEM_ZEROINIT and
// answers null when memory runs out. GlobalReAlloc keeps the handle, zeroes
// what it adds when asked to, and on failure answers null leaving the block
// as it was. GlobalUnlock answers whether the block is still locked;
// GlobalFree answers null when freed, else the handle.
HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes);
void* GlobalLock(HGLOBAL block);
bool GlobalUnlock(HGLOBAL block);
HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, uint32_t flags);
HGLOBAL GlobalFree(HGLOBAL block);
size_t GlobalSize(HGLOBAL block);

// Rows `start` to start+lines-1 (counted from the bottom for a bottom-up
// DIB, a positive biHeight) of the bitmap as a DIB of info's bit count
// (1, 4, 8, 16, 24 or 32; 40-byte header, BI_RGB, the bitmap's own width and
// height), through the palette selected into dc. With `bits` null only the
// header is completed: biSizeImage (rows padded to 4 bytes), biClrUsed and
// biClrImportant 0 (every colour of the bit count); a bit count of 0 first
// takes the bitmap's own depth, width and height. With `bits` the colour
// table goes to info->bmiColors and the rows to `bits`. Answers the rows
// written (with `bits` null, the bitmap's height), 0 on failure.
int GetDIBits(HDC dc, HBITMAP bitmap, uint32_t start, uint32_t lines, void* bits, BITMAPINFO* info, uint32_t usage);

// Bytes of a DIB header's colour table: colours x 4 for the 40-byte header,
// x 3 for the 12-byte core header. Colours: a 40-byte header's non-zero
// biClrUsed, else 2, 16 or 256 for 1, 4 or 8 bits, else none.
size_t DibColorTableBytes(const void* header);

namespace detail {
// Guards every screen context and palette selection count of this copy.
std::mutex& ScreenMutex();
bool IsBitmap(const void* object);
bool IsDc(const void* object);
}  // namespace detail
// Bytes of one DIB row: bits x width rounded up to 32 bits.
uint64_t DibRowBytes(uint32_t bitCount, int64_t width);

// Every operation the bitmap export performs, as one replaceable
// environment: the default answers through the functions above; a test
// derives from it to make any step fail or to watch the order of the calls.
class Gdi {
 public:
  virtual ~Gdi() = default;
  static Gdi* Default();

  virtual int GetObjectW(HGDIOBJ object, int size, void* out) { return gdi::GetObjectW(object, size, out); }
  virtual HGDIOBJ GetStockObject(int which) { return gdi::GetStockObject(which); }
  virtual HDC GetDC(void* window) { return gdi::GetDC(window); }
  virtual int ReleaseDC(void* window, HDC dc) { return gdi::ReleaseDC(window, dc); }
  virtual HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground) {
    return gdi::SelectPalette(dc, palette, forceBackground);
  }
  virtual uint32_t RealizePalette(HDC dc) { return gdi::RealizePalette(dc); }
  virtual HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes) { return gdi::GlobalAlloc(flags, bytes); }
  virtual void* GlobalLock(HGLOBAL block) { return gdi::GlobalLock(block); }
  virtual bool GlobalUnlock(HGLOBAL block) { return gdi::GlobalUnlock(block); }
  virtual HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, uint32_t flags) {
    return gdi::GlobalReAlloc(block, bytes, flags);
  }
  virtual HGLOBAL GlobalFree(HGLOBAL block) { return gdi::GlobalFree(block); }
  virtual int GetDIBits(HDC dc, HBITMAP bitmap, uint32_t start, uint32_t lines, void* bits, BITMAPINFO* info,
                        uint32_t usage) {
    return gdi::GetDIBits(dc, bitmap, start, lines, bits, info, usage);
  }
};

}  // namespace gdi
}  // namespace vk
