#include "util/File.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vk {

TFile::~TFile() { Close(); }

bool TFile::Open(const std::string& path, Mode mode) {
  Close();
  int flags = mode == kRead ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  struct stat st;
  int err = ::fstat(fd, &st) != 0 ? errno : (S_ISDIR(st.st_mode) ? EISDIR : 0);
  if (err != 0) {
    error_ = err;
    ::close(fd);
    return false;
  }
  fd_ = fd;
  error_ = 0;
  return true;
}

void TFile::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

long TFile::Read(void* buf, size_t n) {
  if (fd_ < 0) {
    error_ = EBADF;
    return -1;
  }
  ssize_t got;
  do {
    got = ::read(fd_, buf, n);
  } while (got < 0 && errno == EINTR);
  if (got < 0) error_ = errno;
  return static_cast<long>(got);
}

bool TFile::Write(const void* buf, size_t n) {
  if (fd_ < 0) {
    error_ = EBADF;
    return false;
  }
  const char* p = static_cast<const char*>(buf);
  while (n > 0) {
    ssize_t put = ::write(fd_, p, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return false;
    }
    p += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

}  // namespace vk
