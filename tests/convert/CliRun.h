// Running vkcv and vkdic as a user does: in a scratch folder, with typed
// input on standard input, and standard output and error kept apart.
#pragma once
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ConvertTestUtil.h"

namespace vk {
namespace cvtest {

struct Ran {
  int status = -1;
  std::string out, err;
};

// The headwords of entry lines, in their order.
inline std::vector<std::string> Headwords(const std::string& lines) {
  std::vector<std::string> words;
  for (const std::string& line : Lines(lines)) words.push_back(line.substr(0, line.find('\t')));
  return words;
}

class CliFixture : public ::testing::Test {
 protected:
  // Runs `args` (shell words) of program `prog` in the scratch folder with
  // `input` on standard input.
  Ran Run(const std::string& prog, const std::string& args, const std::string& input = "") {
    return RunShell("'" + JoinPath(ProgramFolder(), prog) + "' " + args, input);
  }
  // Runs a shell command line in the scratch folder; $BIN is the programs' folder.
  Ran RunShell(const std::string& line, const std::string& input = "") {
    WriteFile(dir_.Path("in"), input);
    std::string cmd = "cd '" + dir_.path() + "' && BIN='" + ProgramFolder() + "' && { " + line +
                      "; } <in >out 2>err";
    int rc = std::system(cmd.c_str());
    Ran r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = ReadFile(dir_.Path("out"));
    r.err = ReadFile(dir_.Path("err"));
    return r;
  }
  bool Exists(const std::string& name) {
    struct stat st;
    return ::stat(dir_.Path(name).c_str(), &st) == 0;
  }
  std::string Read(const std::string& name) { return ReadFile(dir_.Path(name)); }
  void Write(const std::string& name, const std::string& bytes) {
    WriteFile(dir_.Path(name), bytes);
  }
  // A Win32 dictionary `name` from entry lines of Shift-JIS bytes.
  void MakeWin32(const std::string& tsv, const std::string& name = "w.dic") {
    WriteFile(dir_.Path("w.tsv"), tsv);
    Ran r = Run("vkdic", "--engine VKC620 import --bytes " + name + " w.tsv");
    ASSERT_EQ(0, r.status) << r.err;
  }

  vktest::TempDir dir_;
};

}  // namespace cvtest
}  // namespace vk
