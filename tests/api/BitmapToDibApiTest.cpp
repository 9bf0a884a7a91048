// VKBitmapToDIB in each engine library: bitmaps and palettes made by the
// test's own copy of the graphics layer (VokaGdi.h) are converted by the
// library's copy, and the block it answers is read and freed by the test's;
// the layer's helpers themselves stay out of every library's exports.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

#include "api/ApiTestUtil.h"
#include "api/VokaGdi.h"
#include "platform/DibTestUtil.h"

namespace vktest {
namespace {

template <class L>
class BitmapToDibApiTest : public ::testing::Test {
 public:
  BitmapToDibApiTest() : lib_(L::kName) {}

  DibBytes Convert(VKBitmap bm, VKPalette pal) {
    DibBytes d;
    VKGlobal block = lib_.BitmapToDIB(bm, pal);
    EXPECT_NE(block, nullptr);
    if (!block) return d;
    auto* p = static_cast<const uint8_t*>(VokaGlobalLock(block));
    d.bytes.assign(p, p + VokaGlobalSize(block));
    EXPECT_EQ(VokaGlobalUnlock(block), 0);
    EXPECT_EQ(VokaGlobalFree(block), nullptr);
    return d;
  }

  EngineLib<typename L::C> lib_;
};

TYPED_TEST_SUITE(BitmapToDibApiTest, AllLibraries, LibraryNames);

TYPED_TEST(BitmapToDibApiTest, DepthsTablesAndPaddedRows) {
  // A 3 x 2 24-bit bitmap: rows of 9 bytes padded to 12 in the DIB.
  DeviceRows rgb(3, 2, 24);
  for (size_t i = 0; i < rgb.bytes.size(); ++i) rgb.bytes[i] = uint8_t(i + 1);
  VKBitmap bm24 = VokaCreateBitmap(3, 2, 1, 24, rgb.bytes.data());
  DibBytes d = this->Convert(bm24, nullptr);
  ASSERT_EQ(d.bytes.size(), 40u + 24u);
  EXPECT_EQ(d.BitCount(), 24);
  EXPECT_EQ(d.SizeImage(), 24u);
  // The top row (bytes 1..9 of the bitmap) is last in the block.
  EXPECT_EQ(std::vector<uint8_t>(d.bytes.begin() + 52, d.bytes.end()),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(d.bytes.begin() + 40, d.bytes.begin() + 52),
            (std::vector<uint8_t>{11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0}));
  EXPECT_EQ(VokaDeleteObject(bm24), 1);

  // 16 and 32 bits: 24-bit DIBs without a table.
  for (uint32_t depth : {16u, 32u}) {
    VKBitmap bm = VokaCreateBitmap(3, 2, 1, depth, nullptr);
    d = this->Convert(bm, nullptr);
    EXPECT_EQ(d.BitCount(), 24) << depth;
    EXPECT_EQ(d.bytes.size(), 40u + 24u) << depth;
    VokaDeleteObject(bm);
  }

  // 1 bit: a two-entry table of 8 bytes.
  VKBitmap mono = VokaCreateBitmap(5, 1, 1, 1, nullptr);
  d = this->Convert(mono, nullptr);
  EXPECT_EQ(d.BitCount(), 1);
  ASSERT_EQ(d.bytes.size(), 40u + 8u + 4u);
  EXPECT_EQ(d.Table(0), (Colour{0, 0, 0}));
  EXPECT_EQ(d.Table(1), (Colour{255, 255, 255}));
  VokaDeleteObject(mono);
}

// The caller's palette makes the table of an 8-bit DIB; without one the
// library's own stock palette does; either way the caller's palette is
// taken out of the screen again.
TYPED_TEST(BitmapToDibApiTest, ThePaletteGivenMakesTheTableAndIsTakenOutAgain) {
  const uint8_t entries[] = {9, 8, 7, 0, 200, 100, 50, 0};
  VKPalette pal = VokaCreatePalette(2, entries);
  DeviceRows rows(4, 1, 8);
  rows.bytes = {0, 1, 255, 1};
  VKBitmap bm = VokaCreateBitmap(4, 1, 1, 8, rows.bytes.data());
  DibBytes d = this->Convert(bm, pal);
  ASSERT_EQ(d.bytes.size(), 40u + 1024u + 4u);
  EXPECT_EQ(d.Table(0), (Colour{9, 8, 7}));
  EXPECT_EQ(d.Table(1), (Colour{200, 100, 50}));
  EXPECT_EQ(d.Table(2), (Colour{0, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(d.bytes.end() - 4, d.bytes.end()), (std::vector<uint8_t>{0, 1, 255, 1}));
  EXPECT_EQ(VokaDeleteObject(pal), 1) << "a palette still selected would not be freed";
  d = this->Convert(bm, nullptr);
  ASSERT_EQ(d.bytes.size(), 40u + 1024u + 4u);
  EXPECT_EQ(d.Table(9), (Colour{166, 202, 240}));
  EXPECT_EQ(d.Table(19), (Colour{255, 255, 255}));
  VokaDeleteObject(bm);
}

TYPED_TEST(BitmapToDibApiTest, NoBitmapGivesNull) {
  const uint8_t entries[] = {1, 2, 3, 0};
  VKPalette pal = VokaCreatePalette(1, entries);
  EXPECT_EQ(this->lib_.BitmapToDIB(nullptr, nullptr), nullptr);
  EXPECT_EQ(this->lib_.BitmapToDIB(nullptr, pal), nullptr);
  // A palette handed over as the bitmap: not a bitmap to describe.
  EXPECT_EQ(this->lib_.BitmapToDIB(reinterpret_cast<VKBitmap>(pal), nullptr), nullptr);
  // A bitmap handed over as the palette: nothing to select.
  VKBitmap bm = VokaCreateBitmap(1, 1, 1, 1, nullptr);
  EXPECT_EQ(this->lib_.BitmapToDIB(bm, reinterpret_cast<VKPalette>(bm)), nullptr);
  EXPECT_EQ(VokaDeleteObject(pal), 1);
  VokaDeleteObject(bm);
}

TYPED_TEST(BitmapToDibApiTest, TheLayersHelpersAreNotExported) {
  for (const char* name : {"VokaCreateBitmap", "VokaCreatePalette", "VokaDeleteObject", "VokaGlobalLock",
                           "VokaGlobalUnlock", "VokaGlobalSize", "VokaGlobalFree"})
    EXPECT_FALSE(this->lib_.Has(name)) << name;
  EXPECT_TRUE(this->lib_.Has("VKBitmapToDIB"));
}

}  // namespace
}  // namespace vktest
