// vokabench: registers real dictionaries from Debian's FreeDict packages
// (about 270 000 entries, see DataSet.h) into the engine (libVKCU8L.so), into
// SQLite 3 and into LMDB, times the same work on each, all of them fed and
// read in UTF-16, and prints the figures with engine/SQLite ratios.
//
// Measured, each once per run: bulk merge-registration in random and in
// dictionary order, registration by plain replace in random order, committed
// single edits, exact lookups of every headword and of list words that are
// no headword (random order), a full ordered scan, headword prefix searches,
// translation substring searches, and the file sizes. After the timings the
// files are read back and compared entry by entry, and every lookup and
// search count is compared, so a figure never rests on a wrong answer.
// Then the set goes through the converter: made into a Win32 dictionary
// (untimed) and converted by vkcv in modes 1 and 5, timed from outside.
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

#include "Conversion.h"
#include "DataSet.h"
#include "DictdReader.h"
#include "EngineStore.h"
#include "LmdbStore.h"
#include "Report.h"
#include "SqliteStore.h"
#include "util/ProgramFolder.h"

namespace vkbench {
namespace {

struct Options {
  std::string words = "/usr/share/dict/american-english";
  std::string dir;  // empty: a fresh folder under the temp folder, removed afterwards
  bool keep = false;
  uint64_t seed = 0;
  bool seedGiven = false;
  size_t prefixes = 2000;
  int repeat = 3;
  std::vector<std::string> substrings;
  std::string sync = "OFF";
  bool run[kStores] = {true, true, true};
  size_t every = 1;  // --quick: every 8th entry of the set
  bool convert = true;
  // --work: the measurements to make, for profiling one of them; empty: all.
  // "reads" (all of "lookup", "scan" and "search") reads the random-order
  // file, so it needs "random" in the same run or a file of it kept in --dir.
  std::vector<std::string> work;
  bool Does(const char* name) const {
    return work.empty() || std::find(work.begin(), work.end(), name) != work.end();
  }
};

void Usage() {
  std::fprintf(stderr,
               "usage: vokabench [--seed N] [--dir FOLDER] [--keep] [--quick] [--no-convert]\n"
               "                 [--words FILE] [--prefixes N] [--substring TEXT]... [--repeat N]\n"
               "                 [--sqlite-sync OFF|NORMAL|FULL] [--only engine|sqlite|lmdb]\n"
               "                 [--work random|sorted|replace|edit|reads|lookup|scan|search]...\n");
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
    } else if (a == "--quick") {
      o.every = 8;
    } else if (a == "--no-convert") {
      o.convert = false;
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
    } else if (a == "--work") {
      std::string v = value();
      static const std::set<std::string> kWork = {"random", "sorted", "replace", "edit",
                                                  "reads", "lookup", "scan", "search"};
      if (!kWork.count(v)) Usage();
      o.work.push_back(v);
    } else if (a == "--only") {
      std::string v = value();
      int only = v == "engine" ? kEngine : v == "sqlite" ? kSqlite : v == "lmdb" ? kLmdb : -1;
      if (only < 0) Usage();
      for (int k = 0; k < kStores; ++k) o.run[k] = k == only;
    } else {
      Usage();
    }
  }
  // Common words and signs of the translations, a few of them rare.
  o.substrings = subs.empty() ? std::vector<std::string>{"動物", "する", "国", "Sprache", "ー"} : subs;
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
  LmdbStore lmdb;
  Store* stores[kStores];
  Report report;
  std::string dir;

  explicit Bench(const Options& o) : opt(o), sqlite(o.sync), stores{&engine, &sqlite, &lmdb} {}

  std::string PathOf(int k, const char* base) const {
    static const char* const kExt[kStores] = {".dic", ".sqlite", ".lmdb"};
    return dir + "/" + base + kExt[k];
  }

  // Runs f (which times one measurement) on each store that is on, the
  // stores taking turns, opt.repeat times; returns the best time of each.
  // The best of a few is the least disturbed by whatever else the machine
  // is doing.
  template <class F>
  Times Each(F&& f) {
    Times t{{Report::kNotRun, Report::kNotRun, Report::kNotRun}};
    for (int r = 0; r < opt.repeat; ++r)
      for (int k = 0; k < kStores; ++k)
        if (opt.run[k]) {
          double ms = f(k, *stores[k]);
          t.ms[k] = r == 0 ? ms : std::min(t.ms[k], ms);
        }
    return t;
  }

  void Sizes(const std::string& name, const char* base, bool main) {
    int64_t bytes[kStores];
    for (int k = 0; k < kStores; ++k) bytes[k] = opt.run[k] ? FileSize(PathOf(k, base)) : -1;
    report.AddSize(name, bytes, main);
  }

  void Bulk(const std::string& name, const char* base, const std::vector<size_t>& order, AddMode mode,
            double target = 0, double moonshot = 0) {
    Times t = Each([&](int k, Store& s) {
      return TimeMs([&] {
        Check(s, s.Create(PathOf(k, base)));
        for (size_t i : order) Check(s, s.Add(i, mode));
        Check(s, s.Finish());
      });
    });
    report.AddTiming(name, static_cast<int64_t>(order.size()), -1, t, target, moonshot);
    if (mode == AddMode::kMerge && opt.run[kEngine]) {
      const VKQueryParam& p = engine.QueryCounters();
      std::printf("  %s: engine counted %d added, %d met an existing entry, %d too long\n", name.c_str(),
                  p.addedCount, p.existingCount, p.tooLongCount);
    }
  }

  // Changes an existing file one committed change at a time: a copy of the
  // file that `from` registered takes `count` replacements in random order.
  void Edit(const std::string& name, const char* from, const char* base, size_t count) {
    count = std::min(count, randomOrder.size());
    Times t = Each([&](int k, Store& s) {
      std::error_code ec;
      std::filesystem::copy_file(PathOf(k, from), PathOf(k, base), std::filesystem::copy_options::overwrite_existing,
                                 ec);
      if (ec) Die("cannot copy " + PathOf(k, from) + ": " + ec.message());
      return TimeMs([&] {
        Check(s, s.OpenForEdit(PathOf(k, base)));
        for (size_t i = 0; i < count; ++i) Check(s, s.Add(randomOrder[randomOrder.size() - 1 - i], AddMode::kReplace));
        Check(s, s.Finish());
      });
    });
    report.AddTiming(name, static_cast<int64_t>(count), -1, t);
  }

  // The answers of the first store that ran, for the figures' "found".
  int First() const {
    for (int k = 0; k < kStores; ++k)
      if (opt.run[k]) return k;
    return kEngine;
  }

  void Reads(const char* base, Answers answers[kStores]) {
    for (int k = 0; k < kStores; ++k)
      if (opt.run[k]) Check(*stores[k], stores[k]->Open(PathOf(k, base)));
    int first = First();

    auto lookups = [&](const char* name, ProbeSet set, size_t n, int64_t Answers::*field, double target,
                       double moonshot) {
      Times t = Each([&](int k, Store& s) {
        int64_t found = 0;
        double ms = TimeMs([&] {
          for (size_t i = 0; i < n; ++i) found += Checked(s, s.Find(set, i));
        });
        answers[k].*field = found;
        return ms;
      });
      report.AddTiming(name, static_cast<int64_t>(n), answers[first].*field, t, target, moonshot);
    };
    if (opt.Does("reads") || opt.Does("lookup")) {
      lookups("exact lookup, random present words", ProbeSet::kPresent, w.present.size(), &Answers::presentFound,
              0.3, 0.2);
      lookups("lookup, absent words", ProbeSet::kAbsent, w.absent.size(), &Answers::absentFound, 0, 0);
    }
    if (opt.Does("reads") || opt.Does("scan")) {
      Times t = Each([&](int k, Store& s) {
        return TimeMs([&] { answers[k].scanned = Checked(s, s.Scan(nullptr)); });
      });
      report.AddTiming("full ordered scan (ops = entries)", answers[first].scanned, -1, t, 0.5, 0.33);
    }
    if (!opt.Does("reads") && !opt.Does("search")) {
      for (Store* s : stores) s->Close();
      return;
    }

    auto searches = [&](const char* name, size_t n, std::vector<int64_t> Answers::*field, bool prefix) {
      Times t = Each([&](int k, Store& s) {
        std::vector<int64_t>& counts = answers[k].*field;
        counts.assign(n, 0);
        return TimeMs([&] {
          for (size_t i = 0; i < n; ++i)
            counts[i] = Checked(s, prefix ? s.PrefixSearch(i, nullptr) : s.SubstringSearch(i, nullptr));
        });
      });
      report.AddTiming(name, static_cast<int64_t>(n), Sum(answers[first].*field), t);
    };
    searches("headword prefix search", w.prefixes.size(), &Answers::prefix, true);
    searches("translation substring search", w.substrings.size(), &Answers::substring, false);

    for (Store* s : stores) s->Close();
  }

  std::vector<ScannedEntry> ReadBack(int k, const char* base) {
    std::vector<ScannedEntry> out;
    Store& s = *stores[k];
    Check(s, s.Open(PathOf(k, base)));
    Checked(s, s.Scan([&](ScannedEntry&& x) { out.push_back(std::move(x)); }));
    s.Close();
    return out;
  }

  // Reads the files of one registration back in full and reports every
  // difference from the first store's; returns the number of differences.
  size_t CompareFiles(const char* base) {
    int first = First();
    std::vector<ScannedEntry> e = ReadBack(first, base);
    size_t diffs = 0;
    for (int k = first + 1; k < kStores; ++k) {
      if (!opt.run[k]) continue;
      std::vector<ScannedEntry> s = ReadBack(k, base);
      const char* a = stores[first]->Name();
      const char* b = stores[k]->Name();
      if (e.size() != s.size()) {
        std::printf("  %s: %s holds %zu entries, %s %zu\n", base, a, e.size(), b, s.size());
        ++diffs;
      }
      size_t shown = 0;
      for (size_t i = 0; i < std::min(e.size(), s.size()); ++i) {
        const ScannedEntry &x = e[i], &y = s[i];
        if (x.word == y.word && x.japa == y.japa && x.exp == y.exp && x.pron == y.pron) continue;
        ++diffs;
        if (shown++ < 5)
          std::printf("  %s: entry %zu differs: %s \"%s\" (%zu+%zu bytes), %s \"%s\" (%zu+%zu bytes)\n", base, i, a,
                      x.word.c_str(), x.japa.size(), x.pron.size(), b, y.word.c_str(), y.japa.size(), y.pron.size());
      }
    }
    return diffs;
  }

  size_t CompareAnswers(const Answers answers[kStores]) {
    int first = First();
    const Answers& a = answers[first];
    size_t diffs = 0;
    for (int k = first + 1; k < kStores; ++k) {
      if (!opt.run[k]) continue;
      const Answers& b = answers[k];
      auto same = [&](const std::string& what, int64_t x, int64_t y) {
        if (x != y) {
          std::printf("  %s: %s %lld, %s %lld\n", what.c_str(), stores[first]->Name(), static_cast<long long>(x),
                      stores[k]->Name(), static_cast<long long>(y));
          ++diffs;
        }
      };
      same("present words found", a.presentFound, b.presentFound);
      same("absent words found", a.absentFound, b.absentFound);
      same("entries scanned", a.scanned, b.scanned);
      for (size_t i = 0; i < a.prefix.size(); ++i) same("prefix \"" + w.prefixes[i] + "\"", a.prefix[i], b.prefix[i]);
      for (size_t i = 0; i < a.substring.size(); ++i)
        same("substring \"" + w.substrings[i] + "\"", a.substring[i], b.substring[i]);
    }
    return diffs;
  }

  // The conversion figures: the merged set (as the engine holds it after
  // the registration in dictionary order) made into a Win32 dictionary
  // through Shift-JIS entry lines and vkdic (untimed), then converted by
  // vkcv in mode 1 (Win32 -> UTF-8) and mode 5 (Win32 -> UTF-16, the
  // little-endian engine), each timed from outside, best of --repeat.
  // A UTF-16 dictionary numbers its blocks with 16 bits, so its data area
  // ends at 65536 units (16 MiB) and the whole set does not fit: mode 5 is
  // tried once on the whole set (where it stops, and why, is printed) and
  // timed, with mode 1 beside it, on the entries whose headword starts with
  // an ASCII character (the English-Japanese part).
  void Conversions() {
    std::string bin = vk::ProgramFolder();
    std::string vkcv = bin + "/vkcv", vkdic = bin + "/vkdic";
    if (access(vkcv.c_str(), X_OK) != 0 || access(vkdic.c_str(), X_OK) != 0) {
      std::printf("\nconversion: %s or %s missing; build them to have the conversion figures\n", vkcv.c_str(),
                  vkdic.c_str());
      return;
    }
    std::vector<ScannedEntry> merged = ReadBack(kEngine, "sorted");
    std::vector<ScannedEntry> ascii;
    for (const ScannedEntry& e : merged)
      if (static_cast<unsigned char>(e.word[0]) < 0x80) ascii.push_back(e);
    std::string error;

    auto makeWin32 = [&](const char* base, const std::vector<ScannedEntry>& entries, const char* what) {
      std::string tsv = dir + "/" + base + ".tsv", dic = dir + "/" + base + ".dic";
      SjisCounts sc;
      if (!WriteSjisTsv(entries, tsv, &sc, &error)) Die(error);
      std::remove(dic.c_str());
      ChildRun made;
      if (!RunTimed({vkdic, "--engine", "VKC620", "--bytes", "import", dic, tsv}, dir + "/" + base + "-import.out",
                    &made, &error))
        Die(error);
      if (made.status != 0)
        Die("vkdic import into " + dic + " failed (exit status " + std::to_string(made.status) + "; see " + dir +
            "/" + base + "-import.out.err)");
      std::printf("\nWin32 dictionary of %s: %zu of %zu merged entries written as Shift-JIS (CP932); %zu "
                  "characters CP932 cannot hold left out, in %zu entries; %zu entries left out because nothing of "
                  "the headword was left, %zu because a text passed the Win32 limits; %s, %lld bytes (made in %.0f "
                  "ms, untimed)\n",
                  what, sc.written, entries.size(), sc.charactersLost, sc.entriesWithLoss, sc.emptyWord,
                  sc.overLimit, dic.c_str(), static_cast<long long>(FileSize(dic)), made.ms);
      return dic;
    };
    std::string whole = makeWin32("win32", merged, "the whole set");
    std::string part = makeWin32("win32-ascii", ascii, "the entries with an ASCII headword");

    // One conversion, repeat times; false when vkcv did not finish.
    struct Result {
      ChildRun best;
      long rss = 0;
      long long read = -1, registered = -1;
      std::string log;
    };
    auto convert = [&](int mode, const std::string& source, const char* base, int repeat, Result* res) {
      std::string target = dir + "/" + base + ".dic", out = target + ".out";
      for (int r = 0; r < repeat; ++r) {
        std::remove(target.c_str());
        ChildRun run;
        if (!RunTimed({vkcv, "convert", "--mode", std::to_string(mode), source, target, "--yes"}, out, &run, &error))
          Die(error);
        res->read = Counter(out, "変換元単語数");
        res->registered = Counter(out, "登録単語数");
        res->log = out + ".err";
        if (run.status != 0) {
          res->best = run;
          return false;
        }
        if (r == 0 || run.ms < res->best.ms) res->best = run;
        res->rss = std::max(res->rss, run.maxRssKb);
      }
      return true;
    };

    Result full5;
    bool fits = convert(5, whole, "mode5-whole", 1, &full5);
    if (fits)
      std::printf("\nmode 5 on the whole set ran to the end: %lld records read, %lld registered\n", full5.read,
                  full5.registered);
    else
      std::printf("\nmode 5 on the whole set stopped (exit status %d) after %lld records read, %lld registered: "
                  "%s\n",
                  full5.best.status, full5.read, full5.registered, LastLine(full5.log).c_str());

    std::printf("\n| conversion | records read | registered | best ms | records/s | peak RSS of vkcv, KiB |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    struct Run {
      int mode;
      const std::string* source;
      const char* base;
      const char* name;
    } runs[] = {
        {1, &whole, "mode1-whole", "mode 1, Win32 -> UTF-8 (VKC620 -> VKCU8L), whole set"},
        {1, &part, "mode1-ascii", "mode 1, Win32 -> UTF-8, ASCII headwords"},
        {5, &part, "mode5-ascii", "mode 5, Win32 -> UTF-16 (VKC620 -> VKCUL), ASCII headwords"},
    };
    for (const Run& r : runs) {
      Result res;
      if (!convert(r.mode, *r.source, r.base, opt.repeat, &res)) {
        std::printf("| %s | %lld | %lld | failed (exit status %d): %s | | |\n", r.name, res.read, res.registered,
                    res.best.status, LastLine(res.log).c_str());
        continue;
      }
      std::printf("| %s | %lld | %lld | %.0f | %.0f | %ld |\n", r.name, res.read, res.registered, res.best.ms,
                  res.best.ms > 0 ? static_cast<double>(res.read) * 1000.0 / res.best.ms : 0.0, res.rss);
    }
  }

  // The last line of a file that does not start with the converter's
  // caption (its message boxes), for a failure's reason.
  static std::string LastLine(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return "";
    char line[2048];
    std::string last;
    while (std::fgets(line, sizeof line, f)) {
      std::string l = line;
      while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
      if (l.rfind("vkcv: ", 0) == 0) last = l;
    }
    std::fclose(f);
    return last;
  }

  // The value of counter `label` in a vkcv output file, or -1.
  static long long Counter(const std::string& path, const std::string& label) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return -1;
    char line[512];
    long long v = -1;
    std::string want = label + ": ";
    while (std::fgets(line, sizeof line, f))
      if (std::strncmp(line, want.c_str(), want.size()) == 0) v = std::atoll(line + want.size());
    std::fclose(f);
    return v;
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
  DataSetCounts counts;
  if (!BuildDataSet(DefaultSources(), opt.every, &b.w.entries, &counts, &error)) Die(error);
  std::vector<std::string> list;
  if (!ReadWordList(opt.words, &list, &error)) Die(error);
  if (b.w.entries.empty()) Die("no entries read");

  std::mt19937_64 rng(opt.seed);
  BuildWorkload(b, list, rng);

  std::printf("vokabench: seed %llu (repeat with --seed %llu)%s\n", static_cast<unsigned long long>(opt.seed),
              static_cast<unsigned long long>(opt.seed), opt.every > 1 ? ", quick: every 8th entry" : "");
  for (const SourceCounts& sc : counts.sources)
    std::printf("  %s: %zu entries read (%zu index lines, %zu repeated index lines, %zu dictd meta entries, "
                "%zu malformed), %zu in the set\n",
                sc.package.c_str(), sc.entries, sc.dictd.indexLines, sc.dictd.repeated, sc.dictd.metaSkipped,
                sc.dictd.malformed, sc.kept);
  std::printf("data set: %zu entries, %zu distinct headwords; left out: %zu headwords over 248 bytes, %zu empty "
              "translations, %zu texts over the length limits, %zu past the merged-length bound%s\n",
              b.w.entries.size(), b.w.present.size(), counts.longWord, counts.emptyTranslation, counts.longText,
              counts.mergeBound,
              opt.every > 1 ? (", " + std::to_string(counts.sampledOut) + " by --quick").c_str() : "");
  std::printf("word list: %zu words, %zu of them no headword (absent lookups)\n", list.size(), b.w.absent.size());
  std::printf("times: best of %d\n", opt.repeat);
  std::printf("engine: libVKCU8L.so, UTF-16 interface, fast mode, clash rule 6, merge flags 0x7fff0000; "
              "sqlite %s: UTF-8 database fed and read through the UTF-16 calls, WITHOUT ROWID, one transaction, "
              "synchronous=%s; lmdb %s: one file, no lock file, no sync, key UTF-8, value UTF-16\n",
              sqlite3_libversion(), opt.sync.c_str(), MDB_VERSION_STRING);

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

  for (int k = 0; k < kStores; ++k)
    if (opt.run[k]) b.stores[k]->Load(b.w);

  if (opt.Does("random"))
    b.Bulk("merge-registration, random order", "random", b.randomOrder, AddMode::kMerge, 1.0, 0.33);
  if (opt.Does("sorted"))
    b.Bulk("merge-registration, dictionary order", "sorted", b.sortedOrder, AddMode::kMerge, 0.5, 0.25);
  if (opt.Does("replace")) b.Bulk("registration by replace, random order", "replace", b.randomOrder, AddMode::kReplace);
  if (opt.Does("edit")) b.Edit("edit, one committed replace per call", "replace", "edit", 2000);
  Answers answers[kStores];
  if (opt.Does("reads") || opt.Does("lookup") || opt.Does("scan") || opt.Does("search")) b.Reads("random", answers);
  if (!opt.work.empty()) {
    b.report.Print(stdout);
    return 0;
  }
  b.Sizes("file, merge-registered in random order", "random", true);
  b.Sizes("file, merge-registered in dictionary order", "sorted", false);
  b.Sizes("file, registered by replace", "replace", false);

  std::printf("\n");
  b.report.Print(stdout);

  int ran = 0;
  for (int k = 0; k < kStores; ++k) ran += opt.run[k];
  if (ran > 1) {
    std::printf("\ncomparison of the answers and of the files read back in full:\n");
    size_t diffs = b.CompareAnswers(answers);
    for (const char* base : {"sorted", "random", "replace", "edit"}) diffs += b.CompareFiles(base);
    if (diffs) {
      std::printf("  %zu differences\n", diffs);
    } else {
      std::printf("  the stores agree: %lld entries in each file, every lookup and search the same\n",
                  static_cast<long long>(answers[b.First()].scanned));
    }
    std::printf("(delivered text: engine %llu, sqlite %llu, lmdb %llu)\n",
                static_cast<unsigned long long>(b.engine.Touched()),
                static_cast<unsigned long long>(b.sqlite.Touched()),
                static_cast<unsigned long long>(b.lmdb.Touched()));
    if (diffs) {
      std::fflush(stdout);
      return 1;
    }
  }

  if (opt.convert && opt.run[kEngine]) b.Conversions();

  if (opt.dir.empty() && !opt.keep) {
    std::error_code ec;
    std::filesystem::remove_all(b.dir, ec);
  }
  return 0;
}

}  // namespace
}  // namespace vkbench

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], vkbench::kRunTimedFlag) == 0) return vkbench::RunTimedMain(argc, argv);
  return vkbench::Main(argc, argv);
}
