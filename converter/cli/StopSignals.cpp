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

}  // namespace

TStopSignals::TStopSignals() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  for (int i = 0; i < kCount; ++i) ::sigaction(kSignals[i], &sa, &gOld[i]);
}

TStopSignals::~TStopSignals() {
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
