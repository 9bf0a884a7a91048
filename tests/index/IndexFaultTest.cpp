// File faults under the index: a failed seek, read or write at set-up, load
// or save answers -1 with the file layer's code (2 at set-up), leaves the
// index usable, and a later save after the fault clears writes everything.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file/ErrorCodes.h"
#include "index/HVokaIndex.h"
#include "index/IndexTestUtil.h"
#include "support/FaultEnv.h"

namespace vkindextest {
namespace {

template <class B>
class IndexFaultTest : public ::testing::Test {
 protected:
  using S = std::basic_string<typename B::Unit>;
  static constexpr int32_t kArea = 256;

  IndexFaultTest() : file_(&env_) {}

  // A file whose area holds "b", "d", "f" at blocks 10, 20, 30; the file
  // is open and no fault is armed.
  void SetUp() override {
    file_.Create(FileImage(Bytes(kArea, 0)));
    vk::HVokaIndex<B> index(file_.file(), &file_.cell());
    ASSERT_EQ(index.SetUp(kAreaOffset, kArea, 0, false, 256), 0);
    const char* words[] = {"b", "d", "f"};
    for (int i = 0; i < 3; ++i) ASSERT_EQ(index.Insert(i, 10 * (i + 1), W<B>(words[i]).c_str()), 0);
    ASSERT_EQ(index.Save(), 0);
    image_ = Slurp(file_.path());
    env_.Reset();
  }

  std::unique_ptr<vk::HVokaIndex<B>> Loaded() {
    auto index = std::make_unique<vk::HVokaIndex<B>>(file_.file(), &file_.cell());
    EXPECT_EQ(index->SetUp(kAreaOffset, kArea, 3, false, 256), 0);
    EXPECT_EQ(index->Count(), 3);
    return index;
  }

  vktest::FaultEnv env_;
  ScratchFile file_;
  Bytes image_;
};

using FaultBuilds = vktest::ByteAndUnitBuilds;
TYPED_TEST_SUITE(IndexFaultTest, FaultBuilds, BuildNames);

TYPED_TEST(IndexFaultTest, SetUpReportsEveryFileFaultAsCode2) {
  const struct {
    const char* what;
    void (*arm)(vktest::FaultEnv&);
  } cases[] = {
      {"seek", [](vktest::FaultEnv& e) { e.FailSeekAfter(0, true); }},
      {"read", [](vktest::FaultEnv& e) { e.FailReadAfter(0, true); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    this->env_.Reset();
    c.arm(this->env_);
    vk::HVokaIndex<TypeParam> index(this->file_.file(), &this->file_.cell());
    EXPECT_EQ(index.SetUp(kAreaOffset, this->kArea, 3, false, 256), -1);
    EXPECT_EQ(this->file_.cell(), vk::kErrIndexMemory);
    EXPECT_EQ(index.Count(), 0);
    EXPECT_EQ(index.Capacity(), 0);
  }
}

TYPED_TEST(IndexFaultTest, LoadKeepsTheFileCode) {
  auto index = this->Loaded();
  this->env_.FailSeekAfter(0, true);
  EXPECT_EQ(index->Load(), -1);
  EXPECT_EQ(this->file_.cell(), vk::kErrSeek);

  this->env_.FailReadAfter(0, true);
  EXPECT_EQ(index->Load(), -1);
  EXPECT_EQ(this->file_.cell(), vk::kErrReadWrite);

  // A short read gives what was read: a sound prefix of the list.
  this->env_.ShortReadAfter(0, true);
  int n = index->Load();
  EXPECT_GE(n, 0);
  EXPECT_LE(n, 3);
  for (int32_t i = 0; i < n; ++i) EXPECT_EQ(index->BlockNumber(i), 10 * (i + 1));

  EXPECT_EQ(index->Load(), 3) << "nothing armed any more";
}

TYPED_TEST(IndexFaultTest, FailedSaveKeepsTheChangeForTheNextSave) {
  using B = TypeParam;
  using S = std::basic_string<typename B::Unit>;
  const struct {
    const char* what;
    void (*arm)(vktest::FaultEnv&);
    int32_t code;
  } cases[] = {
      {"seek", [](vktest::FaultEnv& e) { e.FailSeekAfter(0, true); }, vk::kErrSeek},
      {"write", [](vktest::FaultEnv& e) { e.FailWriteAfter(0, true); }, vk::kErrReadWrite},
      {"short write", [](vktest::FaultEnv& e) { e.ShortWriteAfter(0, true); }, vk::kErrDiskFull},
      {"disk full", [](vktest::FaultEnv& e) { e.DiskFullAfterBytes(3); }, vk::kErrDiskFull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    this->file_.Create(this->image_);
    auto index = this->Loaded();
    ASSERT_EQ(index->Rename(1, W<B>("dd").c_str()), 0);
    ASSERT_EQ(index->Insert(3, 40, W<B>("h").c_str()), 0);
    this->env_.Reset();
    c.arm(this->env_);
    EXPECT_EQ(index->Save(), -1);
    EXPECT_EQ(this->file_.cell(), c.code);
    EXPECT_TRUE(index->Changed());
    if (c.code != vk::kErrDiskFull) {
      EXPECT_EQ(Slurp(this->file_.path()), this->image_) << "nothing may be written";
    }

    this->env_.Reset();
    ASSERT_EQ(index->Save(), 0);
    EXPECT_FALSE(index->Changed());
    vk::HVokaIndex<B> back(this->file_.file(), &this->file_.cell());
    ASSERT_EQ(back.SetUp(kAreaOffset, this->kArea, 4, false, 256), 0);
    ASSERT_EQ(back.Count(), 4);
    EXPECT_EQ(S(back.Word(1)), W<B>("dd"));
    EXPECT_EQ(S(back.Word(3)), W<B>("h"));
    EXPECT_EQ(back.BlockNumber(3), 40);
  }
}

}  // namespace
}  // namespace vkindextest
