// vokabench: registers a real dictionary (Debian's FreeDict English-Japanese,
// 33 700 entries) into the engine (libVKCU8L.so) and into SQLite 3, times
// the same work on both, and prints the figures with engine/SQLite ratios.
//
// Measured, each once per run: bulk registration with merge in sorted and in
// random order, registration by plain replace in random order, exact lookups
// of every headword and of list words that are no headword (random order),
// a full ordered scan, headword prefix searches, translation substring
// searches, and the file sizes. After the timings both files are read back
// and compared entry by entry, so a figure never rests on a wrong answer.
//
// Random orders come from one seed, printed and settable with --seed.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "DictdReader.h"
#include "EngineStore.h"
#include "Report.h"
#include "SqliteStore.h"

namespace vkbench {
namespace {

struct Options {
  std::string index = "/usr/share/dictd/freedict-eng-jpn.index";
  std::string dict = "/usr/share/dictd/freedict-eng-jpn.dict.dz";
  std::string words = "/usr/share/dict/american-english";
  std::string dir;  // empty: a fresh folder under the temp folder, removed afterwards
  bool keep = false;
  uint64_t seed = 0;
  bool seedGiven = false;
  size_t prefixes = 2000;
  int repeat = 3;
  std::vector<std::string> substrings;
  std::string sync = "OFF";
  bool runEngine = true, runSqlite = true;
};

void Usage() {
  std::fprintf(stderr,
               "usage: vokabench [--seed N] [--dir FOLDER] [--keep] [--index FILE] [--dict FILE]\n"
               "                 [--words FILE] [--prefixes N] [--substring TEXT]... [--repeat N]\n"
               "                 [--sqlite-sync OFF|NORMAL|FULL] [--only engine|sqlite]\n");
  std::exit(2);
}

Options ParseArgs(int argc, char** argv) {
  Options o;
  std::vector<std::string> subs;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage();
      return argv[++i];
    };
    if (a == "--seed") {
      o.seed = std::strtoull(value().c_str(), nullptr, 10);
      o.seedGiven = true;
    } else if (a == "--dir") {
      o.dir = value();
    } else if (a == "--keep") {
      o.keep = true;
    } else if (a == "--index") {
      o.index = value();
    } else if (a == "--dict") {
      o.dict = value();
    } else if (a == "--words") {
      o.words = value();
    } else if (a == "--repeat") {
      o.repeat = std::max(1, std::atoi(value().c_str()));
    } else if (a == "--prefixes") {
      o.prefixes = std::strtoull(value().c_str(), nullptr, 10);
    } else if (a == "--substring") {
      subs.push_back(value());
    } else if (a == "--sqlite-sync") {
      o.sync = value();
    } else if (a == "--only") {
      std::string v = value();
      if (v == "engine") o.runSqlite = false;
      else if (v == "sqlite") o.runEngine = false;
      else Usage();
    } else {
      Usage();
    }
  }
  // Common words and signs of the translations, a few of them rare.
  o.substrings = subs.empty() ? std::vector<std::string>{"動物", "する", "国", "language", "ー"} : subs;
  return o;
}

[[noreturn]] void Die(const std::string& msg) {
  std::fprintf(stderr, "vokabench: %s\n", msg.c_str());
  std::exit(1);
}

void Check(Store& s, bool ok) {
  if (!ok) Die(std::string(s.Name()) + ": " + s.LastError());
}

int64_t Checked(Store& s, int64_t n) {
  if (n < 0) Die(std::string(s.Name()) + ": " + s.LastError());
  return n;
}

template <class F>
double TimeMs(F&& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

int64_t FileSize(const std::string& path) {
  std::error_code ec;
  auto n = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<int64_t>(n);
}

// Number of bytes of the first n code points of a UTF-8 word.
size_t CodePointPrefix(const std::string& w, size_t n) {
  size_t i = 0;
  while (i < w.size() && n > 0) {
    ++i;
    while (i < w.size() && (static_cast<unsigned char>(w[i]) & 0xC0) == 0x80) ++i;
    --n;
  }
  return i;
}

// What one store answered in the reading measurements; compared afterwards.
struct Answers {
  int64_t presentFound = 0, absentFound = 0, scanned = 0;
  std::vector<int64_t> prefix, substring;
};

int64_t Sum(const std::vector<int64_t>& v) {
  int64_t s = 0;
  for (int64_t x : v) s += x;
  return s;
}

struct Bench {
  Options opt;
  Workload w;
  std::vector<size_t> sortedOrder, randomOrder;
  EngineStore engine;
  SqliteStore sqlite;
  Report report;
  std::string dir;

  explicit Bench(const Options& o) : opt(o), sqlite(o.sync) {}

  std::string PathOf(const Store& s, const char* base) const {
    return dir + "/" + base + (&s == &engine ? ".dic" : ".sqlite");
  }

  bool On(const Store& s) const { return &s == &engine ? opt.runEngine : opt.runSqlite; }

  // Runs f (which times one measurement) on each store that is on, the
  // stores taking turns, opt.repeat times; returns the best time of each,
  // {engine ms, sqlite ms}. The best of a few is the least disturbed by
  // whatever else the machine is doing.
  template <class F>
  std::pair<double, double> Both(F&& f) {
    double e = Report::kNotRun, s = Report::kNotRun;
    for (int r = 0; r < opt.repeat; ++r) {
      if (On(engine)) {
        double t = f(static_cast<Store&>(engine));
        e = r == 0 ? t : std::min(e, t);
      }
      if (On(sqlite)) {
        double t = f(static_cast<Store&>(sqlite));
        s = r == 0 ? t : std::min(s, t);
      }
    }
    return {e, s};
  }

  void Bulk(const std::string& name, const char* base, const std::vector<size_t>& order, AddMode mode) {
    auto ms = Both([&](Store& s) {
      return TimeMs([&] {
        Check(s, s.Create(PathOf(s, base)));
        for (size_t i : order) Check(s, s.Add(i, mode));
        Check(s, s.Finish());
      });
    });
    report.AddTiming(name, static_cast<int64_t>(order.size()), -1, ms.first, ms.second);
    report.AddSize(name, On(engine) ? FileSize(PathOf(engine, base)) : -1,
                   On(sqlite) ? FileSize(PathOf(sqlite, base)) : -1);
    if (mode == AddMode::kMerge && On(engine)) {
      const VKQueryParam& p = engine.QueryCounters();
      std::printf("  %s: engine counted %d added, %d met an existing entry, %d too long\n", name.c_str(),
                  p.addedCount, p.existingCount, p.tooLongCount);
    }
  }

  // Changes an existing file one committed change at a time: a copy of the
  // file that `from` registered takes `count` replacements in random order.
  void Edit(const std::string& name, const char* from, const char* base, size_t count) {
    count = std::min(count, randomOrder.size());
    auto ms = Both([&](Store& s) {
      std::error_code ec;
      std::filesystem::copy_file(PathOf(s, from), PathOf(s, base), std::filesystem::copy_options::overwrite_existing,
                                 ec);
      if (ec) Die("cannot copy " + PathOf(s, from) + ": " + ec.message());
      return TimeMs([&] {
        Check(s, s.OpenForEdit(PathOf(s, base)));
        for (size_t k = 0; k < count; ++k) Check(s, s.Add(randomOrder[randomOrder.size() - 1 - k], AddMode::kReplace));
        Check(s, s.Finish());
      });
    });
    report.AddTiming(name, static_cast<int64_t>(count), -1, ms.first, ms.second);
  }

  void Reads(const char* base, Answers* ea, Answers* sa) {
    for (Store* s : {static_cast<Store*>(&engine), static_cast<Store*>(&sqlite)})
      if (On(*s)) Check(*s, s->Open(PathOf(*s, base)));
    auto answers = [&](Store& s) -> Answers& { return &s == &engine ? *ea : *sa; };

    auto lookups = [&](const char* name, ProbeSet set, size_t n, int64_t Answers::*field) {
      auto ms = Both([&](Store& s) {
        int64_t found = 0;
        double t = TimeMs([&] {
          for (size_t i = 0; i < n; ++i) found += Checked(s, s.Find(set, i));
        });
        answers(s).*field = found;
        return t;
      });
      int64_t shown = On(engine) ? ea->*field : sa->*field;
      report.AddTiming(name, static_cast<int64_t>(n), shown, ms.first, ms.second);
    };
    lookups("lookup, present words", ProbeSet::kPresent, w.present.size(), &Answers::presentFound);
    lookups("lookup, absent words", ProbeSet::kAbsent, w.absent.size(), &Answers::absentFound);

    auto ms = Both([&](Store& s) {
      return TimeMs([&] { answers(s).scanned = Checked(s, s.Scan(nullptr)); });
    });
    int64_t scanned = On(engine) ? ea->scanned : sa->scanned;
    report.AddTiming("full ordered scan (ops = entries)", scanned, -1, ms.first, ms.second);

    auto searches = [&](const char* name, size_t n, std::vector<int64_t> Answers::*field, bool prefix) {
      auto t = Both([&](Store& s) {
        std::vector<int64_t>& counts = answers(s).*field;
        counts.assign(n, 0);
        return TimeMs([&] {
          for (size_t k = 0; k < n; ++k)
            counts[k] = Checked(s, prefix ? s.PrefixSearch(k, nullptr) : s.SubstringSearch(k, nullptr));
        });
      });
      int64_t shown = Sum(On(engine) ? ea->*field : sa->*field);
      report.AddTiming(name, static_cast<int64_t>(n), shown, t.first, t.second);
    };
    searches("headword prefix search", w.prefixes.size(), &Answers::prefix, true);
    searches("translation substring search", w.substrings.size(), &Answers::substring, false);

    engine.Close();
    sqlite.Close();
  }

  // Reads both files of one registration back in full and reports every
  // difference; returns the number of differences.
  size_t CompareFiles(const char* base) {
    std::vector<ScannedEntry> e, s;
    Check(engine, engine.Open(PathOf(engine, base)));
    Checked(engine, engine.Scan([&](ScannedEntry&& x) { e.push_back(std::move(x)); }));
    engine.Close();
    Check(sqlite, sqlite.Open(PathOf(sqlite, base)));
    Checked(sqlite, sqlite.Scan([&](ScannedEntry&& x) { s.push_back(std::move(x)); }));
    sqlite.Close();
    size_t diffs = 0;
    if (e.size() != s.size()) {
      std::printf("  %s: engine holds %zu entries, sqlite %zu\n", base, e.size(), s.size());
      ++diffs;
    }
    for (size_t i = 0; i < std::min(e.size(), s.size()); ++i) {
      const ScannedEntry &a = e[i], &b = s[i];
      if (a.word == b.word && a.japa == b.japa && a.exp == b.exp && a.pron == b.pron) continue;
      if (diffs++ < 5)
        std::printf("  %s: entry %zu differs: engine \"%s\" (%zu+%zu bytes), sqlite \"%s\" (%zu+%zu bytes)\n", base,
                    i, a.word.c_str(), a.japa.size(), a.pron.size(), b.word.c_str(), b.japa.size(), b.pron.size());
    }
    return diffs;
  }

  size_t CompareAnswers(const Answers& a, const Answers& b) {
    size_t diffs = 0;
    auto same = [&](const char* what, int64_t x, int64_t y) {
      if (x != y) {
        std::printf("  %s: engine %lld, sqlite %lld\n", what, static_cast<long long>(x), static_cast<long long>(y));
        ++diffs;
      }
    };
    same("present words found", a.presentFound, b.presentFound);
    same("absent words found", a.absentFound, b.absentFound);
    same("entries scanned", a.scanned, b.scanned);
    for (size_t k = 0; k < a.prefix.size(); ++k) {
      std::string what = "prefix \"" + w.prefixes[k] + "\"";
      same(what.c_str(), a.prefix[k], b.prefix[k]);
    }
    for (size_t k = 0; k < a.substring.size(); ++k) {
      std::string what = "substring \"" + w.substrings[k] + "\"";
      same(what.c_str(), a.substring[k], b.substring[k]);
    }
    return diffs;
  }
};

void BuildWorkload(Bench& b, const std::vector<std::string>& list, std::mt19937_64& rng) {
  Workload& w = b.w;
  std::set<std::string> heads;
  for (const auto& e : w.entries) heads.insert(e.word);
  w.present.assign(heads.begin(), heads.end());
  std::shuffle(w.present.begin(), w.present.end(), rng);

  std::set<std::string> absent;
  for (const auto& word : list)
    if (!heads.count(word)) absent.insert(word);
  w.absent.assign(absent.begin(), absent.end());
  std::shuffle(w.absent.begin(), w.absent.end(), rng);

  // Prefixes of 2 to 4 characters of headwords drawn at random: most find a
  // handful of entries, short ones a few hundred.
  std::uniform_int_distribution<size_t> pick(0, w.present.size() - 1), len(2, 4);
  for (size_t k = 0; k < b.opt.prefixes; ++k) {
    const std::string& word = w.present[pick(rng)];
    w.prefixes.push_back(word.substr(0, CodePointPrefix(word, len(rng))));
  }
  w.substrings = b.opt.substrings;

  b.sortedOrder.resize(w.entries.size());
  for (size_t i = 0; i < w.entries.size(); ++i) b.sortedOrder[i] = i;
  b.randomOrder = b.sortedOrder;
  std::stable_sort(b.sortedOrder.begin(), b.sortedOrder.end(),
                   [&](size_t x, size_t y) { return w.entries[x].word < w.entries[y].word; });
  std::shuffle(b.randomOrder.begin(), b.randomOrder.end(), rng);
}

int Main(int argc, char** argv) {
  Options opt = ParseArgs(argc, argv);
  if (!opt.seedGiven) opt.seed = std::random_device{}();
  Bench b(opt);

  std::string error;
  DictdCounts counts;
  if (!ReadDictd(opt.index, opt.dict, &b.w.entries, &counts, &error)) Die(error);
  std::vector<std::string> list;
  if (!ReadWordList(opt.words, &list, &error)) Die(error);
  if (b.w.entries.empty()) Die("no entries read from " + opt.index);

  std::mt19937_64 rng(opt.seed);
  BuildWorkload(b, list, rng);

  std::printf("vokabench: seed %llu (repeat with --seed %llu)\n", static_cast<unsigned long long>(opt.seed),
              static_cast<unsigned long long>(opt.seed));
  std::printf("dictionary: %zu entries read (%zu index lines, %zu dictd meta entries skipped, %zu malformed), "
              "%zu distinct headwords\n",
              b.w.entries.size(), counts.indexLines, counts.metaSkipped, counts.malformed, b.w.present.size());
  std::printf("word list: %zu words, %zu of them no headword (absent lookups)\n", list.size(), b.w.absent.size());
  std::printf("times: best of %d\n", opt.repeat);
  std::printf("engine: libVKCU8L.so, fast mode, clash rule 6, merge flags 0x7fff0000; "
              "sqlite %s: WITHOUT ROWID, one transaction, synchronous=%s\n",
              sqlite3_libversion(), opt.sync.c_str());

  if (opt.dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vokabench.XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) Die("cannot make a folder from " + templ);
    b.dir = buf.data();
  } else {
    b.dir = opt.dir;
    std::error_code ec;
    std::filesystem::create_directories(b.dir, ec);
  }
  std::printf("files in: %s\n\n", b.dir.c_str());

  b.engine.Load(b.w);
  b.sqlite.Load(b.w);

  b.Bulk("register with merge, sorted order", "sorted", b.sortedOrder, AddMode::kMerge);
  b.Bulk("register with merge, random order", "random", b.randomOrder, AddMode::kMerge);
  b.Bulk("register by replace, random order", "replace", b.randomOrder, AddMode::kReplace);
  b.Edit("edit, one committed replace per call", "replace", "edit", 2000);
  Answers ea, sa;
  b.Reads("random", &ea, &sa);

  std::printf("\n");
  b.report.Print(stdout);

  if (opt.runEngine && opt.runSqlite) {
    std::printf("\ncomparison of the answers and of the files read back in full:\n");
    size_t diffs = b.CompareAnswers(ea, sa);
    for (const char* base : {"sorted", "random", "replace", "edit"}) diffs += b.CompareFiles(base);
    if (diffs) {
      std::printf("  %zu differences\n", diffs);
    } else {
      std::printf("  engine and sqlite agree: %lld entries in each file, every lookup and search the same\n",
                  static_cast<long long>(ea.scanned));
    }
    std::printf("(delivered text: engine %llu UTF-16 units, sqlite %llu bytes)\n",
                static_cast<unsigned long long>(b.engine.Touched()),
                static_cast<unsigned long long>(b.sqlite.Touched()));
  }

  if (opt.dir.empty() && !opt.keep) {
    std::error_code ec;
    std::filesystem::remove_all(b.dir, ec);
  }
  return 0;
}

}  // namespace
}  // namespace vkbench

int main(int argc, char** argv) { return vkbench::Main(argc, argv); }
