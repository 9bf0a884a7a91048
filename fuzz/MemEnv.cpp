#include "MemEnv.h"

#include <algorithm>
#include <cstring>

#include "file/SystemErrors.h"

namespace vkfuzz {
namespace {

class MemFile : public vk::File {
 public:
  MemFile(std::shared_ptr<MemEnv::Node> node, bool writable) : node_(std::move(node)), writable_(writable) {
    if (writable_) {
      node_->writer = true;
    } else {
      ++node_->readers;
    }
  }
  ~MemFile() override {
    if (writable_) {
      node_->writer = false;
    } else {
      --node_->readers;
    }
  }

  int Seek(int64_t offset) override {
    if (offset < 0) return vk::kSysNegativeSeek;
    pos_ = offset;
    return 0;
  }
  int64_t Position() const override { return pos_; }
  int Read(void* buf, size_t n, size_t* got) override {
    const int64_t size = static_cast<int64_t>(node_->bytes.size());
    *got = pos_ >= size ? 0 : static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), size - pos_));
    if (*got) std::memcpy(buf, node_->bytes.data() + pos_, *got);
    pos_ += static_cast<int64_t>(*got);
    return 0;
  }
  int Write(const void* buf, size_t n, size_t* put) override {
    *put = 0;
    if (!writable_) return vk::kSysAccessDenied;
    // A fuzzed header may place an area far out: refuse growth no real disk
    // of this size would give, as a full disk does.
    if (pos_ + static_cast<int64_t>(n) > kMaxFileBytes) return vk::kSysDiskFull;
    std::vector<uint8_t>& b = node_->bytes;
    if (b.size() < static_cast<size_t>(pos_) + n) b.resize(static_cast<size_t>(pos_) + n);
    if (n) std::memcpy(b.data() + pos_, buf, n);
    *put = n;
    pos_ += static_cast<int64_t>(n);
    return 0;
  }
  int Truncate() override {
    if (!writable_) return vk::kSysAccessDenied;
    if (pos_ > kMaxFileBytes) return vk::kSysDiskFull;
    node_->bytes.resize(static_cast<size_t>(pos_));
    return 0;
  }
  int Size(int64_t* size) override {
    *size = static_cast<int64_t>(node_->bytes.size());
    return 0;
  }
  int Sync() override { return 0; }

 private:
  static constexpr int64_t kMaxFileBytes = int64_t(64) << 20;
  std::shared_ptr<MemEnv::Node> node_;
  bool writable_;
  int64_t pos_ = 0;
};

}  // namespace

int MemEnv::Open(const std::string& name, vk::OpenMode mode, std::unique_ptr<vk::File>* out) {
  auto it = files_.find(name);
  if (mode == vk::OpenMode::kCreate) {
    if (it != files_.end()) {
      if (it->second->writer || it->second->readers) return vk::kSysSharingViolation;
      it->second->bytes.clear();
    } else {
      it = files_.emplace(name, std::make_shared<Node>()).first;
    }
    out->reset(new MemFile(it->second, true));
    return 0;
  }
  if (it == files_.end()) return vk::kSysFileNotFound;
  Node& n = *it->second;
  const bool writable = mode == vk::OpenMode::kReadWrite;
  if (n.writer || (writable && n.readers)) return vk::kSysSharingViolation;
  out->reset(new MemFile(it->second, writable));
  return 0;
}

int MemEnv::FullPath(const std::string& name, std::string* out) {
  if (name.empty()) return vk::kSysInvalidName;
  *out = name[0] == '/' ? name : "/mem/" + name;
  return 0;
}

int MemEnv::Delete(const std::string& name) {
  auto it = files_.find(name);
  if (it == files_.end()) return vk::kSysFileNotFound;
  if (it->second->writer || it->second->readers) return vk::kSysSharingViolation;
  files_.erase(it);
  return 0;
}

void MemEnv::Put(const std::string& name, const uint8_t* data, size_t size) {
  auto& node = files_[name];
  if (!node) node = std::make_shared<Node>();
  node->bytes.assign(data, data + size);
}

std::vector<uint8_t> MemEnv::Get(const std::string& name) const {
  auto it = files_.find(name);
  return it == files_.end() ? std::vector<uint8_t>() : it->second->bytes;
}

}  // namespace vkfuzz
