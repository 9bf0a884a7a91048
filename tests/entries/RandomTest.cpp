// Seeded random runs: words with long shared prefixes (shared UTF-8 lead
// bytes and surrogates included) and random fields go through FieldEncoder
// and BlockBuilder into blocks; walking, locating, previous/last entry and
// reading the fields back must agree with a std::map model.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "entries/BlockEntries.h"
#include "entries/EntryCursor.h"
#include "entries/EntryTestUtil.h"
#include "entries/FieldDecoder.h"
#include "text/Collation.h"
#include "text/TextCorpus.h"

namespace vkentrytest {
namespace {

using vk::BlockEntries;
using vk::Found;
using vk::WalkStatus;

template <class B>
struct WordLess {
  bool operator()(const Word<B>& a, const Word<B>& b) const { return vk::CompareWords(a.c_str(), b.c_str()) < 0; }
};

template <class B>
using Model = std::map<Word<B>, vk::Japa<B>, WordLess<B>>;

template <class B>
struct Block {
  Bytes bytes;
  std::vector<Word<B>> words;
  std::vector<size_t> offsets;  // of each entry, then of the terminator
};

// Characters chosen so that neighbours share leading stored units: é/ê
// share C3, あ/い share E3 81, the two emoji share F0 9F 98 in UTF-8 and
// their high surrogate in UTF-16.
const char16_t* const kAlphabet[] = {u"a", u"b", u"c", u"z", u"\u00E9", u"\u00EA", u"\u3042", u"\u3044",
                                     u"\U0001F600", u"\U0001F601", u"\uFF21", u" "};

template <class B>
class RandomRun {
 public:
  explicit RandomRun(uint32_t seed) : rng_(seed) {}

  int In(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  std::u16string RandomWord(const Model<B>& model) {
    std::u16string w;
    if (!model.empty() && In(0, 2) != 0) {
      // Extend or vary a word already present.
      auto it = model.begin();
      std::advance(it, In(0, static_cast<int>(model.size()) - 1));
      if constexpr (std::is_same_v<typename B::IChar, char16_t>) {
        w = vk::HeadwordForm<B>::ToInterface(it->first);
      } else {
        w = vk::Utf8ToUtf16(vk::HeadwordForm<B>::ToInterface(it->first));
      }
      if (In(0, 1)) w.resize(w.size() / 2);
      if (!w.empty() && vk::IsHighSurrogate(w.back())) w.pop_back();
    }
    int n = In(1, 6);
    for (int i = 0; i < n; ++i) w += kAlphabet[In(0, std::size(kAlphabet) - 1)];
    return w;
  }

  std::u16string RandomField(int maxChars) {
    if (In(0, 3) == 0) return u"";
    std::u16string s = vk::test::RandomText(rng_, maxChars);
    for (char16_t& c : s)
      if (c == 0) c = u'x';
    return s;
  }

  vk::Japa<B> RandomJapa() {
    return MakeJapa<B>(static_cast<uint8_t>(In(0, 255)), RandomField(20), RandomField(12), RandomField(6));
  }

  // Fills blocks of 1..3 units in order; a long entry (byte builds) gets a
  // block of its own.
  std::vector<Block<B>> Build(const Model<B>& model) {
    std::vector<Block<B>> blocks;
    std::unique_ptr<vk::BlockBuilder<B>> bb;
    for (const auto& [word, japa] : model) {
      vk::EncodedFields f = Fields<B>(japa, word.size());
      if (f.longEntry) {
        if (bb) blocks.back().offsets.push_back(bb->end());
        bb.reset();
        Block<B> blk;
        size_t bytes = vk::EntryLayout<B>::LongBlockBytes(word.size(), f.area.size());
        blk.bytes = NewBlock(static_cast<int>((bytes + 255) / 256));
        vk::BlockBuilder<B> lb(blk.bytes.data(), blk.bytes.size());
        EXPECT_TRUE(lb.SetLong(word.data(), word.size(), f.attribute, f.area.data(), f.area.size()));
        blk.words.push_back(word);
        blk.offsets = {lb.last(), lb.end()};
        blocks.push_back(std::move(blk));
        continue;
      }
      for (int attempt = 0; attempt < 2; ++attempt) {
        if (!bb) {
          blocks.emplace_back();
          // Blocks large enough for any short entry of this run.
          blocks.back().bytes = NewBlock(In(1, 3) + (f.area.size() > 400 ? 2 : 0));
          bb.reset(new vk::BlockBuilder<B>(blocks.back().bytes.data(), blocks.back().bytes.size()));
        }
        if (bb->Add(word.data(), word.size(), f)) {
          blocks.back().words.push_back(word);
          blocks.back().offsets.push_back(bb->last());
          break;
        }
        EXPECT_EQ(attempt, 0) << "an entry did not fit an empty block";
        blocks.back().offsets.push_back(bb->end());
        bb.reset();
      }
    }
    if (bb) blocks.back().offsets.push_back(bb->end());
    return blocks;
  }

  std::mt19937 rng_;
};

template <class B>
vk::Japa<B> Stored(vk::Japa<B> j) {
  j.attribute = static_cast<uint8_t>((j.attribute & ~vk::kAttrExtended) | (j.IsSimple() ? 0 : vk::kAttrExtended));
  j.translation.resize(std::min<size_t>(j.translation.size(), 3000));
  j.example.resize(std::min<size_t>(j.example.size(), 20000));
  j.pronunciation.resize(std::min<size_t>(j.pronunciation.size(), 1000));
  return j;
}

template <class B>
void CheckBlock(const Block<B>& blk, const Model<B>& model, const std::vector<Word<B>>& keys) {
  const uint8_t* p = blk.bytes.data();
  const size_t n = blk.bytes.size();
  ASSERT_EQ(BlockEntries<B>::Count(p, n), int64_t(blk.words.size()));
  vk::EntryCursor<B> c(p, n);
  size_t i = 0;
  for (WalkStatus s = c.First(); s == WalkStatus::kEntry; s = c.Next(), ++i) {
    ASSERT_LT(i, blk.words.size());
    ASSERT_EQ(Word<B>(c.word(), c.wordLength()), blk.words[i]);
    ASSERT_EQ(c.offset(), blk.offsets[i]);
    vk::Japa<B> j;
    bool wf = false;
    ASSERT_EQ(vk::FieldDecoder<B>::Read(p, n, c.offset(), &j, &wf), WalkStatus::kEntry);
    EXPECT_TRUE(wf);
    vk::Japa<B> want = Stored(model.at(blk.words[i]));
    EXPECT_EQ(j.attribute, want.attribute);
    EXPECT_EQ(j.translation, want.translation);
    EXPECT_EQ(j.example, want.example);
    EXPECT_EQ(j.pronunciation, want.pronunciation);

    size_t off;
    Word<B> w;
    if (i == 0) {
      EXPECT_EQ(c.entry().compression, 0);
      EXPECT_EQ(BlockEntries<B>::Previous(p, n, c.offset(), &off, &w), Found::kNo);
    } else {
      ASSERT_EQ(BlockEntries<B>::Previous(p, n, c.offset(), &off, &w), Found::kYes);
      EXPECT_EQ(off, blk.offsets[i - 1]);
      EXPECT_EQ(w, blk.words[i - 1]);
    }
  }
  ASSERT_EQ(c.status(), WalkStatus::kEnd);
  ASSERT_EQ(c.offset(), blk.offsets.back());
  size_t off;
  Word<B> w;
  ASSERT_EQ(BlockEntries<B>::Last(p, n, &off, &w), Found::kYes);
  EXPECT_EQ(off, blk.offsets[blk.words.size() - 1]);
  EXPECT_EQ(w, blk.words.back());

  for (const Word<B>& key : keys) {
    // The model's answer: the first word of the block not less than the key.
    size_t k = 0;
    while (k < blk.words.size() && vk::CompareWords(key.c_str(), blk.words[k].c_str()) > 0) ++k;
    vk::BlockPosition<B> pos;
    Found f = BlockEntries<B>::Locate(p, n, key.c_str(), &pos);
    ASSERT_EQ(f, k < blk.words.size() ? Found::kYes : Found::kNo);
    EXPECT_EQ(pos.offset, blk.offsets[k]);
    EXPECT_EQ(pos.before, k > 0 ? blk.words[k - 1] : Word<B>());
    EXPECT_EQ(pos.at, k < blk.words.size() ? blk.words[k] : Word<B>());
  }
}

template <class B>
class RandomRoundTrip : public ::testing::Test {};
TYPED_TEST_SUITE(RandomRoundTrip, AllBuilds, BuildNames);

TYPED_TEST(RandomRoundTrip, BlocksAgreeWithTheModel) {
  using B = TypeParam;
  const uint32_t base = vk::test::TestSeed(90210);
  for (uint32_t round = 0; round < 12; ++round) {
    const uint32_t seed = base + round;
    SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED=" + std::to_string(seed) + " with round 0 repeats it)");
    RandomRun<B> run(seed);
    Model<B> model;
    const int words = run.In(1, 250);
    for (int i = 0; i < words; ++i) {
      Word<B> w;
      if (vk::HeadwordForm<B>::ToStored(T<B>(run.RandomWord(model)), &w) != 0) continue;
      model[w] = run.RandomJapa();
    }
    if (B::kLongEntries && run.In(0, 2) == 0) {
      // An entry whose estimate calls for a long entry.
      Word<B> w = W<B>(u"b\u3042long");
      vk::Japa<B> j = MakeJapa<B>(0x42, u"big", u"", u"p");
      j.example.assign(33000, 'e');
      model[w] = j;
    }
    std::vector<Block<B>> blocks = run.Build(model);

    // Keys: every headword, and near misses around them.
    std::vector<Word<B>> keys = {Word<B>()};
    for (const auto& kv : model) {
      keys.push_back(kv.first);
      keys.push_back(kv.first + W<B>(u"a"));
      if (!kv.first.empty()) keys.push_back(kv.first.substr(0, kv.first.size() - 1));
    }
    for (int i = 0; i < 20; ++i) keys.push_back(W<B>(run.RandomWord(Model<B>())));

    size_t seen = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
      SCOPED_TRACE("block " + std::to_string(b));
      CheckBlock<B>(blocks[b], model, keys);
      if (::testing::Test::HasFatalFailure()) return;
      seen += blocks[b].words.size();
    }
    EXPECT_EQ(seen, model.size());
  }
}

}  // namespace
}  // namespace vkentrytest
