// The figures tables, printed as Markdown so that a run can be pasted into
// RESULTS.md as it is. The main table has the measurements that have
// targets: each store's time in milliseconds, the engine/SQLite ratio (below
// 1: the engine is faster), the target and the moonshot ratios, and whether
// the target is met. The other measurements follow with their rates, then
// the file sizes. A store that was not run shows "-".
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vkbench {

enum StoreId { kEngine, kSqlite, kLmdb, kStores };

struct Times {
  double ms[kStores];
};

class Report {
 public:
  static constexpr double kNotRun = -1;

  // ops: calls made (registrations, lookups, searches); results: what they
  // delivered, shown beside the name when it says more than ops does.
  // target, moonshot: the engine/SQLite ratio aimed at (0: none).
  void AddTiming(const std::string& name, int64_t ops, int64_t results, const Times& t, double target = 0,
                 double moonshot = 0);
  void AddSize(const std::string& name, const int64_t bytes[kStores], bool main = false);
  void Print(FILE* out) const;

 private:
  struct Timing {
    std::string name;
    int64_t ops, results;
    Times t;
    double target, moonshot;
  };
  struct Size {
    std::string name;
    int64_t bytes[kStores];
    bool main;
  };
  std::vector<Timing> timings_;
  std::vector<Size> sizes_;
};

}  // namespace vkbench
