// vktrace: the trace window of libVKCUB's trace channel. Listens under the
// window's class name and title and prints each message as it arrives, one
// a line (a line break that ends a message is not printed twice), until
// Ctrl-C (SIGINT) or SIGTERM.
//
//   vktrace [CLASS TITLE]      default: TDbgMsgForm "Debug Messanger"
//
// Once it listens it says so on standard error; messages go to standard
// output. The socket's layout is platform/TraceWindow.h's.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/TraceChannel.h"
#include "platform/TraceWindow.h"

namespace {

volatile sig_atomic_t stopping = 0;

void OnStop(int) { stopping = 1; }

int Usage() {
  std::fprintf(stderr, "usage: vktrace [CLASS TITLE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string className = vk::kTraceWindowClass, title = vk::kTraceWindowTitle;
  if (argc == 3) {
    className = argv[1];
    title = argv[2];
  } else if (argc != 1) {
    return Usage();
  }

  // No SA_RESTART: the signal ends the wait for the next message.
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnStop;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  const std::string name = vk::TraceWindow::AddressName(className, title);
  sockaddr_un addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (name.size() + 1 > sizeof addr.sun_path) {
    std::fprintf(stderr, "vktrace: the name %s is too long for a socket\n", name.c_str());
    return 1;
  }
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&addr),
                       socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size())) != 0) {
    std::fprintf(stderr, "vktrace: cannot listen as %s: %s\n", name.c_str(), std::strerror(errno));
    return 1;
  }
  std::fprintf(stderr, "vktrace: listening as %s (Ctrl-C ends)\n", name.c_str());

  std::vector<char> buf(vk::TraceWindow::kHeaderBytes + 65536);
  while (!stopping) {
    const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "vktrace: %s\n", std::strerror(errno));
      ::close(fd);
      return 1;
    }
    uint32_t id = 0;
    std::string text;
    if (!vk::TraceWindow::Decode(buf.data(), size_t(n), &id, &text)) {
      std::fprintf(stderr, "vktrace: a datagram of %zd bytes that is no trace message\n", n);
      continue;
    }
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  ::close(fd);
  return 0;
}
