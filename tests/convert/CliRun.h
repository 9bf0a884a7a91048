// Running vkcv and vkdic as a user does: in a scratch folder, with typed
// input on standard input, and standard output and error kept apart.
#pragma once
#include <fcntl.h>
#include <signal.h>
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
  // Runs `args` (one word each) of program `prog` as a parent can start it:
  // with signal `pending` blocked and already raised (0: none), so that it
  // arrives as soon as the program unblocks it, and with `ignored` set to be
  // ignored (0: none), as nohup does for SIGHUP.
  Ran RunSignalled(const std::string& prog, const std::vector<std::string>& args, int pending,
                   int ignored = 0) {
    const std::string program = JoinPath(ProgramFolder(), prog);
    std::vector<char*> argv{const_cast<char*>(prog.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Ran r;
    pid_t pid = ::fork();
    if (pid < 0) return r;
    if (pid == 0) {
      if (::chdir(dir_.path().c_str()) != 0) ::_exit(99);
      int out = ::open("out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = ::open("err", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int in = ::open("/dev/null", O_RDONLY);
      if (out < 0 || err < 0 || in < 0) ::_exit(99);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      if (ignored) ::signal(ignored, SIG_IGN);
      if (pending) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, pending);
        ::sigprocmask(SIG_BLOCK, &set, nullptr);
        ::raise(pending);
      }
      ::execv(program.c_str(), argv.data());
      ::_exit(98);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Read("out");
    r.err = Read("err");
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
