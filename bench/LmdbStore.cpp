#include "LmdbStore.h"

#include <cstdio>
#include <cstring>

#include "Utf16.h"

namespace vkbench {
namespace {

constexpr size_t kMapSize = size_t{16} << 30;  // address space only; the file grows as used
constexpr unsigned kEnvFlags = MDB_NOSUBDIR | MDB_NOSYNC | MDB_NOLOCK;
constexpr unsigned char kFreshAttribute = 0x80;
constexpr size_t kHead = 1 + 3 * 4;

void Utf8Into(const std::u16string& s, std::string* out) {
  *out = ToUtf8(s.c_str());
}

uint32_t Get32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void Put32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

// The three texts of a stored value, copied out (values need not be aligned
// for 16-bit loads).
void Fields(const MDB_val& v, std::u16string out[3], unsigned char* attr) {
  const auto* p = static_cast<const unsigned char*>(v.mv_data);
  *attr = p[0];
  size_t at = kHead;
  for (int f = 0; f < 3; ++f) {
    size_t n = Get32(p + 1 + 4 * f);
    out[f].resize(n);
    std::memcpy(&out[f][0], p + at, n * sizeof(char16_t));
    at += n * sizeof(char16_t);
  }
}

// Appends b to a after CR LF (the separator only between two non-empty texts).
void Append(std::u16string* a, const std::u16string& b) {
  if (b.empty()) return;
  if (!a->empty()) *a += u"\r\n";
  *a += b;
}

std::vector<std::u16string> Convert(const std::vector<std::string>& v) {
  std::vector<std::u16string> out;
  out.reserve(v.size());
  for (const auto& s : v) out.push_back(ToUtf16(s));
  return out;
}

}  // namespace

LmdbStore::~LmdbStore() { Close(); }

void LmdbStore::Load(const Workload& w) {
  entries_.clear();
  entries_.reserve(w.entries.size());
  for (const auto& e : w.entries) entries_.push_back({ToUtf16(e.word), ToUtf16(e.japa), ToUtf16(e.pron)});
  present_ = Convert(w.present);
  absent_ = Convert(w.absent);
  prefixes_ = Convert(w.prefixes);
  substrings_ = Convert(w.substrings);
}

bool LmdbStore::Fail(const char* what, int rc) {
  error_ = std::string(what) + " failed: " + mdb_strerror(rc);
  return false;
}

bool LmdbStore::OpenEnv(const std::string& path, unsigned flags) {
  Close();
  int rc = mdb_env_create(&env_);
  if (rc) return Fail("mdb_env_create", rc);
  if ((rc = mdb_env_set_mapsize(env_, kMapSize))) return Fail("mdb_env_set_mapsize", rc);
  if ((rc = mdb_env_open(env_, path.c_str(), kEnvFlags | flags, 0644))) return Fail("mdb_env_open", rc);
  return true;
}

bool LmdbStore::Begin(unsigned flags) {
  int rc = mdb_txn_begin(env_, nullptr, flags, &txn_);
  if (rc) return Fail("mdb_txn_begin", rc);
  if ((rc = mdb_dbi_open(txn_, nullptr, 0, &dbi_))) return Fail("mdb_dbi_open", rc);
  return true;
}

bool LmdbStore::Create(const std::string& path) {
  Close();
  std::remove(path.c_str());
  perCall_ = false;
  return OpenEnv(path, 0) && Begin(0);
}

bool LmdbStore::Put(const std::u16string& japa, const std::u16string& exp, const std::u16string& pron,
                    unsigned char attr) {
  valueBuf_.clear();
  valueBuf_.push_back(static_cast<char>(attr));
  for (const std::u16string* f : {&japa, &exp, &pron}) Put32(&valueBuf_, static_cast<uint32_t>(f->size()));
  for (const std::u16string* f : {&japa, &exp, &pron})
    valueBuf_.append(reinterpret_cast<const char*>(f->data()), f->size() * sizeof(char16_t));
  MDB_val key{keyBuf_.size(), keyBuf_.data()}, value{valueBuf_.size(), valueBuf_.data()};
  int rc = mdb_put(txn_, dbi_, &key, &value, 0);
  return rc == 0 || Fail("mdb_put", rc);
}

bool LmdbStore::Add(size_t i, AddMode mode) {
  const Texts& t = entries_[i];
  if (perCall_ && !Begin(0)) return false;
  Utf8Into(t.word, &keyBuf_);
  static const std::u16string kEmpty;
  bool ok;
  MDB_val key{keyBuf_.size(), keyBuf_.data()}, stored;
  int rc = mode == AddMode::kMerge ? mdb_get(txn_, dbi_, &key, &stored) : MDB_NOTFOUND;
  if (rc == MDB_NOTFOUND) {
    ok = Put(t.japa, kEmpty, t.pron, kFreshAttribute);
  } else if (rc != 0) {
    ok = Fail("mdb_get", rc);
  } else {
    unsigned char attr;
    Fields(stored, field_, &attr);
    if (field_[0] == t.japa && field_[1].empty() && field_[2] == t.pron) {
      ok = true;
    } else {
      Append(&field_[0], t.japa);
      Append(&field_[2], t.pron);
      ok = Put(field_[0], field_[1], field_[2], attr);
    }
  }
  if (perCall_) {
    if (!ok) {
      mdb_txn_abort(txn_);
      txn_ = nullptr;
      return false;
    }
    rc = mdb_txn_commit(txn_);
    txn_ = nullptr;
    if (rc) return Fail("mdb_txn_commit", rc);
  }
  return ok;
}

bool LmdbStore::Finish() {
  bool ok = true;
  if (txn_) {
    int rc = mdb_txn_commit(txn_);
    txn_ = nullptr;
    if (rc) ok = Fail("mdb_txn_commit", rc);
  }
  Close();
  return ok;
}

bool LmdbStore::OpenForEdit(const std::string& path) {
  if (!OpenEnv(path, 0)) return false;
  perCall_ = true;
  return true;
}

bool LmdbStore::Open(const std::string& path) {
  perCall_ = false;
  return OpenEnv(path, MDB_RDONLY) && Begin(MDB_RDONLY);
}

void LmdbStore::Close() {
  if (txn_) mdb_txn_abort(txn_);
  txn_ = nullptr;
  if (env_) mdb_env_close(env_);
  env_ = nullptr;
}

void LmdbStore::Deliver(const MDB_val& key, const MDB_val& value, const ScanSink& sink) {
  // Walk every unit of every text, as a caller reading the strings would.
  const auto* p = static_cast<const unsigned char*>(value.mv_data);
  size_t units = 0;
  uint32_t sum = 0;
  for (size_t b = kHead; b + 1 < value.mv_size; b += 2, ++units) sum += p[b] | p[b + 1] << 8;
  touched_ += key.mv_size + units + p[0] + (sum & 1);
  if (!sink) return;
  unsigned char attr;
  Fields(value, field_, &attr);
  sink({std::string(static_cast<const char*>(key.mv_data), key.mv_size), ToUtf8(field_[0].c_str()),
        ToUtf8(field_[1].c_str()), ToUtf8(field_[2].c_str())});
}

int LmdbStore::Find(ProbeSet set, size_t probe) {
  Utf8Into((set == ProbeSet::kPresent ? present_ : absent_)[probe], &keyBuf_);
  MDB_val key{keyBuf_.size(), keyBuf_.data()}, value;
  int rc = mdb_get(txn_, dbi_, &key, &value);
  if (rc == MDB_NOTFOUND) return 0;
  if (rc) {
    Fail("mdb_get", rc);
    return -1;
  }
  Deliver(key, value, nullptr);
  return 1;
}

int64_t LmdbStore::Walk(const std::string* prefix, const std::u16string* substring, const ScanSink& sink) {
  MDB_cursor* c = nullptr;
  int rc = mdb_cursor_open(txn_, dbi_, &c);
  if (rc) {
    Fail("mdb_cursor_open", rc);
    return -1;
  }
  MDB_val key{}, value{};
  if (prefix) {
    key = {prefix->size(), const_cast<char*>(prefix->data())};
    rc = mdb_cursor_get(c, &key, &value, MDB_SET_RANGE);
  } else {
    rc = mdb_cursor_get(c, &key, &value, MDB_FIRST);
  }
  int64_t n = 0;
  for (; rc == 0; rc = mdb_cursor_get(c, &key, &value, MDB_NEXT)) {
    if (prefix && (key.mv_size < prefix->size() || std::memcmp(key.mv_data, prefix->data(), prefix->size()) != 0))
      break;
    if (substring) {
      unsigned char attr;
      Fields(value, field_, &attr);
      if (field_[0].find(*substring) == std::u16string::npos) continue;
    }
    ++n;
    Deliver(key, value, sink);
  }
  mdb_cursor_close(c);
  if (rc != 0 && rc != MDB_NOTFOUND && !(prefix && rc == 0)) {
    Fail("mdb_cursor_get", rc);
    return -1;
  }
  return n;
}

int64_t LmdbStore::Scan(const ScanSink& sink) { return Walk(nullptr, nullptr, sink); }

int64_t LmdbStore::PrefixSearch(size_t k, const ScanSink& sink) {
  std::string prefix = ToUtf8(prefixes_[k].c_str());
  return Walk(&prefix, nullptr, sink);
}

int64_t LmdbStore::SubstringSearch(size_t k, const ScanSink& sink) {
  return Walk(nullptr, &substrings_[k], sink);
}

}  // namespace vkbench
