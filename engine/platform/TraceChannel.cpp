#include "platform/TraceChannel.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace vk {

size_t WholeUtf8Prefix(const char* text, size_t n) {
  const auto* b = reinterpret_cast<const unsigned char*>(text);
  // Step back over the continuation bytes at the end to the lead byte of the
  // last character, and drop that character when it lacks some of its bytes.
  size_t lead = n;
  while (lead > 0 && n - lead < 3 && (b[lead - 1] & 0xC0) == 0x80) --lead;
  if (lead == 0) return n;
  const unsigned char c = b[lead - 1];
  size_t want;
  if ((c & 0xE0) == 0xC0) {
    want = 2;
  } else if ((c & 0xF0) == 0xE0) {
    want = 3;
  } else if ((c & 0xF8) == 0xF0) {
    want = 4;
  } else {
    return n;  // ASCII, or bytes that are not UTF-8: left as they are
  }
  const size_t have = n - lead + 1;
  return have < want ? lead - 1 : n;
}

bool TraceChannel::Send(const char* format, va_list args) {
  if (!format) return false;
  if (!window_.Find(className_, title_)) return false;
  char text[kTraceBufferBytes];
  const int n = std::vsnprintf(text, sizeof text, format, args);
  if (n < 0) return false;
  size_t length = std::strlen(text);
  if (size_t(n) >= sizeof text) length = WholeUtf8Prefix(text, length);
  return window_.CopyData(kTraceCopyDataId, text, uint32_t(length));
}

void TraceMessage(const char* format, ...) {
  static std::mutex mutex;
  static TraceChannel channel(kTraceWindowClass, kTraceWindowTitle);
  // A trace between a failing call and the look at its errno must not
  // change what the caller finds there.
  const int savedErrno = errno;
  {
    std::lock_guard<std::mutex> lock(mutex);
    va_list args;
    va_start(args, format);
    channel.Send(format, args);
    va_end(args);
  }
  errno = savedErrno;
}

}  // namespace vk
