#include "platform/PageCache.h"

#include <algorithm>
#include <cstring>

namespace vk {

uint8_t* PageCache::Load(size_t index, PageSource* source, int* err) {
  *err = 0;
  if (index < pages_.size() && pages_[index]) return pages_[index].get();
  const int64_t start = static_cast<int64_t>(index) * int64_t(kPageBytes);
  const size_t want = static_cast<size_t>(std::min<int64_t>(int64_t(kPageBytes), size_ - start));
  if (index >= pages_.size()) pages_.resize(index + 1);
  Page page = TakeBuffer();
  size_t got = 0;
  *err = source->ReadAt(start, page.get(), want, &got);
  if (*err != 0) return nullptr;
  // A file shorter than expected was cut by someone else: believe the file.
  if (got < want) size_ = start + static_cast<int64_t>(got);
  std::memset(page.get() + got, 0, kPageBytes - got);
  pages_[index] = std::move(page);
  resident_.push_back(index);
  ++cached_;
  return pages_[index].get();
}

PageCache::Page PageCache::TakeBuffer() {
  if (cached_ < maxPages_ || resident_.empty()) return Page(new uint8_t[kPageBytes]);
  victimSeed_ ^= victimSeed_ << 13;
  victimSeed_ ^= victimSeed_ >> 7;
  victimSeed_ ^= victimSeed_ << 17;
  const size_t slot = static_cast<size_t>(victimSeed_ % resident_.size());
  const size_t victim = resident_[slot];
  resident_[slot] = resident_.back();
  resident_.pop_back();
  --cached_;
  return std::move(pages_[victim]);
}

int PageCache::Read(int64_t pos, void* buf, size_t n, size_t* got, PageSource* source) {
  *got = 0;
  uint8_t* out = static_cast<uint8_t*>(buf);
  while (*got < n) {
    const int64_t at = pos + static_cast<int64_t>(*got);
    if (at >= size_) break;
    const size_t index = static_cast<size_t>(at / int64_t(kPageBytes));
    int err;
    const uint8_t* page = Load(index, source, &err);
    if (!page) return err;
    if (at >= size_) break;  // the load found the file shorter
    const size_t in = static_cast<size_t>(at % int64_t(kPageBytes));
    const size_t take = static_cast<size_t>(
        std::min<int64_t>({int64_t(kPageBytes - in), int64_t(n - *got), size_ - at}));
    std::memcpy(out + *got, page + in, take);
    *got += take;
  }
  return 0;
}

void PageCache::Prefetch(int64_t pos, size_t n) const {
  constexpr size_t kLine = 64;
  const int64_t end = std::min(size_, pos + static_cast<int64_t>(n));
  for (int64_t at = pos; at >= 0 && at < end;) {
    const size_t index = static_cast<size_t>(at / int64_t(kPageBytes));
    const size_t in = static_cast<size_t>(at % int64_t(kPageBytes));
    const size_t take = static_cast<size_t>(std::min<int64_t>(int64_t(kPageBytes - in), end - at));
    if (index < pages_.size() && pages_[index]) {
      const uint8_t* page = pages_[index].get();
      for (size_t k = in; k < in + take; k += kLine) __builtin_prefetch(page + k);
    }
    at += static_cast<int64_t>(take);
  }
}

void PageCache::Wrote(int64_t pos, const void* data, size_t n) {
  if (n == 0) return;
  const uint8_t* in = static_cast<const uint8_t*>(data);
  const int64_t end = pos + static_cast<int64_t>(n);
  const size_t first = static_cast<size_t>(pos / int64_t(kPageBytes));
  const size_t last = static_cast<size_t>((end - 1) / int64_t(kPageBytes));
  for (size_t index = first; index <= last && index < pages_.size(); ++index) {
    if (!pages_[index]) continue;
    const int64_t start = static_cast<int64_t>(index) * int64_t(kPageBytes);
    const int64_t from = std::max(pos, start);
    const int64_t to = std::min(end, start + int64_t(kPageBytes));
    std::memcpy(pages_[index].get() + (from - start), in + (from - pos), static_cast<size_t>(to - from));
  }
  size_ = std::max(size_, end);
}

void PageCache::Truncated(int64_t size) {
  if (size < size_) {
    const size_t keep = static_cast<size_t>((size + int64_t(kPageBytes) - 1) / int64_t(kPageBytes));
    for (size_t index = keep; index < pages_.size(); ++index) {
      if (pages_[index]) --cached_;
    }
    if (keep < pages_.size()) {
      pages_.resize(keep);
      resident_.erase(std::remove_if(resident_.begin(), resident_.end(), [keep](size_t i) { return i >= keep; }),
                      resident_.end());
    }
    const size_t in = static_cast<size_t>(size % int64_t(kPageBytes));
    if (in != 0 && keep > 0 && keep - 1 < pages_.size() && pages_[keep - 1])
      std::memset(pages_[keep - 1].get() + in, 0, kPageBytes - in);
  }
  size_ = size;
}

void PageCache::Reset(int64_t size) {
  pages_.clear();
  resident_.clear();
  cached_ = 0;
  size_ = size;
}

}  // namespace vk
