// Thousands of random storage operations against a model of the blocks the
// dictionary should hold, closing and reopening on the way. After every
// reopen the file itself is walked: the free chain ascends, no unit is both
// free and used, every unit is one or the other, the file ends where the
// data area ends, and every index entry names its own block.
//
// Three fixed seeds run by default; VK_SEED=<n> runs that seed instead and
// VK_STORE_OPS=<n> sets the number of operations per run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <set>

#include "dic/DicFile.h"
#include "support/StoredWords.h"
#include "support/Builds.h"
#include "support/TempDir.h"
#include "text/Collation.h"

namespace {

using namespace vk;

struct ModelBlock {
  int32_t units;
  uint32_t marker;
};

uint64_t EnvNumber(const char* name, uint64_t fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::strtoull(v, nullptr, 10) : fallback;
}

template <class B>
class StoreRun {
 public:
  using Unit = typename B::Unit;

  StoreRun(uint64_t seed, std::string path) : rng_(seed), path_(std::move(path)) {}

  void Run(int ops) {
    dic_.reset(new DicFile<B>);
    ASSERT_EQ(dic_->Create(path_, false), 0);
    for (int i = 0; i < ops; ++i) {
      Step();
      if (::testing::Test::HasFatalFailure()) return;
      if (i % 400 == 399) {
        Reopen();
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
    Reopen();
  }

 private:
  DicFile<B>& d() { return *dic_; }
  HVokaIndex<B>& index() { return dic_->Index(); }
  HVokaData<B>& data() { return dic_->Data(); }

  int Rand(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::string ToAscii(const Unit* w) {
    std::string s;
    for (; *w; ++w) s.push_back(static_cast<char>(*w));
    return s;
  }

  void Step() {
    int op = Rand(100);
    bool any = !model_.empty();
    if (op < 30 || !any) {
      AddBlock();
    } else if (op < 45) {
      GrowBlock();
    } else if (op < 52) {
      ShrinkBlock();
    } else if (op < 70) {
      FreeBlock();
    } else if (op < 76) {
      RelocateBlock();
    } else if (op < 84) {
      ASSERT_GE(d().CompactionStep(), 0) << d().Error();
    } else if (op < 92) {
      Rename();
    } else if (op < 95) {
      ASSERT_EQ(d().GrowIndexArea(1 + Rand(3)), 0) << d().Error();
    } else {
      ASSERT_GE(d().SetFastMode(Rand(2) == 0), 0);
    }
    if (d().WriteThrough()) {
      ASSERT_EQ(d().FullFlush(), 0) << d().Error();
    }
  }

  void AddBlock() {
    std::string word;
    do {
      word = "k" + std::to_string(Rand(100000));
    } while (model_.count(word));
    int32_t units = Rand(10) == 0 ? 10 + Rand(40) : 1 + Rand(4);
    uint32_t marker = static_cast<uint32_t>(rng_());
    int32_t n = data().NewBlock(static_cast<uint16_t>(units));
    ASSERT_GE(n, 0) << d().Error();
    StoreLE32(data().Buffer() + 4, marker);
    ASSERT_EQ(data().MarkWritten(n), 0);
    auto w = vktest::Word<B>(word);
    int32_t pos = 0;
    if (index().Count() > 0) {
      pos = index().Find(w.c_str());
      if (CompareWords(w.c_str(), index().Word(pos)) > 0) ++pos;
    }
    ASSERT_EQ(d().InsertIndex(pos, n, w.c_str()), 0) << d().Error();
    model_[word] = ModelBlock{units, marker};
  }

  int32_t PickEntry() { return Rand(index().Count()); }

  void GrowBlock() {
    int32_t pos = PickEntry();
    int32_t n = index().BlockNumber(pos);
    ModelBlock& m = model_[ToAscii(index().Word(pos))];
    if (m.units > 60) return;
    ASSERT_EQ(data().Load(n), 0) << d().Error();
    int32_t to = m.units + 1 + Rand(4);
    int32_t place = data().GrowBlock(n, m.units, to, true);
    ASSERT_GE(place, 0) << d().Error();
    ASSERT_EQ(data().MarkWritten(place), 0);
    index().SetBlockNumber(pos, place);
    m.units = to;
  }

  void ShrinkBlock() {
    int32_t pos = PickEntry();
    ModelBlock& m = model_[ToAscii(index().Word(pos))];
    if (m.units < 2) return;
    int32_t n = index().BlockNumber(pos);
    ASSERT_EQ(data().Load(n), 0) << d().Error();
    int32_t to = 1 + Rand(m.units - 1);
    ASSERT_EQ(data().ShrinkBlock(n, to), 0);
    ASSERT_EQ(data().MarkWritten(n), 0);
    m.units = to;
  }

  void FreeBlock() {
    int32_t pos = PickEntry();
    int32_t n = index().BlockNumber(pos);
    ASSERT_EQ(data().Load(n), 0) << d().Error();
    ASSERT_EQ(data().FreeBlock(n), 0);
    model_.erase(ToAscii(index().Word(pos)));
    ASSERT_EQ(index().Remove(pos), 0);
  }

  void RelocateBlock() {
    int32_t pos = PickEntry();
    int32_t place = data().RelocateBlock(index().BlockNumber(pos), 0);
    ASSERT_GE(place, 0) << d().Error();
    index().SetBlockNumber(pos, place);
  }

  void Rename() {
    int32_t pos = PickEntry();
    std::string old = ToAscii(index().Word(pos));
    std::string now = old + static_cast<char>('a' + Rand(26));
    if (model_.count(now)) return;
    if (pos + 1 < index().Count() && ToAscii(index().Word(pos + 1)) <= now) return;
    auto w = vktest::Word<B>(now);
    ASSERT_EQ(d().RenameIndex(pos, w.c_str()), 0) << d().Error();
    model_[now] = model_[old];
    model_.erase(old);
  }

  void Reopen() {
    ASSERT_EQ(d().Close(), 0) << d().Error();
    dic_.reset(new DicFile<B>);
    ASSERT_EQ(dic_->Open(path_, false), 0) << dic_->Error();
    Verify();
  }

  void Verify() {
    const DicHeader& h = d().Header();
    const int32_t unit = h.blockSize();
    const int32_t end = h.blockCount();
    const int64_t dataStart = h.IndexAreaOffset() + int64_t(h.indexBlocks()) * unit;
    auto bytes = vktest::ReadAll(path_);
    ASSERT_EQ(int64_t(bytes.size()), dataStart + int64_t(end) * unit) << "the file ends at the data area's end";

    std::vector<char> state(size_t(end), 0);  // 0 unseen, 1 used, 2 free
    int32_t prev = -1;
    for (int32_t u = h.freeBlock(); u != -1;) {
      ASSERT_GT(u, prev) << "free chain ascends";
      ASSERT_LT(u, end);
      size_t off = size_t(dataStart + int64_t(u) * unit);
      ASSERT_EQ(LoadLE16(&bytes[off]), 0) << "free unit " << u << " has a zero size word";
      state[size_t(u)] = 2;
      prev = u;
      u = int32_t(LoadLE32(&bytes[off + 2]));
    }

    ASSERT_EQ(size_t(index().Count()), model_.size());
    std::set<int32_t> blocks;
    for (int32_t i = 0; i < index().Count(); ++i) {
      std::string word = ToAscii(index().Word(i));
      if (i > 0) {
        ASSERT_LT(CompareWords(index().Word(i - 1), index().Word(i)), 0);
      }
      auto it = model_.find(word);
      ASSERT_NE(it, model_.end()) << word;
      int32_t n = index().BlockNumber(i);
      ASSERT_TRUE(blocks.insert(n).second) << "block " << n << " named twice";
      ASSERT_EQ(data().Load(n), 0) << d().Error();
      ASSERT_EQ(UnitsOf(data().BufferedSizeWord()), it->second.units) << word;
      ASSERT_EQ(LoadLE32(data().Buffer() + 4), it->second.marker) << word;
      for (int32_t k = 0; k < it->second.units; ++k) {
        ASSERT_LT(n + k, end);
        ASSERT_EQ(state[size_t(n + k)], 0) << "unit " << n + k << " used twice or also free";
        state[size_t(n + k)] = 1;
      }
    }
    for (int32_t u = 0; u < end; ++u) ASSERT_NE(state[size_t(u)], 0) << "unit " << u << " neither used nor free";
  }

  std::mt19937_64 rng_;
  std::string path_;
  std::unique_ptr<DicFile<B>> dic_;
  std::map<std::string, ModelBlock> model_;
};

template <class B>
class StoreRandomTest : public ::testing::Test {};
using Builds = vktest::ByteAndUnitBuilds;
TYPED_TEST_SUITE(StoreRandomTest, Builds);

TYPED_TEST(StoreRandomTest, MatchesTheModel) {
  const uint64_t fixed = EnvNumber("VK_SEED", 0);
  const int ops = static_cast<int>(EnvNumber("VK_STORE_OPS", 4000));
  const int runs = fixed ? 1 : 3;
  for (int r = 0; r < runs; ++r) {
    uint64_t seed = fixed ? fixed : 1000 + r;
    SCOPED_TRACE("VK_SEED=" + std::to_string(seed));
    vktest::TempDir dir;
    StoreRun<TypeParam> run(seed, dir.Path("random.dic"));
    run.Run(ops);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
