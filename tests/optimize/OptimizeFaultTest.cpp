// Faults and crashes during an optimisation. A read or write that fails at
// any moment of the run reports reason 2 and leaves the file exactly as it
// was before the run (after the next open, when the rollback itself could
// not be written); a process killed at any write leaves it as before or as
// after the run.
#include <gtest/gtest.h>

#include <functional>

#include "file/Journal.h"
#include "optimize/OptimizeTestUtil.h"
#include "support/Builds.h"
#include "support/CrashImageEnv.h"
#include "support/FaultEnv.h"

namespace vktest {
namespace {

template <class B>
class OptimizeFaultTest : public ::testing::Test {
 public:
  // Out of order, among free units, with more blocks in the way of block 0
  // than the buffer holds.
  void Make() {
    std::vector<int32_t> units(70, 1);
    units[0] = 66;
    units[5] = 3;
    std::vector<Slot> slots;
    for (int32_t k = 69; k >= 1; --k) {
      slots.push_back(Blk(k));
      if (k % 7 == 0) slots.push_back(Free(1 + k % 3));
    }
    slots.push_back(Blk(0));
    slots.push_back(Free(2));
    BuildBlocks<B>(path_, units);
    ASSERT_FALSE(this->HasFailure());
    Arrange<B>(path_, units, slots);
    before_ = Walk<B>();
    WalkFile<B>(path_, &before_);
    bytes_ = ReadAll(path_);
  }

  // Opens and closes the file as the next user would: a journal left
  // behind is rolled back.
  void Reopen() {
    vk::VkcDic<B> dic;
    ASSERT_EQ(dic.OpenDic(path_, nullptr, false), 0) << dic.Error();
    dic.CloseDic();
    EXPECT_FALSE(FileExists(vk::Journal::PathFor(path_)));
  }

  TempDir dir_;
  std::string path_ = dir_.Path("f.dic");
  Walk<B> before_;
  std::vector<uint8_t> bytes_;
};

TYPED_TEST_SUITE(OptimizeFaultTest, AllBuilds, BuildNames);

TYPED_TEST(OptimizeFaultTest, FailedReadsAndWritesLeaveTheFileAsBefore) {
  using B = TypeParam;
  // Each fault is armed after the open; the run meets it when it makes
  // more calls of its kind (or writes more bytes) than `n` says.
  struct Case {
    const char* name;
    std::function<void(FaultEnv&, int)> arm;
    std::function<bool(FaultEnv&, int)> met;
  };
  auto reads = [](FaultEnv& e, int n) { return e.reads() > n; };
  auto writes = [](FaultEnv& e, int n) { return e.writes() > n; };
  const std::vector<Case> cases = {
      {"a read fails", [](FaultEnv& e, int n) { e.FailReadAfter(n, true); }, reads},
      {"every read fails from one on", [](FaultEnv& e, int n) { e.FailReadAfter(n); }, reads},
      {"a write fails", [](FaultEnv& e, int n) { e.FailWriteAfter(n, true); }, writes},
      {"every write fails from one on", [](FaultEnv& e, int n) { e.FailWriteAfter(n); }, writes},
      {"a write is short", [](FaultEnv& e, int n) { e.ShortWriteAfter(n, true); }, writes},
      {"a seek fails", [](FaultEnv& e, int n) { e.FailSeekAfter(n, true); },
       [](FaultEnv& e, int n) { return e.seeks() > n; }},
      {"the disk fills", [](FaultEnv& e, int n) { e.DiskFullAfterBytes(int64_t(n) * 509); },
       [](FaultEnv& e, int n) { return e.bytesWritten() > int64_t(n) * 509; }},
  };
  for (const Case& c : cases) {
    int failures = 0;
    for (int n = 0; n < 5000; n += n < 40 ? 1 : 3) {
      SCOPED_TRACE(std::string(c.name) + " after " + std::to_string(n));
      this->Make();
      if (this->HasFatalFailure()) return;
      FaultEnv env;
      OptimizeRecorder<B> r;
      int32_t rc;
      bool met = false;
      {
        vk::VkcDic<B> dic(&env);
        ASSERT_EQ(dic.OpenDic(this->path_, nullptr, false), 0);
        env.Reset();
        c.arm(env, n);
        rc = vk::RunOptimize(dic, r.Callback());
        if (rc != 0) {
          EXPECT_NE(dic.Error(), 0);
        }
        met = c.met(env, n);
        dic.CloseDic();
      }
      if (rc == 0) {
        // The fault missed the run, or met a read whose failure costs
        // nothing (the free chain is then taken as far as it was read), or
        // hit only the close, which keeps what the run committed.
        EXPECT_EQ(r.Outcome(), (std::vector<std::string>{"11", kDoneText}));
        env.Reset();
        this->Reopen();
        ExpectOptimized<B>(this->path_, this->before_);
        if (this->HasFailure()) return;
        if (!met) break;
        continue;
      }
      ++failures;
      EXPECT_EQ(rc, -1);
      EXPECT_EQ(r.Outcome(), (std::vector<std::string>{"13:2", kDiskErrorText}));
      env.Reset();
      this->Reopen();
      EXPECT_TRUE(ReadAll(this->path_) == this->bytes_) << "the file is not as it was before the run";
      if (this->HasFailure()) return;
    }
    EXPECT_GT(failures, 0) << c.name;
  }
}

TYPED_TEST(OptimizeFaultTest, AFileThatOpensReadOnlyIsLeftAlone) {
  using B = TypeParam;
  this->Make();
  FaultEnv env;
  env.FailOpen(vk::OpenMode::kReadWrite, 5);
  OptimizeRecorder<B> r;
  vk::VkcDic<B> dic(&env);
  ASSERT_EQ(dic.OpenDic(this->path_, nullptr, false), 0);
  ASSERT_TRUE(dic.IsReadOnly());
  EXPECT_EQ(vk::RunOptimize(dic, r.Callback()), -1);
  EXPECT_EQ(dic.Error(), vk::kErrReadOnly);
  dic.CloseDic();
  EXPECT_EQ(r.Outcome(), (std::vector<std::string>{"13:2", kDiskErrorText}));
  EXPECT_TRUE(ReadAll(this->path_) == this->bytes_);
}

// A crash image at every write of the run and of the close, whole and half
// written: the next open finds the file as before the run, as the run
// committed it, or as the close left it.
TYPED_TEST(OptimizeFaultTest, KilledAtAnyWriteLeavesTheFileBeforeOrAfter) {
  using B = TypeParam;
  int images = 0;
  for (bool half : {false, true}) {
    for (int n = 0;; ++n) {
      SCOPED_TRACE(std::string(half ? "half of " : "") + "write " + std::to_string(n));
      this->Make();
      if (this->HasFatalFailure()) return;
      TempDir image;
      CrashImageEnv env;
      std::vector<uint8_t> committed;
      int runWrites = 0;
      {
        vk::VkcDic<B> dic(&env);
        ASSERT_EQ(dic.OpenDic(this->path_, nullptr, false), 0);
        env.ImageAtWrite(n, half, this->dir_.path(), image.path());
        OptimizeRecorder<B> r;
        ASSERT_EQ(vk::RunOptimize(dic, r.Callback()), 0);
        runWrites = env.writes();
        committed = ReadAll(this->path_);
        dic.CloseDic();
      }
      const std::vector<uint8_t> closed = ReadAll(this->path_);
      if (!env.imageTaken()) break;
      ++images;
      const std::string imaged = image.Path("f.dic");
      {
        vk::VkcDic<B> dic;
        ASSERT_EQ(dic.OpenDic(imaged, nullptr, false), 0) << dic.Error();
        dic.CloseDic();
      }
      EXPECT_FALSE(FileExists(vk::Journal::PathFor(imaged)));
      const std::vector<uint8_t> got = ReadAll(imaged);
      if (n < runWrites) {
        EXPECT_TRUE(got == this->bytes_ || got == committed) << "a crash inside the run";
      } else {
        EXPECT_TRUE(got == committed || got == closed) << "a crash inside the close";
      }
      if (got != this->bytes_) {
        // Whatever the moment, the entries are all there.
        Walk<B> w;
        WalkFile<B>(imaged, &w);
        EXPECT_EQ(EntryTexts(w), EntryTexts(this->before_));
      }
      if (this->HasFailure()) return;
    }
  }
  EXPECT_GT(images, 100);
}

}  // namespace
}  // namespace vktest
