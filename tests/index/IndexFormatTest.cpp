// Byte-exact index areas: what Save writes for each form and byte order,
// the end marker, bytes it must leave alone, and that Load reads the same
// bytes back into the same entries.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "file/ErrorCodes.h"
#include "index/HVokaIndex.h"
#include "index/IndexTestUtil.h"

namespace vkindextest {
namespace {

constexpr uint8_t kStale = 0xEE;  // what the area held before the save

template <class B>
struct FormatCase {
  const char* what;
  int32_t areaSize;
  std::vector<std::pair<int32_t, std::basic_string<typename B::Unit>>> entries;
  Bytes written;   // entries and end marker; the rest of the area stays stale
  bool wide;       // the form the header's index_wide must record
};

Bytes Str(const char* s) { return Bytes(s, s + std::char_traits<char>::length(s)); }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Saves the case's entries over a stale area, checks the file byte for byte,
// then loads the area into a fresh index and checks the entries.
template <class B>
void CheckCase(const FormatCase<B>& c) {
  SCOPED_TRACE(std::string(B::kName) + ": " + c.what);
  ScratchFile f;
  Bytes image = FileImage(Bytes(static_cast<size_t>(c.areaSize), kStale));
  f.Create(image);
  int32_t savedUsed = 0;
  {
    vk::HVokaIndex<B> index(f.file(), &f.cell());
    ASSERT_EQ(index.SetUp(kAreaOffset, c.areaSize, 0, false, 256), 0);
    ASSERT_EQ(index.Count(), 0);
    for (size_t i = 0; i < c.entries.size(); ++i) {
      ASSERT_EQ(index.Insert(static_cast<int32_t>(i), c.entries[i].first, c.entries[i].second.c_str()), 0);
    }
    EXPECT_EQ(index.WideNeeded(), c.wide);
    ASSERT_EQ(index.Save(), 0) << "cell " << f.cell();
    EXPECT_FALSE(index.Changed());
    savedUsed = index.Used();
  }
  Bytes expected = image;
  std::copy(c.written.begin(), c.written.end(), expected.begin() + kAreaOffset);
  Bytes got = f.CloseAndRead();
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_EQ(AreaOf(got, static_cast<size_t>(c.areaSize)),
            AreaOf(expected, static_cast<size_t>(c.areaSize)));
  EXPECT_EQ(got, expected) << "bytes outside the area changed";

  f.Open();
  vk::HVokaIndex<B> back(f.file(), &f.cell());
  ASSERT_EQ(back.SetUp(kAreaOffset, c.areaSize, static_cast<int32_t>(c.entries.size()), c.wide, 256), 0);
  ASSERT_EQ(back.Count(), static_cast<int32_t>(c.entries.size()));
  for (size_t i = 0; i < c.entries.size(); ++i) {
    int32_t pos = static_cast<int32_t>(i);
    int32_t block = c.entries[i].first;
    // The narrow form, and every 16-bit area, keeps only the low half.
    if (!c.wide || sizeof(typename B::Unit) == 2) block &= 0xFFFF;
    EXPECT_EQ(back.BlockNumber(pos), block) << "entry " << i;
    EXPECT_EQ(std::basic_string<typename B::Unit>(back.Word(pos)), c.entries[i].second) << "entry " << i;
  }
  EXPECT_EQ(back.Used(), savedUsed);
  EXPECT_FALSE(back.Changed());
}

TEST(IndexFormat, ByteBuildForms) {
  using B = vk::TraitsVKCU8L;
  const std::vector<FormatCase<B>> cases = {
      {"narrow: 16-bit LE numbers, four-byte marker", 64,
       {{1, "apple"}, {0x1234, "kiwi"}},
       Cat({{0x01, 0x00}, Str("apple"), {0}, {0x34, 0x12}, Str("kiwi"), {0}, {0, 0, 0, 0}}),
       false},
      {"0xFFFF still fits the narrow form", 32,
       {{0xFFFF, "z"}},
       Cat({{0xFF, 0xFF}, Str("z"), {0}, {0, 0, 0, 0}}),
       false},
      {"wide: one number past 0xFFFF makes every entry 32-bit", 64,
       {{0x12345, "b"}, {3, "cd"}},
       Cat({{0x45, 0x23, 0x01, 0x00}, Str("b"), {0}, {0x03, 0, 0, 0}, Str("cd"), {0}, {0, 0, 0, 0}}),
       true},
      // used counts "apple" as 10 bytes though 8 are written: the marker is
      // sized by the accounting, not by what was written.
      {"marker of 2 when area - used = 2", 12,
       {{1, "apple"}},
       Cat({{0x01, 0x00}, Str("apple"), {0}, {0, 0}}),
       false},
      {"marker of 1 when area - used = 1", 11,
       {{1, "apple"}},
       Cat({{0x01, 0x00}, Str("apple"), {0}, {0}}),
       false},
      {"empty index: only the marker", 16, {}, Bytes{0, 0, 0, 0}, false},
  };
  for (const auto& c : cases) CheckCase(c);
}

TEST(IndexFormat, HighBytesAreStoredAsGiven) {
  using B = vk::TraitsVKC620;
  const std::vector<FormatCase<B>> cases = {
      {"Shift-JIS bytes, unsigned order", 32,
       {{2, "a"}, {5, "\x82\xA0"}},
       Cat({{0x02, 0x00}, Str("a"), {0}, {0x05, 0x00}, {0x82, 0xA0}, {0}, {0, 0, 0, 0}}),
       false},
  };
  for (const auto& c : cases) CheckCase(c);
}

TEST(IndexFormat, SixteenBitBuildsUseTheirFileOrder) {
  const std::vector<FormatCase<vk::TraitsVKCUB>> big = {
      {"big-endian numbers and units", 64,
       {{1, u"ab"}, {0x0203, u"\u3042"}},
       Bytes{0x00, 0x01, 0x00, 0x61, 0x00, 0x62, 0x00, 0x00,  //
             0x02, 0x03, 0x30, 0x42, 0x00, 0x00,              //
             0, 0, 0, 0},
       false},
      // Only the narrow form exists: a number past 0xFFFF keeps its low half.
      {"block past 0xFFFF keeps its low 16 bits", 32,
       {{0x10005, u"q"}},
       Bytes{0x00, 0x05, 0x00, 0x71, 0x00, 0x00, 0, 0, 0, 0},
       true},
      // used = 2*2+6 = 10: the marker is min(13 - 10, 4) = 3 bytes.
      {"marker of 3 in an odd-sized area", 13,
       {{7, u"ab"}},
       Bytes{0x00, 0x07, 0x00, 0x61, 0x00, 0x62, 0x00, 0x00, 0, 0, 0},
       false},
  };
  for (const auto& c : big) CheckCase(c);

  const std::vector<FormatCase<vk::TraitsVKCUL>> little = {
      {"little-endian numbers and units", 64,
       {{1, u"ab"}, {0x0203, u"\u3042"}},
       Bytes{0x01, 0x00, 0x61, 0x00, 0x62, 0x00, 0x00, 0x00,  //
             0x03, 0x02, 0x42, 0x30, 0x00, 0x00,              //
             0, 0, 0, 0},
       false},
  };
  for (const auto& c : little) CheckCase(c);
}

// The form comes back when the numbers come back under 0xFFFF, and Load
// reads the form the last Save wrote.
TEST(IndexFormat, NarrowFormReturnsAfterShift) {
  using B = vk::TraitsVKCU8L;
  ScratchFile f;
  f.Create(FileImage(Bytes(64, kStale)));
  vk::HVokaIndex<B> index(f.file(), &f.cell());
  ASSERT_EQ(index.SetUp(kAreaOffset, 64, 0, false, 256), 0);
  ASSERT_EQ(index.Insert(0, 0x10002, "m"), 0);
  ASSERT_EQ(index.Save(), 0);
  EXPECT_EQ(index.Load(), 1);
  EXPECT_EQ(index.BlockNumber(0), 0x10002);
  index.Shift(3);  // the area takes 3 units from the data area
  EXPECT_FALSE(index.WideNeeded());
  EXPECT_EQ(index.AreaSize(), 64 + 3 * 256);
  ASSERT_EQ(index.Save(), 0);
  EXPECT_EQ(index.Load(), 1);
  EXPECT_EQ(index.BlockNumber(0), 0xFFFF);
  Bytes got = f.CloseAndRead();
  EXPECT_EQ(AreaOf(got, 8), (Bytes{0xFF, 0xFF, 'm', 0, 0, 0, 0, 0}));
}

// A narrow area packed to the last byte is accounted at more than its size:
// nothing is added after it, and it is not rewritten in the wide form over
// the data area that follows.
TEST(IndexFormat, PackedNarrowAreaIsNeverWrittenPastItsEnd) {
  using B = vk::TraitsVKCU8L;
  Bytes area = Cat({{0x04, 0x00}, Str("abcdefg"), {0}});  // 10 bytes, used 12
  ScratchFile f;
  Bytes image = FileImage(area);
  f.Create(image);
  vk::HVokaIndex<B> index(f.file(), &f.cell());
  ASSERT_EQ(index.SetUp(kAreaOffset, 10, 1, false, 256), 0);
  ASSERT_EQ(index.Count(), 1);
  EXPECT_EQ(index.Used(), 12);
  EXPECT_EQ(index.FreeRoom(), 0);
  EXPECT_EQ(index.Insert(1, 9, "x"), -1);
  EXPECT_EQ(f.cell(), vk::kErrDictionaryFull);

  ASSERT_EQ(index.Save(), 0);
  index.SetBlockNumber(0, 0x10000);
  f.cell() = 0;
  EXPECT_EQ(index.Save(), -1);
  EXPECT_EQ(f.cell(), vk::kErrDictionaryFull);
  EXPECT_TRUE(index.Changed());
  EXPECT_EQ(f.CloseAndRead(), image);
}

}  // namespace
}  // namespace vkindextest
