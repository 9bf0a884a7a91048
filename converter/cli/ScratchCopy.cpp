#include "cli/ScratchCopy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/StopSignals.h"
#include "util/ProgramFolder.h"

namespace vk {

namespace {

// Copies the file `from` to a new file `to`; false with errno set.
bool CopyFile(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY);
  if (in < 0) return false;
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (out < 0) {
    int e = errno;
    ::close(in);
    errno = e;
    return false;
  }
  std::vector<char> buf(1 << 20);
  bool ok = true;
  for (;;) {
    if (TStopSignals::Caught()) {
      ok = false;
      errno = EINTR;
      break;
    }
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buf.data() + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  int e = errno;
  if (::close(out) != 0 && ok) {
    ok = false;
    e = errno;
  }
  ::close(in);
  errno = e;
  return ok;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

TScratchCopy::~TScratchCopy() {
  Remove();
  if (lock_ >= 0) ::close(lock_);
}

void TScratchCopy::Remove() {
  if (!path_.empty()) {
    ::unlink(path_.c_str());
    ::unlink((path_ + "-journal").c_str());
  }
  if (!folder_.empty()) ::rmdir(folder_.c_str());
  path_.clear();
  folder_.clear();
}

bool TScratchCopy::Make(const std::string& original, std::string* why) {
  // A writer holds an exclusive lock while the file may be half changed;
  // the shared one keeps it out until the copy is done with.
  lock_ = ::open(original.c_str(), O_RDONLY);
  if (lock_ < 0) {
    *why = original + ": " + std::strerror(errno);
    return false;
  }
  if (::flock(lock_, LOCK_SH | LOCK_NB) != 0) {
    *why = original + " is in use by another process (locked)";
    return false;
  }
  const char* tmp = std::getenv("TMPDIR");
  const std::string folders[] = {FolderPart(original) + "/." + NamePart(original) + ".check-XXXXXX",
                                 std::string(tmp && *tmp ? tmp : "/tmp") + "/vkdic-check-XXXXXX"};
  int err = 0;
  for (const std::string& f : folders) {
    std::vector<char> name(f.begin(), f.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) {
      err = errno;
      continue;
    }
    folder_ = name.data();
    path_ = folder_ + "/" + NamePart(original);
    if (CopyFile(original, path_) &&
        (!Exists(original + "-journal") || CopyFile(original + "-journal", path_ + "-journal")))
      return true;
    err = errno;
    Remove();
    if (TStopSignals::Caught()) break;
  }
  *why = "cannot make a copy of " + original + " to check: " + std::strerror(err) +
         " (--repair checks the file itself)";
  return false;
}

}  // namespace vk
