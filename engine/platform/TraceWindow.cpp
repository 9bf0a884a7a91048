#include "platform/TraceWindow.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace vk {

namespace {

void PutLe32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(char((v >> (8 * i)) & 0xFF));
}

uint32_t GetLe32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

}  // namespace

std::string TraceWindow::AddressName(const std::string& className, const std::string& title) {
  return className + "/" + title;
}

bool TraceWindow::Find(const std::string& className, const std::string& title) {
  if (fd_ >= 0) return true;
  const std::string name = AddressName(className, title);
  sockaddr_un addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (name.size() + 1 > sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  const socklen_t len = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), len);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    // ECONNREFUSED: nothing is bound to the name, the window does not exist.
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void TraceWindow::Forget() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string TraceWindow::Encode(uint32_t identifier, const char* data, uint32_t length) {
  std::string out;
  out.reserve(kHeaderBytes + length);
  PutLe32(&out, identifier);
  PutLe32(&out, length);
  out.append(data, length);
  return out;
}

bool TraceWindow::Decode(const char* datagram, size_t size, uint32_t* identifier, std::string* data) {
  if (size < kHeaderBytes) return false;
  const uint32_t length = GetLe32(datagram + 4);
  if (length != size - kHeaderBytes) return false;
  *identifier = GetLe32(datagram);
  data->assign(datagram + kHeaderBytes, length);
  return true;
}

bool TraceWindow::CopyData(uint32_t identifier, const char* data, uint32_t length) {
  if (fd_ < 0) return false;
  const std::string datagram = Encode(identifier, data, length);
  ssize_t sent;
  do {
    sent = ::send(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent == ssize_t(datagram.size());
}

}  // namespace vk
