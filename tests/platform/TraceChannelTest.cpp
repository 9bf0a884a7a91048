// The trace channel and its window on this platform: nothing at all while no
// window listens, the copy-data datagram byte for byte once one does, texts
// cut at the 2048-byte buffer on a whole character, and the listener tool
// vktrace printing what arrives.
#include "platform/TraceChannel.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A trace window of the test's own: the socket a listener binds.
class Listener {
 public:
  // bindError: errno when the name is taken or cannot be bound, else 0.
  Listener(const std::string& className, const std::string& title) {
    const std::string name = vk::TraceWindow::AddressName(className, title);
    sockaddr_un addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&addr),
                          socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size())) != 0)
      bindError = errno;
  }
  ~Listener() {
    if (fd_ >= 0) ::close(fd_);
  }
  // The next datagram; waits for it.
  std::string Receive() {
    std::vector<char> buf(65536);
    ssize_t n;
    do {
      n = ::recv(fd_, buf.data(), buf.size(), 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? std::string() : std::string(buf.data(), size_t(n));
  }
  // Whether a datagram is waiting, without waiting for one.
  bool Pending() {
    char c;
    return ::recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT) >= 0;
  }
  int bindError = 0;

 private:
  int fd_ = -1;
};

bool Send(vk::TraceChannel& channel, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool Send(vk::TraceChannel& channel, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const bool sent = channel.Send(format, args);
  va_end(args);
  return sent;
}

// A name no other test or process uses.
std::string UniqueTitle() {
  static int n = 0;
  return "test " + std::to_string(::getpid()) + "-" + std::to_string(++n);
}

// The datagram of copy-data identifier 1 carrying `text`, as the layout has it.
std::string Datagram(const std::string& text) {
  const uint32_t n = uint32_t(text.size());
  std::string d = {1, 0, 0, 0, char(n & 0xFF), char((n >> 8) & 0xFF), char((n >> 16) & 0xFF), char(n >> 24)};
  return d + text;
}

const char* const kClass = "VkTraceTest";

TEST(TraceChannelTest, NoWindowIsNoFaultAndTheNextCallLooksAgain) {
  const std::string title = UniqueTitle();
  vk::TraceChannel channel(kClass, title);
  EXPECT_FALSE(Send(channel, "nobody %s", "listens"));
  EXPECT_FALSE(channel.Found());

  Listener window(kClass, title);
  ASSERT_EQ(window.bindError, 0) << std::strerror(window.bindError);
  ASSERT_TRUE(Send(channel, "entry %s has %d fields", "apple", 3));
  EXPECT_TRUE(channel.Found());
  EXPECT_EQ(window.Receive(), Datagram("entry apple has 3 fields"));
  ASSERT_TRUE(Send(channel, "%s", ""));
  EXPECT_EQ(window.Receive(), Datagram(""));
  EXPECT_FALSE(window.Pending());
}

TEST(TraceChannelTest, ATextLongerThanTheBufferIsCutOnAWholeCharacter) {
  const std::string title = UniqueTitle();
  Listener window(kClass, title);
  ASSERT_EQ(window.bindError, 0) << std::strerror(window.bindError);
  vk::TraceChannel channel(kClass, title);
  const std::string x = std::string(2043, 'x');
  struct Case {
    std::string text;
    size_t kept;  // bytes that arrive
  };
  const Case cases[] = {
      {x + "yyyy", 2047},             // fits the buffer with its terminator
      {x + "yyyyy", 2047},            // one byte over
      {std::string(5000, 'z'), 2047},
      {x + "yy\u00E9", 2047},         // a two-byte character that just fits
      {x + "yyy\u00E9", 2046},        // its second byte would be cut: it goes
      {x + "yy\u20AC", 2045},         // a three-byte character cut after one byte
      {x + "y\u20AC", 2047},
      {x + "\U0001F600", 2047},
      {x + "y\U0001F600", 2044},      // a four-byte character cut after three bytes
      {x + "yyy\x80\x80", 2047},      // stray continuation bytes stay as they are
      {x + "yyy\xE9\xE9", 2046},      // a lead byte left alone at the cut goes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.size());
    ASSERT_TRUE(Send(channel, "%s", c.text.c_str()));
    EXPECT_EQ(window.Receive(), Datagram(c.text.substr(0, c.kept)));
  }
}

// A window once found is kept: when its listener has gone the sends fail
// quietly, and a new listener under the same name is not looked for.
TEST(TraceChannelTest, AWindowThatHasGoneIsNoFault) {
  const std::string title = UniqueTitle();
  vk::TraceChannel channel(kClass, title);
  {
    Listener window(kClass, title);
    ASSERT_EQ(window.bindError, 0);
    ASSERT_TRUE(Send(channel, "first"));
    EXPECT_EQ(window.Receive(), Datagram("first"));
  }
  EXPECT_FALSE(Send(channel, "second"));
  Listener again(kClass, title);
  ASSERT_EQ(again.bindError, 0);
  EXPECT_FALSE(Send(channel, "third"));
  EXPECT_FALSE(again.Pending());
}

// The library's own channel, under the window's real class and title. A
// trace window that is already open on this machine (a vktrace someone runs)
// holds the name: the test then cannot be its window and stands aside.
TEST(TraceChannelTest, TraceMessageReachesTheTraceWindow) {
  errno = EDOM;
  vk::TraceMessage("no trace window yet: %d", 1);
  EXPECT_EQ(errno, EDOM);
  Listener window(vk::kTraceWindowClass, vk::kTraceWindowTitle);
  if (window.bindError == EADDRINUSE) GTEST_SKIP() << "a trace window is open on this machine";
  ASSERT_EQ(window.bindError, 0) << std::strerror(window.bindError);
  const std::string mark = "from " + std::to_string(::getpid());
  errno = ERANGE;
  vk::TraceMessage("%s: %s %d", mark.c_str(), "words", 42);
  EXPECT_EQ(errno, ERANGE);
  // The datagram is in the window's queue when the call returns. Another
  // process's test may have found this window between the bind and here:
  // its messages are passed over.
  std::string got;
  while (window.Pending() && got.find(mark) == std::string::npos) got = window.Receive();
  EXPECT_EQ(got, Datagram(mark + ": words 42"));
}

std::string ProgramFolder() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  const std::string path(buf, size_t(n));
  return path.substr(0, path.rfind('/'));
}

// One line from `fd` without its line break; false at the end of the stream.
bool ReadLine(int fd, std::string* line) {
  line->clear();
  char c;
  for (;;) {
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return !line->empty();
    if (c == '\n') return true;
    line->push_back(c);
  }
}

// A child process that is killed if the test leaves before it has ended.
struct Child {
  pid_t pid = -1;
  ~Child() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

TEST(TraceChannelTest, VktracePrintsEachMessageOnALineUntilInterrupted) {
  const std::string title = UniqueTitle();
  const std::string tool = ProgramFolder() + "/vktrace";
  ASSERT_EQ(::access(tool.c_str(), X_OK), 0) << tool;
  int out[2], err[2];
  ASSERT_EQ(::pipe(out), 0);
  ASSERT_EQ(::pipe(err), 0);
  Child child;
  const pid_t pid = child.pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::close(out[0]);
    ::close(err[0]);
    ::execl(tool.c_str(), "vktrace", kClass, title.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  std::string line;
  ASSERT_TRUE(ReadLine(err[0], &line));
  EXPECT_EQ(line, "vktrace: listening as " + vk::TraceWindow::AddressName(kClass, title) + " (Ctrl-C ends)");

  vk::TraceChannel channel(kClass, title);
  const std::string longText(3000, 'w');
  ASSERT_TRUE(Send(channel, "opened %s", "a.dic"));
  ASSERT_TRUE(Send(channel, "line break at the end\r\n"));
  ASSERT_TRUE(Send(channel, "%s", longText.c_str()));
  const std::string expected[] = {"opened a.dic", "line break at the end", longText.substr(0, 2047)};
  for (const std::string& e : expected) {
    ASSERT_TRUE(ReadLine(out[0], &line));
    EXPECT_EQ(line, e);
  }
  ASSERT_EQ(::kill(pid, SIGINT), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  child.pid = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(ReadLine(out[0], &line)) << line;
  ::close(out[0]);
  ::close(err[0]);
}

}  // namespace
