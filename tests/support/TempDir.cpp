#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace vktest {

namespace fs = std::filesystem;

std::string TestTmpRoot() {
  const char* env = std::getenv("VK_TEST_TMP");
  std::string root = (env && *env) ? env : "/tmp";
  std::error_code ec;
  fs::create_directories(root, ec);
  return fs::absolute(root, ec).lexically_normal().string();
}

namespace {

// Test names may hold '/' (parameterised tests); keep the name a single
// path component of harmless characters.
std::string Prefix() {
  std::string name = "vk";
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info) name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_' || c == '-';
    if (!ok) c = '_';
  }
  if (name.size() > 100) name.resize(100);
  return name;
}

}  // namespace

TempDir::TempDir() {
  std::string root = TestTmpRoot();
  std::string templ = root + "/" + Prefix() + "-XXXXXX";
  if (!::mkdtemp(templ.data())) {
    throw std::runtime_error("TempDir: cannot create a folder under " + root);
  }
  path_ = templ;
}

TempDir::~TempDir() {
  const char* keep = std::getenv("VK_TEST_KEEP");
  if (keep && *keep && *keep != '0') return;
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace vktest
