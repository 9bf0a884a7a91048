// The object-data functions of libVKCUB: constants whatever they are given,
// and VKDeleteObject freeing what malloc gave (the sanitizer build checks the
// pairing and that the block is gone).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "api/EngineLib.h"

namespace vktest {
namespace {

TEST(ObjectDataTest, EveryFunctionAnswersItsConstant) {
  EngineLib<char16_t> lib("VKCUB");
  auto create = lib.Export<VKObject (*)(intptr_t, intptr_t)>("VKCreateObject");
  auto remove = lib.Export<int32_t (*)(VKObject)>("VKDeleteObject");
  auto type = lib.Export<int32_t (*)(VKObject)>("VKGetObjectType");
  auto pcm = lib.Export<int32_t (*)(VKObject, intptr_t, intptr_t, intptr_t)>("VKSetDataPCMLINK");
  auto fileLink = lib.Export<int32_t (*)(VKObject, intptr_t)>("VKSetDataFileLink");
  auto length = lib.Export<int32_t (*)(VKObject)>("VKGetLengthBinary");
  auto data = lib.Export<intptr_t (*)(VKObject)>("VKGetDataBinary");
  auto extra = lib.Export<intptr_t (*)(VKObject)>("VKGetExtraData");
  auto setBinary = lib.Export<int32_t (*)(VKObject, intptr_t, intptr_t, intptr_t)>("VKSetDataBinary");
  ASSERT_TRUE(create && remove && type && pcm && fileLink && length && data && extra && setBinary);

  // Values that a caller could pass: nothing, small numbers, all bits set,
  // and a real address (which the functions must not read through).
  int local = 7;
  const intptr_t values[] = {0, 1, -1, INTPTR_MAX, reinterpret_cast<intptr_t>(&local)};
  for (intptr_t a : values) {
    SCOPED_TRACE(a);
    VKObject object = reinterpret_cast<VKObject>(a);
    for (intptr_t b : values) EXPECT_EQ(create(a, b), nullptr);
    EXPECT_EQ(type(object), 0);
    EXPECT_EQ(pcm(object, a, a, a), 0);
    EXPECT_EQ(fileLink(object, a), 0);
    EXPECT_EQ(length(object), 0);
    EXPECT_EQ(data(object), 0);
    EXPECT_EQ(extra(object), 0);
    EXPECT_EQ(setBinary(object, a, 16, a), 0);
  }
  EXPECT_EQ(local, 7);

  EXPECT_EQ(remove(nullptr), 1);
  for (size_t size : {1, 64, 4096}) EXPECT_EQ(remove(std::malloc(size)), 1);
}

}  // namespace
}  // namespace vktest
