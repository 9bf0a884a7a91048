#include "cli/StopSignals.h"

#include <signal.h>

#include <csignal>
#include <cstring>

namespace vk {

namespace {

volatile sig_atomic_t gStopSignal = 0;

extern "C" void OnStopSignal(int sig) { gStopSignal = sig; }

constexpr int kCount = 3;
constexpr int kSignals[kCount] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gOld[kCount];
sigset_t gOldMask;

}  // namespace

// A signal the program was started with ignored stays ignored: "nohup vkdic
// optimize ..." must outlive the terminal, and a shell's background job is
// not meant to stop at the terminal's Ctrl-C. A signal the parent left
// blocked is unblocked while the command runs, or nothing could stop it; one
// already pending then stops the command at its first step.
TStopSignals::TStopSignals() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigset_t unblock;
  sigemptyset(&unblock);
  for (int i = 0; i < kCount; ++i) {
    ::sigaction(kSignals[i], nullptr, &gOld[i]);
    if (gOld[i].sa_handler == SIG_IGN) continue;
    ::sigaction(kSignals[i], &sa, nullptr);
    sigaddset(&unblock, kSignals[i]);
  }
  ::sigprocmask(SIG_UNBLOCK, &unblock, &gOldMask);
}

TStopSignals::~TStopSignals() {
  // Blocked again before the old handlers return, so that a signal arriving
  // in between waits as it would have without us.
  ::sigprocmask(SIG_SETMASK, &gOldMask, nullptr);
  for (int i = 0; i < kCount; ++i) ::sigaction(kSignals[i], &gOld[i], nullptr);
}

int TStopSignals::Caught() { return gStopSignal; }

const char* SignalName(int sig) {
  switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

}  // namespace vk
