#include "cli/Terminal.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vk {

namespace {

volatile std::sig_atomic_t gInterrupts = 0;
volatile std::sig_atomic_t gStopSignal = 0;

void OnSignal(int sig) {
  if (sig == SIGINT && ++gInterrupts < 2) return;
  gStopSignal = sig;
}

}  // namespace

TTerminalUser::TTerminalUser(FILE* in, FILE* out, FILE* err, bool assumeYes, bool bar,
                             std::string program)
    : in_(in),
      out_(out),
      err_(err),
      assumeYes_(assumeYes),
      program_(std::move(program)),
      meter_(err, bar, "records") {}

TTerminalUser::~TTerminalUser() { RestoreHandlers(); }

void TTerminalUser::InstallHandlers() {
  if (handlersInstalled_) return;
  gInterrupts = 0;
  gStopSignal = 0;
  struct sigaction sa = {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  // No SA_RESTART: a second Ctrl-C must end the wait for an answer.
  sa.sa_flags = 0;
  sigaction(SIGINT, &sa, &oldInt_);
  sigaction(SIGTERM, &sa, &oldTerm_);
  sigaction(SIGHUP, &sa, &oldHup_);
  handlersInstalled_ = true;
}

void TTerminalUser::RestoreHandlers() {
  if (!handlersInstalled_) return;
  sigaction(SIGINT, &oldInt_, nullptr);
  sigaction(SIGTERM, &oldTerm_, nullptr);
  sigaction(SIGHUP, &oldHup_, nullptr);
  handlersInstalled_ = false;
}

bool TTerminalUser::StopRequested() { return gStopSignal != 0; }

int TTerminalUser::stopSignal() const { return gStopSignal; }

bool TTerminalUser::ReadAnswer(std::string* line) {
  // Read byte by byte from the descriptor, not through stdio: a stop signal
  // that arrives just before a blocking read would otherwise go unseen and
  // leave the program waiting for an answer nobody means to give. Waiting in
  // short polls lets the stop be seen whenever it comes.
  const int fd = ::fileno(in_);
  line->clear();
  for (;;) {
    if (gStopSignal) return false;
    struct pollfd p = {fd, POLLIN, 0};
    int ready = ::poll(&p, 1, 200);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    char c;
    ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return !line->empty();  // the end of input takes the default
    if (c == '\n') return true;
    if (line->size() < 256) line->push_back(c);
  }
}

bool TTerminalUser::Ask(const std::string& caption, const std::string& text, bool defaultYes,
                        const std::string& detail) {
  return AskOn(caption, text, defaultYes, detail, assumeYes_);
}

bool TTerminalUser::AskOn(const std::string& caption, const std::string& text, bool defaultYes,
                          const std::string& detail, bool assumeYes) {
  meter_.Clear();
  const char* choices = defaultYes ? "[Y/n]" : "[y/N]";
  if (!detail.empty()) std::fprintf(err_, "%s: %s\n", program_.c_str(), detail.c_str());
  if (assumeYes) {
    std::fprintf(err_, "%s: %s %s y\n", caption.c_str(), text.c_str(), choices);
    return true;
  }
  for (;;) {
    std::fprintf(err_, "%s: %s %s ", caption.c_str(), text.c_str(), choices);
    std::fflush(err_);
    std::string a;
    if (!ReadAnswer(&a)) {
      std::fputs(defaultYes ? "y\n" : "n\n", err_);
      return defaultYes;
    }
    while (!a.empty() && (a.back() == '\n' || a.back() == '\r' || a.back() == ' ')) a.pop_back();
    if (a.empty()) return defaultYes;
    if (a == "y" || a == "Y" || a == "yes" || a == "Yes" || a == "はい") return true;
    if (a == "n" || a == "N" || a == "no" || a == "No" || a == "いいえ") return false;
  }
}

void TTerminalUser::Message(const std::string& caption, const std::string& text,
                            const std::string& detail) {
  meter_.Clear();
  if (!detail.empty()) std::fprintf(err_, "%s: %s\n", program_.c_str(), detail.c_str());
  std::fprintf(err_, "%s: %s\n", caption.c_str(), text.c_str());
}

void TTerminalUser::AddLogLine(const std::string& line) {
  meter_.Clear();
  std::fprintf(err_, "%s\n", line.c_str());
}

void TTerminalUser::ProgressStart(int totalRecords) {
  closed_ = false;
  InstallHandlers();
  meter_.Start(totalRecords);
}

void TTerminalUser::ProgressEnd() {
  RestoreHandlers();
  meter_.Clear();
  std::fflush(err_);
}

void TTerminalUser::ShowProgress(int /*percent*/, int recordNumber) {
  meter_.Update(recordNumber, true);
}

void TTerminalUser::ProcessEvents() {
  if (gInterrupts == 0 || gStopSignal) return;
  // Asked even under --yes: whoever pressed Ctrl-C is there to answer, and
  // where nobody can (input at its end), the default stops. While the
  // question waits, a second Ctrl-C stops too (OnSignal).
  bool stop = AskOn(kCancelCaption, kCancelQuestion, true,
                    "interrupted: stop the conversion? The records written so far stay", false);
  if (stop || gStopSignal)
    closed_ = true;
  else
    gInterrupts = 0;
}

void TTerminalUser::ShowResult(const TConvertCounters& c) {
  meter_.Clear();
  if (gStopSignal) {
    const char* name = gStopSignal == SIGINT    ? "a second Ctrl-C"
                       : gStopSignal == SIGTERM ? "SIGTERM"
                                                : "SIGHUP";
    std::fprintf(err_, "%s: stopped by %s after record %d; %d records are in the target\n",
                 program_.c_str(), name, c.sourceCount, c.recCount);
  }
  const int values[5] = {c.sourceCount, c.recCount, c.undefCount, c.multiByteErrorCount,
                         c.overCount};
  for (int i = 0; i < 5; ++i) std::fprintf(out_, "%s: %d\n", kResultLabels[i], values[i]);
  std::fflush(out_);
}

}  // namespace vk
