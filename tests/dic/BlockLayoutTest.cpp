// The file layout that mutations leave, byte by byte where the format fixes
// it: the first record of a new dictionary, prefix compression, erasing with
// the follower's prefix restored, growing and shrinking a block, and the
// choice of the split entry.
#include <gtest/gtest.h>

#include "MutationTestUtil.h"

namespace vktest {
namespace {

template <class B>
class BlockLayoutTest : public ::testing::Test {
 protected:
  using Text = std::basic_string<typename B::IChar>;
  using Entries = std::vector<std::pair<Text, vk::Japa<B>>>;

  static Entries E(std::initializer_list<std::pair<const char*, const char*>> list) {
    Entries out;
    for (auto& p : list) out.emplace_back(T<B>(p.first), Fields<B>(T<B>(p.second)));
    return out;
  }

  void Reopened(Walk<B>* w) {
    dic_.Close();
    WalkFile<B>(dic_.path(), w);
    dic_.Open();
  }

  TestDic<B> dic_;
};

TYPED_TEST_SUITE(BlockLayoutTest, AllBuilds, BuildNames);

// The first record of a new dictionary grows the empty index area by four
// units and lands in a one-unit block right after it.
TYPED_TEST(BlockLayoutTest, FirstRecordGrowsIndexByFourUnits) {
  using B = TypeParam;
  this->dic_.Create();
  ASSERT_EQ(this->dic_.Rec("apple", "x"), 1);
  this->dic_.Close();
  std::vector<uint8_t> file = FileBytes(this->dic_.path());
  ASSERT_EQ(file.size(), 256u + 4 * 256 + 256);

  Walk<B> w;
  WalkFile<B>(this->dic_.path(), &w);
  EXPECT_EQ(w.header.indexBlocks(), 4);
  EXPECT_EQ(w.header.blockCount(), 1);
  EXPECT_EQ(w.header.indexCount(), 1);
  EXPECT_EQ(w.header.wordCount(), 1u);
  EXPECT_EQ(w.header.freeBlock(), -1);
  ASSERT_EQ(w.blocks.size(), 1u);
  EXPECT_EQ(w.blocks[0].number, 0);
  EXPECT_EQ(w.blocks[0].bytes, BuildBlock<B>(1, 256, this->E({{"apple", "x"}})));

  // Index area: block 0, the headword, its terminator, a 4-byte end marker.
  std::vector<uint8_t> index;
  const bool bytes = sizeof(typename B::Unit) == 1;
  const bool big = B::kFileOrder == vk::Endian::Big;
  index.insert(index.end(), {0, 0});
  for (char c : std::string("apple")) {
    if (bytes) index.push_back(uint8_t(c));
    else if (big) index.insert(index.end(), {0, uint8_t(c)});
    else index.insert(index.end(), {uint8_t(c), 0});
  }
  index.insert(index.end(), bytes ? 1 : 2, 0);
  index.insert(index.end(), 4, 0);
  index.resize(1024, 0);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 256, file.begin() + 256 + 1024), index);
}

// Entries keep headword order whatever order they come in; each stores only
// what follows the prefix it shares with the entry before it, and a new
// first entry renames the block in the index.
TYPED_TEST(BlockLayoutTest, InsertsCompressAgainstTheEntryBefore) {
  using B = TypeParam;
  this->dic_.Create();
  for (const char* w : {"abd", "b", "abc", "ab", "a"}) ASSERT_EQ(this->dic_.Rec(w, w), 1);
  Walk<B> w;
  this->Reopened(&w);
  ASSERT_EQ(w.blocks.size(), 1u);
  EXPECT_TRUE(w.blocks[0].indexWord == Stored<B>(T<B>("a")));
  EXPECT_EQ(w.blocks[0].bytes,
            BuildBlock<B>(1, 256, this->E({{"a", "a"}, {"ab", "ab"}, {"abc", "abc"}, {"abd", "abd"}, {"b", "b"}})));
}

// Erasing an entry gives its follower back the prefix bytes it shared only
// with the erased one; the follower keeps its attribute. Erasing the first
// entry renames the block; erasing the last one releases it.
TYPED_TEST(BlockLayoutTest, EraseRestoresTheFollowersPrefix) {
  using B = TypeParam;
  this->dic_.Create();
  ASSERT_EQ(this->dic_.Rec("a", "1"), 1);
  ASSERT_EQ(this->dic_.Rec("abc", "2"), 1);
  ASSERT_EQ(this->dic_.Record(T<B>("abd"), Fields<B>(T<B>("3"), {}, {}, 0xA5)), 1);
  ASSERT_EQ(this->dic_.Del("abc"), 1);
  Walk<B> w;
  this->Reopened(&w);
  typename BlockLayoutTest<B>::Entries expect = this->E({{"a", "1"}});
  expect.emplace_back(T<B>("abd"), Fields<B>(T<B>("3"), {}, {}, 0xA5));
  EXPECT_EQ(w.blocks[0].bytes, BuildBlock<B>(1, 256, expect));
  EXPECT_EQ(w.entries[1].fields.attribute, 0xA5);

  ASSERT_EQ(this->dic_.Del("a"), 1);
  Walk<B> w2;
  this->Reopened(&w2);
  ASSERT_EQ(w2.blocks.size(), 1u);
  EXPECT_TRUE(w2.blocks[0].indexWord == Stored<B>(T<B>("abd")));
  EXPECT_EQ(w2.blocks[0].bytes, BuildBlock<B>(1, 256, {expect[1]}));

  ASSERT_EQ(this->dic_.Del("abd"), 1);
  this->dic_.Close();
  Walk<B> w3;
  WalkFile<B>(this->dic_.path(), &w3);
  EXPECT_TRUE(w3.blocks.empty());
  EXPECT_EQ(w3.end, 0);
  EXPECT_EQ(w3.header.wordCount(), 0u);
  EXPECT_EQ(FileBytes(this->dic_.path()).size(), 256u + 1024);
}

// Erasing a headword that is not there changes nothing, not even the file.
TYPED_TEST(BlockLayoutTest, EraseOfAnAbsentHeadwordChangesNothing) {
  using B = TypeParam;
  this->dic_.Create();
  ASSERT_EQ(this->dic_.Rec("b", "1"), 1);
  this->dic_.Close();
  std::vector<uint8_t> before = FileBytes(this->dic_.path());
  this->dic_.Open();
  EXPECT_EQ(this->dic_.Del("a"), 1);
  EXPECT_EQ(this->dic_.Del("c"), 1);
  EXPECT_EQ(this->dic_.v().WordCount(), 1);
  this->dic_.Close();
  EXPECT_EQ(FileBytes(this->dic_.path()), before);
  (void)sizeof(B);
}

// A one-unit block grows unit by unit; a rewrite that needs less gives the
// whole units back, and close cuts them off the file.
TYPED_TEST(BlockLayoutTest, BlocksGrowAndShrinkByUnits) {
  using B = TypeParam;
  constexpr size_t U = sizeof(typename B::Unit);
  this->dic_.Create();
  ASSERT_EQ(this->dic_.Rec("a", std::string(600, 'x')), 1);
  Walk<B> w;
  this->Reopened(&w);
  const size_t grown = (2 + 4 + 2 * U + 600 * U + 2 + 255) / 256;
  ASSERT_EQ(w.blocks.size(), 1u);
  EXPECT_EQ(size_t(w.blocks[0].units), grown);
  EXPECT_EQ(w.blocks[0].bytes, BuildBlock<B>(int32_t(grown), 256, this->E({{"a", std::string(600, 'x').c_str()}})));

  ASSERT_EQ(this->dic_.Rec("a", "y"), 1);
  Walk<B> w2;
  this->Reopened(&w2);
  EXPECT_EQ(w2.blocks[0].units, 1);
  EXPECT_EQ(w2.end, 1);
  EXPECT_EQ(w2.blocks[0].bytes, BuildBlock<B>(1, 256, this->E({{"a", "y"}})));
  EXPECT_EQ(w2.header.wordCount(), 1u);
}

// Recording an existing headword replaces its fields without counting it
// twice; Update does the same but never adds.
TYPED_TEST(BlockLayoutTest, RecordAndUpdateReplaceFields) {
  using B = TypeParam;
  this->dic_.Create();
  ASSERT_EQ(this->dic_.Rec("w", "one"), 1);
  ASSERT_EQ(this->dic_.Record(T<B>("w"), Fields<B>(T<B>("two"), T<B>("ex"), T<B>("pr"), 0x83)), 1);
  EXPECT_EQ(this->dic_.v().WordCount(), 1);
  EXPECT_EQ(this->dic_.v().UpdateWord(T<B>("w").c_str(), Fields<B>(T<B>("three"))), 1);
  // A missing headword is no failure: the code stays what it was.
  this->dic_.v().File().SetError(17);
  EXPECT_EQ(this->dic_.v().UpdateWord(T<B>("x").c_str(), Fields<B>(T<B>("new"))), 0);
  EXPECT_EQ(this->dic_.Error(), 17);
  this->dic_.v().File().SetError(0);
  Walk<B> w;
  this->Reopened(&w);
  ASSERT_EQ(w.entries.size(), 1u);
  EXPECT_TRUE(w.entries[0].fields.translation == T<B>("three"));
  EXPECT_TRUE(w.entries[0].fields.example.empty());
  EXPECT_EQ(w.entries[0].fields.attribute, 0x80);
}

// ---- the split, worked through by hand in the legacy build, whose fields
// are stored as raw bytes (an entry of headword w and translation t takes
// 4 + len(w) - count + 1 + len(t) bytes) ----

class SplitTest : public ::testing::Test {
 protected:
  using B = vk::TraitsVKC620;

  void Add(const std::string& w, size_t n) { ASSERT_EQ(dic_.Rec(w, std::string(n, 'x')), 1) << w; }

  // k1..k7 fill a two-unit block to byte 510 (entry starts 2, 159, 185,
  // 211, 237, 263, 469).
  void Fill() {
    dic_.Create();
    Add("k1", 150);
    Add("k2", 20);
    Add("k3", 20);
    Add("k4", 20);
    Add("k5", 20);  // no room: the one-unit block grows to two
    Add("k6", 200);
    Add("k7", 35);
    Walk<B> w;
    dic_.Close();
    WalkFile<B>(dic_.path(), &w);
    dic_.Open();
    ASSERT_EQ(w.blocks.size(), 1u);
    ASSERT_EQ(w.blocks[0].units, 2);
  }

  static std::pair<std::string, vk::Japa<B>> X(const std::string& w, size_t n) {
    return {w, Fields<B>(std::string(n, 'x'))};
  }

  TestDic<B> dic_;
};

// k8 does not fit and the block holds 7 entries averaging over 64 bytes, so
// it splits. With k8 in place the entry starts give (b + 2) mod 256 = 161,
// 187, 213, 239, 9, 215, 0 for k2..k8: k5 starts the new block. The first
// block shrinks to one unit, and the new two-unit block takes the freed unit
// and one more at the end.
TEST_F(SplitTest, SplitEntryFillsTheFirstBlocksLastUnitMost) {
  Fill();
  Add("k8", 100);
  dic_.Close();
  Walk<B> w;
  WalkFile<B>(dic_.path(), &w);
  ASSERT_EQ(w.blocks.size(), 2u);
  EXPECT_EQ(w.blocks[0].number, 0);
  EXPECT_EQ(w.blocks[0].units, 1);
  EXPECT_EQ(w.blocks[0].bytes, BuildBlock<B>(1, 256, {X("k1", 150), X("k2", 20), X("k3", 20), X("k4", 20)}));
  EXPECT_EQ(w.blocks[1].number, 1);
  EXPECT_EQ(w.blocks[1].units, 2);
  EXPECT_EQ(w.blocks[1].indexWord, "k5");
  EXPECT_EQ(w.blocks[1].bytes, BuildBlock<B>(2, 256, {X("k5", 20), X("k6", 200), X("k7", 35), X("k8", 100)}));
  EXPECT_EQ(w.end, 3);
  EXPECT_TRUE(w.freeUnits.empty());
}

// k15 (between k1 and k2, 36 bytes) starts at 159; the starts after it give
// 161, 197, 223, 249, 19, 45, 251 for k15, k2..k7: k7 leaves, k15 stays in
// the first block, which keeps its two units.
TEST_F(SplitTest, NewEntryStaysInTheFirstBlockWhenTheSplitLiesAfterIt) {
  Fill();
  Add("k15", 30);
  dic_.Close();
  Walk<B> w;
  WalkFile<B>(dic_.path(), &w);
  ASSERT_EQ(w.blocks.size(), 2u);
  EXPECT_EQ(w.blocks[0].units, 2);
  EXPECT_EQ(w.blocks[0].bytes, BuildBlock<B>(2, 256,
                                             {X("k1", 150), X("k15", 30), X("k2", 20), X("k3", 20), X("k4", 20),
                                              X("k5", 20), X("k6", 200)}));
  EXPECT_EQ(w.blocks[1].number, 2);
  EXPECT_EQ(w.blocks[1].bytes, BuildBlock<B>(1, 256, {X("k7", 35)}));
}

// A new entry that is the split entry itself starts the new block with its
// whole headword, and the entry after it keeps the count it had: k5a goes
// between k4 and k5b, starts at 237 (239, the best; the later starts give
// 33, 59, 9). k5b shares "k5" with k5a but keeps its stored count 1.
TEST_F(SplitTest, EntryAfterANewSplitEntryKeepsItsStoredCount) {
  dic_.Create();
  Add("k1", 150);
  Add("k2", 20);
  Add("k3", 20);
  Add("k4", 20);
  Add("k5b", 20);
  Add("k6", 200);
  Add("k7", 34);  // used 510
  Add("k5a", 43);
  dic_.Close();
  Walk<B> w;
  WalkFile<B>(dic_.path(), &w);
  ASSERT_EQ(w.blocks.size(), 2u);
  EXPECT_EQ(w.blocks[0].units, 1);
  EXPECT_EQ(w.blocks[0].bytes, BuildBlock<B>(1, 256, {X("k1", 150), X("k2", 20), X("k3", 20), X("k4", 20)}));
  EXPECT_EQ(w.blocks[1].number, 1);
  EXPECT_EQ(w.blocks[1].indexWord, "k5a");
  std::vector<uint8_t> expect(512, 0);
  expect[0] = 2;
  size_t at = 2;
  auto put = [&](const std::string& tail, uint8_t count, size_t n) {
    size_t body = tail.size() + 1 + n;
    expect[at] = uint8_t(body);
    expect[at + 1] = uint8_t(body >> 8);
    expect[at + 2] = count;
    expect[at + 3] = 0x80;
    at += 4;
    for (char c : tail) expect[at++] = uint8_t(c);
    expect[at++] = 0;
    for (size_t i = 0; i < n; ++i) expect[at++] = 'x';
  };
  put("k5a", 0, 43);
  put("5b", 1, 20);
  put("6", 1, 200);
  put("7", 1, 34);
  EXPECT_EQ(w.blocks[1].bytes, expect);
  EXPECT_EQ(w.end, 3);
}

}  // namespace
}  // namespace vktest
