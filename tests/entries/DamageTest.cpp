// Blocks that lie. Named damages built by hand must end every walk with
// kDamaged; random bytes and randomly mutated valid blocks, held so that the
// first byte past the block faults, must never be read or written outside.
#include <gtest/gtest.h>

#include <random>

#include "entries/BlockEntries.h"
#include "entries/EntryCursor.h"
#include "entries/EntryTestUtil.h"
#include "entries/FieldDecoder.h"
#include "text/GuardedMemory.h"
#include "text/TextCorpus.h"

namespace vkentrytest {
namespace {

using vk::BlockEntries;
using vk::Found;
using vk::WalkStatus;

// Writes entries with whatever header values a test asks for.
template <class B>
class RawBlock {
 public:
  explicit RawBlock(size_t bytes, bool longBlock = false) : b_(bytes, 0) {
    b_[0] = 1;
    if (longBlock) b_[1] = 0x80;
  }
  // A short entry: body length `len` (-1: the true one), count, attribute,
  // tail units with their terminator, then the field area.
  RawBlock& Short(int len, uint8_t count, const Word<B>& tail, const Bytes& area = {}, bool terminate = true) {
    Bytes e;
    AppendUnits<B>(&e, tail);
    if (terminate) e.resize(e.size() + sizeof(typename B::Unit), 0);
    e.insert(e.end(), area.begin(), area.end());
    uint16_t l = static_cast<uint16_t>(len < 0 ? e.size() : static_cast<size_t>(len));
    Bytes h = {static_cast<uint8_t>(l), static_cast<uint8_t>(l >> 8), count, 0x80};
    Put(h);
    Put(e);
    return *this;
  }
  RawBlock& Long(uint32_t len, uint8_t count, const Word<B>& word, const Bytes& area = {}, bool terminate = true) {
    Bytes e;
    AppendUnits<B>(&e, word);
    if (terminate) e.resize(e.size() + sizeof(typename B::Unit), 0);
    e.insert(e.end(), area.begin(), area.end());
    if (len == 0) len = static_cast<uint32_t>(e.size());
    Bytes h = {static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len >> 16),
               static_cast<uint8_t>(len >> 24), count, 0x80};
    Put(h);
    Put(e);
    return *this;
  }
  RawBlock& Bytes_(const Bytes& r) {
    Put(r);
    return *this;
  }
  const Bytes& bytes() const { return b_; }

 private:
  void Put(const Bytes& r) {
    std::copy(r.begin(), r.end(), b_.begin() + static_cast<std::ptrdiff_t>(at_));
    at_ += r.size();
  }
  Bytes b_;
  size_t at_ = 2;
};

// Runs every reader over the block; answers Count's result. The block is
// copied so that its last byte ends right before an inaccessible page.
template <class B>
int64_t ExerciseAll(const Bytes& bytes, std::mt19937* rng = nullptr) {
  auto g = vk::test::TailGuarded<uint8_t>::Of(bytes);
  const uint8_t* p = g.data();
  const size_t n = g.size();
  int64_t count = BlockEntries<B>::Count(p, n);
  size_t off = 0;
  Word<B> w;
  Found last = BlockEntries<B>::Last(p, n, &off, &w);
  EXPECT_EQ(count < 0, last == Found::kDamaged);
  EXPECT_EQ(count == 0, last == Found::kNo);
  vk::BlockPosition<B> pos;
  const Word<B> keys[] = {Word<B>(), W<B>(u"m"), Word<B>(300, static_cast<typename B::Unit>(0x7F))};
  for (const Word<B>& k : keys) BlockEntries<B>::Locate(p, n, k.c_str(), &pos);

  std::vector<size_t> offsets;
  vk::EntryCursor<B> c(p, n);
  for (WalkStatus s = c.First(); s == WalkStatus::kEntry; s = c.Next()) {
    offsets.push_back(c.offset());
    EXPECT_LE(c.wordLength(), vk::kMaxWordUnits);
    EXPECT_LE(c.entry().fieldOffset + c.entry().fieldLength, n);
  }
  offsets.push_back(c.offset());
  if (rng) {
    for (int i = 0; i < 8; ++i) offsets.push_back(std::uniform_int_distribution<size_t>(0, n + 8)(*rng));
  }
  for (size_t o : offsets) {
    vk::Japa<B> j;
    vk::FieldDecoder<B>::Read(p, n, o, &j);
    BlockEntries<B>::Previous(p, n, o, &off, &w);
    vk::EntryCursor<B> r(p, n);
    r.ResumeAt(o, w.c_str(), w.size());
    r.Next();
  }
  // Appending to it works on a copy, equally guarded.
  auto copy = vk::test::TailGuarded<uint8_t>::Of(bytes);
  vk::BlockBuilder<B> bb(copy.data(), copy.size(), vk::BlockBuilder<B>::Start::kAppend);
  EXPECT_EQ(bb.ok(), count >= 0 && !vk::EntryLayout<B>::IsLongBlock(p));
  Word<B> z(3, static_cast<typename B::Unit>(0x7E));
  const uint8_t area[3] = {0x41, 0x42, 0x43};
  bb.Add(z.data(), z.size(), 0x80, area, sizeof area);
  return count;
}

template <class B>
class DamageTest : public ::testing::Test {};
TYPED_TEST_SUITE(DamageTest, AllBuilds, BuildNames);

TYPED_TEST(DamageTest, NamedDamagesEndTheWalk) {
  using B = TypeParam;
  using R = RawBlock<B>;
  const size_t u = sizeof(typename B::Unit);
  const Word<B> ab = W<B>(u"ab"), c = W<B>(u"c"), a240(240, 'a'), b10(10, 'b');
  const struct {
    const char* name;
    Bytes block;
    int64_t count;  // -1: damaged
  } cases[] = {
      {"valid", R(64).Short(-1, 0, ab).Short(-1, 1, c).bytes(), 2},
      {"entry runs past the block", R(64).Short(-1, 0, ab).Short(0xFFF0, 1, c).bytes(), -1},
      {"entry runs one byte past", R(16).Short(int(16 - 2 - 4 + 1), 0, ab).bytes(), -1},
      {"count beyond the previous headword", R(64).Short(-1, 0, ab).Short(-1, 3, c).bytes(), -1},
      {"first entry with a count", R(64).Short(-1, 1, ab).bytes(), -1},
      {"tail without its terminator", R(64).Short(int(2 * u), 0, ab, {}, false).Bytes_({0, 0, 0, 0}).bytes(), -1},
      {"rebuilt headword over 248 units", R(1024).Short(-1, 0, a240).Short(-1, 240, b10).bytes(), -1},
      {"248 units rebuilt is fine", R(1024).Short(-1, 0, a240).Short(-1, 240, Word<B>(8, 'b')).bytes(), 2},
      {"no room for the terminator", [&] {
         Bytes b = R(64).Short(-1, 0, ab).bytes();
         b.resize(2 + 4 + 3 * u);
         return b;
       }(), -1},
      {"half a terminator", [&] {
         Bytes b = R(64).Short(-1, 0, ab).bytes();
         b.resize(2 + 4 + 3 * u + 1);
         return b;
       }(), -1},
      {"block of one byte", Bytes{1}, -1},
      {"block of two bytes", Bytes{1, 0}, -1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(ExerciseAll<B>(k.block), k.count);
  }
}

TYPED_TEST(DamageTest, NamedDamagesOfLongEntryBlocks) {
  using B = TypeParam;
  using R = RawBlock<B>;
  if constexpr (B::kLongEntries) {
    const Word<B> w = W<B>(u"word");
    const struct {
      const char* name;
      Bytes block;
      int64_t count;
    } cases[] = {
        {"valid", R(64, true).Long(0, 0, w, {0x41}).bytes(), 1},
        {"empty", R(64, true).bytes(), 0},
        {"bogus 32-bit length", R(64, true).Long(0xFFFFFF00u, 0, w).bytes(), -1},
        {"length one past the block", R(64, true).Long(64 - 2 - 6 + 1, 0, w).bytes(), -1},
        {"count in a long entry", R(64, true).Long(0, 2, w).bytes(), -1},
        {"headword without terminator", R(64, true).Long(4, 0, w, {}, false).Bytes_({9, 9, 9, 9, 0, 0, 0, 0}).bytes(), -1},
        {"a second entry", R(64, true).Long(0, 0, w).Long(0, 0, w).bytes(), -1},
        {"terminator cut by the block's end", [&] {
           Bytes b = R(64, true).Long(0, 0, w).bytes();
           b.resize(2 + 6 + 5 + 3);
           return b;
         }(), -1},
    };
    for (const auto& k : cases) {
      SCOPED_TRACE(k.name);
      EXPECT_EQ(ExerciseAll<B>(k.block), k.count);
    }
  }
}

TYPED_TEST(DamageTest, RandomBytesAndMutatedBlocksStayInside) {
  using B = TypeParam;
  const uint32_t seed = vk::test::TestSeed(1234567);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  auto in = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

  // A valid block to mutate: short entries with every field form.
  Bytes valid = NewBlock(2);
  {
    vk::BlockBuilder<B> bb(valid.data(), valid.size());
    const char16_t* words[] = {u"a", u"ab", u"ab\u00E9", u"ab\u00EA", u"b\U0001F600", u"b\U0001F601"};
    for (int i = 0; i < 6; ++i) {
      Word<B> w = W<B>(words[i]);
      ASSERT_TRUE(bb.Add(w.data(), w.size(), Fields<B>(MakeJapa<B>(0x80, u"t\u3042", i % 2 ? u"ex" : u"", i % 3 ? u"" : u"p"))));
    }
  }
  Bytes validLong;
  if (B::kLongEntries) {
    validLong = NewBlock(1);
    vk::BlockBuilder<B> bb(validLong.data(), validLong.size());
    vk::EncodedFields f = Fields<B>(MakeJapa<B>(0x80, u"tr", u"ex", u"pr"));
    Word<B> w = W<B>(u"long");
    ASSERT_TRUE(bb.SetLong(w.data(), w.size(), f.attribute, f.area.data(), f.area.size()));
  }

  int damaged = 0, whole = 0;
  for (int round = 0; round < 6000; ++round) {
    Bytes b;
    switch (in(0, 3)) {
      case 0: {  // random bytes, random size
        b.resize(static_cast<size_t>(in(0, 300)));
        for (uint8_t& x : b) x = static_cast<uint8_t>(in(0, 3) == 0 ? 0 : in(0, 255));
        break;
      }
      case 1:
      case 2: {  // a valid block with a few bytes changed, maybe cut short
        b = (B::kLongEntries && in(0, 3) == 0) ? validLong : valid;
        for (int k = in(1, 4); k > 0; --k) {
          size_t at = static_cast<size_t>(in(0, 80));
          if (at < b.size()) b[at] = static_cast<uint8_t>(in(0, 3) == 0 ? in(0, 255) : b[at] + in(-3, 3));
        }
        if (in(0, 4) == 0) b.resize(static_cast<size_t>(in(0, static_cast<int>(b.size()))));
        break;
      }
      default: {  // size word and lengths of a valid block scrambled
        b = valid;
        b[1] = static_cast<uint8_t>(in(0, 1) ? 0x80 : 0);
        b[2] = static_cast<uint8_t>(in(0, 255));
        b[3] = static_cast<uint8_t>(in(0, 255));
        break;
      }
    }
    int64_t count = ExerciseAll<B>(b, &rng);
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << "round " << round << " block " << Hex(b);
      return;
    }
    (count < 0 ? damaged : whole)++;
  }
  // Both outcomes occur, so both paths were exercised.
  EXPECT_GT(damaged, 100);
  EXPECT_GT(whole, 100);
}

}  // namespace
}  // namespace vkentrytest
