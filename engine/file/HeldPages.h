// HeldPages: the pages of a file that FileBuf's write-back holds in memory,
// found by page number in one array step (a lookup happens for every page
// of every read and write while pages are held, so a hash table's cost
// shows). Pages are whole kPageBytes buffers; the buffers of a cleared set
// are kept for the next pages, so that holding one batch after another
// allocates nothing, until Release gives them back.
//
// Invariants: table_[p] is non-null exactly for the page numbers in list_;
// every buffer is either held (in table_) or spare, and spare_'s capacity
// covers them all.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace vk {

class HeldPages {
 public:
  static constexpr int64_t kPageBytes = 4096;

  bool empty() const { return list_.empty(); }
  size_t size() const { return list_.size(); }

  // The held page `page`, or null.
  uint8_t* Find(int64_t page) const {
    return page >= 0 && static_cast<uint64_t>(page) < table_.size() ? table_[static_cast<size_t>(page)] : nullptr;
  }

  // Holds page `page` (not held yet) as zeros; null when memory runs out.
  uint8_t* Add(int64_t page) {
    if (page < 0) return nullptr;
    const size_t at = static_cast<size_t>(page);
    uint8_t* p = nullptr;
    try {
      if (at >= table_.size()) table_.resize(std::max(at + 1, table_.size() * 2), nullptr);
      Room(&list_, list_.size() + 1);
      if (spare_.empty()) {
        // Every buffer is held now: Clear hands them all to spare_ without
        // allocating.
        Room(&spare_, list_.size() + 1);
        p = new uint8_t[kPageBytes];
      } else {
        p = spare_.back();
        spare_.pop_back();
      }
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    std::memset(p, 0, kPageBytes);
    table_[at] = p;
    list_.push_back(page);
    return p;
  }

  // The held page numbers, ascending.
  const std::vector<int64_t>& SortedPages() {
    std::sort(list_.begin(), list_.end());
    return list_;
  }

  // Holds nothing; the buffers wait for the next pages.
  void Clear() {
    for (int64_t page : list_) {
      spare_.push_back(table_[static_cast<size_t>(page)]);
      table_[static_cast<size_t>(page)] = nullptr;
    }
    list_.clear();
  }

  // Holds nothing and frees every buffer.
  void Release() {
    Clear();
    for (uint8_t* p : spare_) delete[] p;
    spare_.clear();
    table_.clear();
    table_.shrink_to_fit();
  }

  HeldPages() = default;
  HeldPages(const HeldPages&) = delete;
  HeldPages& operator=(const HeldPages&) = delete;
  ~HeldPages() { Release(); }

 private:
  // Capacity for n elements, doubling: throws std::bad_alloc.
  template <class T>
  static void Room(std::vector<T>* v, size_t n) {
    if (v->capacity() < n) v->reserve(std::max(n, 2 * v->capacity()));
  }

  std::vector<uint8_t*> table_;  // by page number
  std::vector<int64_t> list_;    // the held page numbers
  std::vector<uint8_t*> spare_;  // buffers of cleared pages
};

}  // namespace vk
