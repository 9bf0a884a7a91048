// Builds dictionary files for tests straight through the storage and entry
// layers: the entries go into blocks of a chosen number of entries each, so
// a test knows where the block boundaries fall.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dic/DicFile.h"
#include "support/BlockBuilder.h"
#include "entries/FieldEncoder.h"
#include "entries/HeadwordForm.h"
#include "entries/Japa.h"

namespace vktest {

struct TestEntry {
  std::u16string word;
  std::u16string japa;
  std::u16string exp;
  std::u16string pron;
  uint8_t attr = 0x80;
};

template <class B>
typename vk::Japa<B>::Text ToText(const std::u16string& s) {
  if constexpr (sizeof(typename B::IChar) == 2) {
    return s;
  } else {
    return typename vk::Japa<B>::Text(s.begin(), s.end());  // ASCII only in narrow tests
  }
}

// Writes `entries` (in dictionary order of build B) into a new dictionary at
// `path`, `perBlock` entries to a block.
template <class B>
void BuildDictionary(const std::string& path, const std::vector<TestEntry>& entries, size_t perBlock) {
  vk::DicFile<B> dic;
  ASSERT_EQ(dic.Create(path, false), 0);
  ASSERT_EQ(dic.GrowIndexArea(8), 0);
  for (size_t first = 0; first < entries.size(); first += perBlock) {
    const int32_t units = 8;
    int32_t n = dic.Data().NewBlock(units);
    ASSERT_GE(n, 0) << dic.Error();
    vk::BlockBuilder<B> builder(dic.Data().Buffer(), dic.Data().BufferSize());
    std::basic_string<typename B::Unit> firstWord;
    for (size_t i = first; i < entries.size() && i < first + perBlock; ++i) {
      const TestEntry& t = entries[i];
      vk::Japa<B> japa;
      japa.attribute = t.attr;
      japa.translation = ToText<B>(t.japa);
      japa.example = ToText<B>(t.exp);
      japa.pronunciation = ToText<B>(t.pron);
      typename vk::HeadwordForm<B>::Word word;
      ASSERT_EQ(vk::HeadwordForm<B>::ToStored(ToText<B>(t.word), &word), 0);
      vk::EncodedFields fields;
      ASSERT_EQ(vk::FieldEncoder<B>::Encode(japa, word.size(), 256, &fields), 0);
      ASSERT_TRUE(builder.Add(word.data(), word.size(), fields)) << "entry " << i;
      if (i == first) firstWord = word;
    }
    ASSERT_EQ(dic.Data().MarkWritten(n), 0);
    ASSERT_EQ(dic.InsertIndex(dic.Index().Count(), n, firstWord.c_str()), 0);
  }
  dic.Data().SetWordCount(static_cast<uint32_t>(entries.size()));
  ASSERT_EQ(dic.Close(), 0);
}

}  // namespace vktest
