// Whole blocks read and written beside the one-block buffer (ReadBlockCopy,
// WriteBlockImage), straight over a FileBuf, in the UTF-8 (little-endian)
// and the UTF-16 big-endian builds: the bytes in the file, the round trip
// through a closed and reopened file, and damage. Their file faults are rows
// of the block file's fault table (BlockFileTest.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "blocks/HVokaData.h"
#include "file/ErrorCodes.h"
#include "file/FileBuf.h"
#include "format/ByteOrder.h"
#include "support/Builds.h"
#include "support/StoredWords.h"
#include "support/TempDir.h"

namespace {

using namespace vk;
using vktest::ReadAll;

constexpr int64_t kDataOffset = 256;  // zeros before the data area
constexpr int32_t kUnit = 64;

// A block with one short entry, built twice: as held in memory (every 16-bit
// quantity little-endian) and as the build's file holds it (those quantities
// in the build's file order, single bytes as they are). The two are written
// side by side, so the file form does not come from the code under test.
template <class B>
struct TwoForms {
  std::vector<uint8_t> memory, file;

  void Word16(uint16_t v) {
    uint8_t m[2], f[2];
    StoreLE16(m, v);
    Store16<B::kFileOrder>(f, v);
    memory.insert(memory.end(), m, m + 2);
    file.insert(file.end(), f, f + 2);
  }
  void Byte(uint8_t v) {
    memory.push_back(v);
    file.push_back(v);
  }
  void TextUnit(char c) {
    if (sizeof(typename B::Unit) == 1) Byte(static_cast<uint8_t>(c));
    else Word16(static_cast<uint16_t>(c));
  }

  // Headword "ab", translation "xy" (simple field area), then the end of
  // the entry list, zeros up to `units` units.
  static TwoForms Make(int32_t units, uint16_t sizeWord) {
    TwoForms t;
    const uint16_t unitBytes = sizeof(typename B::Unit);
    t.Word16(sizeWord);
    t.Word16(static_cast<uint16_t>(3 * unitBytes + 2 * unitBytes));  // tail "ab", 0 | "xy"
    t.Byte(0);                                                       // shared with the previous entry
    t.Byte(0);                                                       // attribute
    for (char c : std::string("ab")) t.TextUnit(c);
    t.TextUnit(0);
    for (char c : std::string("xy")) t.TextUnit(c);
    t.Word16(0);
    t.memory.resize(size_t(units) * kUnit, 0);
    t.file.resize(size_t(units) * kUnit, 0);
    return t;
  }
};

// A block file over one real file, as the dictionary sets it up, with its
// own error cell.
template <class B>
struct BlockFile {
  explicit BlockFile(Env* env = Env::Default()) : file(env, &error), data(&file, &error) {}

  int Create(const std::string& path) {
    if (file.Create(path) != 0) return -1;
    std::vector<uint8_t> zeros(kDataOffset, 0);
    if (file.Write(zeros.data(), static_cast<uint32_t>(zeros.size())) < 0) return -1;
    return data.SetUp(kDataOffset, kUnit, -1, 0, 0);
  }
  int Open(const std::string& path, int32_t end) {
    if (file.OpenReadWrite(path) != 0) return -1;
    return data.SetUp(kDataOffset, kUnit, -1, end, 0);
  }
  int Close() {
    int rc = data.Close();
    file.Close();
    return rc;
  }

  int32_t error = 0;
  FileBuf file;
  HVokaData<B> data;
};

template <class B>
class RawBlockTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = dir_.Path("raw.dic"); }

  // A file of three blocks of one, two and one units, the middle one
  // holding `middle`'s memory form; block 0 is left buffered.
  void MakeFile(const TwoForms<B>& middle) {
    BlockFile<B> f;
    ASSERT_EQ(f.Create(path_), 0);
    ASSERT_EQ(f.data.NewBlock(1), 0);
    ASSERT_EQ(f.data.NewBlock(2), 1);
    ASSERT_EQ(f.data.NewBlock(1), 3);
    ASSERT_EQ(f.data.WriteBlockImage(1, middle.memory.data(), middle.memory.size()), 0) << f.error;
    ASSERT_EQ(f.Close(), 0);
  }

  std::vector<uint8_t> FileBytesOfBlock(int32_t n, int32_t units) {
    auto bytes = ReadAll(path_);
    size_t at = size_t(kDataOffset + int64_t(n) * kUnit);
    EXPECT_LE(at + size_t(units) * kUnit, bytes.size());
    if (at + size_t(units) * kUnit > bytes.size()) return {};
    return std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + at + size_t(units) * kUnit);
  }

  vktest::TempDir dir_;
  std::string path_;
};

using Builds = vktest::ByteAndUnitBuilds;
TYPED_TEST_SUITE(RawBlockTest, Builds, vktest::BuildNames);

TYPED_TEST(RawBlockTest, AnImageIsStoredInTheFilesOrder) {
  auto block = TwoForms<TypeParam>::Make(2, 2);
  this->MakeFile(block);
  EXPECT_EQ(this->FileBytesOfBlock(1, 2), block.file);
  // The blocks around it keep their own size words.
  auto bytes = ReadAll(this->path_);
  EXPECT_EQ(bytes.size(), size_t(kDataOffset + 4 * kUnit));
  EXPECT_EQ(Load16<TypeParam::kFileOrder>(&bytes[kDataOffset]), 1);
  EXPECT_EQ(Load16<TypeParam::kFileOrder>(&bytes[kDataOffset + 3 * kUnit]), 1);
}

TYPED_TEST(RawBlockTest, ACopyReadsBackTheImageAfterReopening) {
  auto block = TwoForms<TypeParam>::Make(2, 2);
  this->MakeFile(block);
  BlockFile<TypeParam> f;
  ASSERT_EQ(f.Open(this->path_, 4), 0);
  std::vector<uint8_t> copy;
  ASSERT_EQ(f.data.ReadBlockCopy(1, &copy), 0) << f.error;
  EXPECT_EQ(copy, block.memory);
  // The same bytes the buffer gets when it loads the block.
  ASSERT_EQ(f.data.Load(1), 0);
  EXPECT_EQ(std::vector<uint8_t>(f.data.Buffer(), f.data.Buffer() + f.data.BufferSize()), copy);
  ASSERT_EQ(f.Close(), 0);
}

TYPED_TEST(RawBlockTest, NeitherCallTouchesTheBufferedBlock) {
  auto block = TwoForms<TypeParam>::Make(2, 2);
  this->MakeFile(block);
  BlockFile<TypeParam> f;
  ASSERT_EQ(f.Open(this->path_, 4), 0);
  ASSERT_EQ(f.data.SetDeferred(true), 1);
  ASSERT_EQ(f.data.Load(3), 0);
  f.data.Buffer()[10] = 0x77;
  ASSERT_EQ(f.data.MarkWritten(3), 0);
  const std::vector<uint8_t> held(f.data.Buffer(), f.data.Buffer() + f.data.BufferSize());

  std::vector<uint8_t> copy;
  ASSERT_EQ(f.data.ReadBlockCopy(1, &copy), 0);
  EXPECT_EQ(copy, block.memory);
  auto changed = block.memory;
  changed[kUnit + 5] = 0x42;  // past the entry list: no byte order applies
  ASSERT_EQ(f.data.WriteBlockImage(1, changed.data(), changed.size()), 0);

  EXPECT_EQ(f.data.BufferedNumber(), 3);
  EXPECT_EQ(f.data.BufferedSizeWord(), 1);
  EXPECT_EQ(std::vector<uint8_t>(f.data.Buffer(), f.data.Buffer() + f.data.BufferSize()), held);
  // The deferred block was not written by either call, and still is at the end.
  EXPECT_EQ(this->FileBytesOfBlock(3, 1)[10], 0);
  ASSERT_EQ(f.Close(), 0);
  EXPECT_EQ(this->FileBytesOfBlock(3, 1)[10], 0x77);
  auto expected = block.file;
  expected[kUnit + 5] = 0x42;
  EXPECT_EQ(this->FileBytesOfBlock(1, 2), expected);
}

TYPED_TEST(RawBlockTest, TheLongEntryFlagIsPartOfTheStoredSizeWord) {
  auto block = TwoForms<TypeParam>::Make(2, 2 | 0x8000);
  this->MakeFile(block);
  EXPECT_EQ(this->FileBytesOfBlock(1, 2)[0], block.file[0]);
  EXPECT_EQ(this->FileBytesOfBlock(1, 2)[1], block.file[1]);
  BlockFile<TypeParam> f;
  ASSERT_EQ(f.Open(this->path_, 4), 0);
  std::vector<uint8_t> copy;
  ASSERT_EQ(f.data.ReadBlockCopy(1, &copy), 0);
  EXPECT_EQ(copy.size(), size_t(2 * kUnit));
  EXPECT_EQ(LoadLE16(copy.data()), 2 | 0x8000);
}

TYPED_TEST(RawBlockTest, ACopyPastTheDataAreaIsDamage) {
  this->MakeFile(TwoForms<TypeParam>::Make(2, 2));
  BlockFile<TypeParam> f;
  ASSERT_EQ(f.Open(this->path_, 4), 0);
  // Block 3's size word claims two units where the data area has one left.
  auto tooLong = TwoForms<TypeParam>::Make(1, 2);
  ASSERT_EQ(f.data.WriteBlockImage(3, tooLong.memory.data(), tooLong.memory.size()), 0);
  std::vector<uint8_t> copy{1, 2, 3};
  f.error = 0;
  EXPECT_EQ(f.data.ReadBlockCopy(3, &copy), -1);
  EXPECT_EQ(f.error, kErrDamaged);
  EXPECT_EQ(copy, (std::vector<uint8_t>{1, 2, 3}));
  // Before the data area: the unit there reads as a free unit, but no block
  // starts at a negative number.
  f.error = 0;
  EXPECT_EQ(f.data.ReadBlockCopy(-1, &copy), -1);
  EXPECT_EQ(f.error, kErrDamaged);
  ASSERT_EQ(f.Close(), 0);
  // A data area believed shorter than the file: block 1 now ends past it.
  BlockFile<TypeParam> shorter;
  ASSERT_EQ(shorter.Open(this->path_, 2), 0);
  EXPECT_EQ(shorter.data.ReadBlockCopy(1, &copy), -1);
  EXPECT_EQ(shorter.error, kErrDamaged);
}

TYPED_TEST(RawBlockTest, ACopyOfABlockTheFileCutsShortEndsInZeros) {
  this->MakeFile(TwoForms<TypeParam>::Make(2, 2));
  // The data area is believed to reach unit 6; the file holds a size word
  // of 2 at unit 4 and nothing more.
  BlockFile<TypeParam> f;
  ASSERT_EQ(f.Open(this->path_, 6), 0);
  uint8_t word[2];
  Store16<TypeParam::kFileOrder>(word, 2);
  ASSERT_EQ(f.file.Seek(kDataOffset + 4 * kUnit), 0);
  ASSERT_EQ(f.file.Write(word, 2), 2);
  std::vector<uint8_t> copy;
  ASSERT_EQ(f.data.ReadBlockCopy(4, &copy), 0) << f.error;
  std::vector<uint8_t> expected(2 * kUnit, 0);
  expected[0] = 2;
  EXPECT_EQ(copy, expected);
}

}  // namespace
