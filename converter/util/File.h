// TFile: one file of the converter opened in binary mode, either for reading
// (existing file, shared) or for writing (created or emptied). Folders are
// refused at open, as the platform does for a file open of a folder.
//
// Read and Write are virtual so that tests can put short or failing reads
// and writes under the code that uses a file. Every failure keeps the
// system's error number in lastError().
#pragma once
#include <cstddef>
#include <string>

namespace vk {

class TFile {
 public:
  enum Mode { kRead, kCreate };

  TFile() = default;
  virtual ~TFile();
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;

  // Closes any file open before. False when the file cannot be opened.
  bool Open(const std::string& path, Mode mode);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Up to n bytes from the current position: the count read, 0 at the end
  // of the file, -1 on failure.
  virtual long Read(void* buf, size_t n);
  // All n bytes, or false.
  virtual bool Write(const void* buf, size_t n);

  int lastError() const { return error_; }

 protected:
  int error_ = 0;

 private:
  int fd_ = -1;
};

}  // namespace vk
