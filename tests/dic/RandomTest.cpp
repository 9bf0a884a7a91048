// Randomised runs of every mutation against an in-memory model, with fast
// mode switched on and off. Every few thousand operations the dictionary is
// closed, its file walked whole (units, index, blocks, free chain, header)
// and every entry compared with the model, fields and attribute, in order;
// then it is opened again. At the end the file is optimised and compared
// with the model once more.
//
//   VK_MUTATION_OPS=100000   operations per build and fast-mode setting
//   VK_MUTATION_SEED=n       the seed (a failure prints the one it used)
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

#include "MutationTestUtil.h"
#include "dic/MergePolicy.h"
#include "optimize/OptimizeTestUtil.h"
#include "support/EntryModel.h"

namespace vktest {
namespace {

int EnvInt(const char* name, int fallback) {
  const char* s = std::getenv(name);
  return s && *s ? std::atoi(s) : fallback;
}

template <class B>
class RandomTest : public ::testing::Test {
 protected:
  using IChar = typename B::IChar;
  using Text = std::basic_string<IChar>;
  using Word = std::basic_string<typename B::Unit>;
  static constexpr bool kWide = sizeof(IChar) == 2;

  using Model = EntryModel<B>;

  std::mt19937 rng_;
  std::vector<Text> words_;

  size_t R(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
  bool P(int percent) { return int(R(100)) < percent; }

  static Text From(const char16_t* s) {
    Text t;
    for (; *s; ++s) t.push_back(static_cast<IChar>(*s));
    return t;
  }

  // Headwords that share prefixes, carry multibyte and supplementary
  // characters, and reach the 248-unit limit.
  void MakeWords() {
    std::vector<Text> pieces;
    if constexpr (kWide) {
      for (const char16_t* p : {u"a", u"ab", u"abc", u"b", u"ba", u"\u00E9", u"\u6F22", u"\U0001D11E", u"z", u"m"})
        pieces.push_back(From(p));
    } else {
      for (const char* p : {"a", "ab", "abc", "b", "ba", "\xE9", "\x82\xA0", "\xFF", "z", "m"}) pieces.push_back(p);
    }
    std::map<Word, Text> unique;
    while (unique.size() < 400) {
      Text w;
      size_t n = 1 + R(5);
      for (size_t i = 0; i < n; ++i) w += pieces[R(pieces.size())];
      unique[Stored<B>(w)] = w;
    }
    for (int i = 0; i < 6; ++i) {
      // 248 stored units: in the UTF-8 build 244 bytes and a 4-byte character.
      Text w(kWide && sizeof(typename B::Unit) == 1 ? 244 : kWide ? 246 : 248, IChar('a' + i));
      if (kWide) w += From(u"\U0001D11E");
      unique[Stored<B>(w)] = w;
    }
    for (auto& p : unique) words_.push_back(p.second);
  }

  Text Str(size_t max) {
    static const char16_t kAlphabet[] = u"abcxyz ,.?\u3001\u3002\u2026\u25C6\u00E9\u6F22";
    Text t;
    size_t n = R(max + 1);
    for (size_t i = 0; i < n; ++i) {
      char16_t c = kAlphabet[R(sizeof kAlphabet / sizeof kAlphabet[0] - 1)];
      if (!kWide && c > 0x7F) c = 0xE9;
      t.push_back(static_cast<IChar>(c));
    }
    return t;
  }

  vk::Japa<B> RandomFields() {
    vk::Japa<B> f;
    f.attribute = static_cast<uint8_t>(R(256));
    f.translation = Str(12);
    if (P(30)) f.example = Str(15);
    if (P(20)) f.pronunciation = Str(8);
    if (P(2)) {
      // Large enough for a long entry where the build has them.
      f.example = Text(B::kLongEntries ? 33000 + R(3000) : 15000 + R(10000), IChar('e'));
    } else if (P(3)) {
      f.translation = Text(200 + R(400), IChar('t'));
    }
    return f;
  }

  void Compare(const Model& model, const std::string& path, uint32_t seed, int op) {
    Walk<B> w;
    WalkFile<B>(path, &w);
    ASSERT_FALSE(::testing::Test::HasFailure()) << "seed " << seed << " after op " << op;
    ASSERT_EQ(w.entries.size(), model.size()) << "seed " << seed << " after op " << op;
    size_t i = 0;
    for (const auto& m : model.entries()) {
      const WalkedEntry<B>& e = w.entries[i++];
      ASSERT_TRUE(e.word == m.second.word) << "seed " << seed << " op " << op << " entry " << i;
      const vk::Japa<B>& f = e.fields;
      ASSERT_EQ(f.attribute, m.second.fields.attribute) << "seed " << seed << " op " << op << " entry " << i;
      ASSERT_TRUE(f.translation == m.second.fields.translation) << "seed " << seed << " op " << op << " entry " << i;
      ASSERT_TRUE(f.example == m.second.fields.example) << "seed " << seed << " op " << op << " entry " << i;
      ASSERT_TRUE(f.pronunciation == m.second.fields.pronunciation) << "seed " << seed << " op " << op;
    }
  }

  void Run(bool fast) {
    const uint32_t seed = static_cast<uint32_t>(EnvInt("VK_MUTATION_SEED", 20240611)) + (fast ? 1 : 0);
    const int ops = EnvInt("VK_MUTATION_OPS", 2000);
    const int every = std::max(ops / 4, 500);
    SCOPED_TRACE("seed " + std::to_string(seed) + (fast ? " (fast mode)" : ""));
    rng_.seed(seed);
    MakeWords();
    TestDic<B> dic;
    dic.Create();
    if (fast) dic.v().SetFast(true);
    Model model;
    vk::QueryCounters counts, want;
    for (int op = 0; op < ops; ++op) {
      const Text& w = words_[R(words_.size())];
      const bool exists = model.Has(w);
      auto& v = dic.v();
      const size_t kind = R(100);
      int32_t rc;
      if (kind < 30) {
        vk::Japa<B> f = RandomFields();
        rc = v.RecordWord(w.c_str(), f);
        ASSERT_EQ(rc, 1) << "record, seed " << seed << " op " << op << " code " << v.Error();
        model.Record(w, f);
      } else if (kind < 36) {
        vk::Japa<B> f = RandomFields();
        rc = v.UpdateWord(w.c_str(), f);
        ASSERT_EQ(rc, exists ? 1 : 0) << "update, seed " << seed << " op " << op;
        model.Update(w, f);
      } else if (kind < 52) {
        rc = v.EraseWord(w.c_str());
        ASSERT_EQ(rc, 1) << "erase, seed " << seed << " op " << op;
        model.Erase(w);
      } else if (kind < 58) {
        const Text& to = words_[R(words_.size())];
        const bool ok = exists && !model.Has(to);
        rc = v.RenameWord(w.c_str(), to.c_str());
        ASSERT_EQ(rc, ok ? 1 : 0) << "rename, seed " << seed << " op " << op << " code " << v.Error();
        model.Rename(w, to);
      } else if (kind < 64) {
        const bool example = P(50);
        Text t = Str(10);
        rc = example ? dic.m().ChangeExample(w.c_str(), t.c_str()) : dic.m().ChangeTranslation(w.c_str(), t.c_str());
        ASSERT_EQ(rc, exists ? 1 : 0) << "change, seed " << seed << " op " << op;
        model.ChangeField(w, t, example);
      } else if (kind < 72) {
        const int which = int(R(3));
        const int32_t a = int32_t(R(300)) - 20, b = int32_t(R(20)) - 5, c = int32_t(R(20));
        rc = which == 0 ? dic.m().SetAttr(w.c_str(), a)
                        : which == 1 ? dic.m().ChangeLevel(w.c_str(), a) : dic.m().AddLevel(w.c_str(), a % 20, b, c);
        ASSERT_EQ(rc, exists ? 1 : 0) << "attribute, seed " << seed << " op " << op;
        model.ChangeAttribute(w, which, which == 2 ? a % 20 : a, b, c);
      } else {
        static const int32_t kFlags[] = {0x1, 0x10, 0x400, 0x800, 0x1000, 0x10000, 0x20000, 0x40000, 0x80000, 0x100000, 0x200000};
        const int32_t rule = int32_t(R(8));
        int32_t flags = 0;
        for (int32_t f : kFlags)
          if (P(35)) flags |= f;
        vk::Japa<B> n = RandomFields();
        if (P(15)) n.translation += From(u"\u3010\u30EC\u30D9\u30EB\u30117");
        if (P(15)) n.translation = From(u"\u3010\uFF20\u3011") + n.translation;
        if (exists && P(20)) n = model.Find(w)->fields;  // the same texts again
        rc = dic.m().Query(w.c_str(), n, rule, flags, &counts);
        ASSERT_EQ(rc, 0) << "query, seed " << seed << " op " << op << " code " << v.Error();
        model.Query(w, n, rule, flags, &want);
        ASSERT_EQ(counts.existing, want.existing) << "seed " << seed << " op " << op;
        ASSERT_EQ(counts.added, want.added) << "seed " << seed << " op " << op;
        ASSERT_EQ(counts.tooLong, want.tooLong) << "seed " << seed << " op " << op;
      }
      ASSERT_EQ(uint32_t(v.WordCount()), model.size()) << "seed " << seed << " op " << op;
      if ((op + 1) % every == 0 || op + 1 == ops) {
        dic.Close();
        Compare(model, dic.path(), seed, op);
        if (HasFailure()) return;
        dic.Open();
        if (fast) dic.v().SetFast(true);
      } else if (P(1)) {
        dic.v().SetFast(fast ? P(80) : P(20));
      }
    }
    // What the run left, optimised: the same entries, each block's bytes
    // kept, packed in index order without a free unit, and a clean check.
    dic.Close();
    Walk<B> before;
    WalkFile<B>(dic.path(), &before);
    OptimizeRecorder<B> r;
    ASSERT_EQ(Optimize<B>(dic.path(), &r), 0) << "seed " << seed;
    Compare(model, dic.path(), seed, ops);
    ExpectOptimized<B>(dic.path(), before);
  }
};

TYPED_TEST_SUITE(RandomTest, AllBuilds, BuildNames);

TYPED_TEST(RandomTest, WriteThrough) { this->Run(false); }
TYPED_TEST(RandomTest, FastMode) { this->Run(true); }

}  // namespace
}  // namespace vktest
