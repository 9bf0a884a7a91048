#include "support/CrashImageEnv.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <vector>

namespace vktest {

struct CrashImageEnv::State {
  int writes = 0;
  int at = -1;
  bool half = false;
  bool taken = false;
  std::string folder, imageFolder;

  void Take() {
    CopyFolderFiles(folder, imageFolder);
    taken = true;
  }
};

namespace {

std::vector<std::string> FilesOf(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      struct stat st;
      if (::stat((folder + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
    }
    ::closedir(d);
  }
  return names;
}

class ImageFile : public vk::File {
 public:
  ImageFile(std::unique_ptr<vk::File> base, std::shared_ptr<CrashImageEnv::State> s)
      : base_(std::move(base)), s_(std::move(s)) {}

  int Seek(int64_t offset) override { return base_->Seek(offset); }
  int64_t Position() const override { return base_->Position(); }
  int Read(void* buf, size_t n, size_t* got) override { return base_->Read(buf, n, got); }
  int Write(const void* buf, size_t n, size_t* put) override {
    const int call = s_->writes++;
    if (call != s_->at) return base_->Write(buf, n, put);
    if (!s_->half || n < 2) {
      int err = base_->Write(buf, n, put);
      s_->Take();
      return err;
    }
    size_t first = 0, second = 0;
    int err = base_->Write(buf, n / 2, &first);
    s_->Take();
    if (err == 0) err = base_->Write(static_cast<const char*>(buf) + first, n - first, &second);
    *put = first + second;
    return err;
  }
  int Truncate() override { return base_->Truncate(); }
  int Size(int64_t* size) override { return base_->Size(size); }
  int Sync() override { return base_->Sync(); }

 private:
  std::unique_ptr<vk::File> base_;
  std::shared_ptr<CrashImageEnv::State> s_;
};

}  // namespace

void CopyFolderFiles(const std::string& from, const std::string& to) {
  for (const std::string& name : FilesOf(to)) ::unlink((to + "/" + name).c_str());
  for (const std::string& name : FilesOf(from)) {
    std::ifstream in(from + "/" + name, std::ios::binary);
    std::ofstream out(to + "/" + name, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
  }
}

CrashImageEnv::CrashImageEnv(vk::Env* base) : base_(base), state_(std::make_shared<State>()) {}
CrashImageEnv::~CrashImageEnv() = default;

void CrashImageEnv::ImageAtWrite(int n, bool halfWritten, const std::string& folder, const std::string& imageFolder) {
  state_->at = state_->writes + n;
  state_->half = halfWritten;
  state_->taken = false;
  state_->folder = folder;
  state_->imageFolder = imageFolder;
}

bool CrashImageEnv::imageTaken() const { return state_->taken; }
int CrashImageEnv::writes() const { return state_->writes; }

int CrashImageEnv::Open(const std::string& name, vk::OpenMode mode, std::unique_ptr<vk::File>* out) {
  std::unique_ptr<vk::File> file;
  int err = base_->Open(name, mode, &file);
  if (err != 0) return err;
  out->reset(new ImageFile(std::move(file), state_));
  return 0;
}

}  // namespace vktest
