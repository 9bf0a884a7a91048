#include <gtest/gtest.h>

#include <cstring>

#include "dic/DicFile.h"
#include "format/HeaderCodec.h"
#include "support/StoredWords.h"
#include "support/TempDir.h"

namespace {

using namespace vk;
using vktest::ReadAll;
using vktest::WriteAll;

// The expected bytes of a new dictionary, spelled out field by field.
std::vector<uint8_t> Vkcu8lTemplate() {
  std::vector<uint8_t> h(256, 0);
  std::string banner = std::string(13, ' ') + "=============== Dictionary for VOKA ===============" +
                       std::string(7, ' ') + "\x81\x40" + std::string(7, ' ');
  EXPECT_EQ(banner.size(), 80u);
  std::memcpy(h.data(), banner.data(), banner.size());
  const uint8_t fields[] = {0x00, 0x05, 0xF8, 0x00, 0xB8, 0x0B, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0xFF, 0xFF};
  std::memcpy(h.data() + 140, fields, sizeof fields);
  h[165] = 0x08;
  h[166] = 0x01;
  h[167] = 0x10;
  std::memset(h.data() + 188, 0xFF, 4);
  return h;
}

std::vector<uint8_t> VkcubTemplate() {
  std::vector<uint8_t> h(256, 0);
  std::u16string banner = u"\uFEFF ======= UNICODE Dictionary for VOKA =======";
  EXPECT_EQ(banner.size(), 45u);
  for (size_t i = 0; i < banner.size(); ++i) {
    h[2 * i] = uint8_t(banner[i] >> 8);
    h[2 * i + 1] = uint8_t(banner[i]);
  }
  const uint8_t fields[] = {0x05, 0x00, 0x00, 0xF8, 0x0B, 0xB8, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF};
  std::memcpy(h.data() + 140, fields, sizeof fields);
  h[165] = 0x10;
  h[166] = 0x01;
  h[167] = 0x00;
  // free_block -1: low half FF FF, high half FF FF.
  std::memset(h.data() + 188, 0xFF, 4);
  return h;
}

template <class B>
std::vector<uint8_t> CreateAndClose(const std::string& path, bool option = false) {
  DicFile<B> dic;
  EXPECT_EQ(dic.Create(path, option), 0);
  EXPECT_EQ(dic.Close(), 0);
  return ReadAll(path);
}

TEST(HeaderTemplate, NewVkcu8lDictionaryIsExactlyTheTemplate) {
  vktest::TempDir dir;
  EXPECT_EQ(CreateAndClose<TraitsVKCU8L>(dir.Path("a.dic")), Vkcu8lTemplate());
}

TEST(HeaderTemplate, NewVkcubDictionaryIsExactlyTheTemplate) {
  vktest::TempDir dir;
  EXPECT_EQ(CreateAndClose<TraitsVKCUB>(dir.Path("a.dic")), VkcubTemplate());
}

TEST(HeaderTemplate, CreateOptionSetsBit7OfTheType) {
  vktest::TempDir dir;
  EXPECT_EQ(CreateAndClose<TraitsVKCU8L>(dir.Path("a.dic"), true)[165], 0x88);
  EXPECT_EQ(CreateAndClose<TraitsVKCUB>(dir.Path("b.dic"), true)[165], 0x90);
}

TEST(HeaderTemplate, CreateReplacesAnExistingFile) {
  vktest::TempDir dir;
  WriteAll(dir.Path("a.dic"), std::vector<uint8_t>(5000, 0x55));
  EXPECT_EQ(CreateAndClose<TraitsVKCU8L>(dir.Path("a.dic")), Vkcu8lTemplate());
}

TEST(HeaderTemplate, ReopenedUnchangedDictionaryStaysByteForByte) {
  vktest::TempDir dir;
  auto before = CreateAndClose<TraitsVKCUB>(dir.Path("a.dic"));
  DicFile<TraitsVKCUB> dic;
  ASSERT_EQ(dic.Open(dir.Path("a.dic"), false), 0);
  EXPECT_EQ(dic.Header().freeBlock(), -1);
  EXPECT_EQ(dic.Header().blockSize(), 256);
  ASSERT_EQ(dic.Close(), 0);
  EXPECT_EQ(ReadAll(dir.Path("a.dic")), before);
}

// Each build refuses the files of every other build.
template <class Writer, class Reader>
int32_t OpenCode(const std::string& path) {
  CreateAndClose<Writer>(path);
  DicFile<Reader> dic;
  if (dic.Open(path, true) == 0) return 0;
  return dic.Error();
}

TEST(HeaderCheck, EveryBuildRefusesTheOthersFiles) {
  vktest::TempDir dir;
  std::string p = dir.Path("x.dic");
  EXPECT_EQ((OpenCode<TraitsVKCU8L, TraitsVKCUB>(p)), kErrUnsupportedType);
  EXPECT_EQ((OpenCode<TraitsVKCU8L, TraitsVKC620>(p)), kErrUnsupportedType);
  EXPECT_EQ((OpenCode<TraitsVKCUB, TraitsVKCU8L>(p)), kErrUnsupportedType);
  EXPECT_EQ((OpenCode<TraitsVKCUB, TraitsVKCUL>(p)), kErrUnsupportedType);
  EXPECT_EQ((OpenCode<TraitsVKCUL, TraitsVKCUB>(p)), kErrUnsupportedType);
  EXPECT_EQ((OpenCode<TraitsVKCUL, TraitsVKCU8L>(p)), kErrUnsupportedType);
  EXPECT_EQ((OpenCode<TraitsVKC620, TraitsVKCU8L>(p)), kErrUnsupportedType);
  EXPECT_EQ((OpenCode<TraitsVKC620, TraitsVKC620>(p)), 0);
  EXPECT_EQ((OpenCode<TraitsVKCUL, TraitsVKCUL>(p)), 0);
}

struct HeaderCase {
  const char* what;
  int offset;        // byte to change in a VKCU8L template, -1 for none
  uint8_t value;
  size_t truncateTo;  // file length, 0 for unchanged
  int32_t expected;
};

TEST(HeaderCheck, RefusalCodes) {
  const HeaderCase cases[] = {
      {"empty file", -1, 0, 1, kErrNotDictionary},
      {"short header", -1, 0, 200, kErrNotDictionary},
      {"header_size 257", 150, 0x01, 0, kErrNotDictionary},
      {"header_size 0", 151, 0x00, 0, kErrNotDictionary},
      {"version 4.01", 141, 0x04, 0, kErrVersion},
      {"char_tag 0", 167, 0x00, 0, kErrUnsupportedType},
      {"type_aux 1", 164, 0x01, 0, kErrUnsupportedType},
      {"dic_type of another build with the option bit", 165, 0x90, 0, kErrUnsupportedType},
      {"block_size 0", 146, 0x00, 0, kErrDamaged},
  };
  vktest::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes = Vkcu8lTemplate();
    if (c.offset >= 0) bytes[c.offset] = c.value;
    if (c.offset == 146) bytes[147] = 0;
    if (c.truncateTo) bytes.resize(c.truncateTo - 1);
    WriteAll(dir.Path("h.dic"), bytes);
    DicFile<TraitsVKCU8L> dic;
    EXPECT_EQ(dic.Open(dir.Path("h.dic"), true), -1);
    EXPECT_EQ(dic.Error(), c.expected);
    EXPECT_FALSE(dic.IsOpen());
    EXPECT_EQ(ReadAll(dir.Path("h.dic")), bytes);
  }
}

TEST(HeaderCheck, NegativeBlockSizeIsRefused) {
  vktest::TempDir dir;
  std::vector<uint8_t> bytes = Vkcu8lTemplate();
  bytes[146] = 0x00;
  bytes[147] = 0x80;
  WriteAll(dir.Path("h.dic"), bytes);
  DicFile<TraitsVKCU8L> dic;
  EXPECT_EQ(dic.Open(dir.Path("h.dic"), false), -1);
  EXPECT_EQ(dic.Error(), kErrDamaged);
}

TEST(HeaderCodecVkcub, ThirtyTwoBitFieldsCarryNegativeAndLargeValues) {
  DicHeader h;
  HeaderCodec<TraitsVKCUB>::BuildTemplate(h, false);
  h.setWordCount(70000);
  h.setFreeBlock(-1);
  h.setIndexCount(0x12345);
  h.setBlockCount(300);
  uint8_t raw[256];
  HeaderCodec<TraitsVKCUB>::ToFile(h, raw);
  // 300 keeps the plain form: big-endian value, then two zero bytes.
  const uint8_t blockCount[] = {0x01, 0x2C, 0x00, 0x00};
  EXPECT_EQ(0, std::memcmp(raw + 196, blockCount, 4));
  const uint8_t words[] = {0x11, 0x70, 0x00, 0x01};  // 70000 = 0x11170
  EXPECT_EQ(0, std::memcmp(raw + 160, words, 4));
  DicHeader back;
  HeaderCodec<TraitsVKCUB>::FromFile(raw, back);
  EXPECT_EQ(back.wordCount(), 70000u);
  EXPECT_EQ(back.freeBlock(), -1);
  EXPECT_EQ(back.indexCount(), 0x12345);
  EXPECT_EQ(back.blockCount(), 300);
  EXPECT_EQ(0, std::memcmp(back.data(), h.data(), 256));
}

TEST(HeaderUpdate, SixteenBitCopiesAndWideFlag) {
  DicHeader h;
  HeaderCodec<TraitsVKCU8L>::BuildTemplate(h, false);
  HeaderState s{70000, 3, -1, 12, 1024, true};
  UpdateHeader(h, s);
  EXPECT_EQ(h.indexCount(), 70000);
  EXPECT_EQ(h.indexCount16(), 4464);
  // block_count16 is never below index_count16.
  EXPECT_EQ(h.blockCount16(), 4464);
  EXPECT_EQ(h.blockCount(), 3);
  EXPECT_EQ(h.freeBlock16(), -1);
  EXPECT_EQ(h.indexBlocks(), 4);
  EXPECT_EQ(h.indexWide(), 1);
  EXPECT_EQ(h.wordCount(), 12u);
  s.indexAreaBytes = 1025;
  UpdateHeader(h, s);
  EXPECT_EQ(h.indexBlocks(), 5);
}

}  // namespace
