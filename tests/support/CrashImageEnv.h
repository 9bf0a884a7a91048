// CrashImageEnv: an Env for tests that takes a crash image: at one chosen
// write (counted across all files opened through it), it copies every file
// of a folder into another folder, which then holds exactly what a process
// killed at that moment would have left on disk. The image is taken either
// after the write or with only the first half of its bytes written (a write
// the process was killed in the middle of); the write then goes on as usual.
//
//   CrashImageEnv env;
//   env.ImageAtWrite(12, /*halfWritten=*/true, dir.path(), image.path());
//   ... run the engine on a file of dir through env ...
//   env.imageTaken()   // false when fewer than 13 writes were made
#pragma once
#include <memory>
#include <string>

#include "file/Env.h"

namespace vktest {

class CrashImageEnv : public vk::Env {
 public:
  explicit CrashImageEnv(vk::Env* base = vk::Env::Default());
  ~CrashImageEnv() override;

  void ImageAtWrite(int n, bool halfWritten, const std::string& folder, const std::string& imageFolder);
  bool imageTaken() const;
  int writes() const;

  int Open(const std::string& name, vk::OpenMode mode, std::unique_ptr<vk::File>* out) override;
  int FullPath(const std::string& name, std::string* out) override { return base_->FullPath(name, out); }
  int Delete(const std::string& name) override { return base_->Delete(name); }
  int Stat(const std::string& name, vk::FileStat* out) override { return base_->Stat(name, out); }
  int SetLastWrite(const std::string& name, uint64_t t) override { return base_->SetLastWrite(name, t); }
  int CreateTemporary(const std::string& prefix, std::string* path) override {
    return base_->CreateTemporary(prefix, path);
  }

  struct State;

 private:
  vk::Env* base_;
  std::shared_ptr<State> state_;
};

// Replaces the contents of `to` with copies of the regular files of `from`.
void CopyFolderFiles(const std::string& from, const std::string& to);

}  // namespace vktest
