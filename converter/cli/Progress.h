// TProgressMeter: one line on a terminal that tells how far a long command
// has come, redrawn in place:
//   "[##########..........] 120000 of 252768 records 47%  41200/s  0:03 left"
// Without a known total it shows the count and the rate only. It draws
// nothing when disabled (standard error is not a terminal), so that pipes
// and log files get no control characters.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vk {

class TProgressMeter {
 public:
  // `unit` names what is counted ("records", "lines", "bytes"); byte counts
  // are shown in KB/MB.
  TProgressMeter(FILE* out, bool enabled, std::string unit);
  ~TProgressMeter() { Clear(); }

  // Starts timing; `total` <= 0 when unknown.
  void Start(int64_t total);
  void SetTotal(int64_t total) { total_ = total; }
  // Redraws with `done`, at most once per `minMillis` unless `force`.
  void Update(int64_t done, bool force = false);
  // Erases the line, so that a message can be written; the next Update draws
  // it again.
  void Clear();

  bool enabled() const { return enabled_; }
  static constexpr int kMinMillis = 200;

 private:
  using Clock = std::chrono::steady_clock;
  FILE* out_;
  bool enabled_;
  std::string unit_;
  int64_t total_ = 0;
  Clock::time_point start_;
  Clock::time_point last_;
  bool drawn_ = false;
  bool started_ = false;
};

// The line's text for `done` of `total` after `seconds`; `width` marks in the
// bar. Pure, for tests.
std::string ProgressText(int64_t done, int64_t total, double seconds, const std::string& unit,
                         int width);

// "0:07", "3:25", "1:02:03".
std::string FormatDuration(double seconds);

}  // namespace vk
