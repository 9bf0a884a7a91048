// TTerminalUser: the conversion driver's user on a terminal. Questions are
// asked on standard error and answered from standard input (y/n, a bare
// Enter takes the default; the end of input takes it too), or all answered
// Yes. Message boxes and dump-log lines go to standard error; a progress
// bar is drawn there only when it is a terminal. Ctrl-C asks the cancel
// question at the next cancel point (every 256 registered records); a second
// Ctrl-C ends the program. The counters go to standard output.
#pragma once
#include <cstdio>
#include <string>

#include "Driver.h"

namespace vk {

class TTerminalUser : public TConvertUser {
 public:
  // in/out/err are the program's streams (tests give files); `assumeYes`
  // answers every question Yes; `bar` draws the progress bar.
  TTerminalUser(FILE* in, FILE* out, FILE* err, bool assumeYes, bool bar);
  ~TTerminalUser() override;

  bool Ask(const std::string& caption, const std::string& text, bool defaultYes) override;
  void Message(const std::string& caption, const std::string& text) override;
  void ClearLog() override {}
  void AddLogLine(const std::string& line) override;
  void ProgressStart() override;
  void ProgressEnd() override;
  void ShowProgress(int percent, int recordNumber) override;
  void ProcessEvents() override;
  bool ProgressClosed() override { return closed_; }
  void ShowResult(const TConvertCounters& counters) override;

 private:
  void ClearBar();

  FILE* in_;
  FILE* out_;
  FILE* err_;
  bool assumeYes_;
  bool bar_;
  bool barShown_ = false;
  bool closed_ = false;
};

// The text of the progress bar: "[#####.....] 45% 12000語" (width marks).
std::string ProgressBarText(int percent, int recordNumber, int width);

}  // namespace vk
