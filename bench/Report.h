// The figures table: one row per measurement with each store's time in
// milliseconds, its rate in operations per second, and the engine/SQLite
// ratio of the times (below 1: the engine is faster); then the file sizes
// with their ratio. A store that was not run shows "-".
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vkbench {

class Report {
 public:
  static constexpr double kNotRun = -1;

  // ops: calls made (registrations, lookups, searches); results: what they
  // delivered, shown beside the name when it says more than ops does.
  void AddTiming(const std::string& name, int64_t ops, int64_t results, double engineMs, double sqliteMs);
  void AddSize(const std::string& name, int64_t engineBytes, int64_t sqliteBytes);
  void Print(FILE* out) const;

 private:
  struct Timing {
    std::string name;
    int64_t ops, results;
    double engineMs, sqliteMs;
  };
  struct Size {
    std::string name;
    int64_t engineBytes, sqliteBytes;
  };
  std::vector<Timing> timings_;
  std::vector<Size> sizes_;
};

}  // namespace vkbench
