// TempDir: a fresh scratch folder for one test, under $VK_TEST_TMP (or /tmp
// when that is not set), removed with everything in it on destruction.
//
//   vktest::TempDir dir;
//   std::string p = dir.Path("a.dic");   // <scratch>/a.dic, not yet created
//
// The folder's name carries the running test's name when there is one, so a
// kept or leaked folder tells where it came from. Set VK_TEST_KEEP=1 to keep
// the folders for a look after the run.
#pragma once
#include <string>

namespace vktest {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder itself (absolute, no trailing slash).
  const std::string& path() const { return path_; }
  // A path for `name` inside the folder. Nothing is created.
  std::string Path(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The root under which scratch folders are made ($VK_TEST_TMP or /tmp),
// created if missing.
std::string TestTmpRoot();

}  // namespace vktest
