// Helpers shared by the converter tests: files with exact bytes, tables
// loaded from such files, and the seed of randomised runs.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "Tablerw.h"
#include "support/TempDir.h"

namespace vk {
namespace convtest {

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(f.good()) << path;
}

// Writes `content` to a fresh file in `dir` and loads it as a table.
inline std::unique_ptr<TConvTable> TableFrom(const vktest::TempDir& dir, const std::string& content,
                                             bool probe = false) {
  static int serial = 0;
  std::string path = dir.Path("t" + std::to_string(++serial) + ".tbl");
  WriteFile(path, content);
  auto table = std::make_unique<TConvTable>(path);
  EXPECT_TRUE(table->Load(probe)) << path;
  return table;
}

inline uint32_t Seed(uint32_t fallback) {
  const char* e = std::getenv("VK_TEST_SEED");
  return e ? static_cast<uint32_t>(std::strtoul(e, nullptr, 10)) : fallback;
}

}  // namespace convtest
}  // namespace vk
