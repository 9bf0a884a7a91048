#include "Report.h"

namespace vkbench {
namespace {

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string Ms(double ms) { return ms < 0 ? "-" : Fixed(ms, 1); }

std::string Rate(int64_t ops, double ms) {
  if (ms < 0) return "-";
  if (ms == 0) return "inf";
  return Fixed(static_cast<double>(ops) * 1000.0 / ms, 0);
}

double RatioOf(double a, double b) { return a < 0 || b <= 0 ? -1 : a / b; }

std::string Ratio(double a, double b) {
  double r = RatioOf(a, b);
  return r < 0 ? "-" : Fixed(r, 2);
}

std::string Bytes(int64_t b) { return b < 0 ? "-" : std::to_string(b); }

std::string Named(const std::string& name, int64_t results) {
  return results >= 0 ? name + " (" + std::to_string(results) + " found)" : name;
}

}  // namespace

void Report::AddTiming(const std::string& name, int64_t ops, int64_t results, const Times& t, double target,
                       double moonshot) {
  timings_.push_back({name, ops, results, t, target, moonshot});
}

void Report::AddSize(const std::string& name, const int64_t bytes[kStores], bool main) {
  Size s{name, {bytes[0], bytes[1], bytes[2]}, main};
  sizes_.push_back(s);
}

void Report::Print(FILE* out) const {
  std::fprintf(out, "| work | ops | engine ms | SQLite ms | LMDB ms | engine/SQLite | target | moonshot | met |\n");
  std::fprintf(out, "|---|---:|---:|---:|---:|---:|---:|---:|---|\n");
  for (const Timing& t : timings_) {
    if (t.target <= 0) continue;
    double r = RatioOf(t.t.ms[kEngine], t.t.ms[kSqlite]);
    std::string met = r < 0 ? "-" : r <= t.moonshot ? "yes (moonshot too)" : r <= t.target ? "yes" : "no";
    std::fprintf(out, "| %s | %lld | %s | %s | %s | %s | <= %s | <= %s | %s |\n", Named(t.name, t.results).c_str(),
                 static_cast<long long>(t.ops), Ms(t.t.ms[kEngine]).c_str(), Ms(t.t.ms[kSqlite]).c_str(),
                 Ms(t.t.ms[kLmdb]).c_str(), Ratio(t.t.ms[kEngine], t.t.ms[kSqlite]).c_str(),
                 Fixed(t.target, 2).c_str(), Fixed(t.moonshot, 2).c_str(), met.c_str());
  }
  for (const Size& s : sizes_) {
    if (!s.main) continue;
    std::fprintf(out, "| %s, bytes | | %s | %s | %s | %s | as the format allows | | |\n", s.name.c_str(),
                 Bytes(s.bytes[kEngine]).c_str(), Bytes(s.bytes[kSqlite]).c_str(), Bytes(s.bytes[kLmdb]).c_str(),
                 Ratio(static_cast<double>(s.bytes[kEngine]), static_cast<double>(s.bytes[kSqlite])).c_str());
  }

  std::fprintf(out, "\n| more work | ops | engine ms | engine op/s | SQLite ms | SQLite op/s | LMDB ms | LMDB op/s "
                    "| engine/SQLite | engine/LMDB |\n");
  std::fprintf(out, "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Timing& t : timings_) {
    std::fprintf(out, "| %s | %lld | %s | %s | %s | %s | %s | %s | %s | %s |\n", Named(t.name, t.results).c_str(),
                 static_cast<long long>(t.ops), Ms(t.t.ms[kEngine]).c_str(), Rate(t.ops, t.t.ms[kEngine]).c_str(),
                 Ms(t.t.ms[kSqlite]).c_str(), Rate(t.ops, t.t.ms[kSqlite]).c_str(), Ms(t.t.ms[kLmdb]).c_str(),
                 Rate(t.ops, t.t.ms[kLmdb]).c_str(), Ratio(t.t.ms[kEngine], t.t.ms[kSqlite]).c_str(),
                 Ratio(t.t.ms[kEngine], t.t.ms[kLmdb]).c_str());
  }

  std::fprintf(out, "\n| file size | engine bytes | SQLite bytes | LMDB bytes | engine/SQLite | engine/LMDB |\n");
  std::fprintf(out, "|---|---:|---:|---:|---:|---:|\n");
  for (const Size& s : sizes_) {
    std::fprintf(out, "| %s | %s | %s | %s | %s | %s |\n", s.name.c_str(), Bytes(s.bytes[kEngine]).c_str(),
                 Bytes(s.bytes[kSqlite]).c_str(), Bytes(s.bytes[kLmdb]).c_str(),
                 Ratio(static_cast<double>(s.bytes[kEngine]), static_cast<double>(s.bytes[kSqlite])).c_str(),
                 Ratio(static_cast<double>(s.bytes[kEngine]), static_cast<double>(s.bytes[kLmdb])).c_str());
  }
}

}  // namespace vkbench
