// The fault injector itself: other layers' tests rely on its counting and
// arming being exact.
#include "support/FaultEnv.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/TempDir.h"

namespace {

class FaultEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(env.Open(dir.Path("a"), vk::OpenMode::kCreate, &a), 0);
    ASSERT_EQ(env.Open(dir.Path("b"), vk::OpenMode::kCreate, &b), 0);
    size_t put;
    ASSERT_EQ(a->Write("aaaaaaaa", 8, &put), 0);
    ASSERT_EQ(b->Write("bbbbbbbb", 8, &put), 0);
    env.Reset();
  }
  // Result of one read of 4 bytes at 0: the system error, or -(bytes got).
  int ReadA() {
    char buf[4];
    size_t got;
    a->Seek(0);
    int err = a->Read(buf, 4, &got);
    return err ? err : -static_cast<int>(got);
  }

  vktest::TempDir dir;
  vktest::FaultEnv env;
  std::unique_ptr<vk::File> a, b;
};

TEST_F(FaultEnvTest, ArmingCountsFromNowAndOnceHitsOneCall) {
  for (bool once : {false, true}) {
    SCOPED_TRACE(once);
    env.Reset();
    EXPECT_EQ(ReadA(), -4);
    EXPECT_EQ(ReadA(), -4);
    env.FailReadAfter(2, once, 23);
    EXPECT_EQ(ReadA(), -4);
    EXPECT_EQ(ReadA(), -4);
    EXPECT_EQ(ReadA(), 23);
    EXPECT_EQ(ReadA(), once ? -4 : 23);
    EXPECT_EQ(ReadA(), once ? -4 : 23);
    EXPECT_EQ(env.reads(), 7);
  }
}

TEST_F(FaultEnvTest, KindsAreCountedSeparatelyAcrossFiles) {
  env.FailWriteAfter(1);
  char buf[2];
  size_t n;
  EXPECT_EQ(a->Read(buf, 2, &n), 0);
  EXPECT_EQ(b->Read(buf, 2, &n), 0);
  EXPECT_EQ(a->Seek(0), 0);
  EXPECT_EQ(b->Write("x", 1, &n), 0) << "reads and seeks do not use up the write count";
  EXPECT_EQ(a->Write("x", 1, &n), 29) << "the count is shared by all files";
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(env.reads(), 2);
  EXPECT_EQ(env.writes(), 2);
  EXPECT_EQ(env.seeks(), 1);
  env.Reset();
  EXPECT_EQ(env.reads() + env.writes() + env.seeks(), 0);
  EXPECT_EQ(a->Write("x", 1, &n), 0);
}

TEST_F(FaultEnvTest, ShortTransfersMoveHalf) {
  env.ShortReadAfter(0, true);
  EXPECT_EQ(ReadA(), -2);
  EXPECT_EQ(a->Position(), 2);
  env.ShortWriteAfter(0, true);
  size_t put;
  ASSERT_EQ(a->Seek(0), 0);
  EXPECT_EQ(a->Write("xyzw", 4, &put), 0);
  EXPECT_EQ(put, 2u);
  EXPECT_EQ(a->Position(), 2);
  EXPECT_EQ(ReadA(), -4);
}

TEST_F(FaultEnvTest, DiskFullCountsEveryByteAndCanBeLifted) {
  env.DiskFullAfterBytes(6);
  size_t put;
  EXPECT_EQ(a->Write("1234", 4, &put), 0);  // overwriting counts too
  EXPECT_EQ(b->Write("5678", 4, &put), 39);
  EXPECT_EQ(put, 2u);
  EXPECT_EQ(a->Write("9", 1, &put), 39);
  EXPECT_EQ(put, 0u);
  EXPECT_EQ(env.bytesWritten(), 6);
  env.DiskFullAfterBytes(-1);
  EXPECT_EQ(a->Write("9", 1, &put), 0);
  EXPECT_EQ(put, 1u);
}

TEST_F(FaultEnvTest, FailedSeekAndFailedOpen) {
  ASSERT_EQ(a->Seek(3), 0);
  env.FailSeekAfter(0, true);
  EXPECT_NE(a->Seek(5), 0);
  EXPECT_EQ(a->Position(), 3);
  EXPECT_EQ(a->Seek(5), 0);

  a.reset();
  env.FailOpen(vk::OpenMode::kReadOnly, 21);
  std::unique_ptr<vk::File> f;
  EXPECT_EQ(env.Open(dir.Path("a"), vk::OpenMode::kReadOnly, &f), 21);
  EXPECT_EQ(f, nullptr);
  EXPECT_EQ(env.Open(dir.Path("a"), vk::OpenMode::kReadWrite, &f), 0);
  EXPECT_EQ(env.opens(), 2);
}

TEST_F(FaultEnvTest, FilesMayOutliveTheEnv) {
  auto env2 = std::make_unique<vktest::FaultEnv>();
  std::unique_ptr<vk::File> f;
  ASSERT_EQ(env2->Open(dir.Path("c"), vk::OpenMode::kCreate, &f), 0);
  env2->FailWriteAfter(0);
  env2.reset();
  size_t put;
  EXPECT_EQ(f->Write("x", 1, &put), 29);
}

}  // namespace
