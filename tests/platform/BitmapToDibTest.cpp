// The bitmap-to-DIB conversion over the graphics stand-in: the packed block
// of each depth read back byte by byte, and every failure of a step made to
// happen through an environment that fails it, with the block freed and the
// screen's palette put back each time.
#include "platform/gdi/BitmapToDib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "platform/DibTestUtil.h"
#include "platform/FaultGdi.h"

namespace vktest {
namespace {

namespace g = vk::gdi;

struct BitmapDeleter {
  void operator()(VKBitmapRec* b) const { g::DeleteObject(b); }
};
using Bitmap = std::unique_ptr<VKBitmapRec, BitmapDeleter>;
struct PaletteDeleter {
  void operator()(VKPaletteRec* p) const { g::DeleteObject(p); }
};
using Palette = std::unique_ptr<VKPaletteRec, PaletteDeleter>;

Bitmap MakeBitmap(int w, int h, unsigned planes, unsigned bits, const std::vector<uint8_t>& rows) {
  return Bitmap(g::CreateBitmap(w, h, planes, bits, rows.empty() ? nullptr : rows.data()));
}

DibBytes Read(g::HGLOBAL block) {
  DibBytes d;
  auto* p = static_cast<uint8_t*>(g::GlobalLock(block));
  d.bytes.assign(p, p + g::GlobalSize(block));
  g::GlobalUnlock(block);
  return d;
}

// The screen context as it stands between two conversions.
struct ScreenState {
  VKPaletteRec* palette;
  bool background;
  uint32_t users;
};
ScreenState Screen() {
  g::HDC dc = g::GetDC(nullptr);
  ScreenState s{dc->palette, dc->background, dc->users - 1};
  g::ReleaseDC(nullptr, dc);
  return s;
}

class BitmapToDibTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // Whatever happened, the stock palette is selected again and nobody
    // holds the screen.
    ScreenState s = Screen();
    EXPECT_EQ(s.palette, g::GetStockObject(g::DEFAULT_PALETTE));
    EXPECT_EQ(s.users, 0u);
    EXPECT_TRUE(gdi.live.empty() || gdi.live.size() == kept) << "a block was left behind";
    for (g::HGLOBAL h : gdi.live) g::GlobalFree(h);
  }

  FaultGdi gdi;
  size_t kept = 0;  // blocks the conversion rightly handed out
};

// Header, colour table and row size of each depth a device bitmap can have.
TEST_F(BitmapToDibTest, EachDepthGivesItsBitCountTableAndPaddedRows) {
  struct Case {
    unsigned planes, bits;
    int width;
    uint16_t dibBits;
    size_t tableBytes, rowBytes;
  } cases[] = {
      {1, 1, 9, 1, 8, 4},       // two entries: black and white
      {1, 1, 33, 1, 8, 8},      // 33 bits need two words
      {1, 2, 3, 4, 64, 4},      // 2 bits round up to 4
      {4, 1, 9, 4, 64, 8},      // four planes of one bit are 4 bits
      {1, 4, 3, 4, 64, 4},
      {1, 8, 5, 8, 1024, 8},
      {1, 16, 3, 24, 0, 12},    // deeper than 8: 24 bits, no table
      {1, 24, 3, 24, 0, 12},    // 9 bytes padded to 12
      {1, 32, 3, 24, 0, 12},
      {2, 8, 2, 24, 0, 8},      // planes x bits = 16
      {1, 24, 4, 24, 0, 12},    // 12 bytes need no padding
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.planes << "x" << c.bits << " bits, width " << c.width);
    const int height = 3;
    Bitmap bm = MakeBitmap(c.width, height, c.planes, c.bits, {});
    ASSERT_TRUE(bm);
    g::HGLOBAL block = g::BitmapToDib(gdi, bm.get(), nullptr);
    ASSERT_NE(block, nullptr);
    DibBytes d = Read(block);
    g::GlobalFree(block);
    gdi.live.erase(block);
    EXPECT_EQ(d.bytes.size(), 40 + c.tableBytes + c.rowBytes * height);
    EXPECT_EQ(d.Size(), 40u);
    EXPECT_EQ(d.Width(), c.width);
    EXPECT_EQ(d.Height(), height);
    EXPECT_EQ(d.Planes(), 1);
    EXPECT_EQ(d.BitCount(), c.dibBits);
    EXPECT_EQ(d.Compression(), 0u);
    EXPECT_EQ(d.SizeImage(), c.rowBytes * height);
    EXPECT_EQ(d.ClrUsed(), 0u);
    EXPECT_EQ(d.ClrImportant(), 0u);
    EXPECT_EQ(d.TableEntries() * 4, c.tableBytes);
    EXPECT_EQ(g::DibColorTableBytes(d.bytes.data()), c.tableBytes);
  }
}

TEST_F(BitmapToDibTest, OneBitPixelsAndTheBlackAndWhiteTable) {
  // 10 x 2: row 0 alternates, row 1 is white but for its last pixel.
  DeviceRows rows(10, 2, 1);
  for (int x = 0; x < 10; ++x) rows.SetIndex(x, 0, x % 2), rows.SetIndex(x, 1, x < 9);
  Bitmap bm = MakeBitmap(10, 2, 1, 1, rows.bytes);
  g::HGLOBAL block = g::BitmapToDib(gdi, bm.get(), nullptr);
  ASSERT_NE(block, nullptr);
  DibBytes d = Read(block);
  g::GlobalFree(block);
  gdi.live.clear();
  EXPECT_EQ(d.Table(0), (Colour{0, 0, 0}));
  EXPECT_EQ(d.Table(1), (Colour{255, 255, 255}));
  // Bottom-up: the block's first row is the picture's last.
  ASSERT_EQ(d.bytes.size(), 48u + 8u);
  EXPECT_EQ(std::vector<uint8_t>(d.bytes.begin() + 48, d.bytes.end()),
            std::vector<uint8_t>({0xFF, 0x80, 0, 0, 0x55, 0x40, 0, 0}));
}

// 16-, 24- and 32-bit pixels all become blue, green, red triples.
TEST_F(BitmapToDibTest, DeepPixelsBecomeTriplesBottomUp) {
  std::mt19937 random(7);
  for (unsigned depth : {16u, 24u, 32u}) {
    SCOPED_TRACE(depth);
    const int w = 5, h = 4;
    DeviceRows rows(w, h, depth);
    std::vector<Colour> want(w * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* p = rows.Row(y) + x * depth / 8;
        Colour c{uint8_t(random()), uint8_t(random()), uint8_t(random())};
        if (depth == 16) {
          uint16_t v = uint16_t((c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3 | (random() & 1) << 15);
          p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
          // Five bits widen to eight by repeating their top bits.
          auto widen = [](uint8_t v8) { return uint8_t((v8 & 0xF8) | (v8 >> 5)); };
          c = {widen(c.r), widen(c.g), widen(c.b)};
        } else {
          p[0] = c.b, p[1] = c.g, p[2] = c.r;
          if (depth == 32) p[3] = uint8_t(random());
        }
        want[y * w + x] = c;
      }
    Bitmap bm = MakeBitmap(w, h, 1, depth, rows.bytes);
    g::HGLOBAL block = g::BitmapToDib(gdi, bm.get(), nullptr);
    ASSERT_NE(block, nullptr);
    DibBytes d = Read(block);
    g::GlobalFree(block);
    gdi.live.clear();
    ASSERT_EQ(d.bytes.size(), 40u + 16u * h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) EXPECT_EQ(d.Pixel24(x, y), want[y * w + x]) << x << "," << y;
      EXPECT_EQ(d.Row(y)[15], 0) << "padding of row " << y;
    }
  }
}

// Indices of 2-, 4- and 8-bit bitmaps stay the same indices, into a table
// made from the palette given (or the stock one).
TEST_F(BitmapToDibTest, IndexedPixelsKeepTheirIndicesIntoThePalettesTable) {
  const g::PALETTEENTRY mine[3] = {{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}};
  Palette pal(g::CreatePalette(3, mine));
  std::mt19937 random(3);
  for (unsigned depth : {2u, 4u, 8u}) {
    for (bool own : {false, true}) {
      SCOPED_TRACE(::testing::Message() << depth << " bits, " << (own ? "own palette" : "stock palette"));
      const int w = 7, h = 3;
      DeviceRows rows(w, h, depth);
      std::vector<uint32_t> want(w * h);
      for (int i = 0; i < w * h; ++i) rows.SetIndex(i % w, i / w, want[i] = random() % (1u << depth));
      Bitmap bm = MakeBitmap(w, h, 1, depth, rows.bytes);
      g::HGLOBAL block = g::BitmapToDib(gdi, bm.get(), own ? pal.get() : nullptr);
      ASSERT_NE(block, nullptr);
      DibBytes d = Read(block);
      g::GlobalFree(block);
      gdi.live.clear();
      for (int i = 0; i < w * h; ++i) EXPECT_EQ(d.Index(i % w, i / w), want[i]) << i;
      size_t entries = d.TableEntries();
      ASSERT_EQ(entries, depth == 8 ? 256u : 16u);
      for (size_t i = 0; i < entries; ++i) {
        Colour c = d.Table(i);
        if (own) {
          Colour e = i < 3 ? Colour{mine[i].red, mine[i].green, mine[i].blue} : Colour{0, 0, 0};
          EXPECT_EQ(c, e) << "entry " << i;
        } else if (i >= 20) {
          EXPECT_EQ(c, (Colour{0, 0, 0})) << "entry " << i;
        }
      }
      if (!own) {
        EXPECT_EQ(d.Table(1), (Colour{128, 0, 0}));
        EXPECT_EQ(d.Table(15), (Colour{255, 255, 0}));
        if (depth == 8) {
          EXPECT_EQ(d.Table(19), (Colour{255, 255, 255}));
        }
      }
    }
  }
}

// Every row arrives, also past the 65535 that a 16-bit row count would
// reach: the rows beyond it would be left zero and the block called whole.
TEST_F(BitmapToDibTest, ATallBitmapHasEveryRow) {
  const int h = 65537;
  DeviceRows rows(1, h, 1);
  rows.SetIndex(0, 0, 1);      // the top row, last in the block
  rows.SetIndex(0, h - 1, 1);  // the bottom row, first in the block
  rows.SetIndex(0, 1, 1);
  Bitmap bm = MakeBitmap(1, h, 1, 1, rows.bytes);
  g::HGLOBAL block = g::BitmapToDib(gdi, bm.get(), nullptr);
  ASSERT_NE(block, nullptr);
  DibBytes d = Read(block);
  g::GlobalFree(block);
  gdi.live.clear();
  ASSERT_EQ(d.bytes.size(), 48u + 4u * h);
  EXPECT_EQ(d.Index(0, 0), 1u);
  EXPECT_EQ(d.Index(0, 1), 1u);
  EXPECT_EQ(d.Index(0, 2), 0u);
  EXPECT_EQ(d.Index(0, h - 1), 1u);
  EXPECT_NE(gdi.log.end(), std::find(gdi.log.begin(), gdi.log.end(), "GetDIBits(0,65537,bits)"));
}

TEST_F(BitmapToDibTest, TheStepsComeInTheirOrder) {
  Bitmap bm = MakeBitmap(3, 2, 1, 24, {});
  g::HGLOBAL block = g::BitmapToDib(gdi, bm.get(), nullptr);
  ASSERT_NE(block, nullptr);
  kept = 1;
  EXPECT_EQ(gdi.log, (std::vector<std::string>{
                         "GetObjectW", "GetStockObject(15)", "GetDC", "SelectPalette(foreground)", "RealizePalette",
                         "GlobalAlloc(40)", "GlobalLock", "GetDIBits(0,2,null)", "GlobalUnlock",
                         "GlobalReAlloc(64)", "GlobalLock", "GetDIBits(0,2,bits)", "GlobalUnlock",
                         "SelectPalette(background)", "RealizePalette", "ReleaseDC"}));
  EXPECT_EQ(g::GlobalSize(block), 64u);
}

TEST_F(BitmapToDibTest, APaletteGivenIsSelectedForTheConversionAndTakenOutAfter) {
  const g::PALETTEENTRY one[1] = {{1, 2, 3, 0}};
  Palette pal(g::CreatePalette(1, one));
  Bitmap bm = MakeBitmap(2, 2, 1, 8, {});
  g::HGLOBAL block = g::BitmapToDib(gdi, bm.get(), pal.get());
  ASSERT_NE(block, nullptr);
  kept = 1;
  EXPECT_EQ(pal->realizations, 1u);
  EXPECT_EQ(pal->selections, 0u);
  EXPECT_TRUE(Screen().background);  // put back as a background palette
  // No stock palette was asked for.
  EXPECT_EQ(gdi.log[1], "GetDC");
}

// A null or unreadable bitmap gives null before the screen is touched.
TEST_F(BitmapToDibTest, NoBitmapToReadTouchesNoDeviceContext) {
  const g::PALETTEENTRY one[1] = {{1, 2, 3, 0}};
  Palette pal(g::CreatePalette(1, one));
  g::HGLOBAL notABitmap = g::GlobalAlloc(g::GMEM_MOVEABLE, 64);
  struct Case {
    const char* what;
    void* bitmap;
    bool failGetObject;
  } cases[] = {
      {"null", nullptr, false},
      {"a palette", pal.get(), false},
      {"a global block", notABitmap, false},
      {"description unreadable", nullptr, true},
  };
  Bitmap real = MakeBitmap(2, 2, 1, 1, {});
  cases[3].bitmap = real.get();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FaultGdi env;
    env.failGetObject = c.failGetObject;
    EXPECT_EQ(g::BitmapToDib(env, static_cast<g::HBITMAP>(c.bitmap), pal.get()), nullptr);
    for (const std::string& call : env.log) EXPECT_EQ(call, "GetObjectW");
    EXPECT_EQ(pal->selections, 0u);
  }
  g::GlobalFree(notABitmap);
}

// Each failing step: null, no block left, the palette put back (TearDown).
TEST_F(BitmapToDibTest, EveryFailingStepGivesNullAndRestoresThePalette) {
  struct Case {
    const char* what;
    void (*arm)(FaultGdi&);
    const char* lastBeforeRestore;  // the last call before the palette goes back
  } cases[] = {
      {"GlobalAlloc", [](FaultGdi& e) { e.failAlloc = true; }, "GlobalAlloc(104)"},
      {"GlobalLock", [](FaultGdi& e) { e.failLock = true; }, "GlobalFree"},
      {"header GetDIBits", [](FaultGdi& e) { e.failGetDIBitsCall = 1; }, "GlobalFree"},
      {"GlobalReAlloc", [](FaultGdi& e) { e.failReAlloc = true; }, "GlobalFree"},
      {"pixel GetDIBits", [](FaultGdi& e) { e.failGetDIBitsCall = 2; }, "GlobalFree"},
  };
  Bitmap bm = MakeBitmap(4, 4, 1, 4, {});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FaultGdi env;
    c.arm(env);
    EXPECT_EQ(g::BitmapToDib(env, bm.get(), nullptr), nullptr);
    EXPECT_TRUE(env.live.empty()) << "the block is freed";
    ASSERT_GE(env.log.size(), 4u);
    EXPECT_EQ(env.log[env.log.size() - 4], c.lastBeforeRestore);
    EXPECT_EQ(env.log[env.log.size() - 3], "SelectPalette(background)");
    EXPECT_EQ(env.log[env.log.size() - 2], "RealizePalette");
    EXPECT_EQ(env.log.back(), "ReleaseDC");
    ScreenState s = Screen();
    EXPECT_EQ(s.palette, g::GetStockObject(g::DEFAULT_PALETTE));
    EXPECT_EQ(s.users, 0u);
  }
}

TEST_F(BitmapToDibTest, NoScreenOrAPaletteThatCannotBeSelectedGivesNull) {
  Bitmap bm = MakeBitmap(2, 2, 1, 8, {});
  {
    FaultGdi env;
    env.failGetDC = true;
    EXPECT_EQ(g::BitmapToDib(env, bm.get(), nullptr), nullptr);
    EXPECT_EQ(env.log.back(), "GetDC");
  }
  {
    // A bitmap handed over as the palette: nothing is selected, nothing
    // allocated, the screen is released.
    Bitmap other = MakeBitmap(1, 1, 1, 1, {});
    FaultGdi env;
    EXPECT_EQ(g::BitmapToDib(env, bm.get(), reinterpret_cast<g::HPALETTE>(other.get())), nullptr);
    EXPECT_EQ(env.log, (std::vector<std::string>{"GetObjectW", "GetDC", "SelectPalette(foreground)", "ReleaseDC"}));
  }
}

}  // namespace
}  // namespace vktest
