// The bytes of a data block in the file, in the UTF-8 and the UTF-16
// big-endian builds.
#include <gtest/gtest.h>

#include "api/TestDic.h"
#include "support/StoredWords.h"
#include "support/TempDir.h"

namespace {

using namespace vktest;

std::vector<uint8_t> FirstBlockStart(const std::string& path, size_t n) {
  auto bytes = ReadAll(path);
  const size_t dataStart = 256 + 8 * 256;  // header, eight index units
  return std::vector<uint8_t>(bytes.begin() + dataStart, bytes.begin() + dataStart + n);
}

TEST(FileLayout, Vkcu8lBlockIsLittleEndianWithBocu1Fields) {
  TempDir dir;
  BuildDictionary<vk::TraitsVKCU8L>(dir.Path("a.dic"), {{u"ab", u"x", u"e", u"", 0x80}}, 3);
  const std::vector<uint8_t> expected = {
      0x08, 0x00,                          // size word: 8 units
      0x09, 0x00, 0x00, 0x90,              // body length 9, count 0, attribute (bit 4 set)
      0x61, 0x62, 0x00,                    // "ab"
      0xC8, 0x00,                          // "x" in BOCU-1, terminator
      0x01, 0xB5, 0x00,                    // example "e"
      0x80,                                // end of fields
      0x00, 0x00,                          // block terminator
  };
  EXPECT_EQ(FirstBlockStart(dir.Path("a.dic"), expected.size()), expected);
}

TEST(FileLayout, VkcubBlockStoresEverySixteenBitQuantityBigEndian) {
  TempDir dir;
  BuildDictionary<vk::TraitsVKCUB>(dir.Path("b.dic"), {{u"ab", u"x", u"e", u"", 0x80}}, 3);
  const std::vector<uint8_t> expected = {
      0x00, 0x08,                          // size word
      0x00, 0x12, 0x00, 0x90,              // body length 18; count and attribute as single bytes
      0x00, 0x61, 0x00, 0x62, 0x00, 0x00,  // "ab"
      0x00, 0x78, 0x00, 0x00,              // "x"
      0x00, 0x01, 0x00, 0x65, 0x00, 0x00,  // field type unit 0x01, "e"
      0x00, 0x80,                          // end of fields
      0x00, 0x00,                          // block terminator
  };
  EXPECT_EQ(FirstBlockStart(dir.Path("b.dic"), expected.size()), expected);
}

}  // namespace
