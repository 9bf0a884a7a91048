// Entries inside a block: the byte layout written by BlockBuilder (prefix
// compression, header, terminator; the VKCUB file bytes through BlockOrder),
// walking, locating, previous and last entry, long-entry blocks, and the
// builder's refusals.
#include <gtest/gtest.h>

#include "support/BlockBuilder.h"
#include "entries/BlockEntries.h"
#include "entries/EntryCursor.h"
#include "entries/EntryTestUtil.h"
#include "entries/FieldDecoder.h"
#include "format/BlockOrder.h"

namespace vkentrytest {
namespace {

using vk::BlockBuilder;
using vk::BlockEntries;
using vk::EntryCursor;
using vk::Found;
using vk::WalkStatus;

template <class B>
bool AddWord(BlockBuilder<B>* bb, const std::u16string& w, const vk::Japa<B>& j) {
  Word<B> s = W<B>(w);
  return bb->Add(s.data(), s.size(), Fields<B>(j, s.size()));
}

TEST(BlockLayout, Utf8EntriesByteForByte) {
  using B = vk::TraitsVKCU8L;
  Bytes block = NewBlock(1);
  BlockBuilder<B> bb(block.data(), block.size());
  ASSERT_TRUE(AddWord(&bb, u"cat", MakeJapa<B>(0x80, u"a")));
  ASSERT_TRUE(AddWord(&bb, u"catalog", MakeJapa<B>(0x81, u"")));
  ASSERT_TRUE(AddWord(&bb, u"dog", MakeJapa<B>(0x82, u"", u"", u"k")));
  EXPECT_EQ(Hex(block.data(), 37),
            "01 00 "
            "05 00 00 80 63 61 74 00 B1 "                 // whole headword, count 0
            "05 00 03 81 61 6C 6F 67 00 "                 // "alog" after the shared "cat"
            "09 00 00 92 64 6F 67 00 00 02 BB 00 80 "     // nothing shared; extended
            "00 00 00 00 ");                              // terminator, zeros
  EXPECT_EQ(bb.end(), 33u);
  EXPECT_EQ(bb.count(), 3);
  for (size_t i = 33; i < block.size(); ++i) ASSERT_EQ(block[i], 0) << i;
}

TEST(BlockLayout, Utf8CompressionMayEndInsideASequence) {
  using B = vk::TraitsVKCU8L;
  Bytes block = NewBlock(1);
  BlockBuilder<B> bb(block.data(), block.size());
  ASSERT_TRUE(AddWord(&bb, u"a\u00E9", MakeJapa<B>(0x80, u"")));  // 61 C3 A9
  ASSERT_TRUE(AddWord(&bb, u"a\u00EA", MakeJapa<B>(0x80, u"")));  // 61 C3 AA
  EXPECT_EQ(Hex(block.data() + 2, 14), "04 00 00 80 61 C3 A9 00 02 00 02 80 AA 00 ");
  EntryCursor<B> c(block.data(), block.size());
  ASSERT_EQ(c.First(), WalkStatus::kEntry);
  ASSERT_EQ(c.Next(), WalkStatus::kEntry);
  EXPECT_EQ(c.entry().compression, 2);
  EXPECT_EQ(vk::HeadwordForm<B>::ToInterface(c.word(), c.wordLength()), u"a\u00EA");
}

// VKCUB holds 16-bit quantities little-endian in memory and big-endian in
// the file; a field code unit 0x02 is the bytes 02 00 in memory, 00 02 in
// the file. Compression count and attribute are single bytes.
TEST(BlockLayout, Utf16UnitsInMemoryAndInTheFile) {
  using B = vk::TraitsVKCUB;
  Bytes block = NewBlock(1);
  BlockBuilder<B> bb(block.data(), block.size());
  ASSERT_TRUE(AddWord(&bb, u"ab", MakeJapa<B>(0x80, u"t")));
  ASSERT_TRUE(AddWord(&bb, u"ac", MakeJapa<B>(0x80, u"", u"", u"k")));
  const Bytes memory = block;
  EXPECT_EQ(Hex(block.data(), 38),
            "01 00 "
            "08 00 00 80 61 00 62 00 00 00 74 00 "
            "0E 00 01 90 63 00 00 00 00 00 02 00 6B 00 00 00 80 00 "
            "00 00 00 00 00 00 ");
  vk::BlockOrder<B>::ToFile(block.data(), block.size());
  EXPECT_EQ(Hex(block.data(), 38),
            "00 01 "
            "00 08 00 80 00 61 00 62 00 00 00 74 "
            "00 0E 01 90 00 63 00 00 00 00 00 02 00 6B 00 00 00 80 "
            "00 00 00 00 00 00 ");
  vk::BlockOrder<B>::ToMemory(block.data(), block.size());
  EXPECT_EQ(block, memory);
}

template <class B>
class BlockTest : public ::testing::Test {
 protected:
  // A one-unit block holding `words` with small fields; offsets_ gets each
  // entry's offset and then the terminator's.
  void Fill(const std::vector<std::u16string>& words) {
    block_ = NewBlock(1);
    BlockBuilder<B> bb(block_.data(), block_.size());
    offsets_.clear();
    for (const auto& w : words) {
      ASSERT_TRUE(AddWord(&bb, w, MakeJapa<B>(0x80, u"tr " + w)));
      offsets_.push_back(bb.last());
    }
    offsets_.push_back(bb.end());
  }
  Bytes block_;
  std::vector<size_t> offsets_;
};
TYPED_TEST_SUITE(BlockTest, AllBuilds, BuildNames);

TYPED_TEST(BlockTest, FirstEntryCarriesItsWholeHeadword) {
  using B = TypeParam;
  this->Fill({u"cat"});
  Bytes second = NewBlock(1);
  BlockBuilder<B> bb(second.data(), second.size());
  ASSERT_TRUE(AddWord(&bb, u"catalog", MakeJapa<B>(0x80, u"")));
  EXPECT_EQ(second[2 + 2], 0) << "count 0 in a new block, whatever came before";
  EntryCursor<B> c(second.data(), second.size());
  ASSERT_EQ(c.First(), WalkStatus::kEntry);
  EXPECT_EQ(Word<B>(c.word()), W<B>(u"catalog"));
}

TYPED_TEST(BlockTest, WalkRebuildsEveryHeadword) {
  using B = TypeParam;
  const std::vector<std::u16string> words = {u"a", u"ab", u"abc", u"abd", u"b", u"ba\u3042", u"ba\u3044",
                                             u"\U0001F600", u"\U0001F601x"};
  this->Fill(words);
  EntryCursor<B> c(this->block_.data(), this->block_.size());
  size_t i = 0;
  for (WalkStatus s = c.First(); s == WalkStatus::kEntry; s = c.Next(), ++i) {
    ASSERT_LT(i, words.size());
    EXPECT_EQ(Word<B>(c.word(), c.wordLength()), W<B>(words[i]));
    EXPECT_EQ(c.offset(), this->offsets_[i]);
    vk::Japa<B> j;
    ASSERT_EQ(vk::FieldDecoder<B>::Read(this->block_.data(), this->block_.size(), c.offset(), &j), WalkStatus::kEntry);
    EXPECT_EQ(j.translation, T<B>(u"tr " + words[i]));
  }
  EXPECT_EQ(c.status(), WalkStatus::kEnd);
  EXPECT_EQ(c.offset(), this->offsets_.back());
  EXPECT_EQ(Word<B>(c.word()), W<B>(words.back())) << "the last headword stays at the end";
  EXPECT_EQ(BlockEntries<B>::Count(this->block_.data(), this->block_.size()), int64_t(words.size()));

  // Resuming at a kept position goes on as the walk did.
  EntryCursor<B> r(this->block_.data(), this->block_.size());
  Word<B> w = W<B>(words[3]);
  ASSERT_EQ(r.ResumeAt(this->offsets_[3], w.data(), w.size()), WalkStatus::kEntry);
  EXPECT_EQ(Word<B>(r.word()), w);
  ASSERT_EQ(r.Next(), WalkStatus::kEntry);
  EXPECT_EQ(Word<B>(r.word()), W<B>(words[4]));
}

TYPED_TEST(BlockTest, LocateTable) {
  using B = TypeParam;
  this->Fill({u"b", u"d", u"dd", u"f"});
  const struct {
    std::u16string key;
    Found found;
    size_t at;  // index into offsets_ (4: the terminator)
    std::u16string before, here;
  } cases[] = {
      {u"", Found::kYes, 0, u"", u"b"},       {u"a", Found::kYes, 0, u"", u"b"},
      {u"b", Found::kYes, 0, u"", u"b"},      {u"ba", Found::kYes, 1, u"b", u"d"},
      {u"c", Found::kYes, 1, u"b", u"d"},     {u"d", Found::kYes, 1, u"b", u"d"},
      {u"d\u00E9", Found::kYes, 3, u"dd", u"f"},  // units compare unsigned
      {u"dd", Found::kYes, 2, u"d", u"dd"},   {u"dda", Found::kYes, 3, u"dd", u"f"},
      {u"f", Found::kYes, 3, u"dd", u"f"},    {u"fa", Found::kNo, 4, u"f", u""},
      {u"\u00E9", Found::kNo, 4, u"f", u""},  {u"\U0001F600", Found::kNo, 4, u"f", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(vk::Utf16ToUtf8(c.key));
    vk::BlockPosition<B> pos;
    Word<B> key = W<B>(c.key);
    EXPECT_EQ(BlockEntries<B>::Locate(this->block_.data(), this->block_.size(), key.c_str(), &pos), c.found);
    EXPECT_EQ(pos.offset, this->offsets_[c.at]);
    EXPECT_EQ(pos.before, W<B>(c.before));
    EXPECT_EQ(pos.at, W<B>(c.here));
  }
  Bytes empty = NewBlock(1);
  vk::BlockPosition<B> pos;
  pos.before = W<B>(u"stale");
  EXPECT_EQ(BlockEntries<B>::Locate(empty.data(), empty.size(), W<B>(u"a").c_str(), &pos), Found::kNo);
  EXPECT_EQ(pos.offset, 2u);
  EXPECT_TRUE(pos.before.empty());
  EXPECT_TRUE(pos.at.empty());
}

TYPED_TEST(BlockTest, PreviousAndLast) {
  using B = TypeParam;
  const std::vector<std::u16string> words = {u"b", u"d", u"dd", u"f"};
  this->Fill(words);
  const uint8_t* p = this->block_.data();
  const size_t n = this->block_.size();
  size_t off = 99;
  Word<B> w;
  EXPECT_EQ(BlockEntries<B>::Previous(p, n, 0, &off, &w), Found::kNo);
  EXPECT_EQ(BlockEntries<B>::Previous(p, n, 2, &off, &w), Found::kNo);
  for (size_t i = 1; i < this->offsets_.size(); ++i) {
    ASSERT_EQ(BlockEntries<B>::Previous(p, n, this->offsets_[i], &off, &w), Found::kYes) << i;
    EXPECT_EQ(off, this->offsets_[i - 1]);
    EXPECT_EQ(w, W<B>(words[i - 1]));
  }
  EXPECT_EQ(BlockEntries<B>::Previous(p, n, this->offsets_[1] + 1, &off, &w), Found::kDamaged);
  EXPECT_EQ(BlockEntries<B>::Previous(p, n, this->offsets_.back() + 2, &off, &w), Found::kDamaged);
  ASSERT_EQ(BlockEntries<B>::Last(p, n, &off, &w), Found::kYes);
  EXPECT_EQ(off, this->offsets_[3]);
  EXPECT_EQ(w, W<B>(u"f"));
  Bytes empty = NewBlock(1);
  EXPECT_EQ(BlockEntries<B>::Last(empty.data(), empty.size(), &off, &w), Found::kNo);
  EXPECT_EQ(BlockEntries<B>::Count(empty.data(), empty.size()), 0);
}

TYPED_TEST(BlockTest, BuilderRefusesAndLeavesTheBlockAsItWas) {
  using B = TypeParam;
  this->Fill({u"b", u"d"});
  {
    Bytes copy = this->block_;
    BlockBuilder<B> fresh(copy.data(), copy.size());
    EXPECT_EQ(BlockEntries<B>::Count(copy.data(), copy.size()), 0) << "kEmpty starts the block afresh";
  }
  BlockBuilder<B> again(this->block_.data(), this->block_.size(), BlockBuilder<B>::Start::kAppend);
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again.count(), 2);
  EXPECT_EQ(again.end(), this->offsets_.back());
  const Bytes before = this->block_;
  auto j = MakeJapa<B>(0x80, u"x");
  EXPECT_FALSE(AddWord(&again, u"c", j)) << "out of order";
  EXPECT_FALSE(AddWord(&again, u"d", j)) << "same headword";
  Word<B> longWord(249, static_cast<typename B::Unit>('z'));
  EXPECT_FALSE(again.Add(longWord.data(), longWord.size(), Fields<B>(j)));
  Word<B> inner = W<B>(u"e");
  inner.push_back(0);
  inner += W<B>(u"x");
  EXPECT_FALSE(again.Add(inner.data(), inner.size(), Fields<B>(j))) << "zero inside the word";
  EXPECT_EQ(this->block_, before);
  // Room: add until full; the last refusal changes nothing either.
  Word<B> word = W<B>(u"e");
  int added = 0;
  for (;; ++added) {
    word.push_back(static_cast<typename B::Unit>('a' + added % 26));
    Bytes snap = this->block_;
    if (!again.Add(word.data(), word.size(), Fields<B>(MakeJapa<B>(0x80, u"some text")))) {
      EXPECT_EQ(this->block_, snap);
      break;
    }
  }
  EXPECT_GT(added, 3);
  EXPECT_LT(again.FreeBytes(), 40u);
  EXPECT_EQ(BlockEntries<B>::Count(this->block_.data(), this->block_.size()), 2 + added);
  Word<B> maxWord(248, static_cast<typename B::Unit>('z'));
  Bytes big = NewBlock(3);
  BlockBuilder<B> b3(big.data(), big.size());
  EXPECT_TRUE(b3.Add(maxWord.data(), maxWord.size(), Fields<B>(j))) << "248 units fit";
}

template <class B>
class LongEntryTest : public ::testing::Test {};
TYPED_TEST_SUITE(LongEntryTest, LongBuilds, BuildNames);

TYPED_TEST(LongEntryTest, RoundTripThroughALongEntryBlock) {
  using B = TypeParam;
  const size_t sizes[] = {12637, 40000};  // estimates 65280 and 80010
  for (size_t exampleLen : sizes) {
    SCOPED_TRACE(exampleLen);
    vk::Japa<B> j = MakeJapa<B>(0x65, u"", u"", u"");
    j.translation.assign(20000 - (exampleLen > 20000 ? 19998 : 0), 't');
    j.example.assign(exampleLen, 'e');
    Word<B> w = W<B>(u"long");
    vk::EncodedFields f = Fields<B>(j, w.size());
    ASSERT_TRUE(f.longEntry);
    const size_t bytes = vk::EntryLayout<B>::LongBlockBytes(w.size(), f.area.size());
    const int units = static_cast<int>((bytes + 255) / 256);
    Bytes block = NewBlock(units);
    BlockBuilder<B> bb(block.data(), block.size());
    ASSERT_TRUE(bb.SetLong(w.data(), w.size(), f.attribute, f.area.data(), f.area.size()));
    EXPECT_EQ(vk::LoadLE16(block.data()), 0x8000 | units) << "flag in the size word";
    const uint32_t body = vk::LoadLE32(block.data() + 2);
    EXPECT_EQ(body, w.size() + 1 + f.area.size());
    EXPECT_EQ(block[6], 0) << "count";
    EXPECT_EQ(block[7], 0x75) << "attribute at byte 5 of the entry";
    EXPECT_EQ(Hex(block.data() + 8, 5), "6C 6F 6E 67 00 ");
    EXPECT_EQ(vk::LoadLE32(block.data() + 8 + body), 0u) << "32-bit terminator";
    EXPECT_EQ(bb.end(), 8u + body);

    vk::Japa<B> back;
    bool wf = false;
    ASSERT_EQ(vk::FieldDecoder<B>::Read(block.data(), block.size(), 2, &back, &wf), WalkStatus::kEntry);
    EXPECT_TRUE(wf);
    EXPECT_EQ(back.attribute, 0x75);
    EXPECT_EQ(back.translation, j.translation.substr(0, 3000));
    EXPECT_EQ(back.example, j.example.substr(0, 20000));
    EXPECT_EQ(BlockEntries<B>::Count(block.data(), block.size()), 1);

    vk::BlockPosition<B> pos;
    EXPECT_EQ(BlockEntries<B>::Locate(block.data(), block.size(), W<B>(u"a").c_str(), &pos), Found::kYes);
    EXPECT_EQ(pos.offset, 2u);
    EXPECT_TRUE(pos.before.empty());
    EXPECT_EQ(pos.at, w);
    EXPECT_EQ(BlockEntries<B>::Locate(block.data(), block.size(), w.c_str(), &pos), Found::kYes);
    EXPECT_EQ(BlockEntries<B>::Locate(block.data(), block.size(), W<B>(u"longer").c_str(), &pos), Found::kNo);
    EXPECT_EQ(pos.offset, bb.end());
    EXPECT_EQ(pos.before, w);
    EXPECT_TRUE(pos.at.empty());
    size_t off;
    Word<B> prev;
    ASSERT_EQ(BlockEntries<B>::Previous(block.data(), block.size(), bb.end(), &off, &prev), Found::kYes);
    EXPECT_EQ(off, 2u);
    EXPECT_EQ(prev, w);
    EXPECT_FALSE(AddWord(&bb, u"m", MakeJapa<B>(0x80, u""))) << "a long-entry block holds one entry";
    BlockBuilder<B> append(block.data(), block.size(), BlockBuilder<B>::Start::kAppend);
    EXPECT_FALSE(append.ok());
  }
}

// The one headword of a long-entry block compares over at most 248 units.
TYPED_TEST(LongEntryTest, LocateComparesAtMost248Units) {
  using B = TypeParam;
  Word<B> w(248, 'x');
  Bytes block = NewBlock(2);
  BlockBuilder<B> bb(block.data(), block.size());
  ASSERT_TRUE(bb.SetLong(w.data(), w.size(), 0x80, nullptr, 0));
  Word<B> key(260, 'x');
  vk::BlockPosition<B> pos;
  EXPECT_EQ(BlockEntries<B>::Locate(block.data(), block.size(), key.c_str(), &pos), Found::kYes);
  EXPECT_EQ(pos.offset, 2u);
  // In a short-entry block the whole key counts and it sorts after.
  Bytes shortBlock = NewBlock(2);
  BlockBuilder<B> sb(shortBlock.data(), shortBlock.size());
  ASSERT_TRUE(sb.Add(w.data(), w.size(), 0x80, nullptr, 0));
  EXPECT_EQ(BlockEntries<B>::Locate(shortBlock.data(), shortBlock.size(), key.c_str(), &pos), Found::kNo);
}

TEST(LongEntryNone, Utf16BuildsHaveNoLongEntries) {
  using B = vk::TraitsVKCUB;
  Bytes block = NewBlock(1);
  BlockBuilder<B> bb(block.data(), block.size());
  Word<B> w = W<B>(u"w");
  EXPECT_FALSE(bb.SetLong(w.data(), w.size(), 0x80, nullptr, 0));
  ASSERT_TRUE(bb.Add(w.data(), w.size(), 0x80, nullptr, 0));
  block[1] |= 0x80;  // the flag means nothing here: still a short-entry block
  EXPECT_EQ(BlockEntries<B>::Count(block.data(), block.size()), 1);
  BlockBuilder<B> more(block.data(), block.size(), BlockBuilder<B>::Start::kAppend);
  EXPECT_TRUE(more.ok());
}

}  // namespace
}  // namespace vkentrytest
