#include "SqliteStore.h"

#include <cstdio>

#include "Utf16.h"

namespace vkbench {
namespace {

const char kSchema[] =
    "CREATE TABLE dict(word TEXT PRIMARY KEY, japa TEXT, exp TEXT, pron TEXT, attr INTEGER) "
    "WITHOUT ROWID";

// The merge the engine's registration does with clash rule 6: the new
// translation and pronunciation are appended after CR LF (the separator only
// between two non-empty texts), and an entry whose texts are all equal to
// the stored ones changes nothing.
const char kMerge[] =
    "INSERT INTO dict(word, japa, exp, pron, attr) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(word) DO UPDATE SET "
    "japa = japa || char(13,10) || excluded.japa, "
    "pron = CASE WHEN excluded.pron = '' THEN pron WHEN pron = '' THEN excluded.pron "
    "ELSE pron || char(13,10) || excluded.pron END "
    "WHERE japa <> excluded.japa OR exp <> excluded.exp OR pron <> excluded.pron";

const char kReplace[] =
    "INSERT INTO dict(word, japa, exp, pron, attr) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(word) DO UPDATE SET "
    "japa = excluded.japa, exp = excluded.exp, pron = excluded.pron, attr = excluded.attr";

const char kFind[] = "SELECT word, japa, exp, pron, attr FROM dict WHERE word = ?1";
const char kScan[] = "SELECT word, japa, exp, pron, attr FROM dict ORDER BY word";
const char kPrefix[] =
    "SELECT word, japa, exp, pron, attr FROM dict WHERE word >= ?1 AND word < ?2 ORDER BY word";
const char kSubstring[] =
    "SELECT word, japa, exp, pron, attr FROM dict WHERE instr(japa, ?1) > 0 ORDER BY word";

constexpr int kFreshAttribute = 0x80;

// The least string above every string that starts with p, in code point
// order: p with its last character raised by one (over the surrogates).
std::u16string UpperBound(const std::u16string& p) {
  std::u16string u = p;
  if (u.empty()) return u;
  if (u.size() >= 2 && u.back() >= 0xDC00 && u.back() < 0xE000) {
    // A pair: raise the code point it stands for.
    char32_t cp = 0x10000 + ((static_cast<char32_t>(u[u.size() - 2]) - 0xD800) << 10) + (u.back() - 0xDC00);
    ++cp;
    u.resize(u.size() - 2);
    u.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
    u.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    return u;
  }
  u.back() = u.back() == 0xD7FF ? char16_t(0xE000) : static_cast<char16_t>(u.back() + 1);
  return u;
}

void Bind(sqlite3_stmt* s, int i, const std::u16string& text) {
  sqlite3_bind_text16(s, i, text.data(), static_cast<int>(text.size() * sizeof(char16_t)), SQLITE_STATIC);
}

std::string Column(sqlite3_stmt* s, int i) {
  return ToUtf8(static_cast<const char16_t*>(sqlite3_column_text16(s, i)));
}

std::vector<std::u16string> Convert(const std::vector<std::string>& v) {
  std::vector<std::u16string> out;
  out.reserve(v.size());
  for (const auto& s : v) out.push_back(ToUtf16(s));
  return out;
}

}  // namespace

SqliteStore::~SqliteStore() { Close(); }

void SqliteStore::Load(const Workload& w) {
  entries_.clear();
  entries_.reserve(w.entries.size());
  for (const auto& e : w.entries) entries_.push_back({ToUtf16(e.word), ToUtf16(e.japa), ToUtf16(e.pron)});
  present_ = Convert(w.present);
  absent_ = Convert(w.absent);
  prefixes_ = Convert(w.prefixes);
  substrings_ = Convert(w.substrings);
  upper_.clear();
  for (const auto& p : prefixes_) upper_.push_back(UpperBound(p));
}

bool SqliteStore::Fail(const char* what) {
  error_ = std::string(what) + " failed: " + (db_ ? sqlite3_errmsg(db_) : "no database");
  return false;
}

bool SqliteStore::Exec(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK || Fail(sql);
}

bool SqliteStore::Prepare(const char* sql, sqlite3_stmt** stmt) {
  return sqlite3_prepare_v2(db_, sql, -1, stmt, nullptr) == SQLITE_OK || Fail(sql);
}

bool SqliteStore::Create(const std::string& path) {
  Close();
  std::remove(path.c_str());
  std::remove((path + "-journal").c_str());
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
    return Fail("sqlite3_open_v2");
  std::string sync = "PRAGMA synchronous=" + synchronous_;
  return Exec(sync.c_str()) && Exec("PRAGMA encoding='UTF-8'") && Exec(kSchema) && Exec("BEGIN") && Prepare(kMerge, &merge_) &&
         Prepare(kReplace, &replace_);
}

bool SqliteStore::Add(size_t i, AddMode mode) {
  const Texts& e = entries_[i];
  sqlite3_stmt* s = mode == AddMode::kMerge ? merge_ : replace_;
  static const std::u16string kEmpty;
  Bind(s, 1, e.word);
  Bind(s, 2, e.japa);
  Bind(s, 3, kEmpty);
  Bind(s, 4, e.pron);
  sqlite3_bind_int(s, 5, kFreshAttribute);
  int rc = sqlite3_step(s);
  sqlite3_reset(s);
  return rc == SQLITE_DONE || Fail("upsert");
}

bool SqliteStore::OpenForEdit(const std::string& path) {
  Close();
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return Fail("sqlite3_open_v2");
  std::string sync = "PRAGMA synchronous=" + synchronous_;
  return Exec(sync.c_str()) && Prepare(kMerge, &merge_) && Prepare(kReplace, &replace_);
}

bool SqliteStore::Finish() {
  bool ok = sqlite3_get_autocommit(db_) || Exec("COMMIT");
  Close();
  return ok;
}

bool SqliteStore::Open(const std::string& path) {
  Close();
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return Fail("sqlite3_open_v2");
  // One read transaction for all reads, as the engine holds its file open
  // without locking: otherwise every statement takes and drops SQLite's file
  // lock and rechecks the file, which is most of a lookup's cost.
  return Exec("BEGIN") && Prepare(kFind, &find_) && Prepare(kScan, &scan_) && Prepare(kPrefix, &prefix_) &&
         Prepare(kSubstring, &substring_);
}

void SqliteStore::Close() {
  if (db_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  for (sqlite3_stmt** s : {&merge_, &replace_, &find_, &scan_, &prefix_, &substring_}) {
    sqlite3_finalize(*s);
    *s = nullptr;
  }
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
}

int64_t SqliteStore::Rows(sqlite3_stmt* s, const ScanSink& sink) {
  int64_t n = 0;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    ++n;
    for (int c = 0; c < 4; ++c) {
      sqlite3_column_text16(s, c);
      touched_ += static_cast<uint64_t>(sqlite3_column_bytes16(s, c)) / sizeof(char16_t);
    }
    touched_ += static_cast<uint64_t>(sqlite3_column_int(s, 4));
    if (sink) sink({Column(s, 0), Column(s, 1), Column(s, 2), Column(s, 3)});
  }
  sqlite3_reset(s);
  if (rc != SQLITE_DONE) {
    Fail("select");
    return -1;
  }
  return n;
}

int SqliteStore::Find(ProbeSet set, size_t probe) {
  Bind(find_, 1, (set == ProbeSet::kPresent ? present_ : absent_)[probe]);
  int64_t n = Rows(find_, nullptr);
  return n < 0 ? -1 : n > 0 ? 1 : 0;
}

int64_t SqliteStore::Scan(const ScanSink& sink) { return Rows(scan_, sink); }

int64_t SqliteStore::PrefixSearch(size_t k, const ScanSink& sink) {
  Bind(prefix_, 1, prefixes_[k]);
  Bind(prefix_, 2, upper_[k]);
  return Rows(prefix_, sink);
}

int64_t SqliteStore::SubstringSearch(size_t k, const ScanSink& sink) {
  Bind(substring_, 1, substrings_[k]);
  return Rows(substring_, sink);
}

}  // namespace vkbench
