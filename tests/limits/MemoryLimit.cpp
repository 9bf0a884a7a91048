// The limit tests run with a bounded address space, so that an allocation
// sized by a damaged file fails visibly rather than passing unnoticed. The
// sanitizer build cannot run under such a limit (its shadow memory alone is
// far larger); there the allocator's own size bound takes its place
// (ASAN_OPTIONS max_allocation_size_mb, set by the test's environment).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>

#include "limits/LimitsTestUtil.h"

namespace vktest {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLimitAddressSpace = false;
#else
constexpr bool kLimitAddressSpace = true;
#endif

class AddressSpaceLimit : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!kLimitAddressSpace) return;
    const rlim_t bytes = static_cast<rlim_t>(EnvKnob("VK_LIMITS_ADDRESS_SPACE_MB", 1024)) << 20;
    rlimit lim{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &lim), 0);
    if (lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur > bytes) {
      lim.rlim_cur = bytes;
      ASSERT_EQ(setrlimit(RLIMIT_AS, &lim), 0);
    }
  }
};

const ::testing::Environment* const kLimit = ::testing::AddGlobalTestEnvironment(new AddressSpaceLimit);

}  // namespace
}  // namespace vktest
