// Helpers of the mutation tests: a dictionary object on a scratch file, texts
// in each build's interface form, and a walk over a closed dictionary file
// that checks its whole structure and hands back every entry.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "dic/DicFile.h"
#include "dic/Voka.h"
#include "entries/FieldDecoder.h"
#include "dic/Voka.h"
#include "support/BlockBuilder.h"
#include "entries/EntryCursor.h"
#include "entries/FieldEncoder.h"
#include "entries/HeadwordForm.h"
#include "format/BuildTraits.h"
#include "support/Builds.h"
#include "support/TempDir.h"
#include "text/Collation.h"

namespace vktest {


inline std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void PutFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// An ASCII text in the build's interface form.
template <class B>
std::basic_string<typename B::IChar> T(const std::string& ascii) {
  return std::basic_string<typename B::IChar>(ascii.begin(), ascii.end());
}

// A text in the build's stored headword form.
template <class B>
std::basic_string<typename B::Unit> Stored(const std::basic_string<typename B::IChar>& text) {
  std::basic_string<typename B::Unit> w;
  EXPECT_EQ(vk::HeadwordForm<B>::ToStored(text.c_str(), &w), 0);
  return w;
}

template <class B>
vk::Japa<B> Fields(const std::basic_string<typename B::IChar>& japa, const std::basic_string<typename B::IChar>& exp = {},
                   const std::basic_string<typename B::IChar>& pron = {}, uint8_t attr = 0x80) {
  vk::Japa<B> f;
  f.attribute = attr;
  f.translation = japa;
  f.example = exp;
  f.pronunciation = pron;
  return f;
}

// The attribute a stored entry carries for these fields: bit 4 is the
// encoder's.
template <class B>
uint8_t StoredAttribute(const vk::Japa<B>& f) {
  uint8_t a = static_cast<uint8_t>(f.attribute & ~vk::kAttrExtended);
  if (!f.IsSimple()) a |= vk::kAttrExtended;
  return a;
}

// A dictionary object on a file of a scratch folder.
template <class B>
class TestDic {
 public:
  using Text = std::basic_string<typename B::IChar>;

  explicit TestDic(const std::string& name = "t.dic", vk::Env* env = vk::Env::Default())
      : path_(dir_.Path(name)), env_(env) {}

  const std::string& path() const { return path_; }
  vk::Voka<B>& v() { return *voka_; }
  vk::Voka<B>& m() { return *voka_; }

  void Create() {
    voka_.reset(new vk::Voka<B>(env_));
    ASSERT_EQ(voka_->CreateDic(path_, nullptr, false), 0) << voka_->Error();
  }
  void Open(bool readOnly = false) {
    voka_.reset(new vk::Voka<B>(env_));
    ASSERT_EQ(voka_->OpenDic(path_, nullptr, readOnly), 0) << voka_->Error();
  }
  void Close() {
    if (voka_) voka_->CloseDic();
    voka_.reset();
  }
  void Reopen() {
    Close();
    Open();
  }

  int32_t Record(const Text& w, const vk::Japa<B>& f) { return voka_->RecordWord(w.c_str(), f); }
  // ASCII headword and translation.
  int32_t Rec(const std::string& w, const std::string& japa) { return Record(T<B>(w), Fields<B>(T<B>(japa))); }
  int32_t Erase(const Text& w) { return voka_->EraseWord(w.c_str()); }
  int32_t Del(const std::string& w) { return Erase(T<B>(w)); }
  int32_t Error() { return voka_->Error(); }

 private:
  TempDir dir_;
  std::string path_;
  vk::Env* env_;
  std::unique_ptr<vk::Voka<B>> voka_;
};

// One entry as the file holds it.
template <class B>
struct WalkedEntry {
  std::basic_string<typename B::IChar> word;
  vk::Japa<B> fields;
  int32_t indexPos = 0;
  bool isLong = false;
};

template <class B>
struct WalkedBlock {
  int32_t number = 0;
  int32_t units = 0;
  bool isLong = false;
  std::basic_string<typename B::Unit> indexWord;
  std::vector<uint8_t> bytes;  // as held in memory
};

// What a walk over a dictionary file found.
template <class B>
struct Walk {
  vk::DicHeader header;
  std::vector<WalkedBlock<B>> blocks;  // in index order
  std::vector<WalkedEntry<B>> entries;  // in dictionary order
  std::vector<int32_t> freeUnits;       // in chain order
  int32_t end = 0;
};

// Opens the closed dictionary at `path` read-only and checks it whole:
// every unit of the data area belongs to exactly one indexed block or is a
// link of the ascending free chain; the index is strictly ascending and
// names distinct blocks; each block begins with a full headword equal to its
// index headword, holds at least one entry, and a long-entry block exactly
// one; headwords ascend across the whole file; the header's counts agree;
// nothing follows the data area. Failures are reported to gtest.
template <class B>
void WalkFile(const std::string& path, Walk<B>* out) {
  using Unit = typename B::Unit;
  vk::DicFile<B> dic;
  ASSERT_EQ(dic.Open(path, true), 0) << "open failed with code " << dic.Error();
  out->header = dic.Header();
  vk::HVokaIndex<B>& index = dic.Index();
  vk::HVokaData<B>& data = dic.Data();
  const int32_t unit = data.UnitSize();
  const int32_t end = data.End();
  out->end = end;
  std::vector<int> owner(size_t(end), 0);
  std::basic_string<Unit> previous;
  ASSERT_EQ(dic.Header().indexCount(), index.Count());
  EXPECT_LT(index.Used(), index.AreaSize() + 1);
  for (int32_t i = 0; i < index.Count(); ++i) {
    WalkedBlock<B> blk;
    blk.number = index.BlockNumber(i);
    blk.indexWord = index.Word(i);
    if (i > 0) {
      ASSERT_LT(vk::CompareWords(out->blocks.back().indexWord.c_str(), blk.indexWord.c_str()), 0)
          << "index not ascending at " << i;
    }
    ASSERT_GE(blk.number, 0);
    ASSERT_LT(blk.number, end) << "index entry " << i << " names a block past the data area";
    ASSERT_EQ(data.Load(blk.number), 0) << "block " << blk.number << " cannot be loaded, code " << dic.Error();
    blk.units = vk::UnitsOf(data.BufferedSizeWord());
    ASSERT_NE(data.BufferedSizeWord() & 0x7FFF, 0) << "index entry " << i << " names a free unit";
    blk.isLong = vk::EntryLayout<B>::IsLongBlock(data.Buffer());
    blk.bytes.assign(data.Buffer(), data.Buffer() + data.BufferSize());
    for (int32_t u = blk.number; u < blk.number + blk.units; ++u) {
      ASSERT_LT(u, end);
      ASSERT_EQ(owner[size_t(u)], 0) << "unit " << u << " used twice";
      owner[size_t(u)] = 1;
    }
    vk::EntryCursor<B> c(blk.bytes.data(), blk.bytes.size());
    int n = 0;
    vk::WalkStatus s;
    for (s = c.First(); s == vk::WalkStatus::kEntry; s = c.Next()) {
      std::basic_string<Unit> w(c.word(), c.wordLength());
      if (n == 0) {
        EXPECT_EQ(c.entry().compression, 0);
        EXPECT_TRUE(w == blk.indexWord) << "block " << i << " does not begin with its index headword";
      }
      if (!previous.empty()) {
        ASSERT_LT(vk::CompareWords(previous.c_str(), w.c_str()), 0) << "headwords not ascending at block " << i;
      }
      previous = w;
      WalkedEntry<B> e;
      e.word = vk::HeadwordForm<B>::ToInterface(w);
      e.indexPos = i;
      e.isLong = blk.isLong;
      const vk::EntryView& v = c.entry();
      vk::FieldDecoder<B>::Decode(blk.bytes.data() + v.fieldOffset, v.fieldLength, v.attribute, v.isLong,
                                  &e.fields, vk::kWholeTexts);
      out->entries.push_back(std::move(e));
      ++n;
    }
    ASSERT_EQ(s, vk::WalkStatus::kEnd) << "block " << i << " is damaged";
    EXPECT_GT(n, 0) << "block " << i << " is empty";
    if (blk.isLong) {
      EXPECT_EQ(n, 1);
    }
    out->blocks.push_back(std::move(blk));
  }
  // The free chain, read unit by unit from the file.
  vk::FileBuf& file = dic.File();
  int32_t u = dic.Header().freeBlock();
  int32_t last = -1;
  while (u != -1) {
    ASSERT_GE(u, 0);
    ASSERT_LT(u, end) << "free chain leaves the data area";
    ASSERT_GT(u, last) << "free chain not ascending";
    ASSERT_EQ(owner[size_t(u)], 0) << "free unit " << u << " also used";
    owner[size_t(u)] = 2;
    uint8_t link[6];
    ASSERT_EQ(file.Seek(data.DataOffset() + int64_t(u) * unit), 0);
    ASSERT_EQ(file.Read(link, 6), 6);
    EXPECT_EQ(link[0] | link[1], 0) << "free unit " << u << " has a size word";
    out->freeUnits.push_back(u);
    last = u;
    u = static_cast<int32_t>(vk::LoadLE32(link + 2));
  }
  for (int32_t i = 0; i < end; ++i) EXPECT_NE(owner[size_t(i)], 0) << "unit " << i << " is neither used nor free";
  EXPECT_EQ(dic.Header().wordCount(), out->entries.size());
  EXPECT_EQ(dic.Header().blockCount(), end);
  // The file ends at the end of the last unit, or inside it when that unit
  // is free: a unit that became free before its block was ever written out
  // holds only its link.
  EXPECT_LE(file.Size(), data.DataOffset() + int64_t(end) * unit) << "bytes after the data area";
  if (end > 0) {
    EXPECT_GT(file.Size(), data.DataOffset() + int64_t(end - 1) * unit) << "the last unit is missing";
    if (file.Size() < data.DataOffset() + int64_t(end) * unit) {
      EXPECT_EQ(owner[size_t(end - 1)], 2) << "a used last unit is cut short";
    }
  }
  dic.Close();
}

// A block image built independently of the mutation code: entries added in
// order by the entry layer's builder.
template <class B>
std::vector<uint8_t> BuildBlock(int32_t units, int32_t unit,
                                const std::vector<std::pair<std::basic_string<typename B::IChar>, vk::Japa<B>>>& entries) {
  std::vector<uint8_t> block(size_t(units) * size_t(unit), 0);
  vk::StoreLE16(block.data(), static_cast<uint16_t>(units));
  vk::BlockBuilder<B> builder(block.data(), block.size());
  for (const auto& e : entries) {
    auto w = Stored<B>(e.first);
    vk::EncodedFields f;
    EXPECT_EQ(vk::FieldEncoder<B>::Encode(e.second, w.size(), unit, &f), 0);
    EXPECT_TRUE(builder.Add(w.c_str(), w.size(), f)) << "the expected block does not take its entries";
  }
  return block;
}

}  // namespace vktest
