// The pieces of a write that change the file, as shared access records
// them: the write's bytes are compared with those they replace in pieces of
// kChangedPieceBytes counted from the write's own start (the last piece
// shorter). Bytes past what the file held before (`beforeBytes`) differ.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vk {

constexpr size_t kChangedPieceBytes = 16;

// Calls each(offset, length) for every piece that differs.
template <class F>
void ForEachChangedPiece(uint32_t at, const uint8_t* before, size_t beforeBytes, const uint8_t* after, size_t n,
                         F each) {
  for (size_t done = 0; done < n; done += kChangedPieceBytes) {
    const size_t piece = std::min(kChangedPieceBytes, n - done);
    if (done + piece > beforeBytes || std::memcmp(before + done, after + done, piece) != 0)
      each(at + static_cast<uint32_t>(done), static_cast<uint32_t>(piece));
  }
}

}  // namespace vk
