// FuzzInput: the fuzzer's bytes read as decisions. Every read is bounded and
// an exhausted input answers zeros, so a target never runs off its input
// and a short input still makes a whole run.
//
// The inputs of all targets share one frame, which the corpus maker writes:
//
//   byte 0      the build (value mod 4: VKCU8L, VKCUB, VKCUL, VKC620)
//   bytes 1-2   n, the length of the script (little-endian; cut to what is there)
//   n bytes     the script: the target's decisions
//   the rest    a dictionary file image (empty where a target makes its own)
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vkfuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}

  bool empty() const { return p_ >= end_; }
  size_t left() const { return static_cast<size_t>(end_ - p_); }
  uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
  uint16_t U16() {
    uint16_t lo = Byte();
    return static_cast<uint16_t>(lo | (Byte() << 8));
  }
  uint32_t U32() {
    uint32_t lo = U16();
    return lo | (static_cast<uint32_t>(U16()) << 16);
  }
  // A value below n (n > 0).
  uint32_t Below(uint32_t n) { return n <= 256 ? Byte() % n : U32() % n; }
  bool Bit() { return Byte() & 1; }
  // The next n bytes (fewer at the end).
  FuzzInput Take(size_t n) {
    if (n > left()) n = left();
    FuzzInput part(p_, n);
    p_ += n;
    return part;
  }
  const uint8_t* data() const { return p_; }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

// The frame around a target's input.
struct Frame {
  int build = 0;
  FuzzInput script{nullptr, 0};
  const uint8_t* image = nullptr;
  size_t imageSize = 0;
};

inline Frame ReadFrame(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  Frame f;
  f.build = in.Byte() % 4;
  const size_t n = in.U16();
  f.script = in.Take(n);
  f.image = in.data();
  f.imageSize = in.left();
  return f;
}

// The inverse of ReadFrame, for the corpus maker.
inline std::string WriteFrame(int build, const std::string& script, const std::string& image) {
  std::string out;
  out.push_back(static_cast<char>(build));
  out.push_back(static_cast<char>(script.size() & 0xFF));
  out.push_back(static_cast<char>((script.size() >> 8) & 0xFF));
  return out + script + image;
}

}  // namespace vkfuzz
