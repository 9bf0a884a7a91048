#include "Report.h"

namespace vkbench {
namespace {

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string Ms(double ms) { return ms < 0 ? "-" : Fixed(ms, 2); }

std::string Rate(int64_t ops, double ms) {
  if (ms < 0) return "-";
  if (ms == 0) return "inf";
  return Fixed(static_cast<double>(ops) * 1000.0 / ms, 0);
}

std::string Ratio(double a, double b) {
  if (a < 0 || b <= 0) return "-";
  return Fixed(a / b, 2);
}

}  // namespace

void Report::AddTiming(const std::string& name, int64_t ops, int64_t results, double engineMs, double sqliteMs) {
  timings_.push_back({name, ops, results, engineMs, sqliteMs});
}

void Report::AddSize(const std::string& name, int64_t engineBytes, int64_t sqliteBytes) {
  sizes_.push_back({name, engineBytes, sqliteBytes});
}

void Report::Print(FILE* out) const {
  std::fprintf(out, "%-40s %8s %10s %12s %10s %12s %8s\n", "measurement", "ops", "engine ms", "engine op/s",
               "sqlite ms", "sqlite op/s", "eng/sql");
  for (const Timing& t : timings_) {
    std::string name = t.name;
    if (t.results >= 0) name += " (" + std::to_string(t.results) + " found)";
    std::fprintf(out, "%-40s %8lld %10s %12s %10s %12s %8s\n", name.c_str(), static_cast<long long>(t.ops),
                 Ms(t.engineMs).c_str(), Rate(t.ops, t.engineMs).c_str(), Ms(t.sqliteMs).c_str(),
                 Rate(t.ops, t.sqliteMs).c_str(), Ratio(t.engineMs, t.sqliteMs).c_str());
  }
  std::fprintf(out, "\n%-40s %12s %12s %8s\n", "file size", "engine bytes", "sqlite bytes", "eng/sql");
  for (const Size& s : sizes_) {
    std::fprintf(out, "%-40s %12s %12s %8s\n", s.name.c_str(),
                 s.engineBytes < 0 ? "-" : std::to_string(s.engineBytes).c_str(),
                 s.sqliteBytes < 0 ? "-" : std::to_string(s.sqliteBytes).c_str(),
                 Ratio(static_cast<double>(s.engineBytes), static_cast<double>(s.sqliteBytes)).c_str());
  }
}

}  // namespace vkbench
