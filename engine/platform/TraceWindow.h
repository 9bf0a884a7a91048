// TraceWindow: the trace window that a debugging listener opens, as this
// platform has it. A window found by its class name and title becomes a
// local datagram socket bound to the abstract name
//
//   "\0" + class name + "/" + title        (no terminator; at most 107 bytes)
//
// and the data-copy message sent to the window becomes one datagram to that
// socket, carrying the fields of the copy-data descriptor:
//
//   offset 0  uint32 little-endian  identifier
//   offset 4  uint32 little-endian  length of the data in bytes
//   offset 8  the data, that many bytes (a text without its terminator)
//
// A name that no socket is bound to is a window that does not exist: Find
// answers false and keeps nothing. A send blocks while the listener's queue
// is full and returns once the datagram is queued there; that is as close as
// a datagram comes to waiting until the window has handled the message.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vk {

class TraceWindow {
 public:
  // The datagram's header; the data follows it.
  static constexpr size_t kHeaderBytes = 8;

  TraceWindow() = default;
  ~TraceWindow() { Forget(); }
  TraceWindow(const TraceWindow&) = delete;
  TraceWindow& operator=(const TraceWindow&) = delete;

  // The socket name of the window, without its leading zero byte.
  static std::string AddressName(const std::string& className, const std::string& title);

  // Looks for the window; true when one listens under that name, which is
  // then kept until Forget. A window already found is kept as it is.
  bool Find(const std::string& className, const std::string& title);
  bool Found() const { return fd_ >= 0; }
  void Forget();

  // Sends the data-copy message; false when no window is found or the send
  // failed (the listener has gone, or the datagram is too large for it).
  bool CopyData(uint32_t identifier, const char* data, uint32_t length);

  // The datagram of a data-copy message, and its fields back from one.
  // Decode answers false for a datagram that does not have this layout.
  static std::string Encode(uint32_t identifier, const char* data, uint32_t length);
  static bool Decode(const char* datagram, size_t size, uint32_t* identifier, std::string* data);

 private:
  int fd_ = -1;
};

}  // namespace vk
