// LMDB as a key-value reference beside SQLite: the same entries under
// key = headword, value = the other fields, in one B+tree file (no lock
// file, no sync, as SQLite runs with synchronous=OFF). Texts come in and go
// out as UTF-16 like on the other stores: the key is the headword as UTF-8
// (converted in each call), because LMDB orders keys by their bytes and UTF-8
// bytes sort in the engine's order (code point order); the value holds the
// attribute, the lengths, and the translation, example and pronunciation as
// UTF-16, handed back from the map without conversion.
//
// Value layout: attribute (1 byte), then three 4-byte little-endian lengths in
// UTF-16 units (translation, example, pronunciation), then the units.
// Merge-registration does what the engine does with clash rule 6: the new
// translation and pronunciation are appended after CR LF (the separator only
// between two non-empty texts), and an entry equal to the stored one in all
// three texts changes nothing.
#pragma once
#include <lmdb.h>

#include <string>
#include <vector>

#include "Store.h"

namespace vkbench {

class LmdbStore : public Store {
 public:
  LmdbStore() = default;
  ~LmdbStore() override;
  LmdbStore(const LmdbStore&) = delete;
  LmdbStore& operator=(const LmdbStore&) = delete;

  const char* Name() const override { return "lmdb"; }
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
  struct Texts {
    std::u16string word, japa, pron;
  };
  bool Fail(const char* what, int rc);
  bool OpenEnv(const std::string& path, unsigned flags);
  bool Begin(unsigned flags);
  // Puts keyBuf_ with these fields.
  bool Put(const std::u16string& japa, const std::u16string& exp, const std::u16string& pron, unsigned char attr);
  void Deliver(const MDB_val& key, const MDB_val& value, const ScanSink& sink);
  int64_t Walk(const std::string* prefix, const std::u16string* substring, const ScanSink& sink);

  std::vector<Texts> entries_;
  std::vector<std::u16string> present_, absent_, prefixes_, substrings_;
  MDB_env* env_ = nullptr;
  MDB_txn* txn_ = nullptr;
  MDB_dbi dbi_ = 0;
  bool perCall_ = false;  // edit: every Add is a transaction of its own
  std::string keyBuf_;
  std::string valueBuf_;
  std::u16string field_[3];
  std::string error_;
  uint64_t touched_ = 0;
};

}  // namespace vkbench
