#include "cli/Terminal.h"

#include <csignal>
#include <cstring>

namespace vk {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) {
  gInterrupted = 1;
  // The next Ctrl-C ends the program as usual.
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace

TTerminalUser::TTerminalUser(FILE* in, FILE* out, FILE* err, bool assumeYes, bool bar)
    : in_(in), out_(out), err_(err), assumeYes_(assumeYes), bar_(bar) {}

TTerminalUser::~TTerminalUser() = default;

std::string ProgressBarText(int percent, int recordNumber, int width) {
  int p = percent < 0 ? 0 : percent > 100 ? 100 : percent;
  int marks = p * width / 100;
  std::string text = "[" + std::string(static_cast<size_t>(marks), '#') +
                     std::string(static_cast<size_t>(width - marks), '.') + "] ";
  text += std::to_string(percent) + "% " + std::to_string(recordNumber) + "語";
  return text;
}

void TTerminalUser::ClearBar() {
  if (!barShown_) return;
  std::fputs("\r\033[K", err_);
  barShown_ = false;
}

bool TTerminalUser::Ask(const std::string& caption, const std::string& text, bool defaultYes) {
  ClearBar();
  const char* choices = defaultYes ? "[Y/n]" : "[y/N]";
  if (assumeYes_) {
    std::fprintf(err_, "%s: %s %s y\n", caption.c_str(), text.c_str(), choices);
    return true;
  }
  for (;;) {
    std::fprintf(err_, "%s: %s %s ", caption.c_str(), text.c_str(), choices);
    std::fflush(err_);
    char buf[256];
    if (!std::fgets(buf, sizeof buf, in_)) {
      std::fputs(defaultYes ? "y\n" : "n\n", err_);
      return defaultYes;
    }
    std::string a(buf);
    while (!a.empty() && (a.back() == '\n' || a.back() == '\r' || a.back() == ' ')) a.pop_back();
    if (a.empty()) return defaultYes;
    if (a == "y" || a == "Y" || a == "yes" || a == "Yes" || a == "はい") return true;
    if (a == "n" || a == "N" || a == "no" || a == "No" || a == "いいえ") return false;
  }
}

void TTerminalUser::Message(const std::string& caption, const std::string& text) {
  ClearBar();
  std::fprintf(err_, "%s: %s\n", caption.c_str(), text.c_str());
}

void TTerminalUser::AddLogLine(const std::string& line) {
  ClearBar();
  std::fprintf(err_, "%s\n", line.c_str());
}

void TTerminalUser::ProgressStart() {
  closed_ = false;
  gInterrupted = 0;
  std::signal(SIGINT, OnInterrupt);
}

void TTerminalUser::ProgressEnd() {
  std::signal(SIGINT, SIG_DFL);
  ClearBar();
  std::fflush(err_);
}

void TTerminalUser::ShowProgress(int percent, int recordNumber) {
  if (!bar_) return;
  std::fprintf(err_, "\r%s\033[K", ProgressBarText(percent, recordNumber, 30).c_str());
  std::fflush(err_);
  barShown_ = true;
}

void TTerminalUser::ProcessEvents() {
  if (!gInterrupted) return;
  gInterrupted = 0;
  // While the question waits, a second Ctrl-C ends the program.
  if (Ask(kCancelCaption, kCancelQuestion, true))
    closed_ = true;
  else
    std::signal(SIGINT, OnInterrupt);
}

void TTerminalUser::ShowResult(const TConvertCounters& c) {
  ClearBar();
  const int values[5] = {c.sourceCount, c.recCount, c.undefCount, c.multiByteErrorCount,
                         c.overCount};
  for (int i = 0; i < 5; ++i) std::fprintf(out_, "%s: %d\n", kResultLabels[i], values[i]);
  std::fflush(out_);
}

}  // namespace vk
