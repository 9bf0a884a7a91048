// The SQLite side of the benchmark: one WITHOUT ROWID table keyed by the
// headword, bulk registration in one transaction through prepared
// statements, and the same reads as the engine side done with prepared
// SELECTs. Texts go in and come out as UTF-16 (sqlite3_bind_text16,
// sqlite3_column_text16), as they cross the engine's interface; the database
// encoding is UTF-8, because TEXT compares with SQLite's BINARY collation,
// which on UTF-8 is the engine's headword order (code point order; on
// UTF-16 it would not be), so both deliver entries in the same order.
#pragma once
#include <sqlite3.h>

#include <string>
#include <vector>

#include "Store.h"

namespace vkbench {

class SqliteStore : public Store {
 public:
  // synchronous: the value of PRAGMA synchronous ("OFF", "NORMAL", "FULL").
  explicit SqliteStore(std::string synchronous) : synchronous_(std::move(synchronous)) {}
  ~SqliteStore() override;
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  const char* Name() const override { return "sqlite"; }
  void Load(const Workload& w) override;
  bool Create(const std::string& path) override;
  bool Add(size_t entry, AddMode mode) override;
  bool Finish() override;
  bool OpenForEdit(const std::string& path) override;
  bool Open(const std::string& path) override;
  int Find(ProbeSet set, size_t probe) override;
  int64_t Scan(const ScanSink& sink) override;
  int64_t PrefixSearch(size_t k, const ScanSink& sink) override;
  int64_t SubstringSearch(size_t k, const ScanSink& sink) override;
  void Close() override;
  std::string LastError() override { return error_; }
  uint64_t Touched() const override { return touched_; }

 private:
  bool Fail(const char* what);
  bool Exec(const char* sql);
  bool Prepare(const char* sql, sqlite3_stmt** stmt);
  int64_t Rows(sqlite3_stmt* stmt, const ScanSink& sink);  // steps, delivers, resets

  std::string synchronous_;
  struct Texts {
    std::u16string word, japa, pron;
  };
  std::vector<Texts> entries_;
  std::vector<std::u16string> present_, absent_, prefixes_, substrings_;
  std::vector<std::u16string> upper_;  // exclusive upper bound of each prefix
  sqlite3* db_ = nullptr;
  sqlite3_stmt* merge_ = nullptr;
  sqlite3_stmt* replace_ = nullptr;
  sqlite3_stmt* find_ = nullptr;
  sqlite3_stmt* scan_ = nullptr;
  sqlite3_stmt* prefix_ = nullptr;
  sqlite3_stmt* substring_ = nullptr;
  std::string error_;
  uint64_t touched_ = 0;
};

}  // namespace vkbench
