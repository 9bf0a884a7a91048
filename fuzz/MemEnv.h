// MemEnv: an Env whose files live in memory, so that a fuzz target can open,
// change, journal and reopen a dictionary thousands of times a second
// without touching the disk. Files are named byte vectors that outlive the
// File objects opened on them; Put and Get load and read a whole file.
//
// Opens follow the POSIX environment's locking: a read-write or create open
// is exclusive, read-only opens share, and a refused open answers 32
// (sharing violation). A missing file answers 2 for read-write and
// read-only opens.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "file/Env.h"

namespace vkfuzz {

class MemEnv : public vk::Env {
 public:
  struct Node {
    std::vector<uint8_t> bytes;
    int readers = 0;
    bool writer = false;
  };

  int Open(const std::string& name, vk::OpenMode mode, std::unique_ptr<vk::File>* out) override;
  int FullPath(const std::string& name, std::string* out) override;
  int Delete(const std::string& name) override;

  void Put(const std::string& name, const uint8_t* data, size_t size);
  // The bytes of a file, empty when there is none.
  std::vector<uint8_t> Get(const std::string& name) const;
  bool Exists(const std::string& name) const { return files_.count(name) != 0; }
  int64_t Size(const std::string& name) const {
    auto it = files_.find(name);
    return it == files_.end() ? 0 : static_cast<int64_t>(it->second->bytes.size());
  }
  // Copies a file whole (a fresh copy, not shared with the original).
  void Copy(const std::string& from, const std::string& to) {
    std::vector<uint8_t> b = Get(from);
    Put(to, b.data(), b.size());
  }

 private:
  std::map<std::string, std::shared_ptr<Node>> files_;
};

}  // namespace vkfuzz
