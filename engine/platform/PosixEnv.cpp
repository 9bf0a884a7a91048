// The POSIX Env. Share modes become advisory locks: read-write access holds an
// exclusive flock, read-only access a shared one, and a refused lock is the
// sharing violation.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "file/Env.h"
#include "file/SystemErrors.h"
#include "platform/ErrnoMap.h"

namespace vk {

namespace {

class PosixFile : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }

  int Seek(int64_t offset) override {
    if (offset < 0) return kSysNegativeSeek;
    pos_ = offset;
    return 0;
  }
  int64_t Position() const override { return pos_; }

  int Read(void* buf, size_t n, size_t* got) override {
    *got = 0;
    char* p = static_cast<char*>(buf);
    while (*got < n) {
      ssize_t r = ::pread(fd_, p + *got, n - *got, pos_);
      if (r < 0) {
        if (errno == EINTR) continue;
        return WindowsErrorFromErrno(errno, IoKind::kRead);
      }
      if (r == 0) break;
      *got += static_cast<size_t>(r);
      pos_ += r;
    }
    return 0;
  }

  int Write(const void* buf, size_t n, size_t* put) override {
    *put = 0;
    const char* p = static_cast<const char*>(buf);
    while (*put < n) {
      ssize_t w = ::pwrite(fd_, p + *put, n - *put, pos_);
      if (w < 0) {
        if (errno == EINTR) continue;
        return WindowsErrorFromErrno(errno, IoKind::kWrite);
      }
      if (w == 0) return kSysHandleDiskFull;
      *put += static_cast<size_t>(w);
      pos_ += w;
    }
    return 0;
  }

  int Truncate() override {
    if (::ftruncate(fd_, pos_) != 0) return WindowsErrorFromErrno(errno, IoKind::kWrite);
    return 0;
  }

  int Size(int64_t* size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return WindowsErrorFromErrno(errno);
    *size = st.st_size;
    return 0;
  }

 private:
  int fd_;
  int64_t pos_ = 0;
};

class PosixEnv : public Env {
 public:
  int Open(const std::string& name, OpenMode mode, std::unique_ptr<File>* out) override {
    int flags = O_CLOEXEC;
    int lock = LOCK_EX;
    switch (mode) {
      case OpenMode::kReadWrite: flags |= O_RDWR; break;
      case OpenMode::kReadOnly: flags |= O_RDONLY; lock = LOCK_SH; break;
      case OpenMode::kCreate: flags |= O_RDWR | O_CREAT; break;
    }
    int fd = ::open(name.c_str(), flags, 0644);
    if (fd < 0) return WindowsErrorFromErrno(errno);
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      return kSysAccessDenied;
    }
    if (::flock(fd, lock | LOCK_NB) != 0) {
      int err = errno;
      ::close(fd);
      return err == EWOULDBLOCK ? kSysSharingViolation : WindowsErrorFromErrno(err);
    }
    // Replacing happens only once the file is ours: truncating before the
    // lock would destroy a dictionary that another process has open.
    if (mode == OpenMode::kCreate && ::ftruncate(fd, 0) != 0) {
      int err = errno;
      ::close(fd);
      return WindowsErrorFromErrno(err, IoKind::kWrite);
    }
#ifdef POSIX_FADV_RANDOM
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
#endif
    out->reset(new PosixFile(fd));
    return 0;
  }

  int FullPath(const std::string& name, std::string* out) override {
    if (name.empty()) return kSysInvalidName;
    if (name[0] == '/') {
      *out = name;
      return 0;
    }
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return WindowsErrorFromErrno(errno);
    *out = std::string(cwd) + "/" + name;
    return 0;
  }

  int Delete(const std::string& name) override {
    return ::unlink(name.c_str()) == 0 ? 0 : WindowsErrorFromErrno(errno);
  }
};

}  // namespace

Env* Env::Default() {
  // An object, not a heap pointer: an engine library may be unloaded and
  // loaded again, and its environment must go with it.
  static PosixEnv env;
  return &env;
}

}  // namespace vk
