// Shared pieces of the index tests: a scratch dictionary-shaped file (a
// filler header, the index area, filler data after it), a FileBuf over it,
// and headwords built from ASCII in the build's unit type.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "file/Env.h"
#include "file/FileBuf.h"
#include "format/BuildTraits.h"
#include "index/HVokaIndex.h"
#include "support/Builds.h"
#include "support/FileText.h"
#include "support/TempDir.h"

namespace vkindextest {

using Bytes = std::vector<uint8_t>;

// The index area starts where it does in a file without extension header.
constexpr int64_t kAreaOffset = 256;
constexpr uint8_t kHeaderFill = 0xAB;
constexpr uint8_t kDataFill = 0xDD;

using vktest::AllBuilds;
using vktest::BuildNames;

inline Bytes Slurp(const std::string& path) { return vktest::ReadAll(path); }
inline void Spit(const std::string& path, const Bytes& bytes) { vktest::WriteAll(path, bytes); }

// Filler header, `area` as given, then `dataBytes` of filler data.
inline Bytes FileImage(const Bytes& area, size_t dataBytes = 64) {
  const size_t offset = static_cast<size_t>(kAreaOffset);
  Bytes f(offset + area.size() + dataBytes, kDataFill);
  std::fill(f.begin(), f.begin() + offset, kHeaderFill);
  std::copy(area.begin(), area.end(), f.begin() + offset);
  return f;
}

template <class B>
std::basic_string<typename B::Unit> W(const std::string& ascii) {
  std::basic_string<typename B::Unit> s;
  for (unsigned char c : ascii) s.push_back(static_cast<typename B::Unit>(c));
  return s;
}

template <class B>
int64_t EntrySize(size_t len) {
  return static_cast<int64_t>(len * sizeof(typename B::Unit)) + vk::IndexEntryOverhead<B>();
}

// A scratch file with a FileBuf over it, sharing one error cell with the
// indexes made on it, as inside a dictionary object.
class ScratchFile {
 public:
  explicit ScratchFile(vk::Env* env = vk::Env::Default()) : env_(env), path_(dir_.Path("index.dic")) {}

  const std::string& path() const { return path_; }
  int32_t& cell() { return cell_; }
  vk::FileBuf* file() { return file_.get(); }

  // Writes the image and opens it read-write.
  void Create(const Bytes& image) {
    Close();
    Spit(path_, image);
    Open();
  }
  void Open() {
    file_ = std::make_unique<vk::FileBuf>(env_, &cell_);
    ASSERT_EQ(file_->OpenReadWrite(path_), 0) << "cell " << cell_;
  }
  void Close() { file_.reset(); }
  // Closes the file and gives back its bytes; the file stays closed.
  Bytes CloseAndRead() {
    Close();
    return Slurp(path_);
  }

 private:
  vktest::TempDir dir_;
  vk::Env* env_;
  std::string path_;
  int32_t cell_ = 0;
  std::unique_ptr<vk::FileBuf> file_;
};

// The area part of a file image.
inline Bytes AreaOf(const Bytes& image, size_t areaSize) {
  if (image.size() < static_cast<size_t>(kAreaOffset)) return {};
  size_t end = std::min(image.size(), static_cast<size_t>(kAreaOffset) + areaSize);
  return Bytes(image.begin() + kAreaOffset, image.begin() + static_cast<std::ptrdiff_t>(end));
}

}  // namespace vkindextest
