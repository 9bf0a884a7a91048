#include "cli/Progress.h"

#include <cstdio>

namespace vk {

namespace {

bool IsBytes(const std::string& unit) { return unit == "bytes"; }

std::string Amount(int64_t n, const std::string& unit) {
  if (!IsBytes(unit)) return std::to_string(n);
  char buf[32];
  if (n >= 10 * 1024 * 1024)
    std::snprintf(buf, sizeof buf, "%lld MB", static_cast<long long>(n >> 20));
  else
    std::snprintf(buf, sizeof buf, "%lld KB", static_cast<long long>(n >> 10));
  return buf;
}

}  // namespace

std::string FormatDuration(double seconds) {
  long long s = seconds < 0 ? 0 : static_cast<long long>(seconds + 0.5);
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
  return buf;
}

std::string ProgressText(int64_t done, int64_t total, double seconds, const std::string& unit,
                         int width) {
  std::string text;
  double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  if (total > 0) {
    int64_t shown = done > total ? total : done < 0 ? 0 : done;
    int marks = static_cast<int>(shown * width / total);
    int percent = static_cast<int>(shown * 100 / total);
    text = "[" + std::string(static_cast<size_t>(marks), '#') +
           std::string(static_cast<size_t>(width - marks), '.') + "] ";
    text += Amount(done, unit) + " of " + Amount(total, unit);
    if (!IsBytes(unit)) text += " " + unit;
    text += " " + std::to_string(percent) + "%";
  } else {
    text = Amount(done, unit);
    if (!IsBytes(unit)) text += " " + unit;
  }
  if (seconds >= 1 && done > 0) {
    char buf[48];
    if (IsBytes(unit))
      std::snprintf(buf, sizeof buf, "  %.1f MB/s", rate / (1024 * 1024));
    else
      std::snprintf(buf, sizeof buf, "  %.0f/s", rate);
    text += buf;
    if (total > done && rate > 0)
      text += "  " + FormatDuration(static_cast<double>(total - done) / rate) + " left";
  }
  return text;
}

TProgressMeter::TProgressMeter(FILE* out, bool enabled, std::string unit)
    : out_(out), enabled_(enabled), unit_(std::move(unit)) {}

void TProgressMeter::Start(int64_t total) {
  total_ = total;
  start_ = last_ = Clock::now();
  started_ = true;
}

void TProgressMeter::Update(int64_t done, bool force) {
  if (!enabled_) return;
  if (!started_) Start(total_);
  Clock::time_point now = Clock::now();
  if (!force && drawn_ &&
      now - last_ < std::chrono::milliseconds(kMinMillis))
    return;
  last_ = now;
  double seconds = std::chrono::duration<double>(now - start_).count();
  std::fprintf(out_, "\r%s\033[K", ProgressText(done, total_, seconds, unit_, 20).c_str());
  std::fflush(out_);
  drawn_ = true;
}

void TProgressMeter::Clear() {
  if (!drawn_) return;
  std::fputs("\r\033[K", out_);
  std::fflush(out_);
  drawn_ = false;
}

}  // namespace vk
