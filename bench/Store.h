// What the benchmark measures, as one interface that the engine and SQLite
// each implement. Every text a timed call needs is converted into the
// store's own form by Load() beforehand, so the timings hold only the
// store's work; timed calls name their input by position in the workload.
//
// Calls that read return what they delivered (entries, rows) and touch
// every field they get back, as a real caller would; -1 means failure,
// with the reason in LastError().
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "DictdReader.h"

namespace vkbench {

struct Workload {
  std::vector<DictEntry> entries;      // in the dictionary's own order
  std::vector<std::string> present;    // every headword once, in random order
  std::vector<std::string> absent;     // list words that are no headword, in random order
  std::vector<std::string> prefixes;   // headword prefixes
  std::vector<std::string> substrings; // texts to find inside translations
};

// One delivered entry, as UTF-8, for the comparison run after the timings.
struct ScannedEntry {
  std::string word, japa, exp, pron;
};
using ScanSink = std::function<void(ScannedEntry&&)>;

enum class AddMode {
  kMerge,    // on a clash, append the new translation with CR LF
  kReplace,  // on a clash, the new fields replace the stored ones
};

enum class ProbeSet { kPresent, kAbsent };

class Store {
 public:
  virtual ~Store() = default;
  virtual const char* Name() const = 0;
  virtual void Load(const Workload& w) = 0;

  // Bulk registration: Create, Add for each entry, then Finish, which
  // makes everything durable as far as the store goes and closes the file.
  virtual bool Create(const std::string& path) = 0;
  virtual bool Add(size_t entry, AddMode mode) = 0;
  virtual bool Finish() = 0;

  // Editing an existing file: every Add after OpenForEdit is a change of its
  // own, committed before it returns (the engine with fast mode off, SQLite
  // in autocommit mode); Finish closes the file.
  virtual bool OpenForEdit(const std::string& path) = 0;

  virtual bool Open(const std::string& path) = 0;  // for reading
  virtual int Find(ProbeSet set, size_t probe) = 0;  // 1 found, 0 not, -1 failure
  virtual int64_t Scan(const ScanSink& sink) = 0;    // every entry in headword order
  virtual int64_t PrefixSearch(size_t k, const ScanSink& sink) = 0;
  virtual int64_t SubstringSearch(size_t k, const ScanSink& sink) = 0;
  virtual void Close() = 0;

  virtual std::string LastError() = 0;
  // Bytes touched by the reading calls, so none of their work is dead.
  virtual uint64_t Touched() const = 0;
};

}  // namespace vkbench
