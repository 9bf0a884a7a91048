// Blocks built here go through a real file and back: written by the block
// file (HVokaData, which converts VKCUB blocks to big-endian), the file
// closed, reopened and each block loaded again. The loaded blocks must equal
// what was built, byte for byte, and read back the same entries; the file
// bytes of a VKCUB field code are big-endian.
#include <gtest/gtest.h>

#include "blocks/HVokaData.h"
#include "entries/BlockEntries.h"
#include "entries/EntryCursor.h"
#include "entries/EntryTestUtil.h"
#include "entries/FieldDecoder.h"
#include "file/Env.h"
#include "file/FileBuf.h"
#include "support/StoredWords.h"
#include "support/TempDir.h"

namespace vkentrytest {
namespace {

constexpr int32_t kUnit = 256;

template <class B>
struct Built {
  Bytes bytes;
  std::vector<std::u16string> words;
  std::vector<vk::Japa<B>> fields;
};

template <class B>
class FileRoundTripTest : public ::testing::Test {};
TYPED_TEST_SUITE(FileRoundTripTest, AllBuilds, BuildNames);

TYPED_TEST(FileRoundTripTest, BlocksComeBackByteForByte) {
  using B = TypeParam;
  std::vector<Built<B>> blocks;
  // Two short-entry blocks, and in the byte builds a long-entry block.
  const std::vector<std::vector<std::u16string>> groups = {
      {u"apple", u"apples", u"appl\u00E9", u"\u3042\u3044", u"\u3042\u3046"},
      {u"b", u"b\U0001F600", u"b\U0001F601", u"c"},
  };
  int k = 0;
  for (const auto& g : groups) {
    Built<B> blk;
    blk.bytes = NewBlock(2, kUnit);
    vk::BlockBuilder<B> bb(blk.bytes.data(), blk.bytes.size());
    for (const auto& w : g) {
      vk::Japa<B> j = MakeJapa<B>(static_cast<uint8_t>(0x80 | k), u"tr " + w, k % 2 ? u"ex" : u"",
                                  k % 3 ? u"" : u"pr \u30AB");
      Word<B> s = W<B>(w);
      ASSERT_TRUE(bb.Add(s.data(), s.size(), Fields<B>(j, s.size())));
      blk.words.push_back(w);
      blk.fields.push_back(j);
      ++k;
    }
    blocks.push_back(std::move(blk));
  }
  if (B::kLongEntries) {
    Built<B> blk;
    vk::Japa<B> j = MakeJapa<B>(0x8A, u"long one", u"", u"");
    j.example.assign(33000, 'e');
    Word<B> s = W<B>(u"d");
    vk::EncodedFields f = Fields<B>(j, s.size());
    ASSERT_TRUE(f.longEntry);
    size_t need = vk::EntryLayout<B>::LongBlockBytes(s.size(), f.area.size());
    blk.bytes = NewBlock(static_cast<int>((need + kUnit - 1) / kUnit), kUnit);
    vk::BlockBuilder<B> bb(blk.bytes.data(), blk.bytes.size());
    ASSERT_TRUE(bb.SetLong(s.data(), s.size(), f.attribute, f.area.data(), f.area.size()));
    blk.words.push_back(u"d");
    blk.fields.push_back(j);
    blocks.push_back(std::move(blk));
  }

  vktest::TempDir dir;
  const std::string path = dir.Path("entries.blk");
  std::vector<int32_t> numbers;
  int32_t units = 0;
  {
    int32_t err = 0;
    vk::FileBuf file(vk::Env::Default(), &err);
    ASSERT_EQ(file.Create(path), 0);
    vk::HVokaData<B> data(&file, &err);
    ASSERT_EQ(data.SetUp(0, kUnit, -1, 0, 0), 0);
    for (const Built<B>& blk : blocks) {
      int32_t n = data.NewBlock(vk::LoadLE16(blk.bytes.data()));
      ASSERT_GE(n, 0) << err;
      ASSERT_EQ(data.BufferSize(), blk.bytes.size());
      std::copy(blk.bytes.begin(), blk.bytes.end(), data.Buffer());
      ASSERT_EQ(data.MarkWritten(n), 0) << err;
      numbers.push_back(n);
      units += static_cast<int32_t>(blk.bytes.size() / kUnit);
    }
    file.Close();
  }

  const Bytes file = vktest::ReadAll(path);
  ASSERT_EQ(file.size(), size_t(units) * kUnit);
  if (B::kFileOrder == vk::Endian::Big) {
    // The first entry with an example: its code unit 0x01 is 00 01 on disk.
    vk::EntryCursor<B> c(blocks[0].bytes.data(), blocks[0].bytes.size());
    c.First();
    c.Next();  // k = 1: "apples" has an example
    const vk::EntryView& e = c.entry();
    const size_t code = e.fieldOffset + 2 * (blocks[0].fields[1].translation.size() + 1);
    ASSERT_EQ(blocks[0].bytes[code], 0x01);
    const size_t at = size_t(numbers[0]) * kUnit + code;
    EXPECT_EQ(Hex(&file[at], 2), "00 01 ");
    EXPECT_EQ(Hex(&file[size_t(numbers[0]) * kUnit], 2), "00 02 ") << "size word";
  } else {
    for (size_t b = 0; b < blocks.size(); ++b)
      EXPECT_TRUE(std::equal(blocks[b].bytes.begin(), blocks[b].bytes.end(), file.begin() + numbers[b] * kUnit));
  }

  int32_t err = 0;
  vk::FileBuf reopened(vk::Env::Default(), &err);
  ASSERT_EQ(reopened.OpenRead(path), 0);
  vk::HVokaData<B> data(&reopened, &err);
  ASSERT_EQ(data.SetUp(0, kUnit, -1, units, 0), 0);
  for (size_t b = 0; b < blocks.size(); ++b) {
    SCOPED_TRACE("block " + std::to_string(b));
    ASSERT_EQ(data.Load(numbers[b]), 0) << err;
    ASSERT_EQ(data.BufferSize(), blocks[b].bytes.size());
    EXPECT_TRUE(std::equal(blocks[b].bytes.begin(), blocks[b].bytes.end(), data.Buffer()));
    vk::EntryCursor<B> c(data.Buffer(), data.BufferSize());
    size_t i = 0;
    for (vk::WalkStatus s = c.First(); s == vk::WalkStatus::kEntry; s = c.Next(), ++i) {
      ASSERT_LT(i, blocks[b].words.size());
      EXPECT_EQ(Word<B>(c.word()), W<B>(blocks[b].words[i]));
      vk::Japa<B> j;
      ASSERT_EQ(vk::FieldDecoder<B>::Read(data.Buffer(), data.BufferSize(), c.offset(), &j), vk::WalkStatus::kEntry);
      const vk::Japa<B>& want = blocks[b].fields[i];
      EXPECT_EQ(j.attribute & ~vk::kAttrExtended, want.attribute);
      EXPECT_EQ(j.translation, want.translation);
      EXPECT_EQ(j.example, want.example.substr(0, 20000));
      EXPECT_EQ(j.pronunciation, want.pronunciation);
    }
    EXPECT_EQ(c.status(), vk::WalkStatus::kEnd);
    EXPECT_EQ(i, blocks[b].words.size());
  }
}

}  // namespace
}  // namespace vkentrytest
