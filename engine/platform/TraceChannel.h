// The trace channel of libVKCUB: formatted text sent to a debugging
// listener's trace window (platform/TraceWindow.h) when one is open, and
// nothing at all when none is. The engine's own operations send nothing
// through it; it is there for a developer tracing the engine by hand.
//
// TraceMessage: while no window is known it looks for one of class
// "TDbgMsgForm" titled "Debug Messanger" and returns when there is none (the
// next call looks again); a window once found is kept for the life of the
// process. The text is formatted into 2048 bytes: a longer one is cut at the
// last whole UTF-8 character that fits. It goes to the window as copy-data
// identifier 1 with its byte length, without terminator.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>
#include <utility>

#include "platform/TraceWindow.h"

namespace vk {

constexpr const char* kTraceWindowClass = "TDbgMsgForm";
constexpr const char* kTraceWindowTitle = "Debug Messanger";
constexpr size_t kTraceBufferBytes = 2048;
constexpr uint32_t kTraceCopyDataId = 1;

// One trace channel to the window of the given class and title.
class TraceChannel {
 public:
  TraceChannel(std::string className, std::string title)
      : className_(std::move(className)), title_(std::move(title)) {}

  // The three steps above; true when the text went to a window.
  bool Send(const char* format, va_list args);
  bool Found() const { return window_.Found(); }

 private:
  std::string className_;
  std::string title_;
  TraceWindow window_;
};

// The process's channel to the trace window: the steps above, in the style
// of printf. Safe to call from any thread; errno is as before the call.
void TraceMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The length of the longest start of text[0, n) that ends on a whole UTF-8
// character.
size_t WholeUtf8Prefix(const char* text, size_t n);

}  // namespace vk
