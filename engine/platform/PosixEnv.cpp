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
#include <ctime>
#include <vector>

#include "file/Env.h"
#include "file/SystemErrors.h"
#include "platform/ErrnoMap.h"
#include "platform/PageCache.h"

namespace vk {

namespace {

// Reads are served by a page cache of the file's bytes (PageCache.h): the
// file is locked against other writers while open, and writes go through
// to the file at once, so the cache only saves the system calls of reading
// the same blocks again.
class PosixFile : public File, private PageSource {
 public:
  PosixFile(int fd, int64_t size) : fd_(fd), cache_(size) {}
  ~PosixFile() override { ::close(fd_); }

  int Seek(int64_t offset) override {
    if (offset < 0) return kSysNegativeSeek;
    pos_ = offset;
    return 0;
  }
  int64_t Position() const override { return pos_; }

  void Prefetch(int64_t offset, size_t n) override { cache_.Prefetch(offset, n); }

  int Read(void* buf, size_t n, size_t* got) override {
    int err = cache_.Read(pos_, buf, n, got, this);
    pos_ += static_cast<int64_t>(*got);
    return err;
  }

  int Write(const void* buf, size_t n, size_t* put) override {
    *put = 0;
    const int64_t start = pos_;
    const char* p = static_cast<const char*>(buf);
    int err = 0;
    while (*put < n) {
      ssize_t w = ::pwrite(fd_, p + *put, n - *put, pos_);
      if (w < 0) {
        if (errno == EINTR) continue;
        err = WindowsErrorFromErrno(errno, IoKind::kWrite);
        break;
      }
      if (w == 0) {
        err = kSysHandleDiskFull;
        break;
      }
      *put += static_cast<size_t>(w);
      pos_ += w;
    }
    cache_.Wrote(start, buf, *put);
    return err;
  }

  int Truncate() override {
    if (::ftruncate(fd_, pos_) != 0) return WindowsErrorFromErrno(errno, IoKind::kWrite);
    cache_.Truncated(pos_);
    return 0;
  }

  int Sync() override {
    while (::fdatasync(fd_) != 0) {
      if (errno != EINTR) return WindowsErrorFromErrno(errno, IoKind::kWrite);
    }
    return 0;
  }

  int Size(int64_t* size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return WindowsErrorFromErrno(errno);
    *size = st.st_size;
    // A size other than the one the cache knows means the file was changed
    // behind the lock's back: read it afresh.
    if (st.st_size != cache_.size()) cache_.Reset(st.st_size);
    return 0;
  }

 private:
  int ReadAt(int64_t offset, void* buf, size_t n, size_t* got) override {
    *got = 0;
    char* p = static_cast<char*>(buf);
    while (*got < n) {
      ssize_t r = ::pread(fd_, p + *got, n - *got, offset + static_cast<int64_t>(*got));
      if (r < 0) {
        if (errno == EINTR) continue;
        return WindowsErrorFromErrno(errno, IoKind::kRead);
      }
      if (r == 0) break;
      *got += static_cast<size_t>(r);
    }
    return 0;
  }

  int fd_;
  int64_t pos_ = 0;
  PageCache cache_;
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
    if (::fstat(fd, &st) != 0) {
      int err = errno;
      ::close(fd);
      return WindowsErrorFromErrno(err);
    }
#ifdef POSIX_FADV_RANDOM
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
#endif
    out->reset(new PosixFile(fd, st.st_size));
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

  int Stat(const std::string& name, FileStat* out) override {
    struct stat st;
    if (::stat(name.c_str(), &st) != 0) return WindowsErrorFromErrno(errno);
    out->lastWrite = FileTimeOf(st.st_mtim);
    out->size = st.st_size;
    return 0;
  }

  int SetLastWrite(const std::string& name, uint64_t fileTime) override {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays
    const uint64_t since1970 = fileTime >= kFileTime1970 ? fileTime - kFileTime1970 : 0;
    times[1].tv_sec = static_cast<time_t>(since1970 / 10000000u);
    times[1].tv_nsec = static_cast<long>(since1970 % 10000000u) * 100;
    return ::utimensat(AT_FDCWD, name.c_str(), times, 0) == 0 ? 0 : WindowsErrorFromErrno(errno);
  }

  int CreateTemporary(const std::string& prefix, std::string* path) override {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/" + prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return WindowsErrorFromErrno(errno, IoKind::kWrite);
    ::close(fd);
    *path = name.data();
    return 0;
  }

 private:
  // Windows file time of 1970-01-01 UTC.
  static constexpr uint64_t kFileTime1970 = 116444736000000000ull;
  static uint64_t FileTimeOf(const struct timespec& t) {
    return kFileTime1970 + static_cast<uint64_t>(t.tv_sec) * 10000000u + static_cast<uint64_t>(t.tv_nsec) / 100u;
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
