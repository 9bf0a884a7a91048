// Test buffers that catch overruns without relying on a sanitizer.
//
// TailGuarded<T> places n elements so that the last one ends exactly at a
// page boundary followed by an inaccessible page: any read or write past the
// end faults at once. SentinelBuffer<T> keeps a region of known values after
// the usable capacity, to report a write past the capacity as a test failure.
#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vk::test {

template <class T>
class TailGuarded {
 public:
  explicit TailGuarded(size_t n) : n_(n) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t bytes = n * sizeof(T);
    dataPages_ = (bytes + page - 1) / page * page;
    if (dataPages_ == 0) dataPages_ = page;
    mapLen_ = dataPages_ + page;
    void* m = mmap(nullptr, mapLen_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) std::abort();
    base_ = static_cast<char*>(m);
    if (mprotect(base_ + dataPages_, page, PROT_NONE) != 0) std::abort();
    data_ = reinterpret_cast<T*>(base_ + dataPages_ - bytes);
  }
  template <class Seq>
  static TailGuarded Of(const Seq& s) {
    TailGuarded g(s.size());
    for (size_t i = 0; i < s.size(); ++i) g.data()[i] = static_cast<T>(s[i]);
    return g;
  }
  TailGuarded(TailGuarded&& o) noexcept : base_(o.base_), mapLen_(o.mapLen_), dataPages_(o.dataPages_), data_(o.data_), n_(o.n_) {
    o.base_ = nullptr;
  }
  TailGuarded(const TailGuarded&) = delete;
  TailGuarded& operator=(const TailGuarded&) = delete;
  ~TailGuarded() {
    if (base_) munmap(base_, mapLen_);
  }
  T* data() { return data_; }
  size_t size() const { return n_; }

 private:
  char* base_;
  size_t mapLen_;
  size_t dataPages_;
  T* data_;
  size_t n_;
};

template <class T>
class SentinelBuffer {
 public:
  static constexpr size_t kGuard = 64;
  static constexpr T kSentinel = static_cast<T>(0xA5A5);

  explicit SentinelBuffer(size_t cap) : cap_(cap), buf_(cap + kGuard, kSentinel) {}
  T* data() { return buf_.data(); }
  size_t capacity() const { return cap_; }
  // True when nothing at or past the capacity was written.
  bool GuardIntact() const {
    for (size_t i = cap_; i < buf_.size(); ++i)
      if (buf_[i] != kSentinel) return false;
    return true;
  }

 private:
  size_t cap_;
  std::vector<T> buf_;
};

}  // namespace vk::test
