// vkcv on a terminal, as a person runs it: through a pseudo-terminal, with
// keys typed (Ctrl-C is the terminal's interrupt character, so the line
// discipline sends SIGINT) and signals sent, over stand-in engines slowed
// down so that the conversion lasts long enough to be watched.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ConvertTestUtil.h"

namespace vk {
namespace {

using cvtest::FakeFolder;
using cvtest::ReadFile;
using cvtest::WriteFile;

class PtySession {
 public:
  ~PtySession() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
  }

  // Starts `program` with `args` in `folder`, its three streams on the
  // terminal, with each "NAME=value" of `env` added.
  bool Start(const std::string& folder, const std::string& program,
             const std::vector<std::string>& args, const std::vector<std::string>& env) {
    pid_ = ::forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      if (::chdir(folder.c_str()) != 0) ::_exit(127);
      for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(program.c_str()));
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    return true;
  }

  // Reads what the program writes until `text` shows up after `from`
  // (an offset into everything seen), or `seconds` pass.
  bool WaitFor(const std::string& text, size_t from = 0, double seconds = 20) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (seen_.find(text, from) == std::string::npos) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return false;
    }
    return true;
  }

  void Type(const std::string& keys) {
    ASSERT_EQ(static_cast<ssize_t>(keys.size()), ::write(master_, keys.data(), keys.size()));
  }
  void Signal(int sig) { ::kill(pid_, sig); }

  // The exit status once the program ends (reading all it writes), or -1
  // when it has not ended within `seconds`: it is then killed, so that a
  // program waiting for input it will never get fails the test, not hangs it.
  int Wait(double seconds = 30) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    for (;;) {
      if (!ReadSome(100)) ::usleep(10000);
      pid_t got = ::waitpid(pid_, &status, WNOHANG);
      if (got == pid_) break;
      if (std::chrono::steady_clock::now() > end) return -1;  // the destructor kills it
    }
    pid_ = -1;
    while (ReadSome(100)) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const std::string& seen() const { return seen_; }

 private:
  // False at the end of output or on a timeout.
  bool ReadSome(int millis) {
    struct pollfd p = {master_, POLLIN, 0};
    if (::poll(&p, 1, millis) <= 0) return false;
    char buf[4096];
    ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) return false;  // EIO once the program has closed the terminal
    seen_.append(buf, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  std::string seen_;
};

class TerminalSessionTest : public ::testing::Test {
 protected:
  // A stand-in Win32 source of `n` entries; every entry takes `delayUs` to read.
  void StartConversion(int n, int delayUs) {
    std::string lines;
    for (int i = 0; i < n; ++i) lines += "w" + std::to_string(100000 + i) + "\tJ\t\t\t0\n";
    WriteFile(dir_.Path("source.txt"), lines);
    delay_ = "VK_FAKE_DELAY_US=" + std::to_string(delayUs);
    session_ = std::make_unique<PtySession>();
    ASSERT_TRUE(session_->Start(dir_.path(), JoinPath(ProgramFolder(), "vkcv"),
                               {"convert", "--mode", "5", "source.txt", "target.txt",
                                "--engines", FakeFolder(), "--yes"},
                               {delay_}));
  }
  int Registered() {
    std::string out = session_->seen();
    size_t at = out.find("登録単語数: ");
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + strlen("登録単語数: "));
  }

  vktest::TempDir dir_;
  std::unique_ptr<PtySession> session_;
  std::string delay_;
};


TEST_F(TerminalSessionTest, ProgressShowsRecordsOfTheTotalAndCtrlCAsks) {
  StartConversion(20000, 300);  // about 6 s
  // The progress line: records of the total, the rate, the time left.
  ASSERT_TRUE(session_->WaitFor(" of 20000 records ")) << session_->seen();
  ASSERT_TRUE(session_->WaitFor(" left")) << session_->seen();
  session_->Type("\x03");
  const char kQuestion[] = "変換処理の中止: 変換を中止しても良いですか？ [Y/n] ";
  ASSERT_TRUE(session_->WaitFor(kQuestion)) << session_->seen();
  size_t asked = session_->seen().size();
  session_->Type("n\r");  // No: the conversion goes on, and asks again
  ASSERT_TRUE(session_->WaitFor(" of 20000 records ", asked)) << session_->seen();
  asked = session_->seen().size();
  session_->Type("\x03");
  ASSERT_TRUE(session_->WaitFor(kQuestion, asked)) << session_->seen();
  session_->Type("\r");   // Enter: the default, Yes
  EXPECT_EQ(1, session_->Wait()) << session_->seen();
  int registered = Registered();
  EXPECT_GT(registered, 0) << session_->seen();
  EXPECT_LT(registered, 20000) << session_->seen();
  // Both dictionaries were closed: the stand-in writes its target at close.
  EXPECT_EQ(static_cast<size_t>(registered), cvtest::Lines(ReadFile(dir_.Path("target.txt"))).size());
}

TEST_F(TerminalSessionTest, SecondCtrlCWhileTheQuestionWaitsStops) {
  StartConversion(20000, 300);
  ASSERT_TRUE(session_->WaitFor(" of 20000 records ")) << session_->seen();
  session_->Type("\x03");
  ASSERT_TRUE(session_->WaitFor("変換を中止しても良いですか？")) << session_->seen();
  session_->Type("\x03");
  EXPECT_EQ(1, session_->Wait()) << session_->seen();
  EXPECT_NE(std::string::npos, session_->seen().find("stopped by a second Ctrl-C")) << session_->seen();
  int registered = Registered();
  EXPECT_GT(registered, 0);
  EXPECT_EQ(static_cast<size_t>(registered), cvtest::Lines(ReadFile(dir_.Path("target.txt"))).size());
}

TEST_F(TerminalSessionTest, TerminateAndHangUpStopAtTheNextRecord) {
  for (int sig : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    ::unlink(dir_.Path("target.txt").c_str());
    StartConversion(20000, 300);
    ASSERT_TRUE(session_->WaitFor(" of 20000 records ")) << session_->seen();
    session_->Signal(sig);
    EXPECT_EQ(1, session_->Wait()) << session_->seen();
    EXPECT_NE(std::string::npos,
              session_->seen().find(sig == SIGTERM ? "stopped by SIGTERM" : "stopped by SIGHUP"));
    int registered = Registered();
    EXPECT_GT(registered, 0);
    EXPECT_EQ(static_cast<size_t>(registered),
              cvtest::Lines(ReadFile(dir_.Path("target.txt"))).size());
  }
}

}  // namespace
}  // namespace vk
