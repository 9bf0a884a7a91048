// VKOptimize in each engine library, through the client binding: the
// caller's record sees the kinds, texts and reason in its own string type,
// carries the engine's callback during the run and its own again after it,
// and a file that cannot be opened gives 0 with the handle's error code.
#include <gtest/gtest.h>

#include "api/ApiTestUtil.h"
#include "optimize/OptimizeTestUtil.h"

namespace vktest {
namespace {

template <class L>
class OptimizeApiTest : public ::testing::Test {
 public:
  using C = typename L::C;
  using B = typename L::B;
  using Param = typename vk::EngineExports<C>::OptimizeParam;
  using Check = decltype(Param::check);

  OptimizeApiTest() : lib_(L::kName) {}

  // What the caller's callback saw; one optimisation runs at a time.
  static std::vector<std::string>& Seen() {
    static std::vector<std::string> seen;
    return seen;
  }
  static int32_t Callback(int32_t kind, Check* check) {
    Param* p = reinterpret_cast<Param*>(check);
    std::string line = std::to_string(kind);
    if (kind == VK_CHECK_STATUS || kind == VK_OPTIMIZE_FAILURE) line += ":" + Utf8Of(p->check.message);
    if (kind == VK_OPTIMIZE_FAILED) line += ":" + std::to_string(p->reason);
    if (kind == VK_CHECK_POLL && p->check.callback == &Callback) line += ":own callback in the record";
    if (kind != VK_OPTIMIZE_PROGRESS) Seen().push_back(line);
    return 0;
  }

  std::basic_string<C> Name(const std::string& path) { return std::basic_string<C>(path.begin(), path.end()); }

  EngineLib<C> lib_;
  TempDir dir_;
};

TYPED_TEST_SUITE(OptimizeApiTest, AllLibraries, LibraryNames);

TYPED_TEST(OptimizeApiTest, OptimizesThroughTheCallersRecord) {
  using B = typename TestFixture::B;
  using Param = typename TestFixture::Param;
  const std::string path = this->dir_.Path("a.dic");
  BuildBlocks<B>(path, {2, 3});
  Arrange<B>(path, {2, 3}, {Blk(1), Free(1), Blk(0)});
  Walk<B> before;
  WalkFile<B>(path, &before);
  VKHandle h = this->lib_.CreateHandle();
  Param p{};
  p.check.callback = &TestFixture::Callback;
  TestFixture::Seen().clear();
  EXPECT_EQ(this->lib_.Optimize(h, this->Name(path).c_str(), &p), 1);
  EXPECT_EQ(p.check.callback, &TestFixture::Callback) << "the caller's callback is not back in the record";
  EXPECT_EQ(TestFixture::Seen(), (std::vector<std::string>{"7", "7", "11", kDoneText}));
  this->lib_.DeleteHandle(h);
  ExpectOptimized<B>(path, before);
}

TYPED_TEST(OptimizeApiTest, AFailureCarriesItsReasonAndMessage) {
  using B = typename TestFixture::B;
  using Param = typename TestFixture::Param;
  const std::string path = this->dir_.Path("d.dic");
  BuildBlocks<B>(path, {2, 3});
  {
    DamagedFile<B> f(path);
    f.SetIndexValue(1, 0);
    f.Save();
  }
  VKHandle h = this->lib_.CreateHandle();
  Param p{};
  p.check.callback = &TestFixture::Callback;
  TestFixture::Seen().clear();
  EXPECT_EQ(this->lib_.Optimize(h, this->Name(path).c_str(), &p), 1);
  EXPECT_EQ(TestFixture::Seen(), (std::vector<std::string>{"13:2", kDiskErrorText}));
  EXPECT_EQ(p.reason, VK_REASON_DISK_ERROR);
  this->lib_.DeleteHandle(h);
}

TYPED_TEST(OptimizeApiTest, AFileThatCannotBeOpenedGivesZeroAndTheOpenError) {
  using Param = typename TestFixture::Param;
  const auto missing = this->Name(this->dir_.Path("missing.dic"));
  VKHandle h = this->lib_.CreateHandle();
  VKHandle other = this->lib_.CreateHandle();
  Param p{};
  p.check.callback = &TestFixture::Callback;
  TestFixture::Seen().clear();
  EXPECT_EQ(this->lib_.Optimize(h, missing.c_str(), &p), 0);
  EXPECT_EQ(this->lib_.Open(other, missing.c_str(), 0), 0);
  EXPECT_EQ(this->lib_.GetErrorCode(h), this->lib_.GetErrorCode(other));
  EXPECT_EQ(this->lib_.GetErrorCode(h), VK_ERR_FILE_NOT_FOUND);
  EXPECT_TRUE(TestFixture::Seen().empty());
  EXPECT_EQ(this->lib_.Optimize(h, nullptr, nullptr), 0);
  EXPECT_EQ(this->lib_.Optimize(nullptr, missing.c_str(), &p), 0);
  this->lib_.DeleteHandle(other);
  this->lib_.DeleteHandle(h);
}

}  // namespace
}  // namespace vktest
