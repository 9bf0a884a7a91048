// Mutations under file faults: a write that fails anywhere inside a record,
// a rewrite or an erase (the journal's own writes included) fails the call
// and leaves the file byte for byte as it was before the call; a full disk
// answers 4 and keeps every entry stored before it, a failed write answers
// 5, a data area at its last addressable unit 3.
#include <gtest/gtest.h>

#include <unistd.h>

#include <map>

#include "MutationTestUtil.h"
#include "format/HeaderCodec.h"
#include "support/FaultEnv.h"

namespace vktest {
namespace {

template <class B>
class FaultTest : public ::testing::Test {
 protected:
  using Text = std::basic_string<typename B::IChar>;
  using Model = std::map<std::string, size_t>;  // headword -> translation length

  static std::string Name(int i) { return "k" + std::to_string(100 + i); }

  // What the file at `path` holds, walked block by block.
  static Model Stored(const std::string& path) {
    Walk<B> w;
    WalkFile<B>(path, &w);
    Model found;
    for (const auto& e : w.entries) found[std::string(e.word.begin(), e.word.end())] = e.fields.translation.size();
    return found;
  }

  // A dictionary of a few blocks whose entries average over 64 bytes, so
  // that the next records split and grow blocks.
  void Build(const std::string& path, Model* model) {
    vk::Voka<B> v;
    ASSERT_EQ(v.CreateDic(path, nullptr, false), 0);
    for (int i = 0; i < 14; ++i) {
      size_t n = 40 + size_t(i * 37 % 90);
      ASSERT_EQ(v.RecordWord(T<B>(Name(i * 2)).c_str(), Fields<B>(Text(n, typename B::IChar('x')))), 1);
      (*model)[Name(i * 2)] = n;
    }
    v.CloseDic();
  }

  // Runs `op` with the n-th write failing once, for every n until the op
  // gets through without meeting the fault; after each run the file must be
  // sound and hold the model's entries, the op's own entry as it reported,
  // and a failed op must have left the file exactly as it was.
  template <class Op>
  void EveryWriteFails(Op op, const std::string& word, size_t length, bool erases) {
    int reported = 0;
    for (int n = 0; n < 200; ++n) {
      SCOPED_TRACE("write " + std::to_string(n) + " fails");
      TempDir dir;
      const std::string path = dir.Path("f.dic");
      Model model;
      Build(path, &model);
      const std::vector<uint8_t> before = FileBytes(path);
      FaultEnv env;
      int32_t rc, code;
      {
        vk::Voka<B> v(&env);
        ASSERT_EQ(v.OpenDic(path, nullptr, false), 0);
        env.FailWriteAfter(n, true);
        rc = op(v);
        code = v.Error();
        int failed = env.writes() > n;
        env.Reset();
        v.CloseDic();
        if (!failed) {
          EXPECT_EQ(rc, 1);
          break;
        }
      }
      if (rc != 1) {
        // The free chain's writer reports any failed link as 4.
        EXPECT_TRUE(code == vk::kErrReadWrite || code == vk::kErrDiskFull) << code;
        EXPECT_TRUE(FileBytes(path) == before) << "a failed change leaves the file as it was";
        ++reported;
      }
      const Model found = Stored(path);
      if (HasFailure()) return;
      if (rc == 1) {
        if (erases) {
          model.erase(word);
        } else {
          model[word] = length;
        }
      }
      EXPECT_EQ(found, model);
    }
    EXPECT_GT(reported, 0);
  }
};

TYPED_TEST_SUITE(FaultTest, AllBuilds, BuildNames);

TYPED_TEST(FaultTest, FailedWriteInARecordThatSplits) {
  using B = TypeParam;
  using Text = typename FaultTest<B>::Text;
  const std::string word = this->Name(9);
  this->EveryWriteFails(
      [&](vk::Voka<B>& v) {
        return v.RecordWord(T<B>(word).c_str(), Fields<B>(Text(150, typename B::IChar('y'))));
      },
      word, 150, false);
}

TYPED_TEST(FaultTest, FailedWriteInARewriteThatGrows) {
  using B = TypeParam;
  using Text = typename FaultTest<B>::Text;
  const std::string word = this->Name(4);
  this->EveryWriteFails(
      [&](vk::Voka<B>& v) {
        return v.RecordWord(T<B>(word).c_str(), Fields<B>(Text(700, typename B::IChar('y'))));
      },
      word, 700, false);
}

TYPED_TEST(FaultTest, FailedWriteInAnErase) {
  using B = TypeParam;
  const std::string word = this->Name(0);
  this->EveryWriteFails([&](vk::Voka<B>& v) { return v.EraseWord(T<B>(word).c_str()); }, word, 0, true);
}

// A full disk answers 4; every entry stored before it stays, the file is
// sound, and once there is room again the dictionary takes entries.
TYPED_TEST(FaultTest, FullDiskAnswers4AndKeepsWhatWasStored) {
  using B = TypeParam;
  using Text = typename FaultTest<B>::Text;
  for (bool fast : {false, true}) {
    SCOPED_TRACE(fast ? "fast mode" : "write-through");
    TempDir dir;
    const std::string path = dir.Path("d.dic");
    typename FaultTest<B>::Model model;
    this->Build(path, &model);
    FaultEnv env;
    {
      vk::Voka<B> v(&env);
      ASSERT_EQ(v.OpenDic(path, nullptr, false), 0);
      if (fast) {
        ASSERT_EQ(v.SetFast(true), 1);
      }
      env.DiskFullAfterGrowth(fast ? 20000 : 6000);
      int32_t rc = 1;
      for (int i = 0; i < 400 && rc == 1; ++i) {
        rc = v.RecordWord(T<B>("n" + std::to_string(1000 + i)).c_str(), Fields<B>(Text(100, 'x')));
        if (rc == 1 && !fast) {
          model["n" + std::to_string(1000 + i)] = 100;
        }
      }
      // Fast mode holds its writes until it commits, when it is switched
      // off: the full disk shows there, and what the batch stored goes with
      // it, back to the last commit.
      if (fast) {
        EXPECT_EQ(rc, 1);
        rc = v.SetFast(false);
      }
      EXPECT_EQ(rc, -1);
      // A block copied aside to make room for the index reports any
      // failure as 5.
      EXPECT_TRUE(v.Error() == vk::kErrDiskFull || v.Error() == vk::kErrReadWrite) << v.Error();
      env.DiskFullAfterGrowth(-1);
      EXPECT_EQ(v.WordCount(), int32_t(model.size()));
      EXPECT_EQ(v.RecordWord(T<B>("zz").c_str(), Fields<B>(T<B>("after"))), 1);
      model["zz"] = 5;
      v.CloseDic();
    }
    const typename FaultTest<B>::Model found = this->Stored(path);
    if (this->HasFailure()) return;
    EXPECT_EQ(found, model);
  }
}

// In fast mode the writes are held until the commit; a close that cannot
// write them says so (-1, code 4) and leaves the file as last committed.
TYPED_TEST(FaultTest, CloseThatCannotWriteTheBatchSaysSo) {
  using B = TypeParam;
  using Text = typename FaultTest<B>::Text;
  TempDir dir;
  const std::string path = dir.Path("d.dic");
  typename FaultTest<B>::Model model;
  this->Build(path, &model);
  FaultEnv env;
  {
    vk::Voka<B> v(&env);
    ASSERT_EQ(v.OpenDic(path, nullptr, false), 0);
    ASSERT_EQ(v.SetFast(true), 1);
    for (int i = 0; i < 100; ++i)
      ASSERT_EQ(v.RecordWord(T<B>("n" + std::to_string(1000 + i)).c_str(), Fields<B>(Text(100, 'x'))), 1);
    env.DiskFullAfterGrowth(0);
    EXPECT_EQ(v.CloseFile(), -1);
    EXPECT_EQ(v.Error(), vk::kErrDiskFull);
  }
  EXPECT_EQ(this->Stored(path), model);
}

// No block may start past the last unit the build can address: a data area
// that already reaches it refuses the next new block with 3.
TYPED_TEST(FaultTest, DataAreaAtItsLastUnitAnswers3) {
  using B = TypeParam;
  TempDir dir;
  const std::string path = dir.Path("full.dic");
  {
    vk::Voka<B> v;
    ASSERT_EQ(v.CreateDic(path, nullptr, false), 0);
    ASSERT_EQ(v.RecordWord(T<B>("a").c_str(), Fields<B>(T<B>("x"))), 1);
    v.CloseDic();
  }
  // The data area is made to end at the last addressable unit (the units
  // between read as zeros from a sparse file).
  std::vector<uint8_t> file = FileBytes(path);
  vk::DicHeader h;
  vk::HeaderCodec<B>::FromFile(file.data(), h);
  h.setBlockCount(B::kMaxBlockStart);
  vk::HeaderCodec<B>::ToFile(h, file.data());
  PutFileBytes(path, file);
  ASSERT_EQ(::truncate(path.c_str(), 256 + 4 * 256 + off_t(B::kMaxBlockStart) * 256), 0);

  vk::Voka<B> v;
  ASSERT_EQ(v.OpenDic(path, nullptr, false), 0);
  int32_t rc = 1;
  int i = 0;
  for (; i < 1000 && rc == 1; ++i)
    rc = v.RecordWord(T<B>(this->Name(i)).c_str(), Fields<B>(typename FaultTest<B>::Text(200, 'x')));
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(v.Error(), vk::kErrDictionaryFull);
  // The data area stays within the bound (a 16-bit build's two-unit block
  // does not fit at its last unit: the first call is refused there).
  EXPECT_LE(v.Data().End(), B::kMaxDataUnits);
  // What was stored before stays readable; the refused entry is not there.
  EXPECT_EQ(v.FindWord(T<B>("a").c_str(), nullptr), 1);
  for (int j = 0; j + 1 < i; ++j) EXPECT_EQ(v.FindWord(T<B>(this->Name(j)).c_str(), nullptr), 1) << j;
  EXPECT_EQ(v.FindWord(T<B>(this->Name(i - 1)).c_str(), nullptr), 0);
  v.CloseDic();
  ::truncate(path.c_str(), 0);
}

}  // namespace
}  // namespace vktest
