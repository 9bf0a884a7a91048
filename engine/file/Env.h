// The file-system interface under FileBuf. The engine never calls the
// operating system directly: it asks an Env for files, and a File for bytes.
// The POSIX implementation lives in platform/; tests put their own Env in
// between to fail or shorten any read, write or seek.
//
// Every operation answers a Windows system error number: 0 for success, else
// the number of the same meaning (2 file not found, 5 access denied,
// 29 write fault, 30 read fault, 32 sharing violation, 39 disk full, ...).
// FileBuf turns these into engine codes through the system-error table.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vk {

// One open file with a current position, like a Windows file handle.
class File {
 public:
  virtual ~File() = default;
  // Moves the position to `offset` from the start. Positioning past the end
  // is allowed and does not change the file.
  virtual int Seek(int64_t offset) = 0;
  virtual int64_t Position() const = 0;
  // Reads up to n bytes at the position; *got receives how many were read
  // (fewer at the end of the file). The position advances by *got.
  virtual int Read(void* buf, size_t n, size_t* got) = 0;
  // Writes n bytes at the position, extending the file as needed; *put
  // receives how many were written (fewer when the disk is full).
  virtual int Write(const void* buf, size_t n, size_t* put) = 0;
  // Cuts (or extends) the file at the current position.
  virtual int Truncate() = 0;
  virtual int Size(int64_t* size) = 0;
  // Forces what was written so far to the storage device.
  virtual int Sync() = 0;
  // A hint that the n bytes at `offset` will be read soon: a file that keeps
  // bytes in memory may start fetching them into the processor's cache.
  // Changes nothing a read or write sees.
  virtual void Prefetch(int64_t /*offset*/, size_t /*n*/) {}
};

enum class OpenMode {
  kReadWrite,  // existing file, exclusive: nobody else may open it
  kReadOnly,   // existing file, shared for reading
  kCreate,     // create or replace, exclusive
};

// What a directory lookup tells of a file: the last-write time as a Windows
// file time (100-nanosecond intervals since 1601-01-01 UTC) and the size.
struct FileStat {
  uint64_t lastWrite = 0;
  int64_t size = 0;
};

class Env {
 public:
  virtual ~Env() = default;
  // Shared access needs these three; an Env that cannot answer them says
  // "not supported" (50).
  virtual int Stat(const std::string& /*name*/, FileStat* /*out*/) { return 50; }
  // Sets a file's last-write time (a Windows file time).
  virtual int SetLastWrite(const std::string& /*name*/, uint64_t /*fileTime*/) { return 50; }
  // Creates a new, empty, unique file in the system's folder for temporary
  // files, its name starting with `prefix`; *path receives its full path.
  virtual int CreateTemporary(const std::string& /*prefix*/, std::string* /*path*/) { return 50; }
  // The process-wide POSIX environment. Never deleted.
  static Env* Default();

  virtual int Open(const std::string& name, OpenMode mode, std::unique_ptr<File>* out) = 0;
  // Forms the absolute path of a name. Answers 0, or a system error number
  // when the name is empty or no absolute path can be formed.
  virtual int FullPath(const std::string& name, std::string* out) = 0;
  virtual int Delete(const std::string& name) = 0;
};

}  // namespace vk
