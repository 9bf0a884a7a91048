#include "util/LineReader.h"

namespace vk {

bool TLineReader::Fill() {
  if (ended_) return false;
  long got = file_->Read(buf_, kBufferSize);
  if (got <= 0) {
    ended_ = true;
    return false;
  }
  pos_ = 0;
  len_ = static_cast<size_t>(got);
  return true;
}

bool TLineReader::ReadLine(std::string* line) {
  line->clear();
  bool any = false;
  for (;;) {
    if (pos_ == len_ && !Fill()) return any;
    char c = buf_[pos_++];
    if (c == '\0' || c == '\x1A') continue;
    if (afterCr_) {
      afterCr_ = false;
      if (c == '\n') continue;
    }
    if (c == '\n') return true;
    if (c == '\r') {
      afterCr_ = true;
      return true;
    }
    any = true;
    line->push_back(c);
  }
}

}  // namespace vk
