// vkdic --shared: several vkdic processes at once on one dictionary, each
// change taken under the dictionary's lock and written back, and what the
// option refuses.
#include <map>
#include <string>

#include "CliRun.h"

namespace vk {
namespace {

using cvtest::Ran;

class VkdicSharedTest : public cvtest::CliFixture {};

TEST_F(VkdicSharedTest, ProcessesChangingOneDictionaryAtOnceAllEndUpInIt) {
  ASSERT_EQ(Run("vkdic", "create d.dic").status, 0);
  // Three workers, each with its own headwords: add one, and after every
  // third erase the one before it. Then every worker's entries are known.
  const std::string worker =
      "w() { for i in $(seq 1 18); do "
      "printf \"p$1-$i\\tt$1.$i\\n\" | \"$BIN/vkdic\" --shared import d.dic - 2>>err$1 || return 1; "
      "if [ $((i % 3)) = 0 ]; then \"$BIN/vkdic\" --shared erase d.dic p$1-$((i - 1)) || return 1; fi; "
      "done; }; ";
  Ran r = RunShell(worker + "w 1 & a=$!; w 2 & b=$!; w 3 & c=$!; wait $a && wait $b && wait $c");
  ASSERT_EQ(r.status, 0) << r.err;

  std::map<std::string, std::string> expect;
  for (int p = 1; p <= 3; ++p) {
    for (int i = 1; i <= 18; ++i) {
      const std::string w = "p" + std::to_string(p) + "-" + std::to_string(i);
      if (i % 3 == 2) continue;  // erased by the next step
      expect[w] = "t" + std::to_string(p) + "." + std::to_string(i);
    }
  }
  std::string lines;
  for (const auto& e : expect) lines += e.first + "\t" + e.second + "\t\t\t0\n";
  Ran shared = Run("vkdic", "--shared export d.dic");
  EXPECT_EQ(shared.status, 0) << shared.err;
  EXPECT_EQ(shared.out, lines);
  Ran direct = Run("vkdic", "export d.dic");
  EXPECT_EQ(direct.out, lines);
  EXPECT_EQ(Run("vkdic", "check d.dic").status, 0);
  EXPECT_EQ(Run("vkdic", "--shared find d.dic p2-18").out, "p2-18\tt2.18\t\t\t0\n");
}

TEST_F(VkdicSharedTest, TheOptionTakesOnlyCommandsOnAnExistingDictionary) {
  ASSERT_EQ(Run("vkdic", "create d.dic").status, 0);
  struct Case {
    const char* args;
    int status;
    const char* err;  // a part of what it says
  };
  const Case cases[] = {
      {"--shared create e.dic", 2, "--shared does not belong to create"},
      {"--shared check d.dic", 2, "--shared does not belong to check"},
      {"--shared optimize d.dic", 2, "--shared does not belong to optimize"},
      {"--shared import none.dic in", 2, "none.dic: no such dictionary"},
      {"--shared find none.dic x", 2, "none.dic"},
      {"--shared find d.dic x", 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Ran r = Run("vkdic", c.args, "a\tb\n");
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  EXPECT_FALSE(Exists("none.dic"));
}

}  // namespace
}  // namespace vk
