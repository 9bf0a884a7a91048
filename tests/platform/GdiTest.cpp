// The graphics stand-in's own objects: global blocks (growth keeps the
// contents and zeroes what it adds when asked, a failed growth leaves the
// block whole, a locked block does not move), handles of the wrong kind
// refused, the stock palette and a selected one never freed, and GetDIBits
// on its own: header queries, a row range, top-down rows, and a depth other
// than the bitmap's through the nearest colour.
#include "platform/gdi/Gdi.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/DibTestUtil.h"

namespace vktest {
namespace {

namespace g = vk::gdi;

TEST(GlobalMemory, GrowsKeepingItsBytesAndZeroesOnlyWhenAsked) {
  g::HGLOBAL h = g::GlobalAlloc(g::GMEM_MOVEABLE | g::GMEM_ZEROINIT, 8);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(g::GlobalSize(h), 8u);
  auto* p = static_cast<uint8_t*>(g::GlobalLock(h));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(p[i], 0);
  std::memcpy(p, "abcdefgh", 8);
  // Locked twice, unlocked twice: still locked after the first.
  EXPECT_NE(g::GlobalLock(h), nullptr);
  EXPECT_TRUE(g::GlobalUnlock(h));
  // A locked block keeps its address: no move.
  EXPECT_EQ(g::GlobalReAlloc(h, 4096, g::GMEM_MOVEABLE), nullptr);
  EXPECT_FALSE(g::GlobalUnlock(h));
  EXPECT_FALSE(g::GlobalUnlock(h)) << "not locked any more";
  EXPECT_EQ(g::GlobalReAlloc(h, 4096, g::GMEM_MOVEABLE | g::GMEM_ZEROINIT), h);
  EXPECT_EQ(g::GlobalSize(h), 4096u);
  p = static_cast<uint8_t*>(g::GlobalLock(h));
  EXPECT_EQ(std::memcmp(p, "abcdefgh", 8), 0);
  for (int i = 8; i < 4096; ++i) ASSERT_EQ(p[i], 0) << i;
  g::GlobalUnlock(h);
  // Too large for a DIB's 32-bit sizes: refused, the block as it was.
  EXPECT_EQ(g::GlobalReAlloc(h, size_t(1) << 31, g::GMEM_MOVEABLE), nullptr);
  EXPECT_EQ(g::GlobalSize(h), 4096u);
  EXPECT_EQ(g::GlobalFree(h), nullptr);
  EXPECT_EQ(g::GlobalAlloc(g::GMEM_MOVEABLE, size_t(1) << 31), nullptr);
  EXPECT_EQ(g::GlobalAlloc(0x100, 8), nullptr) << "an unknown flag";
}

TEST(GdiObjects, AHandleOfAnotherKindIsRefusedEverywhere) {
  g::HBITMAP bm = g::CreateBitmap(2, 2, 1, 1, nullptr);
  g::HGLOBAL block = g::GlobalAlloc(g::GMEM_MOVEABLE, 16);
  auto* asBlock = reinterpret_cast<g::HGLOBAL>(bm);
  EXPECT_EQ(g::GlobalLock(asBlock), nullptr);
  EXPECT_EQ(g::GlobalSize(asBlock), 0u);
  EXPECT_EQ(g::GlobalFree(asBlock), asBlock);
  EXPECT_EQ(g::GlobalReAlloc(asBlock, 4, 0), nullptr);
  char out[64];
  EXPECT_EQ(g::GetObjectW(block, sizeof out, out), 0);
  EXPECT_EQ(g::GetObjectW(bm, sizeof(g::BITMAP) - 1, out), 0) << "too small for the description";
  EXPECT_FALSE(g::DeleteObject(block));
  g::HDC dc = g::GetDC(nullptr);
  EXPECT_EQ(g::SelectPalette(dc, reinterpret_cast<g::HPALETTE>(bm), false), nullptr);
  g::BITMAPINFO info = {};
  info.bmiHeader.biSize = 40;
  EXPECT_EQ(g::GetDIBits(dc, reinterpret_cast<g::HBITMAP>(block), 0, 1, nullptr, &info, 0), 0);
  EXPECT_EQ(g::ReleaseDC(nullptr, dc), 1);
  EXPECT_EQ(g::ReleaseDC(nullptr, dc), 0) << "released twice";
  int window;
  EXPECT_EQ(g::GetDC(&window), nullptr) << "there are no windows";
  EXPECT_TRUE(g::DeleteObject(bm));
  g::GlobalFree(block);
}

TEST(GdiObjects, ADescriptionAndRefusedBitmaps) {
  g::HBITMAP bm = g::CreateBitmap(33, 7, 1, 4, nullptr);
  ASSERT_NE(bm, nullptr);
  g::BITMAP d;
  ASSERT_EQ(g::GetObjectW(bm, sizeof d, &d), int(sizeof d));
  EXPECT_EQ(d.bmWidth, 33);
  EXPECT_EQ(d.bmHeight, 7);
  EXPECT_EQ(d.bmWidthBytes, 18);  // 132 bits in whole 16-bit words
  EXPECT_EQ(d.bmPlanes, 1);
  EXPECT_EQ(d.bmBitsPixel, 4);
  g::DeleteObject(bm);
  EXPECT_EQ(g::CreateBitmap(0, 1, 1, 1, nullptr), nullptr);
  EXPECT_EQ(g::CreateBitmap(1, -1, 1, 1, nullptr), nullptr);
  EXPECT_EQ(g::CreateBitmap(1, 1, 1, 3, nullptr), nullptr);
  EXPECT_EQ(g::CreateBitmap(1, 1, 0, 8, nullptr), nullptr);
  EXPECT_EQ(g::CreateBitmap(1 << 20, 1 << 12, 1, 32, nullptr), nullptr) << "16 GiB of pixels";
}

TEST(GdiObjects, TheStockPaletteAndASelectedOneAreNotFreed) {
  auto* stock = static_cast<g::HPALETTE>(g::GetStockObject(g::DEFAULT_PALETTE));
  ASSERT_NE(stock, nullptr);
  uint16_t count = 0;
  EXPECT_EQ(g::GetObjectW(stock, sizeof count, &count), 2);
  EXPECT_EQ(count, 20);
  EXPECT_FALSE(g::DeleteObject(stock));
  EXPECT_EQ(g::GetStockObject(0), nullptr) << "only the default palette is there";
  const g::PALETTEENTRY two[2] = {{1, 1, 1, 0}, {2, 2, 2, 0}};
  g::HPALETTE pal = g::CreatePalette(2, two);
  g::HDC dc = g::GetDC(nullptr);
  EXPECT_EQ(g::SelectPalette(dc, pal, false), stock);
  EXPECT_EQ(g::RealizePalette(dc), 2u);
  EXPECT_FALSE(g::DeleteObject(pal)) << "still selected";
  EXPECT_EQ(g::SelectPalette(dc, stock, true), pal);
  EXPECT_EQ(g::RealizePalette(dc), 20u);
  g::ReleaseDC(nullptr, dc);
  EXPECT_TRUE(g::DeleteObject(pal));
  EXPECT_EQ(g::CreatePalette(0, two), nullptr);
  EXPECT_EQ(g::CreatePalette(257, two), nullptr);
}

TEST(DibHeader, ColourTableBytesOfBothHeaderKinds) {
  struct Case {
    uint32_t size;
    uint16_t bits;
    uint32_t used;
    size_t bytes;
  } cases[] = {
      {40, 1, 0, 8},  {40, 4, 0, 64}, {40, 8, 0, 1024}, {40, 24, 0, 0}, {40, 16, 0, 0}, {40, 8, 20, 80},
      {40, 24, 5, 20},  // a used count stands even for a deep DIB
      {12, 1, 0, 6},  {12, 4, 0, 48}, {12, 8, 0, 768},  {12, 24, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size << "-byte header, " << c.bits << " bits, used " << c.used);
    uint8_t header[40] = {};
    std::memcpy(header, &c.size, 4);
    if (c.size == 12) {
      std::memcpy(header + 10, &c.bits, 2);
      // A core header has no used count; what lies past it is not read.
      std::memset(header + 12, 0xFF, 28);
    } else {
      std::memcpy(header + 14, &c.bits, 2);
      std::memcpy(header + 32, &c.used, 4);
    }
    EXPECT_EQ(g::DibColorTableBytes(header), c.bytes);
  }
}

// GetDIBits on its own, on one 4 x 3 24-bit bitmap whose pixel (x, y) is
// (x, y, 7) in red, green, blue.
class GetDIBitsTest : public ::testing::Test {
 protected:
  GetDIBitsTest() {
    DeviceRows rows(4, 3, 24);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) {
        uint8_t* p = rows.Row(y) + 3 * x;
        p[0] = 7, p[1] = uint8_t(y), p[2] = uint8_t(x);
      }
    bm_ = g::CreateBitmap(4, 3, 1, 24, rows.bytes.data());
    dc_ = g::GetDC(nullptr);
  }
  ~GetDIBitsTest() override {
    g::ReleaseDC(nullptr, dc_);
    g::DeleteObject(bm_);
  }
  g::BITMAPINFOHEADER Header(int32_t height, uint16_t bits) {
    g::BITMAPINFOHEADER h = {};
    h.biSize = 40;
    h.biWidth = 4;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    return h;
  }
  g::HBITMAP bm_;
  g::HDC dc_;
};

TEST_F(GetDIBitsTest, WithoutPixelsOnlyTheHeaderIsCompleted) {
  struct Info {
    g::BITMAPINFOHEADER h;
    g::RGBQUAD table[256];
  } info;
  info.h = Header(3, 8);
  info.h.biClrUsed = 99;
  std::memset(info.table, 0xAB, sizeof info.table);
  EXPECT_EQ(g::GetDIBits(dc_, bm_, 0, 3, nullptr, reinterpret_cast<g::BITMAPINFO*>(&info), 0), 3);
  EXPECT_EQ(info.h.biSizeImage, 12u);
  EXPECT_EQ(info.h.biClrUsed, 0u);
  EXPECT_EQ(info.table[0].rgbBlue, 0xAB) << "no table without pixels";
  // A bit count of 0 asks for the bitmap's own.
  g::BITMAPINFOHEADER bare = {};
  bare.biSize = 40;
  EXPECT_EQ(g::GetDIBits(dc_, bm_, 0, 3, nullptr, reinterpret_cast<g::BITMAPINFO*>(&bare), 0), 3);
  EXPECT_EQ(bare.biWidth, 4);
  EXPECT_EQ(bare.biHeight, 3);
  EXPECT_EQ(bare.biBitCount, 24);
  EXPECT_EQ(bare.biSizeImage, 36u);
}

TEST_F(GetDIBitsTest, ARangeOfRowsBottomUpOrTopDown) {
  uint8_t out[3 * 12];
  g::BITMAPINFOHEADER h = Header(3, 24);
  std::memset(out, 0xEE, sizeof out);
  // Rows 1 and 2 of a bottom-up DIB: the picture's rows 1 and 0.
  ASSERT_EQ(g::GetDIBits(dc_, bm_, 1, 5, out, reinterpret_cast<g::BITMAPINFO*>(&h), 0), 2);
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out[1], 1);  // green = y
  EXPECT_EQ(out[12 + 1], 0);
  EXPECT_EQ(out[12 + 3 * 3 + 2], 3);  // red = x
  EXPECT_EQ(out[24], 0xEE) << "nothing past the rows written";
  h = Header(-3, 24);
  ASSERT_EQ(g::GetDIBits(dc_, bm_, 0, 3, out, reinterpret_cast<g::BITMAPINFO*>(&h), 0), 3);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(out[12 * y + 1], y) << "top-down row " << y;
  EXPECT_EQ(g::GetDIBits(dc_, bm_, 3, 1, out, reinterpret_cast<g::BITMAPINFO*>(&h), 0), 0) << "past the end";
}

TEST_F(GetDIBitsTest, RefusedRequests) {
  uint8_t out[64];
  for (auto edit : {+[](g::BITMAPINFOHEADER& h) { h.biWidth = 5; }, +[](g::BITMAPINFOHEADER& h) { h.biHeight = 2; },
                    +[](g::BITMAPINFOHEADER& h) { h.biBitCount = 2; }, +[](g::BITMAPINFOHEADER& h) { h.biCompression = 1; },
                    +[](g::BITMAPINFOHEADER& h) { h.biSize = 12; }}) {
    g::BITMAPINFOHEADER h = Header(3, 24);
    edit(h);
    EXPECT_EQ(g::GetDIBits(dc_, bm_, 0, 3, out, reinterpret_cast<g::BITMAPINFO*>(&h), 0), 0);
  }
  g::BITMAPINFOHEADER h = Header(3, 24);
  EXPECT_EQ(g::GetDIBits(dc_, bm_, 0, 3, out, reinterpret_cast<g::BITMAPINFO*>(&h), 1), 0) << "palette indices";
  EXPECT_EQ(g::GetDIBits(nullptr, bm_, 0, 3, out, reinterpret_cast<g::BITMAPINFO*>(&h), 0), 0);
}

// Asked for another depth than its own, a bitmap's colours go to the nearest
// entry of the table, or to 5-5-5 and 32-bit pixels.
TEST_F(GetDIBitsTest, OtherDepthsThroughTheNearestColour) {
  const g::PALETTEENTRY two[2] = {{0, 0, 0, 0}, {0, 0, 8, 0}};
  g::HPALETTE pal = g::CreatePalette(2, two);
  g::HPALETTE before = g::SelectPalette(dc_, pal, false);
  struct {
    g::BITMAPINFOHEADER h;
    g::RGBQUAD table[256];
  } info;
  info.h = Header(-3, 8);
  uint8_t out[3 * 4];
  ASSERT_EQ(g::GetDIBits(dc_, bm_, 0, 3, out, reinterpret_cast<g::BITMAPINFO*>(&info), 0), 3);
  EXPECT_EQ(info.table[1].rgbBlue, 8);
  // (0,0,7) is nearer (0,0,8) than black; (3,2,7) too; index 2 and up are
  // black like entry 0, which wins the tie.
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[2 * 4 + 3], 1);
  g::SelectPalette(dc_, before, true);
  g::DeleteObject(pal);

  info.h = Header(-3, 32);
  uint8_t wide[3 * 16];
  ASSERT_EQ(g::GetDIBits(dc_, bm_, 0, 3, wide, reinterpret_cast<g::BITMAPINFO*>(&info), 0), 3);
  const uint8_t* p = wide + 16 * 2 + 4 * 3;
  EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{7, 2, 3, 0}));
  info.h = Header(-3, 16);
  uint8_t five[3 * 8];
  ASSERT_EQ(g::GetDIBits(dc_, bm_, 0, 3, five, reinterpret_cast<g::BITMAPINFO*>(&info), 0), 3);
  EXPECT_EQ(five[0], 0) << "7 >> 3 is 0";
}

}  // namespace
}  // namespace vktest
