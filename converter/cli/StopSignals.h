// TStopSignals: catches the signals that end a program from the terminal or
// the system (SIGINT, SIGTERM, SIGHUP) for as long as it lives, so that a
// long vkdic command stops at its next step and closes its dictionary
// instead of dying with it half written or leaving a scratch file behind.
// No SA_RESTART: a read waiting on a terminal or pipe returns at once.
#pragma once

namespace vk {

class TStopSignals {
 public:
  TStopSignals();
  ~TStopSignals();
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

  // The signal caught, or 0.
  static int Caught();
};

// "SIGINT", "SIGTERM", "SIGHUP".
const char* SignalName(int sig);

}  // namespace vk
