// The lists of engine builds that typed tests run over, and the names
// GoogleTest gives their cases.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "format/BuildTraits.h"

namespace vktest {

using AllBuilds = ::testing::Types<vk::TraitsVKCU8L, vk::TraitsVKCUB, vk::TraitsVKCUL, vk::TraitsVKC620>;
// The builds whose headword units are bytes; they hold long entries.
using ByteBuilds = ::testing::Types<vk::TraitsVKCU8L, vk::TraitsVKC620>;
// The builds whose headword units are 16 bits wide.
using UnitBuilds = ::testing::Types<vk::TraitsVKCUB, vk::TraitsVKCUL>;
// One build of each headword unit width.
using ByteAndUnitBuilds = ::testing::Types<vk::TraitsVKCU8L, vk::TraitsVKCUB>;

struct BuildNames {
  template <class B>
  static std::string GetName(int) {
    return B::kName;
  }
};

}  // namespace vktest
