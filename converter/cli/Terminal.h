// TTerminalUser: the conversion driver's user on a terminal. Questions are
// asked on standard error and answered from standard input (y/n, a bare
// Enter takes the default; the end of input takes it too), or all answered
// Yes. Message boxes go to standard error as two lines: the English detail
// (what failed, on which file, why), then the box's own caption and text.
// Dump-log lines go to standard error too; the progress line (records done
// of the total, rate, time left) is drawn there only when it is a terminal.
// The counters go to standard output.
//
// Signals during the record loop: the first Ctrl-C asks the cancel question
// at the next cancel point (every 256 registered records; asked even when
// every other question is answered Yes); a second Ctrl-C,
// also while the question waits, and SIGTERM or SIGHUP stop the loop at the
// next record, and the driver closes both dictionaries as after a cancel.
#pragma once
#include <csignal>
#include <cstdio>
#include <string>

#include "Driver.h"
#include "cli/Progress.h"

namespace vk {

class TTerminalUser : public TConvertUser {
 public:
  // in/out/err are the program's streams (tests give files); `assumeYes`
  // answers every question Yes; `bar` draws the progress line.
  TTerminalUser(FILE* in, FILE* out, FILE* err, bool assumeYes, bool bar,
                std::string program = "vkcv");
  ~TTerminalUser() override;

  bool Ask(const std::string& caption, const std::string& text, bool defaultYes,
           const std::string& detail) override;
  void Message(const std::string& caption, const std::string& text,
               const std::string& detail) override;
  void ClearLog() override {}
  void AddLogLine(const std::string& line) override;
  void ProgressStart(int totalRecords) override;
  void ProgressEnd() override;
  void ShowProgress(int percent, int recordNumber) override;
  void ProcessEvents() override;
  bool ProgressClosed() override { return closed_; }
  bool StopRequested() override;
  void ShowResult(const TConvertCounters& counters) override;

  // The signal that stopped the loop (SIGINT for a second Ctrl-C), or 0.
  int stopSignal() const;

 private:
  // One line of input without its end; false at the end of input, or when a
  // stop signal came while waiting.
  bool ReadAnswer(std::string* line);
  bool AskOn(const std::string& caption, const std::string& text, bool defaultYes,
             const std::string& detail, bool assumeYes);
  void InstallHandlers();
  void RestoreHandlers();

  FILE* in_;
  FILE* out_;
  FILE* err_;
  bool assumeYes_;
  std::string program_;
  TProgressMeter meter_;
  bool closed_ = false;
  bool handlersInstalled_ = false;
  struct sigaction oldInt_ = {}, oldTerm_ = {}, oldHup_ = {};
};

}  // namespace vk
